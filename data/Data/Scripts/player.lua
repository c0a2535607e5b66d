-- The player's ship in a level (player.rdf). The level puts the ship in the
-- scene when it starts: "add_object" brings its id, and with it one reference
-- that is given back on "delete_object". Every frame "level_move" tells how far
-- the view scrolled; the ship rides along so it stays on screen, flies about
-- the visible playfield on the held actions, and takes the bonuses the level
-- reports with "bonus". Held "fire" shoots lasers from the nose (-y), more of
-- them with each weapon upgrade; held "rocket" fires rockets, homing ones at
-- the last upgrade. An enemy's hit ("shot") and flying into a rock or a ship
-- cost armour; with none left the ship is lost: the next one comes while a
-- life is left, a few seconds unhurt, else main is told "player_dead". The
-- lives and the weapon stay from level to level of a game ("new_game", sent
-- once the first level's ship is in, starts them afresh); the armour is
-- whole at every level's start. Every change reaches the HUD through
-- "update_game_interface".
local SPEED = 8 -- units a second
local REACH_X = 7 -- how far from the centre line the ship may fly
local REACH_Y = 8 -- how far ahead of or behind the view's centre
local START_Y = 5 -- low on the screen: +y runs down it, the flight goes to -y
local BANK = 0.4 -- radians about the long axis while flying sideways
local BANK_RATE = 8 -- how fast the bank follows, a second
local NOSE = 1 -- how far ahead of the ship's centre its shots start
local LASER_PAUSE = 0.15 -- seconds between two lasers
local ROCKET_PAUSE = 0.6 -- seconds between two rockets
local ARMOR = 5 -- what a ship starts with
local ARMOR_PER_DAMAGE = 0.1 -- an enemy laser's 10 damage takes one point
local LIVES = 3 -- the most the HUD shows
local TOP_UPGRADE = 4
local UNHURT_SECONDS = 2.5 -- a new ship's grace, blinking
local BLINK = 0.1
-- Flying into a rock or a ship: what lies this far ahead of the ship's
-- centre is hit, and hurts like a laser, at most this often.
local CRASH_REACH = 1.1
local CRASH_DAMAGE = 10
local CRASH_PAUSE = 0.6

-- The lasers of each upgrade: x offset from the nose and sideways aim.
local GUNS = {
  [0] = { { 0, 0 } },
  { { -0.35, 0 }, { 0.35, 0 } },
  { { -0.35, 0 }, { 0, 0 }, { 0.35, 0 } },
  { { -0.4, -0.12 }, { 0, 0 }, { 0.4, 0.12 } },
  { { -0.45, -0.15 }, { -0.15, 0 }, { 0.15, 0 }, { 0.45, 0.15 } },
}

local ship, shipId
-- The actions held now ("up", "left", ...), from the key bindings.
local held = {}
-- The scroll so far: the centre of the view in y.
local position, x, y, bank = 0, 0, START_Y, 0
-- Seconds until each weapon may fire again.
local laserWait, rocketWait = 0, 0
local crashWait = 0
local armor = ARMOR
local lives, upgrade = LIVES, 0
local unhurt = 0 -- seconds of grace left
local dead = false

local function clamp(value, low, high)
  return math.max(low, math.min(high, value))
end

local function tellInterface()
  SendCommandByCategory("interface", "update_game_interface", "")
end

-- The reference that came with "add_object".
local function letGo()
  if ship then
    Release(ship)
  end
  ship, shipId = nil, nil
end

local function setShown(shown)
  SetVisible(ship, shown)
  for _, part in ipairs({ "hull", "engine" }) do
    SetVisible(GetChildObject(ship, part), shown)
  end
end

-- A new level's ship: the level starts it with all lives and no upgrade, so
-- what this game has is put back.
local function enter(id)
  letGo()
  shipId = id
  ship = StringToPointer(shipId)
  -- The scroll starts over, and keys held before count for nothing.
  held = {}
  position, x, y, bank = 0, 0, START_Y, 0
  laserWait, rocketWait = 0, 0
  armor, unhurt, dead = ARMOR, 0, false
  for _ = lives + 1, LIVES do
    GetPlayerLife()
  end
  SetWeaponUpgrade(upgrade)
  SetArmor(armor)
  tellInterface()
end

local function lose()
  Shot("explosion", ship, 0, 0, 0, 0, 1, 0)
  PlaySpecialSound("life_lost")
  if GetPlayerLife() then
    lives = lives - 1
    armor, unhurt = ARMOR, UNHURT_SECONDS
    upgrade = math.max(0, upgrade - 1)
    SetWeaponUpgrade(upgrade)
  else
    dead = true
    setShown(false)
    SendCommandByName("main", "player_dead", "")
  end
  SetArmor(armor)
  tellInterface()
end

local function hit(damage)
  if dead or unhurt > 0 then
    return
  end
  PlaySpecialSound("player_hit")
  armor = math.max(0, armor - damage * ARMOR_PER_DAMAGE)
  SetArmor(armor)
  tellInterface()
  if armor <= 0 then
    lose()
  end
end

local function bonus(kind, bx, by, bz)
  PlaySpecialSound("bonus")
  TakeBonus(bx, by, bz)
  if kind == "bonus_life" then
    AddLife()
    lives = math.min(LIVES, lives + 1)
  elseif kind == "bonus_weapon" then
    upgrade = math.min(TOP_UPGRADE, upgrade + 1)
    SetWeaponUpgrade(upgrade)
  elseif kind == "bonus_armor" then
    armor = ARMOR
    SetArmor(armor)
  end
  tellInterface()
end

local function fire(dt)
  -- The waits run down all the time: a tap after a pause fires at once.
  laserWait = math.max(0, laserWait - dt)
  rocketWait = math.max(0, rocketWait - dt)
  if held.fire and laserWait <= 0 then
    for _, gun in ipairs(GUNS[upgrade] or GUNS[0]) do
      Shot("laser", ship, gun[1], -NOSE, 0, gun[2], -1, 0)
    end
    laserWait = LASER_PAUSE
  end
  if held.rocket and rocketWait <= 0 then
    Shot(upgrade >= TOP_UPGRADE and "homing_rocket" or "rocket", ship, 0, -NOSE, 0, 0, -1, 0)
    rocketWait = ROCKET_PAUSE
  end
end

while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    if command == "new_game" then
      -- After the first level's ship came in: its lives and weapon go back
      -- to a new game's.
      lives, upgrade = LIVES, 0
      if ship then
        for _ = 1, LIVES do
          AddLife()
        end
        SetWeaponUpgrade(upgrade)
        tellInterface()
      end
    elseif command == "add_object" then
      enter(GetCurrentParams(globalObject))
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
    elseif command == "bonus" and ship and not dead then
      local kind, bx, by, bz = GetCurrentParams(globalObject)
      bonus(kind, tonumber(bx) or x, tonumber(by) or y, tonumber(bz) or 0)
    elseif command == "shot" and ship then
      local _, _, damage = GetCurrentParams(globalObject)
      hit(tonumber(damage) or 0)
    elseif command == "release_all" then
      letGo()
      return
    end
  end
  if ship and not dead then
    local dt = GetDeltaTime()
    local dx = (held.right and 1 or 0) - (held.left and 1 or 0)
    local dy = (held.down and 1 or 0) - (held.up and 1 or 0)
    x = clamp(x + dx * SPEED * dt, -REACH_X, REACH_X)
    y = clamp(y + dy * SPEED * dt, position - REACH_Y, position + REACH_Y)
    bank = bank + (dx * BANK - bank) * math.min(1, dt * BANK_RATE)
    SetLTransformation(ship, x, y, 0, bank, 0, 0)
    if unhurt > 0 then
      unhurt = math.max(0, unhurt - dt)
      setShown(unhurt <= 0 or math.floor(unhurt / BLINK) % 2 == 0)
    end
    crashWait = math.max(0, crashWait - dt)
    if crashWait <= 0 and CrossPlayerRay(x, y, 0, 0, -CRASH_REACH, 0) then
      hit(CRASH_DAMAGE)
      crashWait = CRASH_PAUSE
    end
    fire(dt)
  end
  Update()
end
