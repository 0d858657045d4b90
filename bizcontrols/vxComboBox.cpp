#include "bizcontrols/vxComboBox.h"

namespace {

// The value of one item, owned by the combo box.
class TValueCell : public TObject {
 public:
  explicit TValueCell(std::string Value) : value(std::move(Value)) {}
  std::string value;
};

const std::string* ValueOf(TObject* Cell) {
  auto* cell = dynamic_cast<TValueCell*>(Cell);
  return cell ? &cell->value : nullptr;
}

}  // namespace

TvxComboBox::TvxComboBox(TComponent* AOwner) : TcxComboBox(AOwner) {}

TvxComboBox::~TvxComboBox() {
  Destroying();
  for (int i = 0; i < valueList_.Count(); ++i) delete valueList_.Objects(i);
}

void TvxComboBox::AddItem(const std::string& Name, const std::string& Value) {
  valueList_.AddObject(Name, new TValueCell(Value));
  GetItems()->Add(Name);
}

void TvxComboBox::AddItem(const std::string& Name) {
  valueList_.Add(Name);
  GetItems()->Add(Name);
}

void TvxComboBox::Clear() {
  TcxComboBox::Clear();
  GetItems()->Clear();
  while (valueList_.Count() > 0) {
    delete valueList_.Objects(0);
    valueList_.Delete(0);
  }
}

std::string TvxComboBox::GetName(int Index) const {
  if (Index >= valueList_.Count()) return "";
  return valueList_.Strings(Index);
}

std::string TvxComboBox::GetValue(int Index) const {
  if (Index >= valueList_.Count()) return "";
  const std::string* value = ValueOf(valueList_.Objects(Index));
  return value ? *value : std::string();
}

std::string TvxComboBox::GetValue(const std::string& Name) const {
  const std::string* value = ValueOf(valueList_.Objects(valueList_.IndexOf(Name)));
  return value ? *value : std::string();
}

void TvxComboBox::Select(const std::string& Value) {
  for (int i = 0; i < valueList_.Count(); ++i)
    if (const std::string* v = ValueOf(valueList_.Objects(i)); v && *v == Value) return SetItemIndex(i);
}

namespace vxComboBox {

void Register() { RegisterComponents("Vextra", {TvxComboBox::StaticClass()}); }

}  // namespace vxComboBox
