// The label of the third-party editor set: a caption drawn in the label's style,
// without an inner control and without the focus.
#pragma once

#include "platform/cx/cxedit.h"

class TcxLabelProperties : public TcxCustomEditProperties {
  VX_CLASS(TcxLabelProperties, TcxCustomEditProperties)

 public:
  void Assign(TPersistent* Source) override;
  // "&" marks the next character as an accelerator ("&&" is an ampersand).
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool Value);

 private:
  bool showAccelChar_ = true;
};

class TcxLabel : public TcxCustomEdit {
  VX_CLASS(TcxLabel, TcxCustomEdit)

 public:
  // No border; the parent's colour until Style.Color is given.
  explicit TcxLabel(TComponent* AOwner);
  TcxLabelProperties* Properties() const { return static_cast<TcxLabelProperties*>(TcxCustomEdit::Properties()); }
  void Clear() override { SetCaption(""); }

 protected:
  void Paint() override;

  VX_MESSAGE_MAP(TcxLabel, TcxCustomEdit)
  VX_MESSAGE_HANDLER(CM_TEXTCHANGED, CMTextChanged)
  VX_END_MESSAGE_MAP

  void CMTextChanged(TMessage&) { Invalidate(); }
};
