#include "widgets/RzRadChk.h"

#include <algorithm>
#include <array>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/themes.h"
#include "widgets/RzGrafx.h"

// ---- TRzCustomGlyphButton ----

TRzCustomGlyphButton::TRzCustomGlyphButton(TComponent* AOwner)
    : TRzCustomButton(AOwner), customGlyphs_(std::make_unique<TBitmap>()), background_(std::make_unique<TBitmap>()) {
  SetControlStyle(ControlStyle() + TControlStyle{csSetCaption, csReplicatable});
  customGlyphs_->OnChange = TNotifyEvent(this, &TRzCustomGlyphButton::CustomGlyphsChanged);
}

TRzCustomGlyphButton::~TRzCustomGlyphButton() {
  if (frameController_) frameController_->RemoveControl(this);
}

void TRzCustomGlyphButton::SetAlignment(TLeftRight Value) { SetAndNotify(alignment_, Value, [this] { Invalidate(); }); }
void TRzCustomGlyphButton::SetFrameColor(TColor Value) { SetAndNotify(frameColor_, Value, [this] { Invalidate(); }); }
void TRzCustomGlyphButton::SetDisabledColor(TColor Value) {
  SetAndNotify(disabledColor_, Value, [this] { Invalidate(); });
}
void TRzCustomGlyphButton::SetTransparentColor(TColor Value) {
  SetAndNotify(transparentColor_, Value, [this] { Invalidate(); });
}
void TRzCustomGlyphButton::SetWinMaskColor(TColor Value) {
  SetAndNotify(winMaskColor_, Value, [this] { Invalidate(); });
}

void TRzCustomGlyphButton::SetTransparent(bool Value) {
  backgroundNeedsRefresh_ = true;
  TRzCustomButton::SetTransparent(Value);
}

void TRzCustomGlyphButton::SetCustomGlyphs(TBitmap* Value) { customGlyphs_->Assign(Value); }

void TRzCustomGlyphButton::SetUseCustomGlyphs(bool Value) {
  if (useCustomGlyphs_ == Value) return;
  useCustomGlyphs_ = Value;
  if (Value) {
    glyphWidth_ = customGlyphs_->Width() / cellCount_;
    glyphHeight_ = customGlyphs_->Height();
  } else {
    glyphWidth_ = 13;
    glyphHeight_ = 13;
  }
  Invalidate();
}

void TRzCustomGlyphButton::CustomGlyphsChanged(TObject*) {
  SetUseCustomGlyphs(!customGlyphs_->Empty());
  backgroundNeedsRefresh_ = true;
  Invalidate();
}

void TRzCustomGlyphButton::SetFrameController(TRzFrameController* Value) {
  TRzFrameController::Link(frameController_, Value, this);
}

void TRzCustomGlyphButton::Notification(TComponent* AComponent, TOperation Operation) {
  TRzCustomButton::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == frameController_) frameController_ = nullptr;
}

void TRzCustomGlyphButton::FrameControllerChanged() {
  if (!frameController_ || !frameController_->FrameVisible()) return;
  frameColor_ = frameController_->FrameColor();
  disabledColor_ = frameController_->DisabledColor();
  Invalidate();
}

TClass TRzCustomGlyphButton::GetActionLinkClass() const { return TRzCheckedActionLink::StaticClass(); }

void TRzCustomGlyphButton::ActionChange(TObject* Sender, bool CheckDefaults) {
  TRzCustomButton::ActionChange(Sender, CheckDefaults);
  if (auto* action = ::As<TCustomAction>(Sender); action && (!CheckDefaults || !GetChecked()))
    SetChecked(action->Checked());
}

TAlignment TRzCustomGlyphButton::GetControlsAlignment() const {
  return UseRightToLeftAlignment() && alignment_ == taRightJustify ? taLeftJustify : taRightJustify;
}

void TRzCustomGlyphButton::KeyPress(char& Key) {
  if (tabOnEnter_ && Key == '\r') {
    Key = 0;
    PostMessage(Handle(), WM_KEYDOWN, VK_TAB, 0);
    return;
  }
  TRzCustomButton::KeyPress(Key);
}

void TRzCustomGlyphButton::WMEraseBkgnd(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  backgroundNeedsRefresh_ = true;
}

void TRzCustomGlyphButton::WMSize(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  backgroundNeedsRefresh_ = true;
}

void TRzCustomGlyphButton::CMEnabledChanged(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  backgroundNeedsRefresh_ = true;
  Invalidate();
}

void TRzCustomGlyphButton::CMParentColorChanged(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  backgroundNeedsRefresh_ = true;
  Invalidate();
}

TRect TRzCustomGlyphButton::HotArea() {
  const int x = alignment_ == taRightJustify ? 0 : Width() - glyphWidth_;
  int y = 0;
  switch (AlignmentVertical()) {
    case avTop: y = 2; break;
    case avCenter: y = (Height() - glyphHeight_) / 2; break;
    case avBottom: y = Height() - glyphHeight_ - 2; break;
  }
  return TRect{x, y, x + glyphWidth_, y + glyphHeight_};
}

TColor TRzCustomGlyphButton::AdjustTransparentColor(TColor C) {
  const int32_t rgb = ColorToRGB(C);
  if (rgb != ColorToRGB(transparentColor_) && rgb != ColorToRGB(winMaskColor_) && rgb != 0x808080) return C;
  // Only the red byte moves, so the other channels stay as they are.
  return (rgb & 0xFF) == 0xFF ? rgb - 1 : rgb + 1;
}

void TRzCustomGlyphButton::CopyGlyphCell(int Index, TBitmap* Dest, int Height, int Width, TBitmap* Strip) {
  Dest->SetSize(Width, Height);
  const TRect dest{0, 0, Width, Height};
  Dest->Canvas()->CopyRect(dest, Strip->Canvas(), TRect{Width * Index, 0, Width * (Index + 1), Height});
}

void TRzCustomGlyphButton::PaintGlyph(TCanvas* Canvas) {
  if (!Canvas) Canvas = this->Canvas();
  const int gw = glyphWidth_, gh = glyphHeight_;
  if (gw <= 0 || gh <= 0) return;
  const TRect whole{0, 0, gw, gh};
  TBitmap glyph;
  glyph.SetSize(gw, gh);
  DrawGlyph(&glyph);
  const TRect at = HotArea();

  TBitmap b;
  b.SetSize(gw, gh);
  if (Transparent()) {
    b.Canvas()->SetCopyMode(cmSrcCopy);
    b.Canvas()->CopyRect(whole, Canvas, at);
    BlitTransparent(b.Canvas(), &glyph, whole, ThemeServices()->ThemesEnabled() ? clBtnFace : transparentColor_,
                    whole);
  } else {
    b.Canvas()->Brush()->SetColor(Color());
    b.Canvas()->BrushCopy(whole, &glyph, whole, transparentColor_);
  }
  TBitmap c;
  c.SetSize(gw, gh);
  c.Canvas()->Brush()->SetColor(clWindow);
  c.Canvas()->BrushCopy(whole, &b, whole, winMaskColor_);
  TBitmap d;
  d.SetSize(gw, gh);
  d.Canvas()->Brush()->SetColor(MixColors(frameColor_, Canvas->Pixels(0, 0), 128));
  d.Canvas()->BrushCopy(whole, &c, whole, clGreen);
  Canvas->Draw(at.left, at.top, &d);
}

void TRzCustomGlyphButton::RefreshBackground() {
  background_->SetSize(Width(), Height());
  const TRect client = ClientRect();
  if (Transparent()) {
    background_->Canvas()->SetCopyMode(cmSrcCopy);
    background_->Canvas()->CopyRect(client, Canvas(), client);
  } else {
    background_->Canvas()->Brush()->SetColor(Color());
    background_->Canvas()->FillRect(client);
  }
  backgroundNeedsRefresh_ = false;
}

void TRzCustomGlyphButton::Paint() {
  TBitmap face;
  face.SetSize(Width(), Height());
  TCanvas* c = face.Canvas();
  c->SetFont(Font());
  c->Brush()->SetColor(Color());
  if (backgroundNeedsRefresh_) RefreshBackground();
  c->Draw(0, 0, background_.get());
  PaintGlyph(c);

  TRect t = ClientRect();
  InflateRect(&t, -1, -1);
  if (alignment_ == taRightJustify)
    t.left += glyphWidth_ + 4;
  else
    t.right -= glyphWidth_ + 4;
  DrawCaptionText(c, t, DT_WORDBREAK | DT_EXPANDTABS);
  InflateRect(&t, 1, 1);
  if (Focused() && !Caption().empty()) {
    c->SetFont(Font());
    const int w = std::min<int>(t.right - t.left, c->TextWidth(Trim(Caption())) + 3);
    if (UseRightToLeftAlignment())
      t.left = t.right - w;
    else
      t.right = t.left + w;
    PaintFocusDots(c, t);
  }
  Canvas()->SetCopyMode(cmSrcCopy);
  Canvas()->Draw(0, 0, &face);
}

// ---- TRzRadioButton ----

namespace {

// Key colours of the radio pictures, one letter each.
constexpr TColor kT = 0x008080, kE = 0xFFFF00, kF = 0x000000, kG = 0x008000, kA = 0x808080, kP = 0x800080,
                 kM = 0x000080, kL = 0x00FF00, kR = 0x0000FF, kU = 0xFF00FF, kY = 0x00FFFF, kW = 0xFFFFFF,
                 kN = 0x800000, kB = 0xFF0000;

TColor KeyColor(char Letter) {
  switch (Letter) {
    case 'T': return kT;
    case 'E': return kE;
    case 'F': return kF;
    case 'G': return kG;
    case 'A': return kA;
    case 'P': return kP;
    case 'M': return kM;
    case 'L': return kL;
    case 'R': return kR;
    case 'U': return kU;
    case 'Y': return kY;
    case 'W': return kW;
    case 'N': return kN;
    default: return kB;
  }
}

constexpr std::array<const char*, 13> kUnchecked = {
    "TTTTEGFGETTTT", "TTEFALULAFETT", "TEGLUUUUULGET", "TFLUUYWYUUMFT", "EAUUWWWWWRRPE",
    "GLUYWWWWWYRMG", "FUUWWWWWWWRRF", "GLUYWWWWWYRMG", "EAUUWWWWWRRPE", "TFLURYWYRRMFT",
    "TEGMRRRRRMGET", "TTEFPMRMPFETT", "TTTTEGFGETTTT"};
constexpr std::array<const char*, 13> kChecked = {
    "TTTTEGFGETTTT", "TTEFALULAFETT", "TEGLUUUUULGET", "TFLUUYWYUUMFT", "EAUUWBNBWRRPE",
    "GLUYBNNNBYRMG", "FUUWNNNNNWRRF", "GLUYBNNNBYRMG", "EAUUWBNBWRRPE", "TFLURYWYRRMFT",
    "TEGMRRRRRMGET", "TTEFPMRMPFETT", "TTTTEGFGETTTT"};

// The picture in its key colours.
void LoadRadioPicture(TBitmap* Bitmap, bool Checked) {
  const auto& rows = Checked ? kChecked : kUnchecked;
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(13, 13);
  for (int y = 0; y < 13; ++y) {
    auto* line = static_cast<uint8_t*>(Bitmap->ScanLine(y));
    for (int x = 0; x < 13; ++x) {
      const TColor c = KeyColor(rows[y][x]);
      line[x * 3] = uint8_t(c >> 16);
      line[x * 3 + 1] = uint8_t(c >> 8);
      line[x * 3 + 2] = uint8_t(c);
    }
  }
}

}  // namespace

TRzRadioButton::TRzRadioButton(TComponent* AOwner) : TRzCustomGlyphButton(AOwner) {
  SetAlignmentVertical(avTop);
  SetCellCount(6);
  SetTabStop(false);
  SetColor(clWindow);
  SetParentColor(true);
}

void TRzRadioButton::SetChecked(bool Value) {
  if (checked_ == Value) return;
  checked_ = Value;
  SetTabStop(Value);
  PressedLookChanged();
  if (!Value) return;
  if (TWinControl* parent = Parent()) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
      auto* sibling = ::As<TRzRadioButton>(parent->Controls(i));
      if (sibling && sibling != this) sibling->SetChecked(false);
    }
  }
  Click();
}

void TRzRadioButton::ToggleAction() {
  if (!checked_) SetChecked(true);
}

void TRzRadioButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  usingMouse_ = true;
  TRzCustomGlyphButton::MouseDown(Button, Shift, X, Y);
}

void TRzRadioButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TRzCustomGlyphButton::MouseUp(Button, Shift, X, Y);
  usingMouse_ = false;
}

void TRzRadioButton::WMSetFocus(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  if (!usingMouse_) SetChecked(true);
}

void TRzRadioButton::CMDialogChar(TMessage& Message) {
  if (IsAccel(WORD(Message.WParam), Caption()) && CanFocus()) {
    SetFocus();
    Message.Result = 1;
    return;
  }
  MessageMapBase::Dispatch(Message);
}

void TRzRadioButton::CMDialogKey(TMessage& Message) {
  if (Message.WParam == VK_DOWN && KeyDataToShiftState(Message.LParam).Empty() && CanFocus()) {
    Click();
    Message.Result = 1;
    return;
  }
  MessageMapBase::Dispatch(Message);
}

void TRzRadioButton::WMLButtonDblClk(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  DblClick();
}

void TRzRadioButton::DrawGlyph(TBitmap* Glyph) {
  const int gw = GlyphWidth(), gh = GlyphHeight();
  const bool enabled = Enabled(), pressed = PressedLook();
  if (UseCustomGlyphs()) {
    int index = enabled ? (checked_ ? (pressed ? 3 : 1) : (pressed ? 2 : 0)) : (checked_ ? 5 : 4);
    TBitmap cell;
    CopyGlyphCell(index, &cell, gh, gw, CustomGlyphs());
    Glyph->Assign(&cell);
    return;
  }
  TThemeServices* themes = ThemeServices();
  if (themes->ThemesEnabled()) {
    TThemedButton state;
    if (!enabled)
      state = checked_ ? tbRadioButtonCheckedDisabled : tbRadioButtonUncheckedDisabled;
    else if (pressed)
      state = checked_ ? tbRadioButtonCheckedPressed : tbRadioButtonUncheckedPressed;
    else if (MouseOver())
      state = checked_ ? tbRadioButtonCheckedHot : tbRadioButtonUncheckedHot;
    else
      state = checked_ ? tbRadioButtonCheckedNormal : tbRadioButtonUncheckedNormal;
    Glyph->Canvas()->Brush()->SetColor(Color());
    Glyph->Canvas()->FillRect(TRect{0, 0, Glyph->Width(), Glyph->Height()});
    themes->DrawElement(Glyph->Canvas()->Handle(), themes->GetElementDetails(state), TRect{0, 0, gw, gh});
    return;
  }
  if (HotTrack()) {
    const TColor frame = FrameColor(), hl = HighlightColor(), disabledC = DisabledColor();
    TColor W = clWindow, F, G, A, P, M, L, R, U, Y, N, B, E;
    const bool full = DeviceHasFullColor();
    if (full) {
      F = AdjustTransparentColor(frame);
      G = BrightenColor(frame, 10);
      A = P = MixColors(frame, clWindow, 128);
      M = L = MixColors(frame, clWindow, 80);
      R = U = Y = clWindow;
      N = AdjustTransparentColor(hl);
      B = MixColors(hl, clWindow, 153);
      E = clGreen;
    } else {
      F = G = E = AdjustTransparentColor(frame);
      A = P = M = L = R = U = Y = clWindow;
      N = B = AdjustTransparentColor(hl);
    }
    TColor track, light;
    if (HotTrackColorType() == htctActual) {
      track = HotTrackColor();
      light = BrightenColor(HotTrackColor(), 30);
    } else {
      track = light = OppositeHueColor(HotTrackColor(), 180);
    }
    const TColor dark = DimColor(track, 30);
    const TColor q = DimColor(clWindow, 20);
    if (!enabled) {
      W = disabledC;
      A = P = MixColors(frame, disabledC, 128);
      M = L = MixColors(frame, disabledC, 80);
      R = U = Y = disabledC;
      N = clBtnShadow;
      B = MixColors(hl, disabledC, 128);
    } else if (full && pressed) {
      W = q;
      A = P = MixColors(frame, q, 128);
      M = L = MixColors(frame, q, 80);
      R = U = Y = q;
      B = MixColors(hl, q, 153);
    } else if (full && MouseOver()) {
      A = MixColors(frame, dark, 128);
      P = MixColors(frame, light, 128);
      M = MixColors(frame, dark, 80);
      L = MixColors(frame, light, 80);
      R = dark;
      U = light;
      Y = MixColors(light, clWindow, 128);
    }
    TBitmap picture;
    LoadRadioPicture(&picture, checked_);
    const std::vector<TColor> keys = {kW, kF, kG, kA, kP, kM, kL, kR, kU, kY, kN, kB, kE};
    std::vector<TColor> colours;
    for (TColor c : {W, F, G, A, P, M, L, R, U, Y, N, B, E}) colours.push_back(ColorToRGB(c));
    Glyph->SetHandle(CreateMappedBmp(picture.Handle(), keys, colours));
    return;
  }
  Glyph->Canvas()->Brush()->SetColor(TransparentColor());
  TRect r{0, 0, gw, gh};
  Glyph->Canvas()->FillRect(r);
  UINT state = DFCS_BUTTONRADIO | DFCS_TRANSPARENT;
  if (checked_) state |= DFCS_CHECKED;
  if (pressed) state |= DFCS_PUSHED;
  if (!enabled) state |= DFCS_INACTIVE;
  DrawFrameControl(Glyph->Canvas()->Handle(), &r, DFC_BUTTON, state);
}

// ---- TRzCheckedActionLink ----

void TRzCheckedActionLink::AssignClient(TObject* AClient) {
  TWinControlActionLink::AssignClient(AClient);
  glyphClient_ = ::As<TRzCustomGlyphButton>(AClient);
  if (!glyphClient_) throw EInvalidCast("Invalid class typecast");
}

bool TRzCheckedActionLink::IsCheckedLinked() {
  auto* action = ::As<TCustomAction>(Action());
  return TWinControlActionLink::IsCheckedLinked() && glyphClient_ && action &&
         glyphClient_->GetChecked() == action->Checked();
}

void TRzCheckedActionLink::SetChecked(bool Value) {
  if (IsCheckedLinked()) glyphClient_->SetChecked(Value);
}
