// Runs a fuzz target over every file of the folders or files it is given,
// without libFuzzer, so the corpus is replayed by every build.
//
// Each input runs twice, and its second run must give back every block it
// takes: an input that leaves state behind makes the next one run on
// something else, and under libFuzzer it costs a leak search after every
// input, which slows a target to a few dozen inputs a second.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Set-up made once per process, as libFuzzer calls it: not every target has one.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

// Blocks taken by operator new and not given back yet.
std::atomic<long> g_held{0};

bool RunFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    // The first run may make what is made once per process.
    LLVMFuzzerTestOneInput(data, bytes.size());
    const long before = g_held.load();
    LLVMFuzzerTestOneInput(data, bytes.size());
    const long kept = g_held.load() - before;
    if (kept == 0) return true;
    std::printf("%s: each run keeps %ld more blocks\n", path.string().c_str(), kept);
    return false;
}

}  // namespace

void* operator new(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    ++g_held;
    return p;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
    if (!p) return;
    --g_held;
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    size_t files = 0, keeping = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
                if (entry.is_regular_file()) keeping += !RunFile(entry.path()), ++files;
        } else {
            keeping += !RunFile(arg), ++files;
        }
    }
    std::printf("replayed %zu inputs\n", files);
    return files > 0 && keeping == 0 ? 0 : 1;
}
