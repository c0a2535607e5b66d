#include "core/KLog.h"

#include "platform/dxerr/dxerr9.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>

CKLog& CKLog::Instance() {
    static CKLog log;
    return log;
}

bool CKLog::Init() {
    Instance();
    return true;
}

CKLog::CKLog() {
    const char* target = std::getenv("KELVANDOR_LOG");
    if (!target || !*target) return;
    FILE* out = stderr;
    if (std::strcmp(target, "stderr") != 0) {
        // Each run starts the file afresh: the log is opened once per process.
        m_file = std::fopen(target, "w");
        if (!m_file) return;
        out = m_file;
    }
    m_sink = [out](int, const std::string& text) {
        std::fputs(text.c_str(), out);
        if (text.empty() || text.back() != '\n') std::fputc('\n', out);
        std::fflush(out);
    };
}

CKLog::~CKLog() {
    m_sink = nullptr;
    if (m_file) std::fclose(m_file);
}

CKLog::Sink CKLog::SetSink(Sink sink) {
    Sink old = std::move(m_sink);
    m_sink = std::move(sink);
    return old;
}

bool CKLog::IsEnabled() { return static_cast<bool>(Instance().m_sink); }

void CKLog::Print(int level, const char* format, ...) {
    CKLog& log = Instance();
    // Silent by default: nothing is formatted unless someone listens.
    if (!log.m_sink || !format) return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (size > 0) {
        std::vector<char> buffer(static_cast<size_t>(size) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        text.assign(buffer.data(), static_cast<size_t>(size));
    }
    va_end(args);
    log.m_sink(level, text);
}

void LogDXError(int level, const char* source, int line, HRESULT hr) {
    CKLog::Print(level, "DXError if %s on line %d\n%s\n%s\n", source, line, DXGetErrorString9(hr),
                 DXGetErrorDescription9(hr));
}

bool SucceededOrLogged(HRESULT hr, const char* source, int line) {
    if (SUCCEEDED(hr)) return true;
    LogDXError(0, source, line, hr);
    return false;
}
