// An interface screen: one 2D page of the user interface (a menu, the
// status bar, a message panel) read from Data\Interface\<name><width>.int.
// Its own geometry is the merged quads of its windows and buttons, all cut
// from one texture and drawn in screen pixels; texts and the mouse cursor
// are child objects. Every screen is on g_InterfaceList from construction to
// destruction and gets every mouse event of the input task.
#pragma once

#include "Render/KRenderObject.h"
#include "core/KNameTable.h"
#include "interface/KWindow.h"
#include "platform/d3d9/d3d9types.h"

#include <cstdint>
#include <list>
#include <string>

struct SKInterfaceText {
    CKPtr<CKRenderObject> object;  // named "text", a child of the screen
    std::string font;
    float x = 0.0f;  // the pen start in pixels
    float y = 0.0f;
};

class CKInterface : public CKRenderObject {
public:
    // The render objects of a screen draw on this layer, through this effect.
    static constexpr int kLayer = 200;

    CKInterface();
    ~CKInterface() override;
    // Entering and leaving the scene are activation and deactivation.
    void AddToScene(int priority) override { Activate(priority); }
    void RemoveFromScene() override { Deactivate(); }

    // Reads the screen file of this name for the configured screen width;
    // a file that cannot be read leaves the screen empty.
    void Load(const std::string& screenName);
    // The screen's geometry again, from the current looks of its visible
    // controls in table order.
    void Rebuild();
    // Draws the screen (and its light) in the current frame only.
    void SubmitToRender();
    // Every screen is told where the cursor is now, then this one enters
    // the scene.
    void Activate(int priority);
    // A control that stays hovered still takes clicks.
    void Deactivate();

    void OnMouseMove(float x, float y);
    void OnMouseDown(int button, float x, float y);
    void OnMouseUp(int button, float x, float y);

    // Either table may hold the name; neither rebuilds.
    void SetControlVisible(const std::string& controlName, bool show);
    void SetControlText(const std::string& textName, const std::string& text);

    KNameTable<CKPtr<CKWindow>> controls;
    CKPtr<CKWindow> hovered;
    KNameTable<SKInterfaceText> texts;
    D3DLIGHT9 light{};
    uint8_t lightOn = 0;
    CKPtr<CKRenderObject> cursor;
    uint8_t active = 0;

private:
    void ReadLight(const std::string& line);
    void ReadText(CKTextReader& reader);
    void MakeCursor(CKWindow& window);
};

// Every screen that exists, in creation order. Made before main, freed at
// exit (null from then on).
extern std::list<CKInterface*>* g_InterfaceList;
