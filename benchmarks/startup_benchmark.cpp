// Start-up to the first presented frame: the game executable on each backend
// against a minimal SDL2 + OpenGL program that opens a full-screen window and
// presents one frame. Each program is started here and says, on stdout, the
// CLOCK_MONOTONIC time of its first frame (the game through its timedemo
// line); the start-up is that less the time just before the exec. The median
// of a few runs is printed, then the ratios to the floor.
//   kv_startup_benchmark GAME_EXECUTABLE GAME_FOLDER [RUNS]
// The sdl runs and the floor need a display; without one only headless runs.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <SDL.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

long long MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The floor: a window, one cleared frame presented and finished.
int Floor() {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_Window* window = SDL_CreateWindow("floor", 0, 0, 800, 600, SDL_WINDOW_OPENGL | SDL_WINDOW_FULLSCREEN_DESKTOP);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) return 1;
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
    glFinish();
    std::printf("first_frame_ns=%lld\n", MonotonicNs());
    std::fflush(stdout);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}

// Runs the program in the folder with the environment given; the start-up
// in milliseconds, or nothing when it printed no first frame.
std::optional<double> Run(const std::vector<std::string>& argv, const std::string& folder,
                          const std::vector<std::pair<std::string, std::string>>& environment) {
    int out[2];
    if (pipe(out) != 0) return std::nullopt;
    const long long start = MonotonicNs();
    const pid_t pid = fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        // The sound libraries' complaints on a machine without a sound card.
        if (const int null = open("/dev/null", O_WRONLY); null >= 0) dup2(null, STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
        for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const size_t at = text.find("first_frame_ns=");
    if (at == std::string::npos) return std::nullopt;
    const long long first = std::atoll(text.c_str() + at + std::strlen("first_frame_ns="));
    if (first <= start) return std::nullopt;
    return static_cast<double>(first - start) / 1e6;
}

std::optional<double> Median(const std::vector<std::string>& argv, const std::string& folder,
                             const std::vector<std::pair<std::string, std::string>>& environment, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        if (std::optional<double> t = Run(argv, folder, environment)) times.push_back(*t);
    if (times.empty()) return std::nullopt;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--floor") == 0) return Floor();
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s GAME_EXECUTABLE GAME_FOLDER [RUNS]\n", argv[0]);
        return 2;
    }
    const std::string game = std::filesystem::absolute(argv[1]).string();
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const bool display = std::getenv("DISPLAY") && *std::getenv("DISPLAY");

    // A copy of the game folder, so the runs leave the original as it was.
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kv_startup_benchmark";
    std::filesystem::remove_all(folder);
    std::filesystem::copy(argv[2], folder, std::filesystem::copy_options::recursive);
    const std::string script = (folder / "startup_session.txt").string();
    std::ofstream(script) << "0 launcher start\n2 close\n";

    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    // 0: no floor measured.
    double floor = 0;
    if (display)
        if (std::optional<double> t = Median({self, "--floor"}, "", {}, runs)) floor = *t;
    if (floor > 0) std::printf("startup floor (SDL2 + GL, one frame): %.1f ms\n", floor);
    for (const char* backend : {"headless", "sdl"}) {
        if (std::strcmp(backend, "sdl") == 0 && !display) continue;
        const std::optional<double> t =
            Median({game}, folder.string(),
                   {{"KELVANDOR_PLATFORM", backend}, {"KELVANDOR_TIMEDEMO", "1"}, {"KELVANDOR_SCRIPT", script}}, runs);
        if (!t) {
            std::printf("startup %s: the game printed no first frame\n", backend);
            continue;
        }
        std::printf("startup %s: %.1f ms", backend, *t);
        if (floor > 0) std::printf(", ratio to the floor = %.2f", *t / floor);
        std::printf("\n");
    }
    std::filesystem::remove_all(folder);
    return 0;
}
