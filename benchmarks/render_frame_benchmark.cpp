// Renderer frames through the real renderer: the frame time and the heap
// allocations per frame. Once every material has been seen, the engine's
// side of a steady frame should allocate nothing. The platform backend is
// KELVANDOR_PLATFORM's (headless when unset).
//
// RenderFrame: 1,000 objects over 20 materials in the dynamic block, with no
// camera and no textures on disk (kept for comparison: it draws little).
// LevelFrame/1: frame_scene.h's 1,200 quads over 20 materials with real
// textures, under a game camera (order 9), tiling the screen once as a
// level's backdrop does; LevelFrame/3: the same quads in three screen-filling
// sheets, the whole frame's fill three times over.
// FloorFile/N: the headless floor, the same quads filed by material and
// copied into one buffer without the engine; floor_gl.cpp has the GL floors,
// which run with KELVANDOR_PLATFORM=sdl.
// The run ends with the ratios of the engine's frames to their floors.
// ParticlesAndStars: 2,000 live particles over the sample's emitters and a
// 300-star field, the game's effects on screen; no particle is born or dies.
// ParticlesReAdded: the same with particles dying and born again each frame
// so the count stays 2,000, which is what a steady stream of effects costs.
// Shots: the weapons system keeping 500 straight shots in flight across the
// screen, a few finishing and fired again from their pool every frame; its
// update, then the renderer's frame.
// Commands: the script traffic of a level's frame: "level_move" to the
// player's script, an "update_game_interface" to a category, a long "shot"
// by name, each script reading all of its commands in its slice.
#include "Render/KCamera.h"
#include "Render/KMaterial.h"
#include "Render/KMeshFile.h"
#include "Render/KParticles.h"
#include "Render/KRender.h"
#include "Render/KRenderBlock.h"
#include "Render/KRenderObject.h"
#include "Render/KRenderObjectLoader.h"
#include "core/KConfigVars.h"
#include "core/KKernel.h"
#include "core/KMemoryManager.h"
#include "game/KLevel.h"
#include "game/KStars.h"
#include "game/KWeapons.h"
#include "platform/backend/backend.h"
#include "platform/d3d9/d3d9_impl.h"
#include "platform/headless/headless_graphics.h"
#include "platform/table/backend_table.h"
#include "script/KLuaFunctions.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include "bench_results.h"
#include "frame_scene.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
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
constexpr int kParticles = 2000;
constexpr int kStars = 300;
constexpr int kShots = 500;

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

// The platform, kernel, window, material manager and a started renderer, in
// a working folder holding the sample files named (paths under the data
// folder). Torn down completely, since every benchmark brings it up again.
class Stage {
public:
    Stage(benchmark::State& state, const std::vector<std::filesystem::path>& files)
        : m_old(std::filesystem::current_path()) {
        const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kv_render_benchmark";
        for (const std::filesystem::path& file : files) {
            std::filesystem::create_directories((dir / file).parent_path());
            std::filesystem::copy_file(std::filesystem::path(KV_DATA_DIR) / file, dir / file,
                                       std::filesystem::copy_options::overwrite_existing);
        }
        std::filesystem::current_path(dir);

        const char* backend = std::getenv("KELVANDOR_PLATFORM");
        std::string error;
        if (!platform::Startup(backend && *backend ? backend : "headless", &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        m_platform = true;
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
        render = new CKRender();
        if (!render->Start()) {
            state.SkipWithError("the renderer did not start");
            render = nullptr;
            return;
        }
        // Recording would dominate a headless frame; the engine's work is what is measured.
        if (platform::HeadlessGraphics* recorder = platform::HeadlessRecorder())
            recorder->recordCalls = recorder->recordDraws = false;
    }

    // Whatever the benchmark holds (objects, materials, tasks) must be let go first.
    ~Stage() {
        if (m_platform) {
            if (render) render->Stop();
            render = nullptr;
            // Everything goes before the platform does: the function runs again.
            while (!g_PendingObjects.empty()) CollectGarbage();
            delete g_Kernel;
            delete GetMaterialManager();
            while (!g_PendingObjects.empty()) CollectGarbage();
            platform::Shutdown();
        }
        std::filesystem::current_path(m_old);
    }
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    // One pass of the main loop as far as these benchmarks go: the frame
    // counted, the benchmark's work (tasks before the renderer), the renderer.
    template <class Work>
    void Frame(Work&& work) {
        ++g_FrameCount;
        g_FrameTime = 1.0f / 60.0f;
        platform::detail::CountFrame();
        work();
        render->Update();
    }

    // A few frames so every material is seen and filed, then the measured ones.
    // The frame time is also kept under `name` for the ratios.
    template <class Work>
    void Measure(benchmark::State& state, const std::string& name, Work&& work) {
        for (int i = 0; i < 3; ++i) Frame(work);
        uint64_t allocations = 0;
        const uint64_t calls = platform::d3d::NativeCallCount(render->GetDevice());
        bench::Stopwatch watch;
        for (auto _ : state) {
            const uint64_t before = g_allocations.load();
            Frame(work);
            allocations += g_allocations.load() - before;
        }
        bench::Record(name, watch.Seconds() / static_cast<double>(state.iterations()), state.iterations());
        state.counters["allocations_per_frame"] =
            benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
        state.counters["gl_calls_per_frame"] =
            benchmark::Counter(static_cast<double>(platform::d3d::NativeCallCount(render->GetDevice()) - calls),
                               benchmark::Counter::kAvgIterations);
        // The share of the presented frame that is not black, where the
        // backend has pixels: a scene that drew nothing would time nothing.
        std::vector<uint8_t> rgba;
        UINT width = 0, height = 0;
        if (platform::d3d::ReadPresentedFrame(render->GetDevice(), &rgba, &width, &height) && width && height) {
            size_t lit = 0;
            for (size_t i = 0; i + 3 < rgba.size(); i += 4) lit += (rgba[i] | rgba[i + 1] | rgba[i + 2]) != 0;
            state.counters["covered"] = static_cast<double>(lit) / (static_cast<double>(width) * height);
        }
        state.SetLabel(platform::Backend()->Name());
    }

    CKPtr<CKRender> render;  // null: the benchmark was skipped

private:
    std::filesystem::path m_old;
    bool m_platform = false;
};

void RenderFrame(benchmark::State& state) {
    Stage stage(state, {"Data/Effects/simple.fx"});
    if (!stage.render) return;
    std::vector<CKPtr<CKMaterial>> materials;
    for (int m = 0; m < kMaterials; ++m)
        materials.push_back(
            GetMaterialManager()->GetMaterial(10 + m % 3, "simple.fx", {"t" + std::to_string(m) + ".tga"}));
    std::vector<CKPtr<CKRenderObject>> objects;
    for (int i = 0; i < kObjects; ++i) {
        objects.emplace_back(new Quad(i));
        objects.back()->SetMaterial(materials[static_cast<size_t>(i % kMaterials)]);
    }
    stage.Measure(state, "RenderFrame", [&] {
        for (const CKPtr<CKRenderObject>& o : objects) stage.render->GetDynamicBlock()->AddObject(o);
    });
}

// A quad of the scene as a render object, in world space already.
class SceneQuad : public CKRenderObject {
public:
    explicit SceneQuad(const scene::Quad& quad) : CKRenderObject("quad") {
        for (const scene::Vertex& v : quad.v) {
            SKVertex vertex;
            static_assert(sizeof vertex == sizeof v);
            std::memcpy(&vertex, &v, sizeof v);
            vertices.push_back(vertex);
        }
        indices.assign(std::begin(scene::kQuadIndices), std::end(scene::kQuadIndices));
        worldVertices = vertices;
        // As the floors take them: a level's backdrop is placed once, not
        // moved every frame.
        SetVerticesReady();
    }
};

void LevelFrame(benchmark::State& state) {
    const int sheets = static_cast<int>(state.range(0));
    Stage stage(state, {"Data/Effects/simple.fx"});
    if (!stage.render) return;
    std::filesystem::create_directories("Data/Textures");
    for (int m = 0; m < scene::kMaterials; ++m) {
        const std::vector<uint8_t> tga = scene::TextureTga(m);
        std::ofstream("Data/Textures/" + scene::TextureName(m), std::ios::binary)
            .write(reinterpret_cast<const char*>(tga.data()), static_cast<std::streamsize>(tga.size()));
    }
    CKPtr<CKPerspectiveCamera> camera(new CKPerspectiveCamera());
    camera->SetEye({0, 0, scene::kEyeZ});
    camera->SetLookAt({0, 0, 0});
    camera->SetUp({0, 1, 0});
    camera->SetFov(scene::kFov);
    camera->SetNear(scene::kNear);
    camera->SetFar(scene::kFar);
    camera->Update();
    stage.render->AddCamera(9, camera);
    std::vector<CKPtr<CKMaterial>> materials;
    for (int m = 0; m < scene::kMaterials; ++m)
        materials.push_back(GetMaterialManager()->GetMaterial(10 + m % 3, "simple.fx", {scene::TextureName(m)}));
    std::vector<CKPtr<CKRenderObject>> objects;
    for (const scene::Quad& quad : scene::Quads(sheets)) {
        objects.emplace_back(new SceneQuad(quad));
        objects.back()->SetMaterial(materials[static_cast<size_t>(quad.material)]);
    }
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {0, 0, 1};
    stage.Measure(state, "LevelFrame/" + std::to_string(sheets), [&] {
        stage.render->AddLight(light);
        for (const CKPtr<CKRenderObject>& o : objects) stage.render->GetDynamicBlock()->AddObject(o);
    });
}

void FloorFile(benchmark::State& state) {
    const int sheets = static_cast<int>(state.range(0));
    const std::vector<scene::Quad> quads = scene::Quads(sheets);
    scene::Batches batches;
    batches.Fill(quads);
    const uint64_t before = g_allocations.load();
    bench::Stopwatch watch;
    for (auto _ : state) {
        batches.Fill(quads);
        benchmark::DoNotOptimize(batches.vertices.data());
        benchmark::ClobberMemory();
    }
    bench::Record("FloorFile/" + std::to_string(sheets), watch.Seconds() / static_cast<double>(state.iterations()),
                  state.iterations());
    state.counters["allocations_per_frame"] =
        benchmark::Counter(static_cast<double>(g_allocations.load() - before), benchmark::Counter::kAvgIterations);
}

// Particles spread over the sample's emitters in a grid before the camera,
// every other one fading, with the lifetime given; a star field in front
// of the same camera.
class ParticleScene {
public:
    explicit ParticleScene(float lifetime) : m_lifetime(lifetime) {
        CKPtr<CKPerspectiveCamera> camera(new CKPerspectiveCamera());
        camera->SetEye({0, 0, -10});
        camera->SetLookAt({0, 0, 0});
        camera->SetUp({0, 1, 0});
        camera->SetFov(1.0f);
        camera->SetNear(1.0f);
        camera->SetFar(100.0f);
        camera->Update();
        GetRender()->AddCamera(9, camera);

        particles = new CKParticlesManager();
        particles->m_priority = 9000;
        started = particles->Start();
        for (const auto& [name, emitter] : particles->emitters) names.push_back(name);
        if (names.empty()) started = false;
        for (int i = 0; i < kParticles; ++i) Add(i, m_lifetime * static_cast<float>(1 + i % 60) / 60.0f);

        stars = new CKStars();
        stars->Init(-8.0f, 8.0f, -6.0f, 6.0f, kStars);
    }
    ~ParticleScene() {
        if (particles) particles->ReleaseAll();
        particles = nullptr;
        stars = nullptr;
    }

    // The particle of number i (which also picks its emitter), at its place
    // in the grid with its own drift.
    void Add(int i, float lifetime) {
        SKParticleDesc desc{};
        desc.position = {static_cast<float>(i % 50) * 0.3f - 7.5f, static_cast<float>(i / 50 % 40) * 0.3f - 6.0f, 0.0f};
        desc.velocity = {0.01f * static_cast<float>(i % 7 - 3), 0.02f, 0.0f};
        desc.size = 0.1f;
        desc.sizeRate = 0.001f;
        desc.lifetime = lifetime;
        desc.fade = static_cast<float>(i & 1);
        particles->AddParticle(names[static_cast<size_t>(i) % names.size()], desc);
    }

    // What the game's tasks do each frame: the particles task, then the
    // star field drifting up (so stars wrap round during the run) and drawn.
    void Update() {
        particles->Update();
        stars->Update(-0.1f, 0.0f);
        GetRender()->GetDynamicBlock()->AddObject(stars);
    }

    int LiveParticles() const {
        size_t live = 0;
        for (const auto& [name, emitter] : particles->emitters) live += emitter->particles.size();
        return static_cast<int>(live);
    }

    CKPtr<CKParticlesManager> particles;
    CKPtr<CKStars> stars;
    std::vector<std::string> names;
    bool started = false;

private:
    float m_lifetime;
};

const std::vector<std::filesystem::path> kParticleFiles = {
    "Data/particles.dat",      "Data/Effects/particle.fx", "Data/Effects/stars.fx",        "Data/Textures/flare.tga",
    "Data/Textures/spark.tga", "Data/Textures/smoke.tga",  "Data/Textures/star_small_.tga"};

void ParticlesAndStars(benchmark::State& state) {
    Stage stage(state, kParticleFiles);
    if (!stage.render) return;
    // Lifetimes far beyond any run: the frame itself is measured, not births.
    ParticleScene scene(1e9f);
    if (!scene.started) {
        state.SkipWithError("the particles manager did not start");
        return;
    }
    stage.Measure(state, "ParticlesAndStars", [&] { scene.Update(); });
    if (scene.LiveParticles() != kParticles) state.SkipWithError("particles died during the run");
}

void ParticlesReAdded(benchmark::State& state) {
    Stage stage(state, kParticleFiles);
    if (!stage.render) return;
    // One second at most, staggered: about 2,000 / 60 die and are born again each frame.
    constexpr float kLifetime = 1.0f;
    ParticleScene scene(kLifetime);
    if (!scene.started) {
        state.SkipWithError("the particles manager did not start");
        return;
    }
    int next = 0;
    stage.Measure(state, "ParticlesReAdded", [&] {
        scene.Update();
        for (int live = scene.LiveParticles(); live < kParticles; ++live) scene.Add(next++, kLifetime);
    });
}

// A bolt that never meets anything (there is no level), flying 30 units a
// second: 101 frames to the end of its range, so firing 5 a frame fills
// the screen with 500 and then replaces those that finish.
constexpr int kShotsPerFrame = 5;
constexpr const char* kShotTable = "bolt simple bolt.rdf; enemy; 30; 0; none; none\n";

// A thin additive diamond in the play plane, nose along -y, as the game's bolts.
bool WriteBoltMesh() {
    SKMeshFile mesh;
    mesh.root.name = "bolt";
    const float corners[4][2] = {{0.0f, -0.4f}, {0.07f, 0.0f}, {0.0f, 0.4f}, {-0.07f, 0.0f}};
    const float uvs[4][2] = {{0.5f, 0.0f}, {1.0f, 0.5f}, {0.5f, 1.0f}, {0.0f, 0.5f}};
    for (int i = 0; i < 4; ++i) {
        SKVertex vertex{};
        vertex.x = corners[i][0], vertex.y = corners[i][1];
        vertex.nz = -1.0f;
        vertex.diffuse = 0xFF40C0FF;
        vertex.u0 = uvs[i][0], vertex.v0 = uvs[i][1];
        mesh.root.vertices.push_back(vertex);
    }
    mesh.root.indices = {0, 1, 2, 0, 2, 3};
    std::vector<uint8_t> bytes;
    std::string error;
    if (!WriteMeshFile(mesh, &bytes, &error)) return false;
    std::filesystem::create_directories("Data/Meshes");
    std::ofstream("Data/Meshes/bolt.msh", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::ofstream("Data/Meshes/bolt.rdf") << "mesh = bolt.msh\n[bolt]\neffectfile = glow.fx\ntexturefile1 = glow.tga\n"
                                             "type = 1\n";
    std::ofstream("Data/weapons.dat") << kShotTable;
    return true;
}

void Shots(benchmark::State& state) {
    Stage stage(state, {"Data/Effects/glow.fx", "Data/Textures/glow.tga"});
    if (!stage.render) return;
    if (!WriteBoltMesh()) {
        state.SkipWithError("the bolt mesh could not be written");
        return;
    }
    // Far enough back that the whole 50-unit flight stays on screen.
    CKPtr<CKPerspectiveCamera> camera(new CKPerspectiveCamera());
    camera->SetEye({0, 0, -60});
    camera->SetLookAt({0, 0, 0});
    camera->SetUp({0, 1, 0});
    camera->SetFov(1.0f);
    camera->SetNear(1.0f);
    camera->SetFar(200.0f);
    camera->Update();
    stage.render->AddCamera(9, camera);

    const auto loader = std::make_unique<CKRenderObjectLoader>();
    CKPtr<CKWeaponsSystem> weapons(new CKWeaponsSystem());
    if (!weapons->Start()) {
        state.SkipWithError("the weapons system did not start");
        return;
    }
    const std::string bolt = "bolt";
    int fired = 0;
    // Each row of the screen in turn, left edge to the right.
    const auto fire = [&] {
        const float y = static_cast<float>(fired % 40) - 20.0f;
        weapons->Fire(bolt, {-25.0f, y, 0.0f}, {1.0f, 0.0f, 0.0f});
        ++fired;
    };
    // Staggered launches, so shots finish a few at a time rather than all at
    // once; bounded, should a shot fail to fire.
    for (int frame = 0; frame < 2 * kShots && static_cast<int>(weapons->liveShots.size()) < kShots; ++frame)
        stage.Frame([&] {
            weapons->Update();
            for (int i = 0; i < kShotsPerFrame && static_cast<int>(weapons->liveShots.size()) < kShots; ++i) fire();
        });
    const int firedBefore = fired;
    size_t fewest = weapons->liveShots.size();
    stage.Measure(state, "Shots", [&] {
        weapons->Update();
        fewest = std::min(fewest, weapons->liveShots.size());
        for (int i = static_cast<int>(weapons->liveShots.size()); i < kShots; ++i) fire();
    });
    state.counters["refired_per_frame"] =
        benchmark::Counter(static_cast<double>(fired - firedBefore), benchmark::Counter::kAvgIterations);
    // Drawn each frame: what stayed in flight through the update.
    state.counters["fewest_drawn"] = static_cast<double>(fewest);
}

// Reads every command with its parameters each slice, as the game's scripts do.
constexpr const char* kCommandReader = R"lua(
while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    local first = GetCurrentParams(globalObject)
  end
  Update()
end
)lua";

void Commands(benchmark::State& state) {
    Stage stage(state, {});
    if (!stage.render) return;
    std::filesystem::create_directories("Data/Scripts");
    std::ofstream("Data/Scripts/list.dat") << "player t_level player\nhud t_interface interface\n";
    std::ofstream("Data/Scripts/player.lua") << kCommandReader;
    std::ofstream("Data/Scripts/hud.lua") << kCommandReader;
    InstallEngineLuaFunctions();
    {
        CKScriptManager scripts;
        if (!scripts.LoadScriptList()) {
            state.SkipWithError("the scripts did not load");
            return;
        }
        CKPtr<CKLuaScript> player = scripts.GetScript("player"), hud = scripts.GetScript("hud");
        player->Start();
        hud->Start();
        const std::string enemy = ObjectIdString(hud.Get()), shooter = ObjectIdString(player.Get());
        stage.Measure(state, "Commands", [&] {
            std::string& move = scripts.ParamsText();
            AppendFixedSix(move, -g_FrameTime);
            scripts.SendCommandByObject(player, "level_move", move);
            scripts.SendCommandByCategory("interface", "update_game_interface", "");
            std::string& shot = scripts.ParamsText();
            shot.append(enemy).append(",").append(shooter).append(",");
            AppendFixedSix(shot, 12.0f);
            shot.append(",enemy");
            scripts.SendCommandByName("player", "shot", shot);
            player->Update();
            hud->Update();
        });
        if (!player->m_commands.empty() || !hud->m_commands.empty())
            state.SkipWithError("the scripts did not read their commands");
        player = hud = nullptr;
    }
    while (!g_PendingObjects.empty()) CollectGarbage();
}

BENCHMARK(RenderFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(LevelFrame)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(FloorFile)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(ParticlesAndStars)->Unit(benchmark::kMicrosecond);
BENCHMARK(ParticlesReAdded)->Unit(benchmark::kMicrosecond);
BENCHMARK(Shots)->Unit(benchmark::kMicrosecond);
BENCHMARK(Commands)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const char* backend = std::getenv("KELVANDOR_PLATFORM");
    if (backend && std::strcmp(backend, "sdl") == 0) bench::RegisterGlFloors();
    benchmark::RunSpecifiedBenchmarks();
    // The headless floor is the measure of a headless run; a run with a
    // display is measured against the GL floors.
    const bool gl = bench::Results().count("FloorGlDirect/1") || bench::Results().count("FloorGlScaled/1");
    for (const char* sheets : {"/1", "/3"})
        for (const char* floor : {"FloorFile", "FloorGlDirect", "FloorGlScaled"})
            if (gl != (std::strcmp(floor, "FloorFile") == 0))
                bench::PrintRatio(std::string("LevelFrame") + sheets, std::string(floor) + sheets);
    benchmark::Shutdown();
    return 0;
}
