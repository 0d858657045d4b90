#include "bizcontrols/vxIconCurrencyEdit.h"

namespace {
const TIconEditLook kCurrencyLook{clCaptionText, clCaptionText, true, true, clCaptionText, clCaptionText};
}  // namespace

TvxIconCurrencyEdit::TvxIconCurrencyEdit(TComponent* AOwner)
    : TvxCustomIconEdit(AOwner, TcxCurrencyEdit::StaticClass(), kCurrencyLook) {}

namespace vxIconCurrencyEdit {

void Register() { RegisterComponents("Vextra", {TvxIconCurrencyEdit::StaticClass()}); }

}  // namespace vxIconCurrencyEdit
