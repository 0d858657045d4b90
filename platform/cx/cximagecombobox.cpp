#include "platform/cx/cximagecombobox.h"

#include <algorithm>

#include "platform/rtl/sysutils.h"

// ---- Items ----

void TcxImageComboBoxItem::Assign(TPersistent* Source) {
  auto* item = As<TcxImageComboBoxItem>(Source);
  if (!item) return TCollectionItem::Assign(Source);
  value_ = item->value_;
  description_ = item->description_;
  imageIndex_ = item->imageIndex_;
  Changed(false);
}

void TcxImageComboBoxItem::SetValue(const Variant& Value) {
  value_ = Value;
  Changed(false);
}

void TcxImageComboBoxItem::SetDescription(const std::string& Value) {
  description_ = Value;
  Changed(false);
}

TcxImageComboBoxItems::TcxImageComboBoxItems()
    : TCollection(TcxImageComboBoxItem::StaticClass(),
                  [](TCollection* c) -> TCollectionItem* { return new TcxImageComboBoxItem(c); }) {}

TcxImageComboBoxItem* TcxImageComboBoxItems::Add(const Variant& Value, const std::string& Description) {
  BeginUpdate();
  TcxImageComboBoxItem* item = Add();
  item->SetValue(Value);
  item->SetDescription(Description);
  EndUpdate();
  return item;
}

// ---- Properties ----

TcxImageComboBoxProperties::TcxImageComboBoxProperties() : items_(std::make_unique<TcxImageComboBoxItems>()) {
  items_->OnChange = TNotifyEvent(this, &TcxImageComboBoxProperties::ItemsChanged);
}

TcxImageComboBoxProperties::~TcxImageComboBoxProperties() { items_->OnChange = {}; }

void TcxImageComboBoxProperties::Assign(TPersistent* Source) {
  if (auto* p = As<TcxImageComboBoxProperties>(Source)) items_->Assign(p->items_.get());
  TcxCustomEditProperties::Assign(Source);
}

int TcxImageComboBoxProperties::IndexOfValue(const Variant& Value) const {
  for (int i = 0; i < items_->Count(); ++i)
    if (items_->Items(i)->Value() == Value) return i;
  return -1;
}

// ---- The editor ----

TcxImageComboBox::TcxImageComboBox(TComponent* AOwner)
    : TCustomControl(AOwner), properties_(std::make_unique<TcxImageComboBoxProperties>()) {
  SetTabStop(true);
  SetColor(clWindow);
  SetBounds(0, 0, 121, 21);
  properties_->OnPropertiesChanged = TNotifyEvent(this, &TcxImageComboBox::PropertiesChanged);
  list_ = new TPopupMenu(this);
  list_->SetAutoHotkeys(maManual);
}

TcxImageComboBox::~TcxImageComboBox() {
  Destroying();
  properties_->OnPropertiesChanged = {};
}

void TcxImageComboBox::PropertiesChanged(TObject*) {
  // Items gone from under the choice take it with them.
  if (itemIndex_ >= properties_->Items()->Count()) itemIndex_ = -1;
  Invalidate();
}

void TcxImageComboBox::SetItemIndex(int Value) {
  if (Value < -1 || Value >= properties_->Items()->Count() || Value == itemIndex_) return;
  itemIndex_ = Value;
  Invalidate();
  properties_->OnChange(this);
  OnChange(this);
}

Variant TcxImageComboBox::EditValue() const {
  return itemIndex_ < 0 ? Variant::Null() : properties_->Items()->Items(itemIndex_)->Value();
}

std::string TcxImageComboBox::Text() const {
  return itemIndex_ < 0 ? std::string() : properties_->Items()->Items(itemIndex_)->Description();
}

TRect TcxImageComboBox::ButtonRect() const {
  const TRect client = ClientRect();
  const int width = GetSystemMetrics(SM_CXVSCROLL);
  return TRect{std::max(2, client.right - 2 - width), 2, client.right - 2, client.bottom - 2};
}

void TcxImageComboBox::Paint() {
  TCanvas* c = Canvas();
  TRect client = ClientRect();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Enabled() ? Color() : clBtnFace);
  c->FillRect(client);
  DrawEdge(c->Handle(), &client, EDGE_SUNKEN, BF_RECT);
  TRect button = ButtonRect();
  DrawFrameControl(c->Handle(), &button, DFC_BUTTON, DFCS_BUTTONPUSH | (DroppedDown() ? DFCS_PUSHED : 0));
  // The arrow: a small triangle pointing down in the button's middle.
  const int cx = (button.left + button.right) / 2, cy = (button.top + button.bottom) / 2;
  c->Pen()->SetColor(Enabled() ? clBtnText : clGrayText);
  c->Brush()->SetColor(Enabled() ? clBtnText : clGrayText);
  c->Polygon({{cx - 3, cy - 1}, {cx + 3, cy - 1}, {cx, cy + 2}});
  TRect text{3, 3, button.left - 1, client.bottom - 3};
  if (Focused()) {
    c->Brush()->SetColor(clHighlight);
    c->FillRect(text);
    c->Font()->SetColor(clHighlightText);
  } else {
    c->Font()->SetColor(Enabled() ? Font()->Color() : clGrayText);
  }
  c->Brush()->SetStyle(bsClear);
  const std::string caption = Text();
  TRect area{text.left + 2, text.top, text.right, text.bottom};
  DrawText(c->Handle(), caption.c_str(), int(caption.size()), &area, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void TcxImageComboBox::WMFocus(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  Invalidate();
}

void TcxImageComboBox::SetDroppedDown(bool Value) {
  if (Value == DroppedDown()) return;
  if (!Value) {
    list_->CloseUp();
    Invalidate();
    return;
  }
  TMenuItem* root = list_->Items();
  root->Clear();
  TcxImageComboBoxItems* items = properties_->Items();
  for (int i = 0; i < items->Count(); ++i) {
    auto* item = new TMenuItem(list_);
    // Descriptions show as they are: no accelerators, and "-" is no separator.
    const std::string text = StringReplace(items->Items(i)->Description(), "&", "&&", {rfReplaceAll});
    item->SetCaption(text == "-" ? "&-" : text);
    item->SetRadioItem(true);
    item->SetChecked(i == itemIndex_);
    item->SetTag(i);
    item->OnClick = TNotifyEvent(this, &TcxImageComboBox::ItemClick);
    root->Add(item);
  }
  const TPoint below = ClientToScreen(TPoint{0, Height()});
  list_->Popup(below.x, below.y);
  Invalidate();
}

void TcxImageComboBox::ItemClick(TObject* Sender) {
  if (auto* item = As<TMenuItem>(Sender)) SetItemIndex(int(item->Tag()));
  if (CanFocus() && !Focused()) SetFocus();
  Invalidate();
}

void TcxImageComboBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  if (CanFocus() && !Focused()) SetFocus();
  SetDroppedDown(!DroppedDown());
}

void TcxImageComboBox::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == 0 || properties_->ReadOnly()) return;
  if ((Key == VK_DOWN && Shift == TShiftState{ssAlt}) || (Key == VK_F4 && Shift.Empty())) {
    SetDroppedDown(true);
    Key = 0;
  } else if ((Key == VK_UP || Key == VK_DOWN) && Shift.Empty()) {
    const int count = properties_->Items()->Count();
    const int next = Key == VK_DOWN ? std::min(count - 1, itemIndex_ + 1) : std::max(0, itemIndex_ - 1);
    if (count > 0) SetItemIndex(next);
    Key = 0;
  }
}
