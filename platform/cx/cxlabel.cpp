#include "platform/cx/cxlabel.h"

void TcxLabelProperties::Assign(TPersistent* Source) {
  if (auto* p = As<TcxLabelProperties>(Source)) showAccelChar_ = p->showAccelChar_;
  TcxCustomEditProperties::Assign(Source);
}

void TcxLabelProperties::SetShowAccelChar(bool Value) {
  SetAndNotify(showAccelChar_, Value, [this] { Changed(); });
}

TcxLabel::TcxLabel(TComponent* AOwner) : TcxCustomEdit(AOwner, std::make_unique<TcxLabelProperties>()) {
  SetTabStop(false);
  Style()->SetBorderStyle(ebsNone);
  Style()->SetTransparentBorder(false);
  width_ = 65;
  height_ = 17;
}

void TcxLabel::Paint() {
  TCanvas* c = Canvas();
  TcxEditStyle* view = ViewStyle();
  const bool ownColor = Style()->AssignedValues().Contains(svColor) || !Enabled();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(ownColor || !Parent() ? view->Color() : Parent()->Color());
  c->FillRect(ClientRect());
  DrawBorder(c);
  TRect r = ContentRect();
  static const UINT horz[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
  static const UINT vert[] = {DT_TOP, DT_BOTTOM, DT_VCENTER};
  UINT flags = DT_SINGLELINE | horz[Properties()->Alignment()->Horz()] | vert[Properties()->Alignment()->Vert()];
  if (!Properties()->ShowAccelChar()) flags |= DT_NOPREFIX;
  c->SetFont(view->ActiveFont());
  c->Font()->SetColor(view->TextColor());
  c->Brush()->SetStyle(bsClear);
  DrawText(c->Handle(), Caption().c_str(), -1, &r, flags);
}
