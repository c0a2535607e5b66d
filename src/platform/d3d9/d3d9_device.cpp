// The device: its complete state, the emulated lost device and Reset, the
// checks D3D9's debug runtime makes of each call, and draws handed to the
// backend with a snapshot of that state. The backend only draws.
#include "platform/d3d9/d3d9_objects.h"
#include "platform/d3d9/float_bits.h"
#include "platform/image/png_writer.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace platform::d3d {
namespace {

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

bool BufferPool(D3DPOOL pool) {
    return pool == D3DPOOL_MANAGED || pool == D3DPOOL_DEFAULT || pool == D3DPOOL_SYSTEMMEM;
}

}  // namespace

Device::Device(Direct3D* d3d, HWND window, const D3DPRESENT_PARAMETERS& params, std::unique_ptr<gfx::IGraphics> gfx)
    : m_d3d(d3d), m_window(window), m_params(params), m_gfx(std::move(gfx)) {
    m_d3d->AddRef();
    ResetState();
    Adapter()->InitialGammaRamp(&m_ramp);
}

Device::~Device() {
    UnbindAll();
    m_gfx.reset();
    m_d3d->Release();
}

void Device::UnbindAll() {
    m_textures.fill(nullptr);
    m_state.textures.fill(nullptr);
    m_stream = nullptr;
    m_indices = nullptr;
}

void Device::ResetState() {
    UnbindAll();
    SetDefaultState(&m_state, m_params.EnableAutoDepthStencil != FALSE);
    m_worldMatrices.fill(Identity());
    m_textureTransforms.fill(Identity());
    m_lights.clear();
    m_lightsDirty = true;
    m_streamOffset = m_streamStride = 0;
    m_inScene = false;
}

// D3D9 loses a full-screen device when its window is minimised or loses
// the focus; a windowed device only when the platform says so.
bool Device::WindowSaysLost() const {
    if (Adapter() && Adapter()->DeviceForcedLost()) return true;
    if (m_params.Windowed || !IsWindow(m_window)) return false;
    return m_window->minimized || !m_window->focused;
}

void Device::UpdateCooperation() {
    if (WindowSaysLost())
        m_cooperation = Cooperation::Lost;
    else if (m_cooperation == Cooperation::Lost)
        m_cooperation = Cooperation::NotReset;
}

HRESULT Device::TestCooperativeLevel() {
    UpdateCooperation();
    if (Recording()) Record("TestCooperativeLevel");
    switch (m_cooperation) {
    case Cooperation::Ok: return D3D_OK;
    case Cooperation::Lost: return D3DERR_DEVICELOST;
    case Cooperation::NotReset: return D3DERR_DEVICENOTRESET;
    }
    return D3D_OK;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* params) {
    if (Recording()) Record("Reset");
    if (!params) return D3DERR_INVALIDCALL;
    UpdateCooperation();
    if (m_cooperation == Cooperation::Lost) return D3DERR_DEVICELOST;
    for (const auto& [client, told] : m_clients)
        if (!told) {
            m_cooperation = Cooperation::NotReset;
            return Invalid("Reset while a D3DX effect or font has not been told OnLostDevice");
        }
    D3DPRESENT_PARAMETERS pp = *params;
    HRESULT hr = m_d3d->Complete(&pp, m_window);
    if (SUCCEEDED(hr) && (Fails("Reset") || !m_gfx->SetUp(m_window, pp))) hr = D3DERR_INVALIDCALL;
    if (FAILED(hr)) {
        m_cooperation = Cooperation::NotReset;
        return hr;
    }
    *params = pp;
    m_params = pp;
    ResetState();
    m_cooperation = Cooperation::Ok;
    return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const void*) {
    if (Recording()) Record("Present");
    const std::string screenshot = TakeScreenshotRequest();
    UpdateCooperation();
    if (m_cooperation != Cooperation::Ok) return D3DERR_DEVICELOST;
    if (m_inScene) return Invalid("Present between BeginScene and EndScene");
    m_gfx->Present(m_ramp);
    if (!screenshot.empty()) SaveScreenshot(screenshot);
    return D3D_OK;
}

bool Device::ReadFrame(std::vector<uint8_t>* rgba, UINT* w, UINT* h) {
    if (!m_gfx->ReadFrame(rgba, w, h)) return false;
    // What the player sees: the fade's ramp applied.
    for (size_t i = 0; i + 3 < rgba->size(); i += 4) {
        (*rgba)[i] = static_cast<uint8_t>(m_ramp.red[(*rgba)[i]] >> 8);
        (*rgba)[i + 1] = static_cast<uint8_t>(m_ramp.green[(*rgba)[i + 1]] >> 8);
        (*rgba)[i + 2] = static_cast<uint8_t>(m_ramp.blue[(*rgba)[i + 2]] >> 8);
    }
    return true;
}

void Device::SaveScreenshot(const std::string& path) {
    std::vector<uint8_t> rgba;
    UINT w = 0, h = 0;
    if (!ReadFrame(&rgba, &w, &h)) {
        std::fprintf(stderr, "screenshot %s: this backend draws no pixels\n", path.c_str());
        return;
    }
    if (!platform::WritePng(path.c_str(), rgba.data(), w, h))
        std::fprintf(stderr, "screenshot %s: cannot write\n", path.c_str());
}

HRESULT Device::BeginScene() {
    if (Recording()) Record("BeginScene");
    if (m_inScene) return Invalid("BeginScene inside a scene");
    m_inScene = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (Recording()) Record("EndScene");
    if (!m_inScene) return Invalid("EndScene without BeginScene");
    m_inScene = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    if (Recording()) Record("Clear " + std::to_string(flags) + " " + std::to_string(color));
    if ((count != 0) != (rects != nullptr)) return Invalid("Clear with a rectangle count that does not match");
    if (count != 0) return Invalid("Clear of rectangles is not supported");
    if (flags & D3DCLEAR_ZBUFFER && !m_params.EnableAutoDepthStencil) return Invalid("Clear of a missing depth buffer");
    UpdateCooperation();
    if (m_cooperation != Cooperation::Ok) return D3D_OK;
    m_gfx->Clear(flags, color, z, stencil);
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = {0, 0, m_params.BackBufferWidth, m_params.BackBufferHeight, 0.0f, 1.0f};
    return D3D_OK;
}

D3DMATRIX* Device::Transform(D3DTRANSFORMSTATETYPE state) {
    const int s = static_cast<int>(state);
    if (s == D3DTS_VIEW) return &m_state.view;
    if (s == D3DTS_PROJECTION) return &m_state.projection;
    if (s == 256) return &m_state.world;
    // Kept for effects to save and restore; nothing that draws here reads them.
    if (s > 256 && s < 512) return &m_worldMatrices[static_cast<size_t>(s - 257)];
    if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7)
        return &m_textureTransforms[static_cast<size_t>(s - D3DTS_TEXTURE0)];
    return nullptr;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (Recording()) Record("SetTransform " + std::to_string(state));
    D3DMATRIX* kept = Transform(state);
    if (!matrix || !kept) return D3DERR_INVALIDCALL;
    *kept = *matrix;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    D3DMATRIX* kept = Transform(state);
    if (!matrix || !kept) return D3DERR_INVALIDCALL;
    *matrix = *kept;
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (Recording()) Record("SetRenderState " + std::to_string(state) + " " + std::to_string(value));
    if (static_cast<size_t>(state) >= gfx::kRenderStateCount) return D3DERR_INVALIDCALL;
    m_state.renderStates[state] = value;
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (!value || static_cast<size_t>(state) >= gfx::kRenderStateCount) return D3DERR_INVALIDCALL;
    *value = m_state.renderStates[state];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (Recording())
        Record("SetTextureStageState " + std::to_string(stage) + " " + std::to_string(type) + " " +
               std::to_string(value));
    if (stage >= gfx::kStageCount || static_cast<size_t>(type) >= gfx::kStageStateCount) return D3DERR_INVALIDCALL;
    m_state.stageStates[stage][type] = value;
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (!value || stage >= gfx::kStageCount || static_cast<size_t>(type) >= gfx::kStageStateCount)
        return D3DERR_INVALIDCALL;
    *value = m_state.stageStates[stage][type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (Recording())
        Record("SetSamplerState " + std::to_string(sampler) + " " + std::to_string(type) + " " + std::to_string(value));
    if (sampler >= gfx::kSamplerCount || static_cast<size_t>(type) >= gfx::kSamplerStateCount)
        return D3DERR_INVALIDCALL;
    m_state.samplerStates[sampler][type] = value;
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    if (!value || sampler >= gfx::kSamplerCount || static_cast<size_t>(type) >= gfx::kSamplerStateCount)
        return D3DERR_INVALIDCALL;
    *value = m_state.samplerStates[sampler][type];
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    if (Recording()) Record("SetTexture " + std::to_string(stage));
    if (stage >= gfx::kStageCount) return D3DERR_INVALIDCALL;
    auto* tex = dynamic_cast<Texture*>(texture);
    if (texture && (!tex || tex->m_device != this)) return Invalid("SetTexture with a texture of another device");
    m_textures[stage] = texture;
    m_state.textures[stage] = tex ? &tex->m_source : nullptr;
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
    if (!texture || stage >= gfx::kStageCount) return D3DERR_INVALIDCALL;
    *texture = m_textures[stage];
    if (*texture) (*texture)->AddRef();
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
    if (Recording()) Record("SetMaterial");
    if (!material) return D3DERR_INVALIDCALL;
    m_state.material = *material;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material) {
    if (!material) return D3DERR_INVALIDCALL;
    *material = m_state.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
    if (Recording()) Record("SetLight " + std::to_string(index));
    if (!light) return D3DERR_INVALIDCALL;
    if (light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL)
        return Invalid("SetLight of an unknown type");
    if (light->Type != D3DLIGHT_DIRECTIONAL && !(light->Range >= 0.0f && std::isfinite(light->Range)))
        return Invalid("SetLight with a bad range");
    if (light->Type != D3DLIGHT_POINT) {
        const D3DVECTOR& d = light->Direction;
        if (d.x == 0.0f && d.y == 0.0f && d.z == 0.0f) return Invalid("SetLight with a zero direction");
    }
    auto [it, added] = m_lights.try_emplace(index, LightSlot{*light, false});
    if (!added) it->second.light = *light;
    m_lightsDirty = true;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9* light) {
    auto it = m_lights.find(index);
    if (!light || it == m_lights.end()) return D3DERR_INVALIDCALL;
    *light = it->second.light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    if (Recording()) Record("LightEnable " + std::to_string(index) + " " + std::to_string(enable ? 1 : 0));
    auto it = m_lights.find(index);
    if (it == m_lights.end()) {
        // D3D9 fills an index never set with its default light: white, along +z.
        D3DLIGHT9 def{};
        def.Type = D3DLIGHT_DIRECTIONAL;
        def.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        def.Direction = {0.0f, 0.0f, 1.0f};
        it = m_lights.emplace(index, LightSlot{def, false}).first;
    }
    it->second.enabled = enable != FALSE;
    m_lightsDirty = true;
    return D3D_OK;
}

void Device::ForgetLight(DWORD index) {
    if (m_lights.erase(index)) m_lightsDirty = true;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
    auto it = m_lights.find(index);
    if (!enable || it == m_lights.end()) return D3DERR_INVALIDCALL;
    *enable = it->second.enabled ? TRUE : FALSE;
    return D3D_OK;
}

void Device::PrepareLights() {
    if (!m_lightsDirty) return;
    m_lightsDirty = false;
    m_state.lightCount = 0;
    for (const auto& [index, slot] : m_lights) {
        if (!slot.enabled) continue;
        if (m_state.lightCount == gfx::kMaxActiveLights) break;
        m_state.lights[m_state.lightCount] = slot.light;
        m_state.lightIndices[m_state.lightCount] = index;
        ++m_state.lightCount;
    }
}

HRESULT Device::SetFVF(DWORD fvf) {
    if (Recording()) Record("SetFVF " + std::to_string(fvf));
    m_state.fvf = fvf;
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf) {
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = m_state.fvf;
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* data, UINT offset, UINT stride) {
    if (Recording()) Record("SetStreamSource " + std::to_string(stream) + " " + std::to_string(stride));
    if (stream != 0) return Invalid("SetStreamSource of a stream other than 0");
    auto* vb = static_cast<VertexBuffer*>(data);
    if (vb && vb->device != this) return Invalid("SetStreamSource with a buffer of another device");
    m_stream = vb;
    m_streamOffset = offset;
    m_streamStride = stride;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* data) {
    if (Recording()) Record("SetIndices");
    auto* ib = static_cast<IndexBuffer*>(data);
    if (ib && ib->device != this) return Invalid("SetIndices with a buffer of another device");
    m_indices = ib;
    return D3D_OK;
}

HRESULT Device::CheckDrawState(const char* call, UINT stride) {
    if (!m_inScene) return Invalid(std::string(call) + " outside BeginScene/EndScene");
    const UINT fvfStride = FvfStride(m_state.fvf);
    if (fvfStride == 0) return Invalid(std::string(call) + " with an FVF this device cannot draw");
    if (stride != fvfStride) return Invalid(std::string(call) + " with a stride that does not match the FVF");
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT primCount) {
    if (Recording())
        Record("DrawIndexedPrimitive " + std::to_string(type) + " " + std::to_string(baseVertex) + " " +
               std::to_string(minIndex) + " " + std::to_string(numVertices) + " " + std::to_string(startIndex) + " " +
               std::to_string(primCount));
    if (Fails("DrawIndexedPrimitive")) return D3DERR_INVALIDCALL;
    if (HRESULT hr = CheckDrawState("DrawIndexedPrimitive", m_streamStride); FAILED(hr)) return hr;
    if (!m_stream || !m_indices) return Invalid("DrawIndexedPrimitive without a vertex or index buffer");
    if (m_stream->locks || m_indices->locks) return Invalid("DrawIndexedPrimitive from a locked buffer");
    const UINT count = gfx::VerticesFor(type, primCount);
    if (count == 0) return Invalid("DrawIndexedPrimitive of no primitives");
    if (uint64_t{startIndex} + count > m_indices->bytes.size() / 2)
        return Invalid("DrawIndexedPrimitive reads past the index buffer");
    const uint64_t vertexStart = uint64_t{m_streamOffset} + static_cast<int64_t>(baseVertex) * int64_t{m_streamStride};
    if (baseVertex < 0 || vertexStart > m_stream->bytes.size())
        return Invalid("DrawIndexedPrimitive with a base vertex outside the buffer");
    const uint64_t available = (m_stream->bytes.size() - vertexStart) / m_streamStride;
    if (uint64_t{minIndex} + numVertices > available)
        return Invalid("DrawIndexedPrimitive with a vertex range past the vertex buffer");
    const auto* indices = reinterpret_cast<const uint16_t*>(m_indices->bytes.data()) + startIndex;
    if (m_gfx->ChecksEveryIndex()) {
        for (UINT i = 0; i < count; ++i)
            if (indices[i] < minIndex || indices[i] >= uint64_t{minIndex} + numVertices)
                return Invalid("DrawIndexedPrimitive with an index outside its vertex range");
    } else if (m_indices->MaxIndexAtMost(startIndex, count) >= available) {
        // The driver would read past the vertices; only then is every index read.
        for (UINT i = 0; i < count; ++i)
            if (indices[i] >= available) return Invalid("DrawIndexedPrimitive with an index past the vertex buffer");
    }
    UpdateCooperation();
    if (m_cooperation != Cooperation::Ok) return D3D_OK;  // a lost device draws nothing and says nothing
    PrepareLights();
    gfx::DrawCall call;
    call.type = type;
    call.primitiveCount = primCount;
    call.stride = m_streamStride;
    call.vertexData = m_stream->bytes.data() + vertexStart;
    call.vertexBuffer = m_stream->gpu.get();
    call.vertexOffset = static_cast<UINT>(vertexStart);
    call.vertexCount = static_cast<UINT>(available);
    call.indexData = indices;
    call.indexBuffer = m_indices->gpu.get();
    call.indexOffset = startIndex * 2;
    call.indexCount = count;
    call.minIndex = minIndex;
    call.numVertices = numVertices;
    m_gfx->Draw(m_state, call);
    return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primCount, const void* data, UINT stride) {
    if (Recording())
        Record("DrawPrimitiveUP " + std::to_string(type) + " " + std::to_string(primCount) + " " +
               std::to_string(stride));
    if (!data) return D3DERR_INVALIDCALL;
    if (HRESULT hr = CheckDrawState("DrawPrimitiveUP", stride); FAILED(hr)) return hr;
    const UINT count = gfx::VerticesFor(type, primCount);
    if (count == 0) return Invalid("DrawPrimitiveUP of no primitives");
    // D3D9 unbinds stream 0 and the indices after a user-pointer draw.
    m_stream = nullptr;
    m_indices = nullptr;
    m_streamOffset = m_streamStride = 0;
    UpdateCooperation();
    if (m_cooperation != Cooperation::Ok) return D3D_OK;
    PrepareLights();
    gfx::DrawCall call;
    call.type = type;
    call.primitiveCount = primCount;
    call.stride = stride;
    call.vertexData = static_cast<const uint8_t*>(data);
    call.vertexCount = count;
    call.numVertices = count;
    m_gfx->Draw(m_state, call);
    return D3D_OK;
}

void Device::SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) {
    if (Recording()) Record("SetGammaRamp " + std::to_string(flags));
    if (swapChain != 0 || !ramp) return;
    m_ramp = *ramp;
}

void Device::GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) {
    if (swapChain != 0 || !ramp) return;
    *ramp = m_ramp;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                                   HANDLE* shared) {
    if (Recording()) Record("CreateVertexBuffer " + std::to_string(length));
    if (!out || shared) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (length == 0 || (fvf != 0 && length < FvfStride(fvf))) return D3DERR_INVALIDCALL;
    if (!BufferPool(pool)) return D3DERR_INVALIDCALL;
    if (Fails("CreateVertexBuffer")) return D3DERR_OUTOFVIDEOMEMORY;
    *out = new VertexBuffer(this, length, usage, fvf, pool, m_gfx->CreateBuffer(length, false));
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** out,
                                  HANDLE* shared) {
    if (Recording()) Record("CreateIndexBuffer " + std::to_string(length));
    if (!out || shared) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (length < 2 || format != D3DFMT_INDEX16) return D3DERR_INVALIDCALL;
    if (!BufferPool(pool)) return D3DERR_INVALIDCALL;
    if (Fails("CreateIndexBuffer")) return D3DERR_OUTOFVIDEOMEMORY;
    *out = new IndexBuffer(this, length, usage, pool, m_gfx->CreateBuffer(length, true));
    return D3D_OK;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** out, HANDLE* shared) {
    if (Recording()) Record("CreateTexture " + std::to_string(width) + " " + std::to_string(height));
    if (!out || shared) return D3DERR_INVALIDCALL;
    *out = nullptr;
    // The device's largest texture; larger ones are refused as a driver would.
    constexpr UINT kMaxSide = kMaxImageSide;
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return D3DERR_INVALIDCALL;
    TexelFormat blocks;
    const bool compressed = BlockFormatOf(format, &blocks);
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8 && !compressed) return D3DERR_INVALIDCALL;
    UINT chain = 1;
    while ((width >> chain) > 0 || (height >> chain) > 0) ++chain;
    if (levels == 0 || levels > chain) levels = chain;
    if (Fails("CreateTexture")) return D3DERR_OUTOFVIDEOMEMORY;
    // A backend that cannot keep the blocks gets texels instead.
    std::unique_ptr<gfx::BackendResource> gpu;
    if (compressed && m_gfx->TakesCompressed(format))
        gpu = m_gfx->CreateCompressedTexture(width, height, levels, format);
    const bool gpuBlocks = gpu != nullptr;
    if (!gpu) gpu = m_gfx->CreateTexture(width, height, levels);
    *out = new Texture(this, width, height, levels, usage, format, pool, std::move(gpu), gpuBlocks);
    return D3D_OK;
}

void SetDefaultState(gfx::PipelineState* s, bool depthBuffer) {
    *s = gfx::PipelineState{};
    s->world = s->view = s->projection = Identity();
    auto& rs = s->renderStates;
    rs[D3DRS_ZENABLE] = depthBuffer ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_FOGEND] = platform::FloatToStateBits(1.0f);
    rs[D3DRS_FOGDENSITY] = platform::FloatToStateBits(1.0f);
    rs[D3DRS_STENCILFAIL] = rs[D3DRS_STENCILZFAIL] = rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILMASK] = rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFFu;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_POINTSIZE] = platform::FloatToStateBits(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = platform::FloatToStateBits(1.0f);
    rs[D3DRS_POINTSCALE_A] = platform::FloatToStateBits(1.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFFu;
    rs[D3DRS_POINTSIZE_MAX] = platform::FloatToStateBits(64.0f);
    rs[D3DRS_COLORWRITEENABLE] = rs[D3DRS_COLORWRITEENABLE1] = rs[D3DRS_COLORWRITEENABLE2] =
        rs[D3DRS_COLORWRITEENABLE3] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_CCW_STENCILFAIL] = rs[D3DRS_CCW_STENCILZFAIL] = rs[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFFu;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;
    for (DWORD stage = 0; stage < gfx::kStageCount; ++stage) {
        auto& ts = s->stageStates[stage];
        ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = stage;
        ts[D3DTSS_COLORARG0] = ts[D3DTSS_ALPHAARG0] = ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    for (auto& ss : s->samplerStates) {
        ss[D3DSAMP_ADDRESSU] = ss[D3DSAMP_ADDRESSV] = ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_MAGFILTER] = ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        ss[D3DSAMP_MAXANISOTROPY] = 1;
    }
}

UINT FvfStride(DWORD fvf) {
    // The one layout the engine uses; other formats are refused, not guessed at.
    return fvf == (D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2) ? 48u : 0u;
}

void TrackDeviceClient(IDirect3DDevice9* device, const void* client) {
    if (auto* d = dynamic_cast<Device*>(device)) d->Track(client);
}

void SetDeviceClientLost(IDirect3DDevice9* device, const void* client, bool lost) {
    if (auto* d = dynamic_cast<Device*>(device)) d->SetClientLost(client, lost);
}

void UntrackDeviceClient(IDirect3DDevice9* device, const void* client) {
    if (auto* d = dynamic_cast<Device*>(device)) d->Untrack(client);
}

bool ReadPresentedFrame(IDirect3DDevice9* device, std::vector<uint8_t>* rgba, UINT* width, UINT* height) {
    auto* d = dynamic_cast<Device*>(device);
    return d && d->ReadFrame(rgba, width, height);
}

uint64_t NativeCallCount(IDirect3DDevice9* device) {
    auto* d = dynamic_cast<Device*>(device);
    return d ? d->NativeCalls() : 0;
}

void ForgetLight(IDirect3DDevice9* device, DWORD index) {
    if (auto* d = dynamic_cast<Device*>(device)) d->ForgetLight(index);
}

void SetCurrentPass(IDirect3DDevice9* device, const void* effect, UINT pass) {
    if (auto* d = dynamic_cast<Device*>(device)) d->SetPass(effect, pass);
}

}  // namespace platform::d3d
