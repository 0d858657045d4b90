// Theme services: the drawing of themed parts. There is no system theme here, so
// themes are off and controls draw their classic look; tests put their own services in
// place to see which parts a control asks for.
#pragma once

#include <memory>

#include "platform/vcl/graphics.h"

enum TThemedElement { teButton, teProgress };

enum TThemedButton {
  tbButtonDontCare,
  tbButtonRoot,
  tbPushButtonNormal,
  tbPushButtonHot,
  tbPushButtonPressed,
  tbPushButtonDisabled,
  tbPushButtonDefaulted,
  tbRadioButtonUncheckedNormal,
  tbRadioButtonUncheckedHot,
  tbRadioButtonUncheckedPressed,
  tbRadioButtonUncheckedDisabled,
  tbRadioButtonCheckedNormal,
  tbRadioButtonCheckedHot,
  tbRadioButtonCheckedPressed,
  tbRadioButtonCheckedDisabled,
  tbCheckBoxUncheckedNormal,
  tbCheckBoxUncheckedHot,
  tbCheckBoxUncheckedPressed,
  tbCheckBoxUncheckedDisabled,
  tbCheckBoxCheckedNormal,
  tbCheckBoxCheckedHot,
  tbCheckBoxCheckedPressed,
  tbCheckBoxCheckedDisabled,
  tbCheckBoxMixedNormal,
  tbCheckBoxMixedHot,
  tbCheckBoxMixedPressed,
  tbCheckBoxMixedDisabled
};

enum TThemedProgress { tpProgressDontCare, tpProgressRoot, tpBar, tpBarVert, tpChunk, tpChunkVert };

// The part numbers of the system's theme data.
constexpr int BP_PUSHBUTTON = 1;
constexpr int BP_RADIOBUTTON = 2;
constexpr int BP_CHECKBOX = 3;
constexpr int PP_BAR = 1;
constexpr int PP_BARVERT = 2;
constexpr int PP_CHUNK = 3;
constexpr int PP_CHUNKVERT = 4;

struct TThemedElementDetails {
  TThemedElement Element = teButton;
  int Part = 0;
  int State = 0;
  bool operator==(const TThemedElementDetails&) const = default;
};

class TThemeServices {
 public:
  virtual ~TThemeServices() = default;
  // False: there is no theme to draw with.
  virtual bool ThemesEnabled() const { return false; }
  bool ThemesAvailable() const { return ThemesEnabled(); }
  TThemedElementDetails GetElementDetails(TThemedButton Detail) const;
  TThemedElementDetails GetElementDetails(TThemedProgress Detail) const;
  // Draws the part; without a theme nothing is drawn.
  virtual void DrawElement(HDC /*DC*/, const TThemedElementDetails& /*Details*/, const TRect& /*R*/) {}
  // The area inside the part's borders.
  virtual TRect ContentRect(HDC /*DC*/, const TThemedElementDetails& /*Details*/, const TRect& BoundingRect) {
    return BoundingRect;
  }
};

// The services in use (themes off unless a test puts others in place).
TThemeServices* ThemeServices();
std::unique_ptr<TThemeServices> SetThemeServices(std::unique_ptr<TThemeServices> Services);
