// Tagged texts for the rich label: the parser ends on any text, never gives a piece of
// the text twice (the runs together are never longer than the text), and the attribute
// readers take any attribute text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bizcontrols/HtmlParser.h"
#include "bizcontrols/vxXLabelHelper.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  static THtmlParser parser(nullptr, "BR,B,I,U,A,BLINK,MARQUEE,FONT");
  const int runs = parser.Parse(text);
  size_t total = 0;
  for (int i = 0; i < runs; ++i) {
    const std::string str = parser.GetParsedItemStr(i), prop = parser.GetParsedItemProp(i);
    total += str.size();
    if (parser.GetParsedItemGID(i) < -1) abort();
    if (parser.GetParsedItemType(i) == 1 && !str.empty()) abort();
    Integer value = 0;
    TvxXLabelHelper::TryGetIntegerFromProp(prop, "SIZE", value);
    TvxXLabelHelper::GetDirection(prop);
    TvxXLabelHelper::GetColorFromProp(prop);
  }
  if (total > text.size()) abort();
  return 0;
}
