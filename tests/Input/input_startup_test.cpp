// The input task in the whole program: keys pressed by a session script
// reach the action listeners as the game runs.
#include "script/startup_fixture.h"

namespace {

using InputStartup = StartupTest;

TEST_F(InputStartup, SessionKeysReachTheActionListenersInTheirFrames) {
    WriteFile("Data/Scripts/list.dat", "main t_system action_listener\n");
    WriteScript("main", R"lua(
heard = ""
frame = 0
while true do
  frame = frame + 1
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    if command == "key_action" then
      heard = heard .. frame .. ":" .. table.concat({GetCurrentParams(globalObject)}, ",") .. " "
    elseif command == "release_all" then
      local f = io.open("heard.txt", "w") f:write(heard) f:close()
    end
  end
  Update()
end
)lua");
    EXPECT_EQ(Play("0 launcher start\n3 key down Space\n5 key up Space\n6 key down Esc\n6 key down Q\n9 close\n"), 0);
    // The script's first slice is the first pass's: frame N is its N-th.
    EXPECT_EQ(ReadFile("heard.txt"), "3:fire,1 5:fire,0 6:escape,1 ");
}

}  // namespace
