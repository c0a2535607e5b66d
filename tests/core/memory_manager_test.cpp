#include "core/KMemoryManager.h"

#include "support/test_objects.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

bool OnList(const std::list<IKMMObject*>& list, IKMMObject* object) {
    return std::find(list.begin(), list.end(), object) != list.end();
}

class MemoryManager : public ::testing::Test {
protected:
    void TearDown() override {
        ShutdownMemoryManager(false);
        EXPECT_TRUE(g_LiveObjects.empty());
        EXPECT_TRUE(g_PendingObjects.empty());
    }
    std::vector<std::string> deaths;
};

TEST_F(MemoryManager, NewObjectStartsAtZeroAndItsFirstReleaseQueuesIt) {
    auto* object = new CKTestObject(&deaths);
    EXPECT_EQ(object->GetRefCount(), 0);
    EXPECT_TRUE(OnList(g_LiveObjects, object));
    EXPECT_TRUE(IsLiveObject(object));
    object->Release();
    EXPECT_EQ(object->GetRefCount(), -1);
    EXPECT_FALSE(OnList(g_LiveObjects, object));
    EXPECT_TRUE(OnList(g_PendingObjects, object));
    EXPECT_TRUE(deaths.empty());
    CollectGarbage();
    EXPECT_EQ(deaths, std::vector<std::string>{"obj"});
    EXPECT_FALSE(IsLiveObject(object));
}

TEST_F(MemoryManager, LastReferenceDroppedStaysUsableUntilTheNextCollection) {
    auto* object = new CKTestObject(&deaths);
    object->AddRef();
    object->Release();
    EXPECT_TRUE(object->IsQueued());
    EXPECT_EQ(object->m_name, "obj");  // still alive within the pass
    object->Release();                 // already queued: not queued twice
    object->AddRef();                  // too late to save it
    EXPECT_EQ(std::count(g_PendingObjects.begin(), g_PendingObjects.end(), object), 1);
    CollectGarbage();
    EXPECT_EQ(deaths.size(), 1u);
    EXPECT_TRUE(g_PendingObjects.empty());
}

TEST_F(MemoryManager, ObjectsReleasedByDestructorsWaitForTheNextCollection) {
    auto* holder = new CKTestObject(&deaths, "holder");
    holder->m_member = new CKTestObject(&deaths, "member");
    holder->Release();
    CollectGarbage();
    EXPECT_EQ(deaths, std::vector<std::string>{"holder"});
    EXPECT_EQ(g_PendingObjects.size(), 1u);
    CollectGarbage();
    EXPECT_EQ(deaths, (std::vector<std::string>{"holder", "member"}));
}

TEST_F(MemoryManager, ShutdownDeletesEverythingOnceAndReportsEach) {
    LogCapture capture;
    // The member is created first, so the walk deletes it before its holder,
    // whose destructor then drops a reference to an object already gone.
    auto* member = new CKTestObject(&deaths, "member");
    auto* holder = new CKTestObject(&deaths, "holder");
    holder->m_member = member;
    holder->AddRef();
    auto* pending = new CKTestObject(&deaths, "pending");
    pending->Release();
    ShutdownMemoryManager(true);
    EXPECT_EQ(deaths, (std::vector<std::string>{"pending", "member", "holder"}));
    const std::string line =
        "неудаленный объект: класс - CKTestObject, размер - " + std::to_string(sizeof(CKTestObject)) + " bytes";
    EXPECT_EQ(capture.lines, (std::vector<std::string>{line, line, line}));
    EXPECT_EQ(capture.levels, (std::vector<int>{0, 0, 0}));
    EXPECT_FALSE(g_MMShuttingDown);
}

TEST_F(MemoryManager, ReleaseDuringShutdownQueuesNothing) {
    auto* a = new CKTestObject(&deaths, "a");
    auto* b = new CKTestObject(&deaths, "b");
    a->m_member = b;  // b's count 1; a's destructor drops it to 0 while b is still live
    ShutdownMemoryManager(false);
    EXPECT_EQ(deaths, (std::vector<std::string>{"a", "b"}));
}

TEST_F(MemoryManager, ReportLiveObjectsLeavesTheListsAlone) {
    LogCapture capture;
    auto* a = new CKTestObject();
    auto* b = new CKTestObject();
    b->Release();
    ReportLiveObjects();
    EXPECT_EQ(capture.lines.size(), 1u);
    EXPECT_TRUE(OnList(g_LiveObjects, a));
    EXPECT_TRUE(OnList(g_PendingObjects, b));
}

TEST_F(MemoryManager, CountedPointerKeepsExactlyOneReferencePerHolder) {
    auto* object = new CKTestObject(&deaths);
    {
        CKPtr<CKTestObject> p(object);
        EXPECT_EQ(object->GetRefCount(), 1);
        CKPtr<CKTestObject> q(p);
        CKPtr<IKMMObject> base(q);
        EXPECT_EQ(object->GetRefCount(), 3);
        CKPtr<CKTestObject>& same = p;
        p = same;    // self-assignment
        q = object;  // the raw pointer it already holds
        EXPECT_EQ(object->GetRefCount(), 3);
        base = nullptr;
        EXPECT_EQ(object->GetRefCount(), 2);
        EXPECT_FALSE(object->IsQueued());
    }
    EXPECT_TRUE(object->IsQueued());
    CollectGarbage();
    EXPECT_EQ(deaths.size(), 1u);

    // Null pointers touch nothing.
    CKPtr<CKTestObject> empty;
    CKPtr<CKTestObject> copy(empty);
    copy = empty;
    EXPECT_FALSE(copy);
    EXPECT_TRUE(g_PendingObjects.empty());
}

}  // namespace
