// Data\game.dat contents (already descrambled) through the game data's reader.
#include "core/KFile.h"
#include "game/KGameData.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CKFile file("Data\\game.dat", true);
    file.SetData(std::vector<uint8_t>(data, data + size));
    CKGameData gameData;
    if (gameData.Read(file)) {
        std::string name;
        int score = 0;
        for (int i = -1; i <= CKGameData::kEntries; ++i) gameData.GetScoreEntry(i, name, score);
        gameData.GetScorePos(score);
    }
    return 0;
}
