#include "platform/display/headless.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/display/input.h"
#include "platform/display/png_writer.h"
#include "platform/gdi/dc.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/dialogs.h"

namespace vx::display {

namespace {

void Report(const std::string& text) {
  std::fprintf(stderr, "headless script: %s\n", text.c_str());
  std::fflush(stderr);
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  std::string w;
  while (in >> w) words.push_back(w);
  return words;
}

// Wakes the thread's loop so that the next line is tried without waiting for other
// input.
void Wake() { PostMessage(nullptr, WM_NULL, 0, 0); }

}  // namespace

THeadlessScript::THeadlessScript(const std::string& FileName) {
  std::ifstream in(NativePath(FileName));
  if (!in) {
    Report("cannot read \"" + FileName + "\"");
    return;
  }
  std::string line;
  while (std::getline(in, line)) lines_.push_back(line);
}

bool THeadlessScript::TakeAnswer(const std::vector<TModalResult>& Buttons, TModalResult& Result) {
  while (next_ < lines_.size()) {
    const auto words = Words(lines_[next_]);
    if (words.empty() || words[0][0] == '#') {
      ++next_;
      continue;
    }
    if (!SameText(words[0], "answer") || words.size() != 2) return false;
    const TModalResult r = ModalResultFromName(words[1]);
    if (r < 0 || std::find(Buttons.begin(), Buttons.end(), r) == Buttons.end()) {
      Report("\"" + lines_[next_] + "\" does not answer a box with these buttons; default taken");
      return false;
    }
    ++next_;
    Result = r;
    Wake();
    return true;
  }
  return false;
}

bool THeadlessScript::AtAction() {
  while (next_ < lines_.size() && (Words(lines_[next_]).empty() || Words(lines_[next_])[0][0] == '#')) ++next_;
  return next_ < lines_.size();
}

bool THeadlessScript::TakeLogin(bool& Confirmed, std::string& Password) {
  if (!AtAction()) return false;
  const std::string& line = lines_[next_];
  const auto words = Words(line);
  if (SameText(words[0], "login") && words.size() >= 2) {
    Password = Trim(line.substr(line.find(words[1], line.find(words[0]) + words[0].size())));
    Confirmed = true;
  } else if (SameText(words[0], "answer") && words.size() == 2 && ModalResultFromName(words[1]) == mrCancel) {
    Confirmed = false;
  } else {
    return false;
  }
  ++next_;
  Wake();
  return true;
}

bool THeadlessScript::TakeSave(std::string& FileName) {
  if (!AtAction()) return false;
  const std::string& line = lines_[next_];
  const auto words = Words(line);
  if (SameText(words[0], "save") && words.size() >= 2) {
    FileName = Trim(line.substr(line.find(words[1], line.find(words[0]) + words[0].size())));
  } else if (SameText(words[0], "answer") && words.size() == 2 && ModalResultFromName(words[1]) == mrCancel) {
    FileName.clear();
  } else {
    return false;
  }
  ++next_;
  Wake();
  return true;
}

bool THeadlessScript::Step() {
  while (next_ < lines_.size()) {
    const std::string& line = lines_[next_];
    const auto words = Words(line);
    if (words.empty() || words[0][0] == '#') {
      ++next_;
      continue;
    }
    const std::string& action = words[0];
    if (SameText(action, "click") && (words.size() == 2 || words.size() == 4)) {
      const size_t dot = words[1].find('.');
      if (dot == std::string::npos) break;
      TCustomForm* form = Screen->FindForm(words[1].substr(0, dot));
      if (!form || !form->Visible()) return false;
      auto* control = As<TControl>(form->FindComponent(words[1].substr(dot + 1)));
      if (!control) {
        Report("no control \"" + words[1] + "\"");
        ++next_;
        continue;
      }
      bool enabled = true;
      for (TControl* c = control; c; c = c->Parent()) enabled = enabled && c->Enabled();
      if (!control->Showing() || !enabled || (Screen->ModalForm() && Screen->ModalForm() != form)) return false;
      if (words.size() == 2) {
        InjectClickControl(control);
      } else {
        TRect r;
        int x = 0, y = 0;
        if (!control->RectInForm(r) || !TryStrToInt(words[2], x) || !TryStrToInt(words[3], y)) {
          Report("cannot click \"" + line + "\"");
          ++next_;
          continue;
        }
        InjectClick(form, r.left + x, r.top + y);
      }
    } else if (SameText(action, "type") && words.size() >= 2) {
      TCustomForm* form = Screen->ActiveForm();
      if (!form) return false;
      InjectText(form, line.substr(line.find(words[1], line.find(words[0]) + words[0].size())));
    } else if (SameText(action, "save")) {
      return false;  // for the next save dialog to take
    } else if (SameText(action, "key") && words.size() == 2) {
      WORD key = 0;
      TShiftState shift;
      if (!KeyFromName(words[1], key, shift)) {
        Report("unknown key \"" + words[1] + "\"");
        ++next_;
        continue;
      }
      TCustomForm* form = Screen->ActiveForm();
      if (!form) return false;
      InjectKey(form, key, shift);
    } else if (SameText(action, "answer") && words.size() == 2) {
      TCustomForm* modal = Screen->ModalForm();
      if (!modal || !modal->Visible()) return false;
      const TModalResult r = ModalResultFromName(words[1]);
      if (r <= 0) {
        Report("unknown answer \"" + words[1] + "\"");
        ++next_;
        continue;
      }
      modal->SetModalResult(r);
    } else if (SameText(action, "login")) {
      return false;  // for the next login prompt to take
    } else if (SameText(action, "close") && words.size() == 2) {
      TCustomForm* form = Screen->FindForm(words[1]);
      if (!form || !form->Visible()) return false;
      InjectClose(form);
    } else if (SameText(action, "shot") && words.size() >= 3) {
      TCustomForm* form = Screen->FindForm(words[1]);
      if (!form || !form->Visible()) return false;
      const std::string file = line.substr(line.find(words[2], line.find(words[1]) + words[1].size()));
      if (!SaveFormPicture(form, Trim(file))) Report("cannot write \"" + Trim(file) + "\"");
    } else {
      Report("cannot understand \"" + line + "\"");
      ++next_;
      continue;
    }
    ++next_;
    Wake();
    return true;
  }
  return false;
}

THeadlessPresenter::THeadlessPresenter(const std::string& ScriptFile, SIZE Screen) : screen_(Screen) {
  if (!ScriptFile.empty()) script_ = std::make_unique<THeadlessScript>(ScriptFile);
  vx::gdi::SetScreenFormat(32, Screen.cx, Screen.cy);
}

THeadlessPresenter::~THeadlessPresenter() = default;

void THeadlessPresenter::Idle() {
  if (script_) script_->Step();
}

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
