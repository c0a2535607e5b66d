#include "Render/KRender.h"

#include "Render/KBox.h"
#include "Render/KCamera.h"
#include "Render/KDeviceListener.h"
#include "Render/KEffect.h"
#include "Render/KIVertexBuffer.h"
#include "Render/KMaterial.h"
#include "Render/KRenderBlock.h"
#include "Render/KTexture.h"
#include "Render/KVertex.h"
#include "core/KConfigVars.h"
#include "core/KLog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kSource = "Render\\KRender";
CKRender* g_Render = nullptr;

bool IdleTooLong(uint32_t frame, uint32_t lastUsed) { return frame - lastUsed > kQueueIdleFrames; }

}  // namespace

CKRender* GetRender() { return g_Render; }

void SKMaterialEntry::OnRemove() {
    if (material) material->m_filed = 0;
}

CKRender::CKRender() {
    m_priority = 5000;
    g_Render = this;
    m_d3d = Direct3DCreate9(D3D_SDK_VERSION);
}

CKRender::~CKRender() {
    m_ramps.clear();
    m_dynamicBlock = nullptr;
    m_debugBoxes.clear();
    m_queue.clear();
    m_modes.clear();
    m_frameList.clear();
    // Stop normally releases these; a renderer that never ran must not leak them.
    if (m_font) m_font->Release();
    if (m_device) m_device->Release();
    if (m_d3d) m_d3d->Release();
    if (g_Render == this) g_Render = nullptr;
}

bool CKRender::Start() {
    m_indicesDrawn = m_drawCalls = 0;
    CKLog::Print(0, "Инициализация рендеринга");
    const HRESULT hr = CreateDevice();
    if (FAILED(hr)) {
        LogDXError(0, kSource, 66, hr);
        return false;
    }
    LOGFONT lf{};
    lf.lfHeight = 16;
    lf.lfWeight = 700;
    lf.lfQuality = PROOF_QUALITY;
    lf.lfPitchAndFamily = FIXED_PITCH;
    if (FAILED(D3DXCreateFontIndirect(m_device, &lf, &m_font))) m_font = nullptr;
    m_statTime = g_TotalTime;
    m_statFrames = 0.0f;
    std::snprintf(m_modeText, sizeof m_modeText, "%dx%dx%d", screenWidth, screenHeight, screenBPP);
    m_dynamicBlock = new CKRenderBlock();
    m_dynamicBlock->CreateVertexBuffer(false, 0, 0);
    SetDefaultStates();
    InitGammaRamps();
    return true;
}

HRESULT CKRender::CreateDevice() {
    // Without the Direct3D object there is no device to make.
    if (!m_d3d) return D3DERR_NOTAVAILABLE;
    HWND window = g_Kernel ? g_Kernel->m_hWnd : nullptr;
    m_presentParams = D3DPRESENT_PARAMETERS{};
    m_presentParams.EnableAutoDepthStencil = TRUE;
    m_presentParams.AutoDepthStencilFormat = D3DFMT_D16;
    m_presentParams.BackBufferCount = 1;
    if (!fullScreen) {
        m_presentParams.Windowed = TRUE;
        m_presentParams.SwapEffect = D3DSWAPEFFECT_DISCARD;
        m_presentParams.BackBufferFormat = D3DFMT_UNKNOWN;
        m_presentParams.BackBufferWidth = static_cast<UINT>(screenWidth);
        m_presentParams.BackBufferHeight = static_cast<UINT>(screenHeight);
        m_presentParams.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        m_presentParams.hDeviceWindow = window;
        EnumerateVideoModes();
        const HRESULT hr = m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, m_behaviour, &m_presentParams, &m_device);
        if (FAILED(hr)) {
            LogDXError(0, kSource, 350, hr);
            return hr;
        }
        return D3D_OK;
    }
    m_format16 = D3DFMT_UNKNOWN;
    for (D3DFORMAT f : {D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_R5G6B5})
        if (SUCCEEDED(m_d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, f, f, FALSE))) {
            m_format16 = f;
            break;
        }
    m_format32 = m_format16;
    bool found32 = false;
    for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8})
        if (SUCCEEDED(m_d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, f, f, FALSE))) {
            m_format32 = f;
            found32 = true;
            break;
        }
    if (m_format16 == D3DFMT_UNKNOWN && !found32) {
        CKLog::Print(0, "Cannot found backbuffer format\n");
        return E_FAIL;
    }
    EnumerateVideoModes();
    m_presentParams.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    m_presentParams.MultiSampleType = D3DMULTISAMPLE_NONE;
    m_presentParams.Windowed = FALSE;
    m_presentParams.SwapEffect = D3DSWAPEFFECT_DISCARD;
    m_presentParams.BackBufferWidth = static_cast<UINT>(screenWidth);
    m_presentParams.BackBufferHeight = static_cast<UINT>(screenHeight);
    m_presentParams.BackBufferFormat = screenBPP == 16 ? m_format16 : m_format32;
    m_presentParams.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
    m_presentParams.FullScreen_RefreshRateInHz = 0;
    m_presentParams.hDeviceWindow = window;
    const HRESULT hr = m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, m_behaviour, &m_presentParams, &m_device);
    if (FAILED(hr)) {
        LogDXError(0, kSource, 426, hr);
        return hr;
    }
    return D3D_OK;
}

void CKRender::EnumerateVideoModes() {
    if (!fullScreen) {
        m_modes.push_back({static_cast<uint32_t>(screenHeight), static_cast<uint32_t>(screenWidth), m_format16, 16});
        return;
    }
    m_modes.clear();
    static const uint32_t kSizes[3][2] = {{640, 480}, {800, 600}, {1024, 768}};
    const D3DFORMAT formats[2] = {m_format16, m_format32};
    for (int f = 0; f < 2; ++f) {
        const UINT count = m_d3d->GetAdapterModeCount(0, formats[f]);
        for (UINT i = 0; i < count; ++i) {
            D3DDISPLAYMODE mode{};
            if (FAILED(m_d3d->EnumAdapterModes(0, formats[f], i, &mode))) continue;
            for (const auto& size : kSizes) {
                if (mode.Width != size[0] || mode.Height != size[1]) continue;
                const SKVideoMode record{mode.Height, mode.Width, formats[f], f == 0 ? 16u : 32u};
                bool listed = false;
                for (const SKVideoMode& m : m_modes) listed = listed || m == record;
                if (!listed) m_modes.push_back(record);
            }
        }
    }
    CKLog::Print(0, "\nДоступные видеорежимы");
    for (const SKVideoMode& m : m_modes)
        CKLog::Print(0, "%dx%dx%d", static_cast<int>(m.width), static_cast<int>(m.height),
                     m.format == m_format16 ? 16 : 32);
    CKLog::Print(0, "\n");
}

void CKRender::SetDefaultStates() {
    D3DXMATRIX view, projection;
    const D3DXVECTOR3 eye(0.0f, 0.0f, 14.5f), at(0.0f, 0.0f, 0.0f), up(0.0f, -1.0f, 0.0f);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    m_device->SetTransform(D3DTS_VIEW, &view);
    D3DXMatrixPerspectiveFovLH(&projection, 1.0995574f, 4.0f / 3.0f, 0.1f, 1000.0f);
    m_device->SetTransform(D3DTS_PROJECTION, &projection);

    for (DWORD sampler = 0; sampler < 2; ++sampler) {
        m_device->SetSamplerState(sampler, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        m_device->SetSamplerState(sampler, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        m_device->SetSamplerState(sampler, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        m_device->SetSamplerState(sampler, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    }
    m_device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);

    m_device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    m_device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    m_device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);

    m_device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    m_device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
    m_device->SetRenderState(D3DRS_CLIPPING, TRUE);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    m_device->SetRenderState(D3DRS_AMBIENT, 0xFF1E1E1E);
    m_device->SetFVF(kVertexFVF);

    m_device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    m_device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    m_device->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    m_device->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_CURRENT);

    D3DMATERIAL9 material{};
    material.Diffuse = material.Ambient = material.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Emissive = {0.0f, 0.0f, 0.0f, 0.0f};
    material.Power = 20.0f;
    m_device->SetMaterial(&material);
    m_device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    m_device->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    m_device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);

    CKPtr<CKBaseCamera> screen(new CKBaseCamera());
    D3DXMatrixOrthoOffCenterLH(&screen->m_view, 0.0f, static_cast<float>(screenWidth), static_cast<float>(screenHeight),
                               0.0f, 0.0f, 1.0f);
    AddCamera(200, screen);
}

void CKRender::InitGammaRamps() {
    m_device->GetGammaRamp(0, &m_savedRamp);
    m_currentRamp = m_savedRamp;
    m_ramps.assign(256, m_savedRamp);
    std::memset(&m_ramps[0], 0, sizeof(D3DGAMMARAMP));
    for (int k = 1; k < 256; ++k) {
        D3DGAMMARAMP& ramp = m_ramps[static_cast<size_t>(k)];
        for (int i = 0; i < 256; ++i) {
            // i x k / 128 is the curve pow(i / 255, 1) x 255 x k / 128 worked
            // exactly, so ramp 128 is the identity and not one step brighter.
            double v = static_cast<double>(i) * k / 128.0;
            v = std::ceil(std::fmin(std::fmax(v, 0.0), 255.0));
            ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>(static_cast<int>(v) << 8);
        }
    }
    m_device->SetGammaRamp(0, D3DSGR_CALIBRATE, &m_ramps[static_cast<size_t>(m_gammaLevel)]);
}

void CKRender::SetFade(float factor) {
    if (!m_device || m_ramps.size() != 256) return;
    // A fade that is no number keeps the picture as it is.
    if (std::isnan(factor)) return;
    float x = static_cast<float>(m_gammaLevel) * factor;
    if (x > static_cast<float>(m_gammaLevel)) x = static_cast<float>(m_gammaLevel);
    if (x < 0.0f) x = 0.0f;
    const int index = static_cast<int>(x);
    m_currentRamp = m_ramps[static_cast<size_t>(index)];
    m_device->SetGammaRamp(0, D3DSGR_CALIBRATE, &m_currentRamp);
}

void CKRender::RestoreGamma() {
    if (m_device) m_device->SetGammaRamp(0, D3DSGR_NO_CALIBRATION, &m_savedRamp);
    m_ramps.clear();
}

void CKRender::Stop() {
    RestoreGamma();
    if (m_font) {
        m_font->Release();
        m_font = nullptr;
    }
    if (m_device) {
        m_device->Release();
        m_device = nullptr;
    }
    if (m_d3d) {
        m_d3d->Release();
        m_d3d = nullptr;
    }
    IKTask::Stop();
}

SKCameraEntry& CKRender::CameraEntry(int32_t order) {
    std::unique_ptr<SKCameraEntry>& entry = m_queue[order];
    if (!entry) entry = std::make_unique<SKCameraEntry>();
    return *entry;
}

void CKRender::RegisterMaterial(CKMaterial* material) {
    SKCameraEntry& camera = CameraEntry(material->m_layer);
    camera.useCount += 1;
    camera.key = material->m_layer;
    std::unique_ptr<SKEffectEntry>& effect = camera.effects[material->m_effect.Get()];
    if (!effect) effect = std::make_unique<SKEffectEntry>();
    if (++effect->useCount == 1) {
        effect->parent = &camera;
        effect->effect = material->m_effect;
    }
    std::unique_ptr<SKMaterialEntry>& entry = effect->materials[material->m_textureBlock.Get()];
    if (!entry) entry = std::make_unique<SKMaterialEntry>();
    if (++entry->useCount == 1) {
        entry->parent = effect.get();
        entry->textureBlock = material->m_textureBlock;
        entry->material = CKPtr<CKMaterial>(material);
    }
}

void CKRender::AddCamera(int order, CKPtr<CKBaseCamera> camera) {
    SKCameraEntry& entry = CameraEntry(order);
    entry.useCount += 1;
    entry.key = order;
    entry.camera = camera;
}

void CKRender::AddLight(const D3DLIGHT9& light) {
    if (m_lightCount >= kMaxLights) return;
    m_lights[m_lightCount++] = light;
}

void CKRender::SubmitBlock(CKPtr<CKRenderBlock> block) { m_frameList.push_back(block); }

void CKRender::AddDebugBox(CKPtr<CKObb> box) { m_debugBoxes.push_back(box); }

void CKRender::ClearDebugBoxes() { m_debugBoxes.clear(); }

void CKRender::SkipFrame() {
    if (m_dynamicBlock) {
        m_dynamicBlock->Reset();
        // Still rebuilt at the next update, or what is drawn into it in the
        // first frame back would never be uploaded.
        SubmitBlock(m_dynamicBlock);
    }
    m_lightCount = 0;
    if (CKMaterialManager* materials = GetMaterialManager()) materials->ClearQueues();
    ClearDebugBoxes();
}

void CKRender::Update() {
    HRESULT hr = m_device->TestCooperativeLevel();
    // A device that can be reset is reset now: waiting for the next
    // activation would leave the screen black until then. Before the
    // upload, which a reset would throw away.
    if (hr == D3DERR_DEVICENOTRESET) {
        ResetDevice();
        hr = m_device->TestCooperativeLevel();
    }

    for (const CKPtr<CKRenderBlock>& block : m_frameList) block->Rebuild();
    m_frameList.clear();

    if (FAILED(hr)) {
        SkipFrame();
        return;
    }

    m_dynamicBlock->Submit();

    m_statTime += g_FrameTime;
    m_statFrames += 1.0f;
    if (m_statTime > 1.0) {
        // Bounded: a long line is cut, never written past the buffer.
        const int length =
            std::snprintf(m_statText, sizeof m_statText, "FPS: %.2f (%s), polygons = %d, DrawPrimitive = %d",
                          static_cast<double>(m_statFrames) / m_statTime, m_modeText,
                          static_cast<int>(m_indicesDrawn / 3), static_cast<int>(m_drawCalls));
        m_statTime = 0.0;
        m_statFrames = 0.0f;
        m_statLength = length < 0 ? 0 : std::min(length, static_cast<int>(sizeof m_statText) - 1);
    }
    m_indicesDrawn = m_drawCalls = 0;
    m_lastVertexBuffer = nullptr;
    m_lastIndexBuffer = nullptr;

    m_device->BeginScene();
    m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    for (uint32_t i = 0; i < m_lightCount; ++i) {
        m_device->SetLight(i, &m_lights[i]);
        m_device->LightEnable(i, TRUE);
    }
    for (uint32_t i = m_lightCount; i < kMaxLights; ++i) m_device->LightEnable(i, FALSE);

    DrawQueue(g_FrameCount);

    if (statistic && m_font) m_font->DrawTextA(m_statText, m_statLength, &m_statRect, 0, 0xFFFFFFFF);
    m_lightCount = 0;
    m_device->EndScene();
    m_device->Present(nullptr, nullptr, nullptr, nullptr);
    m_dynamicBlock->Reset();
    // Boxes queued in a frame that had no second camera layer are dropped too.
    ClearDebugBoxes();
}

void CKRender::DrawQueue(uint32_t frame) {
    int camerasDrawn = 0;
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        SKCameraEntry& camera = *it->second;
        if (camera.useCount < 1) {
            if (IdleTooLong(frame, camera.lastUsed)) {
                camera.OnRemove();
                it = m_queue.erase(it);
            } else {
                ++it;
            }
            continue;
        }
        if (camera.camera) {
            if (camerasDrawn == 1) DrawDebugBoxes();
            ++camerasDrawn;
            m_device->SetTransform(D3DTS_VIEW, &camera.camera->m_view);
            m_device->SetTransform(D3DTS_PROJECTION, &camera.camera->m_projection);
        }
        camera.lastUsed = frame;

        std::vector<CKEffect*> idleEffects;
        for (auto& [effectKey, effectEntry] : camera.effects) {
            SKEffectEntry& effect = *effectEntry;
            if (effect.useCount < 1) {
                if (IdleTooLong(frame, effect.lastUsed)) idleEffects.push_back(effectKey);
                continue;
            }
            ID3DXEffect* fx = effect.effect ? effect.effect->m_effect : nullptr;
            UINT passes = 0;
            // An effect that cannot begin (or never compiled) draws nothing
            // this frame; its queues must not carry over into the next.
            if (!fx || FAILED(fx->Begin(&passes, 0))) {
                for (auto& [blockKey, entry] : effect.materials) entry->material->ClearQueue();
                continue;
            }
            effect.lastUsed = frame;
            std::vector<CKTextureBlock*> idleMaterials;
            for (auto& [blockKey, entryPtr] : effect.materials) {
                SKMaterialEntry& entry = *entryPtr;
                CKMaterial* material = entry.material.Get();
                if (material->m_queue.empty()) {
                    if (IdleTooLong(frame, entry.lastUsed)) idleMaterials.push_back(blockKey);
                    continue;
                }
                effect.effect->SetTextures(entry.textureBlock.Get());
                entry.lastUsed = frame;
                for (UINT p = 0; p < passes; ++p)
                    if (SUCCEEDED(fx->Pass(p))) material->DrawQueued();
                material->ClearQueue();
            }
            for (CKTextureBlock* key : idleMaterials) {
                std::unique_ptr<SKMaterialEntry>* entry = effect.materials.Find(key);
                (*entry)->OnRemove();
                effect.materials.Erase(key);
                effect.useCount -= 1;
                camera.useCount -= 1;
            }
            fx->End();
        }
        for (CKEffect* key : idleEffects) {
            (*camera.effects.Find(key))->OnRemove();
            camera.effects.Erase(key);
        }
        ++it;
    }
}

void CKRender::DrawIVBlock(CKIVBlock* block) {
    if (!block->m_uploaded || !block->m_buffer) return;
    IDirect3DVertexBuffer9* vb = block->m_buffer->m_vertexBuffer;
    IDirect3DIndexBuffer9* ib = block->m_buffer->m_indexBuffer;
    if (vb != m_lastVertexBuffer || ib != m_lastIndexBuffer) {
        m_lastVertexBuffer = vb;
        m_lastIndexBuffer = ib;
        m_device->SetStreamSource(0, vb, 0, sizeof(SKVertex));
        m_device->SetIndices(ib);
    }
    m_drawCalls += 1;
    m_indicesDrawn += block->m_indexCount;
    const HRESULT hr = m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, block->m_baseVertex, block->m_vertexCount,
                                                      block->m_firstIndex, block->m_indexCount / 3);
    if (FAILED(hr)) LogDXError(0, kSource, 488, hr);
}

void CKRender::DrawDebugBoxes() {
    if (m_debugBoxes.empty()) return;
    m_lastVertexBuffer = nullptr;
    m_lastIndexBuffer = nullptr;
    m_device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    m_device->SetRenderState(D3DRS_ZENABLE, FALSE);
    m_device->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    // The two faces' rims, then the four edges between them.
    static const int kEdges[24] = {0, 1, 1, 2, 2, 3, 3, 0, 4, 5, 5, 6, 6, 7, 7, 4, 0, 4, 1, 5, 2, 6, 3, 7};
    for (const CKPtr<CKObb>& box : m_debugBoxes) {
        SKVertex lines[24]{};
        for (int i = 0; i < 24; ++i) {
            const float* c = box->corners[kEdges[i]];
            lines[i].x = c[0];
            lines[i].y = c[1];
            lines[i].z = c[2];
            lines[i].diffuse = 0xFF00FF00;
        }
        m_device->DrawPrimitiveUP(D3DPT_LINELIST, 12, lines, sizeof(SKVertex));
    }
    ClearDebugBoxes();
    m_device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    m_device->SetRenderState(D3DRS_ZENABLE, TRUE);
    m_device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
}

void CKRender::ResetDevice() {
    NotifyDeviceLost();
    if (!m_device) return;
    if (m_font) m_font->OnLostDevice();
    if (FAILED(m_device->Reset(&m_presentParams))) {
        if (m_dynamicBlock) m_dynamicBlock->Reset();
        m_lightCount = 0;
        return;
    }
    NotifyDeviceReset();
    if (m_font) m_font->OnResetDevice();
    SetDefaultStates();
}
