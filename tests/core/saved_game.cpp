// The saved game of a game folder, for the whole-game tests: prints
// Data\game.dat of the working directory as the game reads it, or sets its
// last level (to start a session at a later level).
//   saved_game print
//   saved_game last-level N
#include "game/KGameData.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2 || (std::strcmp(argv[1], "print") != 0 && (std::strcmp(argv[1], "last-level") != 0 || argc < 3))) {
        std::fprintf(stderr, "usage: saved_game print | saved_game last-level N\n");
        return 2;
    }
    CKGameData data;
    data.Load();
    if (std::strcmp(argv[1], "last-level") == 0) {
        data.m_lastLevel = std::atoi(argv[2]);
        data.Save();
        return 0;
    }
    std::printf("last_level %d\n", static_cast<int>(data.m_lastLevel));
    for (int i = 0; i < CKGameData::kEntries; ++i) {
        std::string name;
        int score = 0;
        data.GetScoreEntry(i, name, score);
        std::printf("%d %s %d\n", i + 1, name.c_str(), score);
    }
    return 0;
}
