#include "tests/support/headless_gui.h"

#include <chrono>

#include "platform/gdi/dib.h"

struct THeadlessGui::Recorder final : IDialogService {
  std::vector<TDialogRequest> boxes;
  std::deque<TModalResult> answers;
  std::vector<TFileDialogRequest> files;
  std::deque<std::string> fileAnswers;
  bool SaveFile(TFileDialogRequest& Request) override {
    files.push_back(Request);
    if (fileAnswers.empty()) return false;
    Request.FileName = fileAnswers.front();
    fileAnswers.pop_front();
    return true;
  }
  TModalResult MessageDialog(const TDialogRequest& Request) override {
    boxes.push_back(Request);
    if (answers.empty()) return Request.Default;
    const TModalResult r = answers.front();
    answers.pop_front();
    return r;
  }
  std::deque<std::optional<std::string>> logins;
  int loginPrompts = 0;
  bool Login(const std::string&, std::string&, std::string& Password, bool) override {
    ++loginPrompts;
    if (logins.empty()) return false;
    const std::optional<std::string> answer = logins.front();
    logins.pop_front();
    if (answer) Password = *answer;
    return answer.has_value();
  }
};

THeadlessGui::THeadlessGui() {
  auto presenter = std::make_unique<vx::display::THeadlessPresenter>();
  presenter_ = presenter.get();
  Application->SetPresenter(std::move(presenter));
  auto recorder = std::make_unique<Recorder>();
  recorder_ = recorder.get();
  previousDialogs_ = SetDialogService(std::move(recorder));
}

THeadlessGui::~THeadlessGui() {
  SetDialogService(std::move(previousDialogs_));
  Pump();
}

std::vector<TDialogRequest>& THeadlessGui::Boxes() { return recorder_->boxes; }

void THeadlessGui::QueueAnswers(std::vector<TModalResult> Answers) {
  for (TModalResult r : Answers) recorder_->answers.push_back(r);
}

void THeadlessGui::QueueLogin(std::optional<std::string> Password) { recorder_->logins.push_back(std::move(Password)); }

int THeadlessGui::LoginPrompts() const { return recorder_->loginPrompts; }

std::vector<TFileDialogRequest>& THeadlessGui::FileRequests() { return recorder_->files; }

void THeadlessGui::QueueFileAnswers(std::vector<std::string> FileNames) {
  for (std::string& f : FileNames) recorder_->fileAnswers.push_back(std::move(f));
}

void THeadlessGui::Pump() { Application->ProcessMessages(); }

void THeadlessGui::Click(TControl* Control) {
  vx::display::InjectClickControl(Control);
  Pump();
}

void THeadlessGui::ClickAt(TControl* Control, int X, int Y) {
  TRect r;
  if (!Control->RectInForm(r)) return;
  vx::display::InjectClick(Control->TopForm(), r.left + X, r.top + Y);
  Pump();
}

void THeadlessGui::Key(WORD Key, TShiftState Shift) {
  if (TCustomForm* f = Screen->ActiveForm()) vx::display::InjectKey(f, Key, Shift);
  Pump();
}

COLORREF THeadlessGui::Pixel(TCustomForm* Form, int X, int Y) {
  Form->PaintNow();
  auto buffer = Form->BackBuffer();
  if (!buffer || X < 0 || Y < 0 || X >= buffer->Width() || Y >= buffer->Height()) return CLR_INVALID;
  return buffer->ColorFromRaw(buffer->GetRaw(X, Y)) & 0xFFFFFF;
}

bool ProcessUntil(const std::function<bool()>& Done, int TimeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!Done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Application->ProcessMessages();
    if (Application->HasPresenter()) Application->Presenter()->Idle();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}
