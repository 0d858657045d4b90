// The owner-drawn progress bar: a windowless control that paints a filled bar with
// its percentage, or a bar of segments, inside its own frame (or the theme's), into
// an off-screen bitmap copied in one step.
#pragma once

#include <cstdint>

#include "platform/vcl/controls.h"
#include "widgets/RzCommon.h"

enum TBarStyle { bsTraditional, bsLED };
using TSegmentRange = int;        // 1..100
using TUnsignedLongint = uint32_t;  // 0..MaxInt
using TProgressChangeEvent = Event<TObject*, int32_t>;

class TRzCustomProgressBar : public TGraphicControl, public IFrameControllerClient {
  VX_CLASS(TRzCustomProgressBar, TGraphicControl)

 public:
  explicit TRzCustomProgressBar(TComponent* AOwner);
  ~TRzCustomProgressBar() override;

  // Every setter returns at once when the value does not change.
  TColor BackColor() const { return backColor_; }
  virtual void SetBackColor(TColor Value);
  TColor BarColor() const { return barColor_; }
  // The font takes the same colour.
  virtual void SetBarColor(TColor Value);
  TBarStyle BarStyle() const { return barStyle_; }
  // Also sets ShowPercent (on for the traditional bar) and InteriorOffset (1 for LED).
  virtual void SetBarStyle(TBarStyle Value);
  int BevelWidth() const { return bevelWidth_; }
  virtual void SetBevelWidth(int Value);
  TColor BorderColor() const { return borderColor_; }
  virtual void SetBorderColor(TColor Value);
  TFrameStyleEx BorderInner() const { return borderInner_; }
  virtual void SetBorderInner(TFrameStyleEx Value);
  TFrameStyleEx BorderOuter() const { return borderOuter_; }
  virtual void SetBorderOuter(TFrameStyleEx Value);
  int BorderWidth() const { return borderWidth_; }
  virtual void SetBorderWidth(int Value);
  TColor FlatColor() const { return flatColor_; }
  virtual void SetFlatColor(TColor Value);
  int32_t FlatColorAdjustment() const { return flatColorAdjustment_; }
  virtual void SetFlatColorAdjustment(int32_t Value);
  TRzFrameController* FrameController() const { return frameController_; }
  virtual void SetFrameController(TRzFrameController* Value);
  uint8_t InteriorOffset() const { return interiorOffset_; }
  virtual void SetInteriorOffset(uint8_t Value);
  TSegmentRange NumSegments() const { return numSegments_; }
  virtual void SetNumSegments(TSegmentRange Value);
  TOrientation Orientation() const { return orientation_; }
  virtual void SetOrientation(TOrientation Value);
  TUnsignedLongint PartsComplete() const { return partsComplete_; }
  // Clamped to TotalParts; sets Percent from the two.
  virtual void SetPartsComplete(TUnsignedLongint Value);
  uint16_t Percent() const { return percent_; }
  // Stores the value as given, fires OnChange and repaints before returning.
  virtual void SetPercent(uint16_t Value);
  bool ShowPercent() const { return showPercent_; }
  virtual void SetShowPercent(bool Value);
  TUnsignedLongint TotalParts() const { return totalParts_; }
  // Starts over: PartsComplete and Percent go to 0.
  virtual void SetTotalParts(TUnsignedLongint Value);
  bool ThemeAware() const { return themeAware_; }
  virtual void SetThemeAware(bool Value);

  // The orientation follows the shape: vertical when taller than wide.
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  // Takes the frame controller's settings when it shows frames.
  void FrameControllerChanged() override;

  TProgressChangeEvent OnChange;

 protected:
  void Paint() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Fires OnChange.
  virtual void PercentChanged();
  // The theme draws the frame and bar.
  bool UseThemes() const;

 private:
  TColor backColor_ = clWhite;
  TColor barColor_ = clHighlight;
  TBarStyle barStyle_ = bsTraditional;
  int bevelWidth_ = 1;
  TColor borderColor_ = clBtnFace;
  TFrameStyleEx borderInner_ = fsNone;
  TFrameStyleEx borderOuter_ = fsLowered;
  int borderWidth_ = 0;
  TColor flatColor_ = clBtnShadow;
  int32_t flatColorAdjustment_ = 30;
  TRzFrameController* frameController_ = nullptr;
  uint8_t interiorOffset_ = 0;
  TSegmentRange numSegments_ = 20;
  TOrientation orientation_ = orHorizontal;
  TUnsignedLongint partsComplete_ = 0;
  uint16_t percent_ = 0;
  bool showPercent_ = true;
  TUnsignedLongint totalParts_ = 0;
  bool themeAware_ = true;
};

class TRzProgressBar : public TRzCustomProgressBar {
  VX_CLASS(TRzProgressBar, TRzCustomProgressBar)

 public:
  explicit TRzProgressBar(TComponent* AOwner) : TRzCustomProgressBar(AOwner) {}
};
