// The windowless rich-edit host: answers the text services' questions on behalf of the
// dialog window and owns the text services and the library they come from.
#pragma once

#include <windows.h>
#include <richedit.h>
#include <textserv.h>
#include <wrl/client.h>

#include "qpxdroptarget.h"
#include "qpxhandle.h"

namespace QPXUE {

class TextBoxUIObjectImpl;

// The host's window-procedure entry: the messages a windowed edit control would receive.
class ITextEditControl : public IUnknown {
public:
    virtual LRESULT STDMETHODCALLTYPE WindowProc(HWND window, UINT msg, WPARAM wParam,
                                                 LPARAM lParam) = 0;
};

// ITextHost methods carry no calling-convention keyword in the platform header, so they are
// thiscall on i686, as riched20 calls them; only IUnknown's are stdcall.
// Final: Release deletes it through its own type.
class CTxtWinHost final : public ITextHost, public ITextEditControl, public DropArea {
public:
    // Builds the host and its text services over `client` (window client pixels) with `margin`
    // pixels around the text, active in place. Returns null when the rich-edit library or its
    // text services cannot be had or activated.
    static Microsoft::WRL::ComPtr<CTxtWinHost> Create(TextBoxUIObjectImpl* box, HWND window,
                                                      const RECT& client, int margin);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // ITextEditControl: passes msg to the text services, and to DefWindowProcW when they do
    // not handle it.
    LRESULT STDMETHODCALLTYPE WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) override;

    // ITextHost
    HDC TxGetDC() override;
    INT TxReleaseDC(HDC hdc) override;
    WINBOOL TxShowScrollBar(INT bar, WINBOOL show) override;
    WINBOOL TxEnableScrollBar(INT flags, INT arrows) override;
    WINBOOL TxSetScrollRange(INT bar, LONG minPos, INT maxPos, WINBOOL redraw) override;
    WINBOOL TxSetScrollPos(INT bar, INT pos, WINBOOL redraw) override;
    void TxInvalidateRect(LPCRECT rect, WINBOOL mode) override;
    void TxViewChange(WINBOOL update) override;
    WINBOOL TxCreateCaret(HBITMAP bitmap, INT width, INT height) override;
    WINBOOL TxShowCaret(WINBOOL show) override;
    WINBOOL TxSetCaretPos(INT x, INT y) override;
    WINBOOL TxSetTimer(UINT id, UINT timeout) override;
    void TxKillTimer(UINT id) override;
    void TxScrollWindowEx(INT dx, INT dy, LPCRECT scroll, LPCRECT clip, HRGN update,
                          LPRECT updateRect, UINT flags) override;
    void TxSetCapture(WINBOOL capture) override;
    void TxSetFocus() override;
    void TxSetCursor(HCURSOR cursor, WINBOOL text) override;
    WINBOOL TxScreenToClient(LPPOINT point) override;
    WINBOOL TxClientToScreen(LPPOINT point) override;
    HRESULT TxActivate(LONG* oldState) override;
    HRESULT TxDeactivate(LONG newState) override;
    HRESULT TxGetClientRect(LPRECT rect) override;
    HRESULT TxGetViewInset(LPRECT rect) override;
    HRESULT TxGetCharFormat(const CHARFORMATW** format) override;
    HRESULT TxGetParaFormat(const PARAFORMAT** format) override;
    COLORREF TxGetSysColor(int index) override;
    HRESULT TxGetBackStyle(TXTBACKSTYLE* style) override;
    HRESULT TxGetMaxLength(DWORD* length) override;
    HRESULT TxGetScrollBars(DWORD* scrollBars) override;
    HRESULT TxGetPasswordChar(TCHAR* ch) override;
    HRESULT TxGetAcceleratorPos(LONG* pos) override;
    HRESULT TxGetExtent(LPSIZEL extent) override;
    HRESULT OnTxCharFormatChange(const CHARFORMATW* format) override;
    HRESULT OnTxParaFormatChange(const PARAFORMAT* format) override;
    HRESULT TxGetPropertyBits(DWORD mask, DWORD* bits) override;
    HRESULT TxNotify(DWORD notify, void* data) override;
    HIMC TxImmGetContext() override;
    void TxImmReleaseContext(HIMC context) override;
    HRESULT TxGetSelectionBarWidth(LONG* width) override;

    ITextServices* Services() const { return services_.Get(); }
    // The text area: the client rect deflated by the margin on every side.
    RECT TextArea() const;
    // DropArea: drops land in the text area.
    RECT DropRect() const override { return TextArea(); }
    // A new client rect and margin, as after a change of the window's scale; the services lay
    // the text out in the new area.
    void SetClientRect(const RECT& client, int margin);
    // Switches property bits on or off and tells the text services.
    void SetPropertyBits(DWORD mask, bool on);
    void SetTextColor(COLORREF rgb);
    // Face, height and character set of the font; effects are only ever cleared.
    void SetFont(HFONT font);
    void SetMaxLength(DWORD length);
    void SetDisabledLook(bool disabled);
    // A hidden box's services are deactivated and take no drops; shown, they are active again
    // and take the drops over their area.
    void SetShown(bool shown);
    POINT CaretPos() const { return caretPos_; }
    int CaretHeight() const { return caretHeight_; }
    bool CaretVisible() const { return caretVisible_; }

private:
    CTxtWinHost(TextBoxUIObjectImpl* box, HWND window, SIZE pixelsPerInch);
    ~CTxtWinHost();
    // Activates the services in place over the text area.
    HRESULT Activate();
    // The services take the drops over the text area, beside the window's other boxes.
    void RegisterDropTarget();
    void InitDefaultFormats();
    // The extent of the text area inside the client rect, in HIMETRIC.
    void UpdateExtent();
    void CharFormatChanged();

    LONG references_ = 1;
    HWND window_;
    // Pixels per logical inch of the dialog's device when the host was made.
    const SIZE pixelsPerInch_;
    // The library before the services it makes: members go in reverse order, and the
    // services must be released while their code is still loaded.
    UniqueModule library_;
    Microsoft::WRL::ComPtr<ITextServices> services_;
    DWORD style_;
    DWORD propertyBits_;
    DWORD maxLength_ = 0x7FFF;
    RECT client_{};
    int margin_ = 0;  // pixels between the client rect and the text area
    SIZEL extent_{};
    CHARFORMAT2W charFormat_{};
    PARAFORMAT paraFormat_{};
    bool dropTargetRegistered_ = false;
    bool shown_ = true;
    POINT caretPos_{};
    int caretHeight_ = 0;
    bool caretVisible_ = false;
    TextBoxUIObjectImpl* box_;
};

}  // namespace QPXUE
