// The input task: polls the system keyboard and mouse once a frame. Changes
// of bound keys become "key_action" commands for the scripts of the category
// "action_listener"; the mouse moves a cursor in screen pixels and its
// buttons and moves go to the interface screens.
#pragma once

#include "Input/QKeyNames.h"
#include "core/KKernel.h"
#include "platform/dinput/dinput.h"

#include <array>
#include <cstdint>
#include <string>

class CQInput : public IKTask {
public:
    CQInput();
    ~CQInput() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CQInput"; }
    bool Start() override;
    void Update() override;
    int32_t GetType() override { return 3; }

    void GetMousePosition(int& x, int& y) const;
    HRESULT LoadActions(const std::string& fileName);
    void ReleaseDevices();
    void UpdateAcquire();

    IDirectInput8A* m_directInput = nullptr;
    IDirectInputDevice8A* m_keyboard = nullptr;
    IDirectInputDevice8A* m_mouse = nullptr;
    HANDLE m_mouseEvent = nullptr;
    uint8_t m_buttons[3] = {0, 0, 0};
    int32_t m_motion[2] = {0, 0};
    int32_t m_cursor[2] = {0, 0};
    std::array<uint8_t, 256> m_keys{};
    std::array<uint8_t, 256> m_previousKeys{};
    KKeyBindings m_bindings{};
    uint8_t m_actionsEnabled = 1;

private:
    void UpdateMouse();
    void UpdateKeyboard();
};

CQInput* GetInput();
