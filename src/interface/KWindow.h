// The controls of an interface screen. A window is one textured rectangle
// cut from the screen's texture; a button has three looks (normal, under the
// mouse, pressed), each a window of its own, and tells the screen's script
// "button" with its name when it is clicked. A true result of the mouse
// handlers means the look changed and the screen must rebuild.
#pragma once

#include "Render/KVertex.h"
#include "core/KMemoryManager.h"

#include <cstdint>
#include <string>

class CKInterface;
class CKTextReader;

// A corner of an interface quad (a control's or a glyph's): position and
// first texture coordinates, diffuse white, the rest zero.
SKVertex InterfaceVertex(float x, float y, float u, float v);

class CKWindow : public IKMMObject {
public:
    explicit CKWindow(CKInterface* owner);
    ~CKWindow() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKWindow"; }

    virtual void SetEnabled(bool value);
    // The closed rectangle of the quad: a point on an edge hits.
    virtual bool HitTest(float x, float y);
    // One line "name x,y,w,h,u,v,uw,vh" (pixels and texels of a tw x th texture).
    virtual bool Load(CKTextReader& reader, float tw, float th);
    virtual const SKVertex* GetVertices();
    virtual const uint16_t* GetIndices();
    virtual bool OnMouseEnter(float x, float y);
    virtual bool OnMouseLeave(float x, float y);
    virtual bool OnMouseDown(int button, float x, float y);
    virtual bool OnMouseUp(int button, float x, float y);

    CKInterface* screen;  // not counted
    SKVertex vertices[4]{};
    uint16_t indices[6]{};
    std::string name;
    uint8_t visible = 1;
    uint8_t enabled = 1;
};

class CKButton : public CKWindow {
public:
    static constexpr int32_t kNormal = 0;
    static constexpr int32_t kOver = 1;
    static constexpr int32_t kPressed = 2;

    explicit CKButton(CKInterface* owner) : CKWindow(owner) {}
    ~CKButton() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKButton"; }

    // Either way the button shows its normal look again.
    void SetEnabled(bool value) override;
    // Always the normal look's rectangle, whatever the button shows.
    bool HitTest(float x, float y) override;
    // Three window lines: normal, over, pressed; the button takes the
    // normal one's name.
    bool Load(CKTextReader& reader, float tw, float th) override;
    const SKVertex* GetVertices() override;
    const uint16_t* GetIndices() override;
    bool OnMouseEnter(float x, float y) override;
    bool OnMouseLeave(float x, float y) override;
    bool OnMouseDown(int button, float x, float y) override;
    // A left release over the button clicks it, wherever the press began.
    bool OnMouseUp(int button, float x, float y) override;

    CKPtr<CKWindow> states[3];
    int32_t state = kNormal;

private:
    // The look of the current state; null before Load.
    CKWindow* Current() const;
};
