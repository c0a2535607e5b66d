// The name table: its hash and buckets, head insertion and in-place
// replacement, the walking order the screens draw and hover by, and growth
// past its first 193 buckets.
#include "core/KNameTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

template <class T>
std::vector<std::string> Order(const KNameTable<T>& table) {
    std::vector<std::string> names;
    for (const auto& entry : table) names.push_back(entry.name);
    return names;
}

TEST(NameTable, HashAndBucketOfKnownNames) {
    struct Case {
        const char* name;
        uint32_t hash;
        size_t bucket;
    } cases[] = {
        {"ok", 662u, 83},
        {"start", 89486u, 127},
        {"exit", 16266u, 54},
        {"", 0u, 0},
        // Bytes above 127 count as negative (signed char).
        {"\xcf", 0xFFFFFFCFu, 59},
        {"\xcf\xf0\xe8", 4294965967u, 130},
    };
    KNameTable<int> table;
    EXPECT_EQ(table.BucketCount(), 193u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(KNameTable<int>::Hash(c.name), c.hash);
        EXPECT_EQ(table.BucketOf(c.name), c.bucket);
    }
}

TEST(NameTable, WalksBucketsInAscendingOrderWhateverTheInsertionOrder) {
    const std::vector<std::vector<std::string>> insertions = {
        {"ok", "start", "exit"}, {"exit", "start", "ok"}, {"start", "ok", "exit"}};
    for (const auto& names : insertions) {
        KNameTable<int> table;
        for (const std::string& n : names) table.Set(n, 1);
        EXPECT_EQ(Order(table), (std::vector<std::string>{"exit", "ok", "start"}));
    }
}

TEST(NameTable, NewNamesGoToTheHeadOfTheirChainAndOldOnesAreReplacedInPlace) {
    // "a" and the first two names of two letters that share its bucket.
    KNameTable<int> table;
    std::vector<std::string> mates = {"a"};
    for (char c = 'b'; mates.size() < 3 && c <= 'z'; ++c)
        for (char d = 'a'; d <= 'z' && mates.size() < 3; ++d) {
            const std::string n{c, d};
            if (table.BucketOf(n) == table.BucketOf("a")) mates.push_back(n);
        }
    ASSERT_EQ(mates.size(), 3u);
    for (const std::string& n : mates) table.Set(n, 1);
    table.Set("exit", 2);
    const std::vector<std::string> newestFirst = {mates[2], mates[1], mates[0]};
    std::vector<std::string> order = Order(table);
    order.erase(std::remove(order.begin(), order.end(), "exit"), order.end());
    EXPECT_EQ(order, newestFirst);

    // Assigning again keeps the place and the count.
    const std::vector<std::string> before = Order(table);
    int* value = table.Find(mates[0]);
    table.Set(mates[0], 7);
    EXPECT_EQ(Order(table), before);
    EXPECT_EQ(table.Size(), 4u);
    EXPECT_EQ(table.Find(mates[0]), value);
    EXPECT_EQ(*value, 7);
}

TEST(NameTable, FindAndClear) {
    KNameTable<std::string> table;
    EXPECT_EQ(table.Find("ok"), nullptr);
    EXPECT_TRUE(table.Empty());
    EXPECT_TRUE(Order(table).empty());
    table.Set("ok", "yes");
    ASSERT_NE(table.Find("ok"), nullptr);
    EXPECT_EQ(*table.Find("ok"), "yes");
    EXPECT_EQ(table.Find("OK"), nullptr);  // names are exact
    EXPECT_EQ(table.Find("o"), nullptr);
    for (int i = 0; i < 300; ++i) table.Set("n" + std::to_string(i), "v");
    table.Clear();
    EXPECT_TRUE(table.Empty());
    EXPECT_EQ(table.BucketCount(), 193u);
    EXPECT_EQ(table.Find("ok"), nullptr);
    EXPECT_TRUE(Order(table).empty());
}

TEST(NameTable, GrowsBeforeTheInsertionThatWouldExceedItsBuckets) {
    struct Case {
        size_t names;
        size_t buckets;
    } cases[] = {{193, 193}, {194, 389}, {389, 389}, {390, 769}, {1000, 1543}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names);
        KNameTable<int> table;
        std::vector<int*> values;
        for (size_t i = 0; i < c.names; ++i) values.push_back(&table.Set("n" + std::to_string(i), static_cast<int>(i)));
        EXPECT_EQ(table.BucketCount(), c.buckets);
        EXPECT_EQ(table.Size(), c.names);
        // Every name once, buckets ascending, values where they were.
        std::vector<std::string> order = Order(table);
        ASSERT_EQ(order.size(), c.names);
        for (size_t k = 1; k < order.size(); ++k) EXPECT_LE(table.BucketOf(order[k - 1]), table.BucketOf(order[k]));
        std::sort(order.begin(), order.end());
        EXPECT_EQ(std::adjacent_find(order.begin(), order.end()), order.end());
        for (size_t i = 0; i < c.names; ++i) {
            int* found = table.Find("n" + std::to_string(i));
            ASSERT_EQ(found, values[i]);
            EXPECT_EQ(*found, static_cast<int>(i));
        }
    }
}

// Growth walks the old table in its order and head-inserts: names that meet
// in a new bucket come out in the reverse of their old order, and a name
// added afterwards leads its chain.
TEST(NameTable, GrowthReversesTheOldOrderWithinANewBucket) {
    KNameTable<int> table;
    // Four letters give names of many buckets, and many that share one.
    std::vector<std::string> names;
    for (char a = 'a'; a <= 'z' && names.size() < 193; ++a)
        for (char b = 'a'; b <= 'z' && names.size() < 193; ++b) names.push_back(std::string{'x', a, b});
    for (const std::string& n : names) table.Set(n, 0);
    ASSERT_EQ(table.BucketCount(), 193u);
    std::map<std::string, size_t> oldPlace;
    {
        const std::vector<std::string> order = Order(table);
        for (size_t k = 0; k < order.size(); ++k) oldPlace[order[k]] = k;
    }

    table.Set("late", 0);
    ASSERT_EQ(table.BucketCount(), 389u);
    const std::vector<std::string> order = Order(table);
    size_t sharedPairs = 0;
    for (size_t k = 1; k < order.size(); ++k) {
        const std::string& a = order[k - 1];
        const std::string& b = order[k];
        if (table.BucketOf(a) != table.BucketOf(b)) continue;
        if (b == "late") ADD_FAILURE() << "a name added after growth follows " << a;
        if (a == "late") continue;
        ++sharedPairs;
        EXPECT_GT(oldPlace[a], oldPlace[b]) << a << " then " << b;
    }
    EXPECT_GT(sharedPairs, 0u);  // the case is really met
}

}  // namespace
