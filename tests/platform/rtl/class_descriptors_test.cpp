// Every class of the platform library has its descriptor in the library itself, so a
// program and the packages it loads share one descriptor per class (a class whose
// members are all inline would otherwise get a copy in each module that uses it).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

TEST(ClassDescriptors, EveryPlatformClassHasItsDescriptorInTheLibrary) {
  void* library = dlopen("libvxplatform.so", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr);
  const std::regex declared(R"(^\s*VX_(CLASS|EXCEPTION)\((\w+),)");
  std::vector<std::string> missing;
  int seen = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(std::string(VX_SOURCE_DIR) + "/platform")) {
    if (entry.path().extension() != ".h") continue;
    std::ifstream in(entry.path());
    for (std::string line; std::getline(in, line);) {
      std::smatch m;
      if (!line.empty() && line.back() == '\\') continue;  // inside a macro's definition
      if (!std::regex_search(line, m, declared)) continue;
      const std::string name = m[2];
      // The descriptor: the static "info" of Name::StaticClass().
      const std::string symbol = "_ZZN" + std::to_string(name.size()) + name + "11StaticClassEvE4info";
      ++seen;
      if (!dlsym(library, symbol.c_str())) missing.push_back(name + " (" + entry.path().filename().string() + ")");
    }
  }
  dlclose(library);
  EXPECT_GT(seen, 100);
  EXPECT_EQ(missing, std::vector<std::string>{}) << "give each an out-of-line member in the library";
}

}  // namespace
