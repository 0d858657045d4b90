// Input as the framework's classes share it among themselves: the router that hands
// window input to controls, the key state it keeps for GetKeyState, and the last
// pointer position for GetCursorPos. Not for code outside platform/.
#pragma once

#include "platform/vcl/controls.h"

// Routes the input that arrives through a window: mouse messages to the control under
// the pointer (or with the capture), with enter/leave and double clicks; keys to the
// focused control.
class TInputRouter {
 public:
  // True when the message was input and has been delivered.
  static bool Route(TWinControl* Window, UINT Msg, WPARAM WParam, LPARAM LParam);
  // Every control is known from its construction to its destruction.
  static void Register(const TControl* Control);
  static bool IsLive(const TControl* Control);
  // A control is going away or hiding: forget it as the one under the pointer.
  static void Forget(TControl* Control);
  // The pointer left every window.
  static void MouseLeftScreen();
};

namespace vx::vcl {

// Records a key going down or up (the left and right shift keys count for the plain
// ones too); GetKeyState answers from it.
void SetKeyDown(WORD Key, bool Down);
// Where the pointer was last seen over one of the program's windows (screen
// coordinates).
TPoint LastMousePosition();

}  // namespace vx::vcl
