// The headless graphics backend: draws nothing and records everything. Each
// presented frame keeps the device calls made during it and, for every draw,
// the complete state in force with the vertices and indices drawn.
#pragma once

#include "platform/backend/graphics.h"

#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform {

// What the headless backend holds of a texture: each level's texels as it
// was sent them, or its blocks for a compressed texture it took as it is.
struct TextureContents {
    std::vector<std::vector<uint32_t>> texels;
    std::vector<std::vector<uint8_t>> blocks;
};

struct RecordedDraw {
    gfx::PipelineState state;  // texture pointers cleared: see textures
    std::array<const IDirect3DTexture9*, gfx::kStageCount> textures{};
    // What the backend held of each bound texture when the draw was made.
    std::array<std::shared_ptr<const TextureContents>, gfx::kStageCount> contents{};
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitiveCount = 0;
    UINT stride = 0;
    // The vertices the draw may reach (for indexed draws its vertex range),
    // and its indices rebased onto them: vertex i of the draw is
    // vertices[i * stride].
    std::vector<uint8_t> vertices;
    std::vector<uint16_t> indices;
    const void* effect = nullptr;
    UINT pass = 0;

    // Vertex i (into vertices) read as the engine's 48-byte layout.
    struct Vertex {
        float x, y, z, nx, ny, nz;
        DWORD diffuse, specular;
        float u0, v0, u1, v1;
    };
    Vertex VertexAt(size_t i) const;
    size_t VertexCount() const { return stride ? vertices.size() / stride : 0; }
};

struct RecordedFrame {
    std::vector<std::string> calls;
    std::vector<RecordedDraw> draws;
    std::vector<std::string> violations;
    std::vector<D3DCOLOR> clears;  // the colour of every Clear of the target
    D3DGAMMARAMP ramp{};           // the ramp it was presented with
};

class HeadlessGraphics : public gfx::IGraphics {
public:
    HeadlessGraphics();
    ~HeadlessGraphics() override;

    bool SetUp(HWND window, const D3DPRESENT_PARAMETERS& params) override;
    std::unique_ptr<gfx::BackendResource> CreateBuffer(UINT bytes, bool index) override;
    void UpdateBuffer(gfx::BackendResource*, UINT, const void*, UINT) override {}
    std::unique_ptr<gfx::BackendResource> CreateTexture(UINT width, UINT height, UINT levels) override;
    void UpdateTexture(gfx::BackendResource* texture, UINT level, UINT width, UINT height,
                       const uint32_t* texels) override;
    bool TakesCompressed(D3DFORMAT format) const override;
    std::unique_ptr<gfx::BackendResource> CreateCompressedTexture(UINT width, UINT height, UINT levels,
                                                                  D3DFORMAT format) override;
    void UpdateCompressedTexture(gfx::BackendResource* texture, UINT level, UINT width, UINT height, const void* blocks,
                                 UINT bytes) override;
    void Clear(DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
    void Draw(const gfx::PipelineState& state, const gfx::DrawCall& draw) override;
    void Present(const D3DGAMMARAMP& ramp) override;
    bool ReadFrame(std::vector<uint8_t>*, UINT*, UINT*) override { return false; }
    bool RecordsCalls() const override { return recordCalls; }
    void RecordCall(const std::string& call) override { current.calls.push_back(call); }
    void Violation(const std::string& what) override;
    bool ChecksEveryIndex() const override { return checksEveryIndex; }

    // The frame being recorded (since the last Present) and the presented
    // ones, oldest first; only the last keepFrames are kept.
    RecordedFrame current;
    std::deque<RecordedFrame> frames;
    size_t keepFrames = 120;
    bool recordCalls = true;
    // Off: draws are not kept and frames are only counted (for benchmarks).
    bool recordDraws = true;
    // Off: draws are checked as the release runtime checks them.
    bool checksEveryIndex = true;
    // On: compressed textures made from now on are kept as their blocks, as
    // a GL device with S3TC keeps them; off, the device sends texels.
    bool takesCompressed = false;
    // Every violation since the device was made.
    std::vector<std::string> violations;
    D3DPRESENT_PARAMETERS params{};
    int setUps = 0;
    size_t presents = 0;
};

// The recorder of the device made last on the headless backend, or null.
HeadlessGraphics* HeadlessRecorder();

// The headless adapter: tests choose what it offers.
class HeadlessAdapter : public gfx::IGraphicsBackend {
public:
    std::unique_ptr<gfx::IGraphics> CreateDevice() override { return std::make_unique<HeadlessGraphics>(); }
    std::vector<D3DDISPLAYMODE> DisplayModes(D3DFORMAT format) override;
    bool SupportsDisplayFormat(D3DFORMAT format) override;
    void InitialGammaRamp(D3DGAMMARAMP* ramp) override;
    bool DeviceForcedLost() override;

    // The device counts as lost from now through the next `frames`
    // main-loop passes, whatever the window does.
    void LoseDevice(uint32_t frames);

    // Every mode of every format the adapter lists (the default monitor's
    // when unset); display formats CheckDeviceType refuses; the ramp a device
    // starts with.
    std::optional<std::vector<D3DDISPLAYMODE>> displayModes;
    std::set<D3DFORMAT> refusedFormats;
    std::optional<D3DGAMMARAMP> initialRamp;
    uint32_t lostUntilFrame = 0;
};

std::unique_ptr<gfx::IGraphicsBackend> CreateHeadlessGraphicsBackend();
// The running headless adapter, or null.
HeadlessAdapter* HeadlessGraphicsArea();

}  // namespace platform
