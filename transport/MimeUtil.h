// Base64 (RFC 4648 alphabet and padding) for the NTLM messages.
#pragma once

#include <string>
#include <string_view>

// Four characters for every three bytes, "=" padding, no line breaks.
std::string Base64Encode(std::string_view Data);

// Decodes Base64 text. White space is skipped; decoding ends at the first "=" or at the
// first character outside the alphabet (bytes of 128 and above included). A final group
// of two or three characters gives one or two bytes; a lone final character gives none.
std::string Base64Decode(std::string_view Text);
