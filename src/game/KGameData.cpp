#include "game/KGameData.h"

#include "core/KFile.h"

namespace {

const char* const kGameDataFile = "Data\\game.dat";

bool ValidIndex(int index) { return index >= 0 && index < CKGameData::kEntries; }

}  // namespace

CKGameData* g_GameData = nullptr;

CKGameData::CKGameData()
    : m_names{"KEL", "VAN", "DOR", "ACE", "ZET", "ORB", "NOX", "RAY", "JET", "SKY"}, m_scores{100030, 90070, 70125,
                                                                                              43600,  11345, 5060,
                                                                                              4315,   3000,  2150,
                                                                                              755} {
    g_GameData = this;
}

CKGameData::~CKGameData() {
    if (g_GameData == this) g_GameData = nullptr;
}

void CKGameData::Load() {
    CKFile file(kGameDataFile, true);
    if (FAILED(file.Load())) return;
    Read(file);
}

bool CKGameData::Read(CKFile& file) {
    // Read into temporaries and keep them only when the whole record is there,
    // so a damaged file saved back can never replace good data. Nothing is
    // read after the table, so bytes there are no damage.
    const int32_t lastLevel = file.ReadInt();
    std::vector<std::string> names(kEntries);
    std::vector<int32_t> scores(kEntries);
    for (int i = 0; i < kEntries; ++i) {
        names[i] = file.ReadString();
        scores[i] = file.ReadInt();
    }
    if (file.Overrun()) return false;
    m_lastLevel = lastLevel;
    m_names = std::move(names);
    m_scores = std::move(scores);
    return true;
}

void CKGameData::Save() {
    CKFileWriter writer(kGameDataFile, true);
    writer.WriteInt(m_lastLevel);
    for (int i = 0; i < kEntries; ++i) {
        writer.WriteString(m_names[i]);
        writer.WriteInt(m_scores[i]);
    }
    writer.Save();
}

void CKGameData::GetScoreEntry(int index, std::string& name, int& score) const {
    if (!ValidIndex(index)) {
        name.clear();
        score = 0;
        return;
    }
    name = m_names[index];
    score = m_scores[index];
}

void CKGameData::SetScoreEntry(int index, const std::string& name, int score) {
    if (!ValidIndex(index)) return;
    m_names[index] = name;
    m_scores[index] = score;
    Save();
}

void CKGameData::MoveScores(int index) {
    if (index < 0 || index >= kEntries - 1) return;
    for (int j = kEntries - 1; j > index; --j) {
        m_names[j] = m_names[j - 1];
        m_scores[j] = m_scores[j - 1];
    }
}

int CKGameData::GetScorePos(int score) const {
    int result = -1;
    for (int i = kEntries - 1; i >= 0; --i) {
        if (m_scores[i] >= score) break;
        result = i;
    }
    return result;
}
