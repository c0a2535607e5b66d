// What the content tools share: their error line (the tool's name, then the
// message), whole-file reading, and the help argument.
#pragma once

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// "kelvandor-name: " and the tool's usage text, set by its main before
// anything can fail.
inline const char* g_Prefix = "";
inline const char* g_Usage = "";

void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline void Fail(const char* format, ...) {
    std::fputs(g_Prefix, stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

inline bool ReadWholeFile(const std::string& path, std::string& data) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Fail("cannot open %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        Fail("cannot read %s", path.c_str());
        return false;
    }
    return true;
}

// Bad usage: the problem, if any, then the usage text; exit status 2.
inline int Usage(const char* problem = nullptr) {
    if (problem) Fail("%s", problem);
    std::fputs(g_Usage, stderr);
    return 2;
}

// The arguments after the program's name; help is "--help" or "-h" alone.
inline std::vector<std::string> Arguments(int argc, char** argv) { return {argv + 1, argv + argc}; }
inline bool AsksForHelp(const std::vector<std::string>& args) {
    return args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
}

// Sets the tool's error prefix and usage and reads its arguments. Help
// prints the usage (status 0) and no arguments is bad usage (status 2):
// then false, with the status the tool ends with in *exitStatus.
inline bool StartTool(const char* prefix, const char* usage, int argc, char** argv, std::vector<std::string>* args,
                      int* exitStatus) {
    g_Prefix = prefix;
    g_Usage = usage;
    *args = Arguments(argc, argv);
    if (AsksForHelp(*args)) {
        std::fputs(usage, stdout);
        *exitStatus = 0;
        return false;
    }
    if (args->empty()) {
        *exitStatus = Usage();
        return false;
    }
    return true;
}

// Writes the file beside the target and renames it over it, so a failed
// build leaves an old file whole; false (and the error line) on failure.
inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        Fail("cannot create %s: %s", temporary.c_str(), std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        const int saved = errno;
        std::remove(temporary.c_str());
        Fail("cannot write %s: %s", path.c_str(), std::strerror(saved));
    }
    return ok;
}

// The errors of a text file a tool reads: each "kelvandor-name: PATH:LINE:
// message" (line 0: the file as a whole). A reader reports every error it
// finds and goes on; the file is good when there was none.
class LineErrors {
public:
    explicit LineErrors(const std::string& path) : m_path(path) {}

    void Error(int line, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        if (line > 0)
            std::fprintf(stderr, "%s%s:%d: ", g_Prefix, m_path.c_str(), line);
        else
            std::fprintf(stderr, "%s%s: ", g_Prefix, m_path.c_str());
        va_list args;
        va_start(args, format);
        std::vfprintf(stderr, format, args);
        va_end(args);
        std::fputc('\n', stderr);
        ++m_errors;
    }

protected:
    std::string m_path;
    int m_errors = 0;
};
