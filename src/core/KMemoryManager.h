// Counted engine objects. Releasing the last reference never deletes inside
// the call: the object waits on the pending list until the end of the
// main-loop pass (CollectGarbage). At exit every survivor is reported.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <type_traits>

class IKMMObject {
public:
    virtual ~IKMMObject();
    virtual void AddRef();
    virtual void Release();
    virtual uint32_t GetSize() = 0;
    virtual std::string GetClassName() = 0;

    int32_t GetRefCount() const { return m_refCount; }
    bool IsQueued() const { return m_queued != 0; }

    // The references that scripts own: the only ones a script may give back
    // (kept by the script layer, script/KLuaSupport.h).
    int32_t m_scriptRefs = 0;

protected:
    IKMMObject();

private:
    IKMMObject(const IKMMObject&) = delete;
    IKMMObject& operator=(const IKMMObject&) = delete;

    friend void CollectGarbage();
    friend void ShutdownMemoryManager(bool report);

    std::list<IKMMObject*>::iterator m_livePosition;
    uint8_t m_queued = 0;
    int32_t m_refCount = 0;
};

extern std::list<IKMMObject*> g_LiveObjects;
extern std::list<IKMMObject*> g_PendingObjects;
extern bool g_MMShuttingDown;

void CollectGarbage();
void ReportLiveObjects();
void ShutdownMemoryManager(bool report);

// Whether the pointer is an object that exists (live or pending deletion).
// Script functions use it to refuse ids that name no object.
bool IsLiveObject(const void* object);

namespace mm_detail {
// While shutting down, objects may already be gone when a destructor drops
// its references to them: those pointers are skipped.
inline bool MayTouch(IKMMObject* object) { return !g_MMShuttingDown || IsLiveObject(object); }
}  // namespace mm_detail

template <class T>
class CKPtr {
public:
    CKPtr() = default;
    CKPtr(std::nullptr_t) {}
    CKPtr(T* object) : m_object(object) { Acquire(m_object); }
    CKPtr(const CKPtr& other) : m_object(other.m_object) { Acquire(m_object); }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    CKPtr(const CKPtr<U>& other) : m_object(other.Get()) {
        Acquire(m_object);
    }
    ~CKPtr() { Drop(m_object); }

    CKPtr& operator=(const CKPtr& other) { return Assign(other.m_object); }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    CKPtr& operator=(const CKPtr<U>& other) {
        return Assign(other.Get());
    }
    CKPtr& operator=(T* object) { return Assign(object); }

    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    friend bool operator==(const CKPtr& a, const CKPtr& b) { return a.m_object == b.m_object; }
    friend bool operator==(const CKPtr& a, const T* b) { return a.m_object == b; }

private:
    static void Acquire(T* object) {
        if (object && mm_detail::MayTouch(object)) object->AddRef();
    }
    static void Drop(T* object) {
        if (object && mm_detail::MayTouch(object)) object->Release();
    }
    CKPtr& Assign(T* object) {
        T* old = m_object;
        Acquire(object);
        Drop(old);
        m_object = object;
        return *this;
    }

    T* m_object = nullptr;
};
