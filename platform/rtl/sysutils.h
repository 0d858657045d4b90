// Strings, conversions, formatting, dates and file names, as the framework's
// run-time library offers them. Case mapping is ASCII only.
#pragma once

#include <string>
#include <string_view>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/system.h"

std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
// Compares ignoring ASCII case: <0, 0 or >0.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
// Removes blanks and control characters (<= ' ') from both ends.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
