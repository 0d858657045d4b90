// Stand-ins for the editor base and the plain editors until the editor set arrives:
// the properties every editor has, and the framework's own label, edit and button in
// the places of the editor set's.
#pragma once

#include "platform/rtl/classes.h"
#include "platform/vcl/stdctrls.h"

class TcxCustomEditProperties : public TPersistent {
  VX_CLASS(TcxCustomEditProperties, TPersistent)

 public:
  TcxCustomEditProperties() = default;
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool Value) {
    readOnly_ = Value;
    Changed();
  }
  TNotifyEvent OnChange;
  TNotifyEvent OnPropertiesChanged;

 protected:
  void Changed() { OnPropertiesChanged(this); }

 private:
  bool readOnly_ = false;
};

using TcxLabel = TLabel;
using TcxTextEdit = TEdit;
using TcxButton = TButton;
