// The options dialog: licence, install folder with folder browser, feature check boxes and
// the install action that validates the folder and the free disk space.
#include "qpxinitdlg.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <memory>
#include <vector>

#include "qpxanimation.h"
#include "qpxcontrols.h"
#include "qpxdlgtext.h"
#include "qpxglobals.h"
#include "qpxjournal.h"
#include "qpxlog.h"
#include "qpxmessagebox.h"
#include "qpxpath.h"
#include "qpxremovalguard.h"
#include "qpxscriptengine.h"
#include "qpxtextbox.h"
#include "qpxtexts.h"

using QPXUE::CarouselUIObjectImpl;
using QPXUE::CheckBoxUIObjectImpl;
using QPXUE::ContainerUIObjectImpl;
using QPXUE::LabelUIObjectImpl;
using QPXUE::TextBoxUIObjectImpl;

namespace {

enum Action : UINT {
    kQuit = 100,
    kInstall = 101,
    kSettings = 102,
    kLicenceChecked = 103,
    kLicenceLink = 104,
    kBrowseInstall = 105,
    kShowFeatures = 106,
    kBrowseBackup = 107,
    kSwapPanels = 108,
};

constexpr wchar_t kProductToken[] = L"$global_product_name$";
constexpr wchar_t kSeparator[] = L"-----------------------------";
constexpr UINT kBrowseFlags = 0x1053;  // file-system folders, edit box, new style
constexpr wchar_t kBackupDefault[] = L"c:\\DriversBackup";
constexpr wchar_t kBackupName[] = L"DriversBackup";
constexpr int kResultInstall = 1;
constexpr int kResultQuit = 2;

QPXScriptEngine& Engine() { return QPXScriptEngine::Instance(); }

TextBoxUIObjectImpl* FindTextBox(ContainerUIObjectImpl* root, const wchar_t* name) {
    if (!root) return nullptr;
    for (TextBoxUIObjectImpl* box : root->CollectControlsOfType<TextBoxUIObjectImpl>())
        if (box->GetName() == name) return box;
    return nullptr;
}

struct PidlDeleter {
    void operator()(ITEMIDLIST* pidl) const { CoTaskMemFree(pidl); }
};

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM initial) {
    if (message == BFFM_INITIALIZED && initial)
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, initial);
    // A typed name that does not validate keeps the browser open.
    return message == BFFM_VALIDATEFAILEDW ? 1 : 0;
}

// The folder the browser starts in: the text's folder, its parent, or `fallback`.
std::wstring InitialFolder(const std::wstring& text, const std::wstring& fallback) {
    if (text.empty()) return {};
    if (PathFileExistsW(text.c_str())) return text;
    std::wstring parent = text;
    PathRemoveFileSpecW(parent.data());
    parent.resize(wcslen(parent.c_str()));
    return PathFileExistsW(parent.c_str()) ? parent : fallback;
}

// Shows the folder browser; the chosen file-system folder, or empty on cancel.
std::wstring BrowseForFolder(const wchar_t* title, const std::wstring& initial) {
    BROWSEINFOW info{};
    info.hwndOwner = GetActiveWindow();
    info.lpszTitle = title;
    info.ulFlags = kBrowseFlags;
    info.lpfn = BrowseCallback;
    info.lParam = initial.empty() ? 0 : reinterpret_cast<LPARAM>(initial.c_str());
    std::unique_ptr<ITEMIDLIST, PidlDeleter> chosen(SHBrowseForFolderW(&info));
    wchar_t path[MAX_PATH];
    if (!chosen || !SHGetPathFromIDListW(chosen.get(), path)) return {};
    return path;
}

// Text boxes and IME input, a mouse capture of the window, and the settings carousel.
QPXFrameTraits FrameTraits() {
    QPXFrameTraits traits = TextInputFrameTraits();
    traits.animationTimers = true;
    return traits;
}

const std::wstring& ErrorCaption() { return EngineText(TextId::kErrorCaption); }

std::wstring ProgramFilesFolder() {
    wchar_t path[MAX_PATH] = L"";
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAM_FILES, FALSE);
    return path;
}

}  // namespace

namespace InitDlgRules {

bool ValidateFolder(const std::wstring& path) {
    if (PathGetDriveNumberW(path.c_str()) < 0) return false;
    const std::vector<std::wstring> missing = MissingFolders(path);
    const int created = SHCreateDirectory(nullptr, path.c_str());
    // The folders made here are the installation's: the journal has them once it begins.
    InstallJournal::Instance().AddFolders(missing);
    return created == ERROR_SUCCESS || created == ERROR_FILE_EXISTS || created == ERROR_ALREADY_EXISTS;
}

std::wstring DiskSpaceMessage(uint64_t need) {
    float megabytes = static_cast<float>(need);
    megabytes *= 0.0009765625f;
    megabytes *= 0.0009765625f;
    wchar_t size[64];
    _snwprintf(size, 64, L"%0.2f", static_cast<double>(megabytes));
    size[63] = L'\0';
    return EngineText(TextId::kDiskSpaceShort, size);
}

std::wstring WithBaseName(const std::wstring& chosen, const std::wstring& baseName) {
    const size_t slash = chosen.find_last_of(L"\\/");
    const std::wstring last = slash == std::wstring::npos ? chosen : chosen.substr(slash + 1);
    if (last == baseName) return chosen;
    std::wstring result = chosen;
    if (result.empty() || (result.back() != L'\\' && result.back() != L'/')) result += L'\\';
    return result + baseName;
}

std::wstring BackupFolder(const std::wstring& chosen) {
    return chosen.size() == 3 ? chosen + kBackupName : chosen;
}

uint64_t FreeBytes(const std::wstring& path) {
    const std::wstring drive = path.substr(0, 2);
    ULARGE_INTEGER available, total, free;
    if (!GetDiskFreeSpaceExW(drive.c_str(), &available, &total, &free)) return 0;
    return free.QuadPart;
}

uint64_t ParseNeed(const std::wstring& text) {
    return std::wcstoull(text.c_str(), nullptr, 10);
}

std::optional<Refusal> ConfirmChoices(const PageChoices& choices) {
    WriteChoices(choices);
    std::wstring path = Engine().GetGlobalString(kGlobalInstallPathBox);
    // A folder that names a drive root, the Windows folder, Program Files itself or a user's
    // folder, however it is spelt or reached, is refused before anything is created there. A
    // path that is no full path on a drive is the next check's to refuse.
    if (!ResolvedPath(path).empty()) {
        if (const wchar_t* why = RemovalRefusal(path)) {
            LogLine(L"install folder %s refused: %s\r\n", path.c_str(), why);
            return Refusal{ErrorCaption(), EngineText(TextId::kFolderRefused), MB_ICONWARNING};
        }
    }
    if (!ValidateFolder(path)) return Refusal{ErrorCaption(), EngineText(TextId::kInstallPathInvalid), MB_ICONWARNING};
    const std::wstring backup = Engine().GetGlobalString(kGlobalBackUpPathBox);
    if (!backup.empty()) {
        LogLine(L"backpath = %s", backup.c_str());
        if (!ValidateFolder(backup))
            return Refusal{ErrorCaption(), EngineText(TextId::kBackupPathInvalid), MB_ICONWARNING};
    }
    PathRemoveBackslashW(path.data());
    path.resize(wcslen(path.c_str()));
    Engine().SetGlobalString(kGlobalInstallPathBox, path);

    const uint64_t need = ParseNeed(Engine().GetGlobalString(kGlobalNeedDiskSpace));
    if (FreeBytes(path) >= need) return std::nullopt;
    return Refusal{EngineText(TextId::kNoticeCaption), DiskSpaceMessage(need), MB_ICONINFORMATION};
}

}  // namespace InitDlgRules

QPXInitDlg::QPXInitDlg(pugi::xml_node dlgElement)
    : QPXDialogFrame(dlgElement, FrameTraits()) {}

bool QPXInitDlg::OnSetup() {
    ContainerUIObjectImpl* body = Body();
    if (!body) return true;
    if (ContainerUIObjectImpl* settingsTwo = body->FindContainer(L"SettingsTwo"))
        ApplyStartupCheck(FindControlOf<CheckBoxUIObjectImpl>(settingsTwo, L"SelfStartChk"));
    ReplaceProductName();
    const std::wstring lastText = ReplaceTextBoxTokens();
    ContainerUIObjectImpl* settingsOne = body->FindContainer(L"SettingsOne");
    if (settingsOne && !lastText.empty()) {
        if (auto* label = FindControlOf<LabelUIObjectImpl>(settingsOne, L"PathLblinfo"))
            label->SetText(lastText);
    }
    LogLine(L" find ContainerUIObjectImpl pBodyCon   ");
    if (settingsOne) {
        LogLine(L" find ContainerUIObjectImpl SettingsOne   ");
        if (auto* carousel = FindControlOf<CarouselUIObjectImpl>(settingsOne, L"InitCarousel")) {
            LogLine(L" find CarouselUIObjectImplobject SettingsOne   ");
            carousel->Play();
        }
    }
    return true;
}

void QPXInitDlg::ReplaceProductName() {
    auto* licence = FindControlOf<CheckBoxUIObjectImpl>(Body(), L"LicenceChk");
    if (!licence) return;
    const std::wstring text =
        ReplaceAll(licence->GetText(), kProductToken, Engine().GetGlobalString(kGlobalProductName));
    licence->SetText(text);
    LogLine(L"%s", text.c_str());
}

std::wstring QPXInitDlg::ReplaceTextBoxTokens() {
    std::wstring lastText;
    for (TextBoxUIObjectImpl* box : Root()->CollectControlsOfType<TextBoxUIObjectImpl>()) {
        std::wstring text = box->GetText();
        LogLine(L"%s", text.c_str());
        std::wstring name;
        if (FirstDollarToken(text, name)) {
            LogLine(L"%s", name.c_str());
            const std::wstring value = Engine().GetGlobalString(GlobalName(name).c_str());
            if (!value.empty()) {
                text = ReplaceAll(text, L"$" + name + L"$", value);
                box->SetText(text);
                LogLine(kSeparator);
                LogLine(L"%s", text.c_str());
                LogLine(kSeparator);
            }
        }
        lastText = text;
    }
    return lastText;
}

void QPXInitDlg::OnCleanup() {
    // Stops the carousel set-up started, wherever the layout placed its panel.
    ContainerUIObjectImpl* body = Body();
    ContainerUIObjectImpl* settingsOne = body ? body->FindContainer(L"SettingsOne") : nullptr;
    if (!settingsOne && Root()) settingsOne = Root()->FindContainer(L"SettingsOne");
    if (auto* carousel = FindControlOf<CarouselUIObjectImpl>(settingsOne, L"InitCarousel")) {
        LogLine(L" find CarouselUIObjectImplobject InitCarousel   ");
        carousel->Stop();
    }
}

bool QPXInitDlg::OnAction(UINT action, WPARAM wParam, LPARAM lParam) {
    switch (action) {
        case kQuit:
            AskToQuit(lParam);
            return true;
        case kInstall:
            Install();
            return true;
        case kSettings:
            ShowSettings();
            return true;
        case kLicenceChecked:
            if (Body()) {
                if (QPXUE::IQPXBaseUIObject* button = Body()->FindControl(L"InstallBtn"))
                    button->SetEnabled(wParam != 0);
            }
            return true;
        case kLicenceLink: {
            const std::wstring url = Engine().GetGlobalString(kGlobalLicenceUrl);
            ShellExecuteW(nullptr, nullptr, url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            return true;
        }
        case kBrowseInstall:
            BrowseInstallFolder();
            return true;
        case kShowFeatures:
            ShowFeatureChecks(wParam);
            return true;
        case kBrowseBackup:
            BrowseBackupFolder();
            return true;
        case kSwapPanels:
            SwapSettingsPanels();
            return true;
        default:
            return false;
    }
}

void QPXInitDlg::AskToQuit(LPARAM sender) {
    if (ShowMessageBox(Window(), EngineText(TextId::kQuitQuestion).c_str(), EngineText(TextId::kQuitCaption).c_str(),
                       MB_OKCANCEL | MB_ICONQUESTION) == IDOK)
        EndWith(kResultQuit);
    // The close button lost the pointer to the box: drop its hover look.
    BOOL handled = FALSE;
    if (auto* button = reinterpret_cast<QPXUE::IQPXBaseUIObject*>(sender))
        button->OnMouseLeave(WM_MOUSELEAVE, 0, 0, handled);
}

void QPXInitDlg::Install() {
    if (const auto refusal = InitDlgRules::ConfirmChoices(CurrentChoices(Root()))) {
        ShowMessageBox(Window(), refusal->text.c_str(), refusal->caption.c_str(), refusal->style);
        return;
    }
    EndWith(kResultInstall);
}

void QPXInitDlg::BrowseInstallFolder() {
    TextBoxUIObjectImpl* box = FindTextBox(Root(), L"InstallPath");
    if (!box) return;
    const std::wstring initial = InitialFolder(box->GetText(), ProgramFilesFolder());
    if (!initial.empty()) LogLine(L"%s", initial.c_str());
    const std::wstring chosen = BrowseForFolder(EngineText(TextId::kBrowseInstallTitle).c_str(), initial);
    if (chosen.empty()) return;
    const std::wstring baseName = Engine().GetGlobalString(kGlobalInstallBasePath);
    LogLine(L"CheckDir %s, %s", chosen.c_str(), baseName.c_str());
    box->SetText(InitDlgRules::WithBaseName(chosen, baseName));
}

void QPXInitDlg::BrowseBackupFolder() {
    TextBoxUIObjectImpl* box = FindTextBox(Root(), L"BackUpPath");
    if (!box) return;
    const std::wstring initial = InitialFolder(box->GetText(), kBackupDefault);
    if (!initial.empty()) LogLine(L"%s", initial.c_str());
    const std::wstring chosen = BrowseForFolder(EngineText(TextId::kBrowseBackupTitle).c_str(), initial);
    if (!chosen.empty()) box->SetText(InitDlgRules::BackupFolder(chosen));
}

void QPXInitDlg::SwapSettingsPanels() {
    ContainerUIObjectImpl* body = Body();
    if (!body) return;
    bool wasVisible = false;
    if (ContainerUIObjectImpl* one = body->FindContainer(L"SettingsOne")) {
        wasVisible = one->IsVisible();
        one->SetVisible(!wasVisible);
    }
    if (ContainerUIObjectImpl* two = body->FindContainer(L"SettingsTwo")) two->SetVisible(wasVisible);
}

void QPXInitDlg::ShowFeatureChecks(WPARAM checked) {
    ContainerUIObjectImpl* body = Body();
    ContainerUIObjectImpl* settingsTwo = body ? body->FindContainer(L"SettingsTwo") : nullptr;
    if (!settingsTwo) return;
    LogLine(L"_IsRunning__________________________");
    LogLine(checked ? L"_Check__________________________" : L"_NO_Check__________________________");
    for (const wchar_t* name : {L"QuickLaunchChk", L"ShouldStartWithWindowsChk", L"StartMenuShortcutChk",
                                L"InstallSearchServer"}) {
        if (auto* box = FindControlOf<CheckBoxUIObjectImpl>(settingsTwo, name)) box->SetVisible(true);
    }
}

void QPXInitDlg::ShowSettings() {
    // The settings panel follows its check box, as the install button follows the licence.
    ContainerUIObjectImpl* body = Body();
    if (!body) return;
    auto* box = FindControlOf<CheckBoxUIObjectImpl>(body, L"SettingsChk");
    ContainerUIObjectImpl* settings = body->FindContainer(L"Settings");
    if (box && settings) settings->SetVisibleAll(box->IsChecked());
}
