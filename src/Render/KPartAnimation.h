// Keyframe animation of one render object: a kernel task that walks a list of
// key matrices by their durations and blends the two keys around its clock
// into the object's local matrix, element by element.
#pragma once

#include "core/KKernel.h"
#include "platform/d3dx9/d3dx9math.h"

#include <cstdint>
#include <string>
#include <vector>

class CKRenderObject;

class CKPartAnimation : public IKTask {
public:
    // A frame that spans more whole cycles of a looping track than this
    // reports only this many wraps: only a near-zero cycle gets there, and
    // each report is a command queued on the object's script.
    static constexpr uint32_t kMaxWrapReports = 1000;

    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKPartAnimation"; }
    void Update() override;
    int32_t GetType() override { return 1; }

    // Durations that are negative or not a number become 0.
    void SetKeys(const std::vector<D3DXMATRIX>& newKeys, const std::vector<float>& newDurations);
    // Keys, durations and the loop flag; target, time and key stay.
    void CopyFrom(const CKPtr<CKPartAnimation>& source);
    // Positions the clock; the pose follows at the next Update. A wrap here is
    // not reported, the end of a one-shot track is.
    void SetTime(float t);

    // A track of n keys ends (or wraps) on reaching key n - 2: the last
    // segment only gives a finished one-shot track its final pose, and
    // durations[n - 1] is never read.
    std::vector<D3DXMATRIX> keys;
    std::vector<float> durations;      // durations[k]: seconds from keys[k] to keys[k + 1]
    CKRenderObject* target = nullptr;  // not counted: the object holds its animations
    float time = 0.0f;                 // seconds into the current segment
    uint32_t key = 0;
    uint8_t loop = 0;

private:
    // Keys with a duration each: the shorter of the two lists.
    uint32_t Count() const;
    float Duration(uint32_t k) const;
    // Moves the clock over the segments it has passed, wrapping or ending at
    // the end key; fromUpdate reports the wraps. False when a one-shot track
    // ended (and stopped).
    bool Walk(bool fromUpdate);
    void End();
    void ApplyPose();
};
