// The windowless rich-edit host: answers the text services' questions on behalf of the
// dialog window and owns the text services and the library they come from.
#include "qpxtxtwinhost.h"

#include <imm.h>
#include <ole2.h>

#include <cstdlib>

#include "qpxsystem.h"
#include "qpxtextbox.h"

namespace QPXUE {
namespace {

using Microsoft::WRL::ComPtr;

// The platform's import library does not carry these identifiers.
const IID kIIDTextServices = {0x8D33F740, 0xCF58, 0x11CE, {0xA8, 0x9D, 0x00, 0xAA, 0x00, 0x6C, 0xAD, 0xC5}};
const IID kIIDTextHost = {0x13E670F4, 0x1A5A, 0x11CF, {0xAB, 0xEB, 0x00, 0xAA, 0x00, 0xB6, 0x5E, 0xA1}};
// Older identifier of the host interface, answered as well.
const IID kIIDTextHostOld = {0xC5BDD8D0, 0xD26E, 0x11CE, {0xA8, 0x9E, 0x00, 0xAA, 0x00, 0x6C, 0xAD, 0xC5}};
const IID kIIDTextEditControl = {0xF6642620, 0xD266, 0x11CE, {0xA8, 0x9E, 0x00, 0xAA, 0x00, 0x6C, 0xAD, 0xC5}};

constexpr LONG kHimetricPerInch = 2540;
constexpr LONG kTwipsPerInch = 1440;
constexpr DWORD kEditStyle = ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL;
constexpr DWORD kCharFormatMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT |
                                  CFM_PROTECTED | CFM_LINK | CFM_SIZE | CFM_COLOR | CFM_FACE |
                                  CFM_OFFSET | CFM_CHARSET | CFM_BACKCOLOR;

LONG PixelsToHimetric(int pixels, int perInch) { return MulDiv(pixels, kHimetricPerInch, perInch); }

SIZE PixelsPerInch(HWND window) {
    const WindowDc dc(window);
    return SIZE{GetDeviceCaps(dc.get(), LOGPIXELSX), GetDeviceCaps(dc.get(), LOGPIXELSY)};
}

}  // namespace

CTxtWinHost::CTxtWinHost(TextBoxUIObjectImpl* box, HWND window, SIZE pixelsPerInch)
    : window_(window),
      pixelsPerInch_(pixelsPerInch),
      style_(kEditStyle),
      propertyBits_(TXTBIT_RICHTEXT | TXTBIT_ALLOWBEEP),  // ES_NOHIDESEL: no HIDESELECTION
      box_(box) {}

CTxtWinHost::~CTxtWinHost() {
    if (services_) {
        if (dropTargetRegistered_) WindowDropTarget::Leave(window_, this);
        services_->OnTxInPlaceDeactivate();
    }
}

void CTxtWinHost::InitDefaultFormats() {
    LOGFONTW font{};
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(font), &font);
    charFormat_.cbSize = sizeof(charFormat_);
    charFormat_.dwMask = kCharFormatMask;
    charFormat_.yHeight = std::labs(font.lfHeight * kTwipsPerInch / pixelsPerInch_.cy);
    charFormat_.dwEffects = CFE_AUTOBACKCOLOR;
    if (font.lfWeight >= FW_BOLD) charFormat_.dwEffects |= CFE_BOLD;
    if (font.lfItalic) charFormat_.dwEffects |= CFE_ITALIC;
    if (font.lfUnderline) charFormat_.dwEffects |= CFE_UNDERLINE;
    if (font.lfStrikeOut) charFormat_.dwEffects |= CFE_STRIKEOUT;
    charFormat_.crTextColor = 0;  // the text box sets its own colour
    charFormat_.bCharSet = font.lfCharSet;
    charFormat_.bPitchAndFamily = font.lfPitchAndFamily;
    lstrcpynW(charFormat_.szFaceName, font.lfFaceName, LF_FACESIZE);

    paraFormat_.cbSize = sizeof(paraFormat_);
    paraFormat_.dwMask = PFM_ALL;
    paraFormat_.wAlignment = PFA_LEFT;
    paraFormat_.cTabCount = 1;
    paraFormat_.rgxTabs[0] = 720;  // twips: half an inch
}

ComPtr<CTxtWinHost> CTxtWinHost::Create(TextBoxUIObjectImpl* box, HWND window,
                                        const RECT& client, int margin) {
    GdiSetBatchLimit(1);
    ComPtr<CTxtWinHost> host;
    host.Attach(new CTxtWinHost(box, window, PixelsPerInch(window)));  // the creator's reference
    host->InitDefaultFormats();
    // Not one of the DLLs Windows always takes from the system folder: load it by full path.
    host->library_.reset(LoadSystemLibrary(L"riched20.dll"));
    if (!host->library_) return nullptr;
    const auto create = reinterpret_cast<PCreateTextServices>(
        reinterpret_cast<void*>(GetProcAddress(host->library_.get(), "CreateTextServices")));
    if (create == nullptr) return nullptr;
    ComPtr<IUnknown> unknown;
    if (FAILED(create(nullptr, host.Get(), &unknown)) || !unknown) return nullptr;
    // The platform's import library lacks the services' identifier, which As() would need.
    if (FAILED(unknown->QueryInterface(kIIDTextServices,
                                       reinterpret_cast<void**>(host->services_.GetAddressOf()))) ||
        !host->services_) {
        return nullptr;
    }

    host->client_ = client;
    host->margin_ = margin;
    host->UpdateExtent();
    if (FAILED(host->Activate())) return nullptr;
    // The dialog window must not grow scroll bars for the box.
    SetWindowLongW(window, GWL_STYLE,
                   GetWindowLongW(window, GWL_STYLE) & ~(WS_HSCROLL | WS_VSCROLL));
    host->RegisterDropTarget();
    return host;
}

void CTxtWinHost::RegisterDropTarget() {
    ComPtr<IDropTarget> dropTarget;
    if (!dropTargetRegistered_ && SUCCEEDED(services_->TxGetDropTarget(&dropTarget)) && dropTarget) {
        dropTargetRegistered_ = WindowDropTarget::Join(window_, this, dropTarget.Get());
    }
}

void CTxtWinHost::SetShown(bool shown) {
    shown_ = shown;
    if (shown) {
        Activate();
        RegisterDropTarget();
        return;
    }
    if (dropTargetRegistered_) WindowDropTarget::Leave(window_, this);
    dropTargetRegistered_ = false;
    services_->OnTxInPlaceDeactivate();
}

void CTxtWinHost::SetClientRect(const RECT& client, int margin) {
    client_ = client;
    margin_ = margin;
    UpdateExtent();
    services_->OnTxPropertyBitsChange(TXTBIT_CLIENTRECTCHANGE | TXTBIT_EXTENTCHANGE,
                                      TXTBIT_CLIENTRECTCHANGE | TXTBIT_EXTENTCHANGE);
    // Active services take their area when activated; hidden ones take it when shown again.
    if (shown_) Activate();
}

void CTxtWinHost::UpdateExtent() {
    extent_.cx = PixelsToHimetric(client_.right - client_.left - 2 * margin_, pixelsPerInch_.cx);
    extent_.cy = PixelsToHimetric(client_.bottom - client_.top - 2 * margin_, pixelsPerInch_.cy);
}

HRESULT CTxtWinHost::Activate() {
    const RECT area = TextArea();
    return services_->OnTxInPlaceActivate(&area);
}

RECT CTxtWinHost::TextArea() const {
    RECT area = client_;
    InflateRect(&area, -margin_, -margin_);
    return area;
}

void CTxtWinHost::SetPropertyBits(DWORD mask, bool on) {
    if (on) propertyBits_ |= mask;
    else propertyBits_ &= ~mask;
    services_->OnTxPropertyBitsChange(mask, propertyBits_ & mask);
}

void CTxtWinHost::CharFormatChanged() {
    services_->OnTxPropertyBitsChange(TXTBIT_CHARFORMATCHANGE, TXTBIT_CHARFORMATCHANGE);
    // Some text services ignore the notice: hand them the format itself, for the text there
    // is and the text to come.
    LRESULT ignored = 0;
    services_->TxSendMessage(EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&charFormat_), &ignored);
    services_->TxSendMessage(EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&charFormat_), &ignored);
}

void CTxtWinHost::SetTextColor(COLORREF rgb) {
    charFormat_.crTextColor = rgb;
    CharFormatChanged();
}

void CTxtWinHost::SetFont(HFONT font) {
    LOGFONTW logFont{};
    GetObjectW(font, sizeof(logFont), &logFont);
    charFormat_.yHeight = logFont.lfHeight * kTwipsPerInch / pixelsPerInch_.cy;
    if (charFormat_.yHeight < 0) charFormat_.yHeight = -charFormat_.yHeight;
    if (logFont.lfWeight < FW_BOLD) charFormat_.dwEffects &= ~CFE_BOLD;
    if (!logFont.lfItalic) charFormat_.dwEffects &= ~CFE_ITALIC;
    if (!logFont.lfUnderline) charFormat_.dwEffects &= ~CFE_UNDERLINE;
    if (!logFont.lfStrikeOut) charFormat_.dwEffects &= ~CFE_STRIKEOUT;
    charFormat_.bCharSet = logFont.lfCharSet;
    charFormat_.bPitchAndFamily = logFont.lfPitchAndFamily;
    lstrcpynW(charFormat_.szFaceName, logFont.lfFaceName, LF_FACESIZE);
    CharFormatChanged();
}

void CTxtWinHost::SetMaxLength(DWORD length) {
    maxLength_ = length;
    services_->OnTxPropertyBitsChange(TXTBIT_MAXLENGTHCHANGE, TXTBIT_MAXLENGTHCHANGE);
    // Some text services never ask TxGetMaxLength; the limit message holds for typing anywhere.
    LRESULT ignored = 0;
    services_->TxSendMessage(EM_EXLIMITTEXT, 0, length, &ignored);
}

void CTxtWinHost::SetDisabledLook(bool disabled) {
    charFormat_.dwMask |= CFM_DISABLED | CFM_COLOR;
    if (disabled) charFormat_.dwEffects |= CFE_DISABLED | CFE_AUTOCOLOR;
    else charFormat_.dwEffects &= ~(CFE_DISABLED | CFE_AUTOCOLOR);
    CharFormatChanged();
}

// ---- IUnknown and the window-procedure entry ----

HRESULT STDMETHODCALLTYPE CTxtWinHost::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIIDTextHost) ||
        IsEqualIID(iid, kIIDTextHostOld))
        *object = static_cast<ITextHost*>(this);
    else if (IsEqualIID(iid, kIIDTextEditControl))
        *object = static_cast<ITextEditControl*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CTxtWinHost::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE CTxtWinHost::Release() {
    const LONG left = --references_;
    if (left == 0) delete this;
    return left;
}

LRESULT STDMETHODCALLTYPE CTxtWinHost::WindowProc(HWND window, UINT msg, WPARAM wParam,
                                                  LPARAM lParam) {
    LRESULT result = 0;
    if (services_->TxSendMessage(msg, wParam, lParam, &result) == S_FALSE)
        result = DefWindowProcW(window, msg, wParam, lParam);
    return result;
}

// ---- ITextHost: the dialog window stands in for the control's own window ----

HDC CTxtWinHost::TxGetDC() { return GetDC(window_); }
INT CTxtWinHost::TxReleaseDC(HDC hdc) { return ReleaseDC(window_, hdc); }
WINBOOL CTxtWinHost::TxShowScrollBar(INT bar, WINBOOL show) { return ShowScrollBar(window_, bar, show); }
WINBOOL CTxtWinHost::TxEnableScrollBar(INT flags, INT arrows) {
    return EnableScrollBar(window_, flags, arrows);
}
WINBOOL CTxtWinHost::TxSetScrollRange(INT bar, LONG minPos, INT maxPos, WINBOOL redraw) {
    return SetScrollRange(window_, bar, minPos, maxPos, redraw);
}
WINBOOL CTxtWinHost::TxSetScrollPos(INT bar, INT pos, WINBOOL redraw) {
    return SetScrollPos(window_, bar, pos, redraw) != 0;
}
void CTxtWinHost::TxInvalidateRect(LPCRECT rect, WINBOOL mode) { InvalidateRect(window_, rect, mode); }
void CTxtWinHost::TxViewChange(WINBOOL) { UpdateWindow(window_); }

WINBOOL CTxtWinHost::TxCreateCaret(HBITMAP bitmap, INT width, INT height) {
    caretHeight_ = height;
    return CreateCaret(window_, bitmap, width, height);
}

WINBOOL CTxtWinHost::TxShowCaret(WINBOOL show) {
    caretVisible_ = show != FALSE;
    return show ? ShowCaret(window_) : HideCaret(window_);
}

WINBOOL CTxtWinHost::TxSetCaretPos(INT x, INT y) {
    caretPos_ = POINT{x, y};
    return SetCaretPos(x, y);
}

WINBOOL CTxtWinHost::TxSetTimer(UINT id, UINT timeout) { return SetTimer(window_, id, timeout, nullptr) != 0; }
void CTxtWinHost::TxKillTimer(UINT id) { KillTimer(window_, id); }
void CTxtWinHost::TxScrollWindowEx(INT dx, INT dy, LPCRECT scroll, LPCRECT clip, HRGN update,
                                   LPRECT updateRect, UINT flags) {
    ScrollWindowEx(window_, dx, dy, scroll, clip, update, updateRect, flags);
}

void CTxtWinHost::TxSetCapture(WINBOOL capture) {
    if (capture) box_->SetCapture();
    else box_->ReleaseCapture();
}

void CTxtWinHost::TxSetFocus() { box_->SetFocus(); }
void CTxtWinHost::TxSetCursor(HCURSOR cursor, WINBOOL) { SetCursor(cursor); }
WINBOOL CTxtWinHost::TxScreenToClient(LPPOINT point) { return ScreenToClient(window_, point); }
WINBOOL CTxtWinHost::TxClientToScreen(LPPOINT point) { return ClientToScreen(window_, point); }
HRESULT CTxtWinHost::TxActivate(LONG*) { return S_OK; }
HRESULT CTxtWinHost::TxDeactivate(LONG) { return S_OK; }

HRESULT CTxtWinHost::TxGetClientRect(LPRECT rect) {
    *rect = TextArea();
    return S_OK;
}

HRESULT CTxtWinHost::TxGetViewInset(LPRECT rect) {
    *rect = RECT{};  // no border for this style
    return S_OK;
}

HRESULT CTxtWinHost::TxGetCharFormat(const CHARFORMATW** format) {
    *format = reinterpret_cast<const CHARFORMATW*>(&charFormat_);
    return S_OK;
}

HRESULT CTxtWinHost::TxGetParaFormat(const PARAFORMAT** format) {
    *format = &paraFormat_;
    return S_OK;
}

COLORREF CTxtWinHost::TxGetSysColor(int index) { return GetSysColor(index); }

HRESULT CTxtWinHost::TxGetBackStyle(TXTBACKSTYLE* style) {
    // Always transparent: the box draws the text over its own frame, and some text services
    // read the style only once, while they are created.
    *style = TXTBACK_TRANSPARENT;
    return S_OK;
}

HRESULT CTxtWinHost::TxGetMaxLength(DWORD* length) {
    *length = maxLength_;
    return S_OK;
}

HRESULT CTxtWinHost::TxGetScrollBars(DWORD* scrollBars) {
    *scrollBars = style_ & (WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                            ES_DISABLENOSCROLL);
    return S_OK;
}

HRESULT CTxtWinHost::TxGetPasswordChar(TCHAR* ch) {
    *ch = 0;  // no password character
    return S_OK;
}

HRESULT CTxtWinHost::TxGetAcceleratorPos(LONG* pos) {
    *pos = -1;
    return S_OK;
}

HRESULT CTxtWinHost::TxGetExtent(LPSIZEL extent) {
    *extent = extent_;
    return S_OK;
}

HRESULT CTxtWinHost::OnTxCharFormatChange(const CHARFORMATW*) { return S_OK; }

HRESULT CTxtWinHost::OnTxParaFormatChange(const PARAFORMAT* format) {
    paraFormat_ = *format;
    paraFormat_.cbSize = sizeof(paraFormat_);
    return S_OK;
}

HRESULT CTxtWinHost::TxGetPropertyBits(DWORD mask, DWORD* bits) {
    *bits = propertyBits_ & mask;
    return S_OK;
}

HRESULT CTxtWinHost::TxNotify(DWORD notify, void* data) {
    if (notify == EN_REQUESTRESIZE && data != nullptr) {
        // Grow the client rect to the size asked for, keeping the margins.
        const REQRESIZE* request = static_cast<const REQRESIZE*>(data);
        client_.right = client_.left + (request->rc.right - request->rc.left) + 2 * margin_;
        client_.bottom = client_.top + (request->rc.bottom - request->rc.top) + 2 * margin_;
        UpdateExtent();
    }
    return S_OK;
}

HIMC CTxtWinHost::TxImmGetContext() { return ImmGetContext(window_); }
void CTxtWinHost::TxImmReleaseContext(HIMC context) { ImmReleaseContext(window_, context); }

HRESULT CTxtWinHost::TxGetSelectionBarWidth(LONG* width) {
    *width = 0;
    return S_OK;
}

}  // namespace QPXUE
