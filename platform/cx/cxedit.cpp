#include "platform/cx/cxedit.h"

#include <algorithm>

#include "platform/vcl/forms.h"

// ---- TcxEditStyle ----

TcxEditStyle::TcxEditStyle() : font_(std::make_unique<TFont>()) {
  font_->OnChange = TNotifyEvent(this, &TcxEditStyle::FontChanged);
}

TcxEditStyle::TcxEditStyle(TcxEditStyle* Base, TColor DefaultColor, TColor DefaultTextColor) : TcxEditStyle() {
  base_ = Base;
  defaultColor_ = DefaultColor;
  defaultTextColor_ = DefaultTextColor;
}

TcxEditStyle::~TcxEditStyle() = default;

void TcxEditStyle::Assign(TPersistent* Source) {
  auto* s = As<TcxEditStyle>(Source);
  if (!s) return TPersistent::Assign(Source);
  if (s == this) return;
  copying_ = true;
  assigned_ = s->assigned_;
  color_ = s->color_;
  textColor_ = s->textColor_;
  font_->Assign(s->font_.get());
  borderStyle_ = s->borderStyle_;
  borderColor_ = s->borderColor_;
  hotTrack_ = s->hotTrack_;
  transparentBorder_ = s->transparentBorder_;
  copying_ = false;
  Changed();
}

template <class T>
void TcxEditStyle::Set(T& Field, T Value, TcxEditStyleValue Which) {
  if (assigned_.Contains(Which) && Field == Value) return;
  Field = Value;
  assigned_.Include(Which);
  Changed();
}

void TcxEditStyle::Changed() {
  if (!copying_) OnChange(this);
}

void TcxEditStyle::FontChanged(TObject*) {
  if (copying_) return;
  assigned_.Include(svFont);
  Changed();
}

// A value of a style: its own once given, else the state's default, else the base's.
#define VX_STYLE_VALUE(Field, Which, Getter) \
  (assigned_.Contains(Which) ? Field : base_ ? base_->Getter() : Field)

TColor TcxEditStyle::Color() const {
  if (assigned_.Contains(svColor)) return color_;
  if (base_) return defaultColor_ != clNone ? defaultColor_ : base_->Color();
  return color_;
}

void TcxEditStyle::SetColor(TColor Value) { Set(color_, Value, svColor); }

TColor TcxEditStyle::TextColor() const {
  if (assigned_.Contains(svTextColor)) return textColor_;
  if (assigned_.Contains(svFont) || !base_) return font_->Color();
  return defaultTextColor_ != clNone ? defaultTextColor_ : base_->TextColor();
}

void TcxEditStyle::SetTextColor(TColor Value) { Set(textColor_, Value, svTextColor); }

TFont* TcxEditStyle::ActiveFont() const {
  return assigned_.Contains(svFont) || !base_ ? font_.get() : base_->ActiveFont();
}

TcxEditBorderStyle TcxEditStyle::BorderStyle() const {
  return VX_STYLE_VALUE(borderStyle_, svBorderStyle, BorderStyle);
}

void TcxEditStyle::SetBorderStyle(TcxEditBorderStyle Value) { Set(borderStyle_, Value, svBorderStyle); }

TColor TcxEditStyle::BorderColor() const { return VX_STYLE_VALUE(borderColor_, svBorderColor, BorderColor); }

void TcxEditStyle::SetBorderColor(TColor Value) { Set(borderColor_, Value, svBorderColor); }

bool TcxEditStyle::HotTrack() const { return VX_STYLE_VALUE(hotTrack_, svHotTrack, HotTrack); }

void TcxEditStyle::SetHotTrack(bool Value) { Set(hotTrack_, Value, svHotTrack); }

bool TcxEditStyle::TransparentBorder() const {
  return VX_STYLE_VALUE(transparentBorder_, svTransparentBorder, TransparentBorder);
}

void TcxEditStyle::SetTransparentBorder(bool Value) { Set(transparentBorder_, Value, svTransparentBorder); }

#undef VX_STYLE_VALUE

void TcxEditStyle::RestoreDefaults() {
  TcxEditStyle fresh;
  Assign(&fresh);
}

// ---- TcxEditAlignment ----

void TcxEditAlignment::Assign(TPersistent* Source) {
  auto* a = As<TcxEditAlignment>(Source);
  if (!a) return TPersistent::Assign(Source);
  if (horz_ == a->horz_ && vert_ == a->vert_) return;
  horz_ = a->horz_;
  vert_ = a->vert_;
  OnChange(this);
}

void TcxEditAlignment::SetHorz(TAlignment Value) {
  SetAndNotify(horz_, Value, [this] { OnChange(this); });
}

void TcxEditAlignment::SetVert(TcxEditVertAlignment Value) {
  SetAndNotify(vert_, Value, [this] { OnChange(this); });
}

// ---- TcxCustomEditProperties ----

TcxCustomEditProperties::TcxCustomEditProperties() : alignment_(std::make_unique<TcxEditAlignment>()) {
  alignment_->OnChange = TNotifyEvent(this, &TcxCustomEditProperties::AlignmentChanged);
}

TcxCustomEditProperties::~TcxCustomEditProperties() = default;

void TcxCustomEditProperties::Assign(TPersistent* Source) {
  auto* p = As<TcxCustomEditProperties>(Source);
  if (!p) return TPersistent::Assign(Source);
  if (p == this) return;
  alignment_->Assign(p->alignment_.get());
  readOnly_ = p->readOnly_;
  OnChange = p->OnChange;
  Changed();
}

void TcxCustomEditProperties::SetReadOnly(bool Value) {
  SetAndNotify(readOnly_, Value, [this] { Changed(); });
}

void TcxCustomEditProperties::Changed() { OnPropertiesChanged(this); }

// ---- TcxCustomEdit ----

TcxCustomEdit::TcxCustomEdit(TComponent* AOwner, std::unique_ptr<TcxCustomEditProperties> Properties)
    : TCustomControl(AOwner),
      properties_(std::move(Properties)),
      style_(std::make_unique<TcxEditStyle>()),
      styleDisabled_(std::make_unique<TcxEditStyle>(style_.get(), clBtnFace, clGrayText)),
      styleFocused_(std::make_unique<TcxEditStyle>(style_.get(), clNone, clNone)),
      styleHot_(std::make_unique<TcxEditStyle>(style_.get(), clNone, clNone)) {
  SetControlStyle({csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks, csOpaque});
  SetParentColor(false);
  SetColor(clWindow);
  SetTabStop(true);
  width_ = 121;
  height_ = 21;
  properties_->OnPropertiesChanged = TNotifyEvent(this, &TcxCustomEdit::PropertiesObjectChanged);
  for (TcxEditStyle* s : {style_.get(), styleDisabled_.get(), styleFocused_.get(), styleHot_.get()})
    s->OnChange = TNotifyEvent(this, &TcxCustomEdit::StyleObjectChanged);
}

TcxCustomEdit::~TcxCustomEdit() {
  Destroying();
  properties_->OnPropertiesChanged = nullptr;
}

TcxEditStyle* TcxCustomEdit::ViewStyle() const {
  if (!Enabled()) return styleDisabled_.get();
  if (Focused()) return styleFocused_.get();
  if (hot_ && style_->HotTrack()) return styleHot_.get();
  return style_.get();
}

void TcxCustomEdit::SetInnerControl(TWinControl* Control) {
  inner_ = Control;
  inner_->SetParent(this);
  StyleChanged();
}

int TcxCustomEdit::EditBorderWidth() const {
  switch (style_->BorderStyle()) {
    case ebsNone: return style_->TransparentBorder() ? 1 : 0;
    case ebsThick:
    case ebs3D: return 2;
    default: return 1;
  }
}

TRect TcxCustomEdit::ContentRect() const {
  TRect r = ClientRect();
  const int b = EditBorderWidth();
  InflateRect(&r, -b, -b);
  return r;
}

TRect TcxCustomEdit::InnerRect() { return ContentRect(); }

void TcxCustomEdit::PlaceInnerControl() {
  if (!inner_) return;
  TRect r = InnerRect();
  if (!InnerFillsContent()) {
    TScratchCanvas measure;
    measure.SetFont(ViewStyle()->ActiveFont());
    // One line and a pixel above and below it (the inner edit's own margin).
    const int line = measure.TextHeight("Wg") + 2;
    const int room = r.bottom - r.top;
    if (line < room) {
      switch (properties_->Alignment()->Vert()) {
        case taTopJustify: r.bottom = r.top + line; break;
        case taBottomJustify: r.top = r.bottom - line; break;
        case taVCenter:
          r.top += (room - line) / 2;
          r.bottom = r.top + line;
          break;
      }
    }
  }
  inner_->SetBounds(r.left, r.top, std::max(0, int(r.right - r.left)), std::max(0, int(r.bottom - r.top)));
}

void TcxCustomEdit::DrawBorder(TCanvas* Canvas) {
  TcxEditStyle* view = ViewStyle();
  const TRect client = ClientRect();
  TRect r = client;
  switch (style_->BorderStyle()) {
    case ebsNone:
      if (style_->TransparentBorder() && Parent()) {
        Canvas->Brush()->SetColor(Parent()->Color());
        Canvas->FrameRect(r);
      }
      break;
    case ebs3D: DrawEdge(Canvas->Handle(), &r, EDGE_SUNKEN, BF_RECT); break;
    case ebsThick:
      Canvas->Brush()->SetColor(view->BorderColor());
      Canvas->FrameRect(r);
      InflateRect(&r, -1, -1);
      Canvas->FrameRect(r);
      break;
    case ebsFlat:
      Canvas->Brush()->SetColor(clBtnShadow);
      Canvas->FrameRect(r);
      break;
    case ebsUltraFlat:
    case ebsOffice11:
      // The flat borders light up with the mouse or the focus.
      Canvas->Brush()->SetColor((hot_ || Focused()) && Enabled() ? clHighlight : clBtnShadow);
      Canvas->FrameRect(r);
      break;
    case ebsSingle:
      Canvas->Brush()->SetColor(view->BorderColor());
      Canvas->FrameRect(r);
      break;
  }
}

void TcxCustomEdit::Paint() {
  TCanvas* c = Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(ViewStyle()->Color());
  c->FillRect(ContentRect());
  DrawBorder(c);
}

void TcxCustomEdit::Resize() {
  PlaceInnerControl();
  TCustomControl::Resize();
}

void TcxCustomEdit::StyleChanged() {
  if (ComponentState().Contains(csDestroying)) return;
  if (inner_) {
    TcxEditStyle* view = ViewStyle();
    inner_->SetColor(view->Color());
    TFont font;
    font.Assign(view->ActiveFont());
    font.SetColor(view->TextColor());
    inner_->SetFont(&font);
    PlaceInnerControl();
  }
  Invalidate();
}

void TcxCustomEdit::PropertiesChanged() { StyleChanged(); }

void TcxCustomEdit::DoEnter() {
  StyleChanged();
  TCustomControl::DoEnter();
}

void TcxCustomEdit::DoExit() {
  StyleChanged();
  TCustomControl::DoExit();
}

void TcxCustomEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  // A press on the border or the background focuses the inner control.
  if (Button == mbLeft && inner_ && inner_->CanFocus() && !Focused()) SetFocus();
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TcxCustomEdit::CMMouseEnter(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  if (hot_) return;
  hot_ = true;
  StyleChanged();
}

void TcxCustomEdit::CMMouseLeave(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  if (!hot_) return;
  hot_ = false;
  StyleChanged();
}

void TcxCustomEdit::CMEnabledChanged(TMessage& Message) {
  // The inner control stays enabled: it cannot take the focus or the mouse while the
  // editor is disabled, and it shows the disabled style's colours.
  MessageMapBase::Dispatch(Message);
  StyleChanged();
}
