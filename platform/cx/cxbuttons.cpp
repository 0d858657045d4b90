#include "platform/cx/cxbuttons.h"

#include "platform/vcl/forms.h"

namespace {
// The width of the arrow part of a cxbkDropDownButton.
constexpr int kArrowWidth = 15;
}  // namespace

// ---- TcxSpeedButtonOptions ----

void TcxSpeedButtonOptions::Assign(TPersistent* Source) {
  auto* o = As<TcxSpeedButtonOptions>(Source);
  if (!o) return TPersistent::Assign(Source);
  canBeFocused_ = o->canBeFocused_;
  flat_ = o->flat_;
  transparent_ = o->transparent_;
  OnChange(this);
}

void TcxSpeedButtonOptions::SetCanBeFocused(bool Value) {
  SetAndNotify(canBeFocused_, Value, [this] { OnChange(this); });
}

void TcxSpeedButtonOptions::SetFlat(bool Value) {
  SetAndNotify(flat_, Value, [this] { OnChange(this); });
}

void TcxSpeedButtonOptions::SetTransparent(bool Value) {
  SetAndNotify(transparent_, Value, [this] { OnChange(this); });
}

// ---- TcxButton ----

TcxButton::TcxButton(TComponent* AOwner)
    : TButton(AOwner),
      glyph_(std::make_unique<TBitmap>()),
      lookAndFeel_(std::make_unique<TcxLookAndFeel>()),
      speedButtonOptions_(std::make_unique<TcxSpeedButtonOptions>()) {
  glyph_->OnChange = TNotifyEvent(this, &TcxButton::GlyphChanged);
  lookAndFeel_->OnChanged = TNotifyEvent(this, &TcxButton::OptionsChanged);
  speedButtonOptions_->OnChange = TNotifyEvent(this, &TcxButton::OptionsChanged);
}

TcxButton::~TcxButton() {
  Destroying();
  SetDropDownMenu(nullptr);
}

void TcxButton::SetKind(TcxButtonKind Value) {
  SetAndNotify(kind_, Value, [this] { Invalidate(); });
}

void TcxButton::SetDropDownMenu(TPopupMenu* Value) {
  if (dropDownMenu_ == Value) return;
  if (dropDownMenu_) dropDownMenu_->RemoveFreeNotification(this);
  dropDownMenu_ = Value;
  if (dropDownMenu_) dropDownMenu_->FreeNotification(this);
}

void TcxButton::Notification(TComponent* AComponent, TOperation Operation) {
  TButton::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == dropDownMenu_) dropDownMenu_ = nullptr;
}

void TcxButton::OptionsChanged(TObject*) {
  SetTabStop(speedButtonOptions_->CanBeFocused());
  Invalidate();
}

TRect TcxButton::ArrowRect() const {
  if (kind_ != cxbkDropDownButton) return TRect{};
  const TRect r = ClientRect();
  return TRect{std::max(r.left, r.right - kArrowWidth), r.top, r.right, r.bottom};
}

void TcxButton::DropDown() {
  TPopupMenu* menu = dropDownMenu_;
  bool handled = false;
  OnDropDownMenuPopup(this, menu, handled);
  if (handled || !menu || ComponentState().Contains(csDestroying)) return;
  const TPoint below = ClientToScreen(TPoint{0, Height()});
  menu->SetPopupComponent(this);
  menu->Popup(below.x, below.y);
}

void TcxButton::Click() {
  if (kind_ == cxbkDropDown) return DropDown();
  TButton::Click();
}

void TcxButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const TRect arrow = ArrowRect();
  if (Button == mbLeft && Enabled() && PtInRect(&arrow, TPoint{X, Y})) {
    // The arrow part opens the menu and does not click.
    TButtonControl::MouseDown(Button, Shift, X, Y);
    DropDown();
    return;
  }
  TButton::MouseDown(Button, Shift, X, Y);
}

void TcxButton::CMMouseChanged(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  if (speedButtonOptions_->Flat() || speedButtonOptions_->Transparent()) Invalidate();
}

void TcxButton::DrawGlyph(TCanvas* Canvas, const TRect& Part) {
  if (glyph_->Empty()) return;
  const int x = (Part.left + Part.right - glyph_->Width()) / 2 + (Pushed() ? 1 : 0);
  const int y = (Part.top + Part.bottom - glyph_->Height()) / 2 + (Pushed() ? 1 : 0);
  TBitmap shown;
  shown.Assign(glyph_.get());
  shown.SetTransparent(true);
  if (!Enabled()) {
    // Disabled: a pale grey of each pixel's brightness, the clear colour kept.
    shown.SetPixelFormat(pf24bit);
    const COLORREF key = ColorToRGB(shown.TransparentColor());
    for (int row = 0; row < shown.Height(); ++row) {
      auto* p = static_cast<uint8_t*>(shown.ScanLine(row));
      for (int col = 0; col < shown.Width(); ++col, p += 3) {
        if (RGB(p[2], p[1], p[0]) == key) continue;
        const int grey = 128 + (p[2] * 30 + p[1] * 59 + p[0] * 11) / 200;
        p[0] = p[1] = p[2] = uint8_t(std::min(grey, 250));
      }
    }
    shown.SetTransparentColor(TColor(key));
  }
  Canvas->Draw(x, y, &shown);
}

void TcxButton::PaintButton(TCanvas* Canvas) {
  const TRect client = ClientRect();
  const bool faceless =
      (speedButtonOptions_->Flat() || speedButtonOptions_->Transparent()) && !Pushed() && !MouseInClient();
  Canvas->Brush()->SetStyle(bsSolid);
  if (faceless) {
    Canvas->Brush()->SetColor(speedButtonOptions_->Transparent() && Parent() ? Parent()->Color() : Color());
    Canvas->FillRect(client);
  } else {
    TRect face = client;
    DrawFrameControl(Canvas->Handle(), &face, DFC_BUTTON,
                     DFCS_BUTTONPUSH | (Pushed() ? DFCS_PUSHED : 0) | (Enabled() ? 0 : DFCS_INACTIVE));
  }
  TRect part = client;
  const TRect arrow = ArrowRect();
  if (kind_ == cxbkDropDownButton) {
    part.right = arrow.left;
    if (!faceless) {
      Canvas->Pen()->SetColor(clBtnShadow);
      Canvas->MoveTo(arrow.left, arrow.top + 3);
      Canvas->LineTo(arrow.left, arrow.bottom - 3);
    }
    cxDrawDropDownArrow(Canvas, arrow, Enabled() ? clBtnText : clGrayText);
  } else if (kind_ == cxbkDropDown) {
    const TRect mark{client.right - kArrowWidth, client.top, client.right, client.bottom};
    part.right = mark.left;
    cxDrawDropDownArrow(Canvas, mark, Enabled() ? clBtnText : clGrayText);
  }
  DrawGlyph(Canvas, part);
  if (!Caption().empty()) {
    TRect text = part;
    if (!glyph_->Empty()) text.left = (part.left + part.right + glyph_->Width()) / 2 + 2;
    if (Pushed()) OffsetRect(&text, 1, 1);
    DrawCaption(Canvas, text, (glyph_->Empty() ? DT_CENTER : DT_LEFT) | DT_VCENTER | DT_SINGLELINE);
  }
  if (Focused() && speedButtonOptions_->CanBeFocused()) {
    TRect f = part;
    InflateRect(&f, -3, -3);
    Canvas->Brush()->SetColor(Color());
    Canvas->Font()->SetColor(clBtnText);
    Canvas->DrawFocusRect(f);
  }
}
