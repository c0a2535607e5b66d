-- The high-score table's script. The screen hands one reference with each
-- "add_object" and takes it back with "delete_object"; while shown it draws
-- the screen every frame and fills the table's ten rows from the saved game.
-- main says "entering" with 1 while a new score's name is typed (the entry
-- line and its prompt show, the Back button hides) and 0 when it is saved.
-- A click on Back ("button" with "back") tells main "scores_closed".
local screen
local shown = false
local entering = false

local function fill()
  for i = 0, 9 do
    local name, score = GetTScore(i)
    SetText(screen, "name_" .. i, name)
    SetText(screen, "score_" .. i, string.format("%d", score))
  end
  for _, which in ipairs({ "prompt", "entry" }) do
    SetWindowVisible(screen, which, entering)
  end
  for _, which in ipairs({ "back", "back_label" }) do
    SetWindowVisible(screen, which, not entering)
  end
end

while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    if command == "add_object" then
      screen = StringToPointer(GetCurrentParams(globalObject))
      shown = true
      fill()
    elseif command == "delete_object" then
      if shown then
        Release(screen)
      end
      shown = false
    elseif command == "entering" then
      entering = GetCurrentParams(globalObject) == "1"
      if shown then
        fill()
      end
    elseif command == "button" and shown then
      if GetCurrentParams(globalObject) == "back" then
        PlaySpecialSound("click")
        SendCommandByName("main", "scores_closed", "")
      end
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
