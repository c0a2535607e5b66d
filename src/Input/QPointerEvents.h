// Where the input task sends the mouse: the interface screens. The screens
// register one listener; until they do, the events go nowhere.
#pragma once

class IKPointerListener {
public:
    virtual ~IKPointerListener() = default;
    virtual void OnMouseDown(int button, float x, float y) = 0;
    virtual void OnMouseUp(int button, float x, float y) = 0;
    virtual void OnMouseMove(float x, float y) = 0;
};

// The listener stays registered until it is replaced or cleared (null).
void SetPointerListener(IKPointerListener* listener);
IKPointerListener* GetPointerListener();

// Buttons are 0 (left), 1 (right) and 2 (middle); x and y are the cursor in
// screen pixels.
void DispatchInterfaceMouseDown(int button, float x, float y);
void DispatchInterfaceMouseUp(int button, float x, float y);
void DispatchInterfaceMouseMove(float x, float y);
