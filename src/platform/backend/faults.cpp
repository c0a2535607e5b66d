#include "platform/backend/faults.h"

namespace platform {
namespace {
IFaultHooks* g_hooks = nullptr;
}

void SetFaultHooks(IFaultHooks* hooks) { g_hooks = hooks; }

void RemoveFaultHooks(IFaultHooks* hooks) {
    if (g_hooks == hooks) g_hooks = nullptr;
}

bool ShouldFail(const char* call) { return g_hooks && g_hooks->ShouldFail(call); }

void RecordCall(const std::string& call) {
    if (g_hooks) g_hooks->Record(call);
}

void RecordCall(const char* call) {
    if (g_hooks) g_hooks->Record(call);
}

}  // namespace platform
