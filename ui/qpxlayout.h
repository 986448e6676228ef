// The layout loader: builds a window's object tree from its layout element and keeps the
// trees of all windows in one registry.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <vector>

#include "pugixml.hpp"
#include "qpxcontainer.h"
#include "qpxdraw.h"

namespace QPXUE {

// One process-wide map from dialog window to the root of its tree; owns the trees.
class LayoutRegistry {
public:
    static LayoutRegistry& Instance();
    // The root registered for owner, or null.
    ContainerUIObjectImpl* Find(HWND owner) const;
    ContainerUIObjectImpl* Insert(HWND owner, std::unique_ptr<ContainerUIObjectImpl> root);
    // Deletes the tree of owner and its entry; nothing when there is none.
    void Erase(HWND owner);
    // Deletes every tree. Call before GDI+ shuts down if trees may remain.
    void Clear();

private:
    LayoutRegistry() = default;
    std::map<HWND, std::unique_ptr<ContainerUIObjectImpl>> roots_;
};

// Builds the tree of a `Container` element for the window owner and registers it. Returns
// the root, or the root already registered for owner when the element is not a `Container`
// (null for a new window).
//
// The tree is drawn at the DPI of `owner`; its carousels get their animation timer indices
// from 0 up, the window's own.
//
// A broken layout does not throw: when a required image is missing, a link label carries an
// image, a text box's text services cannot be created, a grid, vertical container or
// carousel has a zero row, column or frame count, or a window has more carousels than
// animation timers, BuildLayout writes a log line naming the element, deletes the partly built
// tree, removes the entry and returns null. A dialog that gets null ends in order (its result
// is not 1).
ContainerUIObjectImpl* BuildLayout(HWND owner, pugi::xml_node container);
// The same at `scale`, whatever the window's DPI.
ContainerUIObjectImpl* BuildLayout(HWND owner, pugi::xml_node container, const DisplayScale& scale);

// Every image the tree of a `Container` element names, in the order BuildLayout loads them,
// and the font families it names with the default one: what a SkinPreload started before
// the window is made should prepare. Nothing for another element.
SkinNames LayoutSkin(pugi::xml_node container);

// Deletes the tree of owner and removes its entry; each dialog calls it when it is destroyed.
void DestroyLayout(HWND owner);

// The window size a `Dlg` element asks for.
int DialogWidth(pugi::xml_node dlg);   // `width`, default 400
int DialogHeight(pugi::xml_node dlg);  // `height`, default 300

}  // namespace QPXUE
