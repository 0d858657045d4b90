#include "bizcontrols/vxXLabelHelper.h"

#include <cctype>

#include "bizcontrols/vxXLabel.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/shell.h"
#include "platform/win/winuser.h"

using namespace vxXLabelFlags;

TvxXLabelHelper::TvxXLabelHelper(TComponent* AOwner) : TLabel(AOwner), blinkTimer_(new TTimer(this)) {
  blinkTimer_->SetEnabled(false);
  blinkTimer_->SetInterval(500);
  blinkTimer_->SetOnTimer(TNotifyEvent(this, &TvxXLabelHelper::DoTimer_Blink));
  // The rich label gives each run the size of its text.
  SetAutoSize(false);
  OnClick = TNotifyEvent(this, &TvxXLabelHelper::OnEvent_Click);
  OnMouseEnter = TNotifyEvent(this, &TvxXLabelHelper::OnEvent_MEnter);
}

// ---- Attributes ----

bool TvxXLabelHelper::FindAttribute(const std::string& Prop, const std::string& Key, std::string& Value) {
  const size_t n = Prop.size();
  auto isName = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-'; };
  size_t i = 0;
  while (i < n) {
    while (i < n && !isName(Prop[i])) ++i;
    const size_t nameStart = i;
    while (i < n && isName(Prop[i])) ++i;
    const std::string_view name(Prop.data() + nameStart, i - nameStart);
    size_t j = i;
    while (j < n && Prop[j] == ' ') ++j;
    if (j >= n || Prop[j] != '=') continue;  // a bare word: no value
    ++j;
    while (j < n && Prop[j] == ' ') ++j;
    std::string_view value;
    if (j < n && (Prop[j] == '\'' || Prop[j] == '"')) {
      const size_t close = Prop.find(Prop[j], j + 1);
      if (close == std::string::npos) return false;  // an unclosed quote ends the attributes
      value = std::string_view(Prop.data() + j + 1, close - j - 1);
      i = close + 1;
    } else {
      const size_t start = j;
      while (j < n && Prop[j] != ' ') ++j;
      value = std::string_view(Prop.data() + start, j - start);
      i = j;
    }
    if (!name.empty() && SameText(name, Key)) {
      Value = std::string(value);
      return true;
    }
  }
  return false;
}

bool TvxXLabelHelper::TryGetIntegerFromProp(const std::string& Prop, const std::string& Key, Integer& Value) {
  std::string text;
  return FindAttribute(Prop, Key, text) && TryStrToInt(Trim(text), Value);
}

Integer TvxXLabelHelper::GetIntegerFromProp(const std::string& Prop, const std::string& Key) {
  Integer value = 0;
  return TryGetIntegerFromProp(Prop, Key, value) ? value : 0;
}

TColor TvxXLabelHelper::GetColorFromProp(const std::string& Prop) { return GetIntegerFromProp(Prop, "COLOR"); }

std::string TvxXLabelHelper::GetDirection(const std::string& Prop) {
  std::string value;
  return FindAttribute(Prop, "DIRECTION", value) ? UpperCase(Trim(value)) : std::string();
}

std::string TvxXLabelHelper::GetParsedItemLinkedUrl() const {
  std::string url;
  return FindAttribute(prop_, "HREF", url) ? url : std::string();
}

// ---- The run ----

void TvxXLabelHelper::RefreshLabelInfo(Integer Flags, const std::string& Text, const std::string& Prop,
                                       Integer GroupID) {
  SetCaption(lineBreak_ ? " " : Text);
  prop_ = Prop;
  TFontStyles style;
  if (Flags & B) style.Include(fsBold);
  if (Flags & I) style.Include(fsItalic);
  if (Flags & U) style.Include(fsUnderline);
  Font()->SetStyle(style);
  isLink_ = (Flags & A) != 0;
  url_ = isLink_ ? GetParsedItemLinkedUrl() : std::string();
  blinkTimer_->SetEnabled(false);
  if (Flags & BLINK) {
    blinkTimer_->SetInterval(500);
    blinkTimer_->SetEnabled(true);
  }
  if (Flags & MARQUEE) {
    marqueeGroupID_ = GroupID;
    Integer speed = 0;
    marqueeSpeed_ = TryGetIntegerFromProp(Prop, "SPEED", speed) ? speed : 100;
    marqueeDirection_ = GetDirection(Prop);
  }
  if (Flags & FONT) {
    Integer size = 0, colour = 0;
    if (TryGetIntegerFromProp(Prop, "SIZE", size) && size >= 1 && size <= kMaxFontSize) Font()->SetSize(size);
    if (TryGetIntegerFromProp(Prop, "COLOR", colour)) Font()->SetColor(colour);
  }
  TScratchCanvas measure;
  measure.SetFont(Font());
  SetBounds(Left(), Top(), measure.TextWidth(Caption()), measure.TextHeight(Caption()));
}

void TvxXLabelHelper::OnEvent_Click(TObject*) {
  if (!isLink_) return;
  auto* label = As<TvxXLabel>(Owner());
  if (!url_.empty()) {
    // The address goes to the browser whole, as its one argument; a failure is not reported.
    ShellExecute(label ? label->Handle() : nullptr, "open", "iexplore.exe", url_.c_str(), nullptr, SW_SHOWNORMAL);
  } else if (label) {
    label->RunClicked(this);
  }
}

void TvxXLabelHelper::OnEvent_MEnter(TObject*) {
  if (isLink_) SetCursor(crHandPoint);
}

void TvxXLabelHelper::DoTimer_Blink(TObject*) {
  if (blinkOn_) {
    blinkOn_ = false;
    Font()->SetColor(savedFontColor_);
  } else {
    blinkOn_ = true;
    savedFontColor_ = Font()->Color();
    Font()->SetColor(Color());
  }
}

namespace vxXLabelHelper {
void Register() { RegisterComponents("Samples", {TvxXLabelHelper::StaticClass()}); }
}  // namespace vxXLabelHelper
