-- The HUD's script: the bar over a level with the lives, the weapon's and
-- the armour's icons and the score, and the captions that main shows on it.
-- The screen hands one reference with each "add_object" and takes it back
-- with "delete_object". It is in the category "interface", so every change
-- of the score ("update_game_interface", which the player's script sends too
-- for its lives, weapon and armour) brings its icons up to date. While shown
-- it draws the screen every frame.
local screen
local shown = false

while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    if command == "add_object" then
      screen = StringToPointer(GetCurrentParams(globalObject))
      shown = true
      UpdateGameInterface(screen)
    elseif command == "delete_object" then
      if shown then
        Release(screen)
      end
      shown = false
    elseif command == "update_game_interface" and shown then
      UpdateGameInterface(screen)
    elseif command == "release_all" then
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
