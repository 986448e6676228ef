// The platform the wizard runs on, for as long as it runs: COM and OLE, GDI+ and the common
// controls.
#pragma once

#include <windows.h>

#include "qpxcom.h"

// Started in this order on construction. On destruction the message loops of the thread go
// first, then GDI+, then COM: the reverse of what depends on what.
class QPXPlatformScope {
public:
    QPXPlatformScope();
    ~QPXPlatformScope();
    QPXPlatformScope(const QPXPlatformScope&) = delete;
    QPXPlatformScope& operator=(const QPXPlatformScope&) = delete;

private:
    const OleScope ole_;  // COM, and OLE for the text boxes' drop targets
    ULONG_PTR gdiplusToken_ = 0;  // 0 when GDI+ did not start
};
