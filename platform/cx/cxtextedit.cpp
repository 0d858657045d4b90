#include "platform/cx/cxtextedit.h"

// ---- TcxCustomInnerTextEdit ----

TcxCustomInnerTextEdit::TcxCustomInnerTextEdit(TComponent* AOwner) : TCustomEdit(AOwner) {
  SetBorderStyle(bsNone);
  // The editor is the tab stop; the focus it takes passes on to here.
  SetTabStop(false);
  SetParentColor(false);
}

TcxCustomTextEdit* TcxCustomInnerTextEdit::Container() const { return As<TcxCustomTextEdit>(Owner()); }

void TcxCustomInnerTextEdit::Change() {
  TCustomEdit::Change();
  if (TcxCustomTextEdit* e = Container()) e->InnerTextChanged();
}

bool TcxCustomInnerTextEdit::AllowText(const std::string& NewText) {
  TcxCustomTextEdit* e = Container();
  return !e || (!e->Properties()->ReadOnly() && e->IsValidEditText(NewText));
}

void TcxCustomInnerTextEdit::KeyDown(WORD& Key, TShiftState Shift) {
  if (TcxCustomTextEdit* e = Container()) e->KeyDown(Key, Shift);
  if (Key != 0) TCustomEdit::KeyDown(Key, Shift);
}

void TcxCustomInnerTextEdit::KeyUp(WORD& Key, TShiftState Shift) {
  if (TcxCustomTextEdit* e = Container()) e->KeyUp(Key, Shift);
  if (Key != 0) TCustomEdit::KeyUp(Key, Shift);
}

void TcxCustomInnerTextEdit::KeyPress(char& Key) {
  if (TcxCustomTextEdit* e = Container()) e->KeyPress(Key);
  if (Key != 0) TCustomEdit::KeyPress(Key);
}

// ---- TcxCustomTextEditProperties ----

void TcxCustomTextEditProperties::Assign(TPersistent* Source) {
  if (auto* p = As<TcxCustomTextEditProperties>(Source)) maxLength_ = p->maxLength_;
  TcxCustomEditProperties::Assign(Source);
}

void TcxCustomTextEditProperties::SetMaxLength(int Value) {
  Value = std::max(0, Value);
  SetAndNotify(maxLength_, Value, [this] { Changed(); });
}

// ---- TcxCustomTextEdit ----

TcxCustomTextEdit::TcxCustomTextEdit(TComponent* AOwner, std::unique_ptr<TcxCustomTextEditProperties> Properties,
                                     TClass InnerClass)
    : TcxCustomEdit(AOwner, std::move(Properties)) {
  inner_ = static_cast<TcxCustomInnerTextEdit*>(InnerClass->Create(this));
  SetInnerControl(inner_);
}

TcxCustomTextEdit::~TcxCustomTextEdit() { Destroying(); }

void TcxCustomTextEdit::SetText(const std::string& Value) {
  if (syncing_) return TcxCustomEdit::SetText(Value);
  SetEditText(Value);
}

void TcxCustomTextEdit::SetEditText(const std::string& Value) { inner_->SetText(Value); }

void TcxCustomTextEdit::InnerTextChanged() {
  syncing_ = true;
  try {
    TcxCustomEdit::SetText(inner_->Text());
  } catch (...) {
    syncing_ = false;
    throw;
  }
  syncing_ = false;
  Properties()->OnChange(this);
}

void TcxCustomTextEdit::PropertiesChanged() {
  inner_->SetMaxLength(Properties()->MaxLength());
  inner_->SetReadOnly(Properties()->ReadOnly());
  inner_->SetAlignment(Properties()->Alignment()->Horz());
  TcxCustomEdit::PropertiesChanged();
}

// ---- TcxTextEdit ----

TcxTextEdit::TcxTextEdit(TComponent* AOwner) : TcxCustomTextEdit(AOwner, std::make_unique<TcxTextEditProperties>()) {}
