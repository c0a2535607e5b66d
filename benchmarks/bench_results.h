// Seconds per frame of each benchmark of the run, by name, so the program can
// print the engine's ratios to its floors at the end.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

// A benchmark's runs with the most iterations (the measured ones, not
// Google Benchmark's shorter trial runs; one per repetition).
struct Runs {
    int64_t iterations = 0;
    std::vector<double> secondsPerFrame;

    double Median() const {
        std::vector<double> sorted = secondsPerFrame;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    }
};

inline std::map<std::string, Runs>& Results() {
    static std::map<std::string, Runs> results;
    return results;
}

inline void Record(const std::string& name, double secondsPerFrame, int64_t iterations) {
    Runs& runs = Results()[name];
    if (iterations < runs.iterations) return;
    if (iterations > runs.iterations) runs = Runs{iterations, {}};
    runs.secondsPerFrame.push_back(secondsPerFrame);
}

// "engine / floor = ratio" of the median frames, for every pair that ran.
inline void PrintRatio(const std::string& engine, const std::string& floor) {
    const auto e = Results().find(engine), f = Results().find(floor);
    if (e == Results().end() || f == Results().end() || f->second.Median() <= 0) return;
    const double a = e->second.Median(), b = f->second.Median();
    std::printf("ratio %s / %s = %.2f (%.1f us / %.1f us)\n", engine.c_str(), floor.c_str(), a / b, a * 1e6, b * 1e6);
}

// Adds floor_gl.cpp's benchmarks to the run (they need a display).
void RegisterGlFloors();

// Times the loop of a benchmark: whole-loop seconds over its iterations.
class Stopwatch {
public:
    Stopwatch() : m_start(std::chrono::steady_clock::now()) {}
    double Seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count(); }

private:
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace bench
