// A see-through container: it paints nothing of its own (only its OnPaint handler
// draws), so its parent shows through its empty area and its children paint on top. It
// takes no mouse clicks of its own. Invalidating it repaints the parent's area under it
// at once; so does moving or sizing it, at the old and the new place.
#pragma once

#include "platform/vcl/extctrls.h"

class TTransPanel : public TPanel {
  VX_CLASS(TTransPanel, TPanel)

 public:
  explicit TTransPanel(TComponent* AOwner);

  TCanvas* Canvas() const { return TCustomControl::Canvas(); }
  // Repaints the parent's area under the panel now (nothing while the panel paints).
  void Invalidate() override;

  TNotifyEvent OnPaint;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;
  void UpdateBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

  VX_MESSAGE_MAP(TTransPanel, TPanel)
  VX_MESSAGE_HANDLER(WM_ERASEBKGND, WMEraseBkgnd)
  VX_MESSAGE_HANDLER(WM_WINDOWPOSCHANGED, WMWindowPosChanged)
  VX_END_MESSAGE_MAP

  void WMEraseBkgnd(TMessage& Message);
  void WMWindowPosChanged(TMessage& Message);

 private:
  // Marks the parent's area under the panel and paints it now.
  void RepaintUnder();

  bool erasing_ = false;  // repainting the parent's area, or painting
  bool moving_ = false;   // the old place is marked; the move paints both at once
};

namespace TransPanelSmp {
// Puts TTransPanel on the palette page "Samples".
void Register();
}  // namespace TransPanelSmp
