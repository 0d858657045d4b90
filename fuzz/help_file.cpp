// Any bytes must read as a help file in code page 949 without crashing, and every
// line's code must find the first line of that code, with the text after its "|".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TEncoding* cp949 = TEncoding::GetEncoding(949);
  const std::string text = cp949->GetString(std::string_view(reinterpret_cast<const char*>(data), size));
  TStringList lines;
  lines.SetNameValueSeparator('|');
  lines.SetCaseSensitive(true);
  lines.SetText(text);
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string line = lines[i];
    const size_t bar = line.find('|');
    if (bar == std::string::npos) continue;
    const int first = lines.IndexOfName(line.substr(0, bar));
    if (first < 0 || first > i) std::abort();
    const std::string found = lines[first];
    if (lines.ValueFromIndex(first) != found.substr(found.find('|') + 1)) std::abort();
  }
  // What was read writes back in the code page and reads again as the same lines.
  TStringList again;
  again.SetText(cp949->GetString(cp949->GetBytes(lines.Text())));
  if (again.Count() != lines.Count()) std::abort();
  return 0;
}
