// What the widget set's controls share: colour arithmetic on a hue/luminance/
// saturation scale of 0..240, frames and bevels in the frame styles, the two
// progress-bar painters, the frame controller that gives many controls one look, and
// the component that names an ini file or registry key for settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/inifiles.h"
#include "platform/rtl/registry.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/graphics.h"

// ---- Frames ----

enum TFrameStyleEx {
  fsNone,
  fsFlat,
  fsGroove,
  fsBump,
  fsLowered,
  fsButtonDown,
  fsRaised,
  fsButtonUp,
  fsStatus,
  fsPopup,
  fsFlatBold,
  fsFlatRounded
};
// The styles fsNone..fsFlatBold.
using TFrameStyle = TFrameStyleEx;

enum TSide { sdLeft, sdTop, sdRight, sdBottom };
using TSides = TSet<TSide>;
inline constexpr TSides sdAllSides{sdLeft, sdTop, sdRight, sdBottom};

enum TOrientation { orHorizontal, orVertical };

// The sides as the framework writes a set: "[sdLeft,sdTop,sdRight,sdBottom]".
std::string SidesToString(TSides Sides);
// Reads that text back; unknown names raise EConvertError.
TSides StringToSides(const std::string& Text);
// The style's name ("fsFlat") and back (EConvertError for an unknown name).
std::string FrameStyleToString(TFrameStyleEx Style);
TFrameStyleEx StringToFrameStyle(const std::string& Text);

// ---- Colours ----

void ColorToHueLumSat(TColor Color, uint8_t& H, uint8_t& L, uint8_t& S);
uint8_t HueOfColor(TColor Color);
// Note the order: hue, saturation, luminance.
TColor HueLumSatToColor(uint8_t H, uint8_t S, uint8_t L);
// Luminance lowered by Amount (not below 0).
TColor DimColor(TColor Color, uint8_t Amount);
// Luminance raised by Amount (up to 255; beyond 240 the colour is white).
TColor BrightenColor(TColor Color, uint8_t Amount);
// Darker for a negative Amount, brighter for a positive one.
TColor ShiftColor(TColor Color, int Amount);
// Per channel First × w + Second × (1 − w), w = Weight / 255.
TColor MixColors(TColor First, TColor Second, uint8_t Weight);
// The hue a third of the circle away, fully saturated, at luminance L.
TColor OppositeHueColor(TColor Color, uint8_t L);
// True when the screen shows every colour (no palette limit).
bool DeviceHasFullColor();

// ---- Frame painting (each answers the rectangle left inside what it drew) ----

TRect PaintSides(TCanvas* Canvas, const TRect& Bounds, TColor ULColor, TColor LRColor, TSides Sides);
TRect PaintBevel(TCanvas* Canvas, const TRect& Bounds, TColor ULColor, TColor LRColor, int Width, TSides Sides);
TRect PaintFrameStyle(TCanvas* Canvas, const TRect& Bounds, TFrameStyleEx Style, TSides Sides);
TRect PaintRoundedFlatFrame(TCanvas* Canvas, const TRect& Bounds, TColor Color, TSides Sides);
TRect PaintBorders(TCanvas* Canvas, const TRect& Bounds, TFrameStyleEx OuterStyle, TFrameStyleEx InnerStyle,
                   int BorderWidth, TSides Sides, int BevelWidth, TColor BorderColor, TColor HighlightColor,
                   TColor ShadowColor, TColor FlatColor, int FlatColorAdjustment, TColor Color, TColor ParentColor,
                   bool Transparent, bool SoftInnerFlat);
// Every second pixel along the edges, black; answers Bounds inflated by -1.
TRect PaintFocusDots(TCanvas* Canvas, const TRect& Bounds);

// ---- Progress bars ----

// A bar filled to Percent with the percentage written across it (in BackColor over the
// bar, in BarColor over the rest).
void PaintTextBar(TCanvas* Canvas, const TRect& Rect, TOrientation Orientation, TColor BarColor, TColor BackColor,
                  uint16_t Percent, bool ShowPercent);
// A bar of separate segments, lit up to Percent.
void PaintSegmentBar(TCanvas* Canvas, const TRect& Rect, TOrientation Orientation, TColor BarColor, TColor BackColor,
                     int NumSegments, uint16_t Percent, bool ThemeAware);

// ---- Frame controller ----

// A control that takes the controller's settings itself when told they changed.
class IFrameControllerClient {
 public:
  virtual ~IFrameControllerClient() = default;
  virtual void FrameControllerChanged() = 0;
};

enum TFramingPreference { fpCustomFraming, fpXPThemes };

class TRzRegIniFile;

// Holds one set of frame and colour settings and pushes them to every registered
// control: to a control that takes them itself, by telling it; to any other control,
// into its published properties of the same names.
class TRzFrameController : public TComponent {
  VX_CLASS(TRzFrameController, TComponent)

 public:
  explicit TRzFrameController(TComponent* AOwner);
  ~TRzFrameController() override;

  void Assign(TPersistent* Source) override;

  void AddControl(TControl* Control);
  void RemoveControl(TControl* Control);
  // Moves Control from the controller in Slot to Value (either may be none) and
  // keeps Slot cleared when Value goes away.
  static void Link(TRzFrameController*& Slot, TRzFrameController* Value, TControl* Control);
  int ControlCount() const { return int(controls_ ? controls_->size() : 0); }
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();

  virtual void ApplyToControl(TControl* Control, int Index);
  virtual void PushToControls(int Index);

  TColor Color() const { return color_; }
  virtual void SetColor(TColor Value);
  bool ParentColor() const { return parentColor_; }
  virtual void SetParentColor(bool Value);
  TColor FlatButtonColor() const { return flatButtonColor_; }
  virtual void SetFlatButtonColor(TColor Value);
  bool FlatButtons() const { return flatButtons_; }
  virtual void SetFlatButtons(bool Value);
  TColor DisabledColor() const { return disabledColor_; }
  virtual void SetDisabledColor(TColor Value);
  TColor FocusColor() const { return focusColor_; }
  virtual void SetFocusColor(TColor Value);
  TColor FrameColor() const { return frameColor_; }
  virtual void SetFrameColor(TColor Value);
  TColor FrameHotColor() const { return frameHotColor_; }
  virtual void SetFrameHotColor(TColor Value);
  bool FrameHotTrack() const { return frameHotTrack_; }
  virtual void SetFrameHotTrack(bool Value);
  TFrameStyle FrameHotStyle() const { return frameHotStyle_; }
  virtual void SetFrameHotStyle(TFrameStyle Value);
  TSides FrameSides() const { return frameSides_; }
  virtual void SetFrameSides(TSides Value);
  TFrameStyle FrameStyle() const { return frameStyle_; }
  virtual void SetFrameStyle(TFrameStyle Value);
  bool FrameVisible() const { return frameVisible_; }
  virtual void SetFrameVisible(bool Value);
  TFramingPreference FramingPreference() const { return framingPreference_; }
  virtual void SetFramingPreference(TFramingPreference Value);
  TRzRegIniFile* RegIniFile() const { return regIniFile_; }
  virtual void SetRegIniFile(TRzRegIniFile* Value);

  // Values of obsolete properties found in old form data.
  void ReadOldFrameFlat(bool Value);
  void ReadOldFrameFocusStyle(const std::string& Ident);
  void ReadOldFrameFlatStyle(const std::string& Ident);

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  std::unique_ptr<std::vector<TControl*>> controls_;
  int updateCount_ = 0;
  TColor color_ = clWindow;
  TColor disabledColor_ = clBtnFace;
  TColor flatButtonColor_ = clBtnFace;
  bool flatButtons_ = true;
  TColor focusColor_ = clWindow;
  TColor frameColor_ = clBtnShadow;
  TColor frameHotColor_ = clBtnShadow;
  TFrameStyle frameHotStyle_ = fsFlatBold;
  bool frameHotTrack_ = false;
  TSides frameSides_ = sdAllSides;
  TFrameStyle frameStyle_ = fsFlat;
  bool frameVisible_ = false;
  TFramingPreference framingPreference_ = fpXPThemes;
  bool parentColor_ = false;
  TRzRegIniFile* regIniFile_ = nullptr;
};

// ---- Settings store naming ----

enum TRzPathType { ptIniFile, ptRegistry };
enum TRzRegKey {
  hkeyClassesRoot,
  hkeyCurrentUser,
  hkeyLocalMachine,
  hkeyUsers,
  hkeyPerformanceData,
  hkeyCurrentConfig,
  hkeyDynData
};
enum TRzRegAccessKey {
  keyQueryValue,
  keySetValue,
  keyCreateSubKey,
  keyEnumerateSubKeys,
  keyNotify,
  keyCreateLink,
  keyRead,
  keyWrite,
  keyExecute,
  keyAllAccess
};
using TRzRegAccess = TSet<TRzRegAccessKey>;

// Names the ini file (Path) or registry key (RegKey\Path) where settings are kept.
class TRzRegIniFile : public TComponent {
  VX_CLASS(TRzRegIniFile, TComponent)

 public:
  explicit TRzRegIniFile(TComponent* AOwner);
  ~TRzRegIniFile() override;

  const std::string& Path() const { return path_; }
  virtual void SetPath(const std::string& Value);
  TRzPathType PathType() const { return pathType_; }
  virtual void SetPathType(TRzPathType Value);
  TRzRegKey RegKey() const { return regKey_; }
  virtual void SetRegKey(TRzRegKey Value);
  TRzRegAccess RegAccess() const { return regAccess_; }
  virtual void SetRegAccess(TRzRegAccess Value);
  // True after a change of where the settings live.
  bool NeedsRefresh() const { return refresh_; }

 private:
  std::string path_;
  TRzPathType pathType_ = ptIniFile;
  TRzRegKey regKey_ = hkeyCurrentUser;
  TRzRegAccess regAccess_{keyAllAccess};
  std::unique_ptr<TCustomIniFile> iniFile_;
  std::unique_ptr<TRegistry> registry_;
  bool refresh_ = true;
};

// Skips an obsolete identifier value found while old form data is read.
class TRzOldPropReader : public TObject {
  VX_CLASS(TRzOldPropReader, TObject)

 public:
  void ReadOldIdentProp(const std::string& Ident) {}
};
