-- The sample menu's script. The screen tells it "add_object" with its id when
-- it is activated (and with it one reference, given back at the end), and every click on one of its buttons arrives as "button"
-- with the button's name:
--   lock    locks the button "target", or unlocks it again;
--   target  clicks (while it is not locked);
--   hide    hides the hint line, or shows it again;
--   exit    ends the game.
-- Texts reach the fonts byte by byte, so they are written in cp1251 with Lua's
-- decimal escapes.
local UNLOCK = "\206\242\234\240\251\242\252" -- "Открыть"
local LOCK = "\199\224\236\238\234" -- "Замок"

local screen
local locked, hintShown = false, true
while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    if command == "add_object" then
      screen = StringToPointer(GetCurrentParams(globalObject))
    elseif command == "button" then
      local name = GetCurrentParams(globalObject)
      if name == "exit" then
        KillAllTasks()
      elseif name == "lock" then
        locked = not locked
        if locked then
          LockButton(screen, "target")
        else
          UnlockButton(screen, "target")
        end
        SetText(screen, "lock_label", locked and UNLOCK or LOCK)
      elseif name == "hide" then
        hintShown = not hintShown
        SetWindowVisible(screen, "hint", hintShown)
      elseif name == "target" then
        PlaySpecialSound("click")
      end
    elseif command == "release_all" then
      -- The reference the screen handed over with "add_object".
      if screen then
        Release(screen)
      end
      return
    end
  end
  Update()
end
