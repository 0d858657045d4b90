#include "platform/rtl/variants.h"

#include <cmath>
#include <limits>

#include "platform/rtl/sysutils.h"

namespace {

template <class... F>
struct Visitor : F... {
  using F::operator()...;
};
template <class... F>
Visitor(F...) -> Visitor<F...>;

bool TextToBoolean(const std::string& S, bool& Value) {
  const std::string t = Trim(S);
  if (SameText(t, "True")) {
    Value = true;
    return true;
  }
  if (SameText(t, "False")) {
    Value = false;
    return true;
  }
  double d = 0;
  if (!TryStrToFloat(t, d)) return false;
  Value = d != 0;
  return true;
}

}  // namespace

Currency Currency::FromDouble(double Value) {
  const double scaled = Value * 10000.0;
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18) throw EInvalidOp("Invalid floating point operation");
  return Currency{Round(scaled)};
}

std::string CurrToStr(Currency Value) {
  const bool negative = Value.Raw < 0;
  const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(Value.Raw) : uint64_t(Value.Raw);
  std::string out = (negative ? "-" : "") + std::to_string(magnitude / 10000);
  uint64_t fraction = magnitude % 10000;
  if (fraction) {
    std::string digits = std::to_string(fraction);
    digits.insert(0, 4 - digits.size(), '0');
    while (digits.back() == '0') digits.pop_back();
    out += "." + digits;
  }
  return out;
}

std::string VarTypeName(TVarType Type) {
  switch (Type) {
    case varEmpty: return "Empty";
    case varNull: return "Null";
    case varInteger: return "Integer";
    case varDouble: return "Double";
    case varCurrency: return "Currency";
    case varBoolean: return "Boolean";
    case varInt64: return "Int64";
    case varString: return "String";
    default: return "Unknown";
  }
}

TVarType Variant::VarType() const {
  return std::visit(Visitor{[](std::monostate) { return varEmpty; }, [](NullTag) { return varNull; },
                            [](int32_t) { return varInteger; }, [](int64_t) { return varInt64; },
                            [](double) { return varDouble; }, [](Currency) { return varCurrency; },
                            [](bool) { return varBoolean; }, [](const std::string&) { return varString; }},
                    value_);
}

bool Variant::IsNumeric() const {
  const TVarType t = VarType();
  return t == varInteger || t == varInt64 || t == varDouble || t == varCurrency;
}

void Variant::CastError(TVarType To) const {
  throw EVariantTypeCastError("Could not convert variant of type (" + VarTypeName(VarType()) + ") into type (" +
                              VarTypeName(To) + ")");
}

bool Variant::AsBoolean() const {
  return std::visit(Visitor{[&](std::monostate) { return false; }, [&](NullTag) -> bool { CastError(varBoolean); },
                            [](int32_t v) { return v != 0; }, [](int64_t v) { return v != 0; },
                            [](double v) { return v != 0; }, [](Currency v) { return v.Raw != 0; },
                            [](bool v) { return v; },
                            [&](const std::string& s) {
                              bool b = false;
                              if (!TextToBoolean(s, b)) CastError(varBoolean);
                              return b;
                            }},
                    value_);
}

double Variant::AsDouble() const {
  return std::visit(Visitor{[](std::monostate) { return 0.0; }, [&](NullTag) -> double { CastError(varDouble); },
                            [](int32_t v) { return double(v); }, [](int64_t v) { return double(v); },
                            [](double v) { return v; }, [](Currency v) { return v.ToDouble(); },
                            [](bool v) { return v ? -1.0 : 0.0; },
                            [&](const std::string& s) {
                              double d = 0;
                              if (!TryStrToFloat(Trim(s), d)) CastError(varDouble);
                              return d;
                            }},
                    value_);
}

int64_t Variant::AsInt64() const { return WholeNumber(varInt64); }

int32_t Variant::AsInteger() const {
  const int64_t v = WholeNumber(varInteger);
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) CastError(varInteger);
  return int32_t(v);
}

int64_t Variant::WholeNumber(TVarType Report) const {
  if (const int32_t* i = IntegerPtr()) return *i;
  if (const int64_t* i = Int64Ptr()) return *i;
  if (const std::string* s = StringPtr()) {
    int64_t i = 0;
    if (TryStrToInt64(Trim(*s), i)) return i;
  }
  double d = 0;
  try {
    d = AsDouble();
  } catch (const EVariantTypeCastError&) {
    CastError(Report);
  }
  if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) CastError(Report);
  return Round(d);
}

Currency Variant::AsCurrency() const {
  if (const Currency* c = CurrencyPtr()) return *c;
  if (const int32_t* i = IntegerPtr()) return Currency{int64_t(*i) * 10000};
  try {
    return Currency::FromDouble(AsDouble());
  } catch (const Exception&) {
    CastError(varCurrency);
  }
}

std::string Variant::AsString() const {
  return std::visit(Visitor{[](std::monostate) { return std::string(); },
                            [&](NullTag) -> std::string { CastError(varString); },
                            [](int32_t v) { return IntToStr(v); }, [](int64_t v) { return IntToStr(v); },
                            [](double v) { return FloatToStr(v); }, [](Currency v) { return CurrToStr(v); },
                            [](bool v) { return std::string(v ? "True" : "False"); },
                            [](const std::string& s) { return s; }},
                    value_);
}

Variant Variant::AsType(TVarType Type) const {
  if (IsClear() && (Type == varNull || Type == varEmpty)) return *this;
  if (Type == VarType()) return *this;
  switch (Type) {
    case varEmpty: return Variant();
    case varNull: return Null();
    case varInteger: return Variant(AsInteger());
    case varInt64: return Variant(AsInt64());
    case varDouble: return Variant(AsDouble());
    case varCurrency: return Variant(AsCurrency());
    case varBoolean: return Variant(AsBoolean());
    case varString: return Variant(AsString());
    default: CastError(Type);
  }
}

std::string VarToStr(const Variant& V) { return V.IsClear() ? std::string() : V.AsString(); }
