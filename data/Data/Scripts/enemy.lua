-- The enemy ships of a level (enemy.rdf). Every clone along a spline shares
-- this one script: each brings its id with "add_object" (and one reference,
-- given back on "delete_object" or taken by KillEnemy), so the script keeps
-- its ships in a table by id. A ship fires at the player now and then from its
-- nose (the way it flies, down the screen as it comes in), loses health to the
-- player's "shot", and at none left blows up, scores and leaves the level.
local HEALTH = 30 -- three lasers, or one rocket
local NOSE = 0.8 -- how far ahead of the ship's centre its shots start
local FIRST_PAUSE = 1 -- seconds before a new ship's first shot
local PAUSE, PAUSE_SPREAD = 1.5, 1.5 -- seconds between shots: 1.5 to 3
local SCORE = 100

-- id -> { object, health, wait }
local ships = {}
-- Steps the pauses through their spread without a random generator, so a
-- session plays the same every time.
local turn = 0

local function nextPause()
  turn = (turn + 0.37) % 1
  return PAUSE + PAUSE_SPREAD * turn
end

-- Gives back the reference that came with "add_object".
local function letGo(id)
  local ship = ships[id]
  if ship then
    ships[id] = nil
    Release(ship.object)
  end
end

local function damage(id, amount)
  local ship = ships[id]
  if not ship then
    return -- already dead: hits still on their way count for nothing
  end
  ship.health = ship.health - amount
  if ship.health <= 0 then
    ships[id] = nil
    Shot("debris", ship.object, 0, 0, 0, 0, 1, 0)
    AddScore(SCORE)
    -- Takes the scripts' reference: the "delete_object" that follows finds
    -- nothing left to give back.
    KillEnemy(ship.object)
  end
end

while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    if command == "add_object" then
      local id = GetCurrentParams(globalObject)
      letGo(id)
      ships[id] = { object = StringToPointer(id), health = HEALTH, wait = FIRST_PAUSE + nextPause() - PAUSE }
    elseif command == "delete_object" then
      letGo((GetCurrentParams(globalObject)))
    elseif command == "shot" then
      local owner, _, amount = GetCurrentParams(globalObject)
      damage(owner, tonumber(amount) or 0)
    elseif command == "release_all" then
      for id in pairs(ships) do
        letGo(id)
      end
      return
    end
  end
  local dt = GetDeltaTime()
  for _, ship in pairs(ships) do
    ship.wait = ship.wait - dt
    if ship.wait <= 0 then
      Shot("enemy_laser", ship.object, 0, -NOSE, 0, 0, -1, 0)
      ship.wait = nextPause()
    end
  end
  Update()
end
