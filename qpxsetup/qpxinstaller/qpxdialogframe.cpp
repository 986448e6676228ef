// The window frame the three wizard dialogs share.
#include "qpxdialogframe.h"

#include <windowsx.h>

#include <utility>

#include "qpxcontrols.h"
#include "qpxdlgtext.h"
#include "qpxdpi.h"
#include "qpxdraw.h"
#include "qpxglobals.h"
#include "qpxlayout.h"
#include "qpxlog.h"
#include "qpxmessages.h"
#include "qpxscriptengine.h"

namespace {

constexpr int kDialogTemplate = 129;
constexpr int kIconGroup = 128;
constexpr LONG kNoCaptionNoFrame = static_cast<LONG>(0xFF3BFFFF);  // drops WS_CAPTION, WS_THICKFRAME

bool IsMouseMessage(UINT message) { return message >= WM_MOUSEFIRST && message <= 0x20D; }
bool IsKeyMessage(UINT message) { return message >= WM_KEYFIRST && message <= WM_KEYFIRST + 9; }

// The program's icon in the size the system metrics name.
UniqueIcon LoadIconGroup(int widthMetric, int heightMetric) {
    HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconGroup), IMAGE_ICON,
                             GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), 0);
    return UniqueIcon(static_cast<HICON>(icon));
}

}  // namespace

QPXFrameTraits TextInputFrameTraits() {
    QPXFrameTraits traits;
    traits.routeImeToFocus = true;
    traits.captureWindowMouse = true;
    traits.captureLostOnKillFocus = true;
    return traits;
}

QPXDialogFrame::QPXDialogFrame(pugi::xml_node dlgElement, const QPXFrameTraits& traits)
    : dlgElement_(dlgElement), traits_(traits) {}

QPXDialogFrame::~QPXDialogFrame() {
    if (loop_) loop_->RemoveMessageFilter(this);
    if (window_) {
        const HWND window = window_;
        window_ = nullptr;
        DestroyWindow(window);
        QPXUE::DestroyLayout(window);
    }
}

HWND QPXDialogFrame::Create() {
    // The skin is prepared on the second core while the window is made; the tree takes it. The
    // window opens on the primary monitor, whose scale it then has.
    const QPXUE::SkinPreload skin(QPXUE::LayoutSkin(dlgElement_.child(L"Container")),
                                  QPXUE::DisplayScale(PrimaryMonitorDpi()));
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialogTemplate), nullptr,
                              DialogProc, reinterpret_cast<LPARAM>(this));
}

QPXUE::ContainerUIObjectImpl* QPXDialogFrame::Body() const {
    return root_ ? root_->FindContainer(L"Body") : nullptr;
}

bool QPXDialogFrame::PreTranslateMessage(MSG* message) {
    // Keys reach the window as they are, never the dialog manager's navigation or
    // IDOK/IDCANCEL; the caret tick becomes ours because a layered window shows no caret.
    if (IsKeyMessage(message->message)) return false;
    if (message->message == QPX_WM_SYSTIMER) {
        if (window_) PostMessageW(window_, QPXUM_CARETBLINK, 0, 0);
        return false;
    }
    return window_ && IsDialogMessageW(window_, message) != FALSE;
}

bool QPXDialogFrame::SetUp() {
    bigIcon_ = LoadIconGroup(SM_CXICON, SM_CYICON);
    smallIcon_ = LoadIconGroup(SM_CXSMICON, SM_CYSMICON);
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));

    loop_ = QPXAppModule::GetMessageLoop();
    if (loop_) loop_->AddMessageFilter(this);

    const LONG style = GetWindowLongW(window_, GWL_STYLE);
    if ((style & kNoCaptionNoFrame) != style) SetWindowLongW(window_, GWL_STYLE, style & kNoCaptionNoFrame);
    const QPXUE::DisplayScale scale(WindowDpi(window_));
    SetWindowPos(window_, HWND_TOP, 0, 0, scale.Px(QPXUE::DialogWidth(dlgElement_)),
                 scale.Px(QPXUE::DialogHeight(dlgElement_)), SWP_NOMOVE);
    const std::wstring title =
        QPXScriptEngine::Instance().GetGlobalString(kGlobalProductName) + EngineText(traits_.titleSuffix);
    SetWindowTextW(window_, title.c_str());

    if (!traits_.centreAfterBuild) CentreWindow();
    root_ = QPXUE::BuildLayout(window_, dlgElement_.child(L"Container"), scale);
    if (!root_) {
        // Without its tree a dialog is an invisible window nobody can end.
        LogLine(L"dialog %s has no layout tree, ended\r\n", dlgElement_.attribute(L"name").value());
        return false;
    }
    if (traits_.centreAfterBuild) CentreWindow();
    if (!OnSetup()) return false;
    FillGlobalTexts();
    return true;
}

void QPXDialogFrame::FillGlobalTexts() {
    const auto valueOf = [](const std::string& name) {
        return QPXScriptEngine::Instance().GetGlobalString(name.c_str());
    };
    const auto fill = [&valueOf](auto* control) {
        control->SetText(FillGlobalTokens(control->GetText(), valueOf));
        // A face may come from a global too, so each language draws in a face that has its letters.
        const std::wstring face = FillGlobalTokens(control->GetFontFace(), valueOf);
        if (face != control->GetFontFace()) control->SetFontFace(face);
    };
    for (auto* label : root_->CollectControlsOfType<QPXUE::LabelUIObjectImpl>()) fill(label);
    for (auto* link : root_->CollectControlsOfType<QPXUE::LinkLabelUIObjectImpl>()) fill(link);
    for (auto* box : root_->CollectControlsOfType<QPXUE::CheckBoxUIObjectImpl>()) fill(box);
}

void QPXDialogFrame::OnDpiChanged(UINT dpi, const RECT& suggested) {
    const QPXUE::DisplayScale scale(dpi);
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    if (root_) root_->SetScale(scale);
}

void QPXDialogFrame::CentreWindow() {
    RECT window;
    GetWindowRect(window_, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    RECT area;
    if (HWND owner = GetWindow(window_, GW_OWNER)) {
        GetWindowRect(owner, &area);
    } else {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
        area = monitor.rcWork;
    }
    int x = (area.left + area.right) / 2 - width / 2;
    int y = (area.top + area.bottom) / 2 - height / 2;
    if (x + width > area.right) x = area.right - width;
    if (x < area.left) x = area.left;
    if (y + height > area.bottom) y = area.bottom - height;
    if (y < area.top) y = area.top;
    SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void QPXDialogFrame::ApplyStartupCheck(QPXUE::CheckBoxUIObjectImpl* box) {
    QPXScriptEngine& engine = QPXScriptEngine::Instance();
    const bool visible = engine.GetGlobalBoolean(kGlobalStartupCheckVisible);
    const bool checked = engine.GetGlobalBoolean(kGlobalStartupCheck);
    if (!box) return;
    box->SetVisible(visible);
    box->SetChecked(checked);
}

void QPXDialogFrame::Redraw() { painter_.Paint(window_, root_); }

bool QPXDialogFrame::IsFocusMessage(UINT message) const {
    if (message == QPXUM_CARETBLINK) return true;
    if (traits_.routeImeToFocus) {
        return message == WM_INPUTLANGCHANGEREQUEST || message == WM_INPUTLANGCHANGE ||
               (message >= WM_KEYFIRST && message <= WM_IME_KEYLAST) ||
               message == WM_IME_SETCONTEXT || message == WM_IME_NOTIFY;
    }
    return IsKeyMessage(message);
}

bool QPXDialogFrame::RouteToHolders(UINT message, WPARAM wParam, LPARAM lParam) {
    if (captureHolder_ && IsMouseMessage(message)) return captureHolder_->OnMessage(message, wParam, lParam) != 0;
    if (focusHolder_ && IsFocusMessage(message)) return focusHolder_->OnMessage(message, wParam, lParam) != 0;
    return false;
}

void QPXDialogFrame::RouteMouse(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    BOOL objectHandled = FALSE;
    if (message == WM_MOUSELEAVE) {
        if (root_) root_->OnMouseLeave(message, wParam, lParam, objectHandled);
        handled = objectHandled != FALSE;
        return;
    }
    if (message == WM_MOUSEMOVE) {
        TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, window_, HOVER_DEFAULT};
        TrackMouseEvent(&track);
    }
    if (!root_) return;
    const RECT rect = root_->GetRect();
    const POINT point = QPXUE::PointFromLParam(lParam);
    const bool inside = PtInRect(&rect, point) != FALSE;
    switch (message) {
        case WM_MOUSEMOVE:
            if (inside) root_->OnMouseMove(message, wParam, lParam, objectHandled);
            else root_->OnMouseLeave(message, wParam, lParam, objectHandled);
            break;
        case WM_LBUTTONDOWN:
            if (inside) root_->OnLButtonDown(message, wParam, lParam, objectHandled);
            break;
        case WM_LBUTTONUP:
            if (inside) root_->OnLButtonUp(message, wParam, lParam, objectHandled);
            break;
        case WM_MOUSEHOVER:
            if (inside) root_->OnMouseHover(message, wParam, lParam, objectHandled);
            break;
        default:
            break;
    }
    handled = objectHandled != FALSE;
}

void QPXDialogFrame::SetCursorFromObjects() {
    POINT point;
    GetCursorPos(&point);
    ScreenToClient(window_, &point);
    const LPARAM position = MAKELPARAM(point.x, point.y);
    BOOL handled = FALSE;
    if (captureHolder_) {
        captureHolder_->OnSetCursor(WM_SETCURSOR, 0, position, point.x, point.y, handled);
        return;
    }
    if (root_) {
        const RECT rect = root_->GetRect();
        if (PtInRect(&rect, point)) root_->OnSetCursor(WM_SETCURSOR, 0, position, point.x, point.y, handled);
    }
    if (!handled) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

void QPXDialogFrame::OnHolderMessage(UINT message, QPXUE::IQPXBaseUIObject* object) {
    switch (message) {
        case QPXUM_SETCAPTURE:
            if (traits_.captureWindowMouse) ::SetCapture(window_);
            if (captureHolder_ == object) return;
            if (captureHolder_) captureHolder_->OnCaptureLost();
            captureHolder_ = object;
            return;
        case QPXUM_RELEASECAPTURE:
            if (traits_.captureWindowMouse) ::ReleaseCapture();
            if (captureHolder_ == object) captureHolder_ = nullptr;
            return;
        case QPXUM_SETFOCUS:
            if (focusHolder_ == object) return;
            if (focusHolder_) focusHolder_->KillFocus();
            focusHolder_ = object;
            return;
        case QPXUM_KILLFOCUS:
            if (focusHolder_ != object) return;
            if (traits_.captureLostOnKillFocus) focusHolder_->OnCaptureLost();
            focusHolder_ = nullptr;
            return;
        default:
            return;
    }
}

void QPXDialogFrame::OnAnimationTimer(UINT message, WPARAM wParam,
                                      QPXUE::IQPXBaseAnimationObject* animation) {
    if (message == QPXUM_SETANIMATIONTIMER) {
        const UINT id = static_cast<UINT>(QPX_ANIMATION_TIMER_BASE + LOWORD(wParam));
        SetTimer(window_, id, HIWORD(wParam), nullptr);
        animationTimers_.emplace(id, animation);
        if (traits_.timerLogName) LogLine(L"%s::OnQPXUMSetAnimationTimer %d", traits_.timerLogName, id);
        return;
    }
    const UINT id = static_cast<UINT>(QPX_ANIMATION_TIMER_BASE + wParam);
    const auto found = animationTimers_.find(id);
    if (found == animationTimers_.end() || found->second != animation) return;
    animationTimers_.erase(found);
    KillTimer(window_, id);
    if (traits_.timerLogName) LogLine(L"%s::OnQPXUMKillAnimationTimer %d", traits_.timerLogName, id);
}

bool QPXDialogFrame::OnAction(UINT, WPARAM, LPARAM) { return false; }

bool QPXDialogFrame::OnOwnMessage(UINT, WPARAM, LPARAM) { return false; }

bool QPXDialogFrame::ChangesOnlyArea(UINT message, WPARAM wParam, RECT& area) const {
    if (message != WM_TIMER || !traits_.animationTimers) return false;
    const auto found = animationTimers_.find(static_cast<UINT>(wParam));
    if (found == animationTimers_.end()) return false;
    area = found->second->AnimatedArea();
    if (const auto* object = dynamic_cast<const QPXUE::IQPXBaseUIObject*>(found->second)) CutToShown(*object, area);
    return true;
}

LRESULT QPXDialogFrame::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    RECT area;
    if (ChangesOnlyArea(message, wParam, area)) {
        painter_.NoticeArea(area);
    } else {
        painter_.Notice(message, wParam);
    }
    handled = true;
    if (message == WM_INITDIALOG) {
        if (!SetUp()) {
            PostMessageW(window_, WM_CLOSE, 0, 0);  // ends in order through the loop
            return TRUE;
        }
        Redraw();
        SetTimer(window_, QPX_REDRAW_TIMER, QPX_REDRAW_PERIOD, nullptr);
        return TRUE;
    }
    if (RouteToHolders(message, wParam, lParam)) return 0;
    if (message >= QPXUM_ACTION_BASE && message < QPXUM_ACTION_END) {
        handled = OnAction(message - QPXUM_ACTION_BASE, wParam, lParam);
        return 0;
    }
    if (OnOwnMessage(message, wParam, lParam)) return 0;
    switch (message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_MOUSEHOVER:
        case WM_MOUSELEAVE:
            RouteMouse(message, wParam, lParam, handled);
            return 0;
        case WM_SETCURSOR:
            SetCursorFromObjects();
            return TRUE;
        case QPXUM_SETCAPTURE:
        case QPXUM_RELEASECAPTURE:
        case QPXUM_SETFOCUS:
        case QPXUM_KILLFOCUS:
            OnHolderMessage(message, reinterpret_cast<QPXUE::IQPXBaseUIObject*>(lParam));
            return 0;
        case QPXUM_SETANIMATIONTIMER:
        case QPXUM_KILLANIMATIONTIMER:
            handled = traits_.animationTimers;
            if (handled) OnAnimationTimer(message, wParam, reinterpret_cast<QPXUE::IQPXBaseAnimationObject*>(lParam));
            return 0;
        case WM_TIMER:
            if (wParam == QPX_REDRAW_TIMER) {
                if (!IsIconic(window_)) Redraw();
                // The next period starts after the paint: a paint slower than the period
                // would otherwise stay overdue and starve the progress and animation timers.
                SetTimer(window_, QPX_REDRAW_TIMER, QPX_REDRAW_PERIOD, nullptr);
            } else if (traits_.animationTimers) {
                const auto found = animationTimers_.find(static_cast<UINT>(wParam));
                if (found != animationTimers_.end())
                    found->second->OnTimer(static_cast<UINT>(wParam - QPX_ANIMATION_TIMER_BASE));
            }
            return 0;
        case WM_NCCALCSIZE:  // the whole window is client area
            return 0;
        case WM_DPICHANGED:  // wParam: the new DPI in both words; lParam: the suggested rect
            OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_COMMAND:  // Enter and Escape never end a dialog
            handled = LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL;
            return 0;
        case WM_CLOSE:  // 0 unless the dialog asked for its end itself
            CloseDialog(std::exchange(ownResult_, 0));
            return 0;
        case WM_DESTROY:
            if (loop_) loop_->RemoveMessageFilter(this);
            loop_ = nullptr;
            return 0;
        default:
            handled = false;
            return 0;
    }
}

void QPXDialogFrame::EndWith(int result) {
    ownResult_ = result;
    PostMessageW(window_, WM_CLOSE, 0, 0);
}

void QPXDialogFrame::CloseDialog(int result) {
    // The close's own message is one level: any more means a handler below still runs.
    if (dispatchDepth_ > 1) {
        if (!pendingClose_) pendingClose_ = result;
        return;
    }
    EndDialog(result);
}

void QPXDialogFrame::EndDialog(int result) {
    pendingClose_.reset();
    OnCleanup();
    focusHolder_ = nullptr;
    captureHolder_ = nullptr;
    root_ = nullptr;
    const HWND window = window_;
    DestroyWindow(window);  // its WM_DESTROY removes the message filter
    window_ = nullptr;
    PostQuitMessage(result);
    // The tree goes last: nothing dispatches to it once the window is gone.
    QPXUE::DestroyLayout(window);
}

INT_PTR CALLBACK QPXDialogFrame::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<QPXDialogFrame*>(lParam)->window_ = window;
    }
    auto* dialog = reinterpret_cast<QPXDialogFrame*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!dialog || !dialog->window_) return FALSE;
    bool handled = false;
    ++dialog->dispatchDepth_;
    const LRESULT result = dialog->HandleMessage(message, wParam, lParam, handled);
    if (--dialog->dispatchDepth_ == 0 && dialog->pendingClose_ && dialog->window_) {
        dialog->EndDialog(*dialog->pendingClose_);
        return TRUE;
    }
    if (!handled) return FALSE;
    if (message == WM_INITDIALOG) return result;
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}
