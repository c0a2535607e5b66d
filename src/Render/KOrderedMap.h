// A map that walks its entries in the order they were inserted. The render
// queue and the render blocks key entries by pointers; walking a hash map of
// pointers would change the draw order from run to run.
#pragma once

#include <cstddef>
#include <unordered_map>
#include <utility>
#include <vector>

template <class Key, class Value, class Hash = std::hash<Key>>
class CKOrderedMap {
public:
    using Entry = std::pair<Key, Value>;

    Value* Find(const Key& key) {
        auto it = m_index.find(key);
        return it == m_index.end() ? nullptr : &m_entries[it->second].second;
    }
    // The entry for key, made (default value) at the end when absent.
    Value& operator[](const Key& key) {
        auto [it, added] = m_index.try_emplace(key, m_entries.size());
        if (added) m_entries.emplace_back(key, Value{});
        return m_entries[it->second].second;
    }
    void Erase(const Key& key) {
        auto it = m_index.find(key);
        if (it == m_index.end()) return;
        const size_t at = it->second;
        m_index.erase(it);
        m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(at));
        for (auto& [k, i] : m_index)
            if (i > at) --i;
    }
    void Clear() {
        m_entries.clear();
        m_index.clear();
    }
    size_t Size() const { return m_entries.size(); }
    bool Empty() const { return m_entries.empty(); }
    auto begin() { return m_entries.begin(); }
    auto end() { return m_entries.end(); }
    auto begin() const { return m_entries.begin(); }
    auto end() const { return m_entries.end(); }

private:
    std::vector<Entry> m_entries;
    std::unordered_map<Key, size_t, Hash> m_index;
};
