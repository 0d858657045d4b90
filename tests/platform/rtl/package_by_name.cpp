// Loads the packages named on the command line, as a client program does, and prints
// the file each one was loaded from; then unloads them.
#include <link.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/rtl/sysutils.h"

namespace {

struct TSearch {
  std::string name, file;
};

std::string LoadedFile(const std::string& Name) {
  TSearch search{Name, ""};
  dl_iterate_phdr(
      [](dl_phdr_info* Info, size_t, void* Data) {
        auto* s = static_cast<TSearch*>(Data);
        if (Info->dlpi_name && ExtractFileName(Info->dlpi_name) == s->name) s->file = Info->dlpi_name;
        return 0;
      },
      &search);
  return search.file;
}

}  // namespace

int main(int argc, char** argv) {
  InitParams(argc, argv);
  std::vector<HMODULE> loaded;
  try {
    for (int i = 1; i < argc; ++i) {
      loaded.push_back(LoadPackage(argv[i]));
      std::printf("%s %s\n", argv[i], LoadedFile(argv[i]).c_str());
    }
    for (auto it = loaded.rbegin(); it != loaded.rend(); ++it) UnloadPackage(*it);
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
