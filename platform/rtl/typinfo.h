// Published properties by name: a class lists the properties it publishes with a
// getter and a setter, and code that knows only a property's name (settings pushed to
// many controls, stored form values) reads and writes them. Ordinal values (integers,
// colours, Booleans, enumerations) travel as integers, sets and strings as text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <variant>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/system.h"

VX_EXCEPTION(EPropertyError, Exception)
VX_EXCEPTION(EPropertyConvertError, Exception)

using TPropValue = std::variant<int64_t, std::string>;

struct TPropInfo {
  std::string Name;
  std::function<TPropValue(TObject*)> Get;
  std::function<void(TObject*, const TPropValue&)> Set;
};

// Adds a published property of AClass (and of its descendants). A second
// registration of the same name replaces the first.
void RegisterPublishedProperty(TClass AClass, TPropInfo Info);
// The property of that name (ignoring case) that the instance's class or one of its
// ancestors publishes, or null.
const TPropInfo* GetPropInfo(const TObject* Instance, const std::string& PropName);
inline bool IsPublishedProp(const TObject* Instance, const std::string& PropName) {
  return GetPropInfo(Instance, PropName) != nullptr;
}
// Raises EPropertyError for a property the instance does not publish, and
// EPropertyConvertError for a value of the wrong kind.
void SetPropValue(TObject* Instance, const std::string& PropName, const TPropValue& Value);
TPropValue GetPropValue(TObject* Instance, const std::string& PropName);

namespace vx_typinfo {
[[noreturn]] void RaiseConvertError(const std::string& PropName);
}

// Publishes an ordinal property through member functions:
//   PublishOrdinal<TFoo>("Color", &TFoo::Color, &TFoo::SetColor);
template <class C, class G, class GC, class V, class SC>
void PublishOrdinal(const std::string& Name, G (GC::*Getter)() const, void (SC::*Setter)(V)) {
  using T = std::remove_cvref_t<V>;
  RegisterPublishedProperty(
      C::StaticClass(),
      TPropInfo{Name, [Getter](TObject* o) { return TPropValue(int64_t((static_cast<C*>(o)->*Getter)())); },
                [Setter, Name](TObject* o, const TPropValue& v) {
                  const int64_t* i = std::get_if<int64_t>(&v);
                  if (!i) vx_typinfo::RaiseConvertError(Name);
                  (static_cast<C*>(o)->*Setter)(static_cast<T>(*i));
                }});
}

// Publishes a property kept as text (a set, a string) through conversion functions.
template <class C, class T>
void PublishText(const std::string& Name, std::function<T(C*)> Getter, std::function<void(C*, T)> Setter,
                 std::string (*ToText)(T), T (*FromText)(const std::string&)) {
  RegisterPublishedProperty(
      C::StaticClass(),
      TPropInfo{Name, [Getter, ToText](TObject* o) { return TPropValue(ToText(Getter(static_cast<C*>(o)))); },
                [Setter, FromText, Name](TObject* o, const TPropValue& v) {
                  const std::string* s = std::get_if<std::string>(&v);
                  if (!s) vx_typinfo::RaiseConvertError(Name);
                  Setter(static_cast<C*>(o), FromText(*s));
                }});
}
