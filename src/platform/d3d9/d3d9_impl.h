// What D3DX's objects need of the shared Direct3D 9 device beyond its public
// interface. D3DX effects and fonts keep default-pool resources, so a Reset
// must wait until each of them has been told the device is lost.
#pragma once

#include "platform/backend/graphics.h"
#include "platform/d3d9/d3d9.h"

#include <cstdint>
#include <vector>

namespace platform::d3d {

void TrackDeviceClient(IDirect3DDevice9* device, const void* client);
void SetDeviceClientLost(IDirect3DDevice9* device, const void* client, bool lost);
void UntrackDeviceClient(IDirect3DDevice9* device, const void* client);

// Makes a light index never set again, so an effect that made a light can
// leave the device as it found it.
void ForgetLight(IDirect3DDevice9* device, DWORD index);

// The effect pass whose states the following draws use (null: none), so
// recorded draws can name it.
void SetCurrentPass(IDirect3DDevice9* device, const void* effect, UINT pass);

// D3D9's state after device creation and every Reset.
void SetDefaultState(gfx::PipelineState* state, bool depthBuffer);

// Bytes per vertex of a flexible vertex format (0 for one this device cannot draw).
UINT FvfStride(DWORD fvf);

// The device's last presented frame at back-buffer size, ramp applied as the
// player sees it: RGBA rows, top first. False when the backend has no pixels.
bool ReadPresentedFrame(IDirect3DDevice9* device, std::vector<uint8_t>* rgba, UINT* width, UINT* height);

// The native graphics calls the device's backend has made so far.
uint64_t NativeCallCount(IDirect3DDevice9* device);

}  // namespace platform::d3d
