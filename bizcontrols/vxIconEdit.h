// A one-line text editor framed together with a small clickable icon, with a thin
// border that lights up while the mouse is over the control or the editor has the
// focus. TvxCustomIconEdit is the frame and the icon; TvxIconEdit and
// TvxIconCurrencyEdit (vxIconCurrencyEdit.h) put a text or a currency editor in it.
#pragma once

#include <memory>
#include <string>

#include "platform/cx/cxtextedit.h"
#include "platform/vcl/extctrls.h"

enum TImgAlign { ialRight, ialLeft };

// The colours that tell the two icon editors apart.
struct TIconEditLook {
  TColor Outer;             // the control at construction
  TColor IconPanel;         // the icon panel at construction
  bool InnerParentColor;    // the inner panel takes the control's colour (else white)
  bool IconTransparent;
  TColor EnabledIconPanel;  // what enabling gives the icon panel
  TColor EnabledOuter;      // and the control
};

class TvxCustomIconEdit : public TCustomPanel {
  VX_CLASS(TvxCustomIconEdit, TCustomPanel)

 public:
  ~TvxCustomIconEdit() override;

  // The editor's text.
  std::string Text() const { return editor_->Text(); }
  void SetText(const std::string& Value) override { editor_->SetText(Value); }
  std::string Caption() const { return Text(); }
  void SetCaption(const std::string& Value) { SetText(Value); }

  // Any height written gives 21.
  void SetHeight(int) { TCustomPanel::SetHeight(kHeight); }
  void SetEnabled(bool Value) override;
  void SetFocus() override;

  // Decides where ImgResName loads from: the package's bitmaps, or a picture file.
  bool ImgFromRes() const { return imgFromRes_; }
  void SetImgFromRes(bool Value) { imgFromRes_ = Value; }
  const std::string& ImgResName() const { return imgResName_; }
  void SetImgResName(const std::string& Value);
  const std::string& DisabledImgResName() const { return disabledImgResName_; }
  void SetDisabledImgResName(const std::string& Value);
  TImgAlign ImgAlign() const { return imgAlign_; }
  void SetImgAlign(TImgAlign Value);
  // The icon's visibility: True shows it.
  bool ImgHide() const { return icon_->Visible(); }
  void SetImgHide(bool Value) { icon_->SetVisible(Value); }
  int ImageTag() const { return imageTag_; }
  void SetImageTag(int Value) { imageTag_ = Value; }
  bool ShowBorder() const { return showBorder_; }
  void SetShowBorder(bool Value);
  // The control's own tag, copied to the editor.
  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t Value);
  int MaxLength() const { return editor_->Properties()->MaxLength(); }
  void SetMaxLength(int Value) { editor_->Properties()->SetMaxLength(Value); }

  TcxEditStyle* Style() const { return editor_->Style(); }
  void SetStyle(TcxEditStyle* Value) { editor_->SetStyle(Value); }
  TcxEditStyle* StyleDisabled() const { return editor_->StyleDisabled(); }
  void SetStyleDisabled(TcxEditStyle* Value) { editor_->SetStyleDisabled(Value); }
  TcxEditStyle* StyleFocused() const { return editor_->StyleFocused(); }
  void SetStyleFocused(TcxEditStyle* Value) { editor_->SetStyleFocused(Value); }
  TcxEditStyle* StyleHot() const { return editor_->StyleHot(); }
  void SetStyleHot(TcxEditStyle* Value) { editor_->SetStyleHot(Value); }

  // The editor's change and key events, and the icon's click.
  TNotifyEvent OnChange() const { return editor_->Properties()->OnChange; }
  void SetOnChange(TNotifyEvent Value) { editor_->Properties()->OnChange = Value; }
  TKeyEvent OnKeyDown() const { return editor_->OnKeyDown; }
  void SetOnKeyDown(TKeyEvent Value) { editor_->OnKeyDown = Value; }
  TKeyPressEvent OnKeyPress() const { return editor_->OnKeyPress; }
  void SetOnKeyPress(TKeyPressEvent Value) { editor_->OnKeyPress = Value; }
  TKeyEvent OnKeyUp() const { return editor_->OnKeyUp; }
  void SetOnKeyUp(TKeyEvent Value) { editor_->OnKeyUp = Value; }
  TNotifyEvent OnImgClick() const { return icon_->OnClick; }
  void SetOnImgClick(TNotifyEvent Value) { icon_->OnClick = Value; }

  // The parts, for the program that needs them.
  TcxCustomTextEdit* EditorControl() const { return editor_; }
  TImage* IconImage() const { return icon_; }
  TPanel* IconPanel() const { return iconPanel_; }
  TPanel* InnerPanel() const { return innerPanel_; }
  TPicture* EnabledPicture() const { return enabledPicture_.get(); }
  TPicture* DisabledPicture() const { return disabledPicture_.get(); }
  bool Hot() const { return hot_; }

  // Lays the parts out (the control's resize and enter handler).
  void PanelResize(TObject* Sender);
  // The editor's exit handler: the border goes grey.
  void EditFocusExit(TObject* Sender);

 protected:
  static constexpr int kHeight = 21;
  // The editor is made of EditorClass (a TcxCustomTextEdit class).
  TvxCustomIconEdit(TComponent* AOwner, TClass EditorClass, const TIconEditLook& Look);

  // The panel, then the border: a closed line round the control.
  void Paint() override;

  VX_MESSAGE_MAP(TvxCustomIconEdit, TCustomPanel)
  VX_MESSAGE_HANDLER(CM_MOUSEENTER, CMMouseEnter)
  VX_MESSAGE_HANDLER(CM_MOUSELEAVE, CMMouseLeave)
  VX_END_MESSAGE_MAP

  void CMMouseEnter(TMessage& Message);
  void CMMouseLeave(TMessage& Message);

 private:
  // A picture file through the picture registry, into Target; the temporary picture
  // goes on every path.
  static void LoadPictureFile(const std::string& FileName, TPicture* Target);

  const TIconEditLook look_;
  const int borderWidth_ = 1;
  TPanel* innerPanel_;
  TPanel* iconPanel_;
  TImage* icon_;
  TcxCustomTextEdit* editor_;
  std::unique_ptr<TPicture> enabledPicture_;
  std::unique_ptr<TPicture> disabledPicture_;
  bool hot_ = false;
  bool showBorder_ = true;
  TImgAlign imgAlign_ = ialRight;
  bool imgFromRes_ = false;
  std::string imgResName_;
  std::string disabledImgResName_;
  int imageTag_ = -1;
  intptr_t tag_ = 0;
};

class TvxIconEdit : public TvxCustomIconEdit {
  VX_CLASS(TvxIconEdit, TvxCustomIconEdit)

 public:
  explicit TvxIconEdit(TComponent* AOwner);
  TcxTextEdit* Editor() const { return static_cast<TcxTextEdit*>(EditorControl()); }
  TcxTextEditProperties* Properties() const { return Editor()->Properties(); }
  void SetProperties(TcxTextEditProperties* Value) { Editor()->SetProperties(Value); }
};

namespace vxIconEdit {

// Puts TvxIconEdit on the palette page "Vextra".
void Register();

}  // namespace vxIconEdit
