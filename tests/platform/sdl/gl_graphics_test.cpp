// The OpenGL backend of the Direct3D 9 stand-in on a real display (Xvfb with
// Mesa's software rasteriser in CI), driven through IGraphics with hand-made
// device states; pixels are read back from the frame and from the window.
#include "platform/backend/backend.h"
#include "platform/backend/graphics.h"
#include "platform/d3d9/d3d9_impl.h"
#include "platform/d3d9/float_bits.h"
#include "platform/d3dx9/d3dx9math.h"
#include "platform/table/backend_table.h"
#include "platform/win32/win32.h"
#include "resources/resource.h"
#include "support/image_files.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using platform::gfx::DrawCall;
using platform::gfx::IGraphics;
using platform::gfx::PipelineState;
using platform::gfx::TextureSource;

constexpr UINT kWidth = 160, kHeight = 120;
constexpr DWORD kFvf = 0x2D2;

struct Vertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR diffuse, specular;
    float u0, v0, u1, v1;
};
static_assert(sizeof(Vertex) == 48);

struct Rgb {
    int r, g, b;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// A failing case prints as its name.
template <class Case>
requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Screen pixels: x right, y down, depth 0 to 1 (or 0 to far).
D3DXMATRIX ScreenProjection(UINT width = kWidth, UINT height = kHeight, float far = 1.0f) {
    D3DXMATRIX m;
    D3DXMatrixOrthoOffCenterLH(&m, 0, static_cast<float>(width), static_cast<float>(height), 0, 0, far);
    return m;
}

// The device's state after creation, as D3D9 defines it.
PipelineState Defaults() {
    PipelineState s;
    platform::d3d::SetDefaultState(&s, true);
    s.fvf = kFvf;
    return s;
}

// Unlit screen-space drawing, the way the interface draws.
PipelineState Unlit() {
    PipelineState s = Defaults();
    s.projection = ScreenProjection();
    s.renderStates[D3DRS_LIGHTING] = FALSE;
    return s;
}

// Two clockwise triangles (as seen on screen) from (x0, y0) to (x1, y1), uv 0 to 1.
std::vector<Vertex> Quad(float x0, float y0, float x1, float y1, D3DCOLOR diffuse, float z = 0.5f) {
    auto v = [&](float x, float y, float u, float t) { return Vertex{x, y, z, 0, 0, -1, diffuse, 0, u, t, u, t}; };
    return {v(x0, y0, 0, 0), v(x1, y0, 1, 0), v(x1, y1, 1, 1), v(x0, y0, 0, 0), v(x1, y1, 1, 1), v(x0, y1, 0, 1)};
}

D3DGAMMARAMP Ramp(int numerator, int denominator) {
    D3DGAMMARAMP ramp;
    for (int i = 0; i < 256; ++i)
        ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>(i * 257 * numerator / denominator);
    return ramp;
}

// A picture, top row first, RGBA.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;

    Rgb At(int x, int y) const {
        const uint8_t* p = &rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
        return {p[0], p[1], p[2]};
    }
    int AlphaAt(int x, int y) const {
        return rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4 + 3];
    }
};

::testing::AssertionResult Near(const Rgb& actual, const Rgb& expected, int tolerance = 3) {
    if (std::abs(actual.r - expected.r) <= tolerance && std::abs(actual.g - expected.g) <= tolerance &&
        std::abs(actual.b - expected.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " is not " << expected;
}

// A texture as the device hands it over: its texels stay alive with it.
struct Texture {
    std::vector<std::vector<uint32_t>> texels;
    std::unique_ptr<platform::gfx::BackendResource> handle;
    TextureSource source;
};

class GlGraphicsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::Startup("sdl", &error)) << error;
        SetModuleResources(&KelvandorResources());
    }

    void TearDown() override {
        m_textures.clear();
        m_graphics.reset();  // before its window goes
        platform::Shutdown();
        SetModuleResources(nullptr);
    }

    static D3DPRESENT_PARAMETERS Params(UINT width, UINT height, D3DFORMAT format) {
        D3DPRESENT_PARAMETERS p{};
        p.BackBufferWidth = width;
        p.BackBufferHeight = height;
        p.BackBufferFormat = format;
        p.BackBufferCount = 1;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.Windowed = TRUE;
        p.EnableAutoDepthStencil = TRUE;
        p.AutoDepthStencilFormat = D3DFMT_D24S8;
        p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        return p;
    }

    // A shown window of the given size with a device frame on it.
    void Open(int windowWidth = kWidth, int windowHeight = kHeight, UINT frameWidth = kWidth,
              UINT frameHeight = kHeight, D3DFORMAT format = D3DFMT_A8R8G8B8) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "KelvandorGlTest";
        ASSERT_NE(RegisterClassExA(&wc), 0);
        m_window = CreateWindowExA(0, "KelvandorGlTest", "gl", WS_OVERLAPPEDWINDOW, 0, 0, windowWidth, windowHeight,
                                   nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_window, nullptr);
        ShowWindow(m_window, SW_SHOW);
        m_graphics = platform::GraphicsBackend()->CreateDevice();
        ASSERT_NE(m_graphics, nullptr);
        ASSERT_TRUE(m_graphics->SetUp(m_window, Params(frameWidth, frameHeight, format)));
    }

    void Draw(const PipelineState& s, const std::vector<Vertex>& v, D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST) {
        DrawCall d;
        d.type = type;
        const auto n = static_cast<UINT>(v.size());
        switch (type) {
        case D3DPT_TRIANGLELIST: d.primitiveCount = n / 3; break;
        case D3DPT_LINELIST: d.primitiveCount = n / 2; break;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: d.primitiveCount = n - 2; break;
        default: d.primitiveCount = n; break;
        }
        d.stride = sizeof(Vertex);
        d.vertexData = reinterpret_cast<const uint8_t*>(v.data());
        d.vertexCount = n;
        m_graphics->Draw(s, d);
    }

    // Presents with the identity ramp and reads the frame back.
    Image Shown(const D3DGAMMARAMP& ramp = Ramp(1, 1)) {
        m_graphics->Present(ramp);
        Image image;
        UINT w = 0, h = 0;
        EXPECT_TRUE(m_graphics->ReadFrame(&image.rgba, &w, &h));
        image.width = static_cast<int>(w);
        image.height = static_cast<int>(h);
        EXPECT_EQ(image.rgba.size(), static_cast<size_t>(w) * h * 4);
        return image;
    }

    // What Present put in the window. Mesa's software driver keeps its back
    // buffer after the swap, while reading the front buffer back through the
    // X server gives black on some runs under Xvfb.
    Image Window() {
        auto* window = static_cast<SDL_Window*>(m_window->native);
        EXPECT_EQ(SDL_GL_GetCurrentWindow(), window);
        Image image;
        SDL_GL_GetDrawableSize(window, &image.width, &image.height);
        const size_t row = static_cast<size_t>(image.width) * 4;
        std::vector<uint8_t> bottomUp(row * static_cast<size_t>(image.height));
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, image.width, image.height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
        image.rgba.resize(bottomUp.size());
        for (size_t y = 0; y < static_cast<size_t>(image.height); ++y)
            std::memcpy(&image.rgba[y * row], &bottomUp[(static_cast<size_t>(image.height) - 1 - y) * row], row);
        return image;
    }

    // A texture with every level given, texels 0xAARRGGBB top row first.
    const TextureSource* MakeTexture(UINT width, UINT height, std::vector<std::vector<uint32_t>> levels) {
        auto t = std::make_unique<Texture>();
        t->texels = std::move(levels);
        t->handle = m_graphics->CreateTexture(width, height, static_cast<UINT>(t->texels.size()));
        for (UINT level = 0; level < t->texels.size(); ++level)
            m_graphics->UpdateTexture(t->handle.get(), level, std::max(1u, width >> level),
                                      std::max(1u, height >> level), t->texels[level].data());
        t->source.handle = t->handle.get();
        t->source.width = width;
        t->source.height = height;
        t->source.levels = static_cast<UINT>(t->texels.size());
        t->source.texels = &t->texels;
        m_textures.push_back(std::move(t));
        return &m_textures.back()->source;
    }

    // A compressed texture of one level, taken as its blocks.
    const TextureSource* MakeCompressed(UINT width, UINT height, D3DFORMAT format, const std::vector<uint8_t>& blocks) {
        auto t = std::make_unique<Texture>();
        t->handle = m_graphics->CreateCompressedTexture(width, height, 1, format);
        EXPECT_NE(t->handle, nullptr);
        m_graphics->UpdateCompressedTexture(t->handle.get(), 0, width, height, blocks.data(),
                                            static_cast<UINT>(blocks.size()));
        t->source.handle = t->handle.get();
        t->source.width = width;
        t->source.height = height;
        t->source.levels = 1;
        t->texels.resize(1);
        t->source.texels = &t->texels;
        m_textures.push_back(std::move(t));
        return &m_textures.back()->source;
    }

    HWND m_window = nullptr;
    std::unique_ptr<IGraphics> m_graphics;
    std::vector<std::unique_ptr<Texture>> m_textures;
};

// ---------------------------------------------------------------- the frame

TEST_F(GlGraphicsTest, ClearFillsFrameOfBackBufferSizeNotWindowSize) {
    Open(200, 150, kWidth, kHeight);
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(10, 200, 30), 1.0f, 0);
    const Image frame = Shown();
    ASSERT_EQ(frame.width, static_cast<int>(kWidth));
    ASSERT_EQ(frame.height, static_cast<int>(kHeight));
    for (auto [x, y] : {std::pair{0, 0}, {159, 0}, {0, 119}, {159, 119}, {80, 60}})
        EXPECT_TRUE(Near(frame.At(x, y), {10, 200, 30})) << x << "," << y;
}

TEST_F(GlGraphicsTest, ReadFrameIsTopRowFirstAndLeftToRight) {
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    Draw(Unlit(), Quad(0, 0, 40, 30, D3DCOLOR_XRGB(255, 0, 0)));  // the top-left corner
    const Image frame = Shown();
    EXPECT_TRUE(Near(frame.At(0, 0), {255, 0, 0}));
    EXPECT_TRUE(Near(frame.At(39, 29), {255, 0, 0}));
    EXPECT_TRUE(Near(frame.At(0, 119), {0, 0, 0}));
    EXPECT_TRUE(Near(frame.At(159, 0), {0, 0, 0}));
}

TEST_F(GlGraphicsTest, ReadFrameReturnsLastPresentedFrameNotLaterDrawing) {
    Open();
    UINT w = 0, h = 0;
    std::vector<uint8_t> rgba;
    EXPECT_FALSE(m_graphics->ReadFrame(&rgba, &w, &h));  // nothing presented yet
    m_graphics->Clear(D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 0, 0), 1.0f, 0);
    m_graphics->Present(Ramp(1, 1));
    m_graphics->Clear(D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 255), 1.0f, 0);
    Image frame;
    UINT fw = 0, fh = 0;
    ASSERT_TRUE(m_graphics->ReadFrame(&frame.rgba, &fw, &fh));
    frame.width = static_cast<int>(fw);
    frame.height = static_cast<int>(fh);
    EXPECT_TRUE(Near(frame.At(80, 60), {255, 0, 0}));
}

// Reset remakes the frame at the new size; textures made before it still draw.
TEST_F(GlGraphicsTest, SecondSetUpResizesFrameAndKeepsResources) {
    Open();
    const TextureSource* texture = MakeTexture(1, 1, {{0xFF20C040}});
    ASSERT_TRUE(m_graphics->SetUp(m_window, Params(80, 60, D3DFMT_X8R8G8B8)));
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    PipelineState s = Unlit();
    s.projection = ScreenProjection(80, 60);
    s.textures[0] = texture;
    Draw(s, Quad(40, 30, 80, 60, 0xFFFFFFFF));
    const Image frame = Shown();
    ASSERT_EQ(frame.width, 80);
    ASSERT_EQ(frame.height, 60);
    EXPECT_TRUE(Near(frame.At(60, 45), {0x20, 0xC0, 0x40}));
    EXPECT_TRUE(Near(frame.At(20, 15), {0, 0, 0}));
}

// ------------------------------------------------- screen-space rasterisation

// D3D9 puts pixel centres on integer coordinates: a quad whose edges lie
// halfway between them covers whole pixels, nothing ambiguous.
struct PixelCase {
    const char* name;
    float offset;
    int firstPixel;
};

class GlPixelTest : public GlGraphicsTest, public ::testing::WithParamInterface<PixelCase> {};

TEST_P(GlPixelTest, TwoByTwoQuadCoversExactlyFourPixels) {
    const PixelCase& c = GetParam();
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    Draw(Unlit(), Quad(10 + c.offset, 20 + c.offset, 12 + c.offset, 22 + c.offset, D3DCOLOR_XRGB(255, 255, 255)));
    const Image frame = Shown();
    for (int y = 17; y < 26; ++y)
        for (int x = 7; x < 16; ++x) {
            const bool inside =
                x >= c.firstPixel && x < c.firstPixel + 2 && y >= c.firstPixel + 10 && y < c.firstPixel + 12;
            EXPECT_TRUE(Near(frame.At(x, y), inside ? Rgb{255, 255, 255} : Rgb{0, 0, 0}, 0)) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Gl, GlPixelTest,
                         ::testing::Values(PixelCase{"PlusHalf", 0.5f, 11}, PixelCase{"MinusHalf", -0.5f, 10}),
                         [](const auto& info) { return std::string(info.param.name); });

// Cull modes name the winding as seen on screen.
struct CullCase {
    const char* name;
    DWORD mode;
    bool clockwiseShown, counterClockwiseShown;
};

class GlCullTest : public GlGraphicsTest, public ::testing::WithParamInterface<CullCase> {};

TEST_P(GlCullTest, CullModeRemovesTrianglesOfItsWinding) {
    const CullCase& c = GetParam();
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    PipelineState s = Unlit();
    s.renderStates[D3DRS_CULLMODE] = c.mode;
    const D3DCOLOR white = 0xFFFFFFFF;
    auto v = [&](float x, float y) { return Vertex{x, y, 0.5f, 0, 0, -1, white, 0, 0, 0, 0, 0}; };
    Draw(s, {v(10, 10), v(50, 10), v(10, 50)});     // clockwise on screen (y grows down)
    Draw(s, {v(100, 10), v(100, 50), v(140, 10)});  // counter-clockwise
    const Image frame = Shown();
    EXPECT_TRUE(Near(frame.At(20, 20), c.clockwiseShown ? Rgb{255, 255, 255} : Rgb{0, 0, 0}));
    EXPECT_TRUE(Near(frame.At(110, 20), c.counterClockwiseShown ? Rgb{255, 255, 255} : Rgb{0, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Gl, GlCullTest,
                         ::testing::Values(CullCase{"CCW", D3DCULL_CCW, true, false},
                                           CullCase{"CW", D3DCULL_CW, false, true},
                                           CullCase{"None", D3DCULL_NONE, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PrimitiveCase {
    const char* name;
    D3DPRIMITIVETYPE type;
    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;  // empty: not indexed
    std::vector<std::pair<int, int>> lit, unlit;
};

void PrintTo(const PrimitiveCase& c, std::ostream* os) { *os << c.name; }

class GlPrimitiveTest : public GlGraphicsTest, public ::testing::WithParamInterface<PrimitiveCase> {};

TEST_P(GlPrimitiveTest, PrimitiveCoversItsPixels) {
    const PrimitiveCase& c = GetParam();
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    PipelineState s = Unlit();
    s.renderStates[D3DRS_CULLMODE] = D3DCULL_NONE;
    if (c.indices.empty()) {
        Draw(s, c.vertices, c.type);
    } else {
        DrawCall d;
        d.type = c.type;
        d.primitiveCount = static_cast<UINT>(c.indices.size()) / (c.type == D3DPT_LINELIST ? 2 : 3);
        d.stride = sizeof(Vertex);
        d.vertexData = reinterpret_cast<const uint8_t*>(c.vertices.data());
        d.vertexCount = static_cast<UINT>(c.vertices.size());
        d.indexData = c.indices.data();
        d.indexCount = static_cast<UINT>(c.indices.size());
        d.numVertices = static_cast<UINT>(c.vertices.size());
        m_graphics->Draw(s, d);
    }
    const Image frame = Shown();
    for (auto [x, y] : c.lit) EXPECT_TRUE(Near(frame.At(x, y), {255, 255, 255})) << x << "," << y;
    for (auto [x, y] : c.unlit) EXPECT_TRUE(Near(frame.At(x, y), {0, 0, 0})) << x << "," << y;
}

Vertex White(float x, float y) { return Vertex{x, y, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0, 0, 0}; }

INSTANTIATE_TEST_SUITE_P(
    Gl, GlPrimitiveTest,
    ::testing::Values(PrimitiveCase{"Strip",
                                    D3DPT_TRIANGLESTRIP,
                                    {White(10, 10), White(50, 10), White(10, 50), White(50, 50)},
                                    {},
                                    {{12, 12}, {48, 48}},
                                    {{60, 30}}},
                      PrimitiveCase{"Fan",
                                    D3DPT_TRIANGLEFAN,
                                    {White(10, 10), White(50, 10), White(50, 50), White(10, 50)},
                                    {},
                                    {{12, 12}, {48, 48}, {12, 48}},
                                    {{60, 30}}},
                      PrimitiveCase{"IndexedList",
                                    D3DPT_TRIANGLELIST,
                                    {White(10, 10), White(50, 10), White(50, 50), White(10, 50)},
                                    {0, 1, 2, 0, 2, 3},
                                    {{12, 12}, {48, 48}, {12, 48}},
                                    {{60, 30}}},
                      // A line through pixel centres lights that row only, its last pixel excluded.
                      PrimitiveCase{"LineList",
                                    D3DPT_LINELIST,
                                    {White(10, 20), White(30, 20)},
                                    {},
                                    {{10, 20}, {20, 20}, {29, 20}},
                                    {{20, 19}, {20, 21}, {31, 20}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GlGraphicsTest, DrawsFromBuffersAtTheirOffsets) {
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    // Junk before the quad's vertices and indices, written in two updates.
    std::vector<Vertex> vertices(3, White(150, 110));
    for (Vertex v : {White(10, 10), White(50, 10), White(50, 50), White(10, 50)}) vertices.push_back(v);
    const std::vector<uint16_t> indices = {7, 7, 0, 1, 2, 0, 2, 3};
    auto vb = m_graphics->CreateBuffer(static_cast<UINT>(vertices.size() * sizeof(Vertex)), false);
    auto ib = m_graphics->CreateBuffer(static_cast<UINT>(indices.size() * 2), true);
    m_graphics->UpdateBuffer(vb.get(), 0, vertices.data(), 4 * sizeof(Vertex));
    m_graphics->UpdateBuffer(vb.get(), 4 * sizeof(Vertex), &vertices[4], 3 * sizeof(Vertex));
    m_graphics->UpdateBuffer(ib.get(), 0, indices.data(), static_cast<UINT>(indices.size() * 2));
    DrawCall d;
    d.type = D3DPT_TRIANGLELIST;
    d.primitiveCount = 2;
    d.stride = sizeof(Vertex);
    d.vertexData = reinterpret_cast<const uint8_t*>(&vertices[3]);
    d.vertexBuffer = vb.get();
    d.vertexOffset = 3 * sizeof(Vertex);
    d.vertexCount = 4;
    d.indexData = &indices[2];
    d.indexBuffer = ib.get();
    d.indexOffset = 4;
    d.indexCount = 6;
    d.minIndex = 0;
    d.numVertices = 4;
    PipelineState s = Unlit();
    s.renderStates[D3DRS_CULLMODE] = D3DCULL_NONE;
    m_graphics->Draw(s, d);
    const Image frame = Shown();
    EXPECT_TRUE(Near(frame.At(12, 12), {255, 255, 255}));
    EXPECT_TRUE(Near(frame.At(48, 48), {255, 255, 255}));
    EXPECT_TRUE(Near(frame.At(60, 30), {0, 0, 0}));
}

// A buffer is written whole, as a lock of the whole buffer does, then parts
// of it are drawn from pages apart, rewritten and drawn again: each draw
// shows the bytes last written where it reads.
TEST_F(GlGraphicsTest, DrawsShowTheBufferBytesLastWrittenWhereTheyRead) {
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    auto corners = [](float x0, float x1, D3DCOLOR c) {
        auto v = [&](float x, float y) { return Vertex{x, y, 0.5f, 0, 0, -1, c, 0, 0, 0, 0, 0}; };
        return std::array<Vertex, 4>{v(x0, 10), v(x1, 10), v(x1, 30), v(x0, 30)};
    };
    constexpr UINT kIndexed = 100, kListed = 150;  // vertices 4.8 KB and 7.2 KB in
    std::vector<Vertex> vertices(200, White(150, 110));
    const auto a = corners(10, 30, 0xFFFFFFFF), b = corners(40, 60, 0xFF00FF00);
    std::copy(a.begin(), a.end(), vertices.begin());
    std::copy(b.begin(), b.end(), vertices.begin() + kIndexed);
    const auto c = corners(100, 120, 0xFFFF0000);
    for (int i = 0; i < 6; ++i) vertices[kListed + static_cast<size_t>(i)] = c[static_cast<size_t>("012023"[i] - '0')];
    const std::vector<uint16_t> indices = {0, 1, 2, 0, 2, 3};
    const auto vbBytes = static_cast<UINT>(vertices.size() * sizeof(Vertex));
    auto vb = m_graphics->CreateBuffer(vbBytes, false);
    auto ib = m_graphics->CreateBuffer(static_cast<UINT>(indices.size() * 2), true);
    m_graphics->UpdateBuffer(vb.get(), 0, vertices.data(), vbBytes);
    m_graphics->UpdateBuffer(ib.get(), 0, indices.data(), static_cast<UINT>(indices.size() * 2));
    PipelineState s = Unlit();
    s.renderStates[D3DRS_CULLMODE] = D3DCULL_NONE;
    auto draw = [&](UINT firstVertex, bool indexed) {
        DrawCall d;
        d.type = D3DPT_TRIANGLELIST;
        d.primitiveCount = 2;
        d.stride = sizeof(Vertex);
        d.vertexData = reinterpret_cast<const uint8_t*>(&vertices[firstVertex]);
        d.vertexBuffer = vb.get();
        d.vertexOffset = firstVertex * static_cast<UINT>(sizeof(Vertex));
        d.vertexCount = static_cast<UINT>(vertices.size()) - firstVertex;
        if (indexed) {
            d.indexData = indices.data();
            d.indexBuffer = ib.get();
            d.indexCount = 6;
            d.numVertices = 4;
        }
        m_graphics->Draw(s, d);
    };
    draw(0, true);
    draw(kIndexed, true);
    draw(kListed, false);
    // The second quad moves right and turns blue; its old place keeps what was drawn.
    const auto moved = corners(70, 90, 0xFF0000FF);
    std::copy(moved.begin(), moved.end(), vertices.begin() + kIndexed);
    m_graphics->UpdateBuffer(vb.get(), kIndexed * sizeof(Vertex), &vertices[kIndexed], 4 * sizeof(Vertex));
    draw(kIndexed, true);
    const Image frame = Shown();
    EXPECT_TRUE(Near(frame.At(20, 20), {255, 255, 255}));
    EXPECT_TRUE(Near(frame.At(50, 20), {0, 255, 0}));
    EXPECT_TRUE(Near(frame.At(80, 20), {0, 0, 255}));
    EXPECT_TRUE(Near(frame.At(110, 20), {255, 0, 0}));
    EXPECT_TRUE(Near(frame.At(150, 110), {0, 0, 0}));  // the filler is never drawn
}

// The lit and the unlit program each get the draw's transforms, even when
// the other program was just given the same ones.
TEST_F(GlGraphicsTest, LitAndUnlitDrawsBothTakeTheirTransform) {
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    D3DXMATRIX right;
    D3DXMatrixTranslation(&right, 60, 0, 0);
    PipelineState unlit = Unlit();
    unlit.world = right;
    PipelineState lit = Defaults();
    lit.projection = ScreenProjection();
    lit.world = right;
    lit.renderStates[D3DRS_AMBIENT] = 0;
    lit.material.Emissive = {0, 1, 0, 1};
    Draw(unlit, Quad(10, 10, 30, 30, D3DCOLOR_XRGB(255, 0, 0)));
    Draw(lit, Quad(10, 50, 30, 70, 0xFFFFFFFF));
    Draw(unlit, Quad(10, 90, 30, 110, D3DCOLOR_XRGB(0, 0, 255)));
    const Image frame = Shown();
    EXPECT_TRUE(Near(frame.At(80, 20), {255, 0, 0}));
    EXPECT_TRUE(Near(frame.At(80, 60), {0, 255, 0}));
    EXPECT_TRUE(Near(frame.At(80, 100), {0, 0, 255}));
    for (int y : {20, 60, 100}) EXPECT_TRUE(Near(frame.At(20, y), {0, 0, 0})) << y;
}

TEST_F(GlGraphicsTest, FlatShadingTakesFirstVertexColour) {
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    PipelineState s = Unlit();
    s.renderStates[D3DRS_SHADEMODE] = D3DSHADE_FLAT;
    auto v = [](float x, float y, D3DCOLOR c) { return Vertex{x, y, 0.5f, 0, 0, -1, c, 0, 0, 0, 0, 0}; };
    Draw(s, {v(10, 10, 0xFFFF0000), v(90, 10, 0xFF00FF00), v(10, 90, 0xFF0000FF)});
    const Image frame = Shown();
    EXPECT_TRUE(Near(frame.At(60, 15), {255, 0, 0}));
    EXPECT_TRUE(Near(frame.At(15, 60), {255, 0, 0}));
}

// Present draws the window with state of its own, through the ramp or not;
// the next frame's draws must not find it in place of theirs.
TEST_F(GlGraphicsTest, NextFrameDrawsAsIfPresentNeverRan) {
    Open();
    const TextureSource* textures[2] = {MakeTexture(1, 1, {{0xFF00FF00}}), MakeTexture(1, 1, {{0xFF0000FF}})};
    const Rgb expected[2] = {{0, 255, 0}, {0, 0, 255}};
    const D3DGAMMARAMP ramps[2] = {Ramp(1, 1), Ramp(64, 128)};
    for (int frame = 0; frame < 4; ++frame) {
        SCOPED_TRACE(frame);
        PipelineState s = Unlit();
        s.textures[0] = textures[frame % 2];
        m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
        Draw(s, Quad(20, 20, 60, 60, 0xFFFFFFFF, 0.25f));
        Draw(s, Quad(20, 20, 60, 60, D3DCOLOR_XRGB(255, 0, 0), 0.75f));  // behind: hidden
        EXPECT_TRUE(Near(Shown(ramps[frame / 2]).At(40, 40), expected[frame % 2]));
    }
}

// The state a frame set stays known across Present: a steady frame's draw
// costs one GL call, the draw itself.
TEST_F(GlGraphicsTest, SteadyFrameDrawMakesOnlyTheDrawCall) {
    Open();
    PipelineState s = Defaults();  // lit and textured: both programs' caches and the stages
    s.projection = ScreenProjection();
    s.material.Emissive = {0, 0, 1, 1};
    s.textures[0] = MakeTexture(1, 1, {{0xFF00FFFF}});
    const std::vector<Vertex> quad = Quad(10, 10, 50, 50, 0xFFFFFFFF);  // the same arrays every frame
    uint64_t drawCalls[3] = {};
    for (uint64_t& calls : drawCalls) {
        m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
        const uint64_t before = m_graphics->NativeCalls();
        Draw(s, quad);
        calls = m_graphics->NativeCalls() - before;
        m_graphics->Present(Ramp(1, 1));
    }
    EXPECT_GT(drawCalls[0], 1u);
    EXPECT_EQ(drawCalls[1], 1u);
    EXPECT_EQ(drawCalls[2], 1u);
    Image frame;
    UINT w = 0, h = 0;
    ASSERT_TRUE(m_graphics->ReadFrame(&frame.rgba, &w, &h));
    frame.width = static_cast<int>(w);
    frame.height = static_cast<int>(h);
    EXPECT_TRUE(Near(frame.At(30, 30), {0, 0, 255}));
}

// With D3D's copy swap effect the back buffer keeps the presented frame.
TEST_F(GlGraphicsTest, CopySwapEffectKeepsTheFrameAfterPresent) {
    Open();
    D3DPRESENT_PARAMETERS params = Params(kWidth, kHeight, D3DFMT_A8R8G8B8);
    params.SwapEffect = D3DSWAPEFFECT_COPY;
    ASSERT_TRUE(m_graphics->SetUp(m_window, params));
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    Draw(Unlit(), Quad(10, 10, 30, 30, D3DCOLOR_XRGB(255, 0, 0)));
    m_graphics->Present(Ramp(1, 1));
    Draw(Unlit(), Quad(40, 10, 60, 30, D3DCOLOR_XRGB(0, 255, 0)));
    m_graphics->Present(Ramp(1, 1));
    Draw(Unlit(), Quad(70, 10, 90, 30, D3DCOLOR_XRGB(0, 0, 255)));
    const Image frame = Shown();
    EXPECT_TRUE(Near(frame.At(20, 20), {255, 0, 0}));
    EXPECT_TRUE(Near(frame.At(50, 20), {0, 255, 0}));
    EXPECT_TRUE(Near(frame.At(80, 20), {0, 0, 255}));
}

// ---------------------------------------------------------- depth and clear

struct DepthCase {
    const char* name;
    void (*nearState)(PipelineState&);
    void (*farState)(PipelineState&);
    Rgb expected;  // the near quad is red and drawn first, the far one green
};

class GlDepthTest : public GlGraphicsTest, public ::testing::WithParamInterface<DepthCase> {};

TEST_P(GlDepthTest, DepthStatesDecideWhichQuadStays) {
    const DepthCase& c = GetParam();
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    PipelineState nearState = Unlit(), farState = Unlit();
    c.nearState(nearState);
    c.farState(farState);
    Draw(nearState, Quad(20, 20, 60, 60, D3DCOLOR_XRGB(255, 0, 0), 0.25f));
    Draw(farState, Quad(20, 20, 60, 60, D3DCOLOR_XRGB(0, 255, 0), 0.75f));
    EXPECT_TRUE(Near(Shown().At(40, 40), c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Gl, GlDepthTest,
    ::testing::Values(DepthCase{"NearerStays", [](PipelineState&) {}, [](PipelineState&) {}, {255, 0, 0}},
                      DepthCase{"DepthOffDrawsOver",
                                [](PipelineState&) {},
                                [](PipelineState& s) { s.renderStates[D3DRS_ZENABLE] = D3DZB_FALSE; },
                                {0, 255, 0}},
                      DepthCase{"NoWriteLeavesNoDepth",
                                [](PipelineState& s) { s.renderStates[D3DRS_ZWRITEENABLE] = FALSE; },
                                [](PipelineState&) {},
                                {0, 255, 0}},
                      DepthCase{"GreaterKeepsFarther",
                                [](PipelineState&) {},
                                [](PipelineState& s) { s.renderStates[D3DRS_ZFUNC] = D3DCMP_GREATER; },
                                {0, 255, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// The last draw leaves depth writes off; the clear must still reset depth.
TEST_F(GlGraphicsTest, ClearResetsDepthWhateverTheWriteState) {
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    Draw(Unlit(), Quad(20, 20, 60, 60, D3DCOLOR_XRGB(255, 0, 0), 0.1f));
    PipelineState noWrite = Unlit();
    noWrite.renderStates[D3DRS_ZWRITEENABLE] = FALSE;
    Draw(noWrite, Quad(100, 20, 140, 60, D3DCOLOR_XRGB(255, 0, 0), 0.1f));
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    Draw(Unlit(), Quad(20, 20, 60, 60, D3DCOLOR_XRGB(0, 255, 0), 0.5f));
    EXPECT_TRUE(Near(Shown().At(40, 40), {0, 255, 0}));
}

// ------------------------------------------------------------ output merger

struct BlendCase {
    const char* name;
    void (*apply)(PipelineState&);
    Rgb expected;  // source (200, 100, 0) alpha 64 over destination (40, 80, 200)
};

class GlBlendTest : public GlGraphicsTest, public ::testing::WithParamInterface<BlendCase> {};

TEST_P(GlBlendTest, SourceMeetsDestination) {
    const BlendCase& c = GetParam();
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_ARGB(255, 40, 80, 200), 1.0f, 0);
    PipelineState s = Unlit();
    s.stageStates[0][D3DTSS_ALPHAARG1] = D3DTA_DIFFUSE;
    c.apply(s);
    Draw(s, Quad(20, 20, 60, 60, D3DCOLOR_ARGB(64, 200, 100, 0)));
    EXPECT_TRUE(Near(Shown().At(40, 40), c.expected));
}

void Blend(PipelineState& s, DWORD src, DWORD dst, DWORD op = D3DBLENDOP_ADD) {
    s.renderStates[D3DRS_ALPHABLENDENABLE] = TRUE;
    s.renderStates[D3DRS_SRCBLEND] = src;
    s.renderStates[D3DRS_DESTBLEND] = dst;
    s.renderStates[D3DRS_BLENDOP] = op;
}

INSTANTIATE_TEST_SUITE_P(
    Gl, GlBlendTest,
    ::testing::Values(
        BlendCase{"Opaque", [](PipelineState&) {}, {200, 100, 0}},
        BlendCase{"SrcAlphaInvSrcAlpha",
                  [](PipelineState& s) { Blend(s, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA); },
                  {80, 85, 150}},
        BlendCase{"BothInvSrcAlpha",
                  [](PipelineState& s) { Blend(s, D3DBLEND_BOTHINVSRCALPHA, D3DBLEND_ONE); },
                  {160, 95, 50}},
        BlendCase{"Additive", [](PipelineState& s) { Blend(s, D3DBLEND_ONE, D3DBLEND_ONE); }, {240, 180, 200}},
        BlendCase{"ReverseSubtract",
                  [](PipelineState& s) { Blend(s, D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT); },
                  {0, 0, 200}},
        BlendCase{
            "Max", [](PipelineState& s) { Blend(s, D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MAX); }, {200, 100, 200}},
        BlendCase{"DestColorZero", [](PipelineState& s) { Blend(s, D3DBLEND_DESTCOLOR, D3DBLEND_ZERO); }, {31, 31, 0}},
        BlendCase{"AlphaTestRejects",
                  [](PipelineState& s) {
                      s.renderStates[D3DRS_ALPHATESTENABLE] = TRUE;
                      s.renderStates[D3DRS_ALPHAREF] = 0x80;
                      s.renderStates[D3DRS_ALPHAFUNC] = D3DCMP_GREATER;
                  },
                  {40, 80, 200}},
        BlendCase{"AlphaTestPasses",
                  [](PipelineState& s) {
                      s.renderStates[D3DRS_ALPHATESTENABLE] = TRUE;
                      s.renderStates[D3DRS_ALPHAREF] = 0x80;
                      s.renderStates[D3DRS_ALPHAFUNC] = D3DCMP_LESS;
                  },
                  {200, 100, 0}},
        BlendCase{"ColorWriteRedOnly",
                  [](PipelineState& s) { s.renderStates[D3DRS_COLORWRITEENABLE] = D3DCOLORWRITEENABLE_RED; },
                  {200, 80, 200}}),
    [](const auto& info) { return std::string(info.param.name); });

// A back buffer without alpha reads its alpha as one.
TEST_F(GlGraphicsTest, DestinationAlphaOfAlphaLessFrameIsOne) {
    Open();
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8}) {
        SCOPED_TRACE(format);
        ASSERT_TRUE(m_graphics->SetUp(m_window, Params(kWidth, kHeight, format)));
        m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_ARGB(0, 0, 0, 0), 1.0f, 0);
        PipelineState s = Unlit();
        Blend(s, D3DBLEND_DESTALPHA, D3DBLEND_ZERO);
        Draw(s, Quad(20, 20, 60, 60, D3DCOLOR_XRGB(200, 100, 50)));
        EXPECT_TRUE(Near(Shown().At(40, 40), format == D3DFMT_X8R8G8B8 ? Rgb{200, 100, 50} : Rgb{0, 0, 0}));
    }
}

struct FogCase {
    const char* name;
    void (*apply)(PipelineState&);
    float z;  // of the white quad, under red fog
    Rgb expected;
};

class GlFogTest : public GlGraphicsTest, public ::testing::WithParamInterface<FogCase> {};

TEST_P(GlFogTest, FogMixesTowardFogColour) {
    const FogCase& c = GetParam();
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    PipelineState s = Unlit();
    s.renderStates[D3DRS_FOGCOLOR] = D3DCOLOR_XRGB(255, 0, 0);
    c.apply(s);
    Draw(s, Quad(20, 20, 60, 60, 0xFFFFFFFF, c.z));
    EXPECT_TRUE(Near(Shown().At(40, 40), c.expected));
}

INSTANTIATE_TEST_SUITE_P(Gl, GlFogTest,
                         ::testing::Values(FogCase{"Off", [](PipelineState&) {}, 0.5f, {255, 255, 255}},
                                           // Orthographic: pixel fog measures depth, 0.5 between start 0 and end 1.
                                           FogCase{"TableLinear",
                                                   [](PipelineState& s) {
                                                       s.renderStates[D3DRS_FOGENABLE] = TRUE;
                                                       s.renderStates[D3DRS_FOGTABLEMODE] = D3DFOG_LINEAR;
                                                   },
                                                   0.5f,
                                                   {255, 128, 128}},
                                           // Vertex fog measures camera-space z: 5 between start 0 and end 10.
                                           FogCase{"VertexLinear",
                                                   [](PipelineState& s) {
                                                       s.projection = ScreenProjection(kWidth, kHeight, 10.0f);
                                                       s.renderStates[D3DRS_FOGENABLE] = TRUE;
                                                       s.renderStates[D3DRS_FOGVERTEXMODE] = D3DFOG_LINEAR;
                                                       s.renderStates[D3DRS_FOGEND] = platform::FloatToStateBits(10.0f);
                                                   },
                                                   5.0f,
                                                   {255, 128, 128}}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- lighting

struct LightingCase {
    const char* name;
    void (*apply)(PipelineState&, Vertex&);
    Rgb expected;
};

class GlLightingTest : public GlGraphicsTest, public ::testing::WithParamInterface<LightingCase> {};

D3DLIGHT9 DirectionalLight(D3DVECTOR direction, D3DCOLORVALUE diffuse) {
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = direction;
    light.Diffuse = diffuse;
    return light;
}

// A quad facing the camera, lit by one directional light shining into the
// screen with diffuse (1, 0.5, 0.25); the material is black unless a case says.
TEST_P(GlLightingTest, VertexColourFollowsD3D9LightingModel) {
    const LightingCase& c = GetParam();
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    PipelineState s = Defaults();
    s.projection = ScreenProjection();
    s.lights[0] = DirectionalLight({0, 0, 1}, {1, 0.5f, 0.25f, 1});
    s.lightCount = 1;
    Vertex v{0, 0, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0, 0, 0};
    c.apply(s, v);
    std::vector<Vertex> quad = Quad(20, 20, 60, 60, 0);
    for (Vertex& q : quad) {
        const float x = q.x, y = q.y;
        q = v;
        q.x += x;
        q.y += y;
    }
    Draw(s, quad);
    EXPECT_TRUE(Near(Shown().At(40, 40), c.expected));
}

INSTANTIATE_TEST_SUITE_P(Gl, GlLightingTest,
                         ::testing::Values(LightingCase{"VertexColourIsDiffuseSource",
                                                        [](PipelineState&, Vertex& v) { v.diffuse = 0xFF808080; },
                                                        {128, 64, 32}},
                                           LightingCase{"MaterialDiffuseSource",
                                                        [](PipelineState& s, Vertex&) {
                                                            s.renderStates[D3DRS_DIFFUSEMATERIALSOURCE] =
                                                                D3DMCS_MATERIAL;
                                                            s.material.Diffuse = {0.5f, 1, 1, 1};
                                                        },
                                                        {128, 128, 64}},
                                           LightingCase{"ColorVertexOffUsesMaterial",
                                                        [](PipelineState& s, Vertex& v) {
                                                            s.renderStates[D3DRS_COLORVERTEX] = FALSE;
                                                            s.material.Diffuse = {1, 1, 1, 1};
                                                            v.diffuse = 0xFF000000;
                                                        },
                                                        {255, 128, 64}},
                                           LightingCase{"AmbientAndEmissive",
                                                        [](PipelineState& s, Vertex& v) {
                                                            s.renderStates[D3DRS_AMBIENT] = D3DCOLOR_XRGB(32, 32, 32);
                                                            s.material.Ambient = {1, 1, 1, 1};
                                                            s.material.Emissive = {0, 0, 0.5f, 1};
                                                            s.lights[0].Ambient = {0.25f, 0, 0, 1};
                                                            v.diffuse = 0xFF000000;
                                                        },
                                                        {96, 32, 160}},
                                           LightingCase{"LightBehindSurface",
                                                        [](PipelineState& s, Vertex&) {
                                                            s.lights[0].Direction = {0, 0, -1};
                                                        },
                                                        {0, 0, 0}},
                                           LightingCase{"NormalLengthKeptWithoutNormalize",
                                                        [](PipelineState& s, Vertex& v) {
                                                            s.lights[0].Diffuse = {0.25f, 0.25f, 0.25f, 1};
                                                            v.nz = -2;
                                                        },
                                                        {128, 128, 128}},
                                           LightingCase{"NormalizeNormals",
                                                        [](PipelineState& s, Vertex& v) {
                                                            s.lights[0].Diffuse = {0.25f, 0.25f, 0.25f, 1};
                                                            s.renderStates[D3DRS_NORMALIZENORMALS] = TRUE;
                                                            v.nz = -2;
                                                        },
                                                        {64, 64, 64}},
                                           // Squashing z in half doubles a normal along z: normals take the
                                           // inverse transpose of the world-view matrix.
                                           LightingCase{"NormalsTakeInverseTransposeOfWorld",
                                                        [](PipelineState& s, Vertex&) {
                                                            D3DXMATRIX squash;
                                                            D3DXMatrixScaling(&squash, 1, 1, 0.5f);
                                                            s.world = squash;
                                                            s.lights[0].Diffuse = {0.25f, 0.25f, 0.25f, 1};
                                                        },
                                                        {128, 128, 128}},
                                           // The normal points along x and the world turns it to face the light.
                                           LightingCase{"NormalsFollowWorldMatrix",
                                                        [](PipelineState& s, Vertex& v) {
                                                            D3DXMATRIX turn, move;
                                                            D3DXMatrixRotationZ(&turn, D3DX_PI / 2);
                                                            D3DXMatrixTranslation(&move, 80, 0, 0);
                                                            s.world = turn * move;
                                                            s.lights[0].Direction = {0, -1, 0};
                                                            v.nx = 1;
                                                            v.nz = 0;
                                                        },
                                                        {255, 128, 64}},
                                           LightingCase{"SpecularWhenEnabled",
                                                        [](PipelineState& s, Vertex& v) {
                                                            s.renderStates[D3DRS_SPECULARENABLE] = TRUE;
                                                            s.renderStates[D3DRS_LOCALVIEWER] = FALSE;
                                                            s.lights[0].Specular = {1, 1, 1, 1};
                                                            s.material.Power = 10;
                                                            v.diffuse = 0xFF000000;
                                                            v.specular = D3DCOLOR_XRGB(64, 64, 64);
                                                        },
                                                        {64, 64, 64}},
                                           LightingCase{"NoSpecularWhenDisabled",
                                                        [](PipelineState& s, Vertex& v) {
                                                            s.renderStates[D3DRS_LOCALVIEWER] = FALSE;
                                                            s.lights[0].Specular = {1, 1, 1, 1};
                                                            s.material.Power = 10;
                                                            v.diffuse = 0xFF000000;
                                                            v.specular = D3DCOLOR_XRGB(64, 64, 64);
                                                        },
                                                        {0, 0, 0}},
                                           LightingCase{"UnlitPassesVertexColour",
                                                        [](PipelineState& s, Vertex& v) {
                                                            s.renderStates[D3DRS_LIGHTING] = FALSE;
                                                            v.diffuse = D3DCOLOR_XRGB(0x33, 0x66, 0x99);
                                                            v.specular = D3DCOLOR_XRGB(0x10, 0x10, 0x10);
                                                        },
                                                        {0x33, 0x66, 0x99}},
                                           LightingCase{"UnlitAddsVertexSpecularWhenEnabled",
                                                        [](PipelineState& s, Vertex& v) {
                                                            s.renderStates[D3DRS_LIGHTING] = FALSE;
                                                            s.renderStates[D3DRS_SPECULARENABLE] = TRUE;
                                                            v.diffuse = D3DCOLOR_XRGB(0x33, 0x66, 0x99);
                                                            v.specular = D3DCOLOR_XRGB(0x10, 0x10, 0x10);
                                                        },
                                                        {0x43, 0x76, 0xA9}}),
                         [](const auto& info) { return std::string(info.param.name); });

// A point light 21 units in front of quad A's centre with range 50: A's
// corners are lit with D3D's attenuation, quad B lies beyond the range and
// gets nothing, not even the light's ambient. The view moves the world by
// `shift`, so the light has to be taken into camera space as the vertices are.
class GlPointLightTest : public GlGraphicsTest, public ::testing::WithParamInterface<float> {};

TEST_P(GlPointLightTest, RangeCutsLightOffAndAttenuationScalesIt) {
    const float shift = GetParam();
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    PipelineState s = Defaults();
    s.projection = ScreenProjection();
    D3DXMATRIX view;
    D3DXMatrixTranslation(&view, -shift, -shift, 0);
    s.view = view;
    s.material.Ambient = {1, 1, 1, 1};
    D3DLIGHT9& light = s.lights[0];
    light.Type = D3DLIGHT_POINT;
    light.Position = {15 + shift, 15 + shift, -20.5f};
    light.Diffuse = {0.5f, 0.5f, 0.5f, 1};
    light.Ambient = {0.2f, 0.2f, 0.2f, 1};
    light.Range = 50;
    light.Attenuation1 = 0.05f;
    s.lightCount = 1;
    std::vector<Vertex> quads = Quad(10 + shift, 10 + shift, 20 + shift, 20 + shift, 0xFFFFFFFF);
    for (const Vertex& v : Quad(100 + shift, 10 + shift, 110 + shift, 20 + shift, 0xFFFFFFFF)) quads.push_back(v);
    Draw(s, quads);

    const float distance = std::sqrt(5.0f * 5 + 5 * 5 + 21 * 21);
    const float attenuation = 1 / (0.05f * distance);
    const float level = 0.5f * (21 / distance) * attenuation + 0.2f * attenuation;
    const int expected = static_cast<int>(std::lround(level * 255));
    const Image frame = Shown();
    EXPECT_TRUE(Near(frame.At(15, 15), {expected, expected, expected}));
    EXPECT_TRUE(Near(frame.At(105, 15), {0, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Gl, GlPointLightTest, ::testing::Values(0.0f, 1000.0f),
                         [](const auto& info) { return std::string(info.param == 0 ? "Unmoved" : "Moved"); });

// ---------------------------------------------------------------- texturing

uint32_t Texel(int x, int y) { return D3DCOLOR_ARGB(0xFF, 40 + 60 * x, 40 + 60 * y, 0x80); }

std::vector<uint32_t> Gradient4x4() {
    std::vector<uint32_t> texels;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) texels.push_back(Texel(x, y));
    return texels;
}

struct TexelCase {
    const char* name;
    DWORD filter;
    int scale;
};

class GlTexelTest : public GlGraphicsTest, public ::testing::WithParamInterface<TexelCase> {};

// The texture's top row is v = 0 and lands at the top; at the usual -0.5
// offset every pixel takes exactly one texel, even through a linear filter.
TEST_P(GlTexelTest, TexelsLandOnTheirPixels) {
    const TexelCase& c = GetParam();
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    PipelineState s = Unlit();
    s.textures[0] = MakeTexture(4, 4, {Gradient4x4()});
    s.samplerStates[0][D3DSAMP_MINFILTER] = s.samplerStates[0][D3DSAMP_MAGFILTER] = c.filter;
    const auto size = static_cast<float>(4 * c.scale);
    Draw(s, Quad(10 - 0.5f, 20 - 0.5f, 10 - 0.5f + size, 20 - 0.5f + size, 0xFFFFFFFF));
    const Image frame = Shown();
    for (int y = 0; y < 4 * c.scale; ++y)
        for (int x = 0; x < 4 * c.scale; ++x) {
            const uint32_t t = Texel(x / c.scale, y / c.scale);
            EXPECT_TRUE(Near(frame.At(10 + x, 20 + y), {static_cast<int>((t >> 16) & 0xFF),
                                                        static_cast<int>((t >> 8) & 0xFF), static_cast<int>(t & 0xFF)}))
                << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Gl, GlTexelTest,
                         ::testing::Values(TexelCase{"PointDoubled", D3DTEXF_POINT, 2},
                                           TexelCase{"LinearOneToOne", D3DTEXF_LINEAR, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// A texture made with fewer levels than a full chain still draws through a
// mip filter, from the levels it has.
TEST_F(GlGraphicsTest, SingleLevelTextureDrawsThroughMipFilter) {
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    PipelineState s = Unlit();
    s.textures[0] = MakeTexture(4, 4, {std::vector<uint32_t>(16, 0xFF3060C0)});
    s.samplerStates[0][D3DSAMP_MINFILTER] = s.samplerStates[0][D3DSAMP_MAGFILTER] = D3DTEXF_LINEAR;
    s.samplerStates[0][D3DSAMP_MIPFILTER] = D3DTEXF_LINEAR;
    Draw(s, Quad(9.5f, 9.5f, 11.5f, 11.5f, D3DCOLOR_XRGB(255, 255, 0)));
    EXPECT_TRUE(Near(Shown().At(10, 10), {0x30, 0x60, 0}));
}

TEST_F(GlGraphicsTest, MipFilterPicksTheSmallerLevel) {
    Open();
    const TextureSource* texture =
        MakeTexture(4, 4, {std::vector<uint32_t>(16, 0xFFFF0000), std::vector<uint32_t>(4, 0xFF00FF00), {0xFF0000FF}});
    for (DWORD mip : {D3DTEXF_NONE, D3DTEXF_POINT}) {
        SCOPED_TRACE(mip);
        m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
        PipelineState s = Unlit();
        s.textures[0] = texture;
        s.samplerStates[0][D3DSAMP_MIPFILTER] = mip;
        Draw(s, Quad(9.5f, 9.5f, 11.5f, 11.5f, 0xFFFFFFFF));  // 4 texels over 2 pixels
        EXPECT_TRUE(Near(Shown().At(10, 10), mip == D3DTEXF_NONE ? Rgb{255, 0, 0} : Rgb{0, 255, 0}));
    }
}

// S3TC blocks as they are, drawn texel for pixel over white with their
// alpha: a DXT1 of 6x4 (its second block half used) with a transparent
// texel, and a DXT5 whose alpha falls in steps.
TEST_F(GlGraphicsTest, CompressedTexturesDrawFromTheirBlocks) {
    namespace ti = test_images;
    Open();
    ASSERT_TRUE(m_graphics->TakesCompressed(D3DFMT_DXT1));  // Mesa offers S3TC
    ASSERT_TRUE(m_graphics->TakesCompressed(D3DFMT_DXT5));
    EXPECT_FALSE(m_graphics->TakesCompressed(D3DFMT_A8R8G8B8));
    const std::vector<uint8_t> dxt1 =
        ti::Cat({ti::ColourBlock(0xF800, 0x001F, ti::RowIndices(0, 1, 2, 3)),    // red, blue: four colours
                 ti::ColourBlock(0x001F, 0xF800, ti::RowIndices(0, 3, 1, 2))});  // blue, red: three, transparent
    const uint8_t steps[16] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 7, 7, 7, 7};  // 255, 0, 6/7 and 1/7 of 255
    const std::vector<uint8_t> dxt5 = ti::Cat({ti::AlphaBlock(255, 0, steps), ti::ColourBlock(0xF800, 0xF800, 0)});
    const Rgb red{255, 0, 0}, blue{0, 0, 255}, white{255, 255, 255};
    struct Case {
        D3DFORMAT format;
        UINT w;
        const std::vector<uint8_t>& blocks;
        std::vector<std::vector<Rgb>> rows;
    } cases[] = {
        {D3DFMT_DXT1,
         6,
         dxt1,
         {{red, red, red, red, blue, blue},
          {blue, blue, blue, blue, white, white},
          {{170, 0, 85}, {170, 0, 85}, {170, 0, 85}, {170, 0, 85}, red, red},
          {{85, 0, 170}, {85, 0, 170}, {85, 0, 170}, {85, 0, 170}, {127, 0, 127}, {127, 0, 127}}}},
        {D3DFMT_DXT5,
         4,
         dxt5,
         {{red, red, red, red}, std::vector<Rgb>(4, white), {4, {255, 36, 36}}, {4, {255, 218, 218}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(255, 255, 255), 1.0f, 0);
        PipelineState s = Unlit();
        s.textures[0] = MakeCompressed(c.w, 4, c.format, c.blocks);
        s.samplerStates[0][D3DSAMP_MINFILTER] = s.samplerStates[0][D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        s.renderStates[D3DRS_ALPHABLENDENABLE] = TRUE;
        s.renderStates[D3DRS_SRCBLEND] = D3DBLEND_SRCALPHA;
        s.renderStates[D3DRS_DESTBLEND] = D3DBLEND_INVSRCALPHA;
        Draw(s, Quad(10 - 0.5f, 20 - 0.5f, 10 - 0.5f + float(c.w), 20 - 0.5f + 4, 0xFFFFFFFF));
        const Image frame = Shown();
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < int(c.w); ++x)
                EXPECT_TRUE(Near(frame.At(10 + x, 20 + y), c.rows[size_t(y)][size_t(x)])) << x << "," << y;
    }
}

struct AddressCase {
    const char* name;
    DWORD mode;
    std::array<char, 8> row;  // what each pixel shows: A, B or the border C
};

class GlAddressTest : public GlGraphicsTest, public ::testing::WithParamInterface<AddressCase> {};

// A two-texel texture across eight pixels, u from 0 to 4.
TEST_P(GlAddressTest, AddressModeRepeatsMirrorsOrClamps) {
    const AddressCase& c = GetParam();
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    PipelineState s = Unlit();
    s.textures[0] = MakeTexture(2, 1, {{0xFFFF0000, 0xFF00FF00}});
    s.samplerStates[0][D3DSAMP_ADDRESSU] = c.mode;
    s.samplerStates[0][D3DSAMP_BORDERCOLOR] = 0xFF0000FF;
    std::vector<Vertex> quad = Quad(9.5f, 9.5f, 17.5f, 11.5f, 0xFFFFFFFF);
    for (Vertex& v : quad) v.u0 *= 4;
    Draw(s, quad);
    const Image frame = Shown();
    for (int x = 0; x < 8; ++x) {
        const Rgb expected = c.row[static_cast<size_t>(x)] == 'A'   ? Rgb{255, 0, 0}
                             : c.row[static_cast<size_t>(x)] == 'B' ? Rgb{0, 255, 0}
                                                                    : Rgb{0, 0, 255};
        EXPECT_TRUE(Near(frame.At(10 + x, 10), expected)) << x;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Gl, GlAddressTest,
    ::testing::Values(AddressCase{"Wrap", D3DTADDRESS_WRAP, {'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B'}},
                      AddressCase{"Mirror", D3DTADDRESS_MIRROR, {'A', 'B', 'B', 'A', 'A', 'B', 'B', 'A'}},
                      AddressCase{"Clamp", D3DTADDRESS_CLAMP, {'A', 'B', 'B', 'B', 'B', 'B', 'B', 'B'}},
                      AddressCase{"Border", D3DTADDRESS_BORDER, {'A', 'B', 'C', 'C', 'C', 'C', 'C', 'C'}}),
    [](const auto& info) { return std::string(info.param.name); });

// Texture T = (200, 100, 50) alpha 0x80, diffuse D = (100, 200, 150) alpha
// 0x40, texture factor F = (60, 120, 240) alpha 0xC0.
struct StageCase {
    const char* name;
    void (*apply)(PipelineState&);
    Rgb expected;
    int alpha;  // -1: not looked at
};

class GlStageTest : public GlGraphicsTest, public ::testing::WithParamInterface<StageCase> {};

TEST_P(GlStageTest, StageCascadeCombinesArguments) {
    const StageCase& c = GetParam();
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_ARGB(0, 0, 0, 0), 1.0f, 0);
    PipelineState s = Unlit();
    s.textures[0] = MakeTexture(1, 1, {{D3DCOLOR_ARGB(0x80, 200, 100, 50)}});
    s.renderStates[D3DRS_TEXTUREFACTOR] = D3DCOLOR_ARGB(0xC0, 60, 120, 240);
    c.apply(s);
    Draw(s, Quad(20, 20, 60, 60, D3DCOLOR_ARGB(0x40, 100, 200, 150)));
    const Image frame = Shown();
    EXPECT_TRUE(Near(frame.At(40, 40), c.expected));
    if (c.alpha >= 0) {
        EXPECT_NEAR(frame.AlphaAt(40, 40), c.alpha, 3);
    }
}

void Op(PipelineState& s, DWORD stage, DWORD op, DWORD arg1, DWORD arg2 = D3DTA_CURRENT) {
    s.stageStates[stage][D3DTSS_COLOROP] = op;
    s.stageStates[stage][D3DTSS_COLORARG1] = arg1;
    s.stageStates[stage][D3DTSS_COLORARG2] = arg2;
}

INSTANTIATE_TEST_SUITE_P(
    Gl, GlStageTest,
    ::testing::Values(
        StageCase{"Modulate",
                  [](PipelineState& s) { Op(s, 0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE); },
                  {78, 78, 29},
                  0x80},
        StageCase{"SelectArg2",
                  [](PipelineState& s) { Op(s, 0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE); },
                  {100, 200, 150},
                  -1},
        StageCase{
            "Add", [](PipelineState& s) { Op(s, 0, D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE); }, {255, 255, 200}, -1},
        StageCase{"Subtract",
                  [](PipelineState& s) { Op(s, 0, D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_DIFFUSE); },
                  {100, 0, 0},
                  -1},
        StageCase{"Modulate2X",
                  [](PipelineState& s) { Op(s, 0, D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE); },
                  {157, 157, 59},
                  -1},
        StageCase{"AddSigned",
                  [](PipelineState& s) { Op(s, 0, D3DTOP_ADDSIGNED, D3DTA_TEXTURE, D3DTA_DIFFUSE); },
                  {172, 172, 72},
                  -1},
        StageCase{"TextureFactor",
                  [](PipelineState& s) { Op(s, 0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TFACTOR); },
                  {47, 47, 47},
                  -1},
        StageCase{"Complement",
                  [](PipelineState& s) { Op(s, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT); },
                  {55, 155, 205},
                  -1},
        StageCase{"AlphaReplicate",
                  [](PipelineState& s) { Op(s, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE); },
                  {128, 128, 128},
                  -1},
        StageCase{"BlendTextureAlpha",
                  [](PipelineState& s) { Op(s, 0, D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE); },
                  {150, 150, 100},
                  -1},
        StageCase{"BlendDiffuseAlpha",
                  [](PipelineState& s) { Op(s, 0, D3DTOP_BLENDDIFFUSEALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE); },
                  {125, 175, 125},
                  -1},
        StageCase{"SecondStageReadsCurrent",
                  [](PipelineState& s) {
                      Op(s, 0, D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                      Op(s, 1, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TFACTOR);
                  },
                  {60, 120, 188},
                  -1},
        StageCase{"FirstStageDisabledGivesDiffuse",
                  [](PipelineState& s) { s.stageStates[0][D3DTSS_COLOROP] = D3DTOP_DISABLE; },
                  {100, 200, 150},
                  -1},
        StageCase{"MissingTextureSamplesWhite",
                  [](PipelineState& s) {
                      s.textures[0] = nullptr;
                      Op(s, 0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                  },
                  {100, 200, 150},
                  -1},
        StageCase{"ModulatedAlpha",
                  [](PipelineState& s) {
                      s.stageStates[0][D3DTSS_ALPHAOP] = D3DTOP_MODULATE;
                      s.stageStates[0][D3DTSS_ALPHAARG2] = D3DTA_DIFFUSE;
                  },
                  {78, 78, 29},
                  0x20},
        // Stage 1 changes colour only; its disabled alpha passes stage 0's on.
        StageCase{"DisabledAlphaPassesCurrentAlpha",
                  [](PipelineState& s) {
                      s.stageStates[0][D3DTSS_ALPHAARG1] = D3DTA_TFACTOR;
                      Op(s, 1, D3DTOP_SELECTARG1, D3DTA_DIFFUSE);
                  },
                  {100, 200, 150},
                  0xC0}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------- what the window shows

TEST_F(GlGraphicsTest, GammaRampScalesWindowButNotReadFrame) {
    Open();
    m_graphics->Clear(D3DCLEAR_TARGET, D3DCOLOR_XRGB(200, 100, 40), 1.0f, 0);
    const Image frame = Shown(Ramp(64, 128));
    EXPECT_TRUE(Near(frame.At(80, 60), {200, 100, 40}));
    const Image window = Window();
    EXPECT_TRUE(Near(window.At(window.width / 2, window.height / 2), {100, 50, 20}));
}

struct LetterboxCase {
    const char* name;
    int windowWidth, windowHeight;
    int x, y, width, height;  // where the frame appears
};

class GlLetterboxTest : public GlGraphicsTest, public ::testing::WithParamInterface<LetterboxCase> {};

// The frame's top half is red and its bottom half green; it keeps its aspect,
// centred between black bars, upright.
TEST_P(GlLetterboxTest, FrameKeepsAspectBetweenBlackBars) {
    const LetterboxCase& c = GetParam();
    Open(c.windowWidth, c.windowHeight);
    m_graphics->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 255, 0), 1.0f, 0);
    Draw(Unlit(), Quad(0, 0, kWidth, kHeight / 2, D3DCOLOR_XRGB(255, 0, 0)));
    m_graphics->Present(Ramp(1, 1));
    const Image window = Window();
    ASSERT_EQ(window.width, c.windowWidth);
    ASSERT_EQ(window.height, c.windowHeight);
    const Rgb black{0, 0, 0}, red{255, 0, 0}, green{0, 255, 0};
    EXPECT_TRUE(Near(window.At(c.x + c.width / 2, c.y + c.height / 4), red));
    EXPECT_TRUE(Near(window.At(c.x + c.width / 2, c.y + c.height * 3 / 4), green));
    EXPECT_TRUE(Near(window.At(c.x + 1, c.y + 1), red));
    EXPECT_TRUE(Near(window.At(c.x + c.width - 2, c.y + c.height - 2), green));
    if (c.x > 0) {
        EXPECT_TRUE(Near(window.At(c.x - 1, c.windowHeight / 2), black));
        EXPECT_TRUE(Near(window.At(c.x + c.width, c.windowHeight / 2), black));
    }
    if (c.y > 0) {
        EXPECT_TRUE(Near(window.At(c.windowWidth / 2, c.y - 1), black));
        EXPECT_TRUE(Near(window.At(c.windowWidth / 2, c.y + c.height), black));
    }
}

INSTANTIATE_TEST_SUITE_P(Gl, GlLetterboxTest,
                         ::testing::Values(LetterboxCase{"Wider", 320, 120, 80, 0, 160, 120},
                                           LetterboxCase{"Taller", 160, 240, 0, 60, 160, 120},
                                           LetterboxCase{"SameAspectScaled", 320, 240, 0, 0, 320, 240}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GlGraphicsTest, ViolationIsReportedOncePerMessage) {
    Open();
    ::testing::internal::CaptureStderr();
    m_graphics->Violation("first complaint");
    m_graphics->Violation("second complaint");
    m_graphics->Violation("first complaint");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "first complaint\nsecond complaint\n");
}

}  // namespace
