// Variants: the framework's conversions between kinds and the cast errors, and
// collections: ownership, order, update brackets.
#include "platform/rtl/variants.h"

#include <gtest/gtest.h>

#include "platform/rtl/classes.h"

TEST(Variant, ConvertsAsTheFrameworkDoesAndRaisesWhereItCannot) {
  struct Case {
    Variant value;
    TVarType to;
    Variant expected;  // Empty: the conversion raises
  };
  const Case cases[] = {
      {Variant("12"), varInteger, Variant(12)},
      {Variant(" 2.5 "), varDouble, Variant(2.5)},
      {Variant(2.5), varInteger, Variant(2)},  // halves to even
      {Variant(3.5), varInteger, Variant(4)},
      {Variant(true), varInteger, Variant(-1)},
      {Variant("true"), varBoolean, Variant(true)},
      {Variant("0"), varBoolean, Variant(false)},
      {Variant("yes"), varBoolean, Variant()},
      {Variant(1.23456), varCurrency, Variant(Currency::FromRaw(12346))},
      {Variant(Currency::FromRaw(-5)), varString, Variant("-0.0005")},
      {Variant(Currency::FromRaw(210000000)), varString, Variant("21000")},
      {Variant(0.1), varString, Variant("0.1")},
      {Variant(false), varString, Variant("False")},
      {Variant(int64_t(1) << 40), varInteger, Variant()},
      {Variant::Null(), varString, Variant()},
      {Variant::Null(), varInteger, Variant()},
      {Variant(), varInteger, Variant(0)},
      {Variant("x"), varDouble, Variant()},
      {Variant(1e300), varCurrency, Variant()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(VarTypeName(c.value.VarType()) + " " + VarToStr(c.value) + " -> " + VarTypeName(c.to));
    if (c.expected.IsEmpty()) {
      try {
        c.value.AsType(c.to);
        ADD_FAILURE() << "converted";
      } catch (const EVariantTypeCastError& e) {
        EXPECT_EQ(e.Message(), "Could not convert variant of type (" + VarTypeName(c.value.VarType()) +
                                   ") into type (" + VarTypeName(c.to) + ")");
      }
      continue;
    }
    EXPECT_EQ(c.value.AsType(c.to), c.expected);
  }
  EXPECT_EQ(VarToStr(Variant::Null()), "");
  EXPECT_FALSE(Variant(0) == Variant(int64_t(0)));  // same value, other kind
}

namespace {
class TItem : public TCollectionItem {
  VX_CLASS(TItem, TCollectionItem)

 public:
  explicit TItem(TCollection* C) : TCollectionItem(C) {}
  int value = 0;
  void Assign(TPersistent* Source) override { value = static_cast<TItem*>(Source)->value; }
};

class TItems : public TCollection {
 public:
  TItems() : TCollection(TItem::StaticClass(), [](TCollection* c) -> TCollectionItem* { return new TItem(c); }) {}
  TItem* At(int i) const { return static_cast<TItem*>(Items(i)); }
  int updates = 0;

 protected:
  void Update(TCollectionItem*) override { ++updates; }
};
}  // namespace

TEST(Collection, OwnsItsItemsKeepsTheirOrderAndToldOncePerBracket) {
  TItems items;
  for (int i = 0; i < 3; ++i) static_cast<TItem*>(items.Add())->value = i;
  EXPECT_EQ(items.updates, 3);
  TItem* second = items.At(1);
  EXPECT_EQ(second->Index(), 1);
  EXPECT_EQ(items.FindItemID(second->ID()), second);
  second->SetIndex(0);
  EXPECT_EQ(items.At(0), second);
  static_cast<TItem*>(items.Insert(1))->value = 9;
  EXPECT_EQ(items.At(1)->value, 9);
  items.BeginUpdate();
  items.Delete(1);
  delete items.At(0);  // an item freed leaves its collection
  items.EndUpdate();
  ASSERT_EQ(items.Count(), 2);
  EXPECT_EQ(items.At(0)->value, 0);
  const int before = items.updates;
  TItems copy;
  copy.Assign(&items);
  EXPECT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.At(1)->value, 2);
  EXPECT_EQ(items.updates, before);
  EXPECT_THROW(items.Items(2), EListError);
  TItems other;
  items.At(0)->SetCollection(&other);
  EXPECT_EQ(items.Count(), 1);
  EXPECT_EQ(other.Count(), 1);
}
