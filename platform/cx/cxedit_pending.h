// The plain editors until the grid and its search dialog take the editor set's: the
// framework's own label, edit and button in their places. The properties every
// editor has are the editor set's own (one class of that name in the program).
#pragma once

#include "platform/cx/cxedit.h"
#include "platform/rtl/classes.h"
#include "platform/vcl/stdctrls.h"

using TcxLabel = TLabel;
using TcxTextEdit = TEdit;
using TcxButton = TButton;
