// The graphics area of a backend, for the Direct3D 9 stand-in: the adapter
// (display modes and formats, the starting ramp) and the devices it makes,
// which keep GPU copies of buffers and textures, clear, draw with a complete
// snapshot of the device state, and show the frame. Everything D3D9 defines
// (state values, lost device, validation, lock semantics) lives in the shared
// device; a backend only turns the snapshot into pixels (or records it).
#pragma once

#include "platform/d3d9/d3d9.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::gfx {

// Highest state numbers of each kind, plus one.
inline constexpr size_t kRenderStateCount = 256;
inline constexpr size_t kStageStateCount = 33;
inline constexpr size_t kSamplerStateCount = 14;
inline constexpr size_t kStageCount = kD3DMaxTextureStages;  // 8
inline constexpr size_t kSamplerCount = kD3DMaxSamplers;     // 16
// Lights enabled at once that reach a draw; further enabled lights are ignored.
inline constexpr size_t kMaxActiveLights = 32;

// A backend's own object behind a buffer or texture.
class BackendResource {
public:
    virtual ~BackendResource() = default;
};

// What a draw needs to know of a texture bound to a stage.
struct TextureSource {
    IDirect3DTexture9* object = nullptr;  // identity (for recording)
    BackendResource* handle = nullptr;
    UINT width = 0, height = 0, levels = 0;
    // Texels of every level, 0xAARRGGBB, rows top first (level 0 first);
    // empty levels for a compressed texture the backend keeps as blocks.
    const std::vector<std::vector<uint32_t>>* texels = nullptr;
};

// The device state a draw is made with.
struct PipelineState {
    D3DMATRIX world{}, view{}, projection{};
    std::array<DWORD, kRenderStateCount> renderStates{};
    std::array<std::array<DWORD, kStageStateCount>, kStageCount> stageStates{};
    std::array<std::array<DWORD, kSamplerStateCount>, kSamplerCount> samplerStates{};
    std::array<const TextureSource*, kStageCount> textures{};  // null: no texture
    // The enabled lights in ascending index order.
    std::array<D3DLIGHT9, kMaxActiveLights> lights{};
    std::array<DWORD, kMaxActiveLights> lightIndices{};
    size_t lightCount = 0;
    D3DMATERIAL9 material{};
    DWORD fvf = 0;
    // The effect pass that set these states, for recording (null: none).
    const void* effect = nullptr;
    UINT pass = 0;

    DWORD Render(D3DRENDERSTATETYPE s) const { return renderStates[s]; }
    DWORD Stage(DWORD stage, D3DTEXTURESTAGESTATETYPE s) const { return stageStates[stage][s]; }
    DWORD Sampler(DWORD sampler, D3DSAMPLERSTATETYPE s) const { return samplerStates[sampler][s]; }
};

// One draw. Vertices are in the layout the FVF gives (stride bytes each);
// the engine's FVF 0x2D2 is position, normal, diffuse, specular, two uv pairs.
struct DrawCall {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitiveCount = 0;
    UINT stride = 0;
    // Vertex 0 (the base vertex) in CPU memory, and where the same bytes are
    // in the backend's buffer (null buffer: a user-pointer draw, upload them).
    const uint8_t* vertexData = nullptr;
    const BackendResource* vertexBuffer = nullptr;
    UINT vertexOffset = 0;
    // Vertices the draw may read, counted from vertex 0.
    UINT vertexCount = 0;
    // Indexed draws: 16-bit indices relative to vertex 0, the first of them in
    // CPU memory and at indexOffset bytes in the backend's buffer.
    const uint16_t* indexData = nullptr;
    const BackendResource* indexBuffer = nullptr;
    UINT indexOffset = 0;
    UINT indexCount = 0;
    UINT minIndex = 0;  // the range the indices stay within
    UINT numVertices = 0;
};

// Vertices (or indices) a draw of that many primitives reads; 0 for none.
inline UINT VerticesFor(D3DPRIMITIVETYPE type, UINT primitives) {
    switch (type) {
    case D3DPT_POINTLIST: return primitives;
    case D3DPT_LINELIST: return primitives * 2;
    case D3DPT_LINESTRIP: return primitives ? primitives + 1 : 0;
    case D3DPT_TRIANGLELIST: return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitives ? primitives + 2 : 0;
    default: return 0;
    }
}

class IGraphics {
public:
    virtual ~IGraphics() = default;

    // Makes (or remakes, on Reset) a frame of the back-buffer size for the
    // window. False: no device can be made.
    virtual bool SetUp(HWND window, const D3DPRESENT_PARAMETERS& params) = 0;

    virtual std::unique_ptr<BackendResource> CreateBuffer(UINT bytes, bool index) = 0;
    virtual void UpdateBuffer(BackendResource* buffer, UINT offset, const void* data, UINT bytes) = 0;
    virtual std::unique_ptr<BackendResource> CreateTexture(UINT width, UINT height, UINT levels) = 0;
    // One mip level's texels, 0xAARRGGBB, rows top first.
    virtual void UpdateTexture(BackendResource* texture, UINT level, UINT width, UINT height,
                               const uint32_t* texels) = 0;
    // Compressed textures (D3DFMT_DXT1 to DXT5): whether this device takes
    // their blocks as they are. For one that does not, the device makes a
    // texture of texels and sends each level decoded.
    virtual bool TakesCompressed(D3DFORMAT format) const {
        (void)format;
        return false;
    }
    virtual std::unique_ptr<BackendResource> CreateCompressedTexture(UINT width, UINT height, UINT levels,
                                                                     D3DFORMAT format) {
        (void)width, (void)height, (void)levels, (void)format;
        return nullptr;
    }
    // One mip level's blocks, rows of 4x4 blocks top first, bytes in all.
    virtual void UpdateCompressedTexture(BackendResource* texture, UINT level, UINT width, UINT height,
                                         const void* blocks, UINT bytes) {
        (void)texture, (void)level, (void)width, (void)height, (void)blocks, (void)bytes;
    }

    // The whole back buffer; depth is cleared whatever the depth-write state.
    virtual void Clear(DWORD flags, D3DCOLOR color, float z, DWORD stencil) = 0;
    virtual void Draw(const PipelineState& state, const DrawCall& draw) = 0;
    // Shows the frame in the window with the gamma ramp applied.
    virtual void Present(const D3DGAMMARAMP& ramp) = 0;
    // The last presented frame at back-buffer size, before the ramp: RGBA
    // bytes, rows top first. False when this backend has no pixels.
    virtual bool ReadFrame(std::vector<uint8_t>* rgba, UINT* width, UINT* height) = 0;

    // Recording: when true, the device describes every call it takes.
    virtual bool RecordsCalls() const { return false; }
    virtual void RecordCall(const std::string& call) { (void)call; }
    // A call the debug runtime would reject; it returns D3DERR_INVALIDCALL.
    virtual void Violation(const std::string& what) = 0;
    // Whether every index a draw reads is checked against the draw's vertex
    // range, as the debug runtime does. Without it a draw is still refused
    // when an index would reach past the vertex buffer.
    virtual bool ChecksEveryIndex() const { return false; }
    // Calls made to the native graphics API since the device was made (0
    // for a backend that makes none), for benchmarks and the timedemo.
    virtual uint64_t NativeCalls() const { return 0; }
};

// The adapter a backend offers.
class IGraphicsBackend {
public:
    virtual ~IGraphicsBackend() = default;

    // A device's drawing half (null: no device can be made).
    virtual std::unique_ptr<IGraphics> CreateDevice() = 0;
    // The adapter's display modes of one format, and whether a format can be
    // a display format at all. The default is a monitor that offers 640x480,
    // 800x600 and 1024x768 at 60 and 75 Hz in R5G6B5 and X8R8G8B8.
    virtual std::vector<D3DDISPLAYMODE> DisplayModes(D3DFORMAT format);
    virtual bool SupportsDisplayFormat(D3DFORMAT format);
    // The ramp a new device starts with (default: the identity).
    virtual void InitialGammaRamp(D3DGAMMARAMP* ramp);
    // True while the device must count as lost whatever the window does.
    virtual bool DeviceForcedLost() { return false; }
};

}  // namespace platform::gfx
