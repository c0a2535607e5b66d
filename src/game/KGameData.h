// The saved progress: the last level reached and the ten-entry high-score
// table, kept scrambled in Data\game.dat.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CKGameData {
public:
    static constexpr int kEntries = 10;

    CKGameData();
    virtual ~CKGameData();

    // A missing, short or damaged file leaves everything as it was.
    void Load();
    // Applies a loaded file's record when it is complete (whatever follows it
    // is ignored); false leaves all as it was.
    bool Read(class CKFile& file);
    void Save();
    void GetScoreEntry(int index, std::string& name, int& score) const;
    void SetScoreEntry(int index, const std::string& name, int score);
    void MoveScores(int index);
    int GetScorePos(int score) const;

    int32_t m_lastLevel = 0;
    std::vector<std::string> m_names;
    std::vector<int32_t> m_scores;
};

extern CKGameData* g_GameData;
