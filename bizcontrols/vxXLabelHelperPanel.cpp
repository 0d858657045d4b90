#include "bizcontrols/vxXLabelHelperPanel.h"

#include <algorithm>

#include "bizcontrols/vxXLabelHelper.h"
#include "platform/gdi/gdi.h"

TvxXLabelHelperPanel::TvxXLabelHelperPanel(TComponent* AOwner) : TTransPanel(AOwner), timer_(new TTimer(this)) {
  timer_->SetInterval(100);
  timer_->SetOnTimer(TNotifyEvent(this, &TvxXLabelHelperPanel::DoTimer_Marquee));
  timer_->SetEnabled(true);
  if (auto* parent = As<TWinControl>(AOwner)) SetParent(parent);
  SetBounds(0, 0, 0, 0);
}

void TvxXLabelHelperPanel::Notification(TComponent* AComponent, TOperation Operation) {
  TTransPanel::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove)
    std::erase_if(helpers_, [&](const TvxXLabelHelper* h) { return h == AComponent; });
}

void TvxXLabelHelperPanel::AddHelper(TvxXLabelHelper* Helper) {
  if (helpers_.empty()) {
    SetBounds(Helper->Left(), Helper->Top(), Width(), Height());
    speed_ = Helper->MarqueeSpeed();
    direction_ = Helper->MarqueeDirection();
    timer_->SetInterval(Cardinal(std::max(0, speed_)));  // 0 stops the block
  }
  Helper->SetParent(this);
  if (Helper->LineBreak()) {
    // The line break keeps its place; the next run starts a line below.
    SetHeight(lineTop_ + Helper->Height());
    lineTop_ = Height();
    nextLeft_ = 0;
  } else {
    Helper->SetBounds(nextLeft_, lineTop_, Helper->Width(), Helper->Height());
    nextLeft_ += Helper->Width();
    if (nextLeft_ > Width()) SetWidth(nextLeft_);
  }
  if (Helper->Height() > Height()) {
    SetHeight(Helper->Height());
    lineTop_ = 0;
  }
  helpers_.push_back(Helper);
  Helper->FreeNotification(this);
}

void TvxXLabelHelperPanel::DoTimer_Marquee(TObject*) {
  if (helpers_.empty()) return;
  const int W = Width(), H = Height();
  auto moveAll = [&](int dx, int dy) {
    for (TvxXLabelHelper* h : helpers_) h->SetBounds(h->Left() + dx, h->Top() + dy, h->Width(), h->Height());
  };
  const TvxXLabelHelper* first = helpers_.front();
  const TvxXLabelHelper* last = helpers_.back();
  if (direction_ == "L") {
    if (last->Left() + last->Width() < 0) moveAll(2 * W, 0);
    moveAll(-1, 0);
  } else if (direction_ == "R") {
    if (first->Left() > W) moveAll(-2 * W, 0);
    moveAll(1, 0);
  } else if (direction_ == "U") {
    if (last->Top() + last->Height() < 0) moveAll(0, 2 * H);
    moveAll(0, -1);
  } else if (direction_ == "D") {
    if (first->Top() > H) moveAll(0, -2 * H);
    moveAll(0, 1);
  }
}

void TvxXLabelHelperPanel::ClearPanel(TWinControl* Panel) { vxXLabelHelperPanel::ClearPanel(Panel); }

namespace vxXLabelHelperPanel {

void ClearPanel(TWinControl* Panel) {
  if (!Panel) return;
  const int border = (Panel->Width() - Panel->ClientWidth()) / 2;
  const int top = Panel->Height() - Panel->ClientHeight() - border;
  HRGN region = CreateRectRgn(0, 0, Panel->Width(), Panel->Height());
  HRGN client = CreateRectRgn(border, top, border + Panel->ClientWidth(), top + Panel->ClientHeight());
  CombineRgn(region, region, client, RGN_DIFF);
  DeleteObject(client);
  for (int i = 0; i < Panel->ControlCount(); ++i) {
    const TControl* c = Panel->Controls(i);
    HRGN part = CreateRectRgn(c->Left() + border, c->Top() + top, c->Left() + border + c->Width(),
                              c->Top() + top + c->Height());
    CombineRgn(region, region, part, RGN_OR);
    DeleteObject(part);
  }
  Panel->SetWindowRegion(region);
  Panel->Invalidate();
}

void Register() { RegisterComponents("Samples", {TvxXLabelHelperPanel::StaticClass()}); }

}  // namespace vxXLabelHelperPanel
