-- The main menu's script. The screen tells it "add_object" with its id each
-- time it is shown, handing it one reference with it, which goes back when
-- the screen is hidden ("delete_object") or at the end. While shown it draws
-- the screen every frame. Every click on one of its buttons arrives as
-- "button" with the button's name:
--   new                  a new game from the first level;
--   continue             the game from the furthest level reached (locked
--                        while that is the first);
--   sound_down, sound_up the sounds' volume, a tenth at a time;
--   music_down, music_up the music's volume likewise;
--   scores               the high-score table;
--   exit                 ends the game.
-- Texts reach the fonts byte by byte, so they are written in cp1251 with Lua's
-- decimal escapes.
local CONTINUE = "\207\240\238\228\238\235\230\232\242\252 (" -- "Продолжить (", then the level and ")"
local NO_SAVE = "\205\229\242 \241\238\245\240\224\237\229\237\232\255" -- "Нет сохранения"
local STEP = 0.1

local screen
local shown = false -- in the scene, and so one reference ours

local function percent(volume)
  return string.format("%d%%", math.floor(volume * 100 + 0.5))
end

-- The texts that follow the saved game and the settings.
local function refresh()
  SetText(screen, "sound_value", percent(GetSoundVolume()))
  SetText(screen, "music_value", percent(GetMusicVolume()))
  local last = GetLastLevel()
  if last > 1 then
    UnlockButton(screen, "continue")
    SetText(screen, "continue_label", CONTINUE .. last .. ")")
  else
    LockButton(screen, "continue")
    SetText(screen, "continue_label", NO_SAVE)
  end
end

local function clamp(volume)
  return math.max(0, math.min(1, volume))
end

while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    if command == "add_object" then
      screen = StringToPointer(GetCurrentParams(globalObject))
      shown = true
      refresh()
    elseif command == "delete_object" then
      if shown then
        Release(screen)
      end
      shown = false
    elseif command == "button" and shown then
      local name = GetCurrentParams(globalObject)
      PlaySpecialSound("click")
      if name == "exit" then
        KillAllTasks()
      elseif name == "new" then
        SendCommandByName("main", "new_game", "")
      elseif name == "continue" then
        SendCommandByName("main", "continue_game", "")
      elseif name == "scores" then
        SendCommandByName("main", "show_scores", "")
      elseif name == "sound_down" or name == "sound_up" then
        SetSoundVolume(clamp(GetSoundVolume() + (name == "sound_up" and STEP or -STEP)))
        refresh()
      elseif name == "music_down" or name == "music_up" then
        SetMusicVolume(clamp(GetMusicVolume() + (name == "music_up" and STEP or -STEP)))
        refresh()
      end
    elseif command == "release_all" then
      -- The reference the screen handed over with its last "add_object".
      if shown then
        Release(screen)
      end
      return
    end
  end
  if shown then
    UpdateInterface(screen)
  end
  Update()
end
