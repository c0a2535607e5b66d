// The process-wide log. Print accepts every message of the system; by default
// it shows nothing. KELVANDOR_LOG=stderr or KELVANDOR_LOG=<file> makes it
// write each message as UTF-8 text (a file holds one run); tests may install
// a sink of their own.
#pragma once

#include "platform/win32/win32.h"

#include <cstdio>
#include <functional>
#include <string>

class CKLog {
public:
    using Sink = std::function<void(int level, const std::string& text)>;

    static CKLog& Instance();
    static bool Init();
    static void Print(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Whether anyone listens: a caller that walks data to build its messages
    // asks first, so a silent log costs nothing.
    static bool IsEnabled();

    // Replaces the sink (an empty one silences the log); returns the old one.
    Sink SetSink(Sink sink);

private:
    CKLog();
    ~CKLog();
    CKLog(const CKLog&) = delete;
    CKLog& operator=(const CKLog&) = delete;

    Sink m_sink;
    FILE* m_file = nullptr;
};

// A failed DirectX call: "DXError if <source> on line <line>\n<name>\n<description>\n".
void LogDXError(int level, const char* source, int line, HRESULT hr);
// True when hr is a success; a failure is logged at level 0 as above.
bool SucceededOrLogged(HRESULT hr, const char* source, int line);
