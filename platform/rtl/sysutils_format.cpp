// Format, floating-point texts and rounding.
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/rtl/sysutils.h"

namespace {

// A number as decimal digits: value = 0.d1d2d3... x 10^exponent. No trailing zeros
// in digits; empty digits mean zero.
struct Decimal {
  bool negative = false;
  int exponent = 0;
  std::string digits;
  const char* special = nullptr;  // "NAN", "INF", "-INF"
};

constexpr int kMaxDigits = 18;  // what the 64-bit mantissa of long double carries

// Rounds to at most `precision` significant digits and `decimals` digits after the
// decimal point, halves away from zero, as the framework's conversion does.
Decimal ToDecimal(long double value, int precision, int decimals) {
  Decimal d;
  if (std::isnan(value)) {
    d.special = "NAN";
    return d;
  }
  if (std::isinf(value)) {
    d.special = value < 0 ? "-INF" : "INF";
    return d;
  }
  d.negative = std::signbit(value);
  value = std::fabs(value);
  if (value == 0) return d;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*Le", kMaxDigits - 1, value);
  // buf: d.ddddddddddddddddde[+-]xx
  std::string all;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p != '.') all.push_back(*p);
  d.exponent = std::atoi(p + 1) + 1;
  precision = std::clamp(precision, 1, kMaxDigits);
  const long keep = std::min<long>(precision, long(d.exponent) + decimals);
  if (keep < 0) {
    d.exponent = 0;
    return d;
  }
  bool up = static_cast<size_t>(keep) < all.size() && all[static_cast<size_t>(keep)] >= '5';
  all.resize(static_cast<size_t>(keep));
  for (size_t i = all.size(); up && i-- > 0;) {
    if (all[i] == '9') {
      all[i] = '0';
    } else {
      ++all[i];
      up = false;
    }
  }
  if (up) {
    all.insert(all.begin(), '1');
    ++d.exponent;
  }
  while (!all.empty() && all.back() == '0') all.pop_back();
  if (all.empty()) d.exponent = 0;
  d.digits = std::move(all);
  return d;
}

char DigitAt(const Decimal& d, long index) {
  return index >= 0 && static_cast<size_t>(index) < d.digits.size() ? d.digits[static_cast<size_t>(index)] : '0';
}

std::string GroupThousands(const std::string& digits) {
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

std::string IntegerDigits(const Decimal& d) {
  std::string s;
  for (long i = 0; i < d.exponent; ++i) s.push_back(DigitAt(d, i));
  return s;
}

std::string FixedText(const Decimal& d, int decimals, bool thousands) {
  if (d.special) return d.special;
  std::string intPart = IntegerDigits(d);
  if (intPart.empty()) intPart.push_back('0');
  std::string out = (d.negative && !d.digits.empty()) ? "-" : "";
  out += thousands ? GroupThousands(intPart) : intPart;
  if (decimals > 0) {
    out.push_back('.');
    for (int k = 0; k < decimals; ++k) out.push_back(DigitAt(d, long(d.exponent) + k));
  }
  return out;
}

std::string ExponentText(const Decimal& d, int mantissaDigits, bool general) {
  std::string out = (d.negative && !d.digits.empty()) ? "-" : "";
  const int exp = d.digits.empty() ? 0 : d.exponent - 1;
  out.push_back(DigitAt(d, 0));
  const int fraction = general ? int(d.digits.size()) - 1 : mantissaDigits - 1;
  if (fraction > 0) {
    out.push_back('.');
    for (int k = 1; k <= fraction; ++k) out.push_back(DigitAt(d, k));
  }
  out.push_back('E');
  std::string e = std::to_string(exp < 0 ? -exp : exp);
  if (general) {
    if (exp < 0) out.push_back('-');
  } else {
    out.push_back(exp < 0 ? '-' : '+');
    if (e.size() < 3) e.insert(0, 3 - e.size(), '0');
  }
  return out + e;
}

std::string GeneralText(long double value, int precision) {
  const Decimal d = ToDecimal(value, precision, 9999);
  if (d.special) return d.special;
  if (d.digits.empty()) return "0";
  if (d.exponent > std::clamp(precision, 1, kMaxDigits) || d.exponent < -3) return ExponentText(d, 0, true);
  std::string out = d.negative ? "-" : "";
  if (d.exponent <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-d.exponent), '0');
    return out + d.digits;
  }
  out += IntegerDigits(d);
  if (d.digits.size() > static_cast<size_t>(d.exponent)) {
    out.push_back('.');
    out.append(d.digits, static_cast<size_t>(d.exponent));
  }
  return out;
}

}  // namespace

// ---- Format ----

namespace vx_format {

void FormatTextDoesNotMatchItsArguments() {}

namespace {

[[noreturn]] void Incompatible(std::string_view fmt) {
  throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

std::string UnsignedText(uint64_t v, int base) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v, base);
  std::string s(buf, r.ptr);
  for (char& c : s) c = Upper(c);
  return s;
}

uint64_t Wrapped(const Arg& a) {
  const int bytes = a.bytes < 4 ? 4 : a.bytes;
  return bytes >= 8 ? a.bits : (a.bits & ((uint64_t{1} << (8 * bytes)) - 1));
}

std::string IntegerField(const Arg& a, char type, int precision) {
  std::string sign, digits;
  if (type == 'D' && !a.isUnsigned && static_cast<int64_t>(a.bits) < 0) {
    sign = "-";
    digits = UnsignedText(uint64_t{0} - a.bits, 10);
  } else if (type == 'D') {
    digits = UnsignedText(a.bits, 10);
  } else {
    digits = UnsignedText(Wrapped(a), type == 'X' ? 16 : 10);
  }
  if (precision > static_cast<int>(digits.size())) digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
  return sign + digits;
}

std::string FloatField(long double v, char type, int precision) {
  switch (type) {
    case 'E':
      return ExponentText(ToDecimal(v, precision < 0 ? 15 : precision, 9999),
                          std::clamp(precision < 0 ? 15 : precision, 1, kMaxDigits), false);
    case 'F':
    case 'N': {
      const int decimals = std::min(precision < 0 ? 2 : precision, kMaxDigits);
      return FixedText(ToDecimal(v, kMaxDigits, decimals), decimals, type == 'N');
    }
    default:
      return GeneralText(v, precision < 0 ? 15 : precision);
  }
}

}  // namespace

std::string FormatArgs(std::string_view fmt, const Arg* args, size_t count) {
  std::string out;
  size_t pos = 0, next = 0;
  Piece p;
  auto take = [&](ArgKind kind) -> const Arg& {
    if (next >= count || args[next].kind != kind) Incompatible(fmt);
    return args[next++];
  };
  while (pos < fmt.size()) {
    if (!NextPiece(fmt, pos, p)) Incompatible(fmt);
    out.append(p.literal);
    if (!p.hasSpec) continue;
    bool left = p.left;
    int width = p.width, precision = p.precision;
    if (p.widthStar) {
      const Arg& a = take(ArgKind::Integer);
      const int64_t w = static_cast<int64_t>(a.bits);
      left = left || w < 0;
      width = static_cast<int>(std::min<int64_t>(w < 0 ? -w : w, 100000));
    }
    if (p.precisionStar) {
      const int64_t v = static_cast<int64_t>(take(ArgKind::Integer).bits);
      precision = v < 0 ? -1 : static_cast<int>(std::min<int64_t>(v, 100000));
    }
    const Arg& a = take(KindForType(p.type));
    std::string field;
    switch (a.kind) {
      case ArgKind::Integer:
        field = IntegerField(a, p.type, precision);
        break;
      case ArgKind::Float:
        field = FloatField(a.real, p.type, precision);
        break;
      case ArgKind::String:
        field = std::string(precision >= 0 ? a.text.substr(0, static_cast<size_t>(precision)) : a.text);
        break;
      case ArgKind::Pointer:
        field = IntToHex(reinterpret_cast<uintptr_t>(a.pointer), int(2 * sizeof(void*)));
        break;
    }
    if (width > static_cast<int>(field.size())) {
      const size_t pad = static_cast<size_t>(width) - field.size();
      if (left)
        field.append(pad, ' ');
      else
        field.insert(0, pad, ' ');
    }
    out += field;
  }
  return out;
}

}  // namespace vx_format

// ---- Floating point ----

std::string FloatToStr(long double Value) { return GeneralText(Value, 15); }

bool TryStrToFloat(std::string_view S, double& Value) {
  std::string_view s = S;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  // Check the shape ourselves: from_chars alone would accept "inf" and hex forms.
  // magnitude: the decimal exponent of the first significant digit, to tell an
  // overflow from an underflow.
  size_t i = 0, digits = 0;
  long magnitude = 0;
  bool significant = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++digits) {
    significant = significant || s[i] != '0';
    if (significant) ++magnitude;
  }
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++digits) {
      if (!significant && s[i] == '0') --magnitude;
      significant = significant || s[i] != '0';
    }
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    const bool negativeExp = i < s.size() && s[i] == '-';
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t expDigits = 0;
    long exp = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++expDigits) exp = std::min(exp * 10 + (s[i] - '0'), 100000L);
    if (expDigits == 0) return false;
    magnitude += negativeExp ? -exp : exp;
  }
  if (i != s.size()) return false;
  if (s.front() == '+') s.remove_prefix(1);
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    if (magnitude > 0) return false;  // overflow
    v = 0;                            // underflow reads as zero
  } else if (r.ec != std::errc()) {
    return false;
  }
  Value = v;
  return true;
}

double StrToFloat(std::string_view S) {
  double v;
  if (!TryStrToFloat(S, v)) throw EConvertError("'" + std::string(S) + "' is not a valid floating point value");
  return v;
}

double StrToFloatDef(std::string_view S, double Default) {
  double v;
  return TryStrToFloat(S, v) ? v : Default;
}

namespace {

// One section of a FormatFloat picture, read into literal text and placeholders.
struct Picture {
  enum TokenKind { kLiteral, kInteger, kPoint, kFraction };
  struct Token {
    TokenKind kind;
    std::string text;
  };
  std::vector<Token> tokens;
  int integerPlaces = 0, requiredInteger = 0, fractionPlaces = 0, requiredFraction = 0;
  bool thousands = false;
  bool hasPlaceholders = false;
};

Picture ReadPicture(std::string_view s) {
  Picture p;
  bool afterPoint = false;
  int firstZero = -1;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"' || c == '\'') {
      const size_t end = s.find(c, i + 1);
      const size_t stop = end == std::string_view::npos ? s.size() : end;
      p.tokens.push_back({Picture::kLiteral, std::string(s.substr(i + 1, stop - i - 1))});
      i = stop;
    } else if (c == '0' || c == '#') {
      p.hasPlaceholders = true;
      if (afterPoint) {
        ++p.fractionPlaces;
        if (c == '0') p.requiredFraction = p.fractionPlaces;
        p.tokens.push_back({Picture::kFraction, {}});
      } else {
        if (c == '0' && firstZero < 0) firstZero = p.integerPlaces;
        ++p.integerPlaces;
        p.tokens.push_back({Picture::kInteger, {}});
      }
    } else if (c == '.' && !afterPoint) {
      afterPoint = true;
      p.tokens.push_back({Picture::kPoint, {}});
    } else if (c == ',') {
      p.thousands = true;
    } else {
      p.tokens.push_back({Picture::kLiteral, std::string(1, c)});
    }
  }
  p.requiredInteger = firstZero < 0 ? 0 : p.integerPlaces - firstZero;
  return p;
}

std::vector<std::string_view> SplitSections(std::string_view s) {
  std::vector<std::string_view> out;
  size_t start = 0;
  char quote = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (quote) {
      if (s[i] == quote) quote = 0;
    } else if (s[i] == '"' || s[i] == '\'') {
      quote = s[i];
    } else if (s[i] == ';' && out.size() < 2) {
      out.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(s.substr(start));
  return out;
}

// Formats |value| by one section; `isZero` tells whether it rounded to nothing.
std::string ApplyPicture(const Picture& p, long double value, bool& isZero) {
  const Decimal d = ToDecimal(std::fabs(value), kMaxDigits, p.fractionPlaces);
  isZero = d.digits.empty();
  if (d.special) return d.special;
  std::string integer = IntegerDigits(d);
  if (static_cast<int>(integer.size()) < p.requiredInteger)
    integer.insert(0, static_cast<size_t>(p.requiredInteger) - integer.size(), '0');
  std::string fraction;
  for (int k = 0; k < p.fractionPlaces; ++k) fraction.push_back(DigitAt(d, long(d.exponent) + k));
  while (static_cast<int>(fraction.size()) > p.requiredFraction && fraction.back() == '0') fraction.pop_back();

  std::string out;
  const long n = static_cast<long>(integer.size());
  long placeIndex = 0;  // which integer placeholder comes next
  size_t fractionIndex = 0;
  auto putDigit = [&](long i) {
    out.push_back(integer[static_cast<size_t>(i)]);
    const long rest = n - i - 1;
    if (p.thousands && rest > 0 && rest % 3 == 0) out.push_back(',');
  };
  for (const auto& t : p.tokens) {
    switch (t.kind) {
      case Picture::kLiteral:
        out += t.text;
        break;
      case Picture::kInteger: {
        // Integer digits line up with the placeholders from the right; the first
        // placeholder also takes every digit that has no placeholder of its own.
        const long digit = n - p.integerPlaces + placeIndex;
        if (placeIndex == 0)
          for (long i = 0; i < digit; ++i) putDigit(i);
        if (digit >= 0) putDigit(digit);
        ++placeIndex;
        break;
      }
      case Picture::kPoint:
        if (!fraction.empty()) out.push_back('.');
        break;
      case Picture::kFraction:
        if (fractionIndex < fraction.size()) out.push_back(fraction[fractionIndex]);
        ++fractionIndex;
        break;
    }
  }
  return out;
}

}  // namespace

std::string FormatFloat(std::string_view PictureText, long double Value) {
  if (PictureText.empty()) return FloatToStr(Value);
  const auto sections = SplitSections(PictureText);
  auto usable = [&](size_t i) { return i < sections.size() && !sections[i].empty(); };
  const bool negative = Value < 0;
  size_t section = (negative && usable(1)) ? 1 : 0;
  if (Value == 0 && usable(2)) section = 2;
  const Picture picture = ReadPicture(sections[section]);
  bool isZero = false;
  std::string text = ApplyPicture(picture, Value, isZero);
  if (isZero && section != 2 && usable(2)) return ApplyPicture(ReadPicture(sections[2]), 0, isZero);
  if (negative && section == 0 && !isZero && picture.hasPlaceholders) text.insert(text.begin(), '-');
  return text;
}

namespace {
void CheckRange(double v) {
  if (!(v > -9223372036854775808.0 && v < 9223372036854775808.0))
    throw EInvalidOp("Invalid floating point operation");
}
}  // namespace

Int64 Trunc(double Value) {
  CheckRange(Value);
  return static_cast<Int64>(Value);
}

Int64 Round(double Value) {
  const double f = std::floor(Value);
  const double diff = Value - f;
  double r = f;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(f, 2.0) != 0)) r = f + 1;
  CheckRange(r);
  return static_cast<Int64>(r);
}
