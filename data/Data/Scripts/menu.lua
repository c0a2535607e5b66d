-- The sample menu's script. The screen tells it "add_object" with its id each
-- time it is activated, handing it one reference with it, which goes back
-- when the screen is deactivated ("delete_object") or at the end. Every click
-- on one of its buttons arrives as "button" with the button's name:
--   lock    locks the button "start", or unlocks it again;
--   start   tells "main" to start the level (while it is not locked);
--   hide    hides the hint line, or shows it again;
--   exit    ends the game.
-- Texts reach the fonts byte by byte, so they are written in cp1251 with Lua's
-- decimal escapes.
local UNLOCK = "\206\242\234\240\251\242\252" -- "Открыть"
local LOCK = "\199\224\236\238\234" -- "Замок"

local screen
local shown = false -- in the scene, and so one reference ours
local locked, hintShown = false, true
while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    if command == "add_object" then
      screen = StringToPointer(GetCurrentParams(globalObject))
      shown = true
    elseif command == "delete_object" then
      if shown then
        Release(screen)
      end
      shown = false
    elseif command == "button" then
      local name = GetCurrentParams(globalObject)
      if name == "exit" then
        KillAllTasks()
      elseif name == "lock" then
        locked = not locked
        if locked then
          LockButton(screen, "start")
        else
          UnlockButton(screen, "start")
        end
        SetText(screen, "lock_label", locked and UNLOCK or LOCK)
      elseif name == "hide" then
        hintShown = not hintShown
        SetWindowVisible(screen, "hint", hintShown)
      elseif name == "start" then
        PlaySpecialSound("click")
        SendCommandByName("main", "start_level", "")
      end
    elseif command == "release_all" then
      -- The reference the screen handed over with its last "add_object".
      if shown then
        Release(screen)
      end
      return
    end
  end
  Update()
end
