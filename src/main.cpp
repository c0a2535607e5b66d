// Picks the platform backend, hands the platform the program's resources and
// enters the game.
#include "core/KApplication.h"
#include "core/KHeapCount.h"
#include "platform/table/backend_table.h"
#include "resources/resource.h"

#include <cstdio>
#include <string>

int main() {
    CountHeapAllocations();
    std::string error;
    if (!platform::StartupFromEnvironment(&error)) {
        std::fprintf(stderr, "kelvandor: %s\n", error.c_str());
        return 1;
    }
    SetModuleResources(&KelvandorResources());
    char commandLine[] = "";
    const int result = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    platform::Shutdown();
    return result;
}
