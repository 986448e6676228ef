-- Globals of the flow-test product; the test steers them through environment variables.
local function env(name) return os.getenv(name) end

global_product_name = "FlowTest"
global_show_completewindow = true
global_install_mutex_guid = env("QPX_MUTEX_GUID")
global_app_id = tonumber(env("QPX_APP_ID") or "")
