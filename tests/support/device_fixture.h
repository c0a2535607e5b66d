// A started backend, a shown window and a Direct3D 9 device on it, for the
// tests of the Direct3D and D3DX stand-ins. Derived fixtures release what
// they made before calling TearDown here.
#pragma once

#include "platform/backend/backend.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/table/backend_table.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <string>

template <class Base = ::testing::Test>
class DeviceTestBase : public Base {
protected:
    // Starts the backend and shows a window of the given style and size.
    void StartWindow(const char* backend, DWORD style = WS_POPUP, int width = 640, int height = 480) {
        std::string error;
        ASSERT_TRUE(platform::Startup(backend, &error)) << error;
        window = MakeTestWindow(style, width, height);
    }

    D3DPRESENT_PARAMETERS FullScreen(UINT width = 800, UINT height = 600) const {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = width;
        pp.BackBufferHeight = height;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = window;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        return pp;
    }

    D3DPRESENT_PARAMETERS Windowed(UINT width = 640, UINT height = 480) const {
        D3DPRESENT_PARAMETERS pp = FullScreen(width, height);
        pp.Windowed = TRUE;
        pp.BackBufferFormat = D3DFMT_UNKNOWN;
        return pp;
    }

    // CreateDevice with these parameters (kept, completed, in params).
    HRESULT Create(const D3DPRESENT_PARAMETERS& pp) {
        if (!d3d) d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d) return E_FAIL;
        params = pp;
        return d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device);
    }

    void TearDown() override {
        if (device) device->Release();
        if (d3d) d3d->Release();
        device = nullptr;
        d3d = nullptr;
        platform::Shutdown();
    }

    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DPRESENT_PARAMETERS params{};
};

using DeviceTest = DeviceTestBase<>;
