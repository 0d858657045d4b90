// The check box editor's properties: how Null shows, and the values that mean
// checked and unchecked.
#pragma once

#include "platform/cx/cxedit.h"
#include "platform/rtl/variants.h"
#include "platform/vcl/stdctrls.h"

enum TcxCheckBoxNullValueShowingStyle { nssUnchecked, nssGrayedChecked, nssInactive };

class TcxCheckBoxProperties : public TcxCustomEditProperties {
  VX_CLASS(TcxCheckBoxProperties, TcxCustomEditProperties)

 public:
  TcxCheckBoxProperties() = default;
  void Assign(TPersistent* Source) override;

  TcxCheckBoxNullValueShowingStyle NullStyle() const { return nullStyle_; }
  void SetNullStyle(TcxCheckBoxNullValueShowingStyle Value);
  // A value's state: Null by NullStyle, otherwise its truth (a value that is no
  // Boolean shows unchecked).
  bool IsChecked(const Variant& Value) const;
  bool IsGrayed(const Variant& Value) const { return Value.IsClear() && nullStyle_ == nssGrayedChecked; }

 private:
  TcxCheckBoxNullValueShowingStyle nullStyle_ = nssGrayedChecked;
};

// The check box editor: checked, unchecked, or grayed when allowed.
class TcxCheckBox : public TCheckBox {
  VX_CLASS(TcxCheckBox, TCheckBox)

 public:
  explicit TcxCheckBox(TComponent* AOwner);
};
