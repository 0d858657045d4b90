#include "platform/cx/cxgroupbox.h"

TcxGroupBox::TcxGroupBox(TComponent* AOwner) : TCustomPanel(AOwner) {
  SetBevelOuter(bvNone);
  SetCaption("");
}

void TcxGroupBox::Paint() {
  TCanvas* c = Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(ClientRect());
  c->Brush()->SetColor(clBtnShadow);
  c->FrameRect(ClientRect());
}

TcxRadioButton::TcxRadioButton(TComponent* AOwner) : TCheckBox(AOwner) { SetTabStop(true); }

void TcxRadioButton::SetChecked(bool Value) {
  if (Value && Parent())
    for (int i = 0; i < Parent()->ControlCount(); ++i)
      if (auto* other = As<TcxRadioButton>(Parent()->Controls(i)); other && other != this) other->TCheckBox::SetChecked(false);
  TCheckBox::SetChecked(Value);
}

void TcxRadioButton::Toggle() { SetChecked(true); }

void TcxRadioButton::PaintButton(TCanvas* Canvas) {
  const TRect client = ClientRect();
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(Color());
  Canvas->FillRect(client);
  constexpr int box = 13;
  const int top = (client.bottom - box) / 2;
  TRect b = Bounds(0, top, box, box);
  UINT state = DFCS_BUTTONRADIO;
  if (Checked()) state |= DFCS_CHECKED;
  if (!Enabled()) state |= DFCS_INACTIVE;
  DrawFrameControl(Canvas->Handle(), &b, DFC_BUTTON, state);
  DrawCaption(Canvas, TRect{box + 4, 0, client.right, client.bottom}, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
}
