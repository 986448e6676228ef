-- Install script of the sample product: the hooks the installer calls in order. It installs
-- the payload into the chosen folder; the product's registry entries, shortcuts and
-- services come with the product's full script.
function QPXSE_BeforeInit()
  if not global_install_path or global_install_path == "" then
    global_install_path = Lua_ExpandEnv("%ProgramFiles%\\" .. global_install_basepath)
  end
end

function QPXSE_BeforeInstall()
  global_install_path = InstallPath
  Lua_CreateDirectory(InstallPath)
end

function QPXSE_OnInstall()
  Lua_UnCompress7z("APP.7Z", InstallPath)
end

function QPXSE_BeforeComplete()
end

function QPXSE_AfterComplete()
end
