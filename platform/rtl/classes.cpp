#include "platform/rtl/classes.h"

#include <algorithm>

#include "platform/rtl/sysutils.h"

// ---- TPersistent ----

void TPersistent::Assign(TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
    return;
  }
  AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* Dest) { Dest->AssignError(this); }

void TPersistent::AssignError(TPersistent* Source) {
  const std::string from = Source ? Source->ClassName() : std::string("nil");
  throw EConvertError("Cannot assign a " + from + " to a " + ClassName());
}

std::string TPersistent::GetNamePath() const { return ClassName(); }

// ---- TComponent ----

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell everyone who asked that this component is going away.
  while (!free_notifies_.empty()) {
    TComponent* other = free_notifies_.back();
    free_notifies_.pop_back();
    auto& back = other->free_notifies_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    other->Notification(this, TOperation::opRemove);
  }
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return components_[static_cast<size_t>(Index)];
}

int TComponent::ComponentIndex() const {
  if (!owner_) return -1;
  auto& list = owner_->components_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, AName)) return c;
  return nullptr;
}

bool IsValidIdent(const std::string& Name) {
  if (Name.empty()) return false;
  auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  if (!alpha(Name[0])) return false;
  return std::all_of(Name.begin(), Name.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

void TComponent::SetName(const std::string& NewName) {
  if (NewName == name_) return;
  if (!NewName.empty() && !IsValidIdent(NewName))
    throw EComponentError("''" + NewName + "'' is not a valid component name");
  if (owner_)
    owner_->ValidateRename(this, name_, NewName);
  else
    ValidateRename(nullptr, name_, NewName);
  name_ = NewName;
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& CurName,
                                const std::string& NewName) {
  if (AComponent && !SameText(CurName, NewName)) {
    TComponent* existing = FindComponent(NewName);
    if (existing && existing != AComponent)
      throw EComponentError("A component named " + NewName + " already exists");
  }
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  if (Value)
    state_.Include(csDesigning);
  else
    state_.Exclude(csDesigning);
  if (SetChildren)
    for (TComponent* c : components_) c->SetDesigning(Value, true);
}

void TComponent::InsertComponent(TComponent* AComponent) {
  AComponent->ValidateRename(nullptr, "", AComponent->name_);
  ValidateRename(AComponent, "", AComponent->name_);
  Insert(AComponent);
  if (state_.Contains(csDesigning)) AComponent->SetDesigning(true);
  Notification(AComponent, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  Notification(AComponent, TOperation::opRemove);
  Remove(AComponent);
}

void TComponent::Insert(TComponent* AComponent) {
  components_.push_back(AComponent);
  AComponent->owner_ = this;
}

void TComponent::Remove(TComponent* AComponent) {
  auto it = std::find(components_.begin(), components_.end(), AComponent);
  if (it != components_.end()) components_.erase(it);
  AComponent->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  // Last created goes first, as the owner's list is emptied from its end.
  while (!components_.empty()) {
    TComponent* c = components_.back();
    c->BeforeDestruction();
    if (components_.empty() || components_.back() != c) continue;  // it left meanwhile
    Remove(c);
    delete c;
  }
}

void TComponent::Free() {
  BeforeDestruction();
  delete this;
}

void TComponent::Destroying() {
  if (state_.Contains(csDestroying)) return;
  state_.Include(csDestroying);
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), AComponent) == free_notifies_.end()) {
    free_notifies_.push_back(AComponent);
    AComponent->free_notifies_.push_back(this);
  }
  state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  RemoveNotification(AComponent);
  AComponent->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* AComponent) {
  free_notifies_.erase(std::remove(free_notifies_.begin(), free_notifies_.end(), AComponent),
                       free_notifies_.end());
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == TOperation::opRemove && AComponent) RemoveFreeNotification(AComponent);
  if (state_.Contains(csDestroying)) return;
  // Owned components hear of every insertion and removal among their siblings.
  for (size_t i = components_.size(); i-- > 0;) {
    if (i >= components_.size()) continue;
    components_[i]->Notification(AComponent, Operation);
  }
}

void TComponent::BeginLoading() {
  state_.Include(csLoading);
  for (TComponent* c : components_) c->BeginLoading();
}

void TComponent::EndLoading() {
  // Children first, as the framework's reader calls Loaded in creation order after
  // all properties are read.
  for (size_t i = 0; i < components_.size(); ++i) components_[i]->EndLoading();
  if (state_.Contains(csLoading)) {
    state_.Exclude(csLoading);
    Loaded();
  }
}

void TComponent::Loaded() { state_.Exclude(csLoading); }
