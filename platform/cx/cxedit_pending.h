// Stand-in for the editors' properties base until the editor stand-ins arrive.
#pragma once

#include "platform/rtl/classes.h"

class TcxCustomEditProperties : public TPersistent {
  VX_CLASS(TcxCustomEditProperties, TPersistent)

 public:
  TcxCustomEditProperties() = default;
  TNotifyEvent OnChange;
  TNotifyEvent OnPropertiesChanged;

 protected:
  void Changed() { OnPropertiesChanged(this); }
};
