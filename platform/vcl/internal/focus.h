// The keyboard focus of the framework's controls, as the classes of platform/ share it.
// Not for code outside platform/.
//
// One windowed control at a time has the focus: FocusedControl(), the window GetFocus
// names, the one keyboard input goes to. Whatever moves it (SetFocus, a form's
// ActiveControl, activating a form, Tab and the arrow keys, the window function
// SetFocus, a focused control hiding or going away) ends in SetSystemFocus, and one
// move runs in this order:
//   1. The control is resolved to the one that really takes the focus (FocusTarget):
//      a composite control names its inner window through
//      TWinControl::InnerFocusControl.
//   2. WM_KILLFOCUS goes to the old control, then WM_SETFOCUS to the new one.
//   3. WM_SETFOCUS tells the control's form (TCustomForm::SetFocusedControl), which
//      sends CM_EXIT to the old control and to each container of it that loses the
//      focus, deepest first, then CM_ENTER to each container that gains the focus and
//      to the new control, outermost first (DoExit and DoEnter: OnExit and OnEnter).
//   4. The new control becomes the form's ActiveControl and the screen's
//      ActiveControl, and Screen->OnActiveControlChange fires.
//   5. CM_FOCUSCHANGED is broadcast over the form.
// A handler on the way may move the focus again; the rest of the older move is then
// dropped, so every message and event reports the focus as it is.
//
// A composite control (an editor whose nameless inner edit does the typing) overrides
// InnerFocusControl to answer its inner window. Then:
//   - SetFocus, ActiveControl, activating the form and tabbing onto the composite
//     focus the inner window, and then the form's and the screen's ActiveControl name
//     the inner window (a form that is not active keeps the composite as its
//     ActiveControl until it is activated);
//   - the composite is Focused() while its inner window has the focus;
//   - it gets CM_ENTER and CM_EXIT (OnEnter, OnExit) as the container the focus
//     enters and leaves, once per move in or out;
//   - Shift+Tab from the inner window passes over the composite to the control before
//     it;
//   - keys go to the inner window, the focused control; the composite sees them only
//     as its inner window passes them on.
#pragma once

#include "platform/vcl/controls.h"

namespace vx::vcl {

// The control that takes the focus when Control is given it: Control's inner focus
// control (and so on down) while that can take the focus, else Control itself.
TWinControl* FocusTarget(TWinControl* Control);

// Moves the focus to the target of Control (null: no control has it), with the
// messages above. Nothing happens when the target has it already.
void SetSystemFocus(TWinControl* Control);

// Forgets the focus without messages when it is on Control or inside it (the control
// is going away).
void DropSystemFocus(TControl* Control);

// True when the focus is on Control or on a control inside it.
bool HoldsFocus(const TWinControl* Control);

}  // namespace vx::vcl
