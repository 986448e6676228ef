// The window frame the three wizard dialogs share: a borderless layered window built from
// dialog template 129 at its monitor's scale, repainted every 66 ms from its object tree,
// routing mouse, keyboard, capture, focus and animation-timer messages, laid out anew when its
// DPI changes, ended by CloseDialog.
#pragma once

#include <windows.h>

#include <map>
#include <optional>

#include "pugixml.hpp"
#include "qpxcontainer.h"
#include "qpxhandle.h"
#include "qpxmessageloop.h"
#include "qpxpainter.h"
#include "qpxtexts.h"
#include "qpxuiobject.h"

namespace QPXUE {
class CheckBoxUIObjectImpl;
}

// The direct child control `name` of `container` when it is a T; null otherwise or when
// there is no container.
template <typename T>
T* FindControlOf(QPXUE::ContainerUIObjectImpl* container, const wchar_t* name) {
    return container ? dynamic_cast<T*>(container->FindControl(name)) : nullptr;
}

// What differs between the dialogs; everything else of the frame is the same for all three.
struct QPXFrameTraits {
    bool routeImeToFocus = false;         // input-language and IME messages go to the focus holder
    bool captureWindowMouse = false;      // capture requests also capture the window's mouse
    bool captureLostOnKillFocus = false;  // a focus holder that leaves is told it lost capture
    bool animationTimers = false;         // runs the timers of carousels
    const wchar_t* timerLogName = nullptr;  // logs timer requests under this class name
    bool centreAfterBuild = false;        // centres once the tree exists, not before
    TextId titleSuffix = TextId::kSetupTitleSuffix;  // the window title is the product's name and this
};

// A dialog with text boxes: input-language and IME messages go to the focus holder, capture
// requests also capture the window's mouse, and a focus holder that leaves loses capture.
QPXFrameTraits TextInputFrameTraits();

class QPXDialogFrame : public IQPXMessageFilter {
public:
    QPXDialogFrame(pugi::xml_node dlgElement, const QPXFrameTraits& traits);
    ~QPXDialogFrame() override;
    QPXDialogFrame(const QPXDialogFrame&) = delete;
    QPXDialogFrame& operator=(const QPXDialogFrame&) = delete;

    // Modeless from template 129, no owner.
    HWND Create();
    HWND Window() const { return window_; }
    bool PreTranslateMessage(MSG* message) override;
    // One redraw tick: paints the tree again where a message since the last paint may have
    // changed it, and shows the picture.
    void Redraw();

protected:
    // The dialog's own set-up once the frame is set up; false ends the dialog with 0.
    virtual bool OnSetup() { return true; }
    // The dialog's own clean-up, first step of CloseDialog.
    virtual void OnCleanup() {}
    // Action message 1024 + action; true when the dialog reacts to it.
    virtual bool OnAction(UINT action, WPARAM wParam, LPARAM lParam);
    // Messages of the dialog itself, before the frame's table; true when handled.
    virtual bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Whether handling `message` changes no more of the picture than `area` (client
    // coordinates); any other message makes the next redraw tick draw the whole tree. The
    // frame knows its animations' timers; a dialog adds its own.
    virtual bool ChangesOnlyArea(UINT message, WPARAM wParam, RECT& area) const;
    // Ends the dialog: its loop returns `result`. Inside a handler that pumps messages (a
    // message box, the folder browser) the end waits until that handler has returned.
    void CloseDialog(int result);
    // Ends the dialog with `result` through its message loop (a WM_CLOSE): the dialog's own
    // actions end it this way. A WM_CLOSE from anywhere else, whatever it carries, ends it
    // with 0, so another program cannot answer for the user.
    void EndWith(int result);
    // Whether the dialog asked to end itself (EndWith) and the close is on its way.
    bool EndingItself() const { return ownResult_ != 0; }
    void CentreWindow();
    // The self-start box (if any) takes its visibility and state from the script.
    static void ApplyStartupCheck(QPXUE::CheckBoxUIObjectImpl* box);

    QPXUE::ContainerUIObjectImpl* Root() const { return root_; }
    // Cuts `area`, a part of `object`, to what the tree's drawing shows of it.
    void CutToShown(const QPXUE::IQPXBaseUIObject& object, RECT& area) const {
        if (root_ != nullptr) root_->CutToShown(object, area);
    }
    // The container `Body` in the root, or null.
    QPXUE::ContainerUIObjectImpl* Body() const;

    pugi::xml_node dlgElement_;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Result of a handled message; `handled` false leaves it to the dialog manager.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    bool SetUp();
    bool RouteToHolders(UINT message, WPARAM wParam, LPARAM lParam);
    bool IsFocusMessage(UINT message) const;
    void RouteMouse(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    void SetCursorFromObjects();
    // The window takes the rect the system suggests for its new DPI, and the tree the scale.
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    // Labels, link labels and check boxes show the text of each "$global_...$" they name that
    // holds one: one layout serves every language.
    void FillGlobalTexts();
    void OnHolderMessage(UINT message, QPXUE::IQPXBaseUIObject* object);
    void OnAnimationTimer(UINT message, WPARAM wParam, QPXUE::IQPXBaseAnimationObject* animation);
    void EndDialog(int result);

    const QPXFrameTraits traits_;
    HWND window_ = nullptr;
    QPXMessageLoop* loop_ = nullptr;
    UniqueIcon bigIcon_;
    UniqueIcon smallIcon_;
    QPXUE::ContainerUIObjectImpl* root_ = nullptr;  // owned by the layout registry
    QPXUE::IQPXBaseUIObject* captureHolder_ = nullptr;
    QPXUE::IQPXBaseUIObject* focusHolder_ = nullptr;
    std::map<UINT, QPXUE::IQPXBaseAnimationObject*> animationTimers_;  // not owned
    // Messages of this window being handled now, nested ones included; the tree and the
    // window stay while any is, and a close asked for meanwhile waits in `pendingClose_`.
    int dispatchDepth_ = 0;
    std::optional<int> pendingClose_;
    int ownResult_ = 0;  // what the next WM_CLOSE ends the dialog with
    QPXUE::LayeredPainter painter_;
};
