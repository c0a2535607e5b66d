// The adapter: the backend's display modes and formats as D3D9 reports them,
// and device creation with the present parameters D3D9 would accept.
#include "platform/d3d9/d3d9_objects.h"

#include <memory>
#include <utility>
#include <vector>

namespace platform::d3d {
namespace {

D3DFORMAT DisplayFormatOf(D3DFORMAT f) {
    if (f == D3DFMT_A8R8G8B8) return D3DFMT_X8R8G8B8;
    if (f == D3DFMT_A1R5G5B5) return D3DFMT_X1R5G5B5;
    return f;
}

bool BackBufferFits(D3DFORMAT adapterFormat, D3DFORMAT backBuffer) {
    return backBuffer == adapterFormat || DisplayFormatOf(backBuffer) == adapterFormat;
}

}  // namespace

UINT Direct3D::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
    if (adapter != D3DADAPTER_DEFAULT || !Adapter()) return 0;
    return static_cast<UINT>(Adapter()->DisplayModes(format).size());
}

HRESULT Direct3D::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) {
    if (adapter != D3DADAPTER_DEFAULT || !out || !Adapter()) return D3DERR_INVALIDCALL;
    if (Fails("EnumAdapterModes")) return D3DERR_INVALIDCALL;
    const std::vector<D3DDISPLAYMODE> modes = Adapter()->DisplayModes(format);
    if (mode >= modes.size()) return D3DERR_INVALIDCALL;
    *out = modes[mode];
    return D3D_OK;
}

HRESULT Direct3D::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat,
                                  BOOL windowed) {
    if (adapter != D3DADAPTER_DEFAULT || type != D3DDEVTYPE_HAL || !Adapter()) return D3DERR_INVALIDCALL;
    if (!windowed && !Adapter()->SupportsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
    if (!BackBufferFits(adapterFormat, backBufferFormat)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviour,
                               D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out) {
    (void)behaviour;
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (adapter != D3DADAPTER_DEFAULT || type != D3DDEVTYPE_HAL || !params || !Adapter()) return D3DERR_INVALIDCALL;
    HWND window = params->hDeviceWindow ? params->hDeviceWindow : focusWindow;
    if (!window || !IsWindow(window)) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS pp = *params;
    const HRESULT hr = Complete(&pp, window);
    if (FAILED(hr)) return hr;
    if (Fails("CreateDevice")) return D3DERR_NOTAVAILABLE;
    std::unique_ptr<gfx::IGraphics> gfx = Adapter()->CreateDevice();
    if (!gfx || !gfx->SetUp(window, pp)) return D3DERR_NOTAVAILABLE;
    *params = pp;
    *out = new Device(this, window, pp, std::move(gfx));
    return D3D_OK;
}

HRESULT Direct3D::Complete(D3DPRESENT_PARAMETERS* pp, HWND window) {
    if (pp->BackBufferCount > 3) return D3DERR_INVALIDCALL;
    if (pp->Windowed) {
        if (pp->BackBufferWidth == 0) pp->BackBufferWidth = static_cast<UINT>(window->rect.right - window->rect.left);
        if (pp->BackBufferHeight == 0) pp->BackBufferHeight = static_cast<UINT>(window->rect.bottom - window->rect.top);
        if (pp->BackBufferFormat == D3DFMT_UNKNOWN) pp->BackBufferFormat = D3DFMT_X8R8G8B8;
        if (pp->BackBufferWidth == 0 || pp->BackBufferHeight == 0) return D3DERR_INVALIDCALL;
        return D3D_OK;
    }
    const D3DFORMAT display = DisplayFormatOf(pp->BackBufferFormat);
    if (!Adapter()->SupportsDisplayFormat(display)) return D3DERR_INVALIDCALL;
    for (const D3DDISPLAYMODE& m : Adapter()->DisplayModes(display))
        if (m.Width == pp->BackBufferWidth && m.Height == pp->BackBufferHeight) return D3D_OK;
    return D3DERR_INVALIDCALL;
}

}  // namespace platform::d3d

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION || !platform::GraphicsBackend() || platform::ShouldFail("Direct3DCreate9"))
        return nullptr;
    return new platform::d3d::Direct3D();
}
