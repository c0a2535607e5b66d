#include "game/KEnemyDatabase.h"

#include "core/KFile.h"
#include "core/KTextReader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int kEnemyFields = 6;
CKEnemyDatabase* g_EnemyDatabase = nullptr;

}  // namespace

CKEnemyDatabase* GetEnemyDatabase() { return g_EnemyDatabase; }

CKEnemyDatabase::CKEnemyDatabase() { g_EnemyDatabase = this; }

CKEnemyDatabase::~CKEnemyDatabase() {
    m_table.clear();
    if (g_EnemyDatabase == this) g_EnemyDatabase = nullptr;
}

bool CKEnemyDatabase::Load(const std::string& fileName) {
    CKFile file(fileName, false);
    if (FAILED(file.Load())) return false;
    Read(file.GetData(), static_cast<int32_t>(std::min<uint32_t>(file.GetSize(), INT32_MAX)));
    return true;
}

void CKEnemyDatabase::Read(const uint8_t* data, int32_t size) {
    CKTextReader reader(data, size);
    std::string line;
    while (reader.ReadLine(line)) {
        std::string name, record;
        CKTokenizer words(line, " ", true);
        words.NextToken(name);
        words.NextToken(record);
        std::string fields[kEnemyFields];
        CKTokenizer values(record, ";", true);
        for (std::string& field : fields) values.NextToken(field);
        SKEnemyInfo& info = Find(name);
        info.firstNumber = static_cast<float>(std::atof(fields[0].c_str()));
        info.firstText = fields[1];
        info.secondNumber = static_cast<float>(std::atof(fields[2].c_str()));
        info.secondText = fields[3];
        info.thirdText = fields[4];
        info.integer = ReadSaturatedInt(fields[5]);
    }
}
