#include "bizcontrols/vxXLabel.h"

#include <algorithm>

using namespace vxXLabelFlags;

TvxXLabel::TvxXLabel(TComponent* AOwner) : TPanel(AOwner), groupList_(std::make_unique<TList>()) {
  for (Integer flag : {BR, B, I, U, A, BLINK, MARQUEE, FONT}) groupList_->Add(reinterpret_cast<void*>(intptr_t(flag)));
  parser_ = new THtmlParser(this, "BR,B,I,U,A,BLINK,MARQUEE,FONT", groupList_.get());
  SetBevelOuter(bvNone);
  SetBevelInner(bvNone);
  SetParentColor(true);
  SetDoubleBuffered(true);
}

TvxXLabel::~TvxXLabel() = default;

void TvxXLabel::Notification(TComponent* AComponent, TOperation Operation) {
  TPanel::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  std::erase_if(helpers_, [&](const TvxXLabelHelper* h) { return h == AComponent; });
  std::erase_if(panels_, [&](const TvxXLabelHelperPanel* p) { return p == AComponent; });
  std::erase_if(released_, [&](const TControl* c) { return c == AComponent; });
}

void TvxXLabel::ClearRuns() {
  if (inRunEvent_ > 0) {
    // A run's own event replaced the text: the old runs go quiet and out of sight now,
    // and are freed once that event is over.
    std::vector<TControl*> old(panels_.begin(), panels_.end());
    old.insert(old.end(), helpers_.begin(), helpers_.end());
    panels_.clear();
    helpers_.clear();
    for (TControl* c : old) {
      if (auto* run = As<TvxXLabelHelper>(c)) run->BlinkTimer()->SetEnabled(false);
      if (auto* panel = As<TvxXLabelHelperPanel>(c)) panel->Timer()->SetEnabled(false);
      c->Hide();
      released_.push_back(c);
    }
    PostMessage(Handle(), CM_RELEASE, 0, 0);
    return;
  }
  // Panels first: freeing one frees the runs it holds, and the notifications of the
  // freed take them off the lists.
  while (!panels_.empty()) panels_.back()->Free();
  while (!helpers_.empty()) helpers_.back()->Free();
}

void TvxXLabel::CMRelease(TMessage&) {
  if (inRunEvent_ > 0) return;
  while (!released_.empty()) {
    TControl* c = released_.back();
    released_.pop_back();
    c->Free();
  }
}

void TvxXLabel::RunClicked(TvxXLabelHelper* Run) {
  ++inRunEvent_;
  try {
    OnClickEvent(Run);
  } catch (...) {
    --inRunEvent_;
    throw;
  }
  --inRunEvent_;
}

void TvxXLabel::SetText(const std::string& Value) {
  ClearRuns();
  text_ = Value;
  top_ = 0;
  const int count = parser_->Parse(Value);
  int x = 0, lineHeight = 0;
  for (int i = 0; i < count; ++i) {
    auto* run = new TvxXLabelHelper(this);
    run->SetParent(this);
    run->Font()->SetCharset(129);  // Hangul
    run->SetTop(top_);
    run->SetLineBreak(false);
    const Integer flags = parser_->GetParsedItemType(i);
    if (flags & BR) {
      // The break stands at the end of its line; the next line starts below.
      top_ += lineHeight;
      x = 0;
      lineHeight = 0;
      run->SetLineBreak(true);
    }
    run->SetLeft(x);
    run->RefreshLabelInfo(flags, parser_->GetParsedItemStr(i), parser_->GetParsedItemProp(i),
                          parser_->GetParsedItemGID(i));
    x += run->Width();
    lineHeight = std::max(run->Height(), lineHeight);
    run->SetTransparent(true);
    helpers_.push_back(run);
  }
  SetMarqueePanels();
  Invalidate();
}

void TvxXLabel::SetMarqueePanels() {
  TvxXLabelHelperPanel* current = nullptr;
  Integer lastGroup = -1;
  for (TvxXLabelHelper* run : std::vector<TvxXLabelHelper*>(helpers_)) {
    // Line breaks after a scrolling block go into its panel.
    if (current && run->LineBreak()) current->AddHelper(run);
    if (run->MarqueeGroupID() < 0) continue;
    if (run->MarqueeGroupID() != lastGroup || !current) {
      current = new TvxXLabelHelperPanel(this);
      panels_.push_back(current);
      lastGroup = run->MarqueeGroupID();
    }
    current->AddHelper(run);
  }
}

void TvxXLabel::SetTransparent(bool Value) {
  if (transparent_ == Value) return;
  for (TvxXLabelHelper* run : helpers_) run->SetTransparent(Value);
  transparent_ = Value;
}

namespace vxXLabel {
void Register() { RegisterComponents("Vextra", {TvxXLabel::StaticClass()}); }
}  // namespace vxXLabel
