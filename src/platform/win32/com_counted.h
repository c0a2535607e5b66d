// COM reference counting for the stand-in objects: one count per object,
// shared by every interface it implements.
#pragma once

#include "platform/win32/win32.h"

namespace platform {

// Objects start with one reference, their creator's; the last Release
// deletes the object (its destructor does any further clean-up).
template <class... Interfaces>
class Counted : public Interfaces... {
public:
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

private:
    ULONG m_refs = 1;
};

}  // namespace platform
