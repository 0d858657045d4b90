#include "platform/cx/cxdropdownedit.h"

#include "platform/cx/cxlookandfeels.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"

namespace cx::dropdown {

TRect ButtonRect(const TRect& Content) {
  const int width = GetSystemMetrics(SM_CXVSCROLL);
  return TRect{std::max(Content.left, Content.right - width), Content.top, Content.right, Content.bottom};
}

void DrawButton(TCanvas* Canvas, TRect Button, bool Pressed, bool Enabled) {
  DrawFrameControl(Canvas->Handle(), &Button, DFC_BUTTON, DFCS_BUTTONPUSH | (Pressed ? DFCS_PUSHED : 0));
  cxDrawDropDownArrow(Canvas, Button, Enabled ? clBtnText : clGrayText);
}

void Open(TControl* Editor, TPopupMenu* List, const std::vector<std::string>& Texts, int Chosen, TNotifyEvent OnClick) {
  TMenuItem* root = List->Items();
  root->Clear();
  for (int i = 0; i < int(Texts.size()); ++i) {
    auto* item = new TMenuItem(List);
    const std::string text = StringReplace(Texts[size_t(i)], "&", "&&", {rfReplaceAll});
    item->SetCaption(text == "-" ? "&-" : text);
    item->SetRadioItem(true);
    item->SetChecked(i == Chosen);
    item->SetTag(i);
    item->OnClick = OnClick;
    root->Add(item);
  }
  const TPoint below = Editor->ClientToScreen(TPoint{0, Editor->Height()});
  List->Popup(below.x, below.y);
}

int KeyChoice(WORD Key, TShiftState Shift, int At, int Count) {
  if ((Key == VK_DOWN && Shift == TShiftState{ssAlt}) || (Key == VK_F4 && Shift.Empty())) return kDropDown;
  if ((Key != VK_UP && Key != VK_DOWN) || !Shift.Empty()) return kOtherKey;
  if (Count <= 0) return At;
  return Key == VK_DOWN ? std::min(Count - 1, At + 1) : std::max(0, At - 1);
}

}  // namespace cx::dropdown

// ---- TcxComboBoxProperties ----

TcxComboBoxProperties::TcxComboBoxProperties() : items_(std::make_unique<TStringList>()) {}

TcxComboBoxProperties::~TcxComboBoxProperties() = default;

void TcxComboBoxProperties::Assign(TPersistent* Source) {
  if (auto* p = As<TcxComboBoxProperties>(Source)) items_->Assign(p->items_.get());
  TcxCustomTextEditProperties::Assign(Source);
}

// ---- TcxComboBox ----

TcxComboBox::TcxComboBox(TComponent* AOwner)
    : TcxCustomTextEdit(AOwner, std::make_unique<TcxComboBoxProperties>(), TcxCustomComboBoxInnerEdit::StaticClass()) {
  list_ = new TPopupMenu(this);
  list_->SetAutoHotkeys(maManual);
}

TcxComboBox::~TcxComboBox() { Destroying(); }

int TcxComboBox::ItemIndex() const {
  TStrings* items = Properties()->Items();
  if (itemIndex_ >= 0 && itemIndex_ < items->Count() && items->Strings(itemIndex_) == Text()) return itemIndex_;
  for (int i = 0; i < items->Count(); ++i)
    if (items->Strings(i) == Text()) return i;
  return -1;
}

void TcxComboBox::SetItemIndex(int Value) {
  TStrings* items = Properties()->Items();
  if (Value < -1 || Value >= items->Count()) return;
  itemIndex_ = Value;
  SetText(Value < 0 ? std::string() : items->Strings(Value));
}

void TcxComboBox::Clear() { SetItemIndex(-1); }

TRect TcxComboBox::ButtonRect() const { return cx::dropdown::ButtonRect(ContentRect()); }

TRect TcxComboBox::InnerRect() {
  TRect r = ContentRect();
  r.right = ButtonRect().left;
  return r;
}

void TcxComboBox::Paint() {
  TcxCustomTextEdit::Paint();
  cx::dropdown::DrawButton(Canvas(), ButtonRect(), DroppedDown(), Enabled());
}

bool TcxComboBox::DroppedDown() const { return list_->IsShowing(); }

void TcxComboBox::SetDroppedDown(bool Value) {
  if (Value == DroppedDown()) return;
  if (!Value) {
    list_->CloseUp();
    Invalidate();
    return;
  }
  TStrings* items = Properties()->Items();
  std::vector<std::string> texts;
  for (int i = 0; i < items->Count(); ++i) texts.push_back(items->Strings(i));
  cx::dropdown::Open(this, list_, texts, ItemIndex(), TNotifyEvent(this, &TcxComboBox::ItemClick));
  Invalidate();
}

void TcxComboBox::ItemClick(TObject* Sender) {
  if (auto* item = As<TMenuItem>(Sender)) SetItemIndex(int(item->Tag()));
  if (CanFocus() && !Focused()) SetFocus();
  Invalidate();
}

void TcxComboBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TcxCustomTextEdit::MouseDown(Button, Shift, X, Y);
  const TRect b = ButtonRect();
  if (Button == mbLeft && Enabled() && PtInRect(&b, TPoint{X, Y})) SetDroppedDown(!DroppedDown());
}

void TcxComboBox::KeyDown(WORD& Key, TShiftState Shift) {
  TcxCustomTextEdit::KeyDown(Key, Shift);
  if (Key == 0 || Properties()->ReadOnly()) return;
  const int at = ItemIndex();
  const int next = cx::dropdown::KeyChoice(Key, Shift, at, Properties()->Items()->Count());
  if (next == cx::dropdown::kOtherKey) return;
  if (next == cx::dropdown::kDropDown) {
    SetDroppedDown(true);
  } else if (next >= 0 && next != at) {
    SetItemIndex(next);
    SelectAll();
  }
  Key = 0;
}
