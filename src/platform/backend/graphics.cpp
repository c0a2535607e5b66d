#include "platform/backend/graphics.h"

namespace platform::gfx {

std::vector<D3DDISPLAYMODE> IGraphicsBackend::DisplayModes(D3DFORMAT format) {
    std::vector<D3DDISPLAYMODE> modes;
    if (format != D3DFMT_R5G6B5 && format != D3DFMT_X8R8G8B8) return modes;
    const UINT sizes[][2] = {{640, 480}, {800, 600}, {1024, 768}};
    for (const auto& size : sizes)
        for (UINT hz : {60u, 75u}) modes.push_back({size[0], size[1], hz, format});
    return modes;
}

bool IGraphicsBackend::SupportsDisplayFormat(D3DFORMAT format) {
    return format == D3DFMT_R5G6B5 || format == D3DFMT_X8R8G8B8;
}

void IGraphicsBackend::InitialGammaRamp(D3DGAMMARAMP* ramp) {
    for (int i = 0; i < 256; ++i) ramp->red[i] = ramp->green[i] = ramp->blue[i] = static_cast<WORD>(i * 257);
}

}  // namespace platform::gfx
