// The combo box of the third-party editor set: a text editor with a list of items
// that drops down from the button at its right edge.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/cx/cxtextedit.h"
#include "platform/vcl/menus.h"

// What the combo editors share: the drop-down button at the right of the content,
// and their list of items as a popup menu under the editor.
namespace cx::dropdown {
// The button's place at the right edge of Content (the system's scroll bar width).
TRect ButtonRect(const TRect& Content);
// The button, pressed while the list is down, with its arrow.
void DrawButton(TCanvas* Canvas, TRect Button, bool Pressed, bool Enabled);
// Fills List with Texts shown as they are (no accelerators, "-" no separator), the
// Chosen one checked, each item's Tag its index and its click OnClick; opens it
// under Editor.
void Open(TControl* Editor, TPopupMenu* List, const std::vector<std::string>& Texts, int Chosen, TNotifyEvent OnClick);
// The item a key chooses among Count items from At (-1: none): Up and Down the one
// before or after (At itself with no items); kDropDown for Alt+Down and F4, kOtherKey
// for any other key.
constexpr int kOtherKey = -100, kDropDown = -101;
int KeyChoice(WORD Key, TShiftState Shift, int At, int Count);
}  // namespace cx::dropdown

class TcxCustomComboBoxInnerEdit : public TcxCustomInnerTextEdit {
  VX_CLASS(TcxCustomComboBoxInnerEdit, TcxCustomInnerTextEdit)

 public:
  explicit TcxCustomComboBoxInnerEdit(TComponent* AOwner) : TcxCustomInnerTextEdit(AOwner) {}
};

class TcxComboBoxProperties : public TcxCustomTextEditProperties {
  VX_CLASS(TcxComboBoxProperties, TcxCustomTextEditProperties)

 public:
  TcxComboBoxProperties();
  ~TcxComboBoxProperties() override;
  void Assign(TPersistent* Source) override;

  TStrings* Items() const { return items_.get(); }
  void SetItems(TStrings* Value) { items_->Assign(Value); }

 private:
  std::unique_ptr<TStringList> items_;
};

class TcxComboBox : public TcxCustomTextEdit {
  VX_CLASS(TcxComboBox, TcxCustomTextEdit)

 public:
  explicit TcxComboBox(TComponent* AOwner);
  ~TcxComboBox() override;
  TcxComboBoxProperties* Properties() const {
    return static_cast<TcxComboBoxProperties*>(TcxCustomEdit::Properties());
  }

  // The item the text is: the one last chosen while the text is still its text, else
  // the first item equal to the text; -1 for none.
  int ItemIndex() const;
  // Choosing an item makes its text the editor's; -1 empties the text; an index out
  // of range changes nothing.
  void SetItemIndex(int Value);
  // Empties the text (no item chosen).
  void Clear() override;

  // The list of items under the editor (chosen with the mouse or the keys).
  bool DroppedDown() const;
  void SetDroppedDown(bool Value);
  // The drop-down button, in client coordinates.
  TRect ButtonRect() const;

 protected:
  TRect InnerRect() override;
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // Up and Down choose the item before or after; Alt+Down and F4 drop the list down.
  void KeyDown(WORD& Key, TShiftState Shift) override;

 private:
  void ItemClick(TObject* Sender);

  int itemIndex_ = -1;
  TPopupMenu* list_ = nullptr;
};
