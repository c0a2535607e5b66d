// What a manager files by name or by content without owning it: plain
// pointers to counted objects that their users hold. An object whose last
// reference is gone stays filed until its destructor runs at the end of the
// pass, and a reference taken meanwhile would not save it (the collection
// deletes it whatever its count). So the cache never hands such an object
// out: the look-up misses, and the manager makes a new one and files it in
// its place.
#pragma once

#include "core/KMemoryManager.h"

#include <cstddef>
#include <functional>
#include <unordered_map>

template <class Key, class T, class Hash = std::hash<Key>>
class CKObjectCache {
public:
    using Map = std::unordered_map<Key, T*, Hash>;

    // The object filed under key, counted; null when there is none or when
    // it waits for deletion.
    CKPtr<T> Find(const Key& key) const {
        auto it = m_entries.find(key);
        if (it == m_entries.end() || it->second->IsQueued()) return nullptr;
        return CKPtr<T>(it->second);
    }

    // Files object under key, in place of one that waits for deletion.
    void File(const Key& key, T* object) { m_entries[key] = object; }

    // For a filed object's destructor: drops its own entry only, as a newer
    // object may have taken its key. When the key no longer leads to it (a
    // key made of members that shut-down cleared) the entry is looked for,
    // so no entry outlives its object.
    void Forget(const Key& key, const T* object) {
        auto it = m_entries.find(key);
        if (it != m_entries.end() && it->second == object) {
            m_entries.erase(it);
            return;
        }
        for (it = m_entries.begin(); it != m_entries.end(); ++it)
            if (it->second == object) {
                m_entries.erase(it);
                return;
            }
    }

    bool Files(const T* object) const {
        for (const auto& [key, filed] : m_entries)
            if (filed == object) return true;
        return false;
    }

    void Clear() { m_entries.clear(); }
    size_t Size() const { return m_entries.size(); }
    typename Map::const_iterator begin() const { return m_entries.begin(); }
    typename Map::const_iterator end() const { return m_entries.end(); }

private:
    Map m_entries;
};
