// The headless presenter: a full run without a screen. Forms paint into their back
// buffers and take input from tests (platform/display/input.h) or from a script; a
// form's picture can be written as a PNG file.
//
// A script has one action a line, each carried out in order as soon as it can be:
//   click FORM.CONTROL   a left click in the middle of the control once it is visible
//                        and enabled
//   click FORM.CONTROL X Y  the same at a point of the control (client coordinates)
//   type TEXT            the characters of the rest of the line to the active form
//   key NAME             a key to the active form's focused control ("Enter",
//                        "Escape", "F9", "Ctrl+S", ...)
//   answer ID            closes the next message box or modal dialog with that answer
//                        (IDYES, IDNO, IDOK, IDCANCEL or a modal result name);
//                        IDCANCEL also cancels the next login prompt
//   login PASSWORD       confirms the next login prompt with that password (the rest
//                        of the line)
//   save FILE            the file name for the next save dialog, whenever it comes
//                        (the rest of the line); the script goes on at once. When the
//                        dialog comes with no such line before it, an "answer
//                        IDCANCEL" line next cancels it
//   close FORM           the window's close button
//   shot FORM FILE       the form's window as a PNG picture
// Blank lines and lines starting with "#" are skipped. FORM is a form's name or class
// name, ignoring case. A line waits for what it acts on (its form shown, its control
// shown and enabled, a message box) at most VX_HEADLESS_WAIT seconds (30 when unset);
// then it is reported on standard error and skipped, as a line that cannot be carried
// out at all (an unknown control, key or action) is at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/display/presenter.h"
#include "platform/vcl/forms.h"

namespace vx::display {

class THeadlessScript {
 public:
  // Reads a script file; null, with a line on standard error, when it cannot be read.
  static std::unique_ptr<THeadlessScript> Load(const std::string& FileName);
  explicit THeadlessScript(std::vector<std::string> Lines);

  // Carries out the next action if it can be done now; true when one was done.
  bool Step();
  // Takes the current line when it is an "answer" that Buttons allows.
  bool TakeAnswer(const std::vector<TModalResult>& Buttons, TModalResult& Result);
  // Takes the current line when it answers a login prompt: "login PASSWORD" (Confirmed,
  // with the password) or "answer IDCANCEL".
  bool TakeLogin(bool& Confirmed, std::string& Password);
  // The file name a "save" line gave; else takes the current line when it answers a
  // save dialog: "save FILE" (FileName set) or "answer IDCANCEL" (FileName empty).
  bool TakeSave(std::string& FileName);
  bool Finished() const { return next_ >= lines_.size(); }
  size_t Position() const { return next_; }

  // How long a line waits for what it acts on, in nanoseconds.
  void SetPatience(int64_t Ns) { patience_ = Ns; }
  // The Clock() time at which the line now waiting gives up; kNeverNs when none waits.
  int64_t Deadline() const;

  // What the actions share: the file name that a "save" line left for the next save
  // dialog.
  struct TState {
    std::optional<std::string> nextSave;
  };

 private:
  // Skips blank and comment lines: true when an action line is next.
  bool AtAction();
  // Goes to the next line.
  void Advance();

  std::vector<std::string> lines_;
  size_t next_ = 0;
  TState state_;
  int64_t patience_;
  size_t waiting_ = SIZE_MAX;  // the line that waits, since waitingSince_
  int64_t waitingSince_ = 0;
};

class THeadlessPresenter : public IPresenter {
 public:
  // With a script file name, the script runs while the thread is idle.
  // A script file that cannot be read leaves the run without a script.
  explicit THeadlessPresenter(const std::string& ScriptFile = "", SIZE Screen = SIZE{1024, 768});
  ~THeadlessPresenter() override;

  void Idle() override;
  bool Headless() const override { return true; }
  SIZE ScreenSize() const override { return screen_; }
  void WindowShown(const TTopLevelWindow& Window, const std::shared_ptr<vx::gdi::Surface>& Buffer) override;
  void WindowHidden(HWND Handle) override;
  void Present(HWND Handle, const std::shared_ptr<vx::gdi::Surface>& Buffer, const RECT& Dirty) override;
  void SetCursor(HWND /*Handle*/, int Cursor) override { cursor_ = Cursor; }

  bool Scripted() const override { return script_ != nullptr; }
  bool ScriptStep() override;
  bool ScriptedAnswer(const std::vector<int>& Buttons, int& Result) override;
  bool ScriptedLogin(bool& Confirmed, std::string& Password) override;
  bool ScriptedSaveFile(std::string& FileName) override;

  THeadlessScript* Script() const { return script_.get(); }
  // What has been shown: the windows shown now and the count of presents.
  const std::vector<TTopLevelWindow>& Windows() const { return windows_; }
  int PresentCount() const { return presents_; }
  int LastCursor() const { return cursor_; }

 private:
  // Keeps the thread from sleeping past the deadline of a waiting line.
  void WakeAtDeadline();

  SIZE screen_;
  std::unique_ptr<THeadlessScript> script_;
  HWND wake_ = nullptr;  // the hidden window of that timer
  std::vector<TTopLevelWindow> windows_;
  int presents_ = 0;
  int cursor_ = 0;
};

// The form's window as a picture: its client area (painted first) inside a classic
// frame and title bar, as far as its border style has them.
std::shared_ptr<vx::gdi::Surface> WindowPicture(TCustomForm* Form);
// The same written as a PNG file; false when it cannot be written.
bool SaveFormPicture(TCustomForm* Form, const std::string& FileName);

}  // namespace vx::display
