// Corvane's updater in the sample product: it only has to exist and run; there is nothing to update.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) { return 0; }
