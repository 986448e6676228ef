// The options dialog: licence, install folder with folder browser, feature check boxes and
// the install action that validates the folder and the free disk space.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include "qpxchoices.h"
#include "qpxdialogframe.h"

class QPXInitDlg : public QPXDialogFrame {
public:
    explicit QPXInitDlg(pugi::xml_node dlgElement);

protected:
    bool OnSetup() override;
    void OnCleanup() override;
    bool OnAction(UINT action, WPARAM wParam, LPARAM lParam) override;

private:
    void ReplaceProductName();
    // The text of the last text box, after its token was replaced.
    std::wstring ReplaceTextBoxTokens();
    void AskToQuit(LPARAM sender);
    void Install();
    void BrowseInstallFolder();
    void BrowseBackupFolder();
    void SwapSettingsPanels();
    void ShowFeatureChecks(WPARAM checked);
    void ShowSettings();
};

// The rules of the options dialog, apart from the window.
namespace InitDlgRules {
// A choice the install button refuses, and the box that says why.
struct Refusal {
    std::wstring caption;
    std::wstring text;
    UINT style;
};
// What the install button does apart from the window: writes every choice to the global of
// its name, then checks the install and backup folders (created when missing) and the free
// space of the install drive. The refusal, or none when the installation may go on.
std::optional<Refusal> ConfirmChoices(const PageChoices& choices);
// A folder is valid when it starts with a drive letter and exists afterwards (it and its
// missing parents are created).
bool ValidateFolder(const std::wstring& path);
// The message shown when the drive has too little space for `need` bytes.
std::wstring DiskSpaceMessage(uint64_t need);
// A chosen folder with the product's folder name appended, unless its last component
// already is that name.
std::wstring WithBaseName(const std::wstring& chosen, const std::wstring& baseName);
// A chosen backup folder: a drive root gets "DriversBackup" appended.
std::wstring BackupFolder(const std::wstring& chosen);
// Free bytes of the drive of `path` ("X:"); 0 when the query fails.
uint64_t FreeBytes(const std::wstring& path);
// The need as an unsigned 64-bit decimal; 0 when it is not one.
uint64_t ParseNeed(const std::wstring& text);
}  // namespace InitDlgRules
