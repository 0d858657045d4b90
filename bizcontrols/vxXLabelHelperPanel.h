// The panel of one scrolling-text block of the rich label: it takes the block's runs
// in, lines them up in the place of the block's first run, and moves them one pixel
// per tick of its timer, left, right, up or down, wrapping around when they have left
// it. It is see-through, so the rich label shows behind the moving runs.
#pragma once

#include <string>
#include <vector>

#include "bizcontrols/TransPanelSmp.h"

class TvxXLabelHelper;

class TvxXLabelHelperPanel : public TTransPanel {
  VX_CLASS(TvxXLabelHelperPanel, TTransPanel)

 public:
  // The owner (the rich label) is the panel's parent too.
  explicit TvxXLabelHelperPanel(TComponent* AOwner);

  // Takes a run in: the first gives the panel its place, speed and direction; a line
  // break starts a line below the first (out of view until it scrolls in).
  void AddHelper(TvxXLabelHelper* Helper);
  void DoTimer_Marquee(TObject* Sender);
  // Clips the panel's window to its frame and its children.
  void ClearPanel(TWinControl* Panel);

  int HelperCount() const { return int(helpers_.size()); }
  TvxXLabelHelper* Helpers(int Index) const { return helpers_.at(size_t(Index)); }
  int Speed() const { return speed_; }
  const std::string& Direction() const { return direction_; }
  TTimer* Timer() const { return timer_; }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  std::vector<TvxXLabelHelper*> helpers_;  // not owned: the rich label owns the runs
  int speed_ = 0;
  std::string direction_;
  TTimer* timer_;
  int nextLeft_ = 0;
  int lineTop_ = 0;
};

namespace vxXLabelHelperPanel {
// The window region of a panel: its frame and the rectangles of its children.
void ClearPanel(TWinControl* Panel);
// Puts TvxXLabelHelperPanel on the palette page "Samples".
void Register();
}  // namespace vxXLabelHelperPanel
