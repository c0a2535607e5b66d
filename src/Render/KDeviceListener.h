// Holders of device resources hear of a device reset through one global
// list: lost before the device's Reset, reset after a successful one.
#pragma once

#include <list>

class IKDeviceListener {
public:
    virtual void OnLostDevice() = 0;
    virtual void OnResetDevice() = 0;
    virtual ~IKDeviceListener();

protected:
    IKDeviceListener();
    IKDeviceListener(const IKDeviceListener&) = delete;
    IKDeviceListener& operator=(const IKDeviceListener&) = delete;
};

// Plain pointers, not counted: a listener enters in its constructor and
// leaves in its destructor.
extern std::list<IKDeviceListener*>* g_DeviceListeners;

void NotifyDeviceLost();
void NotifyDeviceReset();
