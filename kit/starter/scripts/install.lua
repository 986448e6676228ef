-- Install script of @PRODUCT_NAME@. The installer calls the hooks below in this order:
-- QPXSE_BeforeInit (the folder), QPXSE_BeforeInstall (the folder confirmed), QPXSE_OnInstall
-- (on the progress page's worker: files, registry, shortcuts), QPXSE_BeforeComplete and
-- QPXSE_AfterComplete. Every file, folder, registry value and shortcut the natives make is
-- recorded in the install folder's journal, so the uninstall script removes them by record.

local UNINSTALLER = "Uninstall.exe"
local caption = global_product_name .. " Setup"

function QPXSE_BeforeInit()
  -- An earlier installation's folder, else the default one below Program Files.
  global_install_path = Lua_RegQuery("HKLM", global_uninst_sub_key, "InstallLocation")
  if not global_install_path then
    local root = Lua_IsWow64() and "%ProgramFiles(x86)%\\" or "%ProgramFiles%\\"
    global_install_path = Lua_ExpandEnv(root .. global_install_basepath)
  end
end

function QPXSE_BeforeInstall()
  -- The folder the options page confirmed (the page refuses system folders and a drive
  -- without the space global_need_disk_space asks for).
  global_install_path = InstallPath
  Lua_CreateDirectory(global_install_path)
end

function QPXSE_OnInstall()
  local path = global_install_path
  Lua_KillAllTaskByName(global_main_app_name)
  if not Lua_UnCompress7z("App.7z", path, false) then
    Lua_MsgBox("The files could not be unpacked. Setup ends.", caption)
    os.exit(0)
  end
  -- The uninstaller's scripts, beside the uninstaller that came with the payload.
  Lua_ExtractResource("LUA", "GLOBAL_VAR.LUAC", path .. "\\Uninst.dar0")
  Lua_ExtractResource("LUA", "UNINSTSCRIPT.LUAC", path .. "\\Uninst.dar1")

  local program = path .. "\\" .. global_main_app_name
  local uninst = global_uninst_sub_key
  for _, row in ipairs({
    {"DisplayName", "REG_SZ", global_product_name},
    {"DisplayVersion", "REG_SZ", global_version},
    {"Publisher", "REG_SZ", global_company_name},
    {"DisplayIcon", "REG_SZ", program},
    {"InstallLocation", "REG_SZ", path},
    {"UninstallString", "REG_SZ", "\"" .. path .. "\\" .. UNINSTALLER .. "\""},
    {"EstimatedSize", "REG_DWORD", math.floor(global_need_disk_space / 1024)},
    {"NoModify", "REG_DWORD", 1},
    {"NoRepair", "REG_DWORD", 1},
  }) do
    Lua_RegAdd("HKLM", uninst, row[1], row[2], row[3], true)
  end
  Lua_RegAdd("HKLM", global_reg_sub_key, "InstallPath", "REG_SZ", path, true)

  Lua_RegVarByCSIDL("COMMPROGRAMS", 23)
  Lua_RegVarByCSIDL("DESKTOP", 16)
  if StartMenuShortcutChk then
    local menu = "%COMMPROGRAMS%\\" .. global_product_name .. "\\"
    Lua_CreateShortcut(program, menu .. global_product_name .. ".lnk", "")
    Lua_CreateShortcut(path .. "\\" .. UNINSTALLER, menu .. "Uninstall " .. global_product_name .. ".lnk", "")
  end
  if DesktopShortcutChk then
    Lua_CreateShortcut(program, "%DESKTOP%\\" .. global_product_name .. ".lnk", "")
  end
end

function QPXSE_BeforeComplete()
end

function QPXSE_AfterComplete()
end
