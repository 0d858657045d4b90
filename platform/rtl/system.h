// Basic types, sets and the root object with its class descriptors.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

using Integer = int32_t;
using Cardinal = uint32_t;
using Int64 = int64_t;
using Byte = uint8_t;
using Word = uint16_t;
using LongWord = uint32_t;
using SmallInt = int16_t;
using Boolean = bool;
using TDateTime = double;  // days since 1899-12-30, fraction = time of day

// A set over an enumeration with at most 64 members, as the framework's set types.
template <class E>
class TSet {
  static_assert(std::is_enum_v<E>);

 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> items) {
    for (E e : items) bits_ |= Bit(e);
  }
  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr TSet& Include(E e) {
    bits_ |= Bit(e);
    return *this;
  }
  constexpr TSet& Exclude(E e) {
    bits_ &= ~Bit(e);
    return *this;
  }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TSet operator+(TSet o) const { return FromBits(bits_ | o.bits_); }
  constexpr TSet operator-(TSet o) const { return FromBits(bits_ & ~o.bits_); }
  constexpr TSet operator*(TSet o) const { return FromBits(bits_ & o.bits_); }
  constexpr bool operator==(const TSet&) const = default;
  constexpr uint64_t Bits() const { return bits_; }
  static constexpr TSet FromBits(uint64_t b) {
    TSet s;
    s.bits_ = b;
    return s;
  }

 private:
  static constexpr uint64_t Bit(E e) { return uint64_t{1} << static_cast<unsigned>(e); }
  uint64_t bits_ = 0;
};

class TObject;
class TComponent;

// A class descriptor: what a class reference of the framework carries.
struct TClassInfo {
  const char* name;
  const TClassInfo* parent;
  // Virtual constructor: creates an instance (owner is used by components only).
  // Null for abstract classes.
  TObject* (*create)(TComponent* owner);

  bool InheritsFrom(const TClassInfo* other) const {
    for (const TClassInfo* c = this; c; c = c->parent)
      if (c == other) return true;
    return false;
  }
  TObject* Create(TComponent* owner = nullptr) const;
};
using TClass = const TClassInfo*;

namespace vx_detail {
template <class T>
constexpr TObject* (*FactoryFor())(TComponent*) {
  if constexpr (std::is_abstract_v<T>) {
    return nullptr;
  } else if constexpr (std::is_constructible_v<T, TComponent*>) {
    return [](TComponent* owner) -> TObject* { return new T(owner); };
  } else if constexpr (std::is_default_constructible_v<T>) {
    return [](TComponent*) -> TObject* { return new T(); };
  } else {
    return nullptr;
  }
}
}  // namespace vx_detail

// Declares the class descriptor of a class derived from TObject. Put it first in the
// class body: VX_CLASS(TFoo, TBar)
#define VX_CLASS(Self, Parent)                                                          \
 public:                                                                                \
  static TClass StaticClass() {                                                         \
    static const TClassInfo info{#Self, Parent::StaticClass(),                          \
                                 ::vx_detail::FactoryFor<Self>()};                      \
    return &info;                                                                       \
  }                                                                                     \
  TClass ClassType() const override { return Self::StaticClass(); }                     \
                                                                                        \
 private:

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
  virtual ~TObject() = default;

  static TClass StaticClass() {
    static const TClassInfo info{"TObject", nullptr, nullptr};
    return &info;
  }
  virtual TClass ClassType() const { return StaticClass(); }
  std::string ClassName() const { return ClassType()->name; }
  bool InheritsFrom(TClass c) const { return ClassType()->InheritsFrom(c); }
  template <class T>
  bool Is() const {
    return InheritsFrom(T::StaticClass());
  }
};

// The framework's "is" and "as" on possibly null objects.
template <class T>
bool Is(const TObject* o) {
  return o && o->Is<T>();
}
template <class T>
T* As(TObject* o) {
  return Is<T>(o) ? static_cast<T*>(o) : nullptr;
}

// Class registry by name (RegisterClass / FindClass / GetClass). A second class of
// the same name replaces the first.
void RegisterClass(TClass c);
void UnRegisterClass(TClass c);
TClass GetClass(const std::string& name);  // null when unknown; name compared ignoring case
TClass FindClass(const std::string& name);  // raises EClassNotFound when unknown
std::vector<TClass> GetRegisteredClasses();

// The code the program ends with, set by whoever decides it (0 by default).
extern Integer ExitCode;
