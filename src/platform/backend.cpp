#include "platform/backend.h"

#include "platform/headless/headless_backend.h"
#include "platform/sdl/sdl_backend.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

namespace platform {
namespace {

const BackendEntry kBackends[] = {
    {"sdl", &CreateSdlBackend},
    {"headless", &CreateHeadlessBackend},
};

std::unique_ptr<IBackend> g_backend;
SessionPlayer g_session;
uint32_t g_frame = 0;
std::string g_screenshot;

std::string JoinWords(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
    return out;
}

}  // namespace

std::vector<D3DDISPLAYMODE> IBackend::DisplayModes(D3DFORMAT format) {
    std::vector<D3DDISPLAYMODE> modes;
    if (format != D3DFMT_R5G6B5 && format != D3DFMT_X8R8G8B8) return modes;
    const UINT sizes[][2] = {{640, 480}, {800, 600}, {1024, 768}};
    for (const auto& size : sizes)
        for (UINT hz : {60u, 75u}) modes.push_back({size[0], size[1], hz, format});
    return modes;
}

bool IBackend::SupportsDisplayFormat(D3DFORMAT format) {
    return format == D3DFMT_R5G6B5 || format == D3DFMT_X8R8G8B8;
}

void IBackend::InitialGammaRamp(D3DGAMMARAMP* ramp) {
    for (int i = 0; i < 256; ++i)
        ramp->red[i] = ramp->green[i] = ramp->blue[i] = static_cast<WORD>(i * 257);
}

std::string TakeScreenshotRequest() { return std::exchange(g_screenshot, std::string()); }

const BackendEntry* BackendTable(size_t* count) {
    *count = sizeof kBackends / sizeof kBackends[0];
    return kBackends;
}

bool Startup(const char* name, std::string* error) {
    Shutdown();
    if (!name || !*name) name = kBackends[0].name;
    for (const BackendEntry& entry : kBackends) {
        if (std::strcmp(entry.name, name) != 0) continue;
        std::unique_ptr<IBackend> backend = entry.create();
        if (!backend->Init()) {
            if (error) *error = std::string("platform backend '") + name + "' could not start";
            return false;
        }
        g_backend = std::move(backend);
        return true;
    }
    if (error) {
        *error = std::string("unknown platform backend '") + name + "' (known:";
        for (const BackendEntry& entry : kBackends) *error += std::string(" ") + entry.name;
        *error += ")";
    }
    return false;
}

bool StartupFromEnvironment(std::string* error) {
    if (!Startup(std::getenv("KELVANDOR_PLATFORM"), error)) return false;
    const char* script = std::getenv("KELVANDOR_SCRIPT");
    if (script && *script && !LoadSessionScriptFile(script, error)) {
        Shutdown();
        return false;
    }
    return true;
}

void Shutdown() {
    ResetWindowState();
    g_backend.reset();
    g_session = SessionPlayer();
    g_frame = 0;
    g_screenshot.clear();
}

IBackend* Backend() { return g_backend.get(); }

SessionPlayer& Session() { return g_session; }

bool LoadSessionScriptFile(const char* path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = std::string("cannot open session script ") + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string parseError;
    auto script = ParseSessionScript(text.str(), &parseError);
    if (!script) {
        if (error) *error = std::string(path) + ": " + parseError;
        return false;
    }
    g_session.Load(std::move(*script));
    return true;
}

uint32_t FrameNumber() { return g_frame; }

namespace detail {

void CountFrame() {
    ++g_frame;
    if (!g_backend) return;
    g_backend->OnFrame(g_frame);
    for (const SessionAction& action : g_session.TakeFrameActions(g_frame)) {
        if (action.verb == "screenshot") g_screenshot = JoinWords(action.args);
        else g_backend->ApplyWindowAction(action);
    }
}

}  // namespace detail
}  // namespace platform

// Time and COM go to the backend's clock; without a backend there is none.

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    platform::IBackend* b = platform::Backend();
    const int64_t f = (b && !b->ShouldFail("QueryPerformanceFrequency")) ? b->CounterFrequency() : 0;
    if (frequency) frequency->QuadPart = f;
    return f != 0 ? TRUE : FALSE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    platform::IBackend* b = platform::Backend();
    if (count) count->QuadPart = b ? b->Counter() : 0;
    return b ? TRUE : FALSE;
}

DWORD timeGetTime() {
    platform::IBackend* b = platform::Backend();
    return b ? b->Milliseconds() : 0;
}

namespace {
int g_comInits = 0;
}

HRESULT CoInitialize(LPVOID) {
    if (platform::Backend()) platform::Backend()->Record("CoInitialize");
    return g_comInits++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (platform::Backend()) platform::Backend()->Record("CoUninitialize");
    if (g_comInits > 0) --g_comInits;
}

// Resources of the program's own module.
namespace {
const KResourceModule* g_resources = nullptr;
}

void SetModuleResources(const KResourceModule* module) { g_resources = module; }
const KResourceModule* GetModuleResources() { return g_resources; }

const KDialogTemplate* FindDialogTemplate(int id) {
    if (!g_resources) return nullptr;
    for (const KDialogTemplate& d : g_resources->dialogs)
        if (d.id == id) return &d;
    return nullptr;
}

const KBitmapResource* FindBitmapResource(int id) {
    if (!g_resources) return nullptr;
    for (const KBitmapResource& b : g_resources->bitmaps)
        if (b.id == id) return &b;
    return nullptr;
}

const KIconResource* FindIconResource(int id) {
    if (!g_resources) return nullptr;
    for (const KIconResource& i : g_resources->icons)
        if (i.id == id) return &i;
    return nullptr;
}
