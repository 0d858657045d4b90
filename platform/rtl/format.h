// Type-safe Format: the framework's "%s %d %u %x %e %f %g %n %p %%" family with
// "-", width, ".precision" and "*". Included by sysutils.h.
//
// The format text is a FormatText, whose constructor only takes a constant
// (a string literal) and checks it against the argument types while compiling.
// Outside text therefore can never become a format by accident. A program-owned
// text chosen at run time (a message of the chosen language's table) is passed
// through TrustedFormat(...), the one explicit escape; it is checked while
// formatting and a mismatch raises EConvertError.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace vx_format {

enum class ArgKind : uint8_t { Integer, Float, String, Pointer };

// One argument as the formatter sees it.
struct Arg {
  ArgKind kind = ArgKind::Integer;
  bool isUnsigned = false;
  uint8_t bytes = 0;   // width of the integer type; %u and %x wrap negative values to it
  uint64_t bits = 0;   // the integer's two's-complement bits
  long double real = 0;
  std::string_view text;
  const void* pointer = nullptr;
};

template <class T>
using Plain = std::remove_cv_t<std::decay_t<T>>;

template <class T>
constexpr bool kIsText = std::is_same_v<Plain<T>, const char*> || std::is_same_v<Plain<T>, char*> ||
                         std::is_same_v<Plain<T>, std::string> ||
                         std::is_same_v<Plain<T>, std::string_view>;

// -1 for a type Format does not take (Booleans, enumerations, class types).
template <class T>
constexpr int KindOf() {
  using U = Plain<T>;
  if constexpr (std::is_same_v<U, bool>) return -1;
  else if constexpr (std::is_same_v<U, char> || kIsText<T>) return int(ArgKind::String);
  else if constexpr (std::is_integral_v<U>) return int(ArgKind::Integer);
  else if constexpr (std::is_floating_point_v<U>) return int(ArgKind::Float);
  else if constexpr (std::is_pointer_v<U> || std::is_same_v<U, std::nullptr_t>) return int(ArgKind::Pointer);
  else return -1;
}

template <class T>
Arg MakeArg(const T& v) {
  using U = Plain<T>;
  Arg a;
  a.kind = ArgKind(KindOf<T>());
  if constexpr (std::is_same_v<U, char>) {
    a.text = std::string_view(&v, 1);
  } else if constexpr (std::is_array_v<T>) {
    a.text = std::string_view(v);
  } else if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) {
    if (v) a.text = std::string_view(v);
  } else if constexpr (kIsText<T>) {
    a.text = std::string_view(v);
  } else if constexpr (std::is_integral_v<U>) {
    a.isUnsigned = std::is_unsigned_v<U>;
    a.bytes = sizeof(U);
    a.bits = static_cast<uint64_t>(v);
    if constexpr (std::is_signed_v<U>) a.bits = static_cast<uint64_t>(static_cast<int64_t>(v));
  } else if constexpr (std::is_floating_point_v<U>) {
    a.real = static_cast<long double>(v);
  } else if constexpr (std::is_same_v<U, std::nullptr_t>) {
    a.pointer = nullptr;
  } else {
    a.pointer = static_cast<const void*>(v);
  }
  return a;
}

// One piece of a format text: literal text, then optionally one specifier.
struct Piece {
  std::string_view literal;
  bool hasSpec = false;
  bool left = false;
  int width = -1;  // -1: none
  bool widthStar = false;
  int precision = -1;  // -1: none
  bool precisionStar = false;
  char type = 0;  // upper case
};

constexpr char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// Reads the piece starting at pos and advances pos. False for a malformed specifier.
constexpr bool NextPiece(std::string_view fmt, size_t& pos, Piece& out) {
  out = Piece{};
  const size_t start = pos;
  while (pos < fmt.size() && fmt[pos] != '%') ++pos;
  out.literal = fmt.substr(start, pos - start);
  if (pos >= fmt.size()) return true;
  ++pos;  // '%'
  if (pos < fmt.size() && fmt[pos] == '%') {
    if (out.literal.empty()) {
      out.literal = fmt.substr(pos, 1);
      ++pos;
      return true;
    }
    --pos;  // emit the literal first; the "%%" comes as the next piece
    return true;
  }
  out.hasSpec = true;
  if (pos < fmt.size() && fmt[pos] == '-') {
    out.left = true;
    ++pos;
  }
  auto number = [&](int& value, bool& star) {
    if (pos < fmt.size() && fmt[pos] == '*') {
      star = true;
      ++pos;
      return;
    }
    while (pos < fmt.size() && fmt[pos] >= '0' && fmt[pos] <= '9') {
      if (value < 0) value = 0;
      if (value < 100000) value = value * 10 + (fmt[pos] - '0');
      ++pos;
    }
  };
  number(out.width, out.widthStar);
  if (pos < fmt.size() && fmt[pos] == '.') {
    ++pos;
    out.precision = 0;
    number(out.precision, out.precisionStar);
  }
  if (pos >= fmt.size()) return false;
  out.type = Upper(fmt[pos++]);
  switch (out.type) {
    case 'D': case 'U': case 'X': case 'E': case 'F': case 'G': case 'N': case 'S': case 'P':
      return true;
    default:
      return false;
  }
}

constexpr ArgKind KindForType(char type) {
  switch (type) {
    case 'D': case 'U': case 'X': return ArgKind::Integer;
    case 'E': case 'F': case 'G': case 'N': return ArgKind::Float;
    case 'S': return ArgKind::String;
    default: return ArgKind::Pointer;
  }
}

// True when the text is well formed and uses exactly kinds[0..count) in order.
constexpr bool Matches(std::string_view fmt, const int* kinds, size_t count) {
  size_t pos = 0, next = 0;
  Piece p;
  while (pos < fmt.size()) {
    if (!NextPiece(fmt, pos, p)) return false;
    if (!p.hasSpec) continue;
    for (bool star : {p.widthStar, p.precisionStar}) {
      if (!star) continue;
      if (next >= count || kinds[next] != int(ArgKind::Integer)) return false;
      ++next;
    }
    if (next >= count || kinds[next] != int(KindForType(p.type))) return false;
    ++next;
  }
  return next == count;
}

// Not constexpr on purpose: reaching it while compiling stops the build with its name.
void FormatTextDoesNotMatchItsArguments();

std::string FormatArgs(std::string_view fmt, const Arg* args, size_t count);

}  // namespace vx_format

// A program-owned format text chosen at run time (see the top of this file).
struct TrustedFormatText {
  std::string_view text;
};
inline TrustedFormatText TrustedFormat(std::string_view text) { return TrustedFormatText{text}; }

template <class... Args>
class FormatText {
 public:
  consteval FormatText(const char* text) : text_(text) {
    constexpr std::array<int, sizeof...(Args) + 1> kinds{vx_format::KindOf<Args>()..., 0};
    if (!vx_format::Matches(text_, kinds.data(), sizeof...(Args)))
      vx_format::FormatTextDoesNotMatchItsArguments();
  }
  FormatText(TrustedFormatText trusted) : text_(trusted.text) {}
  std::string_view Text() const { return text_; }

 private:
  std::string_view text_;
};

// Formats the arguments as the framework's Format does. Raises EConvertError
// "Format '<text>' invalid or incompatible with argument" when a trusted text does
// not fit its arguments.
template <class... Args>
std::string Format(FormatText<std::type_identity_t<Args>...> fmt, const Args&... args) {
  static_assert(((vx_format::KindOf<Args>() >= 0) && ...),
                "Format takes integers, floating-point numbers, characters, strings and pointers; "
                "convert Booleans and enumerations first");
  const std::array<vx_format::Arg, sizeof...(Args) + 1> list{vx_format::MakeArg(args)..., vx_format::Arg{}};
  return vx_format::FormatArgs(fmt.Text(), list.data(), sizeof...(Args));
}
