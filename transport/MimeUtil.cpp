#include "transport/MimeUtil.h"

#include <array>
#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr int8_t kInvalid = -1;
constexpr int8_t kPad = -2;
constexpr int8_t kSpace = -3;

// Value of every byte: 0-63 for the alphabet, or one of the markers above.
constexpr std::array<int8_t, 256> MakeTable() {
  std::array<int8_t, 256> t{};
  for (auto& v : t) v = kInvalid;
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = int8_t(i);
  t['='] = kPad;
  for (char c : {' ', '\t', '\r', '\n'}) t[static_cast<unsigned char>(c)] = kSpace;
  return t;
}
constexpr std::array<int8_t, 256> kTable = MakeTable();

}  // namespace

std::string Base64Encode(std::string_view Data) {
  std::string out;
  out.reserve((Data.size() + 2) / 3 * 4);
  size_t i = 0;
  auto byte = [&](size_t k) { return uint32_t(static_cast<unsigned char>(Data[k])); };
  for (; i + 3 <= Data.size(); i += 3) {
    const uint32_t v = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const size_t rest = Data.size() - i;
  if (rest == 1) {
    const uint32_t v = byte(i) << 16;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    const uint32_t v = byte(i) << 16 | byte(i + 1) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string Base64Decode(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() / 4 * 3 + 2);
  uint32_t group = 0;
  int held = 0;  // sextets in group
  for (char ch : Text) {
    const int8_t v = kTable[static_cast<unsigned char>(ch)];
    if (v == kSpace) continue;
    if (v < 0) break;  // padding or a foreign character ends the data
    group = group << 6 | uint32_t(v);
    if (++held == 4) {
      out += char(group >> 16);
      out += char((group >> 8) & 0xFF);
      out += char(group & 0xFF);
      group = 0;
      held = 0;
    }
  }
  if (held == 2) {
    out += char(group >> 4);
  } else if (held == 3) {
    out += char(group >> 10);
    out += char((group >> 2) & 0xFF);
  }
  return out;
}
