#include "Render/KDeviceListener.h"

#include <algorithm>
#include <cstdlib>

std::list<IKDeviceListener*>* g_DeviceListeners = nullptr;

namespace {

bool g_listenersDestroyed = false;

void DestroyListenerList() {
    if (g_listenersDestroyed) return;
    g_listenersDestroyed = true;
    delete g_DeviceListeners;
    g_DeviceListeners = nullptr;
}

// Made before main, so listeners built by static initialisers find it too.
struct ListenerListInit {
    ListenerListInit() {
        g_DeviceListeners = new std::list<IKDeviceListener*>();
        std::atexit(DestroyListenerList);
    }
} g_listenerListInit;

// A notification may make listeners come and go; walk a copy.
template <class F>
void ForEachListener(F f) {
    if (!g_DeviceListeners) return;
    const std::list<IKDeviceListener*> snapshot = *g_DeviceListeners;
    for (IKDeviceListener* l : snapshot)
        if (std::find(g_DeviceListeners->begin(), g_DeviceListeners->end(), l) != g_DeviceListeners->end()) f(l);
}

}  // namespace

IKDeviceListener::IKDeviceListener() {
    if (g_DeviceListeners) g_DeviceListeners->push_back(this);
}

IKDeviceListener::~IKDeviceListener() {
    if (g_DeviceListeners) g_DeviceListeners->remove(this);
}

void NotifyDeviceLost() {
    ForEachListener([](IKDeviceListener* l) { l->OnLostDevice(); });
}

void NotifyDeviceReset() {
    ForEachListener([](IKDeviceListener* l) { l->OnResetDevice(); });
}
