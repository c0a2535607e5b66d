#include "platform/headless/headless_input.h"

#include "platform/backend/backend.h"

#include <cstring>

namespace platform {

std::unique_ptr<input::IInputBackend> CreateHeadlessInputBackend() { return std::make_unique<HeadlessInput>(); }

HeadlessInput* HeadlessInputArea() { return dynamic_cast<HeadlessInput*>(InputBackend()); }

void HeadlessInput::SetMouseCaptured(HWND window, bool captured) {
    mouseCaptured = captured;
    captureWindow = captured ? window : nullptr;
}

HRESULT HeadlessInput::ReadKeyboard(BYTE out[input::kKeyCount]) {
    auto failure = keyboardFailures.find(FrameNumber());
    if (failure != keyboardFailures.end()) return failure->second;
    std::memcpy(out, keys.data(), keys.size());
    return S_OK;
}

HRESULT HeadlessInput::ReadMouse(input::MouseSample* sample) {
    auto failure = mouseFailures.find(FrameNumber());
    if (failure != mouseFailures.end()) return failure->second;
    *sample = mouse;
    mouse.dx = mouse.dy = mouse.dz = 0;
    return S_OK;
}

void HeadlessInput::ApplyInputAction(const SessionAction& action) {
    const std::optional<InputAction> input = ReadInputAction(action);
    if (!input) return;
    switch (input->kind) {
    case InputAction::Kind::KeyDown: keys[static_cast<size_t>(input->code)] = 0x80; break;
    case InputAction::Kind::KeyUp: keys[static_cast<size_t>(input->code)] = 0; break;
    case InputAction::Kind::MouseMove:
        input::AddMotion(&mouse.dx, input->dx);
        input::AddMotion(&mouse.dy, input->dy);
        break;
    case InputAction::Kind::ButtonDown: mouse.buttons[input->code] = 0x80; break;
    case InputAction::Kind::ButtonUp: mouse.buttons[input->code] = 0; break;
    }
}

}  // namespace platform
