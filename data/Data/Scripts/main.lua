-- The game's main script: the flow from the menu through the three levels to
-- the high-score table.
--   menu    the main menu over a star field and the banking ship (menu.lua
--           answers its buttons and sends "new_game", "continue_game" and
--           "show_scores" here);
--   level   a level plays: a fade-in with the keys off, the level's caption,
--           then play; its end ("end_level") leads to the next level, the
--           last one's to the victory; "player_dead" (no ship left) to the
--           end of the game;
--   over    the caption of the game's end, then the high-score table, which
--           asks for a name when the score enters it (typed here with the
--           letter keys, Backspace and Enter);
--   scores  the table, until its Back button ("scores_closed") or Esc.
-- Esc leaves a level for the menu, and the game from the menu.
-- Texts reach the fonts byte by byte, so they are written in cp1251 with Lua's
-- decimal escapes.
local LEVEL = "\211\240\238\226\229\237\252 " -- "Уровень "
local LEVELS = 3
local MUSIC = { "level1.ogg", "level2.ogg", "level3.ogg" }
local MENU_MUSIC = "theme.ogg"
local FADE_SECONDS = 1.5 -- the game's first fade-in
local LEVEL_FADE = 1 -- a level's fade-in and fade-out
local CAPTION_SECONDS = 2.5 -- a level's caption, then it bursts away
local OVER_SECONDS = 3 -- the caption of the game's end
local CLEAR_SECONDS = 2 -- "level cleared", before the fade-out
local NAME_LENGTH = 10
local BANK, BANK_SPEED, TILT = 0.7, 1.2, 0.3 -- the menu ship's swing
-- Between the title and the buttons, pushed back so it fits between them.
local SHIP_Y, SHIP_Z = -6.6, -80

SetDefaultCamera()
PlayMusic(MENU_MUSIC)
-- As wide as the camera sees at the play plane.
local stars = CreateStarField(-14, 14, -11, 11, 300)
local ship = LoadRenderObject("ship.rdf", 10)
ActivateObject(ship, 100) -- starts its looping "idle" animation
-- The layouts for the display mode chosen in the launcher.
local menu = CreateInterface("menu")
local hud = CreateInterface("hud")
local scores = CreateInterface("scores")
ActivateInterface(menu)

local state = "menu"
local level = 1
-- Seconds into the current step: the fade, the caption, the end.
local clock = 0
local fade = 0
-- The level's steps: "fade_in", "caption", "play", "cleared", "fade_out".
local step
-- The end of the game: its caption and the name being typed.
local caption, entering, name, place = nil, false, "", -1

local function showCaption(which, shown)
  SetWindowVisible(hud, which, shown)
end

local function hideCaptions()
  for _, which in ipairs({ "level_caption", "clear_caption", "over_caption", "win_caption" }) do
    showCaption(which, false)
  end
end

local function leaveMenu()
  DeactivateInterface(menu)
  DeactivateObject(ship)
end

local function backToMenu()
  state = "menu"
  SetActions(true)
  fade = 1
  SetFade(fade)
  SetDefaultCamera()
  PlayMusic(MENU_MUSIC)
  ActivateObject(ship, 100)
  ActivateInterface(menu)
end

-- Loads and starts a level behind a black screen; the keys stay off until
-- its fade-in is over.
local function startLevel(number)
  level = number
  state, step, clock = "level", "fade_in", 0
  fade = 0
  SetFade(0)
  SetActions(false)
  InitLevel("level" .. number .. ".lvl")
  StartLevel()
  PlayMusic(MUSIC[number])
  if number > 1 then
    SetLastLevel(number) -- the furthest level reached is where "continue" starts
  end
  hideCaptions()
  SetText(hud, "level_caption", LEVEL .. number)
  showCaption("level_caption", true)
  ActivateInterface(hud)
  ClearTimer() -- the load's time is no frame's
end

local function newGame(number)
  leaveMenu()
  SetScore(0)
  startLevel(number)
  -- The player keeps its lives and weapon from level to level, and starts
  -- afresh here. A script hears commands only while it runs: its ship's
  -- entering the scene has started it.
  SendCommandByName("player", "new_game", "")
end

-- The entry line of the table: the name so far and a cursor.
local function showName()
  SetText(scores, "entry", name .. "_")
end

local function showScores(enter)
  state = "scores"
  entering = enter
  name = ""
  if enter then
    showName()
  end
  -- After the screen has started its script, which hears commands only
  -- while it runs.
  ActivateInterface(scores)
  SendCommandByName("scores", "entering", enter and "1" or "0")
end

-- The game is over: won, or with no ship left.
local function endGame(won)
  state, clock = "over", 0
  SetActions(false)
  caption = won and "win_caption" or "over_caption"
  hideCaptions()
  showCaption(caption, true)
end

local function leaveLevel()
  StopLevel()
  DeactivateInterface(hud)
  SetActions(true)
end

local function saveName()
  local score = GetScore()
  place = GetScorePos(score)
  if place >= 0 then
    MoveScores(place)
    SetTScore(place, name, score)
    print(string.format("high score: %s %d at %d", name, score, place + 1))
  end
  entering = false
  SendCommandByName("scores", "entering", "0")
end

local function onKey(action, pressed)
  if not pressed then
    return
  end
  if action == "escape" then
    if state == "menu" then
      KillAllTasks()
    elseif state == "level" or state == "over" then
      leaveLevel()
      backToMenu()
    elseif state == "scores" and not entering then
      DeactivateInterface(scores)
      backToMenu()
    end
  elseif state == "scores" and entering then
    if action == "enter" and name ~= "" then
      saveName()
    elseif action == "erase" then
      name = string.sub(name, 1, -2)
      showName()
    elseif string.len(action) == 1 and string.len(name) < NAME_LENGTH then
      name = name .. action
      showName()
    end
  end
end

-- A level's frame: its fades and its caption.
local function levelFrame(dt)
  clock = clock + dt
  if step == "fade_in" then
    fade = math.min(1, clock / LEVEL_FADE)
    SetFade(fade)
    if fade >= 1 then
      SetActions(true)
      step = "caption"
    end
  elseif step == "caption" and clock >= CAPTION_SECONDS then
    showCaption("level_caption", false)
    HideTitle()
    step = "play"
  elseif step == "cleared" and clock >= CLEAR_SECONDS then
    step, clock = "fade_out", 0
    SetActions(false)
  elseif step == "fade_out" then
    fade = math.max(0, 1 - clock / LEVEL_FADE)
    SetFade(fade)
    if fade <= 0 then
      leaveLevel()
      startLevel(level + 1)
    end
  end
end

local time = 0
SetFade(fade)
while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    if command == "release_all" then
      if state == "level" or state == "over" then
        StopLevel()
      end
      DeactivateInterface(menu)
      DeactivateInterface(hud)
      DeactivateInterface(scores)
      Release(menu)
      Release(hud)
      Release(scores)
      DeactivateObject(ship)
      Release(ship)
      Release(stars)
      return
    elseif command == "new_game" and state == "menu" then
      newGame(1)
    elseif command == "continue_game" and state == "menu" then
      newGame(math.max(1, math.min(LEVELS, GetLastLevel())))
    elseif command == "show_scores" and state == "menu" then
      leaveMenu()
      showScores(false)
    elseif command == "scores_closed" and state == "scores" and not entering then
      DeactivateInterface(scores)
      backToMenu()
    elseif command == "end_level" and state == "level" then
      print(string.format("level %d ended: score %d", level, GetScore()))
      if level < LEVELS then
        step, clock = "cleared", 0
        showCaption("clear_caption", true)
      else
        endGame(true)
      end
    elseif command == "player_dead" and state == "level" then
      print(string.format("game over at level %d: score %d", level, GetScore()))
      endGame(false)
    elseif command == "key_action" then
      local action, pressed = GetCurrentParams(globalObject)
      onKey(action, pressed == "1")
    end
  end
  local dt = GetDeltaTime()
  time = time + dt
  if state == "menu" or state == "scores" then
    if fade < 1 then
      fade = math.min(1, fade + dt / FADE_SECONDS)
      SetFade(fade)
    end
    DrawDynamicObject(stars)
    if state == "menu" then
      SetLTransformation(ship, 0, SHIP_Y, SHIP_Z, math.sin(time * BANK_SPEED) * BANK, TILT, 0)
      DrawDynamicObject(ship)
    end
  elseif state == "level" then
    levelFrame(dt)
  elseif state == "over" then
    clock = clock + dt
    if clock >= OVER_SECONDS then
      local score = GetScore()
      leaveLevel()
      SetDefaultCamera()
      PlayMusic(MENU_MUSIC)
      showScores(GetScorePos(score) >= 0)
    end
  end
  Update()
end
