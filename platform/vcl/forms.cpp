#include "platform/vcl/forms.h"

#include <cstdio>
#include <exception>

#include "platform/rtl/sysutils.h"

namespace {

void WriteToStderr(const std::string& Text, const std::string& Caption) {
  std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
  std::fflush(stderr);
}

std::unique_ptr<TApplication> g_application = std::make_unique<TApplication>(nullptr);

}  // namespace

TApplication* Application = g_application.get();

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner), showException_(WriteToStderr) {}

TApplication::~TApplication() {
  Destroying();
  DestroyComponents();
}

std::string TApplication::ExeName() const { return ParamStr(0); }

std::string TApplication::Title() const {
  if (!title_.empty()) return title_;
  std::string name = ExeName();
  name = name.substr(name.find_last_of('/') + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

void TApplication::SetMainForm(TComponent* Value) {
  if (mainForm_) mainForm_->RemoveFreeNotification(this);
  mainForm_ = Value;
  if (mainForm_) mainForm_->FreeNotification(this);
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == mainForm_) mainForm_ = nullptr;
}

bool TApplication::ProcessMessage(MSG& Msg) {
  if (!PeekMessage(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (Msg.message == WM_QUIT) {
    terminated_ = true;
  } else {
    TranslateMessage(&Msg);
    DispatchMessage(&Msg);
  }
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (ProcessMessage(msg)) {
  }
}

void TApplication::HandleMessage() {
  MSG msg;
  if (!ProcessMessage(msg)) Idle();
}

void TApplication::Idle() {
  if (presenter_) presenter_->Idle();
  if (!terminated_) WaitMessage();
}

void TApplication::Run() {
  if (!mainForm_) return;
  while (!terminated_) {
    try {
      HandleMessage();
    } catch (...) {
      HandleException(this);
    }
  }
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::HandleException(TObject* Sender) {
  const std::exception_ptr current = std::current_exception();
  if (!current) return;
  auto report = [&](Exception* E) {
    if (!onException_) {
      ShowException(E);
      return;
    }
    try {
      onException_(Sender, E);
    } catch (const Exception& failed) {
      Exception copy(failed.Message());
      ShowException(&copy);
    } catch (...) {
      Exception unknown("Unknown exception");
      ShowException(&unknown);
    }
  };
  try {
    std::rethrow_exception(current);
  } catch (EAbort&) {
  } catch (Exception& e) {
    report(&e);
  } catch (std::exception& e) {
    Exception wrapped(e.what());
    report(&wrapped);
  } catch (...) {
    Exception unknown("Unknown exception");
    report(&unknown);
  }
}

void TApplication::ShowException(Exception* E) {
  std::string text = E ? E->Message() : std::string();
  if (!text.empty()) {
    const unsigned char last = static_cast<unsigned char>(text.back());
    if (last > '.' && last != '>') text += '.';
  }
  if (showException_) showException_(text, Title());
}
