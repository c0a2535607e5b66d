// A string-keyed hash table whose walking order is part of what it means:
// the interface screens draw and hover their controls in this order, so the
// bucket layout, the hash and the chain order are fixed, not left to the
// standard library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <forward_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace name_table_detail {

// The bucket counts the table may take, ascending.
inline constexpr uint32_t kPrimes[] = {53u,        97u,         193u,        389u,       769u,       1543u,
                                       3079u,      6151u,       12289u,      24593u,     49157u,     98317u,
                                       196613u,    393241u,     786433u,     1572869u,   3145739u,   6291469u,
                                       12582917u,  25165843u,   50331653u,   100663319u, 201326611u, 402653189u,
                                       805306457u, 1610612741u, 3221225473u, 4294967291u};

// The first count of the sequence not below n (the last when none is).
inline uint32_t PrimeNotBelow(size_t n) {
    for (uint32_t p : kPrimes)
        if (p >= n) return p;
    return kPrimes[std::size(kPrimes) - 1];
}

}  // namespace name_table_detail

template <class T>
class KNameTable {
public:
    struct Entry {
        std::string name;
        T value;
    };

    static constexpr uint32_t kInitialBuckets = 193;

    // h = h * 5 + c over the bytes taken as signed char, in 32 bits.
    static uint32_t Hash(const std::string& name) {
        uint32_t h = 0;
        for (char c : name) h = h * 5u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
        return h;
    }

    KNameTable() : m_buckets(kInitialBuckets) {}

    T* Find(const std::string& name) {
        for (Entry& e : m_buckets[Hash(name) % m_buckets.size()])
            if (e.name == name) return &e.value;
        return nullptr;
    }
    const T* Find(const std::string& name) const { return const_cast<KNameTable*>(this)->Find(name); }

    // An existing name keeps its place and takes the value; a new one goes
    // to the head of its chain.
    T& Set(const std::string& name, T value) {
        if (T* existing = Find(name)) {
            *existing = std::move(value);
            return *existing;
        }
        if (m_count + 1 > m_buckets.size()) Grow(m_count + 1);
        Chain& chain = m_buckets[Hash(name) % m_buckets.size()];
        chain.push_front(Entry{name, std::move(value)});
        ++m_count;
        return chain.front().value;
    }

    // Back to the initial, empty table; the values are destroyed.
    void Clear() {
        m_buckets.clear();
        m_buckets.resize(kInitialBuckets);
        m_count = 0;
    }

    size_t Size() const { return m_count; }
    bool Empty() const { return m_count == 0; }
    size_t BucketCount() const { return m_buckets.size(); }
    size_t BucketOf(const std::string& name) const { return Hash(name) % m_buckets.size(); }

    // Bucket by bucket in ascending order, each chain from its head.
    template <class Table, class E>
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = E*;
        using reference = E&;

        Iterator() = default;
        Iterator(Table* table, size_t bucket) : m_table(table), m_bucket(bucket) {
            if (m_table && m_bucket < m_table->m_buckets.size()) {
                m_at = m_table->m_buckets[m_bucket].begin();
                SkipEmpty();
            }
        }
        E& operator*() const { return *m_at; }
        E* operator->() const { return &*m_at; }
        Iterator& operator++() {
            ++m_at;
            SkipEmpty();
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            ++*this;
            return old;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) {
            if (a.m_bucket != b.m_bucket) return false;
            return a.AtEnd() || a.m_at == b.m_at;
        }

    private:
        using ChainIt = decltype(std::declval<Table&>().m_buckets[0].begin());
        bool AtEnd() const { return !m_table || m_bucket >= m_table->m_buckets.size(); }
        void SkipEmpty() {
            while (m_bucket < m_table->m_buckets.size() && m_at == m_table->m_buckets[m_bucket].end()) {
                if (++m_bucket < m_table->m_buckets.size()) m_at = m_table->m_buckets[m_bucket].begin();
            }
        }

        Table* m_table = nullptr;
        size_t m_bucket = 0;
        ChainIt m_at{};
    };

    using iterator = Iterator<KNameTable, Entry>;
    using const_iterator = Iterator<const KNameTable, const Entry>;

    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, m_buckets.size()); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, m_buckets.size()); }

private:
    using Chain = std::forward_list<Entry>;

    // Redistribution walks the old table in its iteration order and moves
    // each entry to the head of its new chain, so two names that share a new
    // bucket end up in the reverse of their old walking order. The nodes are
    // spliced, not copied: pointers to values stay valid.
    void Grow(size_t count) {
        const uint32_t buckets = name_table_detail::PrimeNotBelow(count);
        if (buckets <= m_buckets.size()) return;
        std::vector<Chain> grown(buckets);
        for (Chain& chain : m_buckets) {
            while (!chain.empty()) {
                Chain& target = grown[Hash(chain.front().name) % buckets];
                target.splice_after(target.before_begin(), chain, chain.before_begin());
            }
        }
        m_buckets = std::move(grown);
    }

    std::vector<Chain> m_buckets;
    size_t m_count = 0;
};
