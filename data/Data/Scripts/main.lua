-- The game's main script. For now it only keeps its place in every frame,
-- reading what is sent to it, until the game closes.
while true do
  while SetNextCommand(globalObject) do
    if GetCurrentCommand(globalObject) == "release_all" then
      return
    end
  end
  Update()
end
