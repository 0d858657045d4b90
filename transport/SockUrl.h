// URL splitting and the small text helpers of the HTTP client.
#pragma once

#include <string>
#include <string_view>

// Splits URL into scheme, user, password, host, port and path. Path is also an input:
// its value on entry is the base that relative names ("./x", "../x") are resolved
// against. Never fails; an unparsable text leaves fields empty.
void SplitURL(std::string_view URL, std::string& Proto, std::string& User, std::string& Pass, std::string& Host,
              std::string& Port, std::string& Path);

bool IsHexDigitChar(char Ch);
// The value 0-15 of a hexadecimal digit.
int HexDigitValue(char Ch);

// 1-based position of the N-th occurrence of Pattern in Text, counted from the end for
// a negative N and from the start for a positive one; 0 when there are fewer or N is 0.
int PosFromEnd(std::string_view Pattern, std::string_view Text, int N);
