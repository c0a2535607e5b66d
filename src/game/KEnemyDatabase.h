// The enemy table of data\enemies.dat: six values per enemy type, looked up
// by the type's exact name. The program keeps them for the scripts
// (GetEnemyData) and gives none of them a meaning itself.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

// One type's record. The members follow the record's layout; the comments
// give each value's place among the six fields of a line.
struct SKEnemyInfo {
    float firstNumber = 0.0f;   // field 1
    float secondNumber = 0.0f;  // field 3
    std::string secondText;     // field 4
    std::string firstText;      // field 2
    std::string thirdText;      // field 5
    int32_t integer = 0;        // field 6
};

// A line: the type name, one blank, then the fields separated by ";". The
// line is split on the blank first, with quotes, which unquotes the data
// once: a blank inside a field needs plain quotes, a ";" inside a field
// quotes that survive that first split (doubled, inside quotes:
// """a;b"""). Anything after the data's end is ignored.
class CKEnemyDatabase {
public:
    CKEnemyDatabase();
    virtual ~CKEnemyDatabase();

    // False only when the file cannot be read; the table is then unchanged.
    bool Load(const std::string& fileName);
    // Every line of a table held in memory; a name given again replaces the
    // whole record.
    void Read(const uint8_t* data, int32_t size);
    // The record under the name; an unknown name gets a new empty record,
    // so the table grows by each one asked for.
    SKEnemyInfo& Find(const std::string& name) { return m_table[name]; }

    std::unordered_map<std::string, SKEnemyInfo> m_table;
};

// The process-wide table, or null before it is made and after it is gone.
CKEnemyDatabase* GetEnemyDatabase();
