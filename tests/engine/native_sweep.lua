-- Every native with arguments of the wrong types and counts: each call must return what its
-- kind of result allows (or raise a script error), never crash. Lua_MsgBox waits for a person
-- and Lua_ExitWindows would end the session (its flags read as 0, log off): both are left out.
local results = {
  Lua_UnCompress7z = "boolean", Lua_RegSvr32 = "boolean", Lua_RegistDll = "boolean",
  Lua_RegQuery = "string number nil", Lua_RegAdd = "boolean", Lua_RegDel = "boolean",
  Lua_CreateShortcut = "boolean", Lua_CreateDirectory = "boolean", Lua_CopyFile = "boolean",
  Lua_MoveFile = "boolean", Lua_RenameFile = "boolean", Lua_DeleteFile = "boolean",
  Lua_Exec = "boolean", Lua_TaskKill = "boolean", Lua_SCM = "boolean",
  Lua_RegVarByCSIDL = "boolean", Lua_ExtractResource = "boolean", Lua_GetOSVersion = "number",
  Lua_Logout = "none", Lua_DelFileRecursive = "boolean none", Lua_DeleteFileAfterReboot = "boolean",
  Lua_IsWow64 = "boolean", Lua_GetProcessId = "number", Lua_GetModuleFileName = "string",
  Lua_GetCommandLineArgv = "table none", Lua_EnablePrivilege = "boolean",
  Lua_GetTempFileName = "string nil", Lua_ExpandEnv = "string", Lua_GetImagePathByPid = "string none",
  Lua_GetDriverInstallPath = "string", Lua_KillAllTaskByName = "boolean", Lua_RemoveInstalled = "boolean",
}
local left_out = { Lua_MsgBox = true, Lua_ExitWindows = true }

local function pack(...) return { n = select("#", ...), ... } end
local argument_sets = {
  pack(), pack(nil), pack(true), pack(false), pack({}), pack(print), pack(-1.5),
  pack(nil, nil, nil, nil, nil, nil, nil, nil),
  pack(true, {}, print, false, {}, true, print, {}),
  pack({}, {}, {}, {}, {}, {}),
  pack(print, print, print, print, print, print),
  pack(1e300, -1e300, 0 / 0, 2 ^ 53, -2 ^ 31, 2 ^ 32),
}

local calls, bad = 0, {}
for name, allowed in pairs(results) do
  for set_number, set in ipairs(argument_sets) do
    local outcome = pack(pcall(_G[name], table.unpack(set, 1, set.n)))
    calls = calls + 1
    if outcome[1] then
      local kind = outcome.n == 1 and "none" or type(outcome[2])
      if not (" " .. allowed .. " "):find(" " .. kind .. " ", 1, true) then
        bad[#bad + 1] = name .. "#" .. set_number .. " gave " .. kind
      end
      if name == "Lua_GetTempFileName" and kind == "string" then os.remove(outcome[2]) end
    end
  end
end
for name, value in pairs(_G) do
  if type(value) == "function" and name:match("^Lua_") and not results[name] and not left_out[name] then
    bad[#bad + 1] = name .. " is not swept"
  end
end
table.sort(bad)
Lua_Logout("sweep " .. calls .. " calls, wrong: " .. (#bad == 0 and "none" or table.concat(bad, ", ")))
