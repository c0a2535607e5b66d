// COM initialisation: nothing to set up, but the calls are counted as COM
// counts them and recorded for tests.
#include "platform/backend/faults.h"
#include "platform/win32/win32.h"

namespace {
int g_comInits = 0;
}

HRESULT CoInitialize(LPVOID) {
    platform::RecordCall("CoInitialize");
    return g_comInits++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    platform::RecordCall("CoUninitialize");
    if (g_comInits > 0) --g_comInits;
}
