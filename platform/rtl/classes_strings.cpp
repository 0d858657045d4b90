// String lists and field splitting.
#include <algorithm>

#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"

namespace {
// A lookup index is only worth keeping for lists longer than this.
constexpr int kIndexedCount = 32;

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Reads a quoted item starting at s[pos] (the quote); doubled quotes stand for one.
// Without a closing quote the item runs to the end.
std::string ExtractQuoted(std::string_view s, size_t& pos, char quote) {
  std::string out;
  ++pos;
  while (pos < s.size()) {
    if (s[pos] == quote) {
      if (pos + 1 < s.size() && s[pos + 1] == quote) {
        out.push_back(quote);
        pos += 2;
        continue;
      }
      ++pos;
      break;
    }
    out.push_back(s[pos++]);
  }
  return out;
}
}  // namespace

// ---- TStrings ----

void TStrings::IndexError(int Index) {
  throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
}

int TStrings::Add(const std::string& S) {
  const int i = Count();
  Insert(i, S);
  return i;
}

int TStrings::AddObject(const std::string& S, TObject* AObject) {
  const int i = Add(S);
  PutObject(i, AObject);
  return i;
}

void TStrings::AddStrings(TStrings* Strings) {
  BeginUpdate();
  try {
    for (int i = 0; i < Strings->Count(); ++i) AddObject(Strings->Get(i), Strings->GetObject(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::InsertObject(int Index, const std::string& S, TObject* AObject) {
  Insert(Index, S);
  PutObject(Index, AObject);
}

void TStrings::Exchange(int Index1, int Index2) {
  BeginUpdate();
  try {
    const std::string s = Get(Index1);
    TObject* o = GetObject(Index1);
    Put(Index1, Get(Index2));
    PutObject(Index1, GetObject(Index2));
    Put(Index2, s);
    PutObject(Index2, o);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  BeginUpdate();
  try {
    const std::string s = Get(CurIndex);
    TObject* o = GetObject(CurIndex);
    if (NewIndex < 0 || NewIndex >= Count()) IndexError(NewIndex);
    Delete(CurIndex);
    InsertObject(NewIndex, s, o);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Assign(TPersistent* Source) {
  if (auto* src = As<TStrings>(Source)) {
    if (src == this) return;
    BeginUpdate();
    try {
      Clear();
      AddStrings(src);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  TPersistent::Assign(Source);
}

void TStrings::Put(int Index, const std::string& S) {
  TObject* o = GetObject(Index);
  Delete(Index);
  InsertObject(Index, S, o);
}

int TStrings::CompareStrings(const std::string& S1, const std::string& S2) const { return CompareText(S1, S2); }

int TStrings::IndexOf(const std::string& S) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Get(i), S) == 0) return i;
  return -1;
}

bool TStrings::NameOf(std::string_view S, std::string_view& Name) const {
  const size_t p = S.find(nameValueSeparator_);
  if (p == std::string_view::npos) return false;
  Name = S.substr(0, p);
  return true;
}

int TStrings::IndexOfName(const std::string& Name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string s = Get(i);
    std::string_view n;
    if (NameOf(s, n) && CompareStrings(std::string(n), Name) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(TObject* AObject) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == AObject) return i;
  return -1;
}

std::string TStrings::Names(int Index) const {
  const std::string s = Get(Index);
  std::string_view n;
  return NameOf(s, n) ? std::string(n) : std::string();
}

std::string TStrings::ValueFromIndex(int Index) const {
  const std::string s = Get(Index);
  const size_t p = s.find(nameValueSeparator_);
  return p == std::string::npos ? std::string() : s.substr(p + 1);
}

std::string TStrings::Values(const std::string& Name) const {
  const int i = IndexOfName(Name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(const std::string& Name, const std::string& Value) {
  const int i = IndexOfName(Name);
  if (Value.empty()) {
    if (i >= 0) Delete(i);
  } else if (i < 0) {
    Add(Name + nameValueSeparator_ + Value);
  } else {
    Put(i, Name + nameValueSeparator_ + Value);
  }
}

void TStrings::SetValueFromIndex(int Index, const std::string& Value) {
  if (Value.empty()) {
    if (Index >= 0) Delete(Index);
    return;
  }
  if (Index < 0) Index = Add("");
  Put(Index, Names(Index) + nameValueSeparator_ + Value);
}

std::string TStrings::Text() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    out += Get(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(std::string_view Value) {
  BeginUpdate();
  try {
    Clear();
    for (std::string_view line : vx_classes::SplitLines(Value)) Add(std::string(line));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::JoinDelimited(char delimiter, char quote) const {
  if (Count() == 1 && Get(0).empty()) return std::string(2, quote);
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    const std::string s = Get(i);
    const bool quoted =
        std::any_of(s.begin(), s.end(), [&](char c) { return IsBlank(c) || c == quote || c == delimiter; });
    if (i > 0) out.push_back(delimiter);
    if (!quoted) {
      out += s;
      continue;
    }
    out.push_back(quote);
    for (char c : s) {
      out.push_back(c);
      if (c == quote) out.push_back(c);
    }
    out.push_back(quote);
  }
  return out;
}

void TStrings::SplitDelimited(std::string_view Value, char delimiter, char quote) {
  BeginUpdate();
  try {
    Clear();
    size_t pos = 0;
    auto skipBlanks = [&] {
      while (pos < Value.size() && IsBlank(Value[pos])) ++pos;
    };
    skipBlanks();
    while (pos < Value.size()) {
      if (Value[pos] == quote) {
        Add(ExtractQuoted(Value, pos, quote));
      } else {
        const size_t start = pos;
        while (pos < Value.size() && !IsBlank(Value[pos]) && Value[pos] != delimiter) ++pos;
        Add(std::string(Value.substr(start, pos - start)));
      }
      skipBlanks();
      if (pos < Value.size() && Value[pos] == delimiter) {
        if (pos + 1 == Value.size()) Add("");  // a final delimiter ends an empty item
        ++pos;
        skipBlanks();
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::DelimitedText() const { return JoinDelimited(delimiter_, quoteChar_); }
void TStrings::SetDelimitedText(std::string_view Value) { SplitDelimited(Value, delimiter_, quoteChar_); }
std::string TStrings::CommaText() const { return JoinDelimited(',', '"'); }
void TStrings::SetCommaText(std::string_view Value) { SplitDelimited(Value, ',', '"'); }

void TStrings::BeginUpdate() {
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TStrings::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

void TStrings::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

void TStrings::LoadFromStream(TStream* Stream) { SetText(vx_classes::ReadToEnd(Stream)); }

void TStrings::SaveToFile(const std::string& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(&f);
}

void TStrings::SaveToStream(TStream* Stream) {
  const std::string text = Text();
  Stream->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TStrings::LoadFromFile(const std::string& FileName, TEncoding* Encoding) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f, Encoding);
}

void TStrings::LoadFromStream(TStream* Stream, TEncoding* Encoding) {
  SetText(Encoding->GetString(vx_classes::ReadToEnd(Stream)));
}

void TStrings::SaveToFile(const std::string& FileName, TEncoding* Encoding) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(&f, Encoding);
}

void TStrings::SaveToStream(TStream* Stream, TEncoding* Encoding) {
  const std::string bytes = Encoding->GetBytes(Text());
  Stream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// ---- TStringList ----

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
}

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) IndexError(Index);
}

std::string TStringList::Get(int Index) const {
  CheckIndex(Index);
  return items_[static_cast<size_t>(Index)].text;
}

TObject* TStringList::GetObject(int Index) const {
  CheckIndex(Index);
  return items_[static_cast<size_t>(Index)].object;
}

int TStringList::CompareStrings(const std::string& S1, const std::string& S2) const {
  return caseSensitive_ ? CompareStr(S1, S2) : CompareText(S1, S2);
}

void TStringList::Changing() {
  if (UpdateCount() == 0) OnChanging(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0) OnChange(this);
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating)
    Changing();
  else
    Changed();
}

std::string TStringList::Key(std::string_view S) const { return caseSensitive_ ? std::string(S) : UpperCase(S); }

void TStringList::Invalidate() const {
  for (LookupIndex* index : {&lines_, &names_}) {
    index->valid = false;
    index->first.clear();
  }
}

// The key a line has in an index: the whole line, or its name (false for none).
bool TStringList::KeyOf(const LookupIndex& Index, std::string_view S, std::string& K) const {
  std::string_view part = S;
  if (&Index == &names_ && !NameOf(S, part)) return false;
  K = Key(part);
  return true;
}

// Makes the index current; false when the list is too short to need one.
bool TStringList::BuildLookup(LookupIndex& Index) const {
  if (Count() <= kIndexedCount) {
    if (Index.valid) {
      Index.valid = false;
      Index.first.clear();
    }
    return false;
  }
  if (Index.valid && Index.caseSensitive == caseSensitive_ && Index.separator == NameValueSeparator()) return true;
  Index.first.clear();
  Index.first.reserve(items_.size());
  std::string k;
  for (int i = 0; i < Count(); ++i)
    if (KeyOf(Index, items_[static_cast<size_t>(i)].text, k)) Index.first.emplace(std::move(k), i);
  Index.valid = true;
  Index.caseSensitive = caseSensitive_;
  Index.separator = NameValueSeparator();
  return true;
}

// Keeps the indexes exact when line Index changes from OldText to NewText.
void TStringList::Relink(int Index, const std::string* OldText, const std::string* NewText) const {
  std::string k, before;
  for (LookupIndex* index : {&lines_, &names_}) {
    if (!index->valid) continue;
    const bool hadKey = OldText && KeyOf(*index, *OldText, before);
    if (hadKey && NewText && KeyOf(*index, *NewText, k) && k == before) continue;  // e.g. a new value
    if (hadKey) {
      k = before;
      auto it = index->first.find(k);
      if (it != index->first.end() && it->second == Index) {
        if (Index != Count() - 1) {  // a later line may hold the same key
          index->valid = false;
          index->first.clear();
          continue;
        }
        index->first.erase(it);
      }
    }
    if (NewText && KeyOf(*index, *NewText, k)) {
      auto [it, added] = index->first.emplace(std::move(k), Index);
      if (!added && it->second > Index) it->second = Index;
    }
  }
}

int TStringList::IndexOf(const std::string& S) const {
  if (sorted_) {
    int i;
    return Find(S, i) ? i : -1;
  }
  if (!BuildLookup(lines_)) return TStrings::IndexOf(S);
  auto it = lines_.first.find(Key(S));
  return it == lines_.first.end() ? -1 : it->second;
}

int TStringList::IndexOfName(const std::string& Name) const {
  if (!BuildLookup(names_)) {
    for (int i = 0; i < Count(); ++i) {
      std::string_view n;
      if (NameOf(items_[static_cast<size_t>(i)].text, n) && CompareStrings(std::string(n), Name) == 0) return i;
    }
    return -1;
  }
  auto it = names_.first.find(Key(Name));
  return it == names_.first.end() ? -1 : it->second;
}

void TStringList::InsertItem(int Index, std::string S, TObject* AObject) {
  Changing();
  if (Index != Count()) Invalidate();  // every later line moves
  items_.insert(items_.begin() + Index, Item{std::move(S), AObject});
  Relink(Index, nullptr, &items_[static_cast<size_t>(Index)].text);
  Changed();
}

int TStringList::Add(const std::string& S) { return AddObject(S, nullptr); }

int TStringList::AddObject(const std::string& S, TObject* AObject) {
  int index = Count();
  if (sorted_) {
    if (Find(S, index)) {
      if (duplicates_ == dupIgnore) return index;
      if (duplicates_ == dupError) throw EStringListError("String list does not allow duplicates");
      // Equal strings keep the order they were added in.
      while (index < Count() && CompareStrings(items_[static_cast<size_t>(index)].text, S) == 0) ++index;
    }
  }
  InsertItem(index, S, AObject);
  return index;
}

void TStringList::Insert(int Index, const std::string& S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(int Index, const std::string& S, TObject* AObject) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  if (Index < 0 || Index > Count()) IndexError(Index);
  InsertItem(Index, S, AObject);
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  Changing();
  if (Index == Count() - 1)
    Relink(Index, &items_.back().text, nullptr);
  else
    Invalidate();  // every later line moves
  items_.erase(items_.begin() + Index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Invalidate();
  Changed();
}

void TStringList::Put(int Index, const std::string& S) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(Index);
  Changing();
  std::string& text = items_[static_cast<size_t>(Index)].text;
  Relink(Index, &text, &S);
  text = S;
  Changed();
}

void TStringList::PutObject(int Index, TObject* AObject) {
  CheckIndex(Index);
  Changing();
  items_[static_cast<size_t>(Index)].object = AObject;
  Changed();
}

void TStringList::ExchangeItems(int Index1, int Index2) {
  std::swap(items_[static_cast<size_t>(Index1)], items_[static_cast<size_t>(Index2)]);
}

void TStringList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  Changing();
  Invalidate();
  ExchangeItems(Index1, Index2);
  Changed();
}

void TStringList::SetText(std::string_view Value) {
  const std::vector<std::string_view> lines = vx_classes::SplitLines(Value);
  BeginUpdate();
  try {
    items_.clear();
    Invalidate();
    items_.reserve(lines.size());
    for (std::string_view line : lines) items_.push_back(Item{std::string(line), nullptr});
    if (sorted_) {
      // Sorted once, instead of line by line.
      std::stable_sort(items_.begin(), items_.end(),
                       [&](const Item& a, const Item& b) { return CompareStrings(a.text, b.text) < 0; });
      if (duplicates_ != dupAccept) {
        auto same = [&](const Item& a, const Item& b) { return CompareStrings(a.text, b.text) == 0; };
        if (duplicates_ == dupError && std::adjacent_find(items_.begin(), items_.end(), same) != items_.end()) {
          items_.clear();
          throw EStringListError("String list does not allow duplicates");
        }
        items_.erase(std::unique(items_.begin(), items_.end(), same), items_.end());
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

bool TStringList::Find(const std::string& S, int& Index) const {
  int lo = 0, hi = Count();
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (CompareStrings(items_[static_cast<size_t>(mid)].text, S) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  Index = lo;
  return lo < Count() && CompareStrings(items_[static_cast<size_t>(lo)].text, S) == 0;
}

void TStringList::QuickSort(int L, int R, TStringListSortCompare Compare) {
  // Hoare's quick sort; the comparison sees indexes, so the pivot's index is followed.
  int i;
  do {
    i = L;
    int j = R, p = (L + R) >> 1;
    do {
      while (Compare(this, i, p) < 0) ++i;
      while (Compare(this, j, p) > 0) --j;
      if (i <= j) {
        if (i != j) ExchangeItems(i, j);
        if (p == i)
          p = j;
        else if (p == j)
          p = i;
        ++i;
        --j;
      }
    } while (i <= j);
    if (L < j) QuickSort(L, j, Compare);
    L = i;
  } while (i < R);
}

void TStringList::CustomSort(TStringListSortCompare Compare) {
  if (sorted_ || Count() < 2 || !Compare) return;
  Changing();
  Invalidate();
  QuickSort(0, Count() - 1, Compare);
  Changed();
}

void TStringList::Sort() {
  // By the list's own comparison; equal strings keep their order.
  if (Count() < 2) return;
  Changing();
  Invalidate();
  std::stable_sort(items_.begin(), items_.end(),
                   [&](const Item& a, const Item& b) { return CompareStrings(a.text, b.text) < 0; });
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (Value == sorted_) return;
  if (Value) Sort();
  sorted_ = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (Value == caseSensitive_) return;
  caseSensitive_ = Value;
  Invalidate();
  if (sorted_) Sort();
}

// ---- Helpers ----

std::vector<std::string_view> vx_classes::SplitLines(std::string_view Text) {
  if (Text.substr(0, 3) == "\xEF\xBB\xBF") Text.remove_prefix(3);
  std::vector<std::string_view> lines;
  size_t pos = 0;
  while (pos < Text.size()) {
    size_t stop = pos;
    while (stop < Text.size() && Text[stop] != '\r' && Text[stop] != '\n') ++stop;
    lines.push_back(Text.substr(pos, stop - pos));
    pos = stop;
    if (pos < Text.size() && Text[pos] == '\r') ++pos;
    if (pos < Text.size() && Text[pos] == '\n') ++pos;
  }
  return lines;
}

std::string vx_classes::ReadToEnd(TStream* Stream) {
  std::string text;
  const int64_t size = Stream->Size() - Stream->Position();
  if (size > 0) {
    text.resize(static_cast<size_t>(size));
    text.resize(static_cast<size_t>(std::max<int64_t>(Stream->Read(text.data(), size), 0)));
  }
  // Streams whose size is unknown or still growing: read on to the end.
  char buf[65536];
  for (int64_t n; (n = Stream->Read(buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  return text;
}

// ---- ExtractStrings ----

int ExtractStrings(std::string_view Separators, std::string_view WhiteSpace, std::string_view Content,
                   TStrings* Strings) {
  if (Content.empty() || !Strings) return 0;
  auto in = [](std::string_view set, char c) { return set.find(c) != std::string_view::npos; };
  int count = 0;
  size_t pos = 0;
  Strings->BeginUpdate();
  try {
    for (;;) {
      while (pos < Content.size() && (in(WhiteSpace, Content[pos]) || Content[pos] == '\r' || Content[pos] == '\n'))
        ++pos;
      const size_t head = pos;
      char quote = 0;
      while (pos < Content.size()) {
        const char c = Content[pos];
        if (c == '"' || c == '\'') {
          if (quote == 0)
            quote = c;
          else if (quote == c)
            quote = 0;
        } else if (!quote && (in(Separators, c) || c == '\r' || c == '\n')) {
          break;
        }
        ++pos;
      }
      if (pos > head) {
        Strings->Add(std::string(Content.substr(head, pos - head)));
        ++count;
      }
      if (pos >= Content.size()) break;
      ++pos;  // the separator
    }
  } catch (...) {
    Strings->EndUpdate();
    throw;
  }
  Strings->EndUpdate();
  return count;
}
