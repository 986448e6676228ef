// The start-up floor: the least a GUI program built like the installer does before its first
// frame is on screen (register a class, show one borderless window of the dialog's size,
// paint it one colour) and nothing more. Closes on WM_CLOSE.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // A colour of its own, so the frame is told apart from the empty screen under it.
    windowClass.hbrBackground = CreateSolidBrush(RGB(0x2d, 0x7d, 0xd2));
    windowClass.lpszClassName = L"QpxTrivialWindow";
    if (!RegisterClassW(&windowClass)) return 1;
    // The options dialog's size, so both programs put as many pixels on screen.
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"trivial window", WS_POPUP, 100, 100,
                                  600, 430, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
