// The icon editor with a currency editor in it (see vxIconEdit.h).
#pragma once

#include "bizcontrols/vxIconEdit.h"
#include "platform/cx/cxcurrencyedit.h"

class TvxIconCurrencyEdit : public TvxCustomIconEdit {
  VX_CLASS(TvxIconCurrencyEdit, TvxCustomIconEdit)

 public:
  explicit TvxIconCurrencyEdit(TComponent* AOwner);
  TcxCurrencyEdit* Editor() const { return static_cast<TcxCurrencyEdit*>(EditorControl()); }
  TcxCurrencyEditProperties* Properties() const { return Editor()->Properties(); }
  void SetProperties(TcxCurrencyEditProperties* Value) { Editor()->Properties()->Assign(Value); }
  double Value() const { return Editor()->Value(); }
  void SetValue(double Value) { Editor()->SetValue(Value); }
};

namespace vxIconCurrencyEdit {

// Puts TvxIconCurrencyEdit on the palette page "Vextra".
void Register();

}  // namespace vxIconCurrencyEdit
