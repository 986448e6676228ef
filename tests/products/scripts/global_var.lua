-- Globals of the test product; the test steers them through environment variables.
local function env(name) return os.getenv(name) end

global_product_name = "FlowTest"
global_show_completewindow = true
global_install_mutex_guid = env("QPX_MUTEX_GUID")
global_app_id = tonumber(env("QPX_APP_ID") or "")
global_install_basepath = "FlowTest"
global_install_path = env("QPX_INSTALL_PATH") or "C:\\FlowTest"
global_need_disk_space = env("QPX_NEED_DISK") or "1024"
global_startup_check_visable = true
global_startup_check = true
global_main_app_name = env("QPX_MAIN_APP")
global_start_parameter = env("QPX_START_PARAMETER")
global_startuseexplorer_level = env("QPX_SHELL_LEVEL") == "1"
global_rollback_on_failure = env("QPX_ROLLBACK") == "1"
global_language = env("QPX_LANGUAGE")
