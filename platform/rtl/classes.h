// The persistent and component bases: ownership, names, free notification.
#pragma once

#include <string>
#include <vector>

#include "platform/rtl/events.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/system.h"

class TFiler;

// An object that can copy itself from another (Assign) and stream properties.
class TPersistent : public TObject {
  VX_CLASS(TPersistent, TObject)

 public:
  // Copies Source into this object; the base asks Source to AssignTo this object.
  virtual void Assign(TPersistent* Source);
  virtual std::string GetNamePath() const;

 protected:
  // Copies this object into Dest; the base raises EConvertError
  // "Cannot assign a <source class> to a <dest class>".
  virtual void AssignTo(TPersistent* Dest);
  virtual void DefineProperties(TFiler* Filer) {}
  virtual TPersistent* GetOwner() { return nullptr; }
  [[noreturn]] void AssignError(TPersistent* Source);

  friend class TComponent;
};

enum class TOperation { opInsert, opRemove };

enum class TComponentStateItem {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = TSet<TComponentStateItem>;
constexpr auto csLoading = TComponentStateItem::csLoading;
constexpr auto csReading = TComponentStateItem::csReading;
constexpr auto csWriting = TComponentStateItem::csWriting;
constexpr auto csDestroying = TComponentStateItem::csDestroying;
constexpr auto csDesigning = TComponentStateItem::csDesigning;
constexpr auto csUpdating = TComponentStateItem::csUpdating;
constexpr auto csFreeNotification = TComponentStateItem::csFreeNotification;

// A component owns the components created with it as owner and deletes them when it
// is deleted. Components that asked for free notification are told (opRemove) when
// another component goes away, so they can drop their references to it.
class TComponent : public TPersistent {
  VX_CLASS(TComponent, TPersistent)

 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int Index) const;
  int ComponentIndex() const;
  // The owned component of that name (ignoring case), or null.
  TComponent* FindComponent(const std::string& AName) const;

  const std::string& Name() const { return name_; }
  // Raises EComponentError for a name that is not an identifier or that another
  // component of the same owner already has.
  virtual void SetName(const std::string& NewName);
  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t v) { tag_ = v; }

  TComponentState ComponentState() const { return state_; }
  void SetDesigning(bool Value, bool SetChildren = true);

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  void DestroyComponents();
  // Marks this component and its owned components as being destroyed.
  void Destroying();

  // Asks to be told (Notification with opRemove) when AComponent is deleted.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Ends loading: clears csLoading on this component and calls Loaded. Forms built
  // in code call it once their children's properties are set.
  void EndLoading();
  // Sets csLoading on this component and the components it owns.
  void BeginLoading();

  std::string GetNamePath() const override { return name_; }

 protected:
  virtual void Loaded();
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  virtual void ValidateRename(TComponent* AComponent, const std::string& CurName,
                              const std::string& NewName);
  virtual void SetChildOrder(TComponent* Child, int Order) {}
  TPersistent* GetOwner() override { return owner_; }

  void IncludeState(TComponentStateItem s) { state_.Include(s); }
  void ExcludeState(TComponentStateItem s) { state_.Exclude(s); }

 private:
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void RemoveNotification(TComponent* AComponent);

  TComponent* owner_ = nullptr;
  std::string name_;
  intptr_t tag_ = 0;
  TComponentState state_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
};

// True when Name is a valid identifier (letters, digits and "_", not starting with a digit).
bool IsValidIdent(const std::string& Name);
