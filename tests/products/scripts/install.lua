-- Hooks of the flow-test product: each writes its name to the trace file the test names,
-- and the test can make one of them fail or replace one with a value that is not a function.
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
    if os.getenv("QPX_FAIL_HOOK") == name then
      local t = {}
      t.missing.field = 1  -- a runtime error inside the hook
    end
    if body then body() end
  end
end

hook("QPXSE_BeforeInit", function()
  if os.getenv("QPX_SHOW_COMPLETE") == "0" then global_show_completewindow = false end
end)
hook("QPXSE_BeforeInstall")
hook("QPXSE_OnInstall")
hook("QPXSE_BeforeComplete")
hook("QPXSE_AfterComplete")

local notFunction = os.getenv("QPX_NOT_FUNCTION")
if notFunction then _G[notFunction] = 42 end
