#include "Render/KPartAnimation.h"

#include "Render/KRenderObject.h"

#include <algorithm>
#include <cmath>

namespace {

// A negative duration would give time back, and a NaN never compares.
float CleanDuration(float d) { return d > 0.0f ? d : 0.0f; }

}  // namespace

uint32_t CKPartAnimation::Count() const { return static_cast<uint32_t>(std::min(keys.size(), durations.size())); }

float CKPartAnimation::Duration(uint32_t k) const { return CleanDuration(durations[k]); }

void CKPartAnimation::SetKeys(const std::vector<D3DXMATRIX>& newKeys, const std::vector<float>& newDurations) {
    keys = newKeys;
    durations.clear();
    durations.reserve(newDurations.size());
    for (float d : newDurations) durations.push_back(CleanDuration(d));
}

void CKPartAnimation::CopyFrom(const CKPtr<CKPartAnimation>& source) {
    if (!source || source.Get() == this) return;
    keys = source->keys;
    durations = source->durations;
    loop = source->loop;
}

void CKPartAnimation::SetTime(float t) {
    time = std::isfinite(t) ? t : 0.0f;
    key = 0;
    Walk(false);
}

void CKPartAnimation::Update() {
    if (Count() == 0) return;
    if (g_FrameTime > 0.0f && std::isfinite(g_FrameTime)) time += g_FrameTime;
    Walk(true);
    ApplyPose();
}

void CKPartAnimation::End() {
    if (target) target->OnAnimationEnd();
    Stop();
}

bool CKPartAnimation::Walk(bool fromUpdate) {
    const uint32_t n = Count();
    if (n < 3) {
        // Too short to reach an end key: one pose, which a one-shot track
        // shows once and ends, so that whoever waits for its end goes on.
        key = 0;
        if (fromUpdate && n > 0 && !loop) {
            End();
            return false;
        }
        return true;
    }
    const uint32_t end = n - 2;
    key = std::min(key, end);
    float cycle = 0.0f;
    if (loop) {
        for (uint32_t k = 0; k < end; ++k) cycle += Duration(k);
        // A cycle that takes no time would wrap for ever: the pose holds.
        if (!(cycle > 0.0f)) return true;
    }
    while (time > Duration(key)) {
        // Only a finished one-shot track started again is already at the end key.
        if (key < end) {
            time -= Duration(key);
            if (++key < end) continue;
        }
        if (!loop) {
            End();
            return false;
        }
        key = 0;
        double wraps = 1.0;
        // Whole cycles at once: a long frame over a short cycle would walk
        // each one, and a cycle below the clock's precision would take
        // nothing off at all.
        if (time > cycle) {
            const double cycles = std::ceil(static_cast<double>(time) / cycle) - 1.0;
            time = std::clamp(static_cast<float>(static_cast<double>(time) - cycles * cycle), 0.0f, cycle);
            wraps += cycles;
        }
        if (!fromUpdate) continue;
        const uint32_t reports = wraps >= kMaxWrapReports ? kMaxWrapReports : static_cast<uint32_t>(wraps);
        for (uint32_t i = 0; i < reports && target; ++i) target->OnAnimationEnd();
    }
    return true;
}

void CKPartAnimation::ApplyPose() {
    const uint32_t n = Count();
    if (!target || n == 0) return;
    D3DXMATRIX pose = keys[0];
    if (n >= 3) {
        const uint32_t k = std::min(key, n - 2);
        const float d = Duration(k);
        // A segment that takes no time is already at its far key.
        const float f = d > 0.0f ? time / d : 1.0f;
        const float* a = keys[k];
        const float* b = keys[k + 1];
        float* out = pose;
        for (int i = 0; i < 16; ++i) out[i] = a[i] + (b[i] - a[i]) * f;
    }
    target->SetLocalMatrix(pose);
}
