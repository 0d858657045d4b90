// Pointer lists, object lists and the locked list.
#include <algorithm>

#include "platform/rtl/classes.h"

// ---- TList ----

TList::~TList() { Clear(); }

void TList::IndexError(int Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

int TList::Add(void* Item) {
  items_.push_back(Item);
  if (Item) Notify(Item, TListNotification::lnAdded);
  return Count() - 1;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count()) IndexError(Index);
  items_.insert(items_.begin() + Index, Item);
  if (Item) Notify(Item, TListNotification::lnAdded);
}

void TList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  void* item = items_[static_cast<size_t>(Index)];
  items_.erase(items_.begin() + Index);
  if (item) Notify(item, TListNotification::lnDeleted);
}

int TList::Remove(void* Item) {
  const int i = IndexOf(Item);
  if (i >= 0) Delete(i);
  return i;
}

void* TList::Extract(void* Item) {
  const int i = IndexOf(Item);
  if (i < 0) return nullptr;
  items_.erase(items_.begin() + i);
  if (Item) Notify(Item, TListNotification::lnExtracted);
  return Item;
}

void TList::Clear() {
  SetCount(0);
  items_.shrink_to_fit();
}

void TList::SetCount(int NewCount) {
  if (NewCount < 0) IndexError(NewCount);
  if (NewCount > Count()) {
    items_.resize(static_cast<size_t>(NewCount), nullptr);
    return;
  }
  // From the end, so every lost item is told about.
  for (int i = Count() - 1; i >= NewCount; --i)
    if (i < Count()) Delete(i);
}

void TList::SetCapacity(int NewCapacity) {
  if (NewCapacity < Count()) IndexError(NewCapacity);
  if (static_cast<size_t>(NewCapacity) > items_.capacity())
    items_.reserve(static_cast<size_t>(NewCapacity));
  else
    items_.shrink_to_fit();
}

void TList::Exchange(int Index1, int Index2) {
  if (Index1 < 0 || Index1 >= Count()) IndexError(Index1);
  if (Index2 < 0 || Index2 >= Count()) IndexError(Index2);
  std::swap(items_[static_cast<size_t>(Index1)], items_[static_cast<size_t>(Index2)]);
}

void TList::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  if (CurIndex < 0 || CurIndex >= Count()) IndexError(CurIndex);
  if (NewIndex < 0 || NewIndex >= Count()) IndexError(NewIndex);
  void* item = items_[static_cast<size_t>(CurIndex)];
  items_.erase(items_.begin() + CurIndex);
  items_.insert(items_.begin() + NewIndex, item);
}

int TList::IndexOf(void* Item) const {
  auto it = std::find(items_.begin(), items_.end(), Item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void* TList::First() const { return Items(0); }
void* TList::Last() const { return Items(Count() - 1); }

void TList::Pack() { items_.erase(std::remove(items_.begin(), items_.end(), nullptr), items_.end()); }

void* TList::Items(int Index) const {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  return items_[static_cast<size_t>(Index)];
}

void TList::SetItems(int Index, void* Item) {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  void* old = items_[static_cast<size_t>(Index)];
  if (old == Item) return;
  items_[static_cast<size_t>(Index)] = Item;
  if (old) Notify(old, TListNotification::lnDeleted);
  if (Item) Notify(Item, TListNotification::lnAdded);
}

void TList::Sort(TListSortCompare Compare) {
  if (Count() < 2 || !Compare) return;
  // Hoare's quick sort around the middle element.
  auto quickSort = [&](auto& self, int L, int R) -> void {
    do {
      int i = L, j = R;
      void* pivot = items_[static_cast<size_t>((L + R) >> 1)];
      do {
        while (Compare(items_[static_cast<size_t>(i)], pivot) < 0) ++i;
        while (Compare(items_[static_cast<size_t>(j)], pivot) > 0) --j;
        if (i <= j) {
          std::swap(items_[static_cast<size_t>(i)], items_[static_cast<size_t>(j)]);
          ++i;
          --j;
        }
      } while (i <= j);
      if (L < j) self(self, L, j);
      L = i;
    } while (L < R);
  };
  quickSort(quickSort, 0, Count() - 1);
}

// ---- TObjectList ----

TObjectList::~TObjectList() { Clear(); }

void TObjectList::Notify(void* Ptr, TListNotification Action) {
  if (owns_ && Action == TListNotification::lnDeleted) delete static_cast<TObject*>(Ptr);
  TList::Notify(Ptr, Action);
}

int TObjectList::FindInstanceOf(TClass AClass, bool AExact, int AStartAt) const {
  for (int i = std::max(AStartAt, 0); i < Count(); ++i) {
    const TObject* o = Items(i);
    if (o && (AExact ? o->ClassType() == AClass : o->InheritsFrom(AClass))) return i;
  }
  return -1;
}

// ---- TThreadList ----

TThreadList::~TThreadList() = default;

void TThreadList::Add(void* Item) {
  std::lock_guard g(lock_);
  if (duplicates_ == dupAccept || list_.IndexOf(Item) < 0) {
    list_.Add(Item);
  } else if (duplicates_ == dupError) {
    throw EListError("List does not allow duplicates");
  }
}

void TThreadList::Remove(void* Item) {
  std::lock_guard g(lock_);
  list_.Remove(Item);
}

void TThreadList::Clear() {
  std::lock_guard g(lock_);
  list_.Clear();
}

TList* TThreadList::LockList() {
  lock_.lock();
  return &list_;
}

void TThreadList::UnlockList() { lock_.unlock(); }
