#include "game/KStars.h"

#include "Render/KMaterial.h"
#include "core/KLog.h"
#include "platform/crt/msvc_rand.h"

#include <algorithm>

namespace {

constexpr int kStarLayer = 9;
constexpr int32_t kAtlasFrames = 16;
constexpr float kHalfSize = 0.1f;

// 0 to 1, a fresh draw of the runtime's rand each time.
float R() { return static_cast<float>(platform::Rand()) / static_cast<float>(platform::kRandMax); }

SKVertex Corner(float x, float y, float u, float v) {
    SKVertex vertex{};
    vertex.x = x;
    vertex.y = y;
    vertex.u0 = u;
    vertex.v0 = v;
    // Colours fixed at opaque white: the effect decides what it reads.
    vertex.diffuse = 0xFFFFFFFFu;
    return vertex;
}

}  // namespace

CKStars::CKStars() : CKRenderObject("Stars") {}

int32_t CKStars::NewFrame() const {
    int32_t frame = static_cast<int32_t>(R() * static_cast<float>(frameCount - 4));
    if (R() < 0.1f) frame += static_cast<int32_t>(R() * 4.0f);
    // Both products at their maximum would name a 17th image.
    return std::clamp(frame, 0, frameCount - 1);
}

void CKStars::Init(float xMinIn, float xMaxIn, float yMinIn, float yMaxIn, int32_t count) {
    xMin = xMinIn, xMax = xMaxIn, yMin = yMinIn, yMax = yMaxIn;
    if (CKMaterialManager* materials = GetMaterialManager())
        SetMaterial(materials->GetMaterial(kStarLayer, "stars.fx", {"star_small_.tga"}));
    frameCount = kAtlasFrames;
    halfSize = kHalfSize;
    starCount = std::clamp(count, 0, kMaxStars);
    if (count > kMaxStars) CKLog::Print(1, "Star field: %d stars cut to %d\n", count, kMaxStars);
    stars.assign(static_cast<size_t>(starCount), SKStar{});
    starFrames.assign(static_cast<size_t>(starCount), 0);
    frameRects.resize(kAtlasFrames);
    for (int32_t k = 0; k < kAtlasFrames; ++k) {
        const float column = static_cast<float>(k % 4), row = static_cast<float>(k / 4);
        frameRects[static_cast<size_t>(k)] = {column * 0.25f, row * 0.25f, (column + 1) * 0.25f, (row + 1) * 0.25f};
    }
    for (int32_t i = 0; i < starCount; ++i) {
        SKStar& star = stars[static_cast<size_t>(i)];
        star.y = R() * (yMax - yMin) + yMin;
        star.x = R() * (xMax - xMin) + xMin;
        star.speed = R() * 0.4f + 0.1f;
        starFrames[static_cast<size_t>(i)] = NewFrame();
    }
}

void CKStars::Update(float shift, float levelPositionIn) {
    levelPosition = levelPositionIn;
    for (int32_t i = 0; i < starCount; ++i) {
        SKStar& star = stars[static_cast<size_t>(i)];
        star.y -= shift * star.speed;
        if (star.y > yMax) {
            star.y = yMin - R();
            star.x = R() * (xMax - xMin) + xMin;
            star.speed = R() * 0.4f + 0.1f;
            starFrames[static_cast<size_t>(i)] = NewFrame();
        }
    }
}

void CKStars::FillBuffers(SKVertex* vertexOut, uint16_t* indexOut, uint16_t baseVertex) {
    const float h = halfSize, p = levelPosition;
    uint16_t b = baseVertex;
    for (int32_t i = 0; i < starCount; ++i) {
        const SKStar& star = stars[static_cast<size_t>(i)];
        const SKFrameRect& r = frameRects[static_cast<size_t>(starFrames[static_cast<size_t>(i)])];
        *vertexOut++ = Corner(star.x - h, star.y - h + p, r.uMin, r.vMin);
        *vertexOut++ = Corner(star.x + h, star.y - h + p, r.uMax, r.vMin);
        *vertexOut++ = Corner(star.x + h, star.y + h + p, r.uMax, r.vMax);
        *vertexOut++ = Corner(star.x - h, star.y + h + p, r.uMin, r.vMax);
        for (uint16_t k : {0, 1, 2, 0, 2, 3}) *indexOut++ = static_cast<uint16_t>(b + k);
        b = static_cast<uint16_t>(b + 4);
    }
}
