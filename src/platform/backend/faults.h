// Test hooks of the stand-ins: before a call that can fail, a stand-in asks
// whether it should; every call it takes it may describe. The headless
// backend installs the hooks; with none installed nothing fails and nothing
// is recorded. This header is all a stand-in needs, not the backend.
#pragma once

#include <string>

namespace platform {

class IFaultHooks {
public:
    virtual ~IFaultHooks() = default;
    // True makes the named platform call fail.
    virtual bool ShouldFail(const char* call) = 0;
    virtual void Record(const std::string& call) = 0;
};

// Installs the hooks; the caller keeps them alive until it removes them.
void SetFaultHooks(IFaultHooks* hooks);
// Removes these hooks if they are the installed ones.
void RemoveFaultHooks(IFaultHooks* hooks);

bool ShouldFail(const char* call);
void RecordCall(const std::string& call);
// The text is made only for installed hooks: a stand-in's calls cost no
// allocation in a game.
void RecordCall(const char* call);

}  // namespace platform
