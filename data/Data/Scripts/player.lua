-- The player's ship in a level (player.rdf). The level puts the ship in the
-- scene when it starts: "add_object" brings its id, and with it one reference
-- that is given back on "delete_object". Every frame "level_move" tells how far
-- the view scrolled; the ship rides along so it stays on screen, flies about
-- the visible playfield on the held actions, and takes the bonuses the level
-- reports with "bonus". Held "fire" shoots lasers from the nose (-y), held
-- "rocket" rockets, each at its own pace; an enemy's hit ("shot") costs armour.
local SPEED = 8 -- units a second
local REACH_X = 7 -- how far from the centre line the ship may fly
local REACH_Y = 8 -- how far ahead of or behind the view's centre
local START_Y = 5 -- low on the screen: +y runs down it, the flight goes to -y
local BANK = 0.4 -- radians about the long axis while flying sideways
local BANK_RATE = 8 -- how fast the bank follows, a second
local NOSE = 1 -- how far ahead of the ship's centre its shots start
local LASER_PAUSE = 0.15 -- seconds between two lasers
local ROCKET_PAUSE = 0.6 -- seconds between two rockets
local ARMOR = 5 -- what the level starts with
local ARMOR_PER_DAMAGE = 0.1 -- an enemy laser's 10 damage takes one point

local ship, shipId
-- The actions held now ("up", "left", ...), from the key bindings.
local held = {}
-- The scroll so far: the centre of the view in y.
local position, x, y, bank = 0, 0, START_Y, 0
-- Seconds until each weapon may fire again.
local laserWait, rocketWait = 0, 0
local armor = ARMOR

local function clamp(value, low, high)
  return math.max(low, math.min(high, value))
end

-- The reference that came with "add_object".
local function letGo()
  if ship then
    Release(ship)
  end
  ship, shipId = nil, nil
end

while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    if command == "add_object" then
      letGo()
      shipId = GetCurrentParams(globalObject)
      ship = StringToPointer(shipId)
      -- A new level: the scroll starts over, and keys held in the menu count
      -- for nothing.
      held = {}
      position, x, y, bank = 0, 0, START_Y, 0
      laserWait, rocketWait = 0, 0
      armor = ARMOR
      SetArmor(armor)
    elseif command == "delete_object" then
      if GetCurrentParams(globalObject) == shipId then
        letGo()
      end
    elseif command == "level_move" then
      local step = tonumber((GetCurrentParams(globalObject))) or 0
      position = position + step
      y = y + step
    elseif command == "key_action" then
      local action, pressed = GetCurrentParams(globalObject)
      held[action] = pressed == "1"
    elseif command == "bonus" then
      local kind = GetCurrentParams(globalObject)
      PlaySpecialSound("click")
      if kind == "bonus_life" then
        AddLife()
      elseif kind == "bonus_weapon" then
        SetWeaponUpgrade(1)
      end
    elseif command == "shot" then
      local _, _, damage = GetCurrentParams(globalObject)
      armor = math.max(0, armor - (tonumber(damage) or 0) * ARMOR_PER_DAMAGE)
      SetArmor(armor)
    elseif command == "release_all" then
      letGo()
      return
    end
  end
  if ship then
    local dt = GetDeltaTime()
    local dx = (held.right and 1 or 0) - (held.left and 1 or 0)
    local dy = (held.down and 1 or 0) - (held.up and 1 or 0)
    x = clamp(x + dx * SPEED * dt, -REACH_X, REACH_X)
    y = clamp(y + dy * SPEED * dt, position - REACH_Y, position + REACH_Y)
    bank = bank + (dx * BANK - bank) * math.min(1, dt * BANK_RATE)
    SetLTransformation(ship, x, y, 0, bank, 0, 0)
    -- The waits run down all the time: a tap after a pause fires at once.
    laserWait = math.max(0, laserWait - dt)
    rocketWait = math.max(0, rocketWait - dt)
    if held.fire and laserWait <= 0 then
      Shot("laser", ship, 0, -NOSE, 0, 0, -1, 0)
      laserWait = LASER_PAUSE
    end
    if held.rocket and rocketWait <= 0 then
      Shot("rocket", ship, 0, -NOSE, 0, 0, -1, 0)
      rocketWait = ROCKET_PAUSE
    end
  end
  Update()
end
