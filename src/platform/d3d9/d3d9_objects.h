// The Direct3D 9 objects every backend shares, as their files see each
// other: the adapter, the device with its complete state, and managed buffers
// and textures kept as CPU copies (so a lock hands out memory and an unlock
// uploads). Private to platform/d3d9; D3DX sees only d3d9_impl.h.
#pragma once

#include "platform/backend/backend.h"
#include "platform/backend/faults.h"
#include "platform/d3d9/d3d9_impl.h"
#include "platform/image/image_decode.h"
#include "platform/win32/com_counted.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform::d3d {

inline bool Fails(const char* call) { return platform::ShouldFail(call); }

inline gfx::IGraphicsBackend* Adapter() { return GraphicsBackend(); }

class Device;

// A managed-pool buffer: the CPU copy is the truth; the backend's copy is
// brought up to date when the last lock is released.
template <class Interface>
class Buffer : public Counted<Interface> {
public:
    Buffer(Device* device, UINT length, DWORD usage, D3DPOOL pool, std::unique_ptr<gfx::BackendResource> gpu);
    ~Buffer() override;

    D3DRESOURCETYPE GetType() override;
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;

    std::vector<uint8_t> bytes;
    std::unique_ptr<gfx::BackendResource> gpu;
    DWORD usage;
    D3DPOOL pool;
    int locks = 0;
    UINT dirtyBegin = 0, dirtyEnd = 0;
    Device* device;
    // Index buffers only: the largest index of each page, worked out again
    // when a draw reads a page locked since, so a draw need not read every
    // index to know none reaches past the vertex buffer.
    static constexpr UINT kPageBytes = 4096;
    std::vector<uint16_t> pageMax;
    std::vector<uint8_t> pageStale;
};

// Both kinds are instantiated once, in d3d9_buffer.cpp.
extern template class Buffer<IDirect3DVertexBuffer9>;
extern template class Buffer<IDirect3DIndexBuffer9>;

class VertexBuffer final : public Buffer<IDirect3DVertexBuffer9> {
public:
    VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvfIn, D3DPOOL pool,
                 std::unique_ptr<gfx::BackendResource> gpuIn)
        : Buffer(device, length, usage, pool, std::move(gpuIn)), fvf(fvfIn) {}
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;
    DWORD fvf;
};

class IndexBuffer final : public Buffer<IDirect3DIndexBuffer9> {
public:
    IndexBuffer(Device* device, UINT length, DWORD usage, D3DPOOL pool, std::unique_ptr<gfx::BackendResource> gpuIn)
        : Buffer(device, length, usage, pool, std::move(gpuIn)) {
        const size_t pages = (length + kPageBytes - 1) / kPageBytes;
        pageMax.assign(pages, 0);
        pageStale.assign(pages, 1);
    }
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) override;
    // The largest of the indices first .. first + count - 1, or larger: it
    // may count indices of the same pages outside the range.
    uint16_t MaxIndexAtMost(UINT first, UINT count);
};

// The block format of a compressed texture format; false for the others.
bool BlockFormatOf(D3DFORMAT format, TexelFormat* blocks);

class Texture final : public Counted<IDirect3DTexture9> {
public:
    // gpuBlocks: the backend's texture takes a compressed format's blocks.
    Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
            std::unique_ptr<gfx::BackendResource> gpu, bool gpuBlocks);
    ~Texture() override;

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(m_levels.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    UINT LevelWidth(UINT level) const { return std::max(1u, m_source.width >> level); }
    UINT LevelHeight(UINT level) const { return std::max(1u, m_source.height >> level); }

    gfx::TextureSource m_source;
    // Texels of every level; a compressed texture's decoded at each unlock,
    // or left empty when the backend takes its blocks.
    std::vector<std::vector<uint32_t>> m_levels;
    // A compressed texture's blocks of every level, what a lock hands out.
    std::vector<std::vector<uint8_t>> m_blocks;
    std::vector<bool> m_locked;
    std::unique_ptr<gfx::BackendResource> m_gpu;
    DWORD m_usage;
    D3DFORMAT m_format;
    D3DPOOL m_pool;
    Device* m_device;
    bool m_compressed = false;
    TexelFormat m_blockFormat = TexelFormat::kDxt1;
    bool m_gpuBlocks = false;
};

class Direct3D final : public Counted<IDirect3D9> {
public:
    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override;
    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override;
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat,
                            BOOL windowed) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviour,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out) override;

    // Fills in what D3D9 derives (sizes of a windowed device, the desktop
    // format) and refuses what it refuses: a full-screen size the adapter has
    // no mode for.
    HRESULT Complete(D3DPRESENT_PARAMETERS* pp, HWND window);
};

enum class Cooperation { Ok, Lost, NotReset };

class Device final : public Counted<IDirect3DDevice9> {
public:
    Device(Direct3D* d3d, HWND window, const D3DPRESENT_PARAMETERS& params, std::unique_ptr<gfx::IGraphics> gfx);
    ~Device() override;

    HRESULT TestCooperativeLevel() override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
    HRESULT Present(const RECT*, const RECT*, HWND, const void*) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;

    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT GetMaterial(D3DMATERIAL9* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT9* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;

    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* data, UINT offset, UINT stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* data) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                 UINT startIndex, UINT primCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primCount, const void* data, UINT stride) override;

    void SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) override;
    void GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) override;

    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                               HANDLE* shared) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** out,
                              HANDLE* shared) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** out, HANDLE* shared) override;

    gfx::IGraphics* Graphics() { return m_gfx.get(); }
    void Track(const void* client) { m_clients[client] = false; }
    void SetClientLost(const void* client, bool lost) {
        auto it = m_clients.find(client);
        if (it != m_clients.end()) it->second = lost;
    }
    void Untrack(const void* client) { m_clients.erase(client); }
    void SetPass(const void* effect, UINT pass) {
        m_state.effect = effect;
        m_state.pass = pass;
    }
    // Bindings hold no reference (as in D3D9, where the application's count
    // decides): a resource that goes away is unbound instead.
    void Forget(const void* resource) {
        if (resource == m_stream) m_stream = nullptr;
        if (resource == m_indices) m_indices = nullptr;
        for (size_t i = 0; i < gfx::kStageCount; ++i)
            if (m_textures[i] == resource) {
                m_textures[i] = nullptr;
                m_state.textures[i] = nullptr;
            }
    }

    bool ReadFrame(std::vector<uint8_t>* rgba, UINT* w, UINT* h);
    // Back to never set, as a light is after a Reset.
    void ForgetLight(DWORD index);
    bool Recording() const { return m_gfx->RecordsCalls(); }
    uint64_t NativeCalls() const { return m_gfx->NativeCalls(); }
    void Record(const std::string& call) { m_gfx->RecordCall(call); }

private:
    HRESULT Invalid(const std::string& what) {
        m_gfx->Violation(what);
        return D3DERR_INVALIDCALL;
    }
    bool WindowSaysLost() const;
    void UpdateCooperation();
    void ResetState();
    void UnbindAll();
    void PrepareLights();
    D3DMATRIX* Transform(D3DTRANSFORMSTATETYPE state);  // null for one D3D9 does not have
    void SaveScreenshot(const std::string& path);
    HRESULT CheckDrawState(const char* call, UINT stride);

    Direct3D* m_d3d;
    HWND m_window;
    D3DPRESENT_PARAMETERS m_params;
    std::unique_ptr<gfx::IGraphics> m_gfx;
    gfx::PipelineState m_state;
    std::array<IDirect3DBaseTexture9*, gfx::kStageCount> m_textures{};
    std::array<D3DMATRIX, 255> m_worldMatrices{};  // 1 to 255; 0 is the pipeline's
    std::array<D3DMATRIX, 8> m_textureTransforms{};
    struct LightSlot {
        D3DLIGHT9 light;
        bool enabled;
    };
    std::map<DWORD, LightSlot> m_lights;
    bool m_lightsDirty = true;
    VertexBuffer* m_stream = nullptr;
    UINT m_streamOffset = 0, m_streamStride = 0;
    IndexBuffer* m_indices = nullptr;
    bool m_inScene = false;
    Cooperation m_cooperation = Cooperation::Ok;
    D3DGAMMARAMP m_ramp{};
    std::map<const void*, bool> m_clients;  // told the device is lost?
};

}  // namespace platform::d3d
