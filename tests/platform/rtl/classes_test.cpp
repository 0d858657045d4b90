#include "platform/rtl/classes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::string>* g_deleted = nullptr;

class TProbe : public TComponent {
  VX_CLASS(TProbe, TComponent)

 public:
  explicit TProbe(TComponent* AOwner) : TComponent(AOwner) {}
  ~TProbe() override {
    if (g_deleted) g_deleted->push_back(Name());
  }
  TComponent* watched = nullptr;
  int loadedCalls = 0;
  bool loadingSeenInLoaded = true;

  void Watch(TComponent* c) {
    watched = c;
    if (c) c->FreeNotification(this);
  }
  void Handler(TObject* Sender) { ++handled; }
  void Other(TObject* Sender) {}
  int handled = 0;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == watched) watched = nullptr;
  }
  void Loaded() override {
    loadingSeenInLoaded = ComponentState().Contains(csLoading);
    TComponent::Loaded();
    ++loadedCalls;
  }
};

class TProbeChild : public TProbe {
  VX_CLASS(TProbeChild, TProbe)

 public:
  using TProbe::TProbe;
};

TEST(Component, OwnerDeletesOwnedInReverseOrderAndUnlinksOnDelete) {
  std::vector<std::string> deleted;
  g_deleted = &deleted;
  auto* root = new TProbe(nullptr);
  root->SetName("Root");
  auto* a = new TProbe(root);
  a->SetName("A");
  auto* b = new TProbe(root);
  b->SetName("B");
  auto* c = new TProbe(root);
  c->SetName("C");
  EXPECT_EQ(root->ComponentCount(), 3);
  EXPECT_EQ(b->ComponentIndex(), 1);
  delete b;  // an owned component deleted by hand leaves its owner's list
  EXPECT_EQ(root->ComponentCount(), 2);
  EXPECT_EQ(root->FindComponent("c"), c);
  EXPECT_EQ(root->FindComponent("B"), nullptr);
  delete root;
  EXPECT_EQ(deleted, (std::vector<std::string>{"B", "Root", "C", "A"}));
  g_deleted = nullptr;
}

TEST(Component, NamesAreValidatedAndUniquePerOwnerIgnoringCase) {
  TProbe root(nullptr);
  auto* a = new TProbe(&root);
  a->SetName("Edit1");
  auto* b = new TProbe(&root);
  EXPECT_THROW(b->SetName("EDIT1"), EComponentError);
  EXPECT_THROW(b->SetName("1abc"), EComponentError);
  EXPECT_THROW(b->SetName("a b"), EComponentError);
  b->SetName("Edit2");
  a->SetName("edit1");  // renaming to itself in another case is fine
  EXPECT_EQ(a->Name(), "edit1");
}

TEST(Component, FreeNotificationClearsReferencesAcrossOwners) {
  TProbe left(nullptr), right(nullptr);
  auto* watcher = new TProbe(&left);
  auto* target = new TProbe(&right);
  watcher->Watch(target);
  delete target;
  EXPECT_EQ(watcher->watched, nullptr);
  // The watcher going first must not leave a dangling entry in the target.
  auto* target2 = new TProbe(&right);
  watcher->Watch(target2);
  delete watcher;
  delete target2;  // would touch freed memory if the link were one-sided
}

TEST(Component, LoadingStateAndLoadedOrder) {
  TProbe form(nullptr);
  auto* child = new TProbe(&form);
  form.BeginLoading();
  EXPECT_TRUE(child->ComponentState().Contains(csLoading));
  form.EndLoading();
  EXPECT_EQ(child->loadedCalls, 1);
  EXPECT_EQ(form.loadedCalls, 1);
  EXPECT_FALSE(child->ComponentState().Contains(csLoading));
  EXPECT_FALSE(form.loadingSeenInLoaded);
}

TEST(ClassInfo, NamesInheritanceVirtualConstructionAndRegistry) {
  TProbeChild p(nullptr);
  TObject* o = &p;
  EXPECT_EQ(o->ClassName(), "TProbeChild");
  EXPECT_TRUE(Is<TProbe>(o));
  EXPECT_TRUE(Is<TComponent>(o));
  EXPECT_FALSE(Is<Exception>(o));
  EXPECT_EQ(As<TProbe>(o), &p);
  EXPECT_FALSE(Is<TProbe>(nullptr));

  RegisterClass(TProbeChild::StaticClass());
  TClass cls = FindClass("tprobechild");
  ASSERT_EQ(cls, TProbeChild::StaticClass());
  TProbe owner(nullptr);
  TObject* made = cls->Create(&owner);
  EXPECT_EQ(made->ClassName(), "TProbeChild");
  EXPECT_EQ(owner.ComponentCount(), 1);  // owned, so deleted with the owner
  EXPECT_THROW(FindClass("TNoSuchClass"), EClassNotFound);
  EXPECT_EQ(GetClass("TNoSuchClass"), nullptr);
  UnRegisterClass(TProbeChild::StaticClass());
  EXPECT_EQ(GetClass("TProbeChild"), nullptr);
  EXPECT_THROW(TObject::StaticClass()->Create(), EInvalidOperation);  // no constructor
}

TEST(Persistent, AssignWithoutSupportRaisesWithBothClassNames) {
  TProbe a(nullptr), b(nullptr);
  try {
    a.Assign(&b);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TProbe to a TProbe");
    EXPECT_EQ(e.ClassName(), "EConvertError");
  }
}

TEST(Event, ComparesByObjectAndMethodAndCallsHandler) {
  TProbe p(nullptr), q(nullptr);
  TNotifyEvent e1(&p, &TProbe::Handler), e2(&p, &TProbe::Handler);
  TNotifyEvent e3(&q, &TProbe::Handler), e4(&p, &TProbe::Other), none;
  EXPECT_TRUE(e1 == e2);
  EXPECT_FALSE(e1 == e3);
  EXPECT_FALSE(e1 == e4);
  EXPECT_FALSE(none);
  EXPECT_TRUE(none == nullptr);
  none(&p);  // calling an unassigned event does nothing
  e1(&p);
  e2(&p);
  EXPECT_EQ(p.handled, 2);
  EXPECT_EQ(e1.Data(), &p);

  int calls = 0;
  auto f = TNotifyEvent::FromFunction([&](TObject*) { ++calls; });
  auto g = f;
  auto h = TNotifyEvent::FromFunction([&](TObject*) { ++calls; });
  EXPECT_TRUE(f == g);
  EXPECT_FALSE(f == h);
  g(nullptr);
  EXPECT_EQ(calls, 1);
}

TEST(Set, IncludesExcludesAndCombines) {
  TComponentState s{csLoading, csDesigning};
  EXPECT_TRUE(s.Contains(csLoading));
  s.Exclude(csLoading);
  EXPECT_FALSE(s.Contains(csLoading));
  EXPECT_EQ(s + TComponentState{csLoading}, (TComponentState{csDesigning, csLoading}));
  EXPECT_TRUE((s * TComponentState{csLoading}).Empty());
}

}  // namespace
