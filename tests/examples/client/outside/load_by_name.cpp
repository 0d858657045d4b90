// A client that links the platform library alone and loads the packages named on its
// command line by their bare names, as the README says; prints the file of each.
#include <dlfcn.h>

#include <cstdio>

#include "platform/rtl/sysutils.h"

int main(int argc, char** argv) {
  try {
    for (int i = 1; i < argc; ++i) {
      const HMODULE module = LoadPackage(argv[i]);
      Dl_info info{};
      dladdr(reinterpret_cast<const void*>(module), &info);
      std::printf("%s %s\n", argv[i], info.dli_fname);
      UnloadPackage(module);
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
