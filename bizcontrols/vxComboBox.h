// A combo box whose items each carry a hidden value beside the shown name.
#pragma once

#include <string>

#include "platform/cx/cxdropdownedit.h"

class TvxComboBox : public TcxComboBox {
  VX_CLASS(TvxComboBox, TcxComboBox)

 public:
  explicit TvxComboBox(TComponent* AOwner);
  ~TvxComboBox() override;

  // Appends an item, with a value or without one.
  void AddItem(const std::string& Name, const std::string& Value);
  void AddItem(const std::string& Name);
  // Empties the text, the items and their values.
  void Clear() override;
  TStrings* GetItems() const { return Properties()->Items(); }
  // "" for an index not below the count; a negative index raises EStringListError.
  std::string GetName(int Index) const;
  // "" for an index not below the count or an item without a value; a negative index
  // (ItemIndex() while nothing is chosen) raises EStringListError.
  std::string GetValue(int Index) const;
  // The value of the first item of that name (ignoring case); a name that is not there
  // raises EStringListError.
  std::string GetValue(const std::string& Name) const;
  // Chooses the first item whose value is exactly Value; nothing changes when none is.
  void Select(const std::string& Value);

 private:
  // The name of each item, with its value cell (owned) as the object, or none.
  TStringList valueList_;
};

namespace vxComboBox {

// Puts TvxComboBox on the palette page "Vextra".
void Register();

}  // namespace vxComboBox
