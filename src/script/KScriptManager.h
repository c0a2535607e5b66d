// The registry of scripts and the post office between engine objects and
// scripts: the script list, and commands queued by script, name or category.
#pragma once

#include "core/KMemoryManager.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CKLuaScript;

struct SKCommand {
    std::string command;
    std::vector<std::string> params;
};

// A command record filled again and again: the parameter strings a shorter
// command leaves over are kept aside for a longer one, so every string keeps
// its room and a record that has seen its longest command allocates nothing.
struct SKCommandSlot {
    // With room for the parameters of the usual commands from the start.
    SKCommandSlot();

    SKCommand record;
    std::vector<std::string> spare;

    // The record becomes a copy of `from`; nothing it held before is left.
    void Assign(const SKCommand& from);
    // The record becomes `command` with `params` split as SplitCommandParams does.
    void Assign(std::string_view command, std::string_view params);
    // Exactly `count` parameters: new ones come from the spare strings (and
    // hold whatever text they had), extra ones go back there.
    void ResizeParams(size_t count);
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
// A sender's parameter string split on "," with quotes, as every command is
// (SplitTokens with the delimiter ",").
std::vector<std::string> SplitCommandParams(std::string_view params);

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
    CKPtr<CKLuaScript> GetScript(std::string_view name) const;

    // Every receiver gets its own copy of the record, made in the room of
    // one it has handled before.
    void SendCommandByName(std::string_view name, std::string_view command, std::string_view params);
    void SendCommandByCategory(std::string_view category, std::string_view command, std::string_view params);
    void SendCommandByObject(CKPtr<CKLuaScript> script, std::string_view command, std::string_view params);

    // An empty string to build a command's parameters in, kept here so that
    // senders reuse its room every frame; only until the next call.
    std::string& ParamsText() {
        m_paramsText.clear();
        return m_paramsText;
    }

    // For start-up paths that never reach the main loop: the tables are
    // emptied without a "release_all" pass, and every script keeps one
    // reference, so the leak report at exit names it and the memory
    // manager's shut-down deletes it.
    void AbandonScripts();

private:
    CKScriptManager(const CKScriptManager&) = delete;
    CKScriptManager& operator=(const CKScriptManager&) = delete;

    // Looked up by any text, not only by std::string.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
    };
    template <class T>
    using NameMap = std::unordered_map<std::string, T, NameHash, std::equal_to<>>;

    NameMap<CKPtr<CKLuaScript>> m_names;
    NameMap<std::vector<CKPtr<CKLuaScript>>> m_categories;
    SKCommandSlot m_outgoing;  // the record being sent, split once for every receiver
    std::string m_paramsText;
};

CKScriptManager* GetScriptManager();
