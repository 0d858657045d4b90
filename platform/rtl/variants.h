// The framework's variant: one value of a few kinds (nothing, Null, integers,
// floating point, currency, Boolean, text) with the framework's conversions between
// them. A conversion that cannot be made raises EVariantTypeCastError "Could not
// convert variant of type (<from>) into type (<to>)".
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <variant>

#include "platform/rtl/exceptions.h"

VX_EXCEPTION(EVariantError, Exception)
VX_EXCEPTION(EVariantTypeCastError, EVariantError)

// The framework's type codes.
using TVarType = uint16_t;
constexpr TVarType varEmpty = 0x0000;
constexpr TVarType varNull = 0x0001;
constexpr TVarType varInteger = 0x0003;
constexpr TVarType varDouble = 0x0005;
constexpr TVarType varCurrency = 0x0006;
constexpr TVarType varBoolean = 0x000B;
constexpr TVarType varInt64 = 0x0014;
constexpr TVarType varString = 0x0100;

// A fixed-point amount with four decimals, as a 64-bit count of ten-thousandths.
struct Currency {
  int64_t Raw = 0;

  // Rounds to the nearest ten-thousandth (halves to even); raises EInvalidOp outside
  // the range.
  static Currency FromDouble(double Value);
  static Currency FromRaw(int64_t Raw) { return Currency{Raw}; }
  double ToDouble() const { return double(Raw) / 10000.0; }
  auto operator<=>(const Currency&) const = default;
};

// "12.5", "-3", "0.0001": the shortest text with at most four decimals.
std::string CurrToStr(Currency Value);

class Variant {
 public:
  Variant() = default;
  Variant(bool Value) : value_(Value) {}
  Variant(int Value) : value_(int32_t(Value)) {}
  Variant(int64_t Value) : value_(Value) {}
  Variant(double Value) : value_(Value) {}
  Variant(Currency Value) : value_(Value) {}
  Variant(std::string Value) : value_(std::move(Value)) {}
  Variant(const char* Value) : value_(std::string(Value)) {}

  static Variant Null() {
    Variant v;
    v.value_ = NullTag{};
    return v;
  }

  TVarType VarType() const;
  bool IsNull() const { return std::holds_alternative<NullTag>(value_); }
  bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }
  // Empty or Null.
  bool IsClear() const { return IsEmpty() || IsNull(); }
  bool IsNumeric() const;

  // Conversions; each raises EVariantTypeCastError when it cannot be made. Text
  // converts by the framework's rules ("12.5", "True"); Booleans count as -1 and 0;
  // Empty converts to 0, "" and false; Null converts to nothing.
  bool AsBoolean() const;
  int64_t AsInt64() const;
  int32_t AsInteger() const;
  double AsDouble() const;
  Currency AsCurrency() const;
  std::string AsString() const;

  // The value converted to a type code above (varNull and varEmpty give themselves).
  Variant AsType(TVarType Type) const;

  // The stored value, when it is of that kind.
  const std::string* StringPtr() const { return std::get_if<std::string>(&value_); }
  const int32_t* IntegerPtr() const { return std::get_if<int32_t>(&value_); }
  const int64_t* Int64Ptr() const { return std::get_if<int64_t>(&value_); }
  const double* DoublePtr() const { return std::get_if<double>(&value_); }
  const Currency* CurrencyPtr() const { return std::get_if<Currency>(&value_); }
  const bool* BooleanPtr() const { return std::get_if<bool>(&value_); }

  // Same kind and same value.
  bool operator==(const Variant& Other) const { return value_ == Other.value_; }

 private:
  struct NullTag {
    bool operator==(const NullTag&) const { return true; }
  };
  [[noreturn]] void CastError(TVarType To) const;
  int64_t WholeNumber(TVarType Report) const;

  std::variant<std::monostate, NullTag, int32_t, int64_t, double, Currency, bool, std::string> value_;
};

// The name of a type code as the cast error shows it ("Null", "String", ...).
std::string VarTypeName(TVarType Type);
inline bool VarIsNull(const Variant& V) { return V.IsNull(); }
inline bool VarIsEmpty(const Variant& V) { return V.IsEmpty(); }
// The text of a value; "" for Null and Empty.
std::string VarToStr(const Variant& V);
