// The image combo box: a list of items, each a value with a description, of which
// the editor shows the chosen one's description and gives its value as EditValue.
// The list drops down from the button at the right edge; the text is not typed.
#pragma once

#include <string>

#include "platform/cx/cxedit.h"
#include "platform/rtl/variants.h"
#include "platform/vcl/menus.h"

class TcxImageComboBoxItem : public TCollectionItem {
  VX_CLASS(TcxImageComboBoxItem, TCollectionItem)

 public:
  explicit TcxImageComboBoxItem(TCollection* Collection) : TCollectionItem(Collection) {}
  void Assign(TPersistent* Source) override;

  const Variant& Value() const { return value_; }
  void SetValue(const Variant& Value);
  const std::string& Description() const { return description_; }
  void SetDescription(const std::string& Value);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int Value) { imageIndex_ = Value; }

 private:
  Variant value_;
  std::string description_;
  int imageIndex_ = -1;
};

class TcxImageComboBoxItems : public TCollection {
  VX_CLASS(TcxImageComboBoxItems, TCollection)

 public:
  TcxImageComboBoxItems();
  TcxImageComboBoxItem* Add() { return static_cast<TcxImageComboBoxItem*>(TCollection::Add()); }
  // Appends an item with its value and description.
  TcxImageComboBoxItem* Add(const Variant& Value, const std::string& Description);
  TcxImageComboBoxItem* Items(int Index) const { return static_cast<TcxImageComboBoxItem*>(TCollection::Items(Index)); }

  TNotifyEvent OnChange;

 protected:
  void Update(TCollectionItem*) override { OnChange(this); }
};

class TcxImageComboBoxProperties : public TcxCustomEditProperties {
  VX_CLASS(TcxImageComboBoxProperties, TcxCustomEditProperties)

 public:
  TcxImageComboBoxProperties();
  ~TcxImageComboBoxProperties() override;
  void Assign(TPersistent* Source) override;
  TcxImageComboBoxItems* Items() const { return items_.get(); }
  // The first item holding Value, or -1.
  int IndexOfValue(const Variant& Value) const;

 private:
  void ItemsChanged(TObject*) { Changed(); }
  std::unique_ptr<TcxImageComboBoxItems> items_;
};

// The editor takes the focus itself (it has no inner edit) and shows the chosen
// item's description.
class TcxImageComboBox : public TcxCustomEdit {
  VX_CLASS(TcxImageComboBox, TcxCustomEdit)

 public:
  explicit TcxImageComboBox(TComponent* AOwner);
  ~TcxImageComboBox() override;

  TcxImageComboBoxProperties* Properties() const {
    return static_cast<TcxImageComboBoxProperties*>(TcxCustomEdit::Properties());
  }
  // The chosen item; -1 for none. An index out of range changes nothing.
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int Value);
  // The chosen item's value (Null with none chosen); setting it chooses the first
  // item that holds it, or none.
  Variant EditValue() const;
  void SetEditValue(const Variant& Value) { SetItemIndex(Properties()->IndexOfValue(Value)); }
  // The chosen item's description.
  std::string Text() const;
  void Clear() override { SetItemIndex(-1); }

  bool DroppedDown() const { return list_->IsShowing(); }
  void SetDroppedDown(bool Value);
  // The drop-down button, in client coordinates.
  TRect ButtonRect() const;

 protected:
  void Paint() override;
  // A press anywhere drops the list down or closes it.
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // Up and Down choose the item before or after; Alt+Down and F4 drop the list down.
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void PropertiesChanged() override;

  VX_MESSAGE_MAP(TcxImageComboBox, TcxCustomEdit)
  VX_MESSAGE_HANDLER(WM_GETDLGCODE, WMGetDlgCode)
  VX_END_MESSAGE_MAP

  void WMGetDlgCode(TMessage& Message) { Message.Result = DLGC_WANTARROWS; }

 private:
  void ItemClick(TObject* Sender);

  int itemIndex_ = -1;
  TPopupMenu* list_ = nullptr;
};
