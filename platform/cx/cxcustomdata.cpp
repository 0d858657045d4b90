#include "platform/cx/cxcustomdata.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <numeric>
#include <string_view>
#include <type_traits>

#include "platform/rtl/sysutils.h"

namespace {

[[noreturn]] void IndexError(int Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

struct TypeName {
  const char* name;
  TVarType type;
};
// "Variant" keeps values as given (varEmpty marks it).
constexpr TypeName kTypes[] = {{"String", varString},     {"Integer", varInteger}, {"Int64", varInt64},
                               {"Float", varDouble},      {"Currency", varCurrency}, {"Boolean", varBoolean},
                               {"Variant", varEmpty}};

// Sort keys of one item: every record's value reduced to something cheap to compare.
struct SortKeys {
  enum Kind { Text, Integer, Real, Mixed } kind = Mixed;
  std::vector<uint8_t> null;
  std::vector<std::string_view> text;
  std::string folded;  // lower-cased copies of the texts that have capitals, end to end
  std::vector<int64_t> integer;
  std::vector<double> real;
  const std::vector<Variant>* values = nullptr;
  bool descending = false;
};

bool HasCapital(const std::string& S) {
  for (char c : S)
    if (c >= 'A' && c <= 'Z') return true;
  return false;
}

std::string_view FoldedText(const std::string& S, std::deque<std::string>& Store) {
  if (!HasCapital(S)) return S;
  std::string& f = Store.emplace_back(S);
  for (char& c : f)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return f;
}

int CompareTexts(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  if (const int c = n ? std::memcmp(a.data(), b.data(), n) : 0) return c;
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

template <class T>
int Three(T a, T b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

// Values of mixed kinds: Null, then Booleans, numbers, texts.
int CompareMixed(const Variant& a, const Variant& b) {
  auto rank = [](const Variant& v) { return v.IsClear() ? 0 : v.BooleanPtr() ? 1 : v.IsNumeric() ? 2 : 3; };
  const int ra = rank(a), rb = rank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  switch (ra) {
    case 0: return 0;
    case 1: return Three(*a.BooleanPtr(), *b.BooleanPtr());
    case 2: return Three(a.AsDouble(), b.AsDouble());
    default: {
      std::deque<std::string> store;
      const std::string sa = a.AsString(), sb = b.AsString();
      return CompareTexts(FoldedText(sa, store), FoldedText(sb, store));
    }
  }
}

void BuildKeys(SortKeys& k, const std::vector<Variant>& values, TVarType type) {
  const size_t n = values.size();
  k.values = &values;
  k.null.resize(n);
  for (size_t i = 0; i < n; ++i) k.null[i] = values[i].IsClear();
  switch (type) {
    case varString: {
      k.kind = SortKeys::Text;
      k.text.resize(n);
      size_t total = 0;
      for (const Variant& v : values)
        if (const std::string* s = v.StringPtr(); s && HasCapital(*s)) total += s->size();
      k.folded.reserve(total);  // never grows past this: the views stay valid
      for (size_t i = 0; i < n; ++i) {
        const std::string* s = values[i].StringPtr();
        if (!s) continue;
        if (!HasCapital(*s)) {
          k.text[i] = *s;
          continue;
        }
        const size_t at = k.folded.size();
        for (char c : *s) k.folded.push_back(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
        k.text[i] = std::string_view(k.folded).substr(at, s->size());
      }
      break;
    }
    case varBoolean:
    case varInteger:
    case varInt64:
    case varCurrency:
      k.kind = SortKeys::Integer;
      k.integer.resize(n);
      for (size_t i = 0; i < n; ++i) {
        const Variant& v = values[i];
        if (const bool* b = v.BooleanPtr()) k.integer[i] = *b;
        if (const int32_t* x = v.IntegerPtr()) k.integer[i] = *x;
        if (const int64_t* x = v.Int64Ptr()) k.integer[i] = *x;
        if (const Currency* c = v.CurrencyPtr()) k.integer[i] = c->Raw;
      }
      break;
    case varDouble:
      k.kind = SortKeys::Real;
      k.real.resize(n);
      for (size_t i = 0; i < n; ++i)
        if (const double* d = values[i].DoublePtr()) k.real[i] = *d;
      break;
    default: k.kind = SortKeys::Mixed; break;
  }
}

// Compares records a and b by one item, ascending.
int CompareBy(const SortKeys& k, int a, int b) {
  const size_t ia = size_t(a), ib = size_t(b);
  if (k.null[ia] || k.null[ib]) return int(k.null[ib]) - int(k.null[ia]);
  switch (k.kind) {
    case SortKeys::Text: return CompareTexts(k.text[ia], k.text[ib]);
    case SortKeys::Integer: return Three(k.integer[ia], k.integer[ib]);
    case SortKeys::Real: return Three(k.real[ia], k.real[ib]);
    default: return CompareMixed((*k.values)[ia], (*k.values)[ib]);
  }
}

template <class Key>
int CompareKeys(const Key& a, const Key& b) {
  if constexpr (std::is_same_v<Key, std::string_view>)
    return CompareTexts(a, b);
  else
    return Three(a, b);
}

template <class Key>
void SortSingle(const SortKeys& k, const std::vector<Key>& keys, std::vector<int>& rows) {
  std::vector<std::pair<Key, int>> valued;
  std::vector<int> nulls;
  valued.reserve(rows.size());
  for (int r : rows) {
    if (k.null[size_t(r)])
      nulls.push_back(r);
    else
      valued.emplace_back(keys[size_t(r)], r);
  }
  if constexpr (std::is_same_v<Key, std::string_view>) {
    // Texts compare dearly: a stable sort on the key alone compares least.
    if (k.descending)
      std::stable_sort(valued.begin(), valued.end(),
                       [](const auto& a, const auto& b) { return CompareKeys(b.first, a.first) < 0; });
    else
      std::stable_sort(valued.begin(), valued.end(),
                       [](const auto& a, const auto& b) { return CompareKeys(a.first, b.first) < 0; });
  } else if (k.descending) {
    std::sort(valued.begin(), valued.end(), [](const auto& a, const auto& b) {
      return b.first < a.first || (!(a.first < b.first) && a.second < b.second);
    });
  } else {
    std::sort(valued.begin(), valued.end(), [](const auto& a, const auto& b) {
      return a.first < b.first || (!(b.first < a.first) && a.second < b.second);
    });
  }
  size_t at = 0;
  if (!k.descending)
    for (int r : nulls) rows[at++] = r;
  for (const auto& v : valued) rows[at++] = v.second;
  if (k.descending)
    for (int r : nulls) rows[at++] = r;
}

}  // namespace

// ---- Items ----

void TcxCustomDataController::CheckItem(int Item) const {
  if (Item < 0 || Item >= ItemCount()) IndexError(Item);
}

void TcxCustomDataController::CheckRecord(int Record) const {
  if (Record < 0 || Record >= recordCount_) IndexError(Record);
}

void TcxCustomDataController::InsertItem(int Index) {
  if (Index < 0 || Index > ItemCount()) IndexError(Index);
  Item item;
  item.values.assign(size_t(recordCount_), Variant::Null());
  items_.insert(items_.begin() + Index, std::move(item));
  orders_.insert(orders_.begin() + Index, soNone);
  for (int& s : sorting_)
    if (s >= Index) ++s;
  Changed(false);
}

void TcxCustomDataController::DeleteItem(int Index) {
  CheckItem(Index);
  const bool wasSorting = orders_[size_t(Index)] != soNone;
  sorting_.erase(std::remove(sorting_.begin(), sorting_.end(), Index), sorting_.end());
  for (int& s : sorting_)
    if (s > Index) --s;
  items_.erase(items_.begin() + Index);
  orders_.erase(orders_.begin() + Index);
  edits_.clear();
  Changed(wasSorting);
}

void TcxCustomDataController::MoveItem(int CurIndex, int NewIndex) {
  CheckItem(CurIndex);
  CheckItem(NewIndex);
  if (CurIndex == NewIndex) return;
  // Item numbers in the sorting list follow the move.
  auto renumber = [&](int i) {
    if (i == CurIndex) return NewIndex;
    if (CurIndex < NewIndex && i > CurIndex && i <= NewIndex) return i - 1;
    if (NewIndex < CurIndex && i >= NewIndex && i < CurIndex) return i + 1;
    return i;
  };
  for (int& s : sorting_) s = renumber(s);
  for (auto& e : edits_) e.first = renumber(e.first);
  Item moved = std::move(items_[size_t(CurIndex)]);
  items_.erase(items_.begin() + CurIndex);
  items_.insert(items_.begin() + NewIndex, std::move(moved));
  const TcxDataSortOrder order = orders_[size_t(CurIndex)];
  orders_.erase(orders_.begin() + CurIndex);
  orders_.insert(orders_.begin() + NewIndex, order);
  Changed(false);
}

const std::string& TcxCustomDataController::ValueTypeName(int Item) const {
  CheckItem(Item);
  return items_[size_t(Item)].typeName;
}

TVarType TcxCustomDataController::ValueType(int Item) const {
  CheckItem(Item);
  return items_[size_t(Item)].type;
}

void TcxCustomDataController::SetValueType(int Item, const std::string& TypeName) {
  CheckItem(Item);
  const auto* found = std::find_if(std::begin(kTypes), std::end(kTypes),
                                   [&](const ::TypeName& t) { return SameText(t.name, TypeName); });
  if (found == std::end(kTypes)) throw EVariantError("Unknown value type \"" + TypeName + "\"");
  auto& item = items_[size_t(Item)];
  if (item.typeName == found->name) return;
  item.typeName = found->name;
  item.type = found->type;
  for (Variant& v : item.values) {
    try {
      v = Convert(item, v);
    } catch (const EVariantError&) {
      v = Variant::Null();
    }
  }
  Changed(orders_[size_t(Item)] != soNone);
}

Variant TcxCustomDataController::Convert(const Item& AItem, const Variant& Value) const {
  if (Value.IsClear()) return Variant::Null();
  if (AItem.type == varEmpty) return Value;
  return Value.AsType(AItem.type);
}

// ---- Records ----

void TcxCustomDataController::SetRecordCount(int Value) {
  Value = std::max(0, Value);
  if (Value == recordCount_) return;
  if (Value < recordCount_) {
    if (focused_ >= Value) SetFocusedRecordIndex(-1);
    if (editing_ && focused_ < 0) Cancel();
  }
  for (auto& item : items_) item.values.resize(size_t(Value), Variant::Null());
  recordCount_ = Value;
  Changed(true);
}

int TcxCustomDataController::AppendRecord() {
  SetRecordCount(recordCount_ + 1);
  return recordCount_ - 1;
}

void TcxCustomDataController::InsertRecord(int Index) {
  if (Index < 0 || Index > recordCount_) IndexError(Index);
  for (auto& item : items_) item.values.insert(item.values.begin() + Index, Variant::Null());
  ++recordCount_;
  if (focused_ >= Index) ++focused_;
  Changed(true);
}

void TcxCustomDataController::DeleteRecord(int Index) {
  CheckRecord(Index);
  // The focus stays on the same row when its record goes.
  int focusRow = -1;
  if (focused_ == Index) {
    focusRow = FocusedRowIndex();
    if (editing_) Cancel();
  }
  for (auto& item : items_) item.values.erase(item.values.begin() + Index);
  --recordCount_;
  if (focused_ > Index) --focused_;
  Changed(true);
  if (focusRow >= 0) {
    focused_ = -1;
    SetFocusedRowIndex(std::min(focusRow, RowCount() - 1));
  }
}

const Variant& TcxCustomDataController::Values(int Record, int Item) const {
  CheckItem(Item);
  CheckRecord(Record);
  return items_[size_t(Item)].values[size_t(Record)];
}

void TcxCustomDataController::SetValue(int Record, int Item, const Variant& Value) {
  CheckItem(Item);
  CheckRecord(Record);
  auto& item = items_[size_t(Item)];
  Variant converted = Convert(item, Value);
  Variant& stored = item.values[size_t(Record)];
  if (stored == converted) return;
  stored = std::move(converted);
  Changed(orders_[size_t(Item)] != soNone);
}

std::string TcxCustomDataController::DisplayText(int Record, int Item) const {
  return VarToStr(Values(Record, Item));
}

// ---- Brackets and notifications ----

void TcxCustomDataController::BeginUpdate() { ++lockCount_; }

void TcxCustomDataController::EndUpdate() {
  if (lockCount_ == 0 || --lockCount_ > 0 || !changed_) return;
  changed_ = false;
  OnChanged(this);
}

void TcxCustomDataController::Changed(bool Reorder) {
  if (Reorder) rowsValid_ = false;
  if (lockCount_ > 0) {
    changed_ = true;
    return;
  }
  OnChanged(this);
}

// ---- Sorting ----

TcxDataSortOrder TcxCustomDataController::SortOrder(int Item) const {
  CheckItem(Item);
  return orders_[size_t(Item)];
}

void TcxCustomDataController::SetSortOrder(int Item, TcxDataSortOrder Value) {
  CheckItem(Item);
  if (orders_[size_t(Item)] == Value) return;
  orders_[size_t(Item)] = Value;
  auto it = std::find(sorting_.begin(), sorting_.end(), Item);
  if (Value == soNone && it != sorting_.end()) sorting_.erase(it);
  if (Value != soNone && it == sorting_.end()) sorting_.push_back(Item);
  Changed(true);
}

int TcxCustomDataController::SortIndex(int Item) const {
  CheckItem(Item);
  auto it = std::find(sorting_.begin(), sorting_.end(), Item);
  return it == sorting_.end() ? -1 : int(it - sorting_.begin());
}

void TcxCustomDataController::SetSortIndex(int Item, int Value) {
  const int current = SortIndex(Item);
  if (current < 0 || current == Value) return;
  sorting_.erase(sorting_.begin() + current);
  sorting_.insert(sorting_.begin() + std::clamp(Value, 0, int(sorting_.size())), Item);
  Changed(true);
}

void TcxCustomDataController::ClearSorting() {
  if (sorting_.empty()) return;
  for (int i : sorting_) orders_[size_t(i)] = soNone;
  sorting_.clear();
  Changed(true);
}

int TcxCustomDataController::SortingItem(int Index) const {
  if (Index < 0 || Index >= SortingItemCount()) IndexError(Index);
  return sorting_[size_t(Index)];
}

// ---- Rows ----

void TcxCustomDataController::EnsureRows() const {
  if (rowsValid_) return;
  rowsValid_ = true;
  SortRows();
}

void TcxCustomDataController::SortRows() const {
  rows_.clear();
  recordRow_.clear();
  if (sorting_.empty()) return;
  std::vector<SortKeys> keys(sorting_.size());
  for (size_t k = 0; k < sorting_.size(); ++k) {
    const Item& item = items_[size_t(sorting_[k])];
    BuildKeys(keys[k], item.values, item.type);
    keys[k].descending = orders_[size_t(sorting_[k])] == soDescending;
  }
  rows_.resize(size_t(recordCount_));
  std::iota(rows_.begin(), rows_.end(), 0);
  if (keys.size() == 1 && keys[0].kind != SortKeys::Mixed) {
    // One sorting item (the usual case): its keys beside the record numbers, sorted
    // by key and then record number, which is the stable order without the cost of a
    // stable sort; Null records go first (last when descending) in their order.
    const SortKeys& k = keys[0];
    switch (k.kind) {
      case SortKeys::Text: SortSingle(k, k.text, rows_); break;
      case SortKeys::Integer: SortSingle(k, k.integer, rows_); break;
      default: SortSingle(k, k.real, rows_); break;
    }
  } else {
    std::stable_sort(rows_.begin(), rows_.end(), [&](int a, int b) {
      for (const SortKeys& k : keys)
        if (const int c = CompareBy(k, a, b)) return k.descending ? c > 0 : c < 0;
      return false;
    });
  }
  recordRow_.resize(rows_.size());
  for (size_t row = 0; row < rows_.size(); ++row) recordRow_[size_t(rows_[row])] = int(row);
}

int TcxCustomDataController::RecordIndexOfRow(int Row) const {
  if (Row < 0 || Row >= recordCount_) return -1;
  EnsureRows();
  return rows_.empty() ? Row : rows_[size_t(Row)];
}

int TcxCustomDataController::RowIndexOfRecord(int Record) const {
  if (Record < 0 || Record >= recordCount_) return -1;
  EnsureRows();
  return recordRow_.empty() ? Record : recordRow_[size_t(Record)];
}

// ---- Focus and editing ----

void TcxCustomDataController::SetFocusedRecordIndex(int Value) {
  if (Value < 0 || Value >= recordCount_) Value = -1;
  if (Value == focused_) return;
  if (editing_) Post();
  focused_ = Value;
  OnFocusedRecordChanged(this);
}

bool TcxCustomDataController::Edit() {
  if (focused_ < 0) return false;
  editing_ = true;
  return true;
}

Variant TcxCustomDataController::GetEditValue(int Item) const {
  for (const auto& e : edits_)
    if (e.first == Item) return e.second;
  return focused_ >= 0 ? Values(focused_, Item) : Variant::Null();
}

void TcxCustomDataController::SetEditValue(int Item, const Variant& Value) {
  CheckItem(Item);
  if (!editing_ && !Edit()) return;
  if (options_.Contains(dcoImmediatePost)) {
    SetValue(focused_, Item, Value);
    return;
  }
  for (auto& e : edits_)
    if (e.first == Item) {
      e.second = Value;
      return;
    }
  edits_.emplace_back(Item, Value);
}

void TcxCustomDataController::Post() {
  if (!editing_) return;
  BeginUpdate();
  try {
    while (!edits_.empty()) {
      SetValue(focused_, edits_.front().first, edits_.front().second);
      edits_.erase(edits_.begin());
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  editing_ = false;
  EndUpdate();
}

void TcxCustomDataController::Cancel() {
  edits_.clear();
  editing_ = false;
}
