-- The enemy ships of a level. Every clone along a spline, of every type,
-- shares this one script: each brings its id with "add_object" (and one
-- reference, given back on "delete_object" or taken by KillEnemy), so the
-- script keeps its ships in a table by id. A ship's type is the name of the
-- node its descriptor is told apart by (enemy.rdf has "scout", fighter.rdf
-- "fighter", ...), and the enemy table (data\enemies.dat) gives each type its
-- health, its weapon and the seconds between its shots, the weapon of its
-- death, the sound of a hit and its score. A ship fires from its nose (its
-- -y, the way it faces), loses health to the player's "shot", and at none
-- left blows up, scores and leaves the level. Between its own shots the boss
-- fires volleys of lasers: two fans at the player, then a ring all round.
local TYPES = { "scout", "fighter", "gunship", "boss" }
local NOSE = { scout = 0.8, fighter = 0.9, gunship = 1.4, boss = 2.2 }
-- The exhaust the quick ships leave where they fly, a puff a frame: its
-- lifetime in seconds and its size. The slow ones would sit in their own.
local TRAIL = { scout = { 0.3, 0.12 }, fighter = { 0.4, 0.15 } }
local FIRST_PAUSE = 1 -- seconds before a new ship's first shot
local SPREAD = 0.8 -- a pause is the type's interval times 1 to 1 + SPREAD
local FAN = { -0.6, -0.3, 0, 0.3, 0.6 } -- the boss's fan, sideways aim
local RING = 32 -- lasers in the boss's ring
local VOLLEY_PAUSE = 0.3 -- seconds between the boss's volleys
local VOLLEYS = 3 -- a ring after every two fans

-- type -> its record from the table, read once.
local kinds = {}
-- id -> { object, kind, health, wait, fan }
local ships = {}
-- The ids in the order the ships came in: they fly in that order, since
-- pairs() would follow the ids' hashes, which change from run to run.
local order = {}

local function forget(id)
  ships[id] = nil
  for i, other in ipairs(order) do
    if other == id then
      table.remove(order, i)
      return
    end
  end
end
-- Steps the pauses through their spread without a random generator, so a
-- session plays the same every time.
local turn = 0

local function kindOf(object)
  for _, name in ipairs(TYPES) do
    -- No such node is a null object, which is no Lua nil.
    if PointerToString(GetChildObject(object, name)) ~= "0" then
      local kind = kinds[name]
      if not kind then
        local health, weapon, interval, death, sound, score = GetEnemyData(name)
        kind = {
          name = name,
          health = health,
          weapon = weapon,
          interval = interval,
          death = death,
          sound = sound,
          score = score,
        }
        kinds[name] = kind
      end
      return kind
    end
  end
  return nil
end

local function nextPause(kind)
  turn = (turn + 0.37) % 1
  return kind.interval * (1 + SPREAD * turn)
end

-- Gives back the reference that came with "add_object".
local function letGo(id)
  local ship = ships[id]
  if ship then
    forget(id)
    Release(ship.object)
  end
end

local function damage(id, amount)
  local ship = ships[id]
  if not ship then
    return -- already dead: hits still on their way count for nothing
  end
  ship.health = ship.health - amount
  if ship.kind.sound ~= "" then
    PlaySpecialSound(ship.kind.sound)
  end
  if ship.health <= 0 then
    forget(id)
    Shot(ship.kind.death, ship.object, 0, 0, 0, 0, 1, 0)
    if ship.kind.name == "boss" then
      for _, side in ipairs({ -1.8, 1.8 }) do
        Shot("explosion", ship.object, side, 0.5, 0, 0, 1, 0)
      end
    end
    AddScore(ship.kind.score)
    -- Takes the scripts' reference: the "delete_object" that follows finds
    -- nothing left to give back.
    KillEnemy(ship.object)
  end
end

local function fly(ship, dt)
  local kind = ship.kind
  local nose = NOSE[kind.name]
  local trail = TRAIL[kind.name]
  if trail then
    Shleyf("trail", trail[1], trail[2], ship.object)
  end
  ship.wait = ship.wait - dt
  if ship.wait <= 0 then
    Shot(kind.weapon, ship.object, 0, -nose, 0, 0, -1, 0)
    ship.wait = nextPause(kind)
  end
  if kind.name == "boss" then
    ship.fan = ship.fan - dt
    if ship.fan <= 0 then
      ship.volley = (ship.volley + 1) % VOLLEYS
      if ship.volley == 0 then
        for i = 0, RING - 1 do
          local angle = i * 2 * math.pi / RING
          Shot("enemy_laser", ship.object, 0, 0, 0, math.sin(angle), math.cos(angle), 0)
        end
      else
        for _, aim in ipairs(FAN) do
          Shot("enemy_laser", ship.object, 0, -nose, 0, aim, -1, 0)
        end
      end
      ship.fan = VOLLEY_PAUSE
    end
  end
end

while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    if command == "add_object" then
      local id = GetCurrentParams(globalObject)
      letGo(id)
      local object = StringToPointer(id)
      local kind = kindOf(object)
      if kind then
        ships[id] =
          { object = object, kind = kind, health = kind.health, wait = FIRST_PAUSE, fan = FIRST_PAUSE * 2, volley = 0 }
        table.insert(order, id)
      else
        Release(object) -- no type of ours: nothing to keep it for
      end
    elseif command == "delete_object" then
      letGo((GetCurrentParams(globalObject)))
    elseif command == "shot" then
      local owner, _, amount = GetCurrentParams(globalObject)
      damage(owner, tonumber(amount) or 0)
    elseif command == "release_all" then
      while order[1] do
        letGo(order[1])
      end
      return
    end
  end
  local dt = GetDeltaTime()
  for _, id in ipairs(order) do
    fly(ships[id], dt)
  end
  Update()
end
