// Keyframe animation: the segment walk and its strict comparison, wraps and
// the end of one-shot tracks, the blend, degenerate durations and short
// tracks, SetTime, and a track replayed at its end by the kernel.
#include "Render/KPartAnimation.h"
#include "Render/KRenderObject.h"
#include "core/KKernel.h"
#include "platform/headless/headless_backend.h"
#include "platform/table/backend_table.h"

#include "support/test_objects.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

void Collect() {
    while (!g_PendingObjects.empty()) CollectGarbage();
}

// Key i: every element distinct, so a blend of the wrong keys shows.
D3DXMATRIX Key(int i) {
    D3DXMATRIX m;
    float* p = m;
    for (int j = 0; j < 16; ++j) p[j] = static_cast<float>(10 * i + j);
    return m;
}

D3DXMATRIX Blend(int a, int b, float f) {
    D3DXMATRIX m;
    float* p = m;
    const D3DXMATRIX ka = Key(a), kb = Key(b);
    const float* pa = ka;
    const float* pb = kb;
    for (int j = 0; j < 16; ++j) p[j] = pa[j] + (pb[j] - pa[j]) * f;
    return m;
}

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

void ExpectPose(const D3DXMATRIX& actual, const D3DXMATRIX& expected) {
    const float* a = actual;
    const float* e = expected;
    for (int j = 0; j < 16; ++j) EXPECT_NEAR(a[j], e[j], 1e-4f) << "element " << j;
}

// Counts the ends and wraps that its animations report.
class CKEndCounter : public CKRenderObject {
public:
    CKEndCounter() : CKRenderObject("target") {}
    void OnAnimationEnd() override {
        ++ends;
        CKRenderObject::OnAnimationEnd();
    }
    int ends = 0;
};

class PartAnimation : public ::testing::Test {
protected:
    void TearDown() override {
        g_FrameTime = 0.0f;
        animation = nullptr;
        target = nullptr;
        Collect();
    }
    CKPartAnimation& Make(const std::vector<float>& durations, bool loop) {
        target = new CKEndCounter();
        animation = new CKPartAnimation();
        std::vector<D3DXMATRIX> keys;
        for (size_t i = 0; i < durations.size(); ++i) keys.push_back(Key(static_cast<int>(i)));
        animation->SetKeys(keys, durations);
        animation->target = target.Get();
        animation->loop = loop ? 1 : 0;
        animation->Start();
        return *animation;
    }
    void Frames(const std::vector<float>& frames) {
        for (float dt : frames) {
            g_FrameTime = dt;
            animation->Update();
        }
    }

    CKPtr<CKEndCounter> target;
    CKPtr<CKPartAnimation> animation;
};

TEST_F(PartAnimation, FourKeysWalkBlendAndEndOrWrapAtTheSecondToLastKey) {
    const struct {
        const char* what;
        bool loop;
        std::vector<float> frames;
        uint32_t key;
        D3DXMATRIX pose;
        int ends;
        bool stopped;
    } cases[] = {
        {"half into the first segment", false, {0.5f}, 0, Blend(0, 1, 0.5f), 0, false},
        {"halfway between K1 and K2", false, {0.5f, 1.0f}, 1, Blend(1, 2, 0.5f), 0, false},
        {"past 2 s: ends with the rest blended", false, {0.5f, 1.0f, 0.75f}, 2, Blend(2, 3, 0.25f), 1, true},
        {"one long frame overshoots the last key", false, {3.5f}, 2, Blend(2, 3, 1.5f), 1, true},
        {"exactly a duration: no step", false, {1.0f}, 0, Key(1), 0, false},
        {"exactly 2 s: not yet the end", false, {1.0f, 1.0f}, 1, Key(2), 0, false},
        {"looping past 2 s: back to K0", true, {0.5f, 1.0f, 0.75f}, 0, Blend(0, 1, 0.25f), 1, false},
        {"several wraps in one frame", true, {5.5f}, 1, Blend(1, 2, 0.5f), 2, false},
        {"ten wraps in one frame", true, {20.5f}, 0, Blend(0, 1, 0.5f), 10, false},
        {"frame time 0 holds the pose", true, {0.5f, 0.0f, 0.0f}, 0, Blend(0, 1, 0.5f), 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Make({1, 1, 1, 1}, c.loop);
        Frames(c.frames);
        EXPECT_EQ(animation->key, c.key);
        ExpectPose(target->localMatrix, c.pose);
        ExpectPose(target->worldMatrix, c.pose);
        EXPECT_EQ(target->ends, c.ends);
        EXPECT_EQ(animation->m_stop, c.stopped ? 1 : 0);
        EXPECT_EQ(animation->m_running, c.stopped ? 0 : 1);
    }
}

TEST_F(PartAnimation, EveryUpdateWritesThePoseAsAMatrixWriterDoes) {
    Make({1, 1, 1, 1}, true);
    Frames({0.5f});
    D3DXMatrixIdentity(&target->localMatrix);
    target->SetVerticesReady();
    Frames({0.0f});  // an inactive application
    ExpectPose(target->localMatrix, Blend(0, 1, 0.5f));
    EXPECT_EQ(target->GetVerticesReady(), 0);
    EXPECT_EQ(target->GetTransformSet(), 1);
}

TEST_F(PartAnimation, DegenerateDurationsNeverHangAndGiveDefinedPoses) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* what;
        std::vector<float> durations;
        bool loop;
        D3DXMATRIX pose;
        int ends;
        bool stopped;
    } cases[] = {
        // A cycle of no time holds its pose; a zero segment is at its far key.
        {"all zero, looping", {0, 0, 0, 0}, true, Key(1), 0, false},
        {"all negative, looping", {-1, -1, -1, -1}, true, Key(1), 0, false},
        {"all NaN, looping", {nan, nan, nan, nan}, true, Key(1), 0, false},
        {"all zero, one-shot", {0, 0, 0, 0}, false, Key(3), 1, true},
        // Read as 1, 0, 1, 1: the negative one gives no time back.
        {"a negative segment", {1, -5, 1, 1}, false, Blend(2, 3, 0.5f), 1, true},
        {"a zero segment inside a loop", {1, 0, 1, 1}, true, Blend(0, 1, 0.5f), 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Make(c.durations, c.loop);
        Frames({1.5f});
        ExpectPose(target->localMatrix, c.pose);
        EXPECT_EQ(target->ends, c.ends);
        EXPECT_EQ(animation->m_stop, c.stopped ? 1 : 0);
        for (float d : animation->durations) EXPECT_GE(d, 0.0f);
    }
}

TEST_F(PartAnimation, ACycleBelowTheClocksPrecisionStillEndsTheFrame) {
    Make({1e-9f, 1e-9f, 1, 1}, true);
    Frames({1.0f, 1.0f});
    EXPECT_LT(animation->key, 2u);
    EXPECT_LE(animation->time, 2e-9f);
    EXPECT_EQ(target->ends, 2 * static_cast<int>(CKPartAnimation::kMaxWrapReports));
}

TEST_F(PartAnimation, TracksTooShortToEndHoldTheirFirstKey) {
    const struct {
        size_t keys;
        bool loop;
        int ends;
        bool stopped;
    } cases[] = {
        {0, false, 0, false}, {1, false, 1, true}, {2, false, 1, true}, {1, true, 0, false}, {2, true, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.keys << " keys, loop " << c.loop);
        Make(std::vector<float>(c.keys, 1.0f), c.loop);
        Frames({0.5f});
        if (!animation->m_stop) Frames({3.0f});                              // the kernel updates only what runs
        ExpectPose(target->localMatrix, c.keys == 0 ? Identity() : Key(0));  // no keys: never posed
        EXPECT_EQ(target->ends, c.ends);
        EXPECT_EQ(animation->m_stop, c.stopped ? 1 : 0);
        EXPECT_EQ(animation->key, 0u);
    }
}

TEST_F(PartAnimation, SetTimePositionsTheClockWithoutPosing) {
    const struct {
        const char* what;
        bool loop;
        float t;
        uint32_t key;
        float time;
        int ends;
        bool stopped;
    } cases[] = {
        {"inside the track", false, 1.5f, 1, 0.5f, 0, false},
        {"a wrap is not reported", true, 2.5f, 0, 0.5f, 0, false},
        {"past the end of a one-shot track", false, 2.5f, 2, 0.5f, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Make({1, 1, 1, 1}, c.loop);
        animation->SetTime(c.t);
        EXPECT_EQ(animation->key, c.key);
        EXPECT_FLOAT_EQ(animation->time, c.time);
        EXPECT_EQ(target->ends, c.ends);
        EXPECT_EQ(animation->m_stop, c.stopped ? 1 : 0);
        ExpectPose(target->localMatrix, Identity());
    }
}

TEST_F(PartAnimation, AFinishedTrackStartedAgainPlaysOnFromItsEndKeyAndEndsThere) {
    Make({1, 1, 1, 1}, false);
    Frames({2.25f});
    ASSERT_EQ(target->ends, 1);
    ASSERT_TRUE(animation->Start());  // as AddToScene restarts it
    Frames({0.5f});
    EXPECT_EQ(animation->key, 2u);
    ExpectPose(target->localMatrix, Blend(2, 3, 0.75f));
    EXPECT_EQ(animation->m_stop, 0);
    Frames({0.5f});
    EXPECT_EQ(animation->key, 2u);
    ExpectPose(target->localMatrix, Blend(2, 3, 1.25f));
    EXPECT_EQ(target->ends, 2);
    EXPECT_EQ(animation->m_stop, 1);
}

TEST_F(PartAnimation, CopyFromTakesKeysDurationsAndLoopOnly) {
    Make({1, 2, 3}, true);
    CKPtr<CKPartAnimation> copy(new CKPartAnimation());
    CKPtr<CKEndCounter> other(new CKEndCounter());
    copy->target = other.Get();
    copy->time = 0.25f;
    copy->key = 1;
    copy->CopyFrom(animation);
    EXPECT_EQ(copy->durations, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(copy->keys.size(), 3u);
    EXPECT_EQ(copy->loop, 1);
    EXPECT_EQ(copy->target, other.Get());
    EXPECT_EQ(copy->time, 0.25f);
    EXPECT_EQ(copy->key, 1u);
}

// An update that counts the frames it ran in.
class CKCountingAnimation : public CKPartAnimation {
public:
    void Update() override {
        frames.push_back(g_FrameCount);
        CKPartAnimation::Update();
    }
    std::vector<uint32_t> frames;
};

// The object's script reacts to "animation_end" in its own slice, later in
// the frame, by playing the same animation again.
class CKReplayingObject : public CKRenderObject {
public:
    CKReplayingObject() : CKRenderObject("replayed") {}
    void OnAnimationEnd() override {
        ++ends;
        pending = true;
    }
    int ends = 0;
    bool pending = false;
};

TEST(PartAnimationKernel, AnAnimationReplayedAtItsEndRunsOncePerFrame) {
    std::string error;
    ASSERT_TRUE(platform::Startup("headless", &error)) << error;
    {
        ScopedWorkDir workDir;  // the loop writes config.cfg when it ends
        CKKernel* kernel = new CKKernel();
        g_AppActive = 1;
        g_FrameCount = 0;
        CKPtr<CKReplayingObject> object(new CKReplayingObject());
        CKPtr<CKCountingAnimation> fire(new CKCountingAnimation());
        fire->SetKeys({Key(0), Key(1), Key(2), Key(3)}, {1, 1, 1, 1});
        fire->target = object.Get();
        object->SetAnimation("fire", fire);
        object->AddToScene(100);
        object->PlayAnimation("fire");

        int listedTwice = 0;
        CKPtr<CKTestTask> clock(new CKTestTask(nullptr, "clock", 0));
        clock->m_onUpdate = [](CKTestTask&) {
            ++g_FrameCount;
            g_FrameTime = 0.75f;
        };
        CKPtr<CKTestTask> script(new CKTestTask(nullptr, "script", 200));
        script->m_onUpdate = [&](CKTestTask&) {
            if (object->pending) {
                object->pending = false;
                object->PlayAnimation("fire");
            }
            int listed = 0;
            for (const CKPtr<IKTask>& task : kernel->ActiveTasks()) listed += task.Get() == fire.Get();
            if (listed > 1) ++listedTwice;
        };
        CKPtr<CKTestTask> ender(new CKTestTask(nullptr, "ender", 100000));
        ender->m_onUpdate = [](CKTestTask&) {
            if (g_FrameCount == 9) g_Kernel->KillAllTasks();
        };
        kernel->AddTask(clock);
        kernel->AddTask(script);
        kernel->AddTask(ender);
        kernel->Run();

        EXPECT_EQ(fire->frames, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
        EXPECT_EQ(object->ends, 3);  // 2.25 s into each play
        EXPECT_EQ(listedTwice, 0);
        EXPECT_EQ(fire->m_priority, 150);
        delete kernel;
    }
    Collect();
    g_FrameTime = 0.0f;
    g_FrameCount = 0;
    platform::Shutdown();
}

}  // namespace
