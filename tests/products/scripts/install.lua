-- Hooks of the test product: each writes its name (and what the test wants to see) to the
-- trace file the test names; the test can make one fail, replace one with a value that is
-- not a function, or make the install hook take its time.
local function trace(text)
  local path = os.getenv("QPX_TRACE")
  if not path then return end
  local f = io.open(path, "ab")
  f:write(text, "\n")
  f:close()
end

trace("top-level")

local function hook(name, body)
  _G[name] = function()
    trace(name)
    if body then body() end
    if os.getenv("QPX_FAIL_HOOK") == name then
      local t = {}
      t.missing.field = 1  -- a runtime error inside the hook, after its work
    end
  end
end

local function show(name) trace(name .. "=" .. tostring(_G[name])) end

hook("QPXSE_BeforeInit", function()
  if os.getenv("QPX_SHOW_COMPLETE") == "0" then global_show_completewindow = false end
  if os.getenv("QPX_TRACE_LANGUAGE") then
    show("global_chosen_language")
    show("global_greeting")
  end
end)
hook("QPXSE_BeforeInstall", function()
  for _, name in ipairs({"InstallPath", "LicenceChk", "QuickLaunchChk", "ShouldStartWithWindowsChk",
                         "StartMenuShortcutChk", "InstallSearchServer"}) do
    show(name)
  end
end)
hook("QPXSE_OnInstall", function()
  -- Changes of the kind an installation makes, for a rollback to undo.
  if os.getenv("QPX_INSTALL_MAKES") then
    Lua_CreateDirectory(global_install_path .. "\\made\\deeper")
    Lua_RegAdd("HKCU", "Software\\QPXFlowTest", "made", "REG_SZ", "by the installation", true)
  end
  -- msvcrt's clock is wall time: the hook takes as long as the test asks.
  local seconds = tonumber(os.getenv("QPX_INSTALL_SECONDS") or "0")
  local start = os.clock()
  while os.clock() - start < seconds do end
end)
hook("QPXSE_BeforeComplete", function()
  show("global_install_progress_pos")
  show("global_install_progress_elapse")
end)
hook("QPXSE_AfterComplete")
hook("QPXSE_OnRollback")

local notFunction = os.getenv("QPX_NOT_FUNCTION")
if notFunction then _G[notFunction] = 42 end
