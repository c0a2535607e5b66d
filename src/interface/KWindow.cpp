#include "interface/KWindow.h"

#include "core/KTextReader.h"
#include "interface/KInterface.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include <cstdlib>

SKVertex InterfaceVertex(float x, float y, float u, float v) {
    SKVertex vertex{};
    vertex.x = x;
    vertex.y = y;
    vertex.diffuse = 0xFFFFFFFFu;
    vertex.u0 = u;
    vertex.v0 = v;
    return vertex;
}

CKWindow::CKWindow(CKInterface* owner) : screen(owner) {}

CKWindow::~CKWindow() = default;

void CKWindow::SetEnabled(bool value) { enabled = value ? 1 : 0; }

bool CKWindow::HitTest(float x, float y) {
    return vertices[0].x <= x && x <= vertices[1].x && vertices[0].y <= y && y <= vertices[2].y;
}

bool CKWindow::Load(CKTextReader& reader, float tw, float th) {
    std::string line;
    reader.ReadLine(line);
    CKTokenizer words(line, " ", true);
    std::string numbers;
    words.NextToken(name);
    words.NextToken(numbers);
    // x, y, w, h, u, v, uw, vh; an absent one reads as 0.
    float f[8] = {};
    CKTokenizer fields(numbers, ",", true);
    std::string field;
    for (float& value : f) {
        if (!fields.NextToken(field)) break;
        value = static_cast<float>(std::atof(field.c_str()));
    }
    const float x = f[0] + 0.5f, y = f[1] + 0.5f, w = f[2], h = f[3];
    const float u = f[4] / tw, v = f[5] / th, du = f[6] / tw, dv = f[7] / th;
    vertices[0] = InterfaceVertex(x, y, u, v);
    vertices[1] = InterfaceVertex(x + w, y, u + du, v);
    vertices[2] = InterfaceVertex(x + w, y + h, u + du, v + dv);
    vertices[3] = InterfaceVertex(x, y + h, u, v + dv);
    const uint16_t quad[6] = {0, 1, 2, 0, 2, 3};
    for (int i = 0; i < 6; ++i) indices[i] = quad[i];
    return true;
}

const SKVertex* CKWindow::GetVertices() { return vertices; }

const uint16_t* CKWindow::GetIndices() { return indices; }

bool CKWindow::OnMouseEnter(float, float) { return false; }

bool CKWindow::OnMouseLeave(float, float) { return false; }

bool CKWindow::OnMouseDown(int, float, float) { return false; }

bool CKWindow::OnMouseUp(int, float, float) { return false; }

CKButton::~CKButton() = default;

CKWindow* CKButton::Current() const {
    const int32_t look = state >= kNormal && state <= kPressed ? state : kNormal;
    return states[look].Get();
}

void CKButton::SetEnabled(bool value) {
    state = kNormal;
    if (screen) screen->Rebuild();
    enabled = value ? 1 : 0;
}

bool CKButton::HitTest(float x, float y) { return states[kNormal] && states[kNormal]->HitTest(x, y); }

bool CKButton::Load(CKTextReader& reader, float tw, float th) {
    state = kNormal;
    for (CKPtr<CKWindow>& look : states) {
        look = new CKWindow(screen);
        look->Load(reader, tw, th);
    }
    name = states[kNormal]->name;
    return true;
}

const SKVertex* CKButton::GetVertices() {
    CKWindow* look = Current();
    return look ? look->GetVertices() : vertices;
}

const uint16_t* CKButton::GetIndices() {
    CKWindow* look = Current();
    return look ? look->GetIndices() : indices;
}

bool CKButton::OnMouseEnter(float, float) {
    state = kOver;
    return true;
}

bool CKButton::OnMouseLeave(float, float) {
    state = kNormal;
    return true;
}

bool CKButton::OnMouseDown(int button, float, float) {
    if (button != 0) return false;
    state = kPressed;
    return true;
}

bool CKButton::OnMouseUp(int button, float x, float y) {
    if (button != 0) return false;
    if (HitTest(x, y)) {
        state = kOver;
        CKScriptManager* scripts = GetScriptManager();
        if (scripts && screen) scripts->SendCommandByObject(screen->GetScript(), "button", name);
    } else {
        state = kNormal;
    }
    return true;
}
