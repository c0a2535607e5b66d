// data\enemies.dat through the enemy table's reader: every record it keeps
// comes from the bytes given, and a lookup of a name read or unknown holds.
#include "game/KEnemyDatabase.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    CKEnemyDatabase enemies;
    enemies.Read(data, static_cast<int32_t>(size));
    for (const auto& [name, info] : enemies.m_table)
        if (name.size() + info.firstText.size() + info.secondText.size() + info.thirdText.size() > size) std::abort();
    const size_t read = enemies.m_table.size();
    enemies.Find("");
    enemies.Find("\xff unknown");
    if (enemies.m_table.size() > read + 2) std::abort();
    return 0;
}
