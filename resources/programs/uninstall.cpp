// The sample product's uninstaller: says plainly that it removes nothing.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
    MessageBoxW(nullptr,
                L"This sample's uninstaller removes nothing.\r\n"
                L"To remove Corvane, delete its folder by hand.",
                L"Corvane", MB_OK | MB_ICONINFORMATION);
    return 0;
}
