// The per-thread modal message loop of the dialogs, with message filters that see every
// message before it is dispatched.
#pragma once

#include <windows.h>

#include <vector>

class IQPXMessageFilter {
public:
    virtual ~IQPXMessageFilter() = default;
    // True when the filter consumed the message; it is then neither translated nor dispatched.
    virtual bool PreTranslateMessage(MSG* message) = 0;
};

class QPXMessageLoop {
public:
    void AddMessageFilter(IQPXMessageFilter* filter);
    void RemoveMessageFilter(IQPXMessageFilter* filter);
    // Runs until WM_QUIT and returns its wParam: the result of the dialog that posted it.
    int Run();

private:
    std::vector<IQPXMessageFilter*> filters_;  // not owned; each dialog removes its own
};

// The loops registered per thread, so a dialog finds the loop of the thread it runs on.
namespace QPXAppModule {
void AddMessageLoop(QPXMessageLoop* loop);
void RemoveMessageLoop();
QPXMessageLoop* GetMessageLoop();
}  // namespace QPXAppModule
