// The layout loader: builds a window's object tree from its layout element and keeps the
// trees of all windows in one registry.
#include "qpxlayout.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "qpxanimation.h"
#include "qpxcontrols.h"
#include "qpxexception.h"
#include "qpxlog.h"
#include "qpxmessages.h"
#include "qpxtextbox.h"

namespace QPXUE {
namespace {

constexpr wchar_t kDefaultFontFamily[] = L"Arial";  // of text elements that name none
constexpr size_t kPreparedFontFamilies = 8;

// ---- Typed attribute parsers: each reads one kind of value with its default ----

int ReadInt(pugi::xml_node node, const wchar_t* name, int fallback) {
    const pugi::xml_attribute attribute = node.attribute(name);
    return attribute ? static_cast<int>(std::wcstol(attribute.value(), nullptr, 10)) : fallback;
}

UINT ReadUInt(pugi::xml_node node, const wchar_t* name, UINT fallback) {
    const pugi::xml_attribute attribute = node.attribute(name);
    return attribute ? static_cast<UINT>(std::wcstoul(attribute.value(), nullptr, 10)) : fallback;
}

// True when the first character is 1, t, T, y or Y.
bool ReadBool(pugi::xml_node node, const wchar_t* name, bool fallback) {
    const pugi::xml_attribute attribute = node.attribute(name);
    return attribute ? attribute.as_bool() : fallback;
}

std::wstring ReadString(pugi::xml_node node, const wchar_t* name, const wchar_t* fallback = L"") {
    return node.attribute(name).as_string(fallback);
}

// Up to `count` comma-separated decimal numbers from the start of `text`, read as swscanf
// reads "%d,%d,...": the first one missing or malformed ends the reading, and it and those
// after it keep the values already in `values`. (The runtime's scanf adds 14 KiB.)
template <typename Number>
void ReadNumberList(const wchar_t* text, Number* values, int count) {
    for (int i = 0; i < count; ++i) {
        if (i > 0 && *text++ != L',') return;
        wchar_t* end = nullptr;
        const long value = std::wcstol(text, &end, 10);
        if (end == text) return;
        values[i] = static_cast<Number>(value);
        text = end;
    }
}

// "left,top,right,bottom" parsed over the values already in `rect`: a missing or malformed
// attribute keeps the values it does not supply.
void ReadRect(pugi::xml_node node, const wchar_t* name, const wchar_t* fallback, RECT& rect) {
    int v[4] = {rect.left, rect.top, rect.right, rect.bottom};
    ReadNumberList(node.attribute(name).as_string(fallback), v, 4);
    rect = RECT{v[0], v[1], v[2], v[3]};
}

// "red,green,blue"; components the text does not supply are 0, so a missing colour is black.
COLORREF ReadColor(pugi::xml_node node) {
    unsigned short rgb[3] = {0, 0, 0};
    ReadNumberList(ReadString(node, L"color").c_str(), rgb, 3);
    return RGB(rgb[0] & 0xFF, rgb[1] & 0xFF, rgb[2] & 0xFF);
}

std::wstring ReadText(pugi::xml_node node) { return node.text().get(); }

// `color`, then `font`, `size` and `bold` of a text-showing control.
template <typename Object>
void ReadTextLook(Object& object, pugi::xml_node node) {
    object.SetTextColor(ReadColor(node));
    object.SetFont(ReadString(node, L"font", kDefaultFontFamily), ReadInt(node, L"size", 10),
                   ReadBool(node, L"bold", false));
}

// A layout that would divide by zero is refused rather than drawn wrong.
int ReadPositive(pugi::xml_node node, const wchar_t* name, int fallback) {
    const int value = ReadInt(node, name, fallback);
    if (value <= 0) throw QPXException(E_INVALIDARG);
    return value;
}

// ---- Per-element readers, in the order each element's attributes are read ----

// What the objects of one window's tree are built with: its window, its scale and the next
// animation timer index among its carousels.
struct BuildContext {
    HWND owner;
    DisplayScale scale;
    UINT nextTimerIndex;
};

// A new object at the tree's scale, before anything of the element is read.
template <typename Object>
std::unique_ptr<Object> NewObject(const BuildContext& context) {
    std::unique_ptr<Object> object(new Object);
    object->SetScale(context.scale);
    return object;
}

// rect, type, resId, then Init.
template <typename Object>
void InitFromElement(Object& object, const BuildContext& context, pugi::xml_node node, RECT& rect) {
    ReadRect(node, L"rect", L"", rect);
    const std::wstring type = ReadString(node, L"type");
    object.Init(context.owner, rect, ReadUInt(node, L"resId", 0), type.c_str());
}

void ReadNameVisibleEnable(IQPXBaseUIObject& object, pugi::xml_node node) {
    object.SetName(ReadString(node, L"name"));
    object.SetVisible(ReadBool(node, L"visible", true));
    object.SetEnabled(ReadBool(node, L"enable", true));
}

void ReadContainer(ContainerUIObjectImpl& object, const BuildContext& context, pugi::xml_node node) {
    RECT rect{};
    InitFromElement(object, context, node, rect);
    ReadNameVisibleEnable(object, node);
}

template <typename Container>
std::unique_ptr<ContainerUIObjectImpl> MakeContainer(BuildContext& context, pugi::xml_node node) {
    std::unique_ptr<Container> object = NewObject<Container>(context);
    ReadContainer(*object, context, node);
    return object;
}

std::unique_ptr<ContainerUIObjectImpl> MakeVerticalContainer(BuildContext& context, pugi::xml_node node) {
    auto object = NewObject<VerticalContainerUIObjectImpl>(context);
    ReadContainer(*object, context, node);
    object->SetRows(ReadPositive(node, L"row", 0));
    return object;
}

std::unique_ptr<ContainerUIObjectImpl> MakeGridContainer(BuildContext& context, pugi::xml_node node) {
    auto object = NewObject<GridContainerUIObjectImpl>(context);
    ReadContainer(*object, context, node);
    object->SetColumns(ReadPositive(node, L"col", 0));
    object->SetRows(ReadPositive(node, L"row", 0));
    object->SetVertical(ReadBool(node, L"vertical", false));
    return object;
}

std::unique_ptr<IQPXBaseUIObject> MakeButton(BuildContext& context, pugi::xml_node node) {
    auto object = NewObject<ButtonUIObjectImpl>(context);
    RECT rect{};
    InitFromElement(*object, context, node, rect);
    object->SetAction(ReadUInt(node, L"action", 0));
    ReadNameVisibleEnable(*object, node);
    return object;
}

std::unique_ptr<IQPXBaseUIObject> MakeLabel(BuildContext& context, pugi::xml_node node) {
    auto object = NewObject<LabelUIObjectImpl>(context);
    RECT rect{};
    ReadRect(node, L"rect", L"", rect);
    object->Init(context.owner, rect, 0, L"");
    object->SetText(ReadText(node));
    ReadTextLook(*object, node);
    ReadNameVisibleEnable(*object, node);
    object->SetCentred(ReadString(node, L"align") == L"center");
    return object;
}

std::unique_ptr<IQPXBaseUIObject> MakeLinkLabel(BuildContext& context, pugi::xml_node node) {
    auto object = NewObject<LinkLabelUIObjectImpl>(context);
    RECT rect{};
    InitFromElement(*object, context, node, rect);
    ReadTextLook(*object, node);
    object->SetText(ReadText(node));
    object->SetAction(ReadUInt(node, L"action", 0));
    ReadNameVisibleEnable(*object, node);
    return object;
}

std::unique_ptr<IQPXBaseUIObject> MakeCheckBox(BuildContext& context, pugi::xml_node node) {
    auto object = NewObject<CheckBoxUIObjectImpl>(context);
    RECT rect{};
    InitFromElement(*object, context, node, rect);
    const std::wstring text = ReadText(node);
    if (!text.empty()) {
        ReadRect(node, L"rectChk", L"0,0,0,0", rect);
        object->SetCheckRect(rect);
        ReadRect(node, L"rectLbl", L"0,0,0,0", rect);
        object->SetLabelRect(rect);
        ReadTextLook(*object, node);
        object->SetText(text);
    }
    object->SetAction(ReadUInt(node, L"action", 0));
    object->SetName(ReadString(node, L"name"));
    object->SetChecked(ReadBool(node, L"checked", false));  // before enable: a disabled box keeps it
    object->SetVisible(ReadBool(node, L"visible", true));
    object->SetEnabled(ReadBool(node, L"enable", true));
    return object;
}

std::unique_ptr<IQPXBaseUIObject> MakeTextBox(BuildContext& context, pugi::xml_node node) {
    auto object = NewObject<TextBoxUIObjectImpl>(context);
    RECT rect{};
    InitFromElement(*object, context, node, rect);
    ReadRect(node, L"clrect", L"", rect);
    object->SetClientRect(rect);
    object->CreateHost();
    ReadTextLook(*object, node);
    object->SetName(ReadString(node, L"name"));
    object->SetMaxLength(ReadInt(node, L"maxchar", 0));
    object->SetVisible(ReadBool(node, L"visible", true));
    object->SetEnabled(ReadBool(node, L"enable", true));
    object->SetMultiLine(ReadBool(node, L"multiline", false));
    object->SetText(ReadText(node));
    return object;
}

std::unique_ptr<IQPXBaseUIObject> MakeProgress(BuildContext& context, pugi::xml_node node) {
    auto object = NewObject<ProgressUIObjectImpl>(context);
    RECT rect{};
    InitFromElement(*object, context, node, rect);
    ReadNameVisibleEnable(*object, node);
    const pugi::xml_node front = node.child(L"Front");
    ReadRect(front, L"rect", L"", rect);
    object->SetFillRect(rect);
    const int right = ReadInt(front, L"spr", 0);
    const int left = ReadInt(front, L"spl", 0);
    object->SetSlices(left, right);
    const UINT resId = ReadUInt(front, L"resId", 0);
    object->SetFillImage(ReadString(front, L"type").c_str(), resId);
    return object;
}

std::unique_ptr<IQPXBaseUIObject> MakeCarousel(BuildContext& context, pugi::xml_node node) {
    auto object = NewObject<CarouselUIObjectImpl>(context);
    RECT rect{};
    object->SetFrameCount(ReadPositive(node, L"framecount", 1));  // its image is a strip of them
    InitFromElement(*object, context, node, rect);
    ReadNameVisibleEnable(*object, node);
    // Two timers of the window's own: its tree refuses more carousels than there are timers.
    if (context.nextTimerIndex + 1 > QPX_ANIMATION_INDEX_LAST) throw QPXException(E_INVALIDARG);
    object->SetTimerIndices(static_cast<WORD>(context.nextTimerIndex), static_cast<WORD>(context.nextTimerIndex + 1));
    context.nextTimerIndex += 2;
    object->ResetFrame();
    object->SetInterval(ReadUInt(node, L"interval", 1000));
    object->SetFadeInterval(ReadUInt(node, L"fadeinterval", 500));
    return object;
}

std::unique_ptr<IQPXBaseUIObject> MakePicture(BuildContext& context, pugi::xml_node node) {
    auto object = NewObject<PictureUIObjectImpl>(context);
    RECT rect{};
    InitFromElement(*object, context, node, rect);
    ReadNameVisibleEnable(*object, node);
    return object;
}

using ContainerFactory = std::unique_ptr<ContainerUIObjectImpl> (*)(BuildContext&, pugi::xml_node);
using ControlFactory = std::unique_ptr<IQPXBaseUIObject> (*)(BuildContext&, pugi::xml_node);

// Frames of an element's image strip that its `framecount` gives.
constexpr int kFramesOfElement = 0;

// What each element of the layout builds: a container, whose children are read in turn, or a
// control, and how many frames its image strip holds. Other elements are skipped.
struct ElementKind {
    const wchar_t* element;
    ContainerFactory makeContainer;
    ControlFactory makeControl;
    int frames;
};

const ElementKind kElements[] = {
    {L"Container", MakeContainer<ContainerUIObjectImpl>, nullptr, 1},
    {L"CaptionContainer", MakeContainer<CaptionContainerUIObjectImpl>, nullptr, 1},
    {L"VerticalContainer", MakeVerticalContainer, nullptr, 1},
    {L"GridContainer", MakeGridContainer, nullptr, 1},
    {L"Button", nullptr, MakeButton, ButtonUIObjectImpl::kFrames},
    {L"Label", nullptr, MakeLabel, 1},
    {L"LinkLabel", nullptr, MakeLinkLabel, 1},
    {L"CheckBox", nullptr, MakeCheckBox, CheckBoxUIObjectImpl::kFrames},
    {L"TextBox", nullptr, MakeTextBox, TextBoxUIObjectImpl::kFrames},
    {L"Progress", nullptr, MakeProgress, 1},
    {L"Carousel", nullptr, MakeCarousel, kFramesOfElement},
    {L"Picture", nullptr, MakePicture, 1},
};

const ElementKind* FindElementKind(pugi::xml_node node) {
    for (const ElementKind& kind : kElements)
        if (std::wcscmp(node.name(), kind.element) == 0) return &kind;
    return nullptr;
}

// Containers inside containers, at most: drawing, routing and tearing down a tree recurse
// through its levels, and a real dialog needs a handful.
constexpr int kMaxNesting = 64;

// Visits every element of a known kind below `element` in the order the tree is built: a
// container's children in document order, then the children of the containers among them,
// the last one first. `visit(child, kind, parentState)` returns the state the child's own
// children are visited with when it is a container.
template <typename State, typename Visit>
void WalkElements(pugi::xml_node element, State state, Visit visit) {
    std::vector<std::pair<pugi::xml_node, State>> work{{element, state}};
    while (!work.empty()) {
        const std::pair<pugi::xml_node, State> parent = work.back();
        work.pop_back();
        for (pugi::xml_node child = parent.first.first_child(); child; child = child.next_sibling()) {
            const ElementKind* kind = child.type() == pugi::node_element ? FindElementKind(child) : nullptr;
            if (kind == nullptr) continue;
            State childState = visit(child, *kind, parent.second);
            if (kind->makeContainer != nullptr) work.push_back({child, childState});
        }
    }
}

struct BuildState {
    ContainerUIObjectImpl* object;  // the parent the children are added to
    int depth;
};

// Builds below the registered root; raises QPXException for a broken layout. `current`
// follows the element being read so that a failure can name it.
void BuildTree(BuildContext& context, ContainerUIObjectImpl& root, pugi::xml_node element,
               pugi::xml_node& current) {
    current = element;
    root.SetScale(context.scale);
    ReadContainer(root, context, element);
    WalkElements(element, BuildState{&root, 0},
                 [&context, &current](pugi::xml_node child, const ElementKind& kind, const BuildState& parent) {
                     current = child;
                     if (kind.makeContainer == nullptr) {
                         parent.object->AddControl(kind.makeControl(context, child));
                         return BuildState{nullptr, 0};
                     }
                     if (parent.depth == kMaxNesting) throw QPXException(E_INVALIDARG);
                     std::unique_ptr<ContainerUIObjectImpl> container = kind.makeContainer(context, child);
                     ContainerUIObjectImpl* added = container.get();
                     parent.object->AddContainer(std::move(container));
                     return BuildState{added, parent.depth + 1};
                 });
}

// Pictures and a progress bar's fill are stretched; everything else is drawn 1:1.
void AddImage(pugi::xml_node node, std::vector<ImageName>& images, bool drawnOneToOne, int frames = 1) {
    if (const UINT id = ReadUInt(node, L"resId", 0))
        images.push_back(ImageName{ReadString(node, L"type"), id, drawnOneToOne, frames});
}

}  // namespace

LayoutRegistry& LayoutRegistry::Instance() {
    static LayoutRegistry registry;
    return registry;
}

ContainerUIObjectImpl* LayoutRegistry::Find(HWND owner) const {
    const auto found = roots_.find(owner);
    return found == roots_.end() ? nullptr : found->second.get();
}

ContainerUIObjectImpl* LayoutRegistry::Insert(HWND owner, std::unique_ptr<ContainerUIObjectImpl> root) {
    std::unique_ptr<ContainerUIObjectImpl>& slot = roots_[owner];
    slot = std::move(root);
    return slot.get();
}

void LayoutRegistry::Erase(HWND owner) {
    // Take the tree out of the map first: its destructor may send messages to the window,
    // which must not find a half-deleted tree registered.
    const auto found = roots_.find(owner);
    if (found == roots_.end()) return;
    std::unique_ptr<ContainerUIObjectImpl> root = std::move(found->second);
    roots_.erase(found);
}

void LayoutRegistry::Clear() {
    while (!roots_.empty()) Erase(roots_.begin()->first);
}

ContainerUIObjectImpl* BuildLayout(HWND owner, pugi::xml_node container) {
    return BuildLayout(owner, container, DisplayScale(WindowDpi(owner)));
}

ContainerUIObjectImpl* BuildLayout(HWND owner, pugi::xml_node container, const DisplayScale& scale) {
    LayoutRegistry& registry = LayoutRegistry::Instance();
    if (std::wcscmp(container.name(), L"Container") != 0) return registry.Find(owner);
    ContainerUIObjectImpl* root = registry.Insert(owner, std::unique_ptr<ContainerUIObjectImpl>(
                                                             new ContainerUIObjectImpl));
    pugi::xml_node current = container;
    BuildContext context{owner, scale, 0};
    try {
        BuildTree(context, *root, container, current);
    } catch (const QPXException& error) {
        LogLine(L"QPXUE::BuildLayout failed at <%s name=\"%s\">: 0x%08X\r\n", current.name(),
                current.attribute(L"name").value(), static_cast<unsigned>(error.Result()));
        registry.Erase(owner);
        return nullptr;
    }
    return root;
}

SkinNames LayoutSkin(pugi::xml_node container) {
    SkinNames skin;
    if (std::wcscmp(container.name(), L"Container") != 0) return skin;
    skin.fontFamilies.push_back(kDefaultFontFamily);
    AddImage(container, skin.images, true);
    WalkElements(container, 0, [&skin](pugi::xml_node child, const ElementKind& kind, int) {
        const int frames = kind.frames == kFramesOfElement ? ReadInt(child, L"framecount", 1) : kind.frames;
        AddImage(child, skin.images, std::wcscmp(child.name(), L"Picture") != 0, frames);
        if (kind.makeContainer == nullptr) AddImage(child.child(L"Front"), skin.images, false);  // a bar's fill
        // The first lookup reads the system's font list, which is what costs; a few suffice.
        const std::wstring family = ReadString(child, L"font", kDefaultFontFamily);
        if (skin.fontFamilies.size() < kPreparedFontFamilies &&
            std::find(skin.fontFamilies.begin(), skin.fontFamilies.end(), family) == skin.fontFamilies.end())
            skin.fontFamilies.push_back(family);
        return 0;
    });
    return skin;
}

void DestroyLayout(HWND owner) { LayoutRegistry::Instance().Erase(owner); }

int DialogWidth(pugi::xml_node dlg) { return ReadInt(dlg, L"width", 400); }
int DialogHeight(pugi::xml_node dlg) { return ReadInt(dlg, L"height", 300); }

}  // namespace QPXUE
