#include "core/KMemoryManager.h"

#include "core/KLog.h"

#include <unordered_set>

std::list<IKMMObject*> g_LiveObjects;
std::list<IKMMObject*> g_PendingObjects;
bool g_MMShuttingDown = false;

namespace {

std::unordered_set<const void*>& ExistingObjects() {
    static std::unordered_set<const void*> objects;
    return objects;
}

void ReportObject(IKMMObject* object) {
    CKLog::Print(0, "неудаленный объект: класс - %s, размер - %d bytes", object->GetClassName().c_str(),
                 static_cast<int>(object->GetSize()));
}

void Delete(IKMMObject* object) {
    ExistingObjects().erase(object);
    delete object;
}

}  // namespace

IKMMObject::IKMMObject() {
    m_livePosition = g_LiveObjects.insert(g_LiveObjects.end(), this);
    ExistingObjects().insert(this);
}

IKMMObject::~IKMMObject() = default;

void IKMMObject::AddRef() { ++m_refCount; }

void IKMMObject::Release() {
    --m_refCount;
    if (m_queued || m_refCount >= 1) return;
    if (g_MMShuttingDown) return;
    m_queued = 1;
    g_LiveObjects.erase(m_livePosition);
    g_PendingObjects.push_back(this);
}

bool IsLiveObject(const void* object) { return object && ExistingObjects().count(object) != 0; }

void CollectGarbage() {
    std::list<IKMMObject*> doomed;
    doomed.swap(g_PendingObjects);
    for (IKMMObject* object : doomed) Delete(object);
}

void ReportLiveObjects() {
    for (IKMMObject* object : g_LiveObjects) ReportObject(object);
}

void ShutdownMemoryManager(bool report) {
    g_MMShuttingDown = true;
    // Destructors only lower counts now, so neither list grows during the walks;
    // each object leaves its list before it is deleted, so no walk revisits it.
    while (!g_PendingObjects.empty()) {
        IKMMObject* object = g_PendingObjects.front();
        if (report) ReportObject(object);
        g_PendingObjects.pop_front();
        Delete(object);
    }
    while (!g_LiveObjects.empty()) {
        IKMMObject* object = g_LiveObjects.front();
        if (report) ReportObject(object);
        g_LiveObjects.pop_front();
        Delete(object);
    }
    g_MMShuttingDown = false;
}
