#include "platform/sdl/sdl_dialog.h"

#include "platform/sdl/gl_context.h"

#include "backends/imgui_impl_opengl2.h"
#include "backends/imgui_impl_sdl.h"
#include "imgui.h"
#include "imgui_stdlib.h"

#include <SDL_opengl.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace platform::sdl {
namespace {

constexpr float kFontPixels = 13.0f;    // the height the dialog units are based on
constexpr DWORD kButtonKindMask = 0xF;  // the BS_ kind lives in a button style's low bits

// Restores whatever GL and ImGui contexts were current, so making a dialog
// never disturbs the game's renderer or an outer dialog.
class ContextGuard {
public:
    ContextGuard()
        : m_window(SDL_GL_GetCurrentWindow()), m_gl(SDL_GL_GetCurrentContext()), m_imgui(ImGui::GetCurrentContext()) {}
    ~ContextGuard() {
        if (m_gl) SDL_GL_MakeCurrent(m_window, m_gl);
        ImGui::SetCurrentContext(m_imgui);
    }
    void Forget(SDL_GLContext gl, ImGuiContext* imgui) {
        if (m_gl == gl) m_gl = nullptr;
        if (m_imgui == imgui) m_imgui = nullptr;
    }
    ContextGuard(const ContextGuard&) = delete;
    ContextGuard& operator=(const ContextGuard&) = delete;

private:
    SDL_Window* m_window;
    SDL_GLContext m_gl;
    ImGuiContext* m_imgui;
};

// ImGui asserts on a missing font file; reading it ourselves turns that into a failure.
bool LoadFont(ImGuiIO& io) {
    std::ifstream in(KELVANDOR_FONT_PATH, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        std::fprintf(stderr, "dialog font %s cannot be read\n", KELVANDOR_FONT_PATH);
        return false;
    }
    void* data = ImGui::MemAlloc(bytes.size());  // the atlas frees it
    std::copy(bytes.begin(), bytes.end(), static_cast<char*>(data));
    ImFontConfig config;
    config.FontDataOwnedByAtlas = true;
    if (!io.Fonts->AddFontFromMemoryTTF(data, static_cast<int>(bytes.size()), kFontPixels, &config,
                                        io.Fonts->GetGlyphRangesCyrillic()) ||
        !io.Fonts->Build()) {
        std::fprintf(stderr, "dialog font %s is not usable\n", KELVANDOR_FONT_PATH);
        return false;
    }
    return true;
}

// Close to the platform's own dialogs: light, square, framed controls.
void SetStyle() {
    ImGui::StyleColorsLight();
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowRounding = 0;
    style.WindowBorderSize = 0;
    style.PopupBorderSize = 1;
    style.PopupRounding = 0;
    style.FrameRounding = 0;
    style.FrameBorderSize = 1;
    style.Colors[ImGuiCol_WindowBg] = ImVec4(0.94f, 0.94f, 0.94f, 1.0f);
    style.Colors[ImGuiCol_Button] = ImVec4(0.88f, 0.88f, 0.88f, 1.0f);
    style.Colors[ImGuiCol_Border] = ImVec4(0.55f, 0.55f, 0.55f, 1.0f);
}

struct HistoryPick {
    HWND combo;
    int picked = -1;
};

// Up and Down in the edit field step through the list, as in a drop-down combo box.
int StepThroughList(ImGuiInputTextCallbackData* data) {
    auto* pick = static_cast<HistoryPick*>(data->UserData);
    const int count = static_cast<int>(pick->combo->comboItems.size());
    if (count == 0) return 0;
    int index = pick->combo->comboSelection;
    if (data->EventKey == ImGuiKey_UpArrow)
        index = index < 0 ? 0 : index - 1;
    else if (data->EventKey == ImGuiKey_DownArrow)
        index = index + 1;
    if (index < 0 || index >= count) return 0;
    pick->picked = index;
    data->DeleteChars(0, data->BufTextLen);
    data->InsertChars(0, pick->combo->comboItems[static_cast<size_t>(index)].text.c_str());
    return 0;
}

float Width(const RECT& r) { return static_cast<float>(r.right - r.left); }
float Height(const RECT& r) { return static_cast<float>(r.bottom - r.top); }
ImVec2 TopLeft(const RECT& r) { return ImVec2(static_cast<float>(r.left), static_cast<float>(r.top)); }

}  // namespace

std::unique_ptr<DialogView> DialogView::Create(HWND dialog) {
    std::unique_ptr<DialogView> view(new DialogView(dialog));
    if (!view->Init()) return nullptr;
    return view;
}

bool DialogView::Init() {
    ContextGuard guard;
    const int w = static_cast<int>(Width(m_dialog->rect)), h = static_cast<int>(Height(m_dialog->rect));
    // Hidden until the dialog procedure has filled it in, as the platform shows a dialog.
    m_window = SDL_CreateWindow(m_dialog->title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h,
                                SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!m_window) return false;
    int x = 0, y = 0;
    SDL_GetWindowPosition(m_window, &x, &y);
    m_dialog->rect = {x, y, x + w, y + h};
    if (m_dialog->parent && m_dialog->parent->native)
        SDL_SetWindowModalFor(m_window, static_cast<SDL_Window*>(m_dialog->parent->native));

    m_gl = CreateGl21Context(m_window);
    if (!m_gl) return false;
    SDL_GL_MakeCurrent(m_window, m_gl);
    SDL_GL_SetSwapInterval(1);

    m_imgui = ImGui::CreateContext();
    if (!m_imgui) return false;
    ImGui::SetCurrentContext(m_imgui);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // no imgui.ini in the player's working directory
    io.LogFilename = nullptr;
    SetStyle();
    if (!LoadFont(io)) return false;
    m_sdlImplReady = ImGui_ImplSDL2_InitForOpenGL(m_window, m_gl);
    if (!m_sdlImplReady) return false;
    m_glImplReady = ImGui_ImplOpenGL2_Init();
    if (!m_glImplReady) return false;

    for (HWND ctl : m_dialog->children) {
        if (!ctl->control || !ctl->control->bitmapId || m_textures.count(ctl->control->bitmapId)) continue;
        const KBitmapResource* bmp = FindBitmapResource(ctl->control->bitmapId);
        if (!bmp) continue;  // a missing picture leaves the static empty, as on the platform
        GLuint tex = 0;
        glGenTextures(1, &tex);
        glBindTexture(GL_TEXTURE_2D, tex);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, bmp->width, bmp->height, 0, GL_RGB, GL_UNSIGNED_BYTE, bmp->rgb.data());
        m_textures[bmp->id] = tex;
        if (glGetError() != GL_NO_ERROR) return false;
    }
    return true;
}

DialogView::~DialogView() {
    ContextGuard guard;
    guard.Forget(m_gl, m_imgui);
    if (m_gl) SDL_GL_MakeCurrent(m_window, m_gl);
    if (m_imgui) {
        ImGui::SetCurrentContext(m_imgui);
        if (m_glImplReady) ImGui_ImplOpenGL2_Shutdown();
        if (m_sdlImplReady) ImGui_ImplSDL2_Shutdown();
        ImGui::DestroyContext(m_imgui);
    }
    for (auto& [id, tex] : m_textures) glDeleteTextures(1, &tex);
    if (m_gl) {
        SDL_GL_MakeCurrent(m_window, nullptr);
        SDL_GL_DeleteContext(m_gl);
    }
    if (m_window) SDL_DestroyWindow(m_window);
}

void DialogView::MakeCurrent() {
    SDL_GL_MakeCurrent(m_window, m_gl);
    ImGui::SetCurrentContext(m_imgui);
}

void DialogView::HandleEvent(const SDL_Event& e) {
    if (m_scriptedClick != ScriptedClick::None) {
        const bool scripted =
            (e.type == SDL_MOUSEMOTION && e.motion.which == kScriptMouseId) ||
            ((e.type == SDL_MOUSEBUTTONDOWN || e.type == SDL_MOUSEBUTTONUP) && e.button.which == kScriptMouseId);
        const bool pointer = e.type == SDL_MOUSEMOTION || e.type == SDL_MOUSEBUTTONDOWN ||
                             e.type == SDL_MOUSEBUTTONUP ||
                             (e.type == SDL_WINDOWEVENT &&
                              (e.window.event == SDL_WINDOWEVENT_ENTER || e.window.event == SDL_WINDOWEVENT_LEAVE));
        if (pointer && !scripted) return;
    }
    switch (e.type) {
    case SDL_MOUSEMOTION:
        m_mouseX = static_cast<float>(e.motion.x);
        m_mouseY = static_cast<float>(e.motion.y);
        m_mouseInside = true;
        return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const int b = e.button.button == SDL_BUTTON_LEFT     ? 0
                      : e.button.button == SDL_BUTTON_RIGHT  ? 1
                      : e.button.button == SDL_BUTTON_MIDDLE ? 2
                                                             : -1;
        if (b < 0) return;
        m_mouseX = static_cast<float>(e.button.x);
        m_mouseY = static_cast<float>(e.button.y);
        m_mouseInside = true;
        m_buttonDown[b] = e.type == SDL_MOUSEBUTTONDOWN;
        if (m_buttonDown[b]) m_buttonPressed[b] = true;
        if (e.button.which == kScriptMouseId)
            m_scriptedClick = m_buttonDown[b] ? ScriptedClick::Held : ScriptedClick::Released;
        return;
    }
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_ENTER) m_mouseInside = true;
        if (e.window.event == SDL_WINDOWEVENT_LEAVE) m_mouseInside = false;
        break;
    case SDL_KEYDOWN:
        if (e.key.repeat) break;
        if (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER || e.key.keysym.sym == SDLK_ESCAPE) {
            // With the list dropped, both only close it.
            if (m_popupOpen)
                m_closePopup = true;
            else
                m_keyButton = e.key.keysym.sym == SDLK_ESCAPE ? IDCANCEL : IDOK;
        }
        break;
    default: break;
    }
    ImGui_ImplSDL2_ProcessEvent(&e);
}

std::vector<DialogCommand> DialogView::DrawFrame() {
    std::vector<DialogCommand> commands;
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGuiIO& io = ImGui::GetIO();
    const bool anyDown = m_buttonDown[0] || m_buttonDown[1] || m_buttonDown[2];
    io.MousePos = (m_mouseInside || anyDown) ? ImVec2(m_mouseX, m_mouseY) : ImVec2(-FLT_MAX, -FLT_MAX);
    for (int b = 0; b < 3; ++b) {
        // A press and release within one frame still counts as a click.
        io.MouseDown[b] = m_buttonDown[b] || m_buttonPressed[b];
        m_buttonPressed[b] = false;
    }
    ImGui::NewFrame();

    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(io.DisplaySize);
    // No padding: controls sit at their template positions in window pixels.
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::Begin("##dialog", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoBringToFrontOnFocus);
    ImGui::PopStyleVar();
    m_popupOpen = false;
    for (size_t i = 0; i < m_dialog->children.size(); ++i) {
        HWND ctl = m_dialog->children[i];
        if (!ctl->control) continue;
        ImGui::PushID(static_cast<int>(i));
        switch (ctl->control->kind) {
        case KControlKind::Button: DrawButton(ctl, &commands); break;
        case KControlKind::Static:
            if (ctl->control->bitmapId) {
                DrawBitmap(ctl);
            } else {
                ImGui::SetCursorPos(TopLeft(ctl->rect));
                ImGui::TextUnformatted(ctl->title.c_str());
            }
            break;
        case KControlKind::ComboBox: DrawCombo(ctl, &commands); break;
        }
        ImGui::PopID();
    }
    m_closePopup = false;
    ImGui::End();
    // Keys come last, so Enter acts on text typed in the same frame.
    if (m_keyButton && GetDlgItem(m_dialog, m_keyButton)) commands.push_back(DialogCommand::Press(m_keyButton));
    m_keyButton = 0;

    ImGui::Render();
    glViewport(0, 0, static_cast<int>(io.DisplaySize.x), static_cast<int>(io.DisplaySize.y));
    const ImVec4 bg = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    glClearColor(bg.x, bg.y, bg.z, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    const Uint64 before = SDL_GetPerformanceCounter();
    SDL_GL_SwapWindow(m_window);
    // Without vsync (no compositor, a virtual display) the swap returns at once.
    if (SDL_GetPerformanceCounter() - before < SDL_GetPerformanceFrequency() / 1000) SDL_Delay(10);
    if (m_scriptedClick == ScriptedClick::Released) m_scriptedClick = ScriptedClick::None;
    ++m_frames;
    return commands;
}

void DialogView::DrawButton(HWND ctl, std::vector<DialogCommand>* out) {
    const bool isDefault = (ctl->control->style & kButtonKindMask) == BS_DEFPUSHBUTTON;
    if (isDefault) {
        ImGui::PushStyleVar(ImGuiStyleVar_FrameBorderSize, 2.0f);
        ImGui::PushStyleColor(ImGuiCol_Border, ImVec4(0.0f, 0.33f, 0.75f, 1.0f));
    }
    ImGui::SetCursorPos(TopLeft(ctl->rect));
    if (ImGui::Button(ctl->title.c_str(), ImVec2(Width(ctl->rect), Height(ctl->rect))))
        out->push_back(DialogCommand::Press(ctl->controlId));
    if (isDefault) {
        ImGui::PopStyleColor();
        ImGui::PopStyleVar();
    }
}

void DialogView::DrawBitmap(HWND ctl) {
    auto it = m_textures.find(ctl->control->bitmapId);
    const KBitmapResource* bmp = FindBitmapResource(ctl->control->bitmapId);
    if (it == m_textures.end() || !bmp) return;
    // A bitmap static shows the picture at its own size, whatever the template says.
    ImGui::SetCursorPos(TopLeft(ctl->rect));
    ImGui::Image(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(it->second)),
                 ImVec2(static_cast<float>(bmp->width), static_cast<float>(bmp->height)));
}

void DialogView::DrawCombo(HWND ctl, std::vector<DialogCommand>* out) {
    // The template's height is that of the dropped list; the closed box is one line.
    const float line = ImGui::GetFrameHeight();
    const ImVec2 pos = TopLeft(ctl->rect);
    const float width = Width(ctl->rect);

    std::string& text = m_editText[ctl->controlId];
    text = ctl->editText;
    HistoryPick pick{ctl};
    ImGui::SetCursorPos(pos);
    ImGui::SetNextItemWidth(width - line);
    const bool edited = ImGui::InputText("##edit", &text, ImGuiInputTextFlags_CallbackHistory, &StepThroughList, &pick);
    if (pick.picked >= 0)
        out->push_back(DialogCommand::Select(ctl->controlId, pick.picked));
    else if (edited)
        out->push_back(DialogCommand::Type(ctl->controlId, text));

    ImGui::SameLine(0, 0);
    const bool open = ImGui::IsPopupOpen("##list");
    if (ImGui::ArrowButton("##drop", ImGuiDir_Down) && !open) ImGui::OpenPopup("##list");

    // The platform drops the list past the dialog's edge; here it has to fit inside.
    const float top = pos.y + line;
    float height = Height(ctl->rect) - line;
    if (top + height > ImGui::GetIO().DisplaySize.y) height = ImGui::GetIO().DisplaySize.y - top;
    if (height < ImGui::GetTextLineHeightWithSpacing()) height = ImGui::GetTextLineHeightWithSpacing();
    ImGui::SetNextWindowPos(ImVec2(pos.x, top));
    ImGui::SetNextWindowSizeConstraints(ImVec2(width, 0), ImVec2(width, height));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(3, 1));
    const bool listShown = ImGui::BeginPopup("##list");
    ImGui::PopStyleVar();
    if (listShown) {
        m_popupOpen = true;
        if (m_closePopup) ImGui::CloseCurrentPopup();
        for (size_t i = 0; i < ctl->comboItems.size(); ++i) {
            const bool selected = static_cast<int>(i) == ctl->comboSelection;
            ImGui::PushID(static_cast<int>(i));
            if (ImGui::Selectable(ctl->comboItems[i].text.c_str(), selected)) {
                out->push_back(DialogCommand::Select(ctl->controlId, static_cast<int>(i)));
                ImGui::CloseCurrentPopup();
            }
            if (selected && ImGui::IsWindowAppearing()) ImGui::SetScrollHereY();
            ImGui::PopID();
        }
        ImGui::EndPopup();
    }
}

}  // namespace platform::sdl
