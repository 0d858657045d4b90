#include "transport/SockNtlmMsgs.h"

#include <cstring>

#include "platform/rtl/sysutils.h"
#include "transport/MimeUtil.h"
#include "transport/SockDES.h"
#include "transport/SockMD4.h"

namespace {

constexpr char kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', '\0'};
constexpr uint32_t kNegotiateFlags = 0x00008207;
constexpr uint32_t kFlagWorkstationSupplied = 0x2000;
constexpr uint32_t kFlagDomainSupplied = 0x1000;
constexpr uint32_t kAuthenticateFlags = 0x00008205;
constexpr uint32_t kFlagUnicode = 0x0001;
constexpr uint8_t kLmMagic[8] = {'K', 'G', 'S', '!', '@', '#', '$', '%'};

void PutWord(std::string& m, size_t at, uint16_t v) {
  m[at] = char(v & 0xFF);
  m[at + 1] = char(v >> 8);
}
void PutLong(std::string& m, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) m[at + i] = char((v >> (8 * i)) & 0xFF);
}
// A security buffer: length, maximum length (the same) and offset.
void PutBuffer(std::string& m, size_t at, size_t length, size_t offset) {
  PutWord(m, at, uint16_t(length));
  PutWord(m, at + 2, uint16_t(length));
  PutLong(m, at + 4, uint32_t(offset));
}

uint16_t GetWord(std::string_view m, size_t at) {
  return uint16_t(uint8_t(m[at]) | uint8_t(m[at + 1]) << 8);
}
uint32_t GetLong(std::string_view m, size_t at) {
  return uint32_t(uint8_t(m[at])) | uint32_t(uint8_t(m[at + 1])) << 8 | uint32_t(uint8_t(m[at + 2])) << 16 |
         uint32_t(uint8_t(m[at + 3])) << 24;
}

std::string Header(size_t size, uint32_t type) {
  std::string m(size, '\0');
  std::memcpy(m.data(), kSignature, 8);
  PutLong(m, 8, type);
  return m;
}

// Text of a challenge field: UTF-16LE when the server chose Unicode, else one byte a character.
std::u16string WideText(std::string_view bytes, bool unicode) {
  std::u16string w;
  if (unicode) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) w += char16_t(GetWord(bytes, i));
  } else {
    for (char c : bytes) w += char16_t(uint8_t(c));
  }
  return w;
}

// The bytes a security buffer at Header designates, or nothing when it lies outside the message.
std::string_view BufferBytes(std::string_view m, size_t header) {
  if (header + 8 > m.size()) return {};
  const size_t length = GetWord(m, header);
  const size_t offset = GetLong(m, header + 4);
  if (offset > m.size() || length > m.size() - offset) return {};
  return m.substr(offset, length);
}

// The three DES encipherings of the challenge with the keys spread from 21 bytes.
std::string Respond(const uint8_t key21[21], const TNtlmChallenge& challenge) {
  std::string r;
  for (int i = 0; i < 3; ++i) {
    const auto block = DesKeyFrom7(key21 + 7 * i, challenge.data());
    r.append(reinterpret_cast<const char*>(block.data()), 8);
  }
  return r;
}

}  // namespace

std::string NtlmUnicode(std::string_view Text) {
  std::string w;
  w.reserve(Text.size() * 2);
  for (char c : Text) {
    w += c;
    w += '\0';
  }
  return w;
}

std::array<uint8_t, 8> DesKeyFrom7(const uint8_t Key7[7], const uint8_t Block[8]) {
  const uint8_t* b = Key7;
  const uint8_t key[8] = {b[0],
                          uint8_t(b[0] << 7 | b[1] >> 1),
                          uint8_t(b[1] << 6 | b[2] >> 2),
                          uint8_t(b[2] << 5 | b[3] >> 3),
                          uint8_t(b[3] << 4 | b[4] >> 4),
                          uint8_t(b[4] << 3 | b[5] >> 5),
                          uint8_t(b[5] << 2 | b[6] >> 6),
                          uint8_t(b[6] << 1)};
  std::array<uint8_t, 8> out{};
  DesBlock(Block, out.data(), key, true);
  return out;
}

std::string LmResponse(std::string_view Password, const TNtlmChallenge& Challenge) {
  uint8_t password[14] = {};
  const std::string upper = UpperCase(Password.substr(0, 14));
  std::memcpy(password, upper.data(), upper.size());
  uint8_t key21[21] = {};
  const auto first = DesKeyFrom7(password, kLmMagic);
  const auto second = DesKeyFrom7(password + 7, kLmMagic);
  std::memcpy(key21, first.data(), 8);
  std::memcpy(key21 + 8, second.data(), 8);
  return Respond(key21, Challenge);
}

std::string NtResponse(std::string_view Password, const TNtlmChallenge& Challenge) {
  const std::string hash = MD4String(NtlmUnicode(Password));
  uint8_t key21[21] = {};
  std::memcpy(key21, hash.data(), 16);
  return Respond(key21, Challenge);
}

std::string BuildNtlmNegotiate(std::string_view Workstation, std::string_view Domain) {
  const std::string ws = UpperCase(Workstation);
  const std::string dom = UpperCase(Domain);
  std::string m = Header(32, 1);
  uint32_t flags = kNegotiateFlags;
  if (!ws.empty()) flags |= kFlagWorkstationSupplied;
  if (!dom.empty()) flags |= kFlagDomainSupplied;
  PutLong(m, 12, flags);
  PutBuffer(m, 16, dom.size(), dom.empty() ? 0 : 32 + ws.size());
  PutBuffer(m, 24, ws.size(), ws.empty() ? 0 : 32);
  m += ws;
  m += dom;
  return Base64Encode(m);
}

TNTLM_Msg2_Info ParseNtlmChallenge(std::string_view Base64Text) {
  TNTLM_Msg2_Info info;
  if (Base64Text.empty()) return info;
  const std::string m = Base64Decode(Base64Text);
  // A challenge message holds at least the signature, the type, the target-name
  // buffer, the flags and the challenge.
  if (m.size() < 32 || std::memcmp(m.data(), kSignature, 8) != 0 || GetLong(m, 8) != 2) return info;
  info.Valid = true;
  const bool unicode = (GetLong(m, 20) & kFlagUnicode) != 0;
  std::memcpy(info.Challenge.data(), m.data() + 24, 8);
  info.TargetName = WideText(BufferBytes(m, 12), unicode);

  const std::string_view targetInfo = BufferBytes(m, 40);
  size_t pos = 0;
  while (pos + 4 <= targetInfo.size()) {
    const uint16_t type = GetWord(targetInfo, pos);
    const uint16_t length = GetWord(targetInfo, pos + 2);
    if (type == 0 && length == 0) break;
    pos += 4;
    if (length > targetInfo.size() - pos) break;
    const std::string_view value = targetInfo.substr(pos, length);
    if (type == 1) info.ServerName = WideText(value, unicode);
    if (type == 2) info.DomainName = WideText(value, unicode);
    pos += length;
  }
  return info;
}

std::string BuildNtlmAuthenticate(std::string_view Domain, std::string_view Host, std::string_view User,
                                  const TNtlmChallenge& Challenge, std::string_view Password) {
  const std::string domain = NtlmUnicode(Domain);
  const std::string user = NtlmUnicode(User);
  const std::string host = NtlmUnicode(Host);
  const std::string lm = LmResponse(Password, Challenge);
  const std::string nt = NtResponse(Password, Challenge);

  std::string m = Header(64, 3);
  size_t offset = 64;
  PutBuffer(m, 28, domain.size(), offset);
  offset += domain.size();
  PutBuffer(m, 36, user.size(), offset);
  offset += user.size();
  PutBuffer(m, 44, host.size(), offset);
  offset += host.size();
  PutBuffer(m, 12, lm.size(), offset);
  offset += lm.size();
  PutBuffer(m, 20, nt.size(), offset);
  PutLong(m, 60, kAuthenticateFlags);
  m += domain + user + host + lm + nt;
  return Base64Encode(m);
}
