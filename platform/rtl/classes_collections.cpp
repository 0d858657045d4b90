// Collections and their items.
#include <algorithm>

#include "platform/rtl/classes.h"

// ---- TCollectionItem ----

TCollectionItem::TCollectionItem(TCollection* Collection) {
  if (Collection) Collection->InsertItem(this);
}

TCollectionItem::~TCollectionItem() {
  if (collection_) collection_->RemoveItem(this);
}

void TCollectionItem::SetCollection(TCollection* Value) {
  if (collection_ == Value) return;
  if (collection_) collection_->RemoveItem(this);
  if (!Value) return;
  Value->InsertItem(this);
  Value->Changed();
}

int TCollectionItem::Index() const {
  if (!collection_) return -1;
  const auto& items = collection_->items_;
  return int(std::find(items.begin(), items.end(), this) - items.begin());
}

void TCollectionItem::SetIndex(int Value) {
  const int current = Index();
  if (current < 0 || Value == current) return;
  auto& items = collection_->items_;
  Value = std::clamp(Value, 0, int(items.size()) - 1);
  items.erase(items.begin() + current);
  items.insert(items.begin() + Value, this);
  collection_->Changed();
}

void TCollectionItem::Changed(bool AllItems) {
  if (collection_) collection_->ItemChanged(AllItems ? nullptr : this);
}

TPersistent* TCollectionItem::GetOwner() { return collection_; }

// ---- TCollection ----

TCollection::TCollection(TCollectionItemClass ItemClass, TItemFactory Factory)
    : itemClass_(ItemClass), factory_(Factory) {}

TCollection::~TCollection() {
  updateCount_ = 1;  // no notifications while going away
  Clear();
}

TCollectionItem* TCollection::Add() {
  // The item's constructor puts it into this collection; the change is told once the
  // item is whole.
  TCollectionItem* item = factory_(this);
  Changed();
  return item;
}

TCollectionItem* TCollection::Insert(int Index) {
  if (Index < 0 || Index > Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  BeginUpdate();
  TCollectionItem* item = Add();
  item->SetIndex(Index);
  EndUpdate();
  return item;
}

TCollectionItem* TCollection::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return items_[size_t(Index)];
}

void TCollection::Delete(int Index) { delete Items(Index); }

void TCollection::Clear() {
  if (items_.empty()) return;
  BeginUpdate();
  while (!items_.empty()) delete items_.back();
  EndUpdate();
}

TCollectionItem* TCollection::FindItemID(int ID) const {
  for (TCollectionItem* item : items_)
    if (item->id_ == ID) return item;
  return nullptr;
}

void TCollection::Assign(TPersistent* Source) {
  auto* other = As<TCollection>(Source);
  if (!other) {
    TPersistent::Assign(Source);
    return;
  }
  BeginUpdate();
  try {
    Clear();
    for (TCollectionItem* item : other->items_) Add()->Assign(item);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCollection::BeginUpdate() { ++updateCount_; }

void TCollection::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) Changed();
}

void TCollection::Changed() {
  if (updateCount_ == 0) Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* Item) {
  items_.push_back(Item);
  Item->collection_ = this;
  Item->id_ = nextId_++;
  Notify(Item, TCollectionNotification::cnAdded);
}

void TCollection::RemoveItem(TCollectionItem* Item) {
  Notify(Item, TCollectionNotification::cnExtracting);
  items_.erase(std::remove(items_.begin(), items_.end(), Item), items_.end());
  Item->collection_ = nullptr;
  Changed();
}

void TCollection::ItemChanged(TCollectionItem* Item) {
  if (updateCount_ == 0) Update(Item);
}
