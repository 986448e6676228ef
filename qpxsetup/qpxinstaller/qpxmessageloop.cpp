// The per-thread modal message loop of the dialogs, with message filters.
#include "qpxmessageloop.h"

#include <algorithm>
#include <map>

void QPXMessageLoop::AddMessageFilter(IQPXMessageFilter* filter) { filters_.push_back(filter); }

void QPXMessageLoop::RemoveMessageFilter(IQPXMessageFilter* filter) {
    filters_.erase(std::remove(filters_.begin(), filters_.end(), filter), filters_.end());
}

int QPXMessageLoop::Run() {
    MSG message;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == -1) return 0;
        if (got == 0) break;
        // Newest filter first; a copy, since a filter may remove itself while it runs.
        const std::vector<IQPXMessageFilter*> filters(filters_.rbegin(), filters_.rend());
        const bool consumed = std::any_of(filters.begin(), filters.end(),
                                          [&](IQPXMessageFilter* f) { return f->PreTranslateMessage(&message); });
        if (consumed) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

namespace {
// Only the main thread runs dialogs; the map keeps the registry honest if that changes.
std::map<DWORD, QPXMessageLoop*>& Loops() {
    static std::map<DWORD, QPXMessageLoop*> loops;
    return loops;
}
}  // namespace

namespace QPXAppModule {
void AddMessageLoop(QPXMessageLoop* loop) { Loops()[GetCurrentThreadId()] = loop; }
void RemoveMessageLoop() { Loops().erase(GetCurrentThreadId()); }
QPXMessageLoop* GetMessageLoop() {
    const auto found = Loops().find(GetCurrentThreadId());
    return found == Loops().end() ? nullptr : found->second;
}
}  // namespace QPXAppModule
