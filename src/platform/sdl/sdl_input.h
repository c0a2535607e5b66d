// The real backend's input area: the keyboard by physical key (layout
// independent) and the mouse's relative motion, buttons and wheel, kept
// from SDL's events as the base backend pumps them. Session-script actions
// are pushed as SDL events, so a script takes the path a person's input does.
#pragma once

#include "platform/backend/input.h"

#include <SDL.h>

#include <array>

namespace platform::sdl {

// The scan code DirectInput gives the key SDL names (0: none).
unsigned char DikOfScancode(SDL_Scancode scancode);
// The SDL key of a DirectInput scan code (SDL_SCANCODE_UNKNOWN: none).
SDL_Scancode ScancodeOfDik(unsigned code);

// Wheel counts per notch, as DirectInput reports them.
inline constexpr LONG kWheelDelta = 120;

class SdlInput : public input::IInputBackend {
public:
    ~SdlInput() override;
    void SetMouseCaptured(HWND window, bool captured) override;
    HRESULT ReadKeyboard(BYTE keys[input::kKeyCount]) override;
    HRESULT ReadMouse(input::MouseSample* sample) override;
    void ApplyInputAction(const SessionAction& action) override;

    // Every event the base backend takes from SDL's queue outside dialogs.
    void HandleEvent(const SDL_Event& event);

private:
    std::array<BYTE, input::kKeyCount> m_keys{};
    input::MouseSample m_mouse;
    bool m_captured = false;
};

// The running SDL input area, or null.
SdlInput* InputArea();

}  // namespace platform::sdl
