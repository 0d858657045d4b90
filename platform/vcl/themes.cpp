#include "platform/vcl/themes.h"

namespace {
std::unique_ptr<TThemeServices>& Current() {
  static std::unique_ptr<TThemeServices> services = std::make_unique<TThemeServices>();
  return services;
}
}  // namespace

TThemedElementDetails TThemeServices::GetElementDetails(TThemedButton Detail) const {
  TThemedElementDetails d;
  d.Element = teButton;
  if (Detail >= tbPushButtonNormal && Detail <= tbPushButtonDefaulted) {
    d.Part = BP_PUSHBUTTON;
    d.State = Detail - tbPushButtonNormal + 1;
  } else if (Detail >= tbRadioButtonUncheckedNormal && Detail <= tbRadioButtonCheckedDisabled) {
    d.Part = BP_RADIOBUTTON;
    d.State = Detail - tbRadioButtonUncheckedNormal + 1;
  } else if (Detail >= tbCheckBoxUncheckedNormal && Detail <= tbCheckBoxMixedDisabled) {
    d.Part = BP_CHECKBOX;
    d.State = Detail - tbCheckBoxUncheckedNormal + 1;
  }
  return d;
}

TThemedElementDetails TThemeServices::GetElementDetails(TThemedProgress Detail) const {
  TThemedElementDetails d;
  d.Element = teProgress;
  switch (Detail) {
    case tpBar: d.Part = PP_BAR; break;
    case tpBarVert: d.Part = PP_BARVERT; break;
    case tpChunk: d.Part = PP_CHUNK; break;
    case tpChunkVert: d.Part = PP_CHUNKVERT; break;
    default: break;
  }
  return d;
}

TThemeServices* ThemeServices() { return Current().get(); }

std::unique_ptr<TThemeServices> SetThemeServices(std::unique_ptr<TThemeServices> Services) {
  auto previous = std::move(Current());
  Current() = Services ? std::move(Services) : std::make_unique<TThemeServices>();
  return previous;
}
