// Event objects: a handle is a small object of its own, valid from
// CreateEventA until CloseHandle.
#include "platform/backend/faults.h"
#include "platform/win32/win32.h"

#include <map>
#include <memory>

namespace {

struct KEvent {
    bool manualReset;
    bool signalled;
};

std::map<HANDLE, std::unique_ptr<KEvent>>& Events() {
    static std::map<HANDLE, std::unique_ptr<KEvent>> events;
    return events;
}

KEvent* Find(HANDLE handle) {
    auto it = Events().find(handle);
    return it == Events().end() ? nullptr : it->second.get();
}

}  // namespace

HANDLE CreateEventA(LPVOID, BOOL manualReset, BOOL initialState, LPCSTR) {
    platform::RecordCall("CreateEventA");
    if (platform::ShouldFail("CreateEventA")) return nullptr;
    auto event = std::make_unique<KEvent>(KEvent{manualReset != FALSE, initialState != FALSE});
    HANDLE handle = event.get();
    Events().emplace(handle, std::move(event));
    return handle;
}

BOOL SetEvent(HANDLE handle) {
    platform::RecordCall("SetEvent");
    KEvent* event = Find(handle);
    if (!event) return FALSE;
    event->signalled = true;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    platform::RecordCall("CloseHandle");
    return Events().erase(handle) ? TRUE : FALSE;
}
