// The display side of a run: what shows the top-level forms and brings input to them.
// The headless presenter keeps everything off-screen (input comes from tests or a
// script); the X11 presenter shows each form as a window of the X server. Both run
// on the main thread's reactor and turn input into the same window messages, posted
// to the form's window handle with coordinates in its client area.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/win/wintypes.h"

namespace vx::gdi {
class Surface;
}

// Posted by a presenter to a form when the user moved or sized its window: wParam holds
// the client area's screen position (x low, y high word, signed), lParam its size.
constexpr UINT VXM_CLIENTBOUNDS = 0xB0F0;

// How a top-level window looks to the presenter.
struct TTopLevelWindow {
  HWND Handle = nullptr;
  std::string Caption;
  // The client area in screen coordinates (the presenter adds any frame itself).
  RECT Client;
  bool Framed = true;     // a frame and a title bar
  bool Sizeable = false;  // the user may resize it
  bool StayOnTop = false;
  bool Popup = false;        // a menu or similar: no frame, never takes the focus
  HWND Owner = nullptr;      // a dialog's owner window
  bool Modal = false;
};

class IPresenter {
 public:
  virtual ~IPresenter() = default;
  // Runs before the main loop sleeps: the place to bring the screen up to date.
  virtual void Idle() = 0;

  // True when nothing is shown on a screen.
  virtual bool Headless() const { return true; }
  // The screen size in pixels.
  virtual SIZE ScreenSize() const { return SIZE{1024, 768}; }

  // A window is shown (or its look changed while shown); its back buffer is the
  // picture to show.
  virtual void WindowShown(const TTopLevelWindow& /*Window*/, const std::shared_ptr<vx::gdi::Surface>& /*Buffer*/) {}
  virtual void WindowHidden(HWND /*Handle*/) {}
  // Gives the window the keyboard focus of the screen.
  virtual void WindowActivated(HWND /*Handle*/) {}
  // Shows the Dirty part (client coordinates) of the window's back buffer.
  virtual void Present(HWND /*Handle*/, const std::shared_ptr<vx::gdi::Surface>& /*Buffer*/, const RECT& /*Dirty*/) {}
  // The mouse pointer's shape over the window (a TCursor value).
  virtual void SetCursor(HWND /*Handle*/, int /*Cursor*/) {}

  // Answers in place of a person. A headless run's script gives them; a presenter
  // without one answers nothing, and the caller asks the person on the screen or, with
  // nobody there, takes its unattended answer.
  //
  // True when a script drives the run.
  virtual bool Scripted() const { return false; }
  // Carries out the script's next action when it can be done now: true when one was.
  virtual bool ScriptStep() { return false; }
  // The answer (a modal result) to a message box or modal form with these buttons,
  // when the script's next line gives one.
  virtual bool ScriptedAnswer(const std::vector<int>& /*Buttons*/, int& /*Result*/) { return false; }
  // A login prompt: confirmed with the password, or cancelled.
  virtual bool ScriptedLogin(bool& /*Confirmed*/, std::string& /*Password*/) { return false; }
  // A save dialog: the file name to save to, or empty to cancel.
  virtual bool ScriptedSaveFile(std::string& /*FileName*/) { return false; }
};

namespace vx::display {

// The presenter for this run: X11 when a display is reachable (DISPLAY set and the
// server answers) unless VX_HEADLESS is set to a non-empty value other than "0" or
// VX_HEADLESS_SCRIPT names a script; headless otherwise. A DISPLAY that no server
// answers is said on standard error, in a scripted run too.
std::unique_ptr<IPresenter> CreateDefaultPresenter();

}  // namespace vx::display
