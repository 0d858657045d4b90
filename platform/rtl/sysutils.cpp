// Strings, integer conversions and the program's parameters.
#include "platform/rtl/sysutils.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiUpper(c);
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiLower(c);
  return r;
}

int CompareText(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(AsciiUpper(a[i]));
    const auto cb = static_cast<unsigned char>(AsciiUpper(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

int CompareStr(std::string_view a, std::string_view b) {
  const int r = a.compare(b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsTrimmed(s[b])) ++b;
  while (e > b && IsTrimmed(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string TrimLeft(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && IsTrimmed(s[b])) ++b;
  return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && IsTrimmed(s[e - 1])) --e;
  return std::string(s.substr(0, e));
}

int Pos(std::string_view SubStr, std::string_view S) { return PosEx(SubStr, S, 1); }

int PosEx(std::string_view SubStr, std::string_view S, int Offset) {
  if (SubStr.empty() || Offset < 1 || static_cast<size_t>(Offset) > S.size()) return 0;
  const size_t at = S.find(SubStr, static_cast<size_t>(Offset - 1));
  return at == std::string_view::npos ? 0 : static_cast<int>(at + 1);
}

std::string Copy(std::string_view S, int Index, int Count) {
  size_t from = Index < 1 ? 0 : static_cast<size_t>(Index - 1);
  if (from >= S.size() || Count <= 0) return std::string();
  return std::string(S.substr(from, static_cast<size_t>(Count)));
}

void Delete(std::string& S, int Index, int Count) {
  if (Index < 1 || static_cast<size_t>(Index) > S.size() || Count <= 0) return;
  S.erase(static_cast<size_t>(Index - 1), static_cast<size_t>(Count));
}

void Insert(std::string_view Source, std::string& S, int Index) {
  size_t at = Index < 1 ? 0 : static_cast<size_t>(Index - 1);
  S.insert(std::min(at, S.size()), Source);
}

std::string StringReplace(std::string_view S, std::string_view OldPattern, std::string_view NewPattern,
                          TReplaceFlags Flags) {
  if (OldPattern.empty()) return std::string(S);
  const bool all = Flags.Contains(rfReplaceAll);
  std::string upperS, upperOld;
  std::string_view hay = S, needle = OldPattern;
  if (Flags.Contains(rfIgnoreCase)) {
    upperS = UpperCase(S);
    upperOld = UpperCase(OldPattern);
    hay = upperS;
    needle = upperOld;
  }
  std::string out;
  size_t from = 0;
  for (;;) {
    const size_t at = hay.find(needle, from);
    if (at == std::string_view::npos) break;
    out.append(S.substr(from, at - from));
    out.append(NewPattern);
    from = at + needle.size();
    if (!all) break;
  }
  out.append(S.substr(from));
  return out;
}

// ---- Integer conversions ----

std::string IntToStr(int64_t Value) { return std::to_string(Value); }

std::string IntToHex(uint64_t Value, int Digits, int TypeBytes) {
  if (TypeBytes < 8) Value &= (uint64_t{1} << (8 * TypeBytes)) - 1;
  char buf[20];
  auto res = std::to_chars(buf, buf + sizeof buf, Value, 16);
  std::string digits(buf, res.ptr);
  for (char& c : digits) c = AsciiUpper(c);
  if (Digits > static_cast<int>(digits.size())) digits.insert(0, static_cast<size_t>(Digits) - digits.size(), '0');
  return digits;
}

namespace {

// Reads an integer of the given width. Hexadecimal may use the full unsigned range.
bool ParseInteger(std::string_view s, int bits, int64_t& out) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  const uint64_t limit = base == 16 ? (bits == 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1)
                                    : (uint64_t{1} << (bits - 1)) - (negative ? 0 : 1);
  uint64_t value = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    if (value > (limit - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) return false;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
  }
  if (base == 16 && bits < 64 && (value >> (bits - 1)))  // wraps to the negative half
    value |= ~uint64_t{0} << bits;
  out = static_cast<int64_t>(negative ? uint64_t{0} - value : value);
  return true;
}

[[noreturn]] void NotAnInteger(std::string_view s) {
  throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
}

}  // namespace

bool TryStrToInt64(std::string_view S, Int64& Value) {
  int64_t v;
  if (!ParseInteger(S, 64, v)) return false;
  Value = v;
  return true;
}

bool TryStrToInt(std::string_view S, Integer& Value) {
  int64_t v;
  if (!ParseInteger(S, 32, v)) return false;
  Value = static_cast<Integer>(v);
  return true;
}

Integer StrToInt(std::string_view S) {
  Integer v;
  if (!TryStrToInt(S, v)) NotAnInteger(S);
  return v;
}

Int64 StrToInt64(std::string_view S) {
  Int64 v;
  if (!TryStrToInt64(S, v)) NotAnInteger(S);
  return v;
}

Integer StrToIntDef(std::string_view S, Integer Default) {
  Integer v;
  return TryStrToInt(S, v) ? v : Default;
}

Int64 DecimalLength(std::string_view S) {
  const std::string t = Trim(S);
  if (t.empty() || t.size() > 18) return -1;
  Int64 v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

Int64 StrToInt64Def(std::string_view S, Int64 Default) {
  Int64 v;
  return TryStrToInt64(S, v) ? v : Default;
}

// ---- Program parameters ----

namespace {
std::mutex g_paramsLock;
std::vector<std::string> g_params;
}  // namespace

void InitParams(int argc, char** argv) {
  std::lock_guard g(g_paramsLock);
  g_params.assign(argv, argv + argc);
}

Integer ParamCount() {
  std::lock_guard g(g_paramsLock);
  return g_params.empty() ? 0 : static_cast<Integer>(g_params.size() - 1);
}

std::string ParamStr(Integer Index) {
  if (Index == 0) {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n > 0) {
      path.resize(static_cast<size_t>(n));
      return path;
    }
  }
  std::lock_guard g(g_paramsLock);
  if (Index < 0 || static_cast<size_t>(Index) >= g_params.size()) return std::string();
  return g_params[static_cast<size_t>(Index)];
}

double EnvironmentSeconds(const char* Name, double Default) {
  const char* text = std::getenv(Name);
  if (!text) return Default;
  // Digits with an optional fraction, and nothing else: no sign, exponent, blank,
  // hexadecimal or infinity.
  const std::string_view s(text);
  const size_t point = s.find('.');
  const auto digits = [](std::string_view Part) {
    return std::all_of(Part.begin(), Part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  const std::string_view whole = s.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
  if (whole.size() + fraction.size() == 0 || !digits(whole) || !digits(fraction)) return Default;
  double seconds = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), seconds, std::chars_format::fixed);
  return error == std::errc() && end == s.data() + s.size() && std::isfinite(seconds) ? seconds : Default;
}

std::u32string Utf8ToCodePoints(std::string_view S) {
  std::u32string out;
  for (size_t i = 0; i < S.size();) {
    const unsigned char c = static_cast<unsigned char>(S[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool valid = len != 0 && i + len <= S.size();
    for (size_t k = 1; valid && k < len; ++k) valid = (static_cast<unsigned char>(S[i + k]) & 0xC0) == 0x80;
    if (!valid) {
      out += char32_t(c);
      ++i;
      continue;
    }
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(S[i + k]) & 0x3F);
    out += cp;
    i += len;
  }
  return out;
}

std::string CodePointToUtf8(char32_t C) {
  std::string out;
  if (C < 0x80) {
    out += char(C);
  } else if (C < 0x800) {
    out += char(0xC0 | (C >> 6));
    out += char(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    out += char(0xE0 | (C >> 12));
    out += char(0x80 | ((C >> 6) & 0x3F));
    out += char(0x80 | (C & 0x3F));
  } else {
    out += char(0xF0 | ((C >> 18) & 0x07));
    out += char(0x80 | ((C >> 12) & 0x3F));
    out += char(0x80 | ((C >> 6) & 0x3F));
    out += char(0x80 | (C & 0x3F));
  }
  return out;
}
