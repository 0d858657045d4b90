#include "bizcontrols/vxIconEdit.h"

#include "platform/win/resources.h"

namespace {
const TIconEditLook kTextLook{TColor(0xFFFFFF), TColor(0xFFFFFF), false, false, TColor(0xFFFFFF), clCaptionText};
// The border's grey while neither the mouse nor the focus is on the control.
constexpr TColor kQuietBorder = TColor(0x999999);
}  // namespace

TvxCustomIconEdit::TvxCustomIconEdit(TComponent* AOwner, TClass EditorClass, const TIconEditLook& Look)
    : TCustomPanel(AOwner), look_(Look) {
  SetBevelOuter(bvNone);
  SetBorderStyle(bsNone);
  SetColor(look_.Outer);

  innerPanel_ = new TPanel(this);
  innerPanel_->SetBevelOuter(bvNone);
  innerPanel_->SetBorderStyle(bsNone);
  if (look_.InnerParentColor) {
    innerPanel_->SetParentColor(true);
  } else {
    innerPanel_->SetColor(TColor(0xFFFFFF));
    innerPanel_->SetParentColor(false);
  }
  innerPanel_->SetBounds(borderWidth_, borderWidth_, Width() - 2 * borderWidth_, Height() - 2 * borderWidth_);
  innerPanel_->SetParent(this);

  iconPanel_ = new TPanel(this);
  iconPanel_->SetBevelOuter(bvNone);
  iconPanel_->SetBorderStyle(bsNone);
  iconPanel_->SetColor(look_.IconPanel);
  iconPanel_->SetWidth(0);
  iconPanel_->SetAlign(alRight);
  iconPanel_->SetParent(innerPanel_);

  icon_ = new TImage(this);
  icon_->SetCursor(crHandPoint);
  icon_->SetTransparent(look_.IconTransparent);
  icon_->SetParent(iconPanel_);

  editor_ = static_cast<TcxCustomTextEdit*>(EditorClass->Create(this));
  editor_->SetAlign(alClient);
  editor_->Properties()->Alignment()->SetVert(taVCenter);
  editor_->Style()->SetHotTrack(false);
  editor_->Style()->SetBorderStyle(ebsNone);
  editor_->StyleDisabled()->SetBorderStyle(ebsNone);
  editor_->Style()->SetTransparentBorder(true);
  editor_->OnExit = TNotifyEvent(this, &TvxCustomIconEdit::EditFocusExit);
  editor_->SetParent(innerPanel_);

  TCustomPanel::SetHeight(kHeight);
  OnResize = TNotifyEvent(this, &TvxCustomIconEdit::PanelResize);
  OnEnter = TNotifyEvent(this, &TvxCustomIconEdit::PanelResize);
  enabledPicture_ = std::make_unique<TPicture>();
  disabledPicture_ = std::make_unique<TPicture>();
  PanelResize(this);
}

TvxCustomIconEdit::~TvxCustomIconEdit() {
  Destroying();
  delete innerPanel_;  // with the icon panel, the icon and the editor on it
}

void TvxCustomIconEdit::PanelResize(TObject*) {
  innerPanel_->SetBounds(borderWidth_, borderWidth_, Width() - 2 * borderWidth_, Height() - 2 * borderWidth_);
  iconPanel_->SetHeight(innerPanel_->Height());
  const int top = (iconPanel_->Height() - icon_->Height()) / 2;
  const int left = imgAlign_ == ialLeft ? 4 : iconPanel_->Width() - icon_->Width() - 4;
  icon_->SetBounds(left, top, icon_->Width(), icon_->Height());
}

void TvxCustomIconEdit::EditFocusExit(TObject*) {
  hot_ = false;
  Invalidate();
}

void TvxCustomIconEdit::SetImgAlign(TImgAlign Value) {
  imgAlign_ = Value;
  iconPanel_->SetAlign(Value == ialLeft ? alLeft : alRight);
}

void TvxCustomIconEdit::LoadPictureFile(const std::string& FileName, TPicture* Target) {
  auto loaded = std::make_unique<TPicture>();
  loaded->LoadFromFile(FileName);
  Target->Assign(loaded.get());
}

void TvxCustomIconEdit::SetImgResName(const std::string& Value) {
  if (Value.empty() || Value == imgResName_) return;
  imgResName_ = Value;
  if (imgFromRes_) {
    TBitmap* bitmap = icon_->Picture()->Bitmap();
    bitmap->LoadFromResourceName(HInstance(), Value);
    enabledPicture_->Assign(icon_->Picture());
    icon_->SetBounds(icon_->Left(), icon_->Top(), bitmap->Width(), bitmap->Height());
  } else {
    LoadPictureFile(Value, enabledPicture_.get());
    icon_->Picture()->Assign(enabledPicture_.get());
    icon_->SetBounds(icon_->Left(), icon_->Top(), enabledPicture_->Width(), enabledPicture_->Height());
  }
  iconPanel_->SetWidth(icon_->Width() + 4);
  // The new icon takes its place now, not at the next resize.
  PanelResize(this);
  Invalidate();
}

void TvxCustomIconEdit::SetDisabledImgResName(const std::string& Value) {
  if (Value.empty() || Value == disabledImgResName_) return;
  disabledImgResName_ = Value;
  // The disabled icon comes from a file only.
  if (!imgFromRes_) LoadPictureFile(Value, disabledPicture_.get());
}

void TvxCustomIconEdit::SetEnabled(bool Value) {
  icon_->Picture()->Assign(Value ? enabledPicture_.get() : disabledPicture_.get());
  iconPanel_->SetColor(Value ? look_.EnabledIconPanel : clBtnFace);
  SetColor(Value ? look_.EnabledOuter : clBtnFace);
  editor_->SetEnabled(Value);
  icon_->SetEnabled(Value);
  TCustomPanel::SetEnabled(Value);
  Invalidate();
}

void TvxCustomIconEdit::SetFocus() {
  TCustomPanel::SetFocus();
  editor_->SetFocus();
}

void TvxCustomIconEdit::SetShowBorder(bool Value) {
  SetAndNotify(showBorder_, Value, [this] { Invalidate(); });
}

void TvxCustomIconEdit::SetTag(intptr_t Value) {
  SetAndNotify(tag_, Value, [this] { editor_->SetTag(tag_); });
}

void TvxCustomIconEdit::Paint() {
  TCustomPanel::Paint();
  if (!Enabled()) {
    SetColor(editor_->StyleDisabled()->Color());
    iconPanel_->SetColor(editor_->StyleDisabled()->Color());
  }
  if (!showBorder_) return;
  TCanvas* c = Canvas();
  const int w = Width(), h = Height();
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  c->Pen()->SetColor(hot_ ? clHighlight : kQuietBorder);
  c->Polyline({TPoint{0, 0}, TPoint{w - 1, 0}, TPoint{w - 1, h - 1}, TPoint{0, h - 1}, TPoint{0, 0}});
}

void TvxCustomIconEdit::CMMouseEnter(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  hot_ = true;
  Invalidate();
}

void TvxCustomIconEdit::CMMouseLeave(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  if (editor_->Focused()) return;
  hot_ = false;
  Invalidate();
}

TvxIconEdit::TvxIconEdit(TComponent* AOwner) : TvxCustomIconEdit(AOwner, TcxTextEdit::StaticClass(), kTextLook) {}

namespace vxIconEdit {

void Register() { RegisterComponents("Vextra", {TvxIconEdit::StaticClass()}); }

}  // namespace vxIconEdit
