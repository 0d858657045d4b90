// Menus: menu items with captions, shortcuts and click events, and popup menus shown
// as small top-level windows at a screen point.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/vcl/controls.h"

VX_EXCEPTION(EMenuError, Exception)

using TShortCut = WORD;
constexpr TShortCut scNone = 0;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

TShortCut ShortCut(WORD Key, TShiftState Shift);
void ShortCutToKey(TShortCut ShortCut, WORD& Key, TShiftState& Shift);
// "Ctrl+F", "Shift+F5", "Del", ...; "" for none.
std::string ShortCutToText(TShortCut ShortCut);
// The reverse; 0 for text that names no key.
TShortCut TextToShortCut(const std::string& Text);

enum TMenuAutoFlag { maAutomatic, maManual, maParent };
enum TPopupAlignment { paLeft, paRight, paCenter };

class TMenuItem : public TComponent {
  VX_CLASS(TMenuItem, TComponent)

 public:
  explicit TMenuItem(TComponent* AOwner);
  // Deletes the items below it.
  ~TMenuItem() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Value) { caption_ = Value; }
  // A caption of "-" makes the item a separator line.
  bool IsLine() const { return caption_ == "-"; }
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut Value) { shortCut_ = Value; }
  bool Checked() const { return checked_; }
  // Checking a radio item unchecks the other radio items of its group.
  void SetChecked(bool Value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value) { enabled_ = Value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool Value) { visible_ = Value; }
  bool RadioItem() const { return radioItem_; }
  void SetRadioItem(bool Value) { radioItem_ = Value; }
  Byte GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(Byte Value) { groupIndex_ = Value; }
  bool Default() const { return default_; }
  void SetDefault(bool Value) { default_ = Value; }
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& Value) { hint_ = Value; }
  TMenuAutoFlag AutoHotkeys() const { return autoHotkeys_; }
  void SetAutoHotkeys(TMenuAutoFlag Value) { autoHotkeys_ = Value; }

  // --- the items below ---
  int Count() const { return int(items_.size()); }
  TMenuItem* Items(int Index) const;
  TMenuItem* operator[](int Index) const { return Items(Index); }
  void Add(TMenuItem* Item);
  void Insert(int Index, TMenuItem* Item);
  void Delete(int Index);
  void Remove(TMenuItem* Item);
  // Deletes every item below.
  void Clear();
  int IndexOf(TMenuItem* Item) const;
  // The item below with that caption (accelerator marks ignored, ignoring case).
  TMenuItem* Find(const std::string& ACaption) const;
  TMenuItem* Parent() const { return parent_; }
  int MenuIndex() const { return parent_ ? parent_->IndexOf(const_cast<TMenuItem*>(this)) : -1; }

  // Fires OnClick when enabled.
  virtual void Click();
  // The enabled, visible item with that shortcut, here or below.
  TMenuItem* FindShortCut(TShortCut Value);

  TNotifyEvent OnClick;

 private:
  std::string caption_;
  std::string hint_;
  TShortCut shortCut_ = 0;
  bool checked_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  bool radioItem_ = false;
  bool default_ = false;
  Byte groupIndex_ = 0;
  TMenuAutoFlag autoHotkeys_ = maParent;
  TMenuItem* parent_ = nullptr;
  std::vector<TMenuItem*> items_;
};

class TMenu : public TComponent {
  VX_CLASS(TMenu, TComponent)

 public:
  explicit TMenu(TComponent* AOwner);
  ~TMenu() override;
  // The root item, whose items are the menu's.
  TMenuItem* Items() const { return items_.get(); }
  TMenuAutoFlag AutoHotkeys() const { return autoHotkeys_; }
  void SetAutoHotkeys(TMenuAutoFlag Value) { autoHotkeys_ = Value; }
  // A key message (WM_KEYDOWN) that is an item's shortcut clicks the item.
  bool IsShortCut(TMessage& Message);

 private:
  std::unique_ptr<TMenuItem> items_;
  TMenuAutoFlag autoHotkeys_ = maAutomatic;
};

class TPopupMenu : public TMenu {
  VX_CLASS(TPopupMenu, TMenu)

 public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;

  // Fires OnPopup, then shows the visible items as a window whose top-left corner is
  // at the screen point (kept on the screen). Returns at once: a click on an item
  // closes the window, then clicks the item; a click elsewhere or Escape closes it.
  virtual void Popup(int X, int Y);
  // Closes the window if it is showing.
  void CloseUp();
  bool IsShowing() const;
  // The last point Popup was called with.
  TPoint PopupPoint() const { return popupPoint_; }
  TComponent* PopupComponent() const { return popupComponent_; }
  void SetPopupComponent(TComponent* Value);
  bool AutoPopup() const { return autoPopup_; }
  void SetAutoPopup(bool Value) { autoPopup_ = Value; }
  TPopupAlignment Alignment() const { return alignment_; }
  void SetAlignment(TPopupAlignment Value) { alignment_ = Value; }

  TNotifyEvent OnPopup;

 protected:
  virtual void DoPopup(TObject* Sender) { OnPopup(Sender); }
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TPoint popupPoint_;
  TComponent* popupComponent_ = nullptr;
  bool autoPopup_ = true;
  TPopupAlignment alignment_ = paLeft;
};

namespace vx::vcl {
// Closes every open popup menu window; true when one was open.
bool ClosePopupMenus();
// A key while a popup menu is open: the menu takes it (true).
bool PopupMenuKey(UINT Msg, WPARAM Key);
}  // namespace vx::vcl
