-- Install script of the sample product Corvane. The main chunk only prepares state and the
-- helpers; the installer calls the five hooks at the end of this file in order: BeforeInit
-- (settings and folder), BeforeInstall (the running copy, the version), OnInstall (on the
-- install worker: files, registry, shell), BeforeComplete (service, statistics) and
-- AfterComplete.

-- Files of the payload, by their role.
local SERVICE_EXE = "CorvaneSearch.exe"
local UPDATER_EXE = "CorvaneUpdate.exe"
local STAT_DLL = "CorvaneStat.dll"
local SHELL_DLL = "CorvaneShell.dll"
local SHELL_EXT_32 = "CorvaneExt.dll"
local SHELL_EXT_64 = "CorvaneExt64.dll"
local UNINSTALLER_EXE = "Uninstall.exe"
local UPDATER_LOG_FOLDER = "CorvaneUpdate\\log"

local script_version = "1.0.2.57"
local msg_caption = string.format("%s - 安装", global_product_name)
local oem_union_id = 4001
-- Files that cannot be overwritten are moved here and deleted at the next restart; it must
-- be on the install drive, since a move to another drive would be a copy.
local del_reboot_path = Lua_ExpandEnv("%TMP%")
local reg_union_id = 0

local CONTEXT_MENU = "Directory\\Background\\shell\\开启桌面整理"
local RUN_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Run"

is_upgrade = false

-- Explorer's own width: the shell extension must match it, whether this installer runs under
-- WOW64 or is a 64-bit program itself (which sees no WOW64 and needs no redirection steps).
local windows_is_64bit = Lua_IsWow64() or Lua_ExpandEnv("%PROCESSOR_ARCHITECTURE%") == "AMD64"

-- WOW64 redirects System32 for a 32-bit process; registering the 64-bit shell extension
-- needs the real one. Only that step runs with redirection off: a DLL loaded meanwhile
-- could take its system imports from the wrong folder.
fsredir = {
  IsNeed = Lua_GetOSVersion() > 5 and Lua_IsWow64(),
  Wow64DisableWow64FsRedirection = GLibTab.kernel32:Get("Wow64DisableWow64FsRedirection", "int"),
  Wow64RevertWow64FsRedirection = GLibTab.kernel32:Get("Wow64RevertWow64FsRedirection", "int"),
}
if fsredir.IsNeed then
  fsredir.pOld = RawBuffer.New(4)
  function fsredir:Disable() self.Wow64DisableWow64FsRedirection(self.pOld) end
  function fsredir:Revert() self.Wow64RevertWow64FsRedirection(self.pOld:OffsetGetAsUInt32(0)) end
else
  function fsredir:Disable() end
  function fsredir:Revert() end
end

function Sleep(ms)
  GLibTab.Kernel32:Get("Sleep")(ms)
end

function Split(s, sep)
  Lua_Logout("FullString:" .. s)
  local list, count, pos = {}, 0, 1
  while true do
    local first, last = string.find(s, sep, pos)
    if not first or last < first then break end
    count = count + 1
    list[count] = string.sub(s, pos, first - 1)
    pos = last + 1
  end
  count = count + 1
  list[count] = string.sub(s, pos)
  return list, count
end

-- -path:<folder> chooses the install folder, -uid:<number> the channel. An empty folder or a
-- channel that is not a number is ignored rather than erasing the value it would replace.
function InitCommandLineArgv_new()
  local argv = Lua_GetCommandLineArgv()
  if not argv then return end
  for _, arg in ipairs(argv) do
    local head = string.sub(arg, 1, 6)
    if head == "-path=" or head == "-path:" or head == "/path:" then
      local path = string.sub(arg, 7)
      if path ~= "" then global_install_path = path end
    else
      head = string.sub(arg, 1, 5)
      if head == "-uid=" or head == "-uid:" or head == "/uid:" then
        global_union_id = tonumber(string.sub(arg, 6)) or global_union_id
      end
    end
  end
end

-- "<inner name>_<channel>_<anything>.exe" names the channel of a renamed installer.
function AnalyzeParam()
  local name = string.match(Lua_GetModuleFileName(), ".+\\([^\\]*%.%w+)$")
  if not name then return end
  name = string.match(name, "^(.*)%.") or name
  local parts, count = Split(name, "_")
  if count ~= 3 then return end
  if string.lower(parts[1]) ~= string.lower(global_product_name_inner) then return end
  local number = tonumber(parts[2])
  if not number or number < 100 or number >= 10000 then return end
  global_union_id = number
  Lua_Logout("union_id:-----------2" .. number)
end

function GetCurrentUnionID()
  local value = Lua_RegQuery("HKCU", global_reg_sub_key, "UnionId")
  Lua_Logout("union_id=" .. tostring(value))
  if value == nil then
    value = Lua_RegQuery("HKLM", global_reg_sub_key, "UnionId")
    Lua_Logout("union_id=" .. tostring(value))
  end
  if value == nil then return 0 end
  return tonumber(value) or 0
end

function CheckUnionID()
  return GetCurrentUnionID() == global_union_id
end

-- The OEM channel of an installer named like "x_y-4100.exe".
function GetUnionByPkgName()
  local name = string.match(Lua_GetModuleFileName(), "[^\\]*$")
  return string.match(name, "^.*_.*%-(%d+).*%..*$")
end

-- The parent folder of a path, or its drive root.
function paht_remove_filename(p)
  return string.match(p, "^(%a:\\.+)\\[^\\]*$") or string.sub(p, 1, 3)
end

local function wide(text)
  if text == nil then return nil end
  return WString.New(nil, text)
end

function FindWnd(class, title)
  local FindWindowW = GLibTab.User32:Get("FindWindowW", "int")
  return FindWindowW(wide(class), wide(title))
end

-- A running copy would keep its files locked: ask before it is ended in QPXSE_OnInstall.
function CheckClient()
  if FindWnd(global_main_wnd_cls, nil) == 0 then return end
  local text = string.format("检测到 %s 正在运行\r\n选择[确定]强制关闭，[取消]取消安装",
                             global_product_name)
  if Lua_MsgBox(text, msg_caption, 65585) ~= 1 then
    os.exit(0)
  end
end

function InstallReport(versionList, channel, appId)
  local p = global_install_path .. "\\" .. STAT_DLL
  local dll = GLibTab[p]
  assert(dll, "LoadLibrary " .. p .. " failed")
  local function export(name, resultType)
    local f, err = dll:Get(name, resultType)
    assert(f, "GetProcAddress \"" .. name .. "\" failed, errcode : " .. tostring(err))
    return f
  end
  export("stat_unionid")(channel)
  export("stat_appid")(appId)
  export("stat_level")(2)
  export("stat_version_ex")(versionList[1], versionList[2], versionList[3], versionList[4])
  export("stat_install_addr")(global_udp_install_uninstall_url, tonumber(global_udp_un_install_port))
  if not export("stat_init", "bool")() then
    Lua_Logout("stat_init failed!")
    return false
  end
  export("stat_install", "int")(1)
  local r = export("stat_http_post", "int")(global_install_PostURL, nil, 0, true)
  export("stat_close")()
  dll:UnLoad()
  GLibTab[p] = nil
  return r == 1
end

function UpInfomession()
  if reg_union_id ~= 0 then
    report_union_id = reg_union_id
  else
    report_union_id = global_union_id
  end
  InstallReport(global_tb_version, report_union_id, global_app_id)
end

function notify_association_changed()
  GLibTab.shell32:Get("SHChangeNotify", "void")(134217728, 3, 0, 0)
end

-- The rows written in QPXSE_OnInstall. Values Windows runs as a command line hold the
-- program in quotes, so a blank in the folder cannot start a program planted higher up.
local function make_reg_add_list(path)
  local reg, uninst, cover = global_reg_sub_key, global_uninst_sub_key, global_cover_unionId
  local function row(hkey, subkey, value, datatype, data, overwrite)
    return {hkey = hkey, subkey = subkey, value = value, datatype = datatype, data = data,
            overwrite = overwrite}
  end
  return {
    row("HKLM", reg, "AppPath", "REG_SZ", path, true),
    row("HKLM", reg, "UnionId", "REG_DWORD", global_union_id, cover),
    row("HKLM", reg, "OEMUnionId", "REG_DWORD", oem_union_id, cover),
    row("HKLM", reg, "OemID", "REG_DWORD", 1, true),
    row("HKLM", reg, "UserID", "REG_BINARY", 0, true),
    row("HKCR", CONTEXT_MENU, "Icon", "REG_SZ", path .. "\\Corvane.exe,0", true),
    row("HKCR", CONTEXT_MENU .. "\\command", "", "REG_SZ", "\"" .. path .. "\\Corvane.exe\"", true),
    row("HKCU", reg, "AppPath", "REG_SZ", path, true),
    row("HKCU", reg, "UnionId", "REG_DWORD", global_union_id, cover),
    row("HKCU", reg, "OEMUnionId", "REG_DWORD", oem_union_id, cover),
    row("HKCU", reg, "OemID", "REG_DWORD", 1, true),
    row("HKCU", reg, "UserID", "REG_BINARY", 0, true),
    row("HKCU", reg, "Version", "REG_DWORD", global_dwversion, true),
    row("HKCU", reg, "DisplayVersion", "REG_SZ", global_version, true),
    row("HKLM", uninst, "DisplayIcon", "REG_SZ", main_app_fullpath, true),
    row("HKLM", uninst, "DisplayName", "REG_SZ", global_product_name, true),
    row("HKLM", uninst, "DisplayVersion", "REG_SZ", global_version, true),
    row("HKLM", uninst, "EstimatedSize", "REG_DWORD", math.floor(global_need_disk_space / 1024), true),
    row("HKLM", uninst, "NoModify", "REG_DWORD", 1, true),
    row("HKLM", uninst, "NoRepair", "REG_DWORD", 1, true),
    row("HKLM", uninst, "Publisher", "REG_SZ", global_company_name, true),
    row("HKLM", uninst, "UninstallString", "REG_SZ", "\"" .. path .. "\\" .. UNINSTALLER_EXE .. "\"", true),
    row("HKLM", uninst, "InstallLocation", "REG_SZ", path, true),
    row("HKLM", uninst, "InstallDate", "REG_SZ", os.date("%Y%m%d"), true),
  }
end

local function write_rows(rows)
  for _, r in ipairs(rows) do
    Lua_RegAdd(r.hkey, r.subkey, r.value, r.datatype, r.data, r.overwrite)
  end
end

local function service_running()
  return (Lua_GetProcessId(SERVICE_EXE)) > 0
end

-- A payload file that is locked (a loaded DLL, a running program) cannot be overwritten,
-- but it can be renamed: move it aside, delete it at the next restart, and try again.
local function on_create_error(path, code)
  if code ~= 5 and code ~= 32 then return 2 end
  local temp = Lua_GetTempFileName(del_reboot_path, "JsZip")
  if not temp then return 2 end
  Lua_Logout(path)
  Lua_MoveFile(path, temp)
  Lua_DeleteFileAfterReboot(temp)
  return 0
end

function QPXSE_BeforeInit()
  Lua_Logout("script_version:" .. script_version)
  if Lua_GetOSVersion() < 6 then
    Lua_MsgBox(global_product_name .. " 目前只支持WIN7和更新的Windows操作系统！")
    os.exit(0)
  end
  reg_union_id = GetCurrentUnionID()
  local digits = GetUnionByPkgName()
  if digits then oem_union_id = tonumber(digits) end

  global_install_path = Lua_RegQuery("HKLM", global_uninst_sub_key, "InstallLocation")
    or Lua_RegQuery("HKLM", global_reg_sub_key, "AppPath")
    or Lua_RegQuery("HKCU", global_reg_sub_key, "AppPath")
  if global_disable_cover == true and CheckUnionID() and global_install_path ~= nil then
    os.exit(0)
  end
  if global_disable_analyze_params_from_file_name == false then
    AnalyzeParam()
  end
  InitCommandLineArgv_new()
  if not global_install_path then
    local root = fsredir.IsNeed and "%ProgramFiles(x86)%\\" or "%ProgramFiles%\\"
    global_install_path = Lua_ExpandEnv(root .. global_install_basepath)
  end

  if not global_need_disk_space then global_need_disk_space = 20048128 end
  if global_startup_check_visable == nil then global_startup_check_visable = true end
  if global_startup_check ~= true then global_startup_check = true end
  if not global_custom_reg_list then global_custom_reg_list = {} end
  if global_show_completewindow == nil then global_show_completewindow = true end
  for _, name in ipairs({"DesktopShortcutChk", "StartMenuShortcutChk", "QuickLaunchChk",
                         "SetOpenServerChk", "ShouldStartWithWindowsChk", "InstallSearchServer"}) do
    if not _G[name] then _G[name] = true end
  end
end

function QPXSE_BeforeInstall()
  CheckClient()
  global_tb_version = {}
  for digits in string.gmatch(global_version, "(%d+)|*") do
    global_tb_version[#global_tb_version + 1] = tonumber(digits)
  end
  local v = global_tb_version
  global_dwversion = (((v[1] or 0) * 100 + (v[2] or 0)) * 100 + (v[3] or 0)) * 10000 + (v[4] or 0)
  Lua_Logout(InstallPath)
  global_install_path = InstallPath
  Lua_CreateDirectory(global_install_path)
end

function QPXSE_OnInstall()
  local path = global_install_path

  -- The service and the product's programs hold their files open.
  if service_running() then
    Lua_Exec(path .. "\\" .. SERVICE_EXE, "", "--uninstall", true)
    for _ = 1, 10 do
      Sleep(1000)
      if not service_running() then break end
    end
  end
  Lua_KillAllTaskByName(SERVICE_EXE)
  Sleep(1000)
  Lua_KillAllTaskByName(UPDATER_EXE)
  Lua_KillAllTaskByName(global_main_app_name_inner)
  Lua_KillAllTaskByName(global_main_app_name_inner_64)

  if string.lower(string.sub(del_reboot_path, 1, 1)) ~= string.lower(string.sub(path, 1, 1)) then
    -- The parent may be a drive root that already ends in a backslash.
    del_reboot_path = string.gsub(paht_remove_filename(path), "\\$", "") .. "\\del_reboot"
    Lua_CreateDirectory(del_reboot_path)
  end
  if not Lua_UnCompress7z("App.7z", path, false, nil, on_create_error) then
    Lua_MsgBox("释放文件时出现错误，安装程序将终止！", msg_caption)
    os.exit(0)
  end

  -- The uninstaller's own scripts.
  Lua_ExtractResource("LUA", "GLOBAL_VAR.LUAC", path .. "\\Uninst.dar0")
  Lua_ExtractResource("LUA", "UNINSTSCRIPT.LUAC", path .. "\\Uninst.dar1")

  local old_menu = "Directory\\Background\\shell\\开启" .. global_product_name
  Lua_RegDel("HKCR", CONTEXT_MENU .. "\\command")
  Lua_RegDel("HKCR", CONTEXT_MENU)
  Lua_RegDel("HKCR", old_menu .. "\\command")
  Lua_RegDel("HKCR", old_menu)

  main_app_fullpath = path .. "\\" .. global_main_app_name
  reg_add_list = make_reg_add_list(path)
  write_rows(reg_add_list)
  write_rows(global_custom_reg_list)

  Lua_RegVarByCSIDL("COMMPROGRAMS", 23)
  -- The old product's desktop shortcut lives on the user's desktop, which the environment
  -- does not name.
  Lua_RegVarByCSIDL("DESKTOP", 16)

  local shell_path = path .. "\\" .. SHELL_DLL
  local shell = GLibTab[shell_path]
  shell:Get("AllowAccountPrivilege", "bool")(wide(global_install_path))
  Lua_DeleteFile("%DESKTOP%\\" .. global_old_product_name .. ".lnk")
  fsredir:Disable()
  Lua_RegistDll(path .. "\\" .. (windows_is_64bit and SHELL_EXT_64 or SHELL_EXT_32), "/i /s", false)
  fsredir:Revert()

  local program, class, name = wide(main_app_fullpath), wide(global_main_wnd_cls), wide(global_product_name)
  if DesktopShortcutChk then
    shell:Get("CreateDesktopShortcut", "void")(program, class, name)
  end
  local quick_launch = "%APPDATA%\\Microsoft\\Internet Explorer\\Quick Launch\\"
  local unpin = shell:Get("UnpinFromTaskbar", "void")
  unpin(wide(quick_launch .. global_old_product_name .. ".lnk"))
  Sleep(2000)
  if QuickLaunchChk then
    unpin(wide(quick_launch .. global_product_name .. ".lnk"))
    shell:Get("CreateTaskbarShortcut", "void")(program, class, name)
  end
  shell:UnLoad()
  GLibTab[shell_path] = nil

  if StartMenuShortcutChk then
    local menu = "%COMMPROGRAMS%\\" .. global_product_name .. "\\"
    Lua_CreateShortcut(main_app_fullpath, menu .. global_product_name .. ".lnk", "/menu")
    Lua_CreateShortcut(path .. "\\" .. UNINSTALLER_EXE, menu .. "卸载" .. global_product_name .. ".lnk", "")
  end
  if ShouldStartWithWindowsChk then
    Lua_RegAdd("HKCU", RUN_KEY, "Corvane", "REG_SZ", "\"" .. path .. "\\Corvane.exe\"", true)
  else
    Lua_RegDel("HKCU", RUN_KEY, "Corvane")
  end

  if global_create_log_folder == true then
    Lua_CreateDirectory(path .. "\\log")
    Lua_CreateDirectory(path .. "\\" .. UPDATER_LOG_FOLDER)
  end
  if del_reboot_path ~= Lua_ExpandEnv("%TMP%") then
    Lua_DelFileRecursive(del_reboot_path)
    Lua_DeleteFileAfterReboot(del_reboot_path)
  end
end

function QPXSE_BeforeComplete()
  if InstallSearchServer == true then
    Lua_Exec(global_install_path .. "\\" .. SERVICE_EXE, "", "--install", true)
  end
  UpInfomession()
  notify_association_changed()
end

function QPXSE_AfterComplete()
end
