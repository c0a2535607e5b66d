// The renderer: the last task of every frame. It owns the Direct3D device,
// the frame's lights, the render queue (cameras, effects and materials filed
// for drawing by layer), the dynamic block, the statistics line and the
// gamma ramps of the screen fade.
#pragma once

#include "Render/KOrderedMap.h"
#include "core/KKernel.h"
#include "platform/d3dx9/d3dx9.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class CKBaseCamera;
class CKEffect;
class CKIVBlock;
class CKIVertexBuffer;
class CKMaterial;
class CKObb;
class CKRenderBlock;
class CKTextureBlock;

struct SKVideoMode {
    uint32_t height;
    uint32_t width;
    D3DFORMAT format;
    uint32_t bpp;
    bool operator==(const SKVideoMode&) const = default;
};

// Render-queue entries drop out after this many idle frames.
inline constexpr uint32_t kQueueIdleFrames = 10;

struct SKQueueEntry {
    virtual void OnRemove() {}
    virtual ~SKQueueEntry() = default;
    uint32_t lastUsed = 0xFFFFFFFFu;
    int32_t useCount = 0;
    SKQueueEntry* parent = nullptr;
};

struct SKMaterialEntry : SKQueueEntry {
    void OnRemove() override;
    CKPtr<CKTextureBlock> textureBlock;
    CKPtr<CKMaterial> material;
};

struct SKEffectEntry : SKQueueEntry {
    CKPtr<CKEffect> effect;
    // Filing order, so a frame draws the same way every run.
    CKOrderedMap<CKTextureBlock*, std::unique_ptr<SKMaterialEntry>> materials;
};

struct SKCameraEntry : SKQueueEntry {
    int32_t key = 0;
    CKPtr<CKBaseCamera> camera;
    CKOrderedMap<CKEffect*, std::unique_ptr<SKEffectEntry>> effects;
};

class CKRender : public IKTask {
public:
    static constexpr size_t kMaxLights = 30;

    CKRender();
    ~CKRender() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKRender"; }
    bool Start() override;
    void OnSuspend() override {}
    void Update() override;
    void OnResume() override {}
    void Stop() override;
    int32_t GetType() override { return 3; }

    HRESULT CreateDevice();
    void EnumerateVideoModes();
    void SetDefaultStates();
    void InitGammaRamps();
    void RestoreGamma();
    void ResetDevice();
    void SetFade(float factor);

    void AddCamera(int order, CKPtr<CKBaseCamera> camera);
    void AddLight(const D3DLIGHT9& light);
    const CKPtr<CKRenderBlock>& GetDynamicBlock() const { return m_dynamicBlock; }
    void SubmitBlock(CKPtr<CKRenderBlock> block);
    void RegisterMaterial(CKMaterial* material);
    void DrawIVBlock(CKIVBlock* block);
    void AddDebugBox(CKPtr<CKObb> box);
    void ClearDebugBoxes();

    IDirect3DDevice9* GetDevice() const { return m_device; }

    std::vector<CKPtr<CKRenderBlock>> m_frameList;
    std::array<D3DLIGHT9, kMaxLights> m_lights{};
    uint32_t m_lightCount = 0;
    IDirect3DVertexBuffer9* m_lastVertexBuffer = nullptr;
    IDirect3DIndexBuffer9* m_lastIndexBuffer = nullptr;
    D3DPRESENT_PARAMETERS m_presentParams{};
    IDirect3D9* m_d3d = nullptr;
    IDirect3DDevice9* m_device = nullptr;
    std::vector<SKVideoMode> m_modes;
    D3DFORMAT m_format16 = D3DFMT_UNKNOWN;
    D3DFORMAT m_format32 = D3DFMT_UNKNOWN;
    DWORD m_behaviour = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    std::map<int32_t, std::unique_ptr<SKCameraEntry>> m_queue;
    char m_modeText[100] = {};
    float m_statFrames = 0.0f;
    double m_statTime = 0.0;
    ID3DXFont* m_font = nullptr;
    char m_statText[100] = {};
    int m_statLength = 0;
    RECT m_statRect{20, 0, 1000, 600};
    uint32_t m_indicesDrawn = 0;
    uint32_t m_drawCalls = 0;
    std::vector<CKPtr<CKObb>> m_debugBoxes;
    CKPtr<CKRenderBlock> m_dynamicBlock;
    D3DGAMMARAMP m_currentRamp{};
    D3DGAMMARAMP m_savedRamp{};
    std::vector<D3DGAMMARAMP> m_ramps;
    int32_t m_gammaLevel = 128;

private:
    SKCameraEntry& CameraEntry(int32_t order);
    void DrawDebugBoxes();
    void DrawQueue(uint32_t frame);
    // Every path that skips drawing still empties what was queued for it.
    void SkipFrame();
};

CKRender* GetRender();
