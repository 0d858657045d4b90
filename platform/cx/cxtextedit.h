// The one-line text editor of the third-party editor set and its nameless inner edit,
// on which the other text editors (currency editor, combo box) build.
#pragma once

#include <memory>
#include <string>

#include "platform/cx/cxedit.h"
#include "platform/vcl/stdctrls.h"

class TcxCustomTextEdit;

// The inner edit of a text editor: the framework's edit without a border, owned by the
// editor and without a name. Its keys and characters go to the editor's events first,
// its text is the editor's text, and what the user types must suit the editor.
class TcxCustomInnerTextEdit : public TCustomEdit {
  VX_CLASS(TcxCustomInnerTextEdit, TCustomEdit)

 public:
  explicit TcxCustomInnerTextEdit(TComponent* AOwner);
  // The editor it belongs to (its owner), or null.
  TcxCustomTextEdit* Container() const;

 protected:
  void Change() override;
  bool AllowText(const std::string& NewText) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyUp(WORD& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
};

class TcxCustomTextEditProperties : public TcxCustomEditProperties {
  VX_CLASS(TcxCustomTextEditProperties, TcxCustomEditProperties)

 public:
  void Assign(TPersistent* Source) override;
  // The most characters the user may enter; 0 for no limit.
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int Value);

 private:
  int maxLength_ = 0;
};

class TcxTextEditProperties : public TcxCustomTextEditProperties {
  VX_CLASS(TcxTextEditProperties, TcxCustomTextEditProperties)
};

class TcxCustomTextEdit : public TcxCustomEdit {
  VX_CLASS(TcxCustomTextEdit, TcxCustomEdit)

 public:
  ~TcxCustomTextEdit() override;

  TcxCustomTextEditProperties* Properties() const {
    return static_cast<TcxCustomTextEditProperties*>(TcxCustomEdit::Properties());
  }
  TcxCustomInnerTextEdit* InnerEdit() const { return inner_; }

  // The text is the inner edit's; every change raises Properties.OnChange, whether the
  // user or the program made it.
  void SetText(const std::string& Value) override;
  void Clear() override { SetText(""); }

  int SelStart() const { return inner_->SelStart(); }
  void SetSelStart(int Value) { inner_->SetSelStart(Value); }
  int SelLength() const { return inner_->SelLength(); }
  void SetSelLength(int Value) { inner_->SetSelLength(Value); }
  std::string SelText() const { return inner_->SelText(); }
  void SetSelText(const std::string& Value) { inner_->SetSelText(Value); }
  void SelectAll() { inner_->SelectAll(); }
  void CopyToClipboard() { inner_->CopyToClipboard(); }
  void CutToClipboard() { inner_->CutToClipboard(); }
  void PasteFromClipboard() { inner_->PasteFromClipboard(); }

 protected:
  // The inner edit is made of InnerClass (a TcxCustomInnerTextEdit class).
  TcxCustomTextEdit(TComponent* AOwner, std::unique_ptr<TcxCustomTextEditProperties> Properties,
                    TClass InnerClass = TcxCustomInnerTextEdit::StaticClass());

  friend class TcxCustomInnerTextEdit;
  // The inner edit's text changed: the editor's text follows, then OnChange.
  virtual void InnerTextChanged();
  // Whether the user may make the text NewText.
  virtual bool IsValidEditText(const std::string& /*NewText*/) { return true; }
  // Sets the inner edit's text without the user's checks.
  void SetEditText(const std::string& Value);
  void PropertiesChanged() override;

  VX_MESSAGE_MAP(TcxCustomTextEdit, TcxCustomEdit)
  VX_MESSAGE_HANDLER(CM_TEXTCHANGED, CMTextChanged)
  VX_END_MESSAGE_MAP

  // The inner edit shows the text and repaints itself.
  void CMTextChanged(TMessage&) {}

 private:
  TcxCustomInnerTextEdit* inner_ = nullptr;
  bool syncing_ = false;
};

class TcxTextEdit : public TcxCustomTextEdit {
  VX_CLASS(TcxTextEdit, TcxCustomTextEdit)

 public:
  explicit TcxTextEdit(TComponent* AOwner);
  TcxTextEditProperties* Properties() const {
    return static_cast<TcxTextEditProperties*>(TcxCustomEdit::Properties());
  }
};
