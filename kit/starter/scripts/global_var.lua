-- Settings of @PRODUCT_NAME@: read by the installer, the install script and the uninstaller
-- (which gets a copy of this file). Lines marked CHANGE are your product's own; the rest
-- can stay as they are.

-- CHANGE: the name shown in the window titles, the pages, the shortcuts and the list of
-- installed programs.
global_product_name = "@PRODUCT_NAME@"
-- CHANGE: the folder below Program Files the product goes into by default.
global_install_basepath = "@PRODUCT_ID@"
-- CHANGE: your company, for the list of installed programs.
global_company_name = "@PRODUCT_NAME@ maker"
-- The languages of the pages and of the engine's own texts (the quit question, the folder
-- checks, the uninstaller's messages): "auto" takes the user's, English when it is neither.
-- CHANGE: list your product's languages, its fallback first, each with a lang/<tag>.lua.
global_language = "auto"
global_languages = { "en", "zh-CN" }
-- CHANGE: the version, four numbers.
global_version = "1.0.0.0"
-- CHANGE: the program the shortcuts start and the last page can start, in payload/.
global_main_app_name = "readme.txt"
-- CHANGE: the page the licence link opens.
global_licence_url = "https://example.com/licence"
-- CHANGE: bytes the product needs on the install drive (at least what payload/ unpacks to).
global_need_disk_space = 1048576
-- CHANGE: the product's own registry key and its entry in the list of installed programs.
global_reg_sub_key = "SOFTWARE\\@PRODUCT_ID@"
global_uninst_sub_key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\@PRODUCT_ID@"

-- One installer or uninstaller of this product runs at a time: the name of the object that
-- says so, made for this product by qpxbuild --new.
global_install_mutex_guid = "@MUTEX_GUID@"
-- Show the last page; start the product with the desktop's rights, not the installer's.
global_show_completewindow = true
global_startuseexplorer_level = true
-- Undo an installation that fails before its end.
global_rollback_on_failure = true
