#include "platform/vcl/stdctrls.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/clipbrd.h"
#include "platform/vcl/forms.h"

namespace {

// ---- UTF-8 character positions ----

int CharLength(unsigned char c) {
  if (c < 0x80) return 1;
  if ((c >> 5) == 6) return 2;
  if ((c >> 4) == 14) return 3;
  if ((c >> 3) == 30) return 4;
  return 1;
}

// Byte offsets of each character (and of the end).
std::vector<size_t> CharOffsets(const std::string& s) {
  std::vector<size_t> offs;
  for (size_t i = 0; i < s.size();) {
    offs.push_back(i);
    i = std::min(s.size(), i + size_t(CharLength(static_cast<unsigned char>(s[i]))));
  }
  offs.push_back(s.size());
  return offs;
}

int CharCount(const std::string& s) { return int(CharOffsets(s).size()) - 1; }

// The length of the longest common start of two strings, compared a block at a time;
// a character cut by it is left out.
size_t CommonPrefix(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  constexpr size_t kBlock = 64;
  size_t i = 0;
  while (i + kBlock <= n && std::memcmp(a.data() + i, b.data() + i, kBlock) == 0) i += kBlock;
  while (i < n && a[i] == b[i]) ++i;
  while (i > 0 && i < a.size() && (static_cast<unsigned char>(a[i]) & 0xC0) == 0x80) --i;
  return i;
}


}  // namespace

// ---- TCustomLabel ----

TCustomLabel::TCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetControlStyle(ControlStyle() + TControlStyle{csOpaque, csReplicatable});
  width_ = 65;
  height_ = 17;
}

void TCustomLabel::SetAlignment(TAlignment Value) {
  if (alignment_ == Value) return;
  alignment_ = Value;
  Invalidate();
}

void TCustomLabel::SetLayout(TTextLayout Value) {
  if (layout_ == Value) return;
  layout_ = Value;
  Invalidate();
}

void TCustomLabel::SetWordWrap(bool Value) {
  if (wordWrap_ == Value) return;
  wordWrap_ = Value;
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::SetAutoSize(bool Value) {
  if (autoSize_ == Value) return;
  autoSize_ = Value;
  AdjustBounds();
}

void TCustomLabel::SetTransparent(bool Value) {
  if (Transparent() == Value) return;
  SetControlStyle(Value ? ControlStyle() - TControlStyle{csOpaque} : ControlStyle() + TControlStyle{csOpaque});
  Invalidate();
}

void TCustomLabel::SetShowAccelChar(bool Value) {
  if (showAccelChar_ == Value) return;
  showAccelChar_ = Value;
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::SetFocusControl(TWinControl* Value) {
  if (focusControl_ == Value) return;
  if (focusControl_) focusControl_->RemoveFreeNotification(this);
  focusControl_ = Value;
  if (focusControl_) focusControl_->FreeNotification(this);
}

void TCustomLabel::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == focusControl_) focusControl_ = nullptr;
}

void TCustomLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}

void TCustomLabel::DoDrawText(TRect& Rect, UINT Flags) {
  TCanvas* c = Canvas();
  std::string text = GetLabelText();
  if ((Flags & DT_CALCRECT) && (text.empty() || (showAccelChar_ && text == "&"))) text += ' ';
  if (!showAccelChar_) Flags |= DT_NOPREFIX;
  Flags = DrawTextBiDiModeFlags(Flags);
  c->SetFont(Font());
  if (!Enabled()) {
    OffsetRect(&Rect, 1, 1);
    c->Font()->SetColor(clBtnHighlight);
    DrawText(c->Handle(), text.c_str(), -1, &Rect, Flags);
    OffsetRect(&Rect, -1, -1);
    c->Font()->SetColor(clBtnShadow);
    DrawText(c->Handle(), text.c_str(), -1, &Rect, Flags);
  } else {
    DrawText(c->Handle(), text.c_str(), -1, &Rect, Flags);
  }
}

void TCustomLabel::Paint() {
  static const UINT alignments[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
  TCanvas* c = Canvas();
  if (!Transparent()) {
    c->Brush()->SetColor(Color());
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(ClientRect());
  }
  c->Brush()->SetStyle(bsClear);
  TRect r = ClientRect();
  const UINT style = DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0) | alignments[alignment_];
  if (layout_ != tlTop) {
    TRect calc = r;
    DoDrawText(calc, style | DT_CALCRECT);
    const int dy = layout_ == tlBottom ? Height() - calc.bottom : (Height() - calc.bottom) / 2;
    OffsetRect(&r, 0, dy);
  }
  DoDrawText(r, style);
}

void TCustomLabel::AdjustBounds() {
  if (ComponentState().Contains(csLoading) || !autoSize_) return;
  TScratchCanvas measure;
  TRect r = ClientRect();
  {
    std::string text = GetLabelText();
    if (text.empty() || (showAccelChar_ && text == "&")) text += ' ';
    measure.SetFont(Font());
    UINT flags = DT_EXPANDTABS | DT_CALCRECT | (wordWrap_ ? DT_WORDBREAK : 0);
    if (!showAccelChar_) flags |= DT_NOPREFIX;
    DrawText(measure.Handle(), text.c_str(), -1, &r, flags);
  }
  int x = Left();
  if (alignment_ == taRightJustify) x += Width() - r.right;
  SetBounds(x, Top(), r.right, r.bottom);
}

void TCustomLabel::CMTextChanged(TMessage&) {
  Invalidate();
  AdjustBounds();
}

void TCustomLabel::CMFontChanged(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  AdjustBounds();
}

void TCustomLabel::CMDialogChar(TMessage& Message) {
  if (focusControl_ && Enabled() && showAccelChar_ && IsAccel(WORD(Message.WParam), Caption()) &&
      focusControl_->CanFocus()) {
    focusControl_->SetFocus();
    Message.Result = 1;
  }
}

// ---- TButtonControl ----

TButtonControl::TButtonControl(TComponent* AOwner) : TWinControl(AOwner) {
  SetColor(clBtnFace);
  SetParentColor(false);
  SetTabStop(true);
}

void TButtonControl::PaintWindow(HDC DC) {
  TCanvas canvas;
  canvas.SetHandle(DC);
  canvas.SetFont(Font());
  try {
    PaintButton(&canvas);
  } catch (...) {
    canvas.SetHandle(nullptr);
    throw;
  }
  canvas.SetHandle(nullptr);
}

void TButtonControl::DrawCaption(TCanvas* Canvas, TRect R, UINT Flags) {
  Canvas->Brush()->SetStyle(bsClear);
  const std::string& text = Caption();
  if (!Enabled()) {
    OffsetRect(&R, 1, 1);
    Canvas->Font()->SetColor(clBtnHighlight);
    DrawText(Canvas->Handle(), text.c_str(), -1, &R, Flags);
    OffsetRect(&R, -1, -1);
    Canvas->Font()->SetColor(clBtnShadow);
  }
  DrawText(Canvas->Handle(), text.c_str(), -1, &R, Flags);
}

// ---- TButton ----

TButton::TButton(TComponent* AOwner) : TButtonControl(AOwner) {
  SetControlStyle({csSetCaption, csDoubleClicks, csCaptureMouse});
  width_ = 75;
  height_ = 25;
}

void TButton::Click() {
  if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
  TButtonControl::Click();
}

void TButton::SetDefault(bool Value) {
  if (default_ == Value) return;
  default_ = Value;
  Invalidate();
}

bool TButton::IsActive() const {
  TWinControl* focus = FocusedControl();
  if (focus && focus->InheritsFrom(TButton::StaticClass())) return focus == this;
  return default_;
}

void TButton::SetPushed(bool Value) {
  if (pushed_ == Value) return;
  pushed_ = Value;
  Repaint();
}

void TButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && Enabled()) {
    if (FocusOnPress() && CanFocus() && !Focused()) SetFocus();
    pressed_ = true;
    SetPushed(true);
  }
  TButtonControl::MouseDown(Button, Shift, X, Y);
}

void TButton::MouseMove(TShiftState Shift, int X, int Y) {
  if (pressed_) {
    const TRect r = ClientRect();
    SetPushed(PtInRect(&r, TPoint{X, Y}));
  }
  TButtonControl::MouseMove(Shift, X, Y);
}

void TButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && pressed_) {
    pressed_ = false;
    const bool inside = pushed_;
    SetPushed(false);
    if (inside) Click();
  }
  if (!ComponentState().Contains(csDestroying)) TButtonControl::MouseUp(Button, Shift, X, Y);
}

void TButton::KeyDown(WORD& Key, TShiftState Shift) {
  TButtonControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE && Shift.Empty()) {
    pressed_ = true;
    SetPushed(true);
  }
}

void TButton::KeyUp(WORD& Key, TShiftState Shift) {
  TButtonControl::KeyUp(Key, Shift);
  if (Key == VK_SPACE && pressed_) {
    pressed_ = false;
    SetPushed(false);
    Click();
  }
}

void TButton::CMDialogKey(TMessage& Message) {
  const WORD key = WORD(Message.WParam);
  if (((key == VK_RETURN && IsActive()) || (key == VK_ESCAPE && cancel_)) &&
      KeyDataToShiftState(Message.LParam).Empty() && CanFocus()) {
    Click();
    Message.Result = 1;
  }
}

void TButton::CMDialogChar(TMessage& Message) {
  if (IsAccel(WORD(Message.WParam), Caption()) && CanFocus()) {
    Click();
    Message.Result = 1;
  }
}

void TButton::CMFocusChanged(TMessage&) {
  if (default_) Invalidate();
}

void TButton::WMGetDlgCode(TMessage& Message) {
  Message.Result = DLGC_BUTTON | (IsActive() ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
}

void TButton::WMFocus(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  if (Message.Msg == WM_KILLFOCUS && pressed_) {
    pressed_ = false;
    pushed_ = false;
  }
  Invalidate();
}

void TButton::PaintButton(TCanvas* Canvas) {
  TRect r = ClientRect();
  const bool active = IsActive() && Enabled();
  if (active) {
    Canvas->Brush()->SetStyle(bsSolid);
    Canvas->Brush()->SetColor(clWindowFrame);
    Canvas->FrameRect(r);
    InflateRect(&r, -1, -1);
  }
  UINT state = DFCS_BUTTONPUSH;
  if (pushed_) state |= DFCS_PUSHED;
  if (!Enabled()) state |= DFCS_INACTIVE;
  if (pushed_ && active) {
    // A pressed default button: a flat shadow frame.
    Canvas->Brush()->SetColor(clBtnShadow);
    Canvas->FrameRect(r);
    TRect inner = r;
    InflateRect(&inner, -1, -1);
    Canvas->Brush()->SetColor(Color());
    Canvas->FillRect(inner);
  } else {
    DrawFrameControl(Canvas->Handle(), &r, DFC_BUTTON, state);
  }
  TRect text = r;
  if (pushed_) OffsetRect(&text, 1, 1);
  DrawCaption(Canvas, text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  if (Focused()) {
    TRect f = r;
    InflateRect(&f, -3, -3);
    Canvas->Brush()->SetStyle(bsSolid);
    Canvas->Brush()->SetColor(Color());
    Canvas->Font()->SetColor(clBtnText);
    Canvas->DrawFocusRect(f);
  }
}

// ---- TCheckBox ----

TCheckBox::TCheckBox(TComponent* AOwner) : TButtonControl(AOwner) {
  SetControlStyle({csSetCaption, csDoubleClicks, csCaptureMouse});
  width_ = 97;
  height_ = 17;
}

void TCheckBox::SetState(TCheckBoxState Value) {
  if (state_ == Value) return;
  state_ = Value;
  Invalidate();
  Click();
}

void TCheckBox::SetAlignment(TAlignment Value) {
  if (alignment_ == Value) return;
  alignment_ = Value;
  Invalidate();
}

void TCheckBox::Toggle() {
  switch (state_) {
    case cbUnchecked: SetState(cbChecked); break;
    case cbChecked: SetState(allowGrayed_ ? cbGrayed : cbUnchecked); break;
    case cbGrayed: SetState(cbUnchecked); break;
  }
}

void TCheckBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && Enabled()) {
    if (CanFocus() && !Focused()) SetFocus();
    pressed_ = true;
  }
  TButtonControl::MouseDown(Button, Shift, X, Y);
}

void TCheckBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && pressed_) {
    pressed_ = false;
    const TRect r = ClientRect();
    if (PtInRect(&r, TPoint{X, Y})) Toggle();
  }
  if (!ComponentState().Contains(csDestroying)) TButtonControl::MouseUp(Button, Shift, X, Y);
}

void TCheckBox::KeyUp(WORD& Key, TShiftState Shift) {
  TButtonControl::KeyUp(Key, Shift);
  if (Key == VK_SPACE) Toggle();
}

void TCheckBox::CMDialogChar(TMessage& Message) {
  if (IsAccel(WORD(Message.WParam), Caption()) && CanFocus()) {
    SetFocus();
    Toggle();
    Message.Result = 1;
  }
}

void TCheckBox::WMFocus(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  Invalidate();
}

void TCheckBox::PaintButton(TCanvas* Canvas) {
  const TRect client = ClientRect();
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(Color());
  Canvas->FillRect(client);
  constexpr int box = 13;
  const int top = (client.bottom - box) / 2;
  const bool boxLeft = alignment_ == taRightJustify;
  TRect b = boxLeft ? Bounds(0, top, box, box) : Bounds(client.right - box, top, box, box);
  UINT state = DFCS_BUTTONCHECK;
  if (state_ == cbChecked) state |= DFCS_CHECKED;
  if (state_ == cbGrayed) state |= DFCS_BUTTON3STATE | DFCS_CHECKED;
  if (!Enabled()) state |= DFCS_INACTIVE;
  DrawFrameControl(Canvas->Handle(), &b, DFC_BUTTON, state);
  TRect text = boxLeft ? TRect{box + 4, 0, client.right, client.bottom} : TRect{0, 0, client.right - box - 4, client.bottom};
  DrawCaption(Canvas, text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  if (Focused()) {
    TRect calc = text;
    DrawText(Canvas->Handle(), Caption().c_str(), -1, &calc, DT_LEFT | DT_SINGLELINE | DT_CALCRECT);
    const int h = calc.bottom - calc.top;
    TRect f{text.left - 1, (client.bottom - h) / 2 - 1, std::min(text.right, calc.right + 1), (client.bottom + h) / 2 + 1};
    Canvas->Brush()->SetColor(Color());
    Canvas->Font()->SetColor(clBtnText);
    Canvas->DrawFocusRect(f);
  }
}

// ---- TCustomEdit ----

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
  SetControlStyle({csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks});
  SetColor(clWindow);
  SetParentColor(false);
  SetTabStop(true);
  width_ = 121;
  height_ = 21;
  SetCursor(crIBeam);
}

void TCustomEdit::SetReadOnly(bool Value) { readOnly_ = Value; }

void TCustomEdit::SetPasswordChar(char Value) {
  if (passwordChar_ == Value) return;
  passwordChar_ = Value;
  Invalidate();
}

void TCustomEdit::SetBorderStyle(TBorderStyle Value) {
  if (borderStyle_ == Value) return;
  borderStyle_ = Value;
  Invalidate();
}

void TCustomEdit::SetHideSelection(bool Value) {
  if (hideSelection_ == Value) return;
  hideSelection_ = Value;
  Invalidate();
}

int TCustomEdit::SelStart() const { return std::min(caret_, anchor_); }
int TCustomEdit::SelLength() const { return std::abs(caret_ - anchor_); }

void TCustomEdit::SetSelStart(int Value) {
  const int n = TextLength();
  Value = std::clamp(Value, 0, n);
  caret_ = anchor_ = Value;
  Invalidate();
}

void TCustomEdit::SetSelLength(int Value) {
  const int n = TextLength();
  anchor_ = SelStart();
  caret_ = std::clamp(anchor_ + std::max(0, Value), 0, n);
  Invalidate();
}

std::string TCustomEdit::SelText() const {
  const auto offs = Offsets(Text());
  const size_t a = offs[size_t(SelStart())], b = offs[size_t(SelStart() + SelLength())];
  return Text().substr(a, b - a);
}

void TCustomEdit::SetSelText(const std::string& Value) { ReplaceSelection(Value, false); }

void TCustomEdit::SelectAll() {
  anchor_ = 0;
  caret_ = TextLength();
  Invalidate();
}

void TCustomEdit::ClearSelection() { ReplaceSelection("", false); }

void TCustomEdit::CopyToClipboard() {
  if (passwordChar_ || SelLength() == 0) return;
  Clipboard()->SetAsText(SelText());
}

void TCustomEdit::CutToClipboard() {
  if (readOnly_ || passwordChar_ || SelLength() == 0) return;
  CopyToClipboard();
  ReplaceSelection("", true);
}

void TCustomEdit::PasteFromClipboard() {
  if (readOnly_ || !Clipboard()->HasFormat(CF_TEXT)) return;
  std::string text = Clipboard()->AsText();
  if (!MultiLine()) text = text.substr(0, text.find_first_of("\r\n"));
  ReplaceSelection(text, true);
}

void TCustomEdit::SetAlignment(TAlignment Value) { SetAndNotify(alignment_, Value, [this] { Invalidate(); }); }

const std::vector<size_t>& TCustomEdit::Offsets(const std::string& S, int Slot) const {
  TOffsetCache& c = offsets_[Slot];
  if (c.valid && c.text == S) return c.offsets;
  const size_t same = c.valid ? CommonPrefix(S, c.text) : 0;
  // The characters before the first difference keep their offsets.
  c.offsets.erase(std::lower_bound(c.offsets.begin(), c.offsets.end(), same), c.offsets.end());
  for (size_t i = same; i < S.size(); i = std::min(S.size(), i + size_t(CharLength(static_cast<unsigned char>(S[i])))))
    c.offsets.push_back(i);
  c.offsets.push_back(S.size());
  c.text = S;
  c.valid = true;
  return c.offsets;
}

int TCustomEdit::AlignShift(int TextWidth) const {
  if (MultiLine() || alignment_ == taLeftJustify) return 0;
  const TRect area = TextArea();
  // One pixel stays free for the caret after the last character.
  const int room = (area.right - area.left - 1) - TextWidth;
  if (room <= 0) return 0;
  return alignment_ == taRightJustify ? room : room / 2;
}

void TCustomEdit::Change() {
  modified_ = true;
  OnChange(this);
}

void TCustomEdit::CMTextChanged(TMessage& Message) {
  const int n = TextLength();
  caret_ = std::min(caret_, n);
  anchor_ = std::min(anchor_, n);
  MessageMapBase::Dispatch(Message);
  Change();
}

void TCustomEdit::ReplaceSelection(const std::string& Value, bool ByUser) {
  const std::string& text = Text();
  const auto& offs = Offsets(text);
  const int start = SelStart(), len = SelLength();
  std::string insert = Value;
  if (ByUser && maxLength_ > 0) {
    const int room = maxLength_ - ((int(offs.size()) - 1) - len);
    if (room <= 0) return;
    const auto ins = CharOffsets(insert);
    if (int(ins.size()) - 1 > room) insert = insert.substr(0, ins[size_t(room)]);
  }
  std::string next = text.substr(0, offs[size_t(start)]) + insert + text.substr(offs[size_t(start + len)]);
  if (ByUser && !AllowText(next)) return;
  const int caretAfter = start + CharCount(insert);
  caret_ = anchor_ = caretAfter;
  SetText(next);
  caret_ = anchor_ = std::min(caretAfter, TextLength());
  Invalidate();
}

void TCustomEdit::InsertText(const std::string& Text) { ReplaceSelection(Text, true); }

void TCustomEdit::DeleteAt(bool Forward) {
  if (SelLength() == 0) {
    const std::string& text = Text();
    const auto& offs = Offsets(text);
    const int n = int(offs.size()) - 1;
    if (Forward) {
      if (caret_ >= n) return;
      // A line break goes as a whole.
      const int step = (text.compare(offs[size_t(caret_)], 2, "\r\n") == 0) ? 2 : 1;
      caret_ = std::min(n, caret_ + step);
    } else {
      if (caret_ <= 0) return;
      const int step = (caret_ >= 2 && text.compare(offs[size_t(caret_ - 2)], 2, "\r\n") == 0) ? 2 : 1;
      anchor_ = caret_;
      caret_ = std::max(0, caret_ - step);
    }
  }
  ReplaceSelection("", true);
}

void TCustomEdit::WMGetDlgCode(TMessage& Message) {
  Message.Result = DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL;
}

void TCustomEdit::WMChar(TMessage& Message) {
  // The key press events first (the form's preview, then the control's own).
  if (DoKeyPress(Message)) return;
  const char32_t ch = char32_t(Message.WParam);
  // Ctrl+A and Ctrl+C work in a read-only edit too.
  if (ch == 1) return SelectAll();
  if (ch == 3) return CopyToClipboard();
  if (readOnly_) return;
  if (ch == 8) {
    DeleteAt(false);
  } else if (ch == 22) {
    PasteFromClipboard();
  } else if (ch == 24) {
    CutToClipboard();
  } else if (ch == '\r') {
    if (MultiLine()) InsertText("\r\n");
  } else if (ch == '\t') {
    if (MultiLine()) InsertText("\t");
  } else if (ch >= 32 && ch != 127) {
    InsertText(CodePointToUtf8(ch));
  }
}

void TCustomEdit::WMFocus(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  selectingByMouse_ = false;
  Invalidate();
}

void TCustomEdit::DoEnter() {
  if (autoSelect_ && !MultiLine() && !(GetKeyState(VK_LBUTTON) < 0)) SelectAll();
  TWinControl::DoEnter();
}

std::vector<int> TCustomEdit::LineStarts() const {
  std::vector<int> starts{0};
  if (!MultiLine()) return starts;
  const std::string& text = Text();
  const auto& offs = Offsets(text);
  for (size_t i = 0; i + 1 < offs.size(); ++i)
    if (text[offs[i]] == '\n') starts.push_back(int(i) + 1);
  return starts;
}

int TCustomEdit::LineOf(int Index) const {
  const auto starts = LineStarts();
  return int(std::upper_bound(starts.begin(), starts.end(), Index) - starts.begin()) - 1;
}

std::string TCustomEdit::Shown(const std::string& Text) const {
  if (!passwordChar_) return Text;
  return std::string(size_t(CharCount(Text)), passwordChar_);
}

TRect TCustomEdit::TextArea() const {
  TRect r = ClientRect();
  if (borderStyle_ == bsSingle) InflateRect(&r, -2, -2);
  InflateRect(&r, -1, -1);
  return r;
}

int TCustomEdit::LineHeight() {
  TScratchCanvas c;
  c.SetFont(Font());
  return c.TextHeight("Wg");
}

// The text of a line without its break.
static std::string LineText(const std::string& text, const std::vector<size_t>& offs, const std::vector<int>& starts,
                            size_t line, int& first, int& count) {
  first = starts[line];
  int end = line + 1 < starts.size() ? starts[line + 1] : int(offs.size()) - 1;
  std::string s = text.substr(offs[size_t(first)], offs[size_t(end)] - offs[size_t(first)]);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) {
    s.pop_back();
    --end;
  }
  count = end - first;
  return s;
}

int TCustomEdit::CharAtPoint(int X, int Y) {
  TScratchCanvas c;
  c.SetFont(Font());
  const TRect area = TextArea();
  const std::string& text = Text();
  const auto& offs = Offsets(text);
  const auto starts = LineStarts();
  const int lh = std::max(1, c.TextHeight("Wg"));
  int line = MultiLine() ? topLine_ + (Y - area.top) / lh : 0;
  line = std::clamp(line, 0, int(starts.size()) - 1);
  int first = 0, count = 0;
  const std::string s = Shown(LineText(text, offs, starts, size_t(line), first, count));
  const std::vector<int>& w = LineWidths(&c, s);
  const int x = X - area.left + scrollX_ - AlignShift(w.back());
  // The boundary nearest to the point: past the middle of a character is after it.
  int best = 0;
  for (int i = 1; i <= count && x >= (w[size_t(i - 1)] + w[size_t(i)]) / 2; ++i) best = i;
  return first + best;
}

const std::vector<int>& TCustomEdit::LineWidths(TCanvas* Canvas, const std::string& Line) {
  TFont* f = Canvas->Font();
  const std::string font = f->Name() + '/' + std::to_string(f->Height()) + '/' + std::to_string(f->Style().Bits());
  TLineWidths& m = widths_;
  if (m.font != font) {
    m.font = font;
    m.line.clear();
    m.widths.assign(1, 0);
  }
  // Keep the widths of the characters both lines share.
  const size_t same = CommonPrefix(Line, m.line);
  const auto& offs = Offsets(Line, 1);
  const size_t keep = size_t(std::lower_bound(offs.begin(), offs.end(), same) - offs.begin());
  m.widths.resize(std::min(m.widths.size(), keep + 1));
  // Text is measured without kerning, so a prefix is as wide as its characters.
  for (size_t i = m.widths.size() - 1; i + 1 < offs.size(); ++i)
    m.widths.push_back(m.widths.back() + Canvas->TextWidth(Line.substr(offs[i], offs[i + 1] - offs[i])));
  m.line = Line;
  return m.widths;
}

void TCustomEdit::MoveCaret(int Index, bool Extend) {
  const int n = TextLength();
  caret_ = std::clamp(Index, 0, n);
  if (!Extend) anchor_ = caret_;
  Invalidate();
}

void TCustomEdit::KeyDown(WORD& Key, TShiftState Shift) {
  TWinControl::KeyDown(Key, Shift);
  if (Key == 0) return;
  const bool extend = Shift.Contains(ssShift);
  const std::string& text = Text();
  const auto& offs = Offsets(text);
  const auto starts = LineStarts();
  const int line = LineOf(caret_);
  int first = 0, count = 0;
  LineText(text, offs, starts, size_t(line), first, count);
  switch (Key) {
    case VK_LEFT: {
      int to = caret_ - 1;
      if (to >= 1 && text.compare(offs[size_t(to - 1)], 2, "\r\n") == 0) --to;
      if (!extend && SelLength() > 0) to = SelStart();
      MoveCaret(to, extend);
      break;
    }
    case VK_RIGHT: {
      int to = caret_ + 1;
      if (caret_ < int(offs.size()) - 1 && text.compare(offs[size_t(caret_)], 2, "\r\n") == 0) ++to;
      if (!extend && SelLength() > 0) to = SelStart() + SelLength();
      MoveCaret(to, extend);
      break;
    }
    case VK_HOME: MoveCaret(Shift.Contains(ssCtrl) ? 0 : first, extend); break;
    case VK_END: MoveCaret(Shift.Contains(ssCtrl) ? int(offs.size()) - 1 : first + count, extend); break;
    case VK_DELETE:
      if (Shift.Contains(ssShift))
        CutToClipboard();
      else if (!readOnly_)
        DeleteAt(true);
      break;
    case VK_INSERT:
      if (Shift.Contains(ssCtrl))
        CopyToClipboard();
      else if (Shift.Contains(ssShift))
        PasteFromClipboard();
      else
        return;
      break;
    default: return;
  }
  Key = 0;
}

void TCustomEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    MoveCaret(CharAtPoint(X, Y), Shift.Contains(ssShift));
    selectingByMouse_ = true;
  }
  TWinControl::MouseDown(Button, Shift, X, Y);
}

void TCustomEdit::MouseMove(TShiftState Shift, int X, int Y) {
  if (selectingByMouse_ && Shift.Contains(ssLeft)) MoveCaret(CharAtPoint(X, Y), true);
  if (!Shift.Contains(ssLeft)) selectingByMouse_ = false;
  TWinControl::MouseMove(Shift, X, Y);
}

void TCustomEdit::PaintWindow(HDC DC) {
  TCanvas c;
  c.SetHandle(DC);
  c.SetFont(Font());
  TRect r = ClientRect();
  if (borderStyle_ == bsSingle) {
    DrawEdge(DC, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  }
  c.Brush()->SetStyle(bsSolid);
  c.Brush()->SetColor(Enabled() ? Color() : clBtnFace);
  c.FillRect(r);
  const TRect area = TextArea();
  IntersectClipRect(DC, area.left, area.top, area.right, area.bottom);
  const std::string& text = Text();
  const auto& offs = Offsets(text);
  const auto starts = LineStarts();
  const int lh = std::max(1, c.TextHeight("Wg"));
  const bool showSelection = Focused() || !hideSelection_;
  const int selA = SelStart(), selB = SelStart() + SelLength();
  // Keep the caret in view horizontally (single line).
  const int caretLine = LineOf(caret_);
  for (size_t line = size_t(MultiLine() ? topLine_ : 0); line < starts.size(); ++line) {
    const int y = area.top + (int(line) - (MultiLine() ? topLine_ : 0)) * lh;
    if (y >= area.bottom) break;
    int first = 0, count = 0;
    const std::string s = Shown(LineText(text, offs, starts, line, first, count));
    const auto& sOffs = Offsets(s, 1);
    const std::vector<int>& w = LineWidths(&c, s);
    const int left = area.left + AlignShift(w.back());
    auto xOf = [&](int i) { return left - scrollX_ + w[size_t(i)]; };
    if (!MultiLine() && int(line) == caretLine) {
      const int cx = xOf(caret_ - first);
      if (cx > area.right - 1) scrollX_ += cx - (area.right - 1);
      if (cx < area.left) scrollX_ = std::max(0, scrollX_ - (area.left - cx));
    }
    // Only the characters in view are drawn.
    const int from = int(std::upper_bound(w.begin(), w.end(), scrollX_) - w.begin()) - 1;
    const int to = int(std::lower_bound(w.begin(), w.end(), scrollX_ + area.right - area.left) - w.begin());
    const int a0 = std::clamp(from, 0, count), b0 = std::clamp(to, a0, count);
    c.Brush()->SetStyle(bsClear);
    c.Font()->SetColor(Enabled() ? Font()->Color() : clGrayText);
    c.TextOut(xOf(a0), y, s.substr(sOffs[size_t(a0)], sOffs[size_t(b0)] - sOffs[size_t(a0)]));
    const int a = std::clamp(selA - first, a0, b0), b = std::clamp(selB - first, a0, b0);
    if (showSelection && a < b) {
      const std::string part = s.substr(sOffs[size_t(a)], sOffs[size_t(b)] - sOffs[size_t(a)]);
      const int x0 = xOf(a);
      c.Brush()->SetStyle(bsSolid);
      c.Brush()->SetColor(clHighlight);
      c.Font()->SetColor(clHighlightText);
      const TRect sel{x0, y, xOf(b), y + lh};
      c.TextRect(sel, x0, y, part);
    }
    if (Focused() && int(line) == caretLine && SelLength() == 0) {
      const int cx = xOf(caret_ - first);
      c.Pen()->SetColor(clWindowText);
      c.Pen()->SetMode(pmNot);
      c.MoveTo(cx, y);
      c.LineTo(cx, y + lh);
      c.Pen()->SetMode(pmCopy);
    }
  }
  c.SetHandle(nullptr);
}

// ---- TMemo ----

// The memo's lines: every change is the memo's text, and the memo's text changes
// them.
class TMemoStrings : public TStringList {
 public:
  explicit TMemoStrings(TMemo* Memo) : memo_(Memo) {}
  bool syncing = false;

 protected:
  void Changed() override {
    TStringList::Changed();
    if (syncing || UpdateCount() > 0) return;
    syncing = true;
    try {
      memo_->SetText(Text());
    } catch (...) {
      syncing = false;
      throw;
    }
    syncing = false;
  }

 private:
  TMemo* memo_;
};

TMemo::TMemo(TComponent* AOwner) : TCustomEdit(AOwner), lines_(std::make_unique<TMemoStrings>(this)) {
  width_ = 185;
  height_ = 89;
  SetAutoSelect(false);
}

TRect TMemo::TextArea() const {
  TRect r = TCustomEdit::TextArea();
  if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) r.right -= GetSystemMetrics(SM_CXVSCROLL);
  return r;
}

void TMemo::CMTextChanged(TMessage& Message) {
  if (!lines_->syncing) {
    lines_->syncing = true;
    try {
      lines_->SetText(Text());
    } catch (...) {
      lines_->syncing = false;
      throw;
    }
    lines_->syncing = false;
  }
  MessageMapBase::Dispatch(Message);
}

TMemo::~TMemo() { Destroying(); }

TStrings* TMemo::Lines() const { return lines_.get(); }

void TMemo::SetLines(TStrings* Value) { lines_->Assign(Value); }

void TMemo::SetScrollBars(TScrollStyle Value) {
  if (scrollBars_ == Value) return;
  scrollBars_ = Value;
  Invalidate();
}

void TMemo::WMGetDlgCode(TMessage& Message) {
  Message.Result = DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL;
  if (wantReturns_) Message.Result |= DLGC_WANTALLKEYS;
  if (wantTabs_) Message.Result |= DLGC_WANTTAB;
}

int TMemo::VisibleLines() {
  const TRect area = TextArea();
  return std::max(1, (area.bottom - area.top) / std::max(1, LineHeight()));
}

void TMemo::ScrollTo(int TopLine) {
  const int lines = int(LineStarts().size());
  TopLine = std::clamp(TopLine, 0, std::max(0, lines - VisibleLines()));
  if (TopLine == topLine_) return;
  topLine_ = TopLine;
  Invalidate();
}

void TMemo::WMMouseWheel(TMessage& Message) {
  const int delta = int16_t(HIWORD(Message.WParam));
  ScrollTo(topLine_ - delta / 40);
}

void TMemo::KeyDown(WORD& Key, TShiftState Shift) {
  if (Key == VK_UP || Key == VK_DOWN || Key == VK_PRIOR || Key == VK_NEXT) {
    TWinControl::KeyDown(Key, Shift);
    if (Key == 0) return;
    const std::string& text = Text();
    const auto& offs = Offsets(text);
    const auto starts = LineStarts();
    const int line = LineOf(caret_);
    const int step = (Key == VK_UP || Key == VK_DOWN) ? 1 : VisibleLines();
    const int to = std::clamp(line + ((Key == VK_UP || Key == VK_PRIOR) ? -step : step), 0, int(starts.size()) - 1);
    int first = 0, count = 0;
    LineText(text, offs, starts, size_t(to), first, count);
    MoveCaret(first + std::min(caret_ - starts[size_t(line)], count), Shift.Contains(ssShift));
    Key = 0;
  } else {
    TCustomEdit::KeyDown(Key, Shift);
  }
  const int line = LineOf(caret_);
  if (line < topLine_) ScrollTo(line);
  if (line >= topLine_ + VisibleLines()) ScrollTo(line - VisibleLines() + 1);
}

void TMemo::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const TRect area = TextArea();
  if (Button == mbLeft && (scrollBars_ == ssVertical || scrollBars_ == ssBoth) && X >= area.right) {
    // The scroll bar: the upper half scrolls up, the lower half down.
    ScrollTo(topLine_ + (Y < Height() / 2 ? -1 : 1));
    return;
  }
  TCustomEdit::MouseDown(Button, Shift, X, Y);
}

void TMemo::PaintWindow(HDC DC) {
  TCustomEdit::PaintWindow(DC);
  if (scrollBars_ != ssVertical && scrollBars_ != ssBoth) return;
  // A classic vertical scroll bar at the right edge: two arrow buttons and a thumb.
  TRect r = ClientRect();
  if (BorderStyle() == bsSingle) InflateRect(&r, -2, -2);
  const int w = GetSystemMetrics(SM_CXVSCROLL);
  TRect bar{r.right - w, r.top, r.right, r.bottom};
  TCanvas c;
  c.SetHandle(DC);
  c.Brush()->SetColor(clScrollBar);
  c.FillRect(bar);
  TRect up{bar.left, bar.top, bar.right, bar.top + w};
  TRect down{bar.left, bar.bottom - w, bar.right, bar.bottom};
  DrawFrameControl(DC, &up, DFC_BUTTON, DFCS_BUTTONPUSH);
  DrawFrameControl(DC, &down, DFC_BUTTON, DFCS_BUTTONPUSH);
  const int lines = int(LineStarts().size()), visible = VisibleLines();
  if (lines > visible) {
    const int track = std::max(1, int(down.top - up.bottom));
    const int thumbH = std::min(track, std::max(GetSystemMetrics(SM_CYVTHUMB), track * visible / lines));
    const int thumbY = up.bottom + (track - thumbH) * topLine_ / std::max(1, lines - visible);
    TRect thumb{bar.left, thumbY, bar.right, thumbY + thumbH};
    DrawFrameControl(DC, &thumb, DFC_BUTTON, DFCS_BUTTONPUSH);
  }
  c.SetHandle(nullptr);
}
