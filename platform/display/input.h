// Input put into a form as if from the mouse and keyboard: the same window messages a
// display's input turns into, posted to the form's window and delivered when its
// thread next processes messages. Coordinates are in the form's client area.
#pragma once

#include <string>

#include "platform/vcl/controls.h"

class TCustomForm;

namespace vx::display {

void InjectMouseMove(TCustomForm* Form, int X, int Y, WPARAM Keys = 0);
void InjectMouseDown(TCustomForm* Form, TMouseButton Button, int X, int Y, WPARAM Keys = 0);
void InjectMouseUp(TCustomForm* Form, TMouseButton Button, int X, int Y, WPARAM Keys = 0);
// A move there, a press and a release.
void InjectClick(TCustomForm* Form, int X, int Y, TMouseButton Button = mbLeft);
// The middle of a control, in its form's client area.
TPoint ControlCentre(TControl* Control);
// A click in the middle of the control (on its form).
void InjectClickControl(TControl* Control, TMouseButton Button = mbLeft);
// The pointer leaves the form's window.
void InjectMouseLeave(TCustomForm* Form);

// A key press and release, with the shift keys of Shift held around it, and the
// character it types (WM_CHAR; Alt turns both into their WM_SYS forms).
void InjectKey(TCustomForm* Form, WORD Key, TShiftState Shift = {});
void InjectKeyDown(TCustomForm* Form, WORD Key, bool Alt = false);
void InjectKeyUp(TCustomForm* Form, WORD Key, bool Alt = false);
// Characters typed (UTF-8; each character one WM_CHAR with its code point).
void InjectText(TCustomForm* Form, const std::string& Text);
// The window's close button.
void InjectClose(TCustomForm* Form);

// The character a key types with the shift state, or 0.
char32_t KeyChar(WORD Key, TShiftState Shift);
// A key by name: "Enter", "Escape", "Tab", "Space", "F1".."F12", "Up", "Left", "A",
// "5", ...; optionally prefixed by "Ctrl+", "Shift+", "Alt+". False for an unknown
// name.
bool KeyFromName(const std::string& Name, WORD& Key, TShiftState& Shift);

}  // namespace vx::display
