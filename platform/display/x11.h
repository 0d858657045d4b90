// The X11 presenter: each shown form is a window of the X server, its back buffer
// copied in on expose and after painting; mouse, keys and the close button come back
// as window messages to the form. The display connection is watched by the main
// thread's reactor.
#pragma once

#include <memory>
#include <string>

#include "platform/display/presenter.h"

namespace vx::display {

// An X11 presenter on the display named by DisplayName (empty: $DISPLAY), or null
// when no display can be reached (or the layer was built without Xlib).
std::unique_ptr<IPresenter> TryX11Presenter(const std::string& DisplayName = "");
// Whether an X server answers at DisplayName (empty: $DISPLAY); nothing else is done
// with the display.
bool X11DisplayAnswers(const std::string& DisplayName = "");

// The X window showing a form's window (0 for none), and whether it is mapped; for
// tests that look at the screen.
unsigned long X11WindowOf(IPresenter* Presenter, HWND Handle);
bool X11WindowMapped(IPresenter* Presenter, HWND Handle);

}  // namespace vx::display
