// Vertex effects change an object's vertices on their way into the vertex
// buffer: a fade, a scrolling texture, a flicker, a texture atlas played as
// an animation. Each keeps its own clock and advances it by the frame time
// whenever it is applied, that is whenever its object is uploaded.
#pragma once

#include "Render/KVertex.h"

#include <cstdint>
#include <string>
#include <vector>

// Owned and deleted by its render object; not counted.
class IKVertexEffect {
public:
    // Advances the effect's state by dt seconds.
    virtual void Update(float dt) = 0;
    virtual ~IKVertexEffect() = default;
    // Advances by g_FrameTime, then copies each vertex whole from src to dst
    // and changes the effect's own fields. dst may be src.
    virtual void Apply(SKVertex* dst, const SKVertex* src, int count) = 0;
    // The same kind with the same parameters and current state.
    virtual IKVertexEffect* Clone() const = 0;
};

// White with a falling alpha: rate alpha units a second from 255 down to 0.
class CKFadeEffect : public IKVertexEffect {
public:
    explicit CKFadeEffect(float rate);
    void Update(float dt) override;
    void Apply(SKVertex* dst, const SKVertex* src, int count) override;
    IKVertexEffect* Clone() const override;

private:
    float m_rate;
    float m_alpha = 255.0f;
};

// Scrolls the first texture pair; speeds in texture units a second. Each
// effect starts at a random phase (one rand draw).
class CKMovingTexEffect : public IKVertexEffect {
public:
    CKMovingTexEffect(float uSpeed, float vSpeed);
    void Update(float dt) override;
    void Apply(SKVertex* dst, const SKVertex* src, int count) override;
    IKVertexEffect* Clone() const override;

private:
    float m_uSpeed;
    float m_vSpeed;
    float m_uOffset;
    float m_vOffset;
};

// A grey that swings on a sine between about minimum and maximum, from a
// random phase (one rand draw). A minimum above the maximum swings between
// the same two levels with the wave turned over; the level is always a byte.
class CKFlickEffect : public IKVertexEffect {
public:
    CKFlickEffect(float frequency, uint8_t minimum, uint8_t maximum);
    void Update(float dt) override;
    void Apply(SKVertex* dst, const SKVertex* src, int count) override;
    IKVertexEffect* Clone() const override;

private:
    float m_frequency;
    uint8_t m_middle;
    [[maybe_unused]] uint8_t m_maximum;  // kept with the parameters; the wave needs only the middle
    uint32_t m_level = 0;
    float m_amplitude;
    float m_t;
};

// Plays a texture atlas of columns x rows cells, row by row, at rate cells a
// second; the first texture pair is mapped into the current cell. Columns
// and rows are at least 1 and hold at most kMaxFrames cells together.
class CKAnimTexEffect : public IKVertexEffect {
public:
    static constexpr int32_t kMaxFrames = 4096;

    CKAnimTexEffect(int32_t columns, int32_t rows, float rate);
    void Update(float dt) override;
    void Apply(SKVertex* dst, const SKVertex* src, int count) override;
    IKVertexEffect* Clone() const override;

private:
    int32_t m_columns;
    int32_t m_rows;
    float m_rate;
    float m_t = 0.0f;
    std::vector<float> m_uOffsets;
    std::vector<float> m_vOffsets;
    float m_invColumns;
    float m_invRows;
    uint32_t m_frame;
    int32_t m_frameCount;
};

// "fade", "movingtex", "flick" or "anim" (any case) from a descriptor's
// parameters; null, with the reason logged, when they do not fit.
IKVertexEffect* CreateVertexEffect(const std::string& name, const std::vector<std::string>& params);
