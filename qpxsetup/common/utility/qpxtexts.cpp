// The engine's own texts in the language of the run, and the language tags that name them.
#include "qpxtexts.h"

#include <windows.h>

#include <vector>

#include "qpxtext.h"

namespace {

// One text in each of the engine's languages, in the order of TextId. The Chinese ones are the
// texts the engine has always shown, byte for byte.
struct TextEntry {
    const char* name;
    const wchar_t* chinese;
    const wchar_t* english;
};

const TextEntry kTexts[] = {
    {"folder_refused",
     L"安装路径不能是磁盘根目录、Program Files目录本身或用户目录，也不能在Windows目录中，"
     L"请为产品选择一个单独的文件夹！",
     L"The install folder cannot be the root of a drive, the Program Files folder itself or a "
     L"user's folder, nor lie inside the Windows folder. Please choose a folder of the product's own!"},
    {"install_path_invalid", L"安装路径非法，请重新修改！", L"The install folder is not valid. Please change it!"},
    {"backup_path_invalid", L"备份路径非法，请重新修改！", L"The backup folder is not valid. Please change it!"},
    {"disk_space_short", L"磁盘剩余可用空间不足,安装程序需要{1}MB的空间来完成安装！",
     L"There is not enough free disk space: setup needs {1} MB to complete the installation!"},
    {"error_caption", L"错误", L"Error"},
    {"notice_caption", L"提示", L"Notice"},
    {"quit_question", L"您确定要退出安装程序？", L"Are you sure you want to quit setup?"},
    {"quit_caption", L"提醒", L"Quit setup"},
    {"browse_install_title", L"选择安装目录", L"Choose the install folder"},
    {"browse_backup_title", L"选择备份目录", L"Choose the backup folder"},
    {"script_error_caption", L":-( 杯具，脚本执行时发生错误", L":-( Sorry, an error occurred while running the script"},
    {"script_error_feedback", L"请向我们反馈以上错误信息，以便我们改善产品质量！",
     L"Please report the error above to us so that we can improve the product!"},
    {"delete_failed",
     L"无法删除\"{1}\"，可能是被占用，请关闭占用程序后点击重试或者点击忽略在卸载完成之后手动删除！",
     L"\"{1}\" cannot be deleted; it may be in use. Close the program that uses it and click Retry, or "
     L"click Ignore and delete it yourself once the uninstallation is complete!"},
    {"delete_failed_caption", L"提示", L"Notice"},
    {"uninstall_copy_failed", L"无法准备卸载程序，卸载已取消。",
     L"The uninstaller cannot be prepared; the uninstallation is cancelled."},
    {"uninstall_caption", L"卸载", L"Uninstall"},
    {"not_installed", L"{1} 未安装或已被卸载。", L"{1} is not installed or has already been uninstalled."},
    {"uninstall_folder_refused", L"卸载已取消：{1} 不是可以删除的安装文件夹。",
     L"Uninstallation cancelled: {1} is not an install folder that can be removed."},
    {"uninstall_scripts_broken", L"卸载程序的脚本文件缺失或已损坏，无法卸载。",
     L"The uninstaller's script files are missing or damaged; nothing can be uninstalled."},
    {"setup_title_suffix", L"安装", L" Setup"},
    {"uninstall_title_suffix", L"卸载", L" Uninstall"},
};
static_assert(sizeof kTexts / sizeof kTexts[0] == static_cast<size_t>(TextId::kCount),
              "one entry per text, in the order of TextId");

struct Language {
    const wchar_t* tag;
    const wchar_t* TextEntry::*column;
};
const Language kChinese{kDefaultLanguage, &TextEntry::chinese};
const Language kEnglish{L"en", &TextEntry::english};
const Language kLanguages[] = {kChinese, kEnglish};

std::vector<std::wstring> Column(const Language& language) {
    std::vector<std::wstring> texts;
    for (const TextEntry& entry : kTexts) texts.push_back(entry.*language.column);
    return texts;
}

std::vector<std::wstring>& Current() {
    static std::vector<std::wstring> texts = Column(kChinese);
    return texts;
}

const Language& TableFor(const std::wstring& tag) {
    const std::vector<std::wstring>& tags = EngineLanguages();
    const std::wstring* match = MatchLanguage(tags, tag);
    return match ? kLanguages[match - tags.data()] : kEnglish;
}

}  // namespace

const std::wstring& EngineText(TextId id) { return Current()[static_cast<size_t>(id)]; }

std::wstring EngineText(TextId id, const std::wstring& argument) {
    return ReplaceAll(EngineText(id), L"{1}", argument);
}

const char* EngineTextName(TextId id) { return kTexts[static_cast<size_t>(id)].name; }

void UseEngineTexts(const std::wstring& tag) { Current() = Column(TableFor(tag)); }

bool OverrideEngineText(const std::string& name, const std::wstring& text) {
    for (size_t i = 0; i < static_cast<size_t>(TextId::kCount); ++i) {
        if (name != kTexts[i].name) continue;
        Current()[i] = text;
        return true;
    }
    return false;
}

bool SameLanguageTag(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

std::wstring PrimaryLanguage(const std::wstring& tag) { return tag.substr(0, tag.find_first_of(L"-_")); }

const std::wstring* MatchLanguage(const std::vector<std::wstring>& tags, const std::wstring& wanted) {
    for (const std::wstring& tag : tags)
        if (SameLanguageTag(tag, wanted)) return &tag;
    for (const std::wstring& tag : tags)
        if (SameLanguageTag(PrimaryLanguage(tag), PrimaryLanguage(wanted))) return &tag;
    return nullptr;
}

const std::vector<std::wstring>& EngineLanguages() {
    static const std::vector<std::wstring> tags = [] {
        std::vector<std::wstring> list;
        for (const Language& language : kLanguages) list.emplace_back(language.tag);
        return list;
    }();
    return tags;
}
