#include "platform/vcl/menus.h"

#include <algorithm>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"

namespace {

struct TKeyName {
  WORD key;
  const char* name;
};

const TKeyName kKeyNames[] = {
    {VK_BACK, "BkSp"},   {VK_TAB, "Tab"},     {VK_ESCAPE, "Esc"},  {VK_RETURN, "Enter"}, {VK_SPACE, "Space"},
    {VK_PRIOR, "PgUp"},  {VK_NEXT, "PgDn"},   {VK_END, "End"},     {VK_HOME, "Home"},    {VK_LEFT, "Left"},
    {VK_UP, "Up"},       {VK_RIGHT, "Right"}, {VK_DOWN, "Down"},   {VK_INSERT, "Ins"},   {VK_DELETE, "Del"},
};

bool StartsText(std::string_view prefix, std::string_view s) {
  return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

std::string KeyName(WORD key) {
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, char(key));
  if (key >= VK_F1 && key <= VK_F12) return "F" + std::to_string(key - VK_F1 + 1);
  for (const auto& k : kKeyNames)
    if (k.key == key) return k.name;
  return "";
}

class TPopupMenuWindow;
std::vector<TPopupMenuWindow*>& OpenWindows() {
  static std::vector<TPopupMenuWindow*> list;
  return list;
}

constexpr int kItemHeight = 19;
constexpr int kLineHeight = 9;
constexpr int kBorder = 3;
constexpr int kTextLeft = 20;

// The window of an open popup menu: one row per visible item.
class TPopupMenuWindow : public TCustomForm {
  VX_CLASS(TPopupMenuWindow, TCustomForm)

 public:
  TPopupMenuWindow(TComponent* AOwner, TMenuItem* Root) : TCustomForm(AOwner), root_(Root) {
    SetPopupWindow(true);
    SetBorderStyle(bsNone);
    SetFormStyle(fsStayOnTop);
    SetColor(clMenu);
    for (int i = 0; i < Root->Count(); ++i)
      if (Root->Items(i)->Visible()) items_.push_back(Root->Items(i));
    Measure();
    OpenWindows().push_back(this);
  }
  ~TPopupMenuWindow() override {
    auto& w = OpenWindows();
    w.erase(std::remove(w.begin(), w.end(), this), w.end());
  }

  void Measure() {
    int width = 80, height = 2 * kBorder;
    for (TMenuItem* item : items_) {
      if (item->IsLine()) {
        height += kLineHeight;
        continue;
      }
      height += kItemHeight;
      int w = kTextLeft + CanvasTextWidth(StripHotkey(item->Caption())) + 24;
      if (item->ShortCut()) w += CanvasTextWidth(ShortCutToText(item->ShortCut())) + 16;
      width = std::max(width, w);
    }
    SetBounds(Left(), Top(), width + 2 * kBorder, height);
  }

  int CanvasTextWidth(const std::string& s) {
    TScratchCanvas c;
    c.SetFont(Font());
    return c.TextWidth(s);
  }

  TRect ItemRect(size_t index) const {
    int y = kBorder;
    for (size_t i = 0; i < index; ++i) y += items_[i]->IsLine() ? kLineHeight : kItemHeight;
    return TRect{kBorder, y, ClientWidth() - kBorder, y + (items_[index]->IsLine() ? kLineHeight : kItemHeight)};
  }

  int ItemAt(int X, int Y) const {
    for (size_t i = 0; i < items_.size(); ++i) {
      const TRect r = ItemRect(i);
      if (PtInRect(&r, TPoint{X, Y})) return items_[i]->IsLine() ? -1 : int(i);
    }
    return -1;
  }

  void SetHot(int Index) {
    if (hot_ == Index) return;
    hot_ = Index;
    Invalidate();
  }

  void MoveHot(bool Down) {
    const int n = int(items_.size());
    if (n == 0) return;
    int i = hot_;
    for (int step = 0; step < n; ++step) {
      i = Down ? (i + 1 + n) % n : (i - 1 + n) % n;
      if (!items_[size_t(i)]->IsLine() && items_[size_t(i)]->Enabled()) {
        SetHot(i);
        return;
      }
    }
  }

  // Closes every open menu window, then clicks the item.
  void Choose(int Index) {
    if (Index < 0 || size_t(Index) >= items_.size()) return;
    TMenuItem* item = items_[size_t(Index)];
    if (!item->Enabled() || item->IsLine()) return;
    if (item->Count() > 0) {
      // A submenu opens at the item's right.
      const TRect r = ItemRect(size_t(Index));
      const TPoint p = ClientToScreen(TPoint{r.right, r.top});
      auto* sub = new TPopupMenuWindow(Application, item);
      sub->SetBounds(p.x, p.y - kBorder, sub->Width(), sub->Height());
      sub->Show();
      return;
    }
    vx::vcl::ClosePopupMenus();
    item->Click();
  }

  void ChooseHot() { Choose(hot_); }

 protected:
  void Paint() override {
    TCanvas* c = Canvas();
    TRect r = ClientRect();
    Frame3D(c, r, clBtnFace, cl3DDkShadow, 1);
    Frame3D(c, r, clBtnHighlight, clBtnShadow, 1);
    for (size_t i = 0; i < items_.size(); ++i) {
      TMenuItem* item = items_[i];
      const TRect ir = ItemRect(i);
      if (item->IsLine()) {
        const int y = (ir.top + ir.bottom) / 2 - 1;
        c->Pen()->SetColor(clBtnShadow);
        c->MoveTo(ir.left + 1, y);
        c->LineTo(ir.right - 1, y);
        c->Pen()->SetColor(clBtnHighlight);
        c->MoveTo(ir.left + 1, y + 1);
        c->LineTo(ir.right - 1, y + 1);
        continue;
      }
      const bool hot = int(i) == hot_ && item->Enabled();
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(hot ? clHighlight : clMenu);
      c->FillRect(ir);
      c->Brush()->SetStyle(bsClear);
      c->Font()->SetColor(!item->Enabled() ? clGrayText : hot ? clHighlightText : clMenuText);
      TRect tr{ir.left + kTextLeft, ir.top, ir.right - 8, ir.bottom};
      DrawText(c->Handle(), item->Caption().c_str(), -1, &tr, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
      if (item->ShortCut()) {
        const std::string sc = ShortCutToText(item->ShortCut());
        DrawText(c->Handle(), sc.c_str(), -1, &tr, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
      }
      if (item->Checked()) {
        // A tick mark.
        c->Pen()->SetColor(c->Font()->Color());
        const int x = ir.left + 6, y = (ir.top + ir.bottom) / 2;
        for (int k = 0; k < 2; ++k) {
          c->MoveTo(x, y - 1 + k);
          c->LineTo(x + 2, y + 1 + k);
          c->LineTo(x + 7, y - 4 + k);
        }
      }
      if (item->Count() > 0) {
        const int x = ir.right - 8, y = (ir.top + ir.bottom) / 2;
        c->Brush()->SetStyle(bsSolid);
        c->Brush()->SetColor(c->Font()->Color());
        c->Pen()->SetColor(c->Font()->Color());
        c->Polygon({TPoint{x, y - 3}, TPoint{x + 3, y}, TPoint{x, y + 3}});
      }
    }
  }

  void MouseMove(TShiftState Shift, int X, int Y) override {
    TCustomForm::MouseMove(Shift, X, Y);
    SetHot(ItemAt(X, Y));
  }

  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override {
    TCustomForm::MouseUp(Button, Shift, X, Y);
    const int i = ItemAt(X, Y);
    if (i >= 0) Choose(i);
  }

 private:
  TMenuItem* root_;
  std::vector<TMenuItem*> items_;
  int hot_ = -1;
};

}  // namespace

TShortCut ShortCut(WORD Key, TShiftState Shift) {
  if (Key & 0xFF00) return 0;
  TShortCut sc = Key;
  if (Shift.Contains(ssShift)) sc |= scShift;
  if (Shift.Contains(ssCtrl)) sc |= scCtrl;
  if (Shift.Contains(ssAlt)) sc |= scAlt;
  return sc;
}

void ShortCutToKey(TShortCut ShortCut, WORD& Key, TShiftState& Shift) {
  Key = ShortCut & 0xFF;
  Shift = {};
  if (ShortCut & scShift) Shift.Include(ssShift);
  if (ShortCut & scCtrl) Shift.Include(ssCtrl);
  if (ShortCut & scAlt) Shift.Include(ssAlt);
}

std::string ShortCutToText(TShortCut ShortCut) {
  const std::string name = KeyName(ShortCut & 0xFF);
  if (name.empty()) return "";
  std::string s;
  if (ShortCut & scShift) s += "Shift+";
  if (ShortCut & scCtrl) s += "Ctrl+";
  if (ShortCut & scAlt) s += "Alt+";
  return s + name;
}

TShortCut TextToShortCut(const std::string& Text) {
  std::string rest = Text;
  TShortCut mods = 0;
  for (;;) {
    if (StartsText("Shift+", rest)) {
      mods |= scShift;
      rest = rest.substr(6);
    } else if (StartsText("Ctrl+", rest)) {
      mods |= scCtrl;
      rest = rest.substr(5);
    } else if (StartsText("Alt+", rest)) {
      mods |= scAlt;
      rest = rest.substr(4);
    } else {
      break;
    }
  }
  for (WORD k = 1; k < 0x100; ++k) {
    const std::string name = KeyName(k);
    if (!name.empty() && SameText(name, rest)) return TShortCut(k | mods);
  }
  return 0;
}

// ---- TMenuItem ----

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  Destroying();
  while (!items_.empty()) {
    TMenuItem* item = items_.back();
    items_.pop_back();
    item->parent_ = nullptr;
    item->Free();
  }
  if (parent_) parent_->Remove(this);
}

TMenuItem* TMenuItem::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EMenuError("Menu index out of range");
  return items_[size_t(Index)];
}

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int Index, TMenuItem* Item) {
  if (!Item) return;
  if (Item->parent_) throw EMenuError("Menu inserted twice");
  if (Index < 0 || Index > Count()) throw EMenuError("Menu index out of range");
  items_.insert(items_.begin() + Index, Item);
  Item->parent_ = this;
}

void TMenuItem::Delete(int Index) {
  TMenuItem* item = Items(Index);
  items_.erase(items_.begin() + Index);
  item->parent_ = nullptr;
}

void TMenuItem::Remove(TMenuItem* Item) {
  const int i = IndexOf(Item);
  if (i < 0) throw EMenuError("Sub-menu is not in menu");
  Delete(i);
}

void TMenuItem::Clear() {
  while (!items_.empty()) {
    TMenuItem* item = items_.back();
    items_.pop_back();
    item->parent_ = nullptr;
    item->Free();
  }
}

int TMenuItem::IndexOf(TMenuItem* Item) const {
  auto it = std::find(items_.begin(), items_.end(), Item);
  return it == items_.end() ? -1 : int(it - items_.begin());
}

TMenuItem* TMenuItem::Find(const std::string& ACaption) const {
  const std::string want = StripHotkey(ACaption);
  for (TMenuItem* item : items_)
    if (SameText(StripHotkey(item->caption_), want)) return item;
  return nullptr;
}

void TMenuItem::SetChecked(bool Value) {
  if (checked_ == Value) return;
  checked_ = Value;
  if (Value && radioItem_ && parent_)
    for (TMenuItem* other : parent_->items_)
      if (other != this && other->radioItem_ && other->groupIndex_ == groupIndex_) other->checked_ = false;
}

void TMenuItem::Click() {
  if (enabled_) OnClick(this);
}

TMenuItem* TMenuItem::FindShortCut(TShortCut Value) {
  if (Value == 0) return nullptr;
  for (TMenuItem* item : items_) {
    if (!item->visible_ || !item->enabled_) continue;
    if (item->shortCut_ == Value) return item;
    if (TMenuItem* found = item->FindShortCut(Value)) return found;
  }
  return nullptr;
}

// ---- TMenu ----

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), items_(std::make_unique<TMenuItem>(nullptr)) {}

TMenu::~TMenu() { Destroying(); }

bool TMenu::IsShortCut(TMessage& Message) {
  const TShortCut sc = ShortCut(WORD(Message.WParam), KeyDataToShiftState(Message.LParam));
  TMenuItem* item = items_->FindShortCut(sc);
  if (!item) return false;
  item->Click();
  return true;
}

// ---- TPopupMenu ----

TPopupMenu::TPopupMenu(TComponent* AOwner) : TMenu(AOwner) {}

TPopupMenu::~TPopupMenu() {
  Destroying();
  CloseUp();
}

void TPopupMenu::SetPopupComponent(TComponent* Value) {
  if (popupComponent_ == Value) return;
  if (popupComponent_) popupComponent_->RemoveFreeNotification(this);
  popupComponent_ = Value;
  if (popupComponent_) popupComponent_->FreeNotification(this);
}

void TPopupMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TMenu::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == popupComponent_) popupComponent_ = nullptr;
}

bool TPopupMenu::IsShowing() const {
  for (TPopupMenuWindow* w : OpenWindows())
    if (w->Owner() == Application && w->Tag() == intptr_t(this)) return true;
  return false;
}

void TPopupMenu::Popup(int X, int Y) {
  popupPoint_ = TPoint{X, Y};
  DoPopup(this);
  vx::vcl::ClosePopupMenus();
  bool any = false;
  for (int i = 0; i < Items()->Count(); ++i) any = any || Items()->Items(i)->Visible();
  if (!any) return;
  auto* window = new TPopupMenuWindow(Application, Items());
  window->SetTag(intptr_t(this));
  int x = X;
  if (alignment_ == paRight) x -= window->Width();
  if (alignment_ == paCenter) x -= window->Width() / 2;
  const int sw = Screen->Width(), sh = Screen->Height();
  x = std::max(0, std::min(x, sw - window->Width()));
  const int y = std::max(0, std::min(Y, sh - window->Height()));
  window->SetBounds(x, y, window->Width(), window->Height());
  window->Show();
}

void TPopupMenu::CloseUp() {
  for (TPopupMenuWindow* w : std::vector<TPopupMenuWindow*>(OpenWindows()))
    if (w->Tag() == intptr_t(this)) vx::vcl::ClosePopupMenus();
}

namespace vx::vcl {

bool ClosePopupMenus() {
  auto& list = OpenWindows();
  if (list.empty()) return false;
  for (TPopupMenuWindow* w : std::vector<TPopupMenuWindow*>(list)) {
    auto it = std::find(list.begin(), list.end(), w);
    if (it == list.end()) continue;
    list.erase(it);
    w->Hide();
    w->Release();
  }
  return true;
}

bool PopupMenuKey(UINT Msg, WPARAM Key) {
  auto& list = OpenWindows();
  if (list.empty()) return false;
  TPopupMenuWindow* top = list.back();
  if (Msg != WM_KEYDOWN) return true;
  switch (Key) {
    case VK_ESCAPE: {
      list.pop_back();
      top->Hide();
      top->Release();
      break;
    }
    case VK_UP: top->MoveHot(false); break;
    case VK_DOWN: top->MoveHot(true); break;
    case VK_RETURN: top->ChooseHot(); break;
    default: break;
  }
  return true;
}

}  // namespace vx::vcl
