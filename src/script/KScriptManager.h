// The registry of scripts and the post office between engine objects and
// scripts: the script list, and commands queued by script, name or category.
#pragma once

#include "core/KMemoryManager.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CKLuaScript;

struct SKCommand {
    std::string command;
    std::vector<std::string> params;
};

// One line of Data\Scripts\list.dat: "name type category...".
struct SKScriptListLine {
    std::string name;                     // lower case
    int32_t type = 0;                     // 0 when the keyword is none of the three
    std::vector<std::string> categories;  // lower case, in line order
};

constexpr int32_t kScriptTypeLevel = 1;
constexpr int32_t kScriptTypeInterface = 2;
constexpr int32_t kScriptTypeSystem = 3;

SKScriptListLine ParseScriptListLine(const std::string& line);
// A sender's parameter string split on "," with quotes, as every command is.
std::vector<std::string> SplitCommandParams(const std::string& params);

// The text form of an object, as command parameters and PointerToString
// carry it: the full address as a signed decimal.
std::string ObjectIdString(const IKMMObject* object);
// The address an id names, read as atoi reads (leading white space, a sign,
// digits), widened to 64 bits and saturating; 0 when there are no digits.
intptr_t ParseObjectId(const char* text);
// The object an id names, or null when it names no existing object.
IKMMObject* ObjectFromId(const char* text);

class CKScriptManager {
public:
    CKScriptManager();
    // Gives every script "release_all" and one more slice, then lets them go.
    virtual ~CKScriptManager();

    bool LoadScriptList();
    CKPtr<CKLuaScript> GetScript(const std::string& name) const;

    void SendCommandByName(const std::string& name, const std::string& command, const std::string& params);
    void SendCommandByCategory(const std::string& category, const std::string& command, const std::string& params);
    void SendCommandByObject(CKPtr<CKLuaScript> script, const std::string& command, const std::string& params);

    // For start-up paths that never reach the main loop: the tables are
    // emptied without a "release_all" pass, and every script keeps one
    // reference, so the leak report at exit names it and the memory
    // manager's shut-down deletes it.
    void AbandonScripts();

private:
    CKScriptManager(const CKScriptManager&) = delete;
    CKScriptManager& operator=(const CKScriptManager&) = delete;

    std::unordered_map<std::string, CKPtr<CKLuaScript>> m_names;
    std::unordered_map<std::string, std::vector<CKPtr<CKLuaScript>>> m_categories;
};

CKScriptManager* GetScriptManager();
