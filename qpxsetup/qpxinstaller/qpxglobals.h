// The contract between the installer and its scripts: every script global the application
// reads or writes and every hook it calls, with kind, value when unset, and reader.
#pragma once

// The application and the scripts share nothing but the script's global environment. An
// unset global reads as "" (string), 0 (integer) or false (boolean); a number read as a
// string is its Lua text form ("57999360"), a string read as an integer follows Lua's
// number rules. The application writes booleans, numbers and UTF-8 strings.
//
// The globals script sets 38 settings; those not named here are read only by the install
// script or by the product's other programs (they receive a copy of the globals script).

// Hooks: global functions of the install script, looked up by name at their moment and
// called without arguments; a global that is not a function is skipped silently. A dialog
// that ends with any result but 1 stops the flow, so the later hooks are never called.

// Main thread; both scripts have run, the single-instance object exists, COM, the common
// controls and GDI+ are up; before the completion switch is read and the layout is loaded.
constexpr char kHookBeforeInit[] = "QPXSE_BeforeInit";
// Main thread; the options dialog ended with 1 (the user confirmed); before the progress
// dialog is created.
constexpr char kHookBeforeInstall[] = "QPXSE_BeforeInstall";
// The progress dialog's worker thread, as soon as that dialog has initialised; when it
// returns (or is skipped) the worker posts QPXUM_INSTALLFINISHED to the dialog.
constexpr char kHookOnInstall[] = "QPXSE_OnInstall";
// Main thread; the progress dialog ended with 1.
constexpr char kHookBeforeComplete[] = "QPXSE_BeforeComplete";
// Main thread; the completion dialog ended with 1, or right after the previous hook when
// the completion dialog is not shown. The last hook of a successful run.
constexpr char kHookAfterComplete[] = "QPXSE_AfterComplete";

// The thread on which an installation that does not reach its end stops (a script error, os.exit
// in a hook, the delete prompt's Abort: the worker or the main thread), or the main thread when
// a page ends it; only when kGlobalRollbackOnFailure is true, before the engine undoes what the
// journal recorded. For the script's own undoing of what the engine cannot see (a service, a
// shell extension registered by regsvr32). A runtime error in it is logged and the rollback
// goes on. The end of an installation is the return of kHookBeforeComplete.
constexpr char kHookOnRollback[] = "QPXSE_OnRollback";

// The uninstaller calls kHookBeforeInit (main thread, after its two script files have run),
// then these two.

// The uninstaller's progress page's worker thread (the main thread in an unattended run),
// once the user confirmed on the first page; removes the product.
constexpr char kHookOnUninstall[] = "QPXSE_OnUninstall";
// Main thread, after kHookOnUninstall returned, before the last page. Spelt as the scripts
// spell it.
constexpr char kHookAfterUninstall[] = "QPXSE_AfterUnintall";

// Read by the entry, first, before any hook.

// string, unset: "". When not empty, the whole name of the single-instance mutex.
constexpr char kGlobalInstallMutexGuid[] = "global_install_mutex_guid";
// integer, shipped 22, unset: 0. Decimal suffix of the mutex name (none when 0); not used
// when kGlobalInstallMutexGuid is set. The install script reports it to statistics.
constexpr char kGlobalAppId[] = "global_app_id";

// Read by the entry after the globals script, before the install script (the uninstaller:
// before its script file); a run that sets none of them has the default language, zh-CN.

// string, unset: "" (the default language). A language tag ("en", "zh-CN"), or "auto" for the
// user's UI language among kGlobalLanguages; the command line's /LANG= wins over it.
constexpr char kGlobalLanguage[] = "global_language";
// table of strings, unset: { "zh-CN", "en" } followed by the tags of the product's language
// files. The languages "auto" chooses among, the one to fall back on first.
constexpr char kGlobalLanguages[] = "global_languages";
// table of strings by engine text name ("quit_question"), unset: none. Read once the chosen
// language's file has run (it may set it): each replaces the engine's own text of that name.
constexpr char kGlobalEngineTexts[] = "global_engine_texts";
// string, written before the chosen language's file runs: the tag of the run's language.
constexpr char kGlobalChosenLanguage[] = "global_chosen_language";

// Read by the entry once the options are confirmed, before kHookBeforeInstall.

// boolean, unset: false. An installation that does not reach its end is undone: the files it
// created go, those it replaced or deleted come back, registry values get their earlier data.
// Without it a failed installation stays as far as it got, as it always did.
constexpr char kGlobalRollbackOnFailure[] = "global_rollback_on_failure";

// Read by the entry right after kHookBeforeInit.

// boolean, shipped true (the install script keeps it, or sets true when nil), unset: false.
// Whether the completion dialog is shown; the install script reads it in kHookBeforeComplete.
constexpr char kGlobalShowCompleteWindow[] = "global_show_completewindow";

// Read by the options and completion dialogs.

// string, shipped the product's display name, unset: "". Window titles and the
// "$global_product_name$" placeholder of LicenceChk; the install script's messages,
// shortcut names and uninstall display name.
constexpr char kGlobalProductName[] = "global_product_name";
// boolean, shipped true, unset: false. Whether the self-start box is shown (SelfStartChk in
// the options dialog, StartupChk in the completion dialog).
constexpr char kGlobalStartupCheckVisible[] = "global_startup_check_visable";
// boolean, set true by kHookBeforeInit unless already true, unset: false. Initial state of
// the self-start box in both dialogs.
constexpr char kGlobalStartupCheck[] = "global_startup_check";
// string, set by kHookBeforeInit (registry, command line or default) and by
// kHookBeforeInstall (the confirmed folder), unset: "". Fills the install-path text box's
// "$global_install_path$" placeholder; folder of the program started at the end.
constexpr char kGlobalInstallPath[] = "global_install_path";

// Read by the options dialog.

// string, shipped "Corvane", unset: "". Appended to a folder chosen with the folder
// browser; the install script's default folder name under Program Files.
constexpr char kGlobalInstallBasePath[] = "global_install_basepath";
// string, shipped the licence page, unset: "". Opened by the licence link.
constexpr char kGlobalLicenceUrl[] = "global_licence_url";
// integer, shipped 57999360 (the install script sets 20048128 when nil), unset: 0. Bytes
// that must be free on the install drive; a string of digits works the same. The install
// script's uninstall entry "EstimatedSize".
constexpr char kGlobalNeedDiskSpace[] = "global_need_disk_space";

// Written by the options dialog when the user confirms, before the path is checked: every
// check box's `name` as a boolean (shipped: LicenceChk, QuickLaunchChk,
// ShouldStartWithWindowsChk, StartMenuShortcutChk, InstallSearchServer) and every text box's
// `name` as its text, the names converted to the ANSI code page. After the path passed its
// checks the dialog reads this one back and writes it again without its trailing backslash.
// string, unset: "". Read by kHookBeforeInstall.
constexpr char kGlobalInstallPathBox[] = "InstallPath";
// string, unset: "". The optional backup folder's text box; checked like InstallPath when
// not empty. Not in the shipped layout.
constexpr char kGlobalBackUpPathBox[] = "BackUpPath";

// Written by the progress dialog.

// number, before the worker starts: the payload's size in bytes x 0.000309651279221807 / 100,
// truncated; also the period in milliseconds of the progress timer.
constexpr char kGlobalInstallProgressElapse[] = "global_install_progress_elapse";
// number, on each timer tick: the bar's position, 0 to 100. Written while kHookOnInstall
// runs on the worker; the shipped scripts never read it.
constexpr char kGlobalInstallProgressPos[] = "global_install_progress_pos";

// Read by the completion dialog when it starts the product; it also writes every check
// box's `name` as a boolean when it closes, and shows each offer row whose opening check
// box's "$global$" placeholder reads as a non-empty string.

// string, shipped "Corvane.exe", unset: "". The program started at the end, in
// kGlobalInstallPath; the install script's full path of the main program.
constexpr char kGlobalMainAppName[] = "global_main_app_name";
// string, never set by the shipped scripts, unset: "". Its command-line parameters.
constexpr char kGlobalStartParameter[] = "global_start_parameter";
// boolean, shipped true, unset: false. Start it with the desktop shell's user token instead
// of the installer's own.
constexpr char kGlobalStartUseExplorerLevel[] = "global_startuseexplorer_level";
