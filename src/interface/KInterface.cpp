#include "interface/KInterface.h"

#include "Input/QInput.h"
#include "Input/QPointerEvents.h"
#include "Render/KBox.h"
#include "Render/KMaterial.h"
#include "Render/KRender.h"
#include "Render/KRenderBlock.h"
#include "core/KConfigVars.h"
#include "core/KFile.h"
#include "core/KTextReader.h"
#include "interface/KFont.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

std::list<CKInterface*>* g_InterfaceList = nullptr;

namespace {

constexpr const char* kEffect = "interface.fx";
constexpr const char* kCursorName = "cursor";
// Indices are 16-bit: a screen's quads stop at vertex 65,535.
constexpr size_t kMaxVertices = 65536;

bool g_interfaceListDestroyed = false;

void DestroyInterfaceList() {
    if (g_interfaceListDestroyed) return;
    g_interfaceListDestroyed = true;
    delete g_InterfaceList;
    g_InterfaceList = nullptr;
}

// Made before main, so a screen made by a static initialiser finds it too.
struct InterfaceListInit {
    InterfaceListInit() {
        g_InterfaceList = new std::list<CKInterface*>();
        std::atexit(DestroyInterfaceList);
    }
} g_interfaceListInit;

// The input task's mouse events, handed to every screen in creation order.
// The handlers only queue script commands and rebuild geometry, so no
// screen comes or goes during a walk.
class CKScreenPointerListener : public IKPointerListener {
public:
    void OnMouseDown(int button, float x, float y) override {
        if (g_InterfaceList)
            for (CKInterface* screen : *g_InterfaceList) screen->OnMouseDown(button, x, y);
    }
    void OnMouseUp(int button, float x, float y) override {
        if (g_InterfaceList)
            for (CKInterface* screen : *g_InterfaceList) screen->OnMouseUp(button, x, y);
    }
    void OnMouseMove(float x, float y) override {
        if (g_InterfaceList)
            for (CKInterface* screen : *g_InterfaceList) screen->OnMouseMove(x, y);
    }
};

CKScreenPointerListener g_screenListener;

std::string Field(const std::vector<std::string>& fields, size_t i) { return i < fields.size() ? fields[i] : ""; }

float Number(const std::vector<std::string>& fields, size_t i) {
    return static_cast<float>(std::atof(Field(fields, i).c_str()));
}

// A texture size that would divide the texture coordinates by zero (or
// make them all infinite or NaN) reads as one texel.
float TextureSize(const std::string& text) {
    const float size = static_cast<float>(std::atof(text.c_str()));
    return std::isfinite(size) && size > 0.0f ? size : 1.0f;
}

}  // namespace

CKInterface::CKInterface() : CKRenderObject("Interface") {
    if (g_InterfaceList) g_InterfaceList->push_back(this);
    // Until a screen exists nobody listens; a listener put in place by
    // someone else is left alone.
    if (!GetPointerListener()) SetPointerListener(&g_screenListener);
}

CKInterface::~CKInterface() {
    if (g_InterfaceList) g_InterfaceList->remove(this);
    cursor = nullptr;
    texts.Clear();
    hovered = nullptr;
    controls.Clear();
}

void CKInterface::Load(const std::string& screenName) {
    SetVerticesReady();
    CKFile file("Data\\Interface\\" + screenName + std::to_string(screenWidth) + ".int");
    if (FAILED(file.Load())) {
        Rebuild();
        return;
    }
    const uint32_t size = std::min<uint32_t>(file.GetSize(), std::numeric_limits<int32_t>::max());
    CKTextReader reader(file.GetData(), static_cast<int32_t>(size));
    std::string scriptName, textureLine, lightLine;
    reader.ReadLine(scriptName);
    reader.ReadLine(textureLine);
    reader.ReadLine(lightLine);

    const std::vector<std::string> texture = SplitTokens(textureLine, ",");
    const float tw = TextureSize(Field(texture, 1));
    const float th = TextureSize(Field(texture, 2));
    if (CKMaterialManager* materials = GetMaterialManager())
        material = materials->GetMaterial(kLayer, kEffect, {Field(texture, 0)});

    CKScriptManager* scripts = GetScriptManager();
    script = scripts ? scripts->GetScript(scriptName).Get() : nullptr;
    ReadLight(lightLine);

    std::string line;
    while (reader.ReadLine(line)) {
        ToLowerString(line);
        if (line == "window") {
            CKPtr<CKWindow> window(new CKWindow(this));
            window->Load(reader, tw, th);
            window->visible = 1;
            if (window->name == kCursorName)
                MakeCursor(*window);
            else
                controls.Set(window->name, window);
        } else if (line == "button") {
            CKPtr<CKButton> button(new CKButton(this));
            button->visible = 1;
            button->Load(reader, tw, th);
            controls.Set(button->name, CKPtr<CKWindow>(button));
        } else if (line == "text") {
            ReadText(reader);
        }
    }
    Rebuild();
}

void CKInterface::ReadLight(const std::string& line) {
    const std::vector<std::string> f = SplitTokens(line, ",");
    if (Field(f, 1) != "on") {
        lightOn = 0;
        return;
    }
    lightOn = 1;
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = {Number(f, 2), Number(f, 3), Number(f, 4)};
    light.Diffuse = {Number(f, 5), Number(f, 6), Number(f, 7), 1.0f};
    light.Specular = light.Diffuse;
    light.Ambient = {0.0f, 0.0f, 0.0f, 0.0f};
    light.Range = 10000.0f;
}

void CKInterface::ReadText(CKTextReader& reader) {
    std::string line, textName, rest;
    reader.ReadLine(line);
    CKTokenizer words(line, " ", true);
    words.NextToken(textName);
    words.NextToken(rest);
    const std::vector<std::string> f = SplitTokens(rest, ",");
    SKInterfaceText entry;
    entry.object = new CKRenderObject("text");
    entry.font = Field(f, 0);
    entry.x = Number(f, 1) + 0.5f;
    entry.y = Number(f, 2) + 0.5f;
    children.push_back(entry.object);
    if (CKFontManager* fontManager = GetFontManager())
        fontManager->BuildText(entry.object, entry.x, entry.y, entry.font, Field(f, 3));
    texts.Set(textName, std::move(entry));
}

void CKInterface::MakeCursor(CKWindow& window) {
    CKPtr<CKRenderObject> object(new CKRenderObject(kCursorName));
    const SKVertex* v = window.GetVertices();
    const uint16_t* i = window.GetIndices();
    object->vertices.assign(v, v + 4);
    object->indices.assign(i, i + 6);
    object->worldVertices = object->vertices;
    // One box over the quad, flat in z.
    const float centre[4] = {(v[0].x + v[1].x) * 0.5f, (v[0].y + v[2].y) * 0.5f, 0.0f, 0.0f};
    const float half[4] = {(v[1].x - v[0].x) * 0.5f, (v[2].y - v[0].y) * 0.5f, 0.0f, 0.0f};
    object->AddObb(CKPtr<CKObb>(new CKObb(centre, half)));
    object->SetMaterial(material);
    cursor = object;
    children.push_back(object);
}

void CKInterface::Rebuild() {
    vertices.clear();
    worldVertices.clear();
    indices.clear();
    uint16_t base = 0;
    for (auto& entry : controls) {
        CKWindow* control = entry.value.Get();
        if (!control || !control->visible) continue;
        if (vertices.size() + 4 > kMaxVertices) break;
        const SKVertex* v = control->GetVertices();
        const uint16_t* i = control->GetIndices();
        vertices.insert(vertices.end(), v, v + 4);
        for (int k = 0; k < 6; ++k) indices.push_back(static_cast<uint16_t>(i[k] + base));
        base = static_cast<uint16_t>(base + 4);
    }
    worldVertices = vertices;
}

void CKInterface::SubmitToRender() {
    CKRender* render = GetRender();
    if (!render) return;
    if (lightOn) render->AddLight(light);
    if (const CKPtr<CKRenderBlock>& block = render->GetDynamicBlock())
        block->AddObjectTree(CKPtr<CKRenderObject>(this));
}

void CKInterface::Activate(int priority) {
    active = 1;
    if (CQInput* input = GetInput()) {
        int x = 0, y = 0;
        input->GetMousePosition(x, y);
        DispatchInterfaceMouseMove(static_cast<float>(x), static_cast<float>(y));
    }
    CKRenderObject::AddToScene(priority);
}

void CKInterface::Deactivate() {
    active = 0;
    CKRenderObject::RemoveFromScene();
}

void CKInterface::OnMouseMove(float x, float y) {
    if (!active || !cursor) return;
    D3DXMATRIX at;
    D3DXMatrixTranslation(&at, x, y, 0.0f);
    cursor->SetParentMatrix(at);

    bool changed = false;
    if (hovered) {
        if (hovered->HitTest(x, y)) return;
        changed = hovered->OnMouseLeave(x, y);
        hovered = nullptr;
    }
    for (auto& entry : controls) {
        CKWindow* control = entry.value.Get();
        if (!control || !control->enabled || !control->visible || !control->HitTest(x, y)) continue;
        hovered = entry.value;
        if (control->OnMouseEnter(x, y)) {
            Rebuild();
            return;
        }
        break;
    }
    if (changed) Rebuild();
}

void CKInterface::OnMouseDown(int button, float x, float y) {
    // Kept for the call, whatever the handler's effects on the screen.
    const CKPtr<CKWindow> target = hovered;
    if (target && target->OnMouseDown(button, x, y)) Rebuild();
}

void CKInterface::OnMouseUp(int button, float x, float y) {
    const CKPtr<CKWindow> target = hovered;
    if (target && target->OnMouseUp(button, x, y)) Rebuild();
}

void CKInterface::SetControlVisible(const std::string& controlName, bool show) {
    if (CKPtr<CKWindow>* control = controls.Find(controlName))
        if (*control) (*control)->visible = show ? 1 : 0;
    if (SKInterfaceText* text = texts.Find(controlName))
        if (text->object) text->object->visible = show ? 1 : 0;
}

void CKInterface::SetControlText(const std::string& textName, const std::string& text) {
    SKInterfaceText* entry = texts.Find(textName);
    CKFontManager* fontManager = GetFontManager();
    if (entry && fontManager) fontManager->BuildText(entry->object, entry->x, entry->y, entry->font, text);
}
