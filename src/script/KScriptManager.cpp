#include "script/KScriptManager.h"

#include "core/KFile.h"
#include "core/KLog.h"
#include "core/KTextReader.h"
#include "script/KLuaScript.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <limits>
#include <unordered_set>

namespace {

CKScriptManager* g_ScriptManager = nullptr;

constexpr size_t kTableSizeHint = 100;
// Each line costs a Lua state: a damaged or hostile list cannot be let take
// the machine.
constexpr size_t kMaxListedScripts = 4096;
// The most parameters the engine's own commands carry ("bonus", "shot").
constexpr size_t kUsualParams = 4;

}  // namespace

CKScriptManager* GetScriptManager() { return g_ScriptManager; }

SKScriptListLine ParseScriptListLine(const std::string& line) {
    SKScriptListLine entry;
    CKTokenizer tokenizer(line, " ", true);
    std::string token, keyword;
    int index = 0;
    while (tokenizer.NextToken(token)) {
        if (index == 0)
            entry.name = token;
        else if (index == 1)
            keyword = token;
        else
            entry.categories.push_back(ToLowerString(TrimString(token)));
        ++index;
    }
    ToLowerString(TrimString(entry.name));
    if (keyword == "t_system")
        entry.type = kScriptTypeSystem;
    else if (keyword == "t_level")
        entry.type = kScriptTypeLevel;
    else if (keyword == "t_interface")
        entry.type = kScriptTypeInterface;
    return entry;
}

std::vector<std::string> SplitCommandParams(std::string_view params) {
    std::vector<std::string> out;
    CKTokenizer tokens(params, ",", true);
    for (std::string token; tokens.NextToken(token);) out.push_back(token);
    return out;
}

SKCommandSlot::SKCommandSlot() {
    record.params.reserve(kUsualParams);
    spare.reserve(kUsualParams);
}

void SKCommandSlot::ResizeParams(size_t count) {
    std::vector<std::string>& params = record.params;
    while (params.size() > count) {
        spare.push_back(std::move(params.back()));
        params.pop_back();
    }
    while (params.size() < count) {
        if (spare.empty()) {
            params.emplace_back();
            continue;
        }
        params.push_back(std::move(spare.back()));
        spare.pop_back();
    }
}

void SKCommandSlot::Assign(const SKCommand& from) {
    if (&from == &record) return;
    record.command.assign(from.command);
    ResizeParams(from.params.size());
    for (size_t i = 0; i < from.params.size(); ++i) record.params[i].assign(from.params[i]);
}

void SKCommandSlot::Assign(std::string_view command, std::string_view params) {
    record.command.assign(command);
    // The tokenizer reads in place and writes into the slot's own strings.
    CKTokenizer tokens(params, ",", true);
    size_t count = 0;
    for (;;) {
        if (count == record.params.size()) ResizeParams(count + 1);
        if (!tokens.NextToken(record.params[count])) break;
        ++count;
    }
    ResizeParams(count);
}

std::string ObjectIdString(const IKMMObject* object) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIdPTR, reinterpret_cast<intptr_t>(object));
    return text;
}

intptr_t ParseObjectId(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // Accumulated as a negative number, whose range reaches the minimum.
    constexpr intptr_t kMin = std::numeric_limits<intptr_t>::min();
    intptr_t value = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const int digit = *p - '0';
        if (value < (kMin + digit) / 10) overflow = true;
        if (!overflow) value = value * 10 - digit;
    }
    if (overflow) return negative ? kMin : std::numeric_limits<intptr_t>::max();
    if (negative) return value;
    return value == kMin ? std::numeric_limits<intptr_t>::max() : -value;
}

IKMMObject* ObjectFromId(const char* text) {
    void* p = reinterpret_cast<void*>(ParseObjectId(text));
    return IsLiveObject(p) ? static_cast<IKMMObject*>(p) : nullptr;
}

CKScriptManager::CKScriptManager() : m_names(kTableSizeHint), m_categories(kTableSizeHint) { g_ScriptManager = this; }

CKScriptManager::~CKScriptManager() {
    // A script that has not started has nothing to release. Another's last
    // slice may start it (an object of its entering the scene), so the pass
    // is repeated until no script is left that runs and has not had its own.
    std::unordered_set<CKLuaScript*> told;
    for (bool more = true; more;) {
        more = false;
        for (auto& entry : m_names) {
            CKPtr<CKLuaScript> script = entry.second;
            if (script->m_finished || !script->m_thread || !told.insert(script.Get()).second) continue;
            more = true;
            // A stopped script accepts its last command too.
            const uint8_t running = script->m_running;
            script->m_running = 1;
            SendCommandByObject(script, "release_all", "");
            script->m_running = running;
            script->Update();
        }
    }
    m_categories.clear();
    m_names.clear();
    g_ScriptManager = nullptr;
}

void CKScriptManager::AbandonScripts() {
    for (auto& entry : m_names) entry.second->AddRef();
    for (auto& entry : m_categories)
        for (auto& script : entry.second) script->AddRef();
    m_categories.clear();
    m_names.clear();
}

bool CKScriptManager::LoadScriptList() {
    CKFile file("Data\\Scripts\\list.dat");
    if (FAILED(file.Load())) return false;
    const uint32_t size = std::min<uint32_t>(file.GetSize(), std::numeric_limits<int32_t>::max());
    CKTextReader reader(file.GetData(), static_cast<int32_t>(size));
    std::string line;
    for (size_t lines = 0; reader.ReadLine(line); ++lines) {
        if (lines == kMaxListedScripts) {
            // The scripts filed so far stay, as after a script that cannot be read.
            CKLog::Print(0, "Data\\Scripts\\list.dat: more than %zu scripts, the rest are not loaded\n",
                         kMaxListedScripts);
            return false;
        }
        SKScriptListLine entry = ParseScriptListLine(line);
        CKPtr<CKLuaScript> script = new CKLuaScript();
        script->m_type = entry.type;
        if (FAILED(script->Load(entry.name))) return false;
        m_names[entry.name] = script;
        for (const std::string& category : entry.categories) m_categories[category].push_back(script);
    }
    return true;
}

CKPtr<CKLuaScript> CKScriptManager::GetScript(std::string_view name) const {
    const auto it = m_names.find(name);
    return it == m_names.end() ? CKPtr<CKLuaScript>() : it->second;
}

void CKScriptManager::SendCommandByName(std::string_view name, std::string_view command, std::string_view params) {
    const auto it = m_names.find(name);
    if (it == m_names.end()) return;
    m_outgoing.Assign(command, params);
    it->second->PushCommand(m_outgoing.record);
}

void CKScriptManager::SendCommandByCategory(std::string_view category, std::string_view command,
                                            std::string_view params) {
    const auto it = m_categories.find(category);
    if (it == m_categories.end()) return;
    m_outgoing.Assign(command, params);
    // A receiver's slice never runs inside this call, so the vector stays put.
    for (const auto& script : it->second) script->PushCommand(m_outgoing.record);
}

void CKScriptManager::SendCommandByObject(CKPtr<CKLuaScript> script, std::string_view command,
                                          std::string_view params) {
    if (!script) return;
    m_outgoing.Assign(command, params);
    script->PushCommand(m_outgoing.record);
}
