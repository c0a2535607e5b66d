// One renderer frame with 1,000 objects over 20 materials in the dynamic
// block: the frame time and the heap allocations per frame. Once every
// material has been seen, the engine's side of a frame should allocate
// nothing. The platform backend is KELVANDOR_PLATFORM's (headless when unset).
#include "Render/KMaterial.h"
#include "Render/KRender.h"
#include "Render/KRenderBlock.h"
#include "Render/KRenderObject.h"
#include "core/KConfigVars.h"
#include "core/KKernel.h"
#include "core/KMemoryManager.h"
#include "platform/backend/backend.h"
#include "platform/headless/headless_graphics.h"
#include "platform/table/backend_table.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace {
std::atomic<uint64_t> g_allocations{0};
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr int kObjects = 1000;
constexpr int kMaterials = 20;

class Quad : public CKRenderObject {
public:
    Quad(int i) : CKRenderObject("quad") {
        for (int v = 0; v < 4; ++v) {
            SKVertex vertex{};
            vertex.x = static_cast<float>(i % 40) * 0.5f + static_cast<float>(v & 1) * 0.4f - 10.0f;
            vertex.y = static_cast<float>(i / 40) * 0.5f + static_cast<float>(v >> 1) * 0.4f - 6.0f;
            vertex.nz = -1.0f;
            vertex.diffuse = 0xFFFFFFFF;
            vertices.push_back(vertex);
        }
        indices = {0, 1, 2, 2, 1, 3};
        worldVertices = vertices;
    }
};

LRESULT Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

void RenderFrame(benchmark::State& state) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kv_render_benchmark";
    std::filesystem::create_directories(dir / "Data" / "Effects");
    std::filesystem::copy_file(std::filesystem::path(KV_DATA_DIR) / "Data" / "Effects" / "simple.fx",
                               dir / "Data" / "Effects" / "simple.fx",
                               std::filesystem::copy_options::overwrite_existing);
    const std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(dir);

    const char* backend = std::getenv("KELVANDOR_PLATFORM");
    std::string error;
    if (!platform::Startup(backend && *backend ? backend : "headless", &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    screenWidth = 800, screenHeight = 600, screenBPP = 32, fullScreen = 1;
    g_AppActive = 1;
    new CKKernel();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "Benchmark";
    RegisterClassExA(&wc);
    g_Kernel->m_hWnd =
        CreateWindowExA(0, "Benchmark", "Benchmark", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(g_Kernel->m_hWnd, SW_SHOW);
    new CKMaterialManager();
    {
        CKPtr<CKRender> render(new CKRender());
        if (!render->Start()) {
            state.SkipWithError("the renderer did not start");
        } else {
            // Recording would dominate a headless frame; the engine's work is what is measured.
            if (platform::HeadlessGraphics* recorder = platform::HeadlessRecorder())
                recorder->recordCalls = recorder->recordDraws = false;
            std::vector<CKPtr<CKMaterial>> materials;
            for (int m = 0; m < kMaterials; ++m)
                materials.push_back(
                    GetMaterialManager()->GetMaterial(10 + m % 3, "simple.fx", {"t" + std::to_string(m) + ".tga"}));
            std::vector<CKPtr<CKRenderObject>> objects;
            for (int i = 0; i < kObjects; ++i) {
                objects.emplace_back(new Quad(i));
                objects.back()->SetMaterial(materials[static_cast<size_t>(i % kMaterials)]);
            }
            auto frame = [&] {
                for (const CKPtr<CKRenderObject>& o : objects) render->GetDynamicBlock()->AddObject(o);
                ++g_FrameCount;
                g_FrameTime = 1.0f / 60.0f;
                platform::detail::CountFrame();
                render->Update();
            };
            for (int i = 0; i < 3; ++i) frame();  // every material seen and filed
            uint64_t allocations = 0;
            for (auto _ : state) {
                const uint64_t before = g_allocations.load();
                frame();
                allocations += g_allocations.load() - before;
            }
            state.counters["allocations_per_frame"] =
                benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
            state.SetLabel(platform::Backend()->Name());
            render->Stop();
        }
    }
    // Everything goes before the platform does: the function runs again.
    while (!g_PendingObjects.empty()) CollectGarbage();
    delete g_Kernel;
    delete GetMaterialManager();
    while (!g_PendingObjects.empty()) CollectGarbage();
    platform::Shutdown();
    std::filesystem::current_path(old);
}

BENCHMARK(RenderFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
