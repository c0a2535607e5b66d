-- The game's main script. For now it shows the sample ship: the default
-- camera, a fade-in from black, and the ship banking from side to side about
-- its long axis, drawn every frame over a star field, to the sample music,
-- with the sample menu over it (its own script, menu.lua, answers its
-- buttons). The arrow keys (or WASD) fly the ship about the screen, Space (or
-- LCtrl) fires a shot heard where the ship is with a burst of sparks, and Esc
-- ends the game. The menu's start button sends "start_level": the sample
-- level plays (the player's own script flies the player), and its
-- "end_level" brings the menu back.
local FADE_SECONDS = 1.5
local BANK = 0.7 -- radians each way
local BANK_SPEED = 1.2 -- radians of the swing a second
local TILT = 0.3 -- radians, so the ship is seen a little from behind
local SPEED = 8 -- units a second
local REACH_X, REACH_Y = 11, 7 -- how far from the centre the ship may fly

SetDefaultCamera()
PlayMusic("theme.ogg")
-- As wide as the camera sees at the play plane.
local stars = CreateStarField(-14, 14, -11, 11, 300)
local ship = LoadRenderObject("ship.rdf", 10)
ActivateObject(ship, 100) -- starts its looping "idle" animation
-- The layout for the display mode chosen in the launcher.
local menu = CreateInterface("menu")
ActivateInterface(menu)

-- The actions held now ("up", "left", ...), from the key bindings.
local held = {}

local function clamp(value, reach)
  return math.max(-reach, math.min(reach, value))
end

local inLevel = false

local function startLevel()
  inLevel = true
  DeactivateInterface(menu)
  DeactivateObject(ship)
  InitLevel("level1.lvl")
  StartLevel()
  ClearTimer() -- the load's time is no frame's
end

local function backToMenu()
  inLevel = false
  print(string.format("level ended: score %d", GetScore()))
  StopLevel()
  SetDefaultCamera()
  ActivateObject(ship, 100)
  ActivateInterface(menu)
end

local time, fade, x, y = 0, 0, 0, 0
SetFade(fade)
while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    if command == "release_all" then
      if inLevel then
        StopLevel()
      end
      DeactivateInterface(menu)
      Release(menu)
      DeactivateObject(ship)
      Release(ship)
      Release(stars)
      return
    elseif command == "start_level" and not inLevel then
      startLevel()
    elseif command == "end_level" and inLevel then
      backToMenu()
    elseif command == "key_action" then
      local action, pressed = GetCurrentParams(globalObject)
      held[action] = pressed == "1"
      if action == "escape" and pressed == "1" then
        KillAllTasks()
      elseif action == "fire" and pressed == "1" and not inLevel then
        PlaySpecialSound3D("shot", x, y, 0)
        TakeBonus(x, y - 5, 0) -- at the nose
      end
    end
  end
  local dt = GetDeltaTime()
  time = time + dt
  if fade < 1 then
    fade = math.min(1, fade + dt / FADE_SECONDS)
    SetFade(fade)
  end
  -- The camera's y axis points down the screen.
  local dx = (held.right and 1 or 0) - (held.left and 1 or 0)
  local dy = (held.down and 1 or 0) - (held.up and 1 or 0)
  x = clamp(x + dx * SPEED * dt, REACH_X)
  y = clamp(y + dy * SPEED * dt, REACH_Y)
  if not inLevel then
    SetLTransformation(ship, x, y, 0, math.sin(time * BANK_SPEED) * BANK, TILT, 0)
    DrawDynamicObject(stars)
    DrawDynamicObject(ship)
    UpdateInterface(menu)
  end
  Update()
end
