-- The game's main script. For now it shows the sample ship: the default
-- camera, a fade-in from black, and the ship banking from side to side about
-- its long axis, drawn every frame until the game closes.
local FADE_SECONDS = 1.5
local BANK = 0.7 -- radians each way
local BANK_SPEED = 1.2 -- radians of the swing a second
local TILT = 0.3 -- radians, so the ship is seen a little from behind

SetDefaultCamera()
local ship = LoadRenderObject("ship.rdf", 10)
ActivateObject(ship, 100) -- starts its looping "idle" animation

local time, fade = 0, 0
SetFade(fade)
while true do
  while SetNextCommand(globalObject) do
    if GetCurrentCommand(globalObject) == "release_all" then
      DeactivateObject(ship)
      Release(ship)
      return
    end
  end
  local dt = GetDeltaTime()
  time = time + dt
  if fade < 1 then
    fade = math.min(1, fade + dt / FADE_SECONDS)
    SetFade(fade)
  end
  SetLTransformation(ship, 0, 0, 0, math.sin(time * BANK_SPEED) * BANK, TILT, 0)
  DrawDynamicObject(ship)
  Update()
end
