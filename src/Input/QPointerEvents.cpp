#include "Input/QPointerEvents.h"

namespace {
IKPointerListener* g_PointerListener = nullptr;
}

void SetPointerListener(IKPointerListener* listener) { g_PointerListener = listener; }

IKPointerListener* GetPointerListener() { return g_PointerListener; }

void DispatchInterfaceMouseDown(int button, float x, float y) {
    if (g_PointerListener) g_PointerListener->OnMouseDown(button, x, y);
}

void DispatchInterfaceMouseUp(int button, float x, float y) {
    if (g_PointerListener) g_PointerListener->OnMouseUp(button, x, y);
}

void DispatchInterfaceMouseMove(float x, float y) {
    if (g_PointerListener) g_PointerListener->OnMouseMove(x, y);
}
