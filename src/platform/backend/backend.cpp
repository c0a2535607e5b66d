#include "platform/backend/backend.h"

#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace platform {
namespace {

BackendSet g_set;
SessionPlayer g_session;
uint32_t g_frame = 0;
std::string g_screenshot;

std::string JoinWords(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
    return out;
}

}  // namespace

void Install(BackendSet set) {
    Shutdown();
    g_set = std::move(set);
}

void Shutdown() {
    ResetWindowState();
    // Areas go before the base: they may hold what the base made.
    g_set.media.reset();
    g_set.audio.reset();
    g_set.input.reset();
    g_set.graphics.reset();
    g_set.base.reset();
    g_session = SessionPlayer();
    g_frame = 0;
    g_screenshot.clear();
}

IBackend* Backend() { return g_set.base.get(); }
gfx::IGraphicsBackend* GraphicsBackend() { return g_set.graphics.get(); }
input::IInputBackend* InputBackend() { return g_set.input.get(); }
audio::IAudioBackend* AudioBackend() { return g_set.audio.get(); }
media::IMediaBackend* MediaBackend() { return g_set.media.get(); }

std::string TakeScreenshotRequest() { return std::exchange(g_screenshot, std::string()); }

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
    if (!g_set.base) return;
    g_set.base->OnFrame(g_frame);
    for (const SessionAction& action : g_session.TakeFrameActions(g_frame)) {
        if (action.verb == "screenshot") {
            g_screenshot = JoinWords(action.args);
        } else if (action.verb == "key" || action.verb == "mouse") {
            // Before this pass pumps its events, so the pass's reads see them.
            if (g_set.input) g_set.input->ApplyInputAction(action);
        } else {
            g_set.base->ApplyWindowAction(action);
        }
    }
}

}  // namespace detail
}  // namespace platform
