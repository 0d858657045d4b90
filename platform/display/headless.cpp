#include "platform/display/headless.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/display/input.h"
#include "platform/display/png_writer.h"
#include "platform/gdi/dc.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/dialogs.h"
#include "platform/win/clock.h"

namespace vx::display {

namespace {

// One line of a script, split into words.
struct TLine {
  explicit TLine(std::string Text) : text(std::move(Text)) {
    std::istringstream in(text);
    std::string w;
    while (in >> w) words.push_back(w);
  }
  bool IsAction() const { return !words.empty() && words[0][0] != '#'; }
  // The line from its word N on, as written.
  std::string From(size_t N) const {
    size_t pos = 0;
    for (size_t i = 0; i < N; ++i) pos = text.find(words[i], pos) + words[i].size();
    return text.substr(text.find(words[N], pos));
  }

  std::string text;
  std::vector<std::string> words;
};

// What became of a line: carried out, waiting for what it acts on (Why: what is
// missing), or to be skipped (Why: the reason).
struct TOutcome {
  enum { Done, Wait, Skip } kind;
  std::string why;
};

TOutcome Done() { return {TOutcome::Done, {}}; }
TOutcome Wait(std::string Why) { return {TOutcome::Wait, std::move(Why)}; }
TOutcome Skip(std::string Why) { return {TOutcome::Skip, std::move(Why)}; }

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// The named form when it is shown.
TCustomForm* ShownForm(const std::string& Name, std::string& Why) {
  TCustomForm* form = Screen->FindForm(Name);
  if (form && form->Visible()) return form;
  Why = "form " + Quoted(Name) + " not shown";
  return nullptr;
}

TOutcome Click(const TLine& line, THeadlessScript::TState&) {
  const std::string& target = line.words[1];
  const size_t dot = target.find('.');
  if (dot == std::string::npos || line.words.size() == 3) return Skip("cannot understand the line");
  std::string why;
  TCustomForm* form = ShownForm(target.substr(0, dot), why);
  if (!form) return Wait(why);
  auto* control = As<TControl>(form->FindComponent(target.substr(dot + 1)));
  if (!control) return Skip("no control " + Quoted(target.substr(dot + 1)) + " on form " + Quoted(form->Name()));
  bool enabled = true;
  for (TControl* c = control; c; c = c->Parent()) enabled = enabled && c->Enabled();
  if (!control->Showing() || !enabled) return Wait("control " + Quoted(target) + " not shown and enabled");
  if (TCustomForm* modal = Screen->ModalForm(); modal && modal != form)
    return Wait("form " + Quoted(modal->Name()) + " is modal");
  if (line.words.size() == 2) {
    InjectClickControl(control);
    return Done();
  }
  TRect r;
  int x = 0, y = 0;
  if (!control->RectInForm(r) || !TryStrToInt(line.words[2], x) || !TryStrToInt(line.words[3], y))
    return Skip("cannot click there");
  InjectClick(form, r.left + x, r.top + y);
  return Done();
}

TOutcome Type(const TLine& line, THeadlessScript::TState&) {
  TCustomForm* form = Screen->ActiveForm();
  if (!form) return Wait("no active form");
  InjectText(form, line.From(1));
  return Done();
}

TOutcome Key(const TLine& line, THeadlessScript::TState&) {
  WORD key = 0;
  TShiftState shift;
  if (!KeyFromName(line.words[1], key, shift)) return Skip("unknown key " + Quoted(line.words[1]));
  TCustomForm* form = Screen->ActiveForm();
  if (!form) return Wait("no active form");
  InjectKey(form, key, shift);
  return Done();
}

// A message box takes its answer itself (TakeAnswer); here the line closes a modal form.
TOutcome Answer(const TLine& line, THeadlessScript::TState&) {
  const TModalResult r = ModalResultFromName(line.words[1]);
  if (r <= 0) return Skip("unknown answer " + Quoted(line.words[1]));
  TCustomForm* modal = Screen->ModalForm();
  if (!modal || !modal->Visible()) return Wait("no message box or modal form");
  modal->SetModalResult(r);
  return Done();
}

// The login prompt takes the line itself (TakeLogin).
TOutcome Login(const TLine&, THeadlessScript::TState&) { return Wait("no login prompt"); }

TOutcome Save(const TLine& line, THeadlessScript::TState& state) {
  state.nextSave = Trim(line.From(1));
  return Done();
}

TOutcome Close(const TLine& line, THeadlessScript::TState&) {
  std::string why;
  TCustomForm* form = ShownForm(line.words[1], why);
  if (!form) return Wait(why);
  InjectClose(form);
  return Done();
}

TOutcome Shot(const TLine& line, THeadlessScript::TState&) {
  std::string why;
  TCustomForm* form = ShownForm(line.words[1], why);
  if (!form) return Wait(why);
  const std::string file = Trim(line.From(2));
  return SaveFormPicture(form, file) ? Done() : Skip("cannot write " + Quoted(file));
}

// The actions a script knows, with the count of words a line of each has (its name
// included; no most for those whose last argument is the rest of the line).
struct TAction {
  const char* name;
  size_t leastWords, mostWords;
  TOutcome (*run)(const TLine&, THeadlessScript::TState&);
};

constexpr size_t kRest = SIZE_MAX;
constexpr TAction kActions[] = {
    {"click", 2, 4, Click}, {"type", 2, kRest, Type},   {"key", 2, 2, Key},     {"answer", 2, 2, Answer},
    {"login", 2, kRest, Login}, {"save", 2, kRest, Save}, {"close", 2, 2, Close}, {"shot", 3, kRest, Shot},
};

// The line's action when it is one with a fitting count of words.
const TAction* ActionOf(const TLine& line) {
  for (const TAction& a : kActions)
    if (SameText(line.words[0], a.name))
      return line.words.size() >= a.leastWords && line.words.size() <= a.mostWords ? &a : nullptr;
  return nullptr;
}

bool IsAnswer(const TLine& line, TModalResult& Result) {
  const TAction* a = line.IsAction() ? ActionOf(line) : nullptr;
  if (!a || a->run != Answer) return false;
  Result = ModalResultFromName(line.words[1]);
  return true;
}

void Report(size_t Line, const std::string& Text, const std::string& What) {
  std::fprintf(stderr, "headless script: line %zu \"%s\": %s\n", Line + 1, Text.c_str(), What.c_str());
  std::fflush(stderr);
}

// VX_HEADLESS_WAIT in seconds (at most 10^9), read once; 30 when unset or not a number.
int64_t DefaultPatience() {
  static const int64_t patience = int64_t(std::min(EnvironmentSeconds("VX_HEADLESS_WAIT", 30), 1e9) * 1e9);
  return patience;
}

// Wakes the thread's loop so that the next line is tried without waiting for other
// input.
void Wake() { PostMessage(nullptr, WM_NULL, 0, 0); }

}  // namespace

std::unique_ptr<THeadlessScript> THeadlessScript::Load(const std::string& FileName) {
  std::ifstream in(NativePath(FileName));
  if (!in) {
    std::fprintf(stderr, "headless script: cannot read \"%s\"; the run has no script\n", FileName.c_str());
    std::fflush(stderr);
    return nullptr;
  }
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return std::make_unique<THeadlessScript>(std::move(lines));
}

THeadlessScript::THeadlessScript(std::vector<std::string> Lines)
    : lines_(std::move(Lines)), patience_(DefaultPatience()) {}

bool THeadlessScript::AtAction() {
  while (next_ < lines_.size() && !TLine(lines_[next_]).IsAction()) ++next_;
  return next_ < lines_.size();
}

void THeadlessScript::Advance() {
  ++next_;
  waiting_ = SIZE_MAX;
  Wake();
}

int64_t THeadlessScript::Deadline() const {
  return waiting_ == next_ && next_ < lines_.size() ? waitingSince_ + patience_ : kNeverNs;
}

bool THeadlessScript::Step() {
  while (AtAction()) {
    const TLine line(lines_[next_]);
    const TAction* action = ActionOf(line);
    const TOutcome outcome = action ? action->run(line, state_) : Skip("cannot understand the line");
    if (outcome.kind == TOutcome::Done) {
      Advance();
      return true;
    }
    if (outcome.kind == TOutcome::Wait) {
      const int64_t now = Clock().Now();
      if (waiting_ != next_) {
        waiting_ = next_;
        waitingSince_ = now;
      }
      if (now - waitingSince_ < patience_) return false;
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%g", double(patience_) / 1e9);
      Report(next_, line.text, outcome.why + " after " + seconds + " s; skipped");
    } else {
      Report(next_, line.text, outcome.why + "; skipped");
    }
    Advance();
  }
  return false;
}

bool THeadlessScript::TakeAnswer(const std::vector<TModalResult>& Buttons, TModalResult& Result) {
  TModalResult r = -1;
  if (!AtAction() || !IsAnswer(TLine(lines_[next_]), r)) return false;
  if (r < 0 || std::find(Buttons.begin(), Buttons.end(), r) == Buttons.end()) {
    Report(next_, lines_[next_], "does not answer a box with these buttons; its default taken");
    return false;
  }
  Result = r;
  Advance();
  return true;
}

bool THeadlessScript::TakeLogin(bool& Confirmed, std::string& Password) {
  if (!AtAction()) return false;
  const TLine line(lines_[next_]);
  TModalResult r = -1;
  if (const TAction* a = ActionOf(line); a && a->run == Login) {
    Password = Trim(line.From(1));
    Confirmed = true;
  } else if (IsAnswer(line, r) && r == mrCancel) {
    Confirmed = false;
  } else {
    return false;
  }
  Advance();
  return true;
}

bool THeadlessScript::TakeSave(std::string& FileName) {
  if (state_.nextSave) {
    FileName = *state_.nextSave;
    state_.nextSave.reset();
    return true;
  }
  if (!AtAction()) return false;
  const TLine line(lines_[next_]);
  TModalResult r = -1;
  if (const TAction* a = ActionOf(line); a && a->run == Save)
    FileName = Trim(line.From(1));
  else if (IsAnswer(line, r) && r == mrCancel)
    FileName.clear();
  else
    return false;
  Advance();
  return true;
}

THeadlessPresenter::THeadlessPresenter(const std::string& ScriptFile, SIZE Screen) : screen_(Screen) {
  if (!ScriptFile.empty()) script_ = THeadlessScript::Load(ScriptFile);
  vx::gdi::SetScreenFormat(32, Screen.cx, Screen.cy);
}

THeadlessPresenter::~THeadlessPresenter() {
  if (wake_) DeallocateHWnd(wake_);
}

void THeadlessPresenter::Idle() { ScriptStep(); }

bool THeadlessPresenter::ScriptStep() {
  if (!script_) return false;
  const bool acted = script_->Step();
  WakeAtDeadline();
  return acted;
}

void THeadlessPresenter::WakeAtDeadline() {
  const int64_t deadline = script_->Deadline();
  if (deadline == kNeverNs) {
    if (wake_) KillTimer(wake_, 1);
    return;
  }
  // The timer's message ends the thread's wait; the next idle turn tries the line again.
  if (!wake_) wake_ = AllocateHWnd(TWndMethod());
  const int64_t ms = std::max<int64_t>(0, (deadline - Clock().Now() + 999'999) / 1'000'000);
  SetTimer(wake_, 1, UINT(std::min<int64_t>(ms, 0x7FFFFFFF)));
}

bool THeadlessPresenter::ScriptedAnswer(const std::vector<int>& Buttons, int& Result) {
  return script_ && script_->TakeAnswer(Buttons, Result);
}

bool THeadlessPresenter::ScriptedLogin(bool& Confirmed, std::string& Password) {
  return script_ && script_->TakeLogin(Confirmed, Password);
}

bool THeadlessPresenter::ScriptedSaveFile(std::string& FileName) { return script_ && script_->TakeSave(FileName); }

void THeadlessPresenter::WindowShown(const TTopLevelWindow& Window, const std::shared_ptr<vx::gdi::Surface>&) {
  auto it = std::find_if(windows_.begin(), windows_.end(), [&](const auto& w) { return w.Handle == Window.Handle; });
  if (it == windows_.end())
    windows_.push_back(Window);
  else
    *it = Window;
}

void THeadlessPresenter::WindowHidden(HWND Handle) {
  windows_.erase(std::remove_if(windows_.begin(), windows_.end(), [&](const auto& w) { return w.Handle == Handle; }),
                 windows_.end());
}

void THeadlessPresenter::Present(HWND, const std::shared_ptr<vx::gdi::Surface>&, const RECT&) { ++presents_; }

std::shared_ptr<vx::gdi::Surface> WindowPicture(TCustomForm* Form) {
  if (!Form) return nullptr;
  Form->PaintNow();
  auto client = Form->BackBuffer();
  const TRect nc = Form->NonClientInsets();
  if (nc.left == 0 && nc.top == 0 && nc.right == 0 && nc.bottom == 0) return client;
  auto window = vx::gdi::Surface::Create(Form->Width(), Form->Height(), 32, false);
  if (!window) return nullptr;
  vx::gdi::WindowSurface ws;
  ws.surface = window;
  ws.visible = TRect{0, 0, Form->Width(), Form->Height()};
  HDC dc = vx::gdi::CreateSurfaceDC(ws, nullptr);
  TCanvas c;
  c.SetHandle(dc);
  // The classic frame: a raised edge, the face colour, and the title bar.
  TRect r{0, 0, Form->Width(), Form->Height()};
  c.Brush()->SetColor(clBtnFace);
  c.FillRect(r);
  DrawEdge(c.Handle(), &r, EDGE_RAISED, BF_RECT);
  const int captionTop = nc.left, captionBottom = nc.top - 1;
  TRect bar{nc.left, captionTop, Form->Width() - nc.right, captionBottom};
  const bool active = Form->Active();
  c.Brush()->SetColor(active ? clActiveCaption : clInactiveCaption);
  c.FillRect(bar);
  c.Font()->Assign(Form->Font());
  c.Font()->SetStyle({fsBold});
  c.Font()->SetColor(active ? clCaptionText : clInactiveCaptionText);
  c.Brush()->SetStyle(bsClear);
  TRect text = bar;
  text.left += 4;
  text.right -= bar.bottom - bar.top + 2;
  DrawText(c.Handle(), Form->Caption().c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  if (Form->BorderIcons().Contains(biSystemMenu)) {
    // The close button: a small raised button with a cross.
    const int size = bar.bottom - bar.top - 4;
    TRect close{bar.right - size - 2, bar.top + 2, bar.right - 2, bar.top + 2 + size};
    DrawFrameControl(c.Handle(), &close, DFC_BUTTON, DFCS_BUTTONPUSH);
    c.Pen()->SetColor(clBtnText);
    for (int k = 0; k < 2; ++k) {
      c.MoveTo(close.left + 4 + k, close.top + 3);
      c.LineTo(close.right - 4 + k, close.bottom - 3);
      c.MoveTo(close.right - 5 + k, close.top + 3);
      c.LineTo(close.left + 3 + k, close.bottom - 3);
    }
  }
  c.SetHandle(nullptr);
  if (client) {
    HDC src = vx::gdi::CreateSurfaceDC(vx::gdi::WindowSurface{client, TPoint{0, 0},
                                                                TRect{0, 0, client->Width(), client->Height()}},
                                       nullptr);
    BitBlt(dc, nc.left, nc.top, client->Width(), client->Height(), src, 0, 0, SRCCOPY);
    ReleaseDC(nullptr, src);
  }
  ReleaseDC(nullptr, dc);
  return window;
}

bool SaveFormPicture(TCustomForm* Form, const std::string& FileName) {
  auto picture = WindowPicture(Form);
  return picture && WritePng(FileName, *picture);
}

}  // namespace vx::display
