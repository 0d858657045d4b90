// NTLM negotiate, challenge and authenticate messages (LM and NT responses), carried
// Base64-encoded in the HTTP authorisation headers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

using TNtlmChallenge = std::array<uint8_t, 8>;

// A parsed challenge (type-2) message.
struct TNTLM_Msg2_Info {
  bool Valid = false;  // false for an empty text or a message that holds no challenge
  std::u16string TargetName;
  std::u16string DomainName;  // target information entry 2
  std::u16string ServerName;  // target information entry 1
  TNtlmChallenge Challenge{};
};

// Base64 text of a negotiate (type-1) message; both texts are upper-cased.
std::string BuildNtlmNegotiate(std::string_view Workstation, std::string_view Domain);
// Parses the Base64 text that follows "NTLM " in a challenge header.
TNTLM_Msg2_Info ParseNtlmChallenge(std::string_view Base64Text);
// Base64 text of an authenticate (type-3) message answering Challenge.
std::string BuildNtlmAuthenticate(std::string_view Domain, std::string_view Host, std::string_view User,
                                  const TNtlmChallenge& Challenge, std::string_view Password);

// Every byte followed by a zero byte (UTF-16LE for ASCII text).
std::string NtlmUnicode(std::string_view Text);
// The DES encryption of Block under the key spread from the 7 bytes of Key7.
std::array<uint8_t, 8> DesKeyFrom7(const uint8_t Key7[7], const uint8_t Block[8]);
// 24-byte responses to Challenge.
std::string LmResponse(std::string_view Password, const TNtlmChallenge& Challenge);
std::string NtResponse(std::string_view Password, const TNtlmChallenge& Challenge);
