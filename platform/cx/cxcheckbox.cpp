#include "platform/cx/cxcheckbox.h"

void TcxCheckBoxProperties::Assign(TPersistent* Source) {
  auto* other = As<TcxCheckBoxProperties>(Source);
  if (!other) {
    TcxCustomEditProperties::Assign(Source);
    return;
  }
  SetNullStyle(other->nullStyle_);
}

void TcxCheckBoxProperties::SetNullStyle(TcxCheckBoxNullValueShowingStyle Value) {
  SetAndNotify(nullStyle_, Value, [this] { Changed(); });
}

bool TcxCheckBoxProperties::IsChecked(const Variant& Value) const {
  if (Value.IsClear()) return nullStyle_ == nssGrayedChecked;
  try {
    return Value.AsBoolean();
  } catch (const EVariantError&) {
    return false;
  }
}

TcxCheckBox::TcxCheckBox(TComponent* AOwner) : TCheckBox(AOwner) { SetTabStop(true); }
