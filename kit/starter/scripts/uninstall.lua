-- Uninstall script of @PRODUCT_NAME@, carried beside the product as "Uninst.dar1" and run by
-- its uninstaller after "Uninst.dar0" (the settings). The uninstaller calls QPXSE_BeforeInit
-- (find the installation), QPXSE_OnUninstall (on the progress page's worker) and
-- QPXSE_AfterUnintall.

function QPXSE_BeforeInit()
  global_install_path = Lua_RegQuery("HKLM", global_uninst_sub_key, "InstallLocation")
end

function QPXSE_OnUninstall()
  -- A running product holds its files.
  Lua_KillAllTaskByName(global_main_app_name)
  -- Everything the installations recorded in the folder's journal and is still there: files,
  -- shortcuts, the registry values and their keys once empty, the folders once empty. A file
  -- the user put into the folder stays.
  if not Lua_RemoveInstalled(global_install_path) then
    Lua_Logout("some of " .. global_product_name .. " could not be removed yet")
  end
end

function QPXSE_AfterUnintall()
end
