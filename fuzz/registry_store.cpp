// Any bytes must load as a registry store file without crashing; a store that loads
// must take a change, and what it writes must read back to the same text.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/rtl/registry.h"
#include "platform/rtl/sysutils.h"

namespace {

// The store's folder, made on first use and removed when the run ends.
char gFolder[] = "/tmp/fuzz-registry-XXXXXX";

std::string Folder() {
  static const bool made = [] {
    if (!mkdtemp(gFolder)) return false;
    std::atexit([] { std::filesystem::remove_all(gFolder); });
    return true;
  }();
  return made ? gFolder : "/tmp";
}

// A new file each time, so that the store sees a changed file.
void Put(const std::string& file, const std::string& text) { ReplaceFileContents(file, text); }

std::string Read(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setenv("VX_REGISTRY_DIR", Folder().c_str(), 1);
  const std::string file = Folder() + "/HKEY_CURRENT_USER.reg";
  Put(file, std::string(reinterpret_cast<const char*>(data), size));

  TRegistry reg;
  for (const char* key : {"\\Software", "\\SOFTWARE\\Pelmora\\Orvel", "\\a\\b"}) {
    if (!reg.OpenKeyReadOnly(key)) continue;
    reg.ValueExists("CurVersion");
    try {
      reg.ReadString("CurVersion");
      reg.ReadInteger("UpdateType");
    } catch (const ERegistryException&) {
    }
  }
  if (!reg.OpenKey("\\Software\\Fuzz", true)) return 0;  // a file that does not read stays as it is
  reg.WriteString("Value", "x");
  const std::string written = Read(file);
  // What the store wrote reads back as the same keys: a change writes it again alike.
  Put(file, written);
  reg.WriteString("Value", "y");
  reg.WriteString("Value", "x");
  if (Read(file) != written) __builtin_trap();
  return 0;
}
