#include "platform/cx/cximagecombobox.h"

#include <algorithm>

#include "platform/cx/cxdropdownedit.h"

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
    : TcxCustomEdit(AOwner, std::make_unique<TcxImageComboBoxProperties>()) {
  list_ = new TPopupMenu(this);
  list_->SetAutoHotkeys(maManual);
}

TcxImageComboBox::~TcxImageComboBox() { Destroying(); }

void TcxImageComboBox::PropertiesChanged() {
  // Items gone from under the choice take it with them.
  if (itemIndex_ >= Properties()->Items()->Count()) itemIndex_ = -1;
  TcxCustomEdit::PropertiesChanged();
}

void TcxImageComboBox::SetItemIndex(int Value) {
  if (Value < -1 || Value >= Properties()->Items()->Count() || Value == itemIndex_) return;
  itemIndex_ = Value;
  Invalidate();
  Properties()->OnChange(this);
}

Variant TcxImageComboBox::EditValue() const {
  return itemIndex_ < 0 ? Variant::Null() : Properties()->Items()->Items(itemIndex_)->Value();
}

std::string TcxImageComboBox::Text() const {
  return itemIndex_ < 0 ? std::string() : Properties()->Items()->Items(itemIndex_)->Description();
}

TRect TcxImageComboBox::ButtonRect() const { return cx::dropdown::ButtonRect(ContentRect()); }

void TcxImageComboBox::Paint() {
  TcxCustomEdit::Paint();
  const TRect button = ButtonRect();
  cx::dropdown::DrawButton(Canvas(), button, DroppedDown(), Enabled());
  TCanvas* c = Canvas();
  TRect text = ContentRect();
  text.right = button.left;
  InflateRect(&text, -1, -1);
  TcxEditStyle* style = ViewStyle();
  c->Font()->Assign(style->ActiveFont());
  if (Focused()) {
    c->Brush()->SetColor(clHighlight);
    c->FillRect(text);
    c->Font()->SetColor(clHighlightText);
  } else {
    c->Font()->SetColor(style->TextColor());
  }
  c->Brush()->SetStyle(bsClear);
  const std::string caption = Text();
  text.left += 2;
  DrawText(c->Handle(), caption.c_str(), int(caption.size()), &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void TcxImageComboBox::SetDroppedDown(bool Value) {
  if (Value == DroppedDown()) return;
  if (!Value) {
    list_->CloseUp();
  } else {
    TcxImageComboBoxItems* items = Properties()->Items();
    std::vector<std::string> texts;
    for (int i = 0; i < items->Count(); ++i) texts.push_back(items->Items(i)->Description());
    cx::dropdown::Open(this, list_, texts, itemIndex_, TNotifyEvent(this, &TcxImageComboBox::ItemClick));
  }
  Invalidate();
}

void TcxImageComboBox::ItemClick(TObject* Sender) {
  if (auto* item = As<TMenuItem>(Sender)) SetItemIndex(int(item->Tag()));
  if (CanFocus() && !Focused()) SetFocus();
  Invalidate();
}

void TcxImageComboBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TcxCustomEdit::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  if (CanFocus() && !Focused()) SetFocus();
  SetDroppedDown(!DroppedDown());
}

void TcxImageComboBox::KeyDown(WORD& Key, TShiftState Shift) {
  TcxCustomEdit::KeyDown(Key, Shift);
  if (Key == 0 || Properties()->ReadOnly()) return;
  const int next = cx::dropdown::KeyChoice(Key, Shift, itemIndex_, Properties()->Items()->Count());
  if (next == cx::dropdown::kOtherKey) return;
  if (next == cx::dropdown::kDropDown) SetDroppedDown(true);
  else SetItemIndex(next);
  Key = 0;
}
