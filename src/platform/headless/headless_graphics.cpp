#include "platform/headless/headless_graphics.h"

#include "platform/backend/backend.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

HeadlessGraphics* g_recorder = nullptr;

class NullResource final : public gfx::BackendResource {};

// Recorded draws share the contents; a change after them makes a copy.
class HeadlessTexture final : public gfx::BackendResource {
public:
    HeadlessTexture(UINT levels, bool blocks) : contents(std::make_shared<TextureContents>()) {
        if (blocks)
            contents->blocks.resize(levels);
        else
            contents->texels.resize(levels);
    }
    TextureContents& Writable() {
        if (contents.use_count() > 1) contents = std::make_shared<TextureContents>(*contents);
        return *contents;
    }
    std::shared_ptr<TextureContents> contents;
};

bool IsCompressed(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

}  // namespace

HeadlessGraphics* HeadlessRecorder() { return g_recorder; }

HeadlessGraphics::HeadlessGraphics() { g_recorder = this; }

HeadlessGraphics::~HeadlessGraphics() {
    if (g_recorder == this) g_recorder = nullptr;
}

RecordedDraw::Vertex RecordedDraw::VertexAt(size_t i) const {
    Vertex v{};
    if (stride >= sizeof v && (i + 1) * stride <= vertices.size())
        std::memcpy(&v, vertices.data() + i * stride, sizeof v);
    return v;
}

bool HeadlessGraphics::SetUp(HWND, const D3DPRESENT_PARAMETERS& p) {
    params = p;
    ++setUps;
    return true;
}

std::unique_ptr<gfx::BackendResource> HeadlessGraphics::CreateBuffer(UINT, bool) {
    return std::make_unique<NullResource>();
}

std::unique_ptr<gfx::BackendResource> HeadlessGraphics::CreateTexture(UINT, UINT, UINT levels) {
    return std::make_unique<HeadlessTexture>(levels, false);
}

void HeadlessGraphics::UpdateTexture(gfx::BackendResource* resource, UINT level, UINT width, UINT height,
                                     const uint32_t* texels) {
    auto* texture = dynamic_cast<HeadlessTexture*>(resource);
    if (!texture || !texels || level >= texture->contents->texels.size()) return;
    texture->Writable().texels[level].assign(texels, texels + size_t{width} * height);
}

bool HeadlessGraphics::TakesCompressed(D3DFORMAT format) const { return takesCompressed && IsCompressed(format); }

std::unique_ptr<gfx::BackendResource> HeadlessGraphics::CreateCompressedTexture(UINT, UINT, UINT levels,
                                                                                D3DFORMAT format) {
    if (!TakesCompressed(format)) return nullptr;
    return std::make_unique<HeadlessTexture>(levels, true);
}

void HeadlessGraphics::UpdateCompressedTexture(gfx::BackendResource* resource, UINT level, UINT, UINT,
                                               const void* blocks, UINT bytes) {
    auto* texture = dynamic_cast<HeadlessTexture*>(resource);
    if (!texture || !blocks || level >= texture->contents->blocks.size()) return;
    const auto* from = static_cast<const uint8_t*>(blocks);
    texture->Writable().blocks[level].assign(from, from + bytes);
}

void HeadlessGraphics::Clear(DWORD flags, D3DCOLOR color, float, DWORD) {
    if (flags & D3DCLEAR_TARGET) current.clears.push_back(color);
}

void HeadlessGraphics::Draw(const gfx::PipelineState& state, const gfx::DrawCall& draw) {
    if (!recordDraws) return;
    RecordedDraw r;
    r.state = state;
    for (size_t i = 0; i < gfx::kStageCount; ++i) {
        r.textures[i] = state.textures[i] ? state.textures[i]->object : nullptr;
        if (auto* t = state.textures[i] ? dynamic_cast<const HeadlessTexture*>(state.textures[i]->handle) : nullptr)
            r.contents[i] = t->contents;
        r.state.textures[i] = nullptr;  // points into live textures; only their identity is kept
    }
    r.type = draw.type;
    r.primitiveCount = draw.primitiveCount;
    r.stride = draw.stride;
    r.effect = state.effect;
    r.pass = state.pass;
    if (draw.indexData) {
        const uint8_t* first = draw.vertexData + size_t{draw.minIndex} * draw.stride;
        r.vertices.assign(first, first + size_t{draw.numVertices} * draw.stride);
        r.indices.resize(draw.indexCount);
        for (UINT i = 0; i < draw.indexCount; ++i)
            r.indices[i] = static_cast<uint16_t>(draw.indexData[i] - draw.minIndex);
    } else {
        r.vertices.assign(draw.vertexData, draw.vertexData + size_t{draw.vertexCount} * draw.stride);
    }
    current.draws.push_back(std::move(r));
}

void HeadlessGraphics::Present(const D3DGAMMARAMP& ramp) {
    ++presents;
    if (!recordDraws && !recordCalls) {
        // Nothing is kept: the frame's clears go too, or they would pile up
        // for as long as the device lives.
        current.clears.clear();
        return;
    }
    current.ramp = ramp;
    frames.push_back(std::move(current));
    current = RecordedFrame{};
    while (frames.size() > std::max<size_t>(keepFrames, 1)) frames.pop_front();
}

void HeadlessGraphics::Violation(const std::string& what) {
    violations.push_back(what);
    current.violations.push_back(what);
}

std::unique_ptr<gfx::IGraphicsBackend> CreateHeadlessGraphicsBackend() { return std::make_unique<HeadlessAdapter>(); }

HeadlessAdapter* HeadlessGraphicsArea() { return dynamic_cast<HeadlessAdapter*>(GraphicsBackend()); }

std::vector<D3DDISPLAYMODE> HeadlessAdapter::DisplayModes(D3DFORMAT format) {
    if (!displayModes) return IGraphicsBackend::DisplayModes(format);
    std::vector<D3DDISPLAYMODE> modes;
    for (const D3DDISPLAYMODE& m : *displayModes)
        if (m.Format == format) modes.push_back(m);
    return modes;
}

bool HeadlessAdapter::SupportsDisplayFormat(D3DFORMAT format) {
    if (refusedFormats.count(format)) return false;
    // An injected mode list says which formats the adapter shows.
    if (displayModes) {
        for (const D3DDISPLAYMODE& m : *displayModes)
            if (m.Format == format) return true;
        return false;
    }
    return IGraphicsBackend::SupportsDisplayFormat(format);
}

void HeadlessAdapter::InitialGammaRamp(D3DGAMMARAMP* ramp) {
    if (initialRamp)
        *ramp = *initialRamp;
    else
        IGraphicsBackend::InitialGammaRamp(ramp);
}

bool HeadlessAdapter::DeviceForcedLost() { return lostUntilFrame != 0 && FrameNumber() <= lostUntilFrame; }

void HeadlessAdapter::LoseDevice(uint32_t frames) { lostUntilFrame = FrameNumber() + frames; }

}  // namespace platform
