// The application object: the main message loop, message processing, termination and
// the route of exceptions that leave message handlers.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"
#include "platform/win/messages.h"

using TExceptionEvent = Event<TObject*, Exception*>;

// The display side of a run (headless or X11). It watches its descriptors on the main
// thread's reactor (TReactor::Current().Watch) and is told when the main loop is about
// to wait for the next message.
class IPresenter {
 public:
  virtual ~IPresenter() = default;
  // Runs before the main loop sleeps: the place to bring the screen up to date.
  virtual void Idle() = 0;
};

class TApplication : public TComponent {
  VX_CLASS(TApplication, TComponent)

 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  void Initialize() {}
  // By default the program file's name without its extension.
  std::string Title() const;
  void SetTitle(const std::string& Value) { title_ = Value; }
  // The full name of the running program.
  std::string ExeName() const;

  // The form whose closing ends the run; Run does nothing without one. Forms are made
  // and owned by the application (CreateForm comes with the forms).
  TComponent* MainForm() const { return mainForm_; }
  void SetMainForm(TComponent* Value);

  // Processes messages until Terminated; an exception that leaves a message handler
  // goes to HandleException and the loop goes on.
  void Run();
  // Posts WM_QUIT to the calling thread; Terminated turns true when the loop (or
  // ProcessMessages) takes it.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Processes the calling thread's messages until its queue is empty, including those
  // posted meanwhile. May be called from message handlers (nested). Exceptions of
  // handlers propagate to the caller.
  void ProcessMessages();
  // Processes one message, or waits for the next when there is none.
  void HandleMessage();

  // Reports the exception being handled (call from a catch block): EAbort is silent;
  // otherwise OnException gets it when assigned, else ShowException.
  void HandleException(TObject* Sender);
  // Shows the message (with a final "." added when it ends in a letter or digit) and
  // the title through the display hook.
  void ShowException(Exception* E);
  TExceptionEvent OnException() const { return onException_; }
  void SetOnException(TExceptionEvent Value) { onException_ = Value; }

  // Where ShowException puts its text; by default a line "<caption>: <text>" on
  // standard error (the dialog service replaces it).
  using TShowExceptionHook = std::function<void(const std::string& Text, const std::string& Caption)>;
  void SetShowExceptionHook(TShowExceptionHook Hook) { showException_ = std::move(Hook); }

  IPresenter* Presenter() const { return presenter_.get(); }
  void SetPresenter(std::unique_ptr<IPresenter> Value) { presenter_ = std::move(Value); }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  bool ProcessMessage(MSG& Msg);
  void Idle();

  std::string title_;
  TComponent* mainForm_ = nullptr;
  bool terminated_ = false;
  TExceptionEvent onException_;
  TShowExceptionHook showException_;
  std::unique_ptr<IPresenter> presenter_;
};

// The program's application object; it lives until the program ends.
extern TApplication* Application;
