// The performance counter and the multimedia timer read the backend's clock;
// without a backend there is none.
#include "platform/backend/backend.h"
#include "platform/backend/faults.h"
#include "platform/win32/win32.h"

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    platform::IBackend* b = platform::Backend();
    const int64_t f = (b && !platform::ShouldFail("QueryPerformanceFrequency")) ? b->CounterFrequency() : 0;
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
