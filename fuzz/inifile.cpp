// Any bytes must read as an ini file without crashing, and every read and edit of
// what was read must work.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string_view>

#include "platform/rtl/inifiles.h"
#include "platform/rtl/sysutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TStringList text;
  text.SetText(std::string_view(reinterpret_cast<const char*>(data), size));
  TMemIniFile ini("");
  ini.SetStrings(&text);

  TStringList sections, lines, keys;
  ini.ReadSections(&sections);
  // A repeated section name reads and writes the first of that name: each name is
  // edited once, or what is written would grow with every repeat.
  std::set<std::string> seen;
  for (int i = 0; i < sections.Count(); ++i) {
    const std::string section = sections[i];
    if (!seen.insert(LowerCase(section)).second) continue;
    ini.ReadSectionValues(section, &lines);
    ini.ReadSection(section, &keys);
    for (int k = 0; k < lines.Count(); ++k) {
      const std::string name = lines.Names(k);
      ini.ReadString(section, name, "");
      ini.ReadInteger(section, name, 0);
      ini.ReadBool(section, name, false);
      ini.ValueExists(section, name);
      lines.ValueFromIndex(k);
    }
    if (keys.Count() > 0) {
      ini.WriteString(section, keys[0], lines.CommaText());
      ini.DeleteKey(section, keys[keys.Count() - 1]);
    }
  }
  if (sections.Count() > 0) ini.EraseSection(sections[0]);
  TStringList out;
  ini.GetStrings(&out);
  TMemIniFile again("");
  again.SetStrings(&out);
  return 0;
}
