// One run of the rich label (TvxXLabel): a label that shows one parsed run in its
// style (bold, italic, underline, size, colour), opens its link when clicked, blinks,
// or scrolls inside a marquee panel. Runs are made and placed by the rich label.
#pragma once

#include <string>

#include "platform/vcl/extctrls.h"
#include "platform/vcl/stdctrls.h"

// The flags of the rich label's tags, as its parser gives them.
namespace vxXLabelFlags {
constexpr Integer BR = 1, B = 2, I = 4, U = 8, A = 16, BLINK = 32, MARQUEE = 64, FONT = 128;
}

class TvxXLabelHelper : public TLabel {
  VX_CLASS(TvxXLabelHelper, TLabel)

 public:
  explicit TvxXLabelHelper(TComponent* AOwner);

  // Takes a run: its flags, text, attribute text and marquee group. The label then has
  // the size of its text.
  virtual void RefreshLabelInfo(Integer Flags, const std::string& Text, const std::string& Prop, Integer GroupID);

  // A link with an address opens it with the web browser; a link without one raises
  // the rich label's OnClickEvent with this run as sender.
  void OnEvent_Click(TObject* Sender);
  // A link shows the hand cursor.
  void OnEvent_MEnter(TObject* Sender);
  // Swaps the text colour between its own and the background's.
  void DoTimer_Blink(TObject* Sender);

  // The attribute readers. An attribute is KEY='value' (or "value"), its key matched
  // ignoring case wherever it stands; the first one of a key counts (the innermost
  // tag's attributes come first). A missing key or a value that is no number gives 0
  // (an empty direction); the Try forms tell.
  std::string GetParsedItemLinkedUrl() const;
  static std::string GetDirection(const std::string& Prop);
  static TColor GetColorFromProp(const std::string& Prop);
  static Integer GetIntegerFromProp(const std::string& Prop, const std::string& Key);
  static bool TryGetIntegerFromProp(const std::string& Prop, const std::string& Key, Integer& Value);
  static bool FindAttribute(const std::string& Prop, const std::string& Key, std::string& Value);

  Integer MarqueeGroupID() const { return marqueeGroupID_; }
  // The marquee's step interval in milliseconds (100 when SPEED is missing).
  Integer MarqueeSpeed() const { return marqueeSpeed_; }
  const std::string& MarqueeDirection() const { return marqueeDirection_; }
  bool LineBreak() const { return lineBreak_; }
  void SetLineBreak(bool Value) { lineBreak_ = Value; }
  const std::string& Prop() const { return prop_; }
  bool IsLink() const { return isLink_; }
  const std::string& URL() const { return url_; }
  TTimer* BlinkTimer() const { return blinkTimer_; }
  bool BlinkOn() const { return blinkOn_; }

  // Font sizes outside this range leave the run's font as it is.
  static constexpr int kMaxFontSize = 500;

 private:
  TTimer* blinkTimer_;
  bool blinkOn_ = false;
  TColor savedFontColor_ = clWindowText;
  std::string prop_;
  bool isLink_ = false;
  std::string url_;
  Integer marqueeGroupID_ = -1;
  Integer marqueeSpeed_ = 0;
  std::string marqueeDirection_;
  bool lineBreak_ = false;
};

namespace vxXLabelHelper {
// Puts TvxXLabelHelper on the palette page "Samples".
void Register();
}  // namespace vxXLabelHelper
