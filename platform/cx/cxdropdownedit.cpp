#include "platform/cx/cxdropdownedit.h"

#include "platform/cx/cxlookandfeels.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"

namespace {
// The drop-down button's width (the system's scroll bar width).
int ButtonWidth() { return GetSystemMetrics(SM_CXVSCROLL); }
}  // namespace

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

TRect TcxComboBox::ButtonRect() const {
  const TRect content = ContentRect();
  return TRect{std::max(content.left, content.right - ButtonWidth()), content.top, content.right, content.bottom};
}

TRect TcxComboBox::InnerRect() {
  TRect r = ContentRect();
  r.right = ButtonRect().left;
  return r;
}

void TcxComboBox::Paint() {
  TcxCustomTextEdit::Paint();
  TRect b = ButtonRect();
  DrawFrameControl(Canvas()->Handle(), &b, DFC_BUTTON, DFCS_BUTTONPUSH | (DroppedDown() ? DFCS_PUSHED : 0));
  cxDrawDropDownArrow(Canvas(), b, Enabled() ? clBtnText : clGrayText);
}

bool TcxComboBox::DroppedDown() const { return list_->IsShowing(); }

void TcxComboBox::SetDroppedDown(bool Value) {
  if (Value == DroppedDown()) return;
  if (!Value) {
    list_->CloseUp();
    Invalidate();
    return;
  }
  TMenuItem* root = list_->Items();
  root->Clear();
  TStrings* items = Properties()->Items();
  const int chosen = ItemIndex();
  for (int i = 0; i < items->Count(); ++i) {
    auto* item = new TMenuItem(list_);
    // Item texts are shown as they are: no accelerators, and "-" is no separator line.
    const std::string text = StringReplace(items->Strings(i), "&", "&&", {rfReplaceAll});
    item->SetCaption(text == "-" ? "&-" : text);
    item->SetRadioItem(true);
    item->SetChecked(i == chosen);
    item->SetTag(i);
    item->OnClick = TNotifyEvent(this, &TcxComboBox::ItemClick);
    root->Add(item);
  }
  const TPoint below = ClientToScreen(TPoint{0, Height()});
  list_->Popup(below.x, below.y);
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
  if ((Key == VK_DOWN && Shift == TShiftState{ssAlt}) || (Key == VK_F4 && Shift.Empty())) {
    SetDroppedDown(true);
    Key = 0;
  } else if ((Key == VK_UP || Key == VK_DOWN) && Shift.Empty()) {
    const int count = Properties()->Items()->Count();
    const int at = ItemIndex();
    const int next = Key == VK_DOWN ? std::min(count - 1, at + 1) : std::max(0, at - 1);
    if (count > 0 && next != at) {
      SetItemIndex(next);
      SelectAll();
    }
    Key = 0;
  }
}
