#include "platform/headless/headless_backend.h"

namespace platform {

std::unique_ptr<IBackend> CreateHeadlessBackend() { return std::make_unique<HeadlessBackend>(); }

HeadlessBackend* Headless() { return dynamic_cast<HeadlessBackend*>(Backend()); }

bool HeadlessBackend::CreateNativeWindow(HWND wnd) {
    Record("native create " + wnd->title);
    return !ShouldFail("native window");
}

void HeadlessBackend::DestroyNativeWindow(HWND wnd) { Record("native destroy " + wnd->title); }

void HeadlessBackend::ShowNativeWindow(HWND, int) {}

void HeadlessBackend::MoveNativeWindow(HWND) {}

void HeadlessBackend::GetScreenSize(int* width, int* height) {
    *width = screenWidth;
    *height = screenHeight;
}

void HeadlessBackend::SetCursorVisible(bool visible) { cursorVisible = visible; }

void HeadlessBackend::PumpEvents(bool wait) {
    if (pending.empty() && wait) {
        // Nothing can ever arrive: hand the waiter an empty message instead of hanging.
        Record("GetMessageA would wait forever");
        PostMessageA(nullptr, WM_NULL, 0, 0);
        return;
    }
    while (!pending.empty()) {
        auto [wnd, event] = pending.front();
        pending.pop_front();
        PostWindowEvent(wnd, event);
    }
}

void HeadlessBackend::RunDialog(HWND dialog) {
    if (dialogHandler) dialogHandler(dialog);
    while (IsWindow(dialog) && !dialog->dialogEnded) {
        const SessionAction* action = Session().PeekDialogAction();
        if (!action) {
            // No one to answer: close it as the window's close box would.
            DialogClose(dialog);
            if (!dialog->dialogEnded) EndDialog(dialog, -1);
            break;
        }
        const SessionAction copy = *action;
        Session().PopDialogAction();
        if (!ApplyDialogAction(copy, dialog))
            Record("session line " + std::to_string(copy.line) + " skipped: not for dialog " + dialog->title);
    }
}

void HeadlessBackend::ApplyWindowAction(const SessionAction& action) {
    if (action.verb == "clock") {
        frameStep = frequency / std::stoll(action.args[0]);
        return;
    }
    HWND wnd = MainWindow();
    if (!wnd) return;
    Record("action " + action.verb);
    if (action.verb == "close")
        InjectEvent(wnd, WindowEvent::Close);
    else if (action.verb == "minimize")
        InjectEvent(wnd, WindowEvent::Minimized);
    else if (action.verb == "restore")
        InjectEvent(wnd, WindowEvent::Restored);
    else if (action.verb == "activate")
        InjectEvent(wnd, WindowEvent::FocusGained);
    else if (action.verb == "deactivate")
        InjectEvent(wnd, WindowEvent::FocusLost);
}

void HeadlessBackend::OnFrame(uint32_t) { counter += frameStep; }

bool HeadlessBackend::Called(const std::string& call) const {
    for (const std::string& c : calls)
        if (c == call) return true;
    return false;
}

}  // namespace platform
