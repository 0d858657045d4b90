// The rich label: a short text written with the tags BR, B, I, U, A, BLINK, MARQUEE
// and FONT shows as runs laid out left to right in lines: bold, italic and underlined
// runs, links that open a web page, blinking runs, font sizes and colours, line
// breaks, and blocks of scrolling text. Each parsed run is one TvxXLabelHelper; the
// runs of a scrolling block move inside one TvxXLabelHelperPanel. Attribute values
// are written KEY='value', e.g. <FONT SIZE='12' COLOR='255'>, <A HREF='page.htm'>,
// <MARQUEE DIRECTION='L' SPEED='30'> (L, R, U or D; SPEED in milliseconds per pixel).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bizcontrols/HtmlParser.h"
#include "bizcontrols/vxXLabelHelper.h"
#include "bizcontrols/vxXLabelHelperPanel.h"
#include "platform/vcl/extctrls.h"

class TvxXLabel : public TPanel {
  VX_CLASS(TvxXLabel, TPanel)

 public:
  explicit TvxXLabel(TComponent* AOwner);
  ~TvxXLabel() override;

  // The tagged text. A new text replaces the runs, panels and timers of the old one.
  void SetText(const std::string& Value) override;
  const std::string& XText() const { return text_; }
  bool Transparent() const { return transparent_; }
  // The runs' Transparent follows.
  void SetTransparent(bool Value);
  // Groups the runs of each scrolling block into a panel of its own.
  void SetMarqueePanels();
  void ClearPanel(TWinControl* Panel) { vxXLabelHelperPanel::ClearPanel(Panel); }

  THtmlParser* Parser() const { return parser_; }
  int HelperCount() const { return int(helpers_.size()); }
  TvxXLabelHelper* Helpers(int Index) const { return helpers_.at(size_t(Index)); }
  int PanelCount() const { return int(panels_.size()); }
  TvxXLabelHelperPanel* Panels(int Index) const { return panels_.at(size_t(Index)); }

  // Raised by a link run without an address, with the run as sender.
  TNotifyEvent OnClickEvent;
  TNotifyEvent GetOnClickEvent() const { return OnClickEvent; }
  void SetOnClickEvent(TNotifyEvent Value) { OnClickEvent = Value; }
  // A link run without an address was clicked.
  void RunClicked(TvxXLabelHelper* Run);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

  VX_MESSAGE_MAP(TvxXLabel, TPanel)
  VX_MESSAGE_HANDLER(CM_RELEASE, CMRelease)
  VX_END_MESSAGE_MAP

  // Frees the runs and panels of an earlier text that a run's own event replaced.
  void CMRelease(TMessage& Message);

 private:
  void ClearRuns();

  std::string text_;
  THtmlParser* parser_;
  std::unique_ptr<TList> groupList_;
  std::vector<TvxXLabelHelper*> helpers_;       // owned through the component owner
  std::vector<TvxXLabelHelperPanel*> panels_;  // the same
  std::vector<TControl*> released_;             // waiting to be freed (see CMRelease)
  int top_ = 0;
  bool transparent_ = false;
  int inRunEvent_ = 0;
};

namespace vxXLabel {
// Puts TvxXLabel on the palette page "Vextra".
void Register();
}  // namespace vxXLabel
