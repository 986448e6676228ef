-- Uninstall script of the sample product, written beside it as "Uninst.dar1" for the
-- product's uninstaller, which runs it after "Uninst.dar0" (the globals). It undoes what the
-- install script did: the engine removes what its journal recorded (files, folders, the Start
-- menu shortcuts, registry values and keys); the script undoes what other programs did (the
-- service, the shell extension, the shortcuts the shell DLL made) and what the product wrote.

local SERVICE_EXE = "CorvaneSearch.exe"
local UPDATER_EXE = "CorvaneUpdate.exe"
local STAT_DLL = "CorvaneStat.dll"
local SHELL_EXT_32 = "CorvaneExt.dll"
local SHELL_EXT_64 = "CorvaneExt64.dll"
local RUN_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Run"

-- Explorer's width, whichever width the uninstaller has: the extension registered is its match.
local windows_is_64bit = Lua_IsWow64() or Lua_ExpandEnv("%PROCESSOR_ARCHITECTURE%") == "AMD64"
local stat -- the statistics DLL, copied beside the uninstaller so the folder can go

local function call_stat(name, resultType, ...)
  if not stat then return nil end
  local f = stat:Get(name, resultType)
  if f then return f(...) end
end

function QPXSE_BeforeInit()
  Lua_RegVarByCSIDL("DESKTOP", 16)
  Lua_RegVarByCSIDL("COMMPROGRAMS", 23)
  if not global_install_path or global_install_path == "" then
    global_install_path = Lua_RegQuery("HKLM", global_uninst_sub_key, "InstallLocation")
  end
  if not global_install_path then return end
  local here = string.match(Lua_GetModuleFileName(), "^(.*)\\[^\\]*$")
  local copy = here .. "\\" .. STAT_DLL
  if Lua_CopyFile(global_install_path .. "\\" .. STAT_DLL, copy) then
    stat = DllManager.Load(copy)
  end
  call_stat("stat_unionid", nil, global_union_id)
  call_stat("stat_appid", nil, global_app_id)
  call_stat("stat_install_addr", nil, global_udp_install_uninstall_url, global_udp_un_install_port)
  if not call_stat("stat_init", "bool") then stat = nil end
end

function QPXSE_OnUninstall()
  local path = global_install_path
  if not path then return end
  for _, name in ipairs({global_main_app_name_inner, global_main_app_name_inner_64, UPDATER_EXE}) do
    Lua_KillAllTaskByName(name)
  end
  Lua_Exec(path .. "\\" .. SERVICE_EXE, "", "--uninstall", true)
  Lua_KillAllTaskByName(SERVICE_EXE)
  Lua_RegistDll(path .. "\\" .. (windows_is_64bit and SHELL_EXT_64 or SHELL_EXT_32), "/u /s", false)

  local name = global_product_name
  Lua_DeleteFile("%DESKTOP%\\" .. name .. ".lnk")
  Lua_DeleteFile("%APPDATA%\\Microsoft\\Internet Explorer\\Quick Launch\\" .. name .. ".lnk")
  -- The statistics DLL writes its report beside itself while the product runs.
  Lua_DeleteFile(path .. "\\CorvaneStat.log")
  Lua_RemoveInstalled(path)
  -- An older installation may have written the Run value before the journal knew of it; the
  -- settings keys also hold what the product wrote while it ran.
  Lua_RegDel("HKCU", RUN_KEY, "Corvane")
  Lua_RegDel("HKLM", global_reg_sub_key)
  Lua_RegDel("HKCU", global_reg_sub_key)

  -- The reasons the user ticked and wrote in the uninstaller's own dialog.
  local reasons = {}
  for i = 1, 5 do
    if _G["Vote" .. i .. "Chk"] then reasons[#reasons + 1] = tostring(i) end
  end
  call_stat("stat_uninstall_reason", nil, table.concat(reasons, ","), tostring(SuggestionEdit or ""),
            tostring(ContactEdit or ""))
  call_stat("stat_install", "int", 2)
end

function QPXSE_AfterUnintall()
  call_stat("stat_http_post", "int", global_Uninstall_PostURL, nil, 0, true)
  call_stat("stat_close")
end
