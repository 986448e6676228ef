// Undoing what the install journal records: a failed installation's changes, in reverse
// (rollback), and an uninstallation that removes only what the installations made. Knows
// nothing of scripts.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "qpxjournal.h"

// Undoes one run's `records` (in the order they were made) from the last to the first: files
// it created go, files it replaced, deleted or moved come back from where they were set aside,
// registry values get their earlier data or go, keys it created or deleted go or come back.
// Then `beforeFolders` runs (the journal goes back to how it was), then the folders the run
// created go, once empty. Each step is logged; what cannot be undone is logged, and a file in
// use is scheduled for removal at the next restart.
void RollBack(const std::vector<JournalRecord>& records, const std::function<void()>& beforeFolders);

// Removes, in reverse order, what the journal in `folder` lists and is still there: files,
// shortcuts and resources the installations made, registry values they created and keys they
// created once empty, then the journal, then their folders once empty. Nothing the journal does
// not list is removed: what is left in a folder is named in the log and the folder stays. What
// is in use waits for FinishRemovals. False when something is left for it, or when `folder`
// has no journal that can be read (then nothing is removed).
bool RemoveRecorded(const std::wstring& folder);

// What RemoveRecorded could not remove is tried again for a moment (a program the script
// started may still be letting it go), then scheduled for removal at the next restart, each
// with its log line. `lastToGo`, when it is among them, is neither tried nor scheduled: it is a
// program file in use by a process that ends after this one and can have it removed then.
// Returned are that file and the folders that wait only for it, deepest first, or nothing.
std::vector<std::wstring> FinishRemovals(const std::wstring& lastToGo = std::wstring());
