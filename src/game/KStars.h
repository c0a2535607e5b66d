// The star field behind the levels: one render object drawing a few hundred
// small quads, each one of the 16 images of a 4 x 4 atlas, in a band around
// the level's scroll position; a star that drifts out at the top comes back
// at the bottom with a new place, speed and image.
#pragma once

#include "Render/KRenderObject.h"
#include "game/KFrameRect.h"

#include <cstdint>
#include <vector>

struct SKStar {
    float x, y;  // y relative to the scroll position
    float speed;
};

class CKStars : public CKRenderObject {
public:
    // Counts beyond this are held to it, and logged: a script chooses the count.
    static constexpr int32_t kMaxStars = 16384;

    CKStars();
    uint32_t GetSize() override { return sizeof(*this); }
    int GetVertexCount() override { return 4 * starCount; }
    int GetIndexCount() override { return 6 * starCount; }
    void FillBuffers(SKVertex* vertexOut, uint16_t* indexOut, uint16_t baseVertex) override;

    void Init(float xMin, float xMax, float yMin, float yMax, int32_t count);
    void Update(float shift, float levelPosition);

    int32_t starCount = 0;
    std::vector<SKStar> stars;
    std::vector<int32_t> starFrames;
    int32_t frameCount = 0;
    std::vector<SKFrameRect> frameRects;
    float halfSize = 0.0f;
    float levelPosition = 0.0f;
    float xMin = 0.0f, xMax = 0.0f, yMin = 0.0f, yMax = 0.0f;

private:
    int32_t NewFrame() const;
};
