#include "bizcontrols/TransPanelSmp.h"

#include "platform/win/winuser.h"

TTransPanel::TTransPanel(TComponent* AOwner) : TPanel(AOwner) {
  Canvas()->Pen()->SetColor(clHighlight);
  Canvas()->Pen()->SetStyle(psDot);
  Canvas()->Brush()->SetStyle(bsClear);
  // Not opaque, and no clicks or mouse capture of its own.
  SetControlStyle(ControlStyle() - TControlStyle::FromBits(0x150CA));
}

void TTransPanel::CreateParams(TCreateParams& Params) {
  TPanel::CreateParams(Params);
  Params.ExStyle |= WS_EX_TRANSPARENT;
}

void TTransPanel::Paint() {
  // An Invalidate from the handler would only ask for this very painting again.
  const bool was = erasing_;
  erasing_ = true;
  try {
    OnPaint(this);
  } catch (...) {
    erasing_ = was;
    throw;
  }
  erasing_ = was;
}

void TTransPanel::Invalidate() {
  if (erasing_) return;
  Perform(WM_ERASEBKGND, 0, 0);
}

void TTransPanel::RepaintUnder() {
  if (erasing_) return;
  erasing_ = true;
  try {
    // The form paints the parent first and the panel does not erase, so the parent's
    // pixels stay under the panel and its children paint on top.
    TPanel::Invalidate();
    if (TWinControl* parent = Parent()) parent->Update();
  } catch (...) {
    erasing_ = false;
    throw;
  }
  erasing_ = false;
}

void TTransPanel::WMEraseBkgnd(TMessage& Message) {
  if (Message.WParam) {
    // Erasing while painting: leave what the parent painted.
    Message.Result = 1;
    return;
  }
  Message.Result = 0;
  if (moving_)
    TPanel::Invalidate();
  else
    RepaintUnder();
}

void TTransPanel::UpdateBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  moving_ = true;
  try {
    TPanel::UpdateBounds(ALeft, ATop, AWidth, AHeight);
  } catch (...) {
    moving_ = false;
    throw;
  }
  moving_ = false;
}

void TTransPanel::WMWindowPosChanged(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  RepaintUnder();
}

namespace TransPanelSmp {
void Register() { RegisterComponents("Samples", {TTransPanel::StaticClass()}); }
}  // namespace TransPanelSmp
