// The headless input area: no devices. Tests and session scripts set the
// keyboard and the mouse that the next reads see, make reads fail on chosen
// frames, and see whether the mouse is captured. The DirectInput calls
// themselves are recorded through the fault hooks, by the shared devices.
#pragma once

#include "platform/backend/input.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>

namespace platform {

std::unique_ptr<input::IInputBackend> CreateHeadlessInputBackend();

class HeadlessInput : public input::IInputBackend {
public:
    void SetMouseCaptured(HWND window, bool captured) override;
    HRESULT ReadKeyboard(BYTE keys[input::kKeyCount]) override;
    HRESULT ReadMouse(input::MouseSample* sample) override;
    // "key down NAME", "key up NAME", "mouse move DX DY", "mouse down BUTTON",
    // "mouse up BUTTON": applied to keys and mouse below.
    void ApplyInputAction(const SessionAction& action) override;

    // The keyboard the next reads see (0x80: held), by scan code.
    std::array<BYTE, input::kKeyCount> keys{};
    // Motion adds up until a read takes it (and zeroes it); buttons are held
    // until released.
    input::MouseSample mouse;
    // A read in the given main-loop frame returns that code instead, leaving
    // the caller's buffer (and the pending motion) as it was.
    std::map<uint32_t, HRESULT> keyboardFailures;
    std::map<uint32_t, HRESULT> mouseFailures;
    bool mouseCaptured = false;
    HWND captureWindow = nullptr;
};

// The running headless input area, or null.
HeadlessInput* HeadlessInputArea();

}  // namespace platform
