// What the business tool bar and the help status bar share: the Transparent flag, a
// focus control kept with free notification, and the loading of the package's
// bitmaps.
#pragma once

#include <string>

#include "platform/vcl/controls.h"

// The Tag of the bars' own child controls (the help bar's icon has 300000).
constexpr intptr_t kBizBarChildTag = 999999;

class TvxCustomBizBar : public TWinControl {
  VX_CLASS(TvxCustomBizBar, TWinControl)

 public:
  ~TvxCustomBizBar() override;

  // True while the control style lacks csOpaque; a change repaints.
  bool Transparent() const { return !ControlStyle().Contains(csOpaque); }
  void SetTransparent(bool Value);
  // Kept for the program; forgotten when that control is destroyed.
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* Value);

  // Loads the module's bitmap of type "BMP" (a bitmap file) into a new bitmap and gives
  // it to Target: a TPicture or a TBitmap takes it, a TImageList adds it. False on any
  // failure (no such resource, bad data, another kind of target), without an
  // exception.
  static bool LoadResourceBMP(HINSTANCE Instance, const std::string& ResName, TPersistent* Target);

 protected:
  explicit TvxCustomBizBar(TComponent* AOwner) : TWinControl(AOwner) {}
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TWinControl* focusControl_ = nullptr;
};
