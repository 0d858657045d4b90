// The run-time library's hot paths against the plain C and C++ library doing the
// least the same job needs: file-name resolution against stat/readdir, string-list
// and ini loading against getline, Format against snprintf.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/rtl/inifiles.h"
#include "platform/rtl/sysutils.h"

namespace fs = std::filesystem;

namespace {

template <class F>
double Seconds(int rounds, F&& f) {
  double best = 1e9;
  for (int r = 0; r < rounds; ++r) {
    const auto start = std::chrono::steady_clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

void Report(const char* what, double ours, double reference, const char* unit, double perUnit) {
  std::printf("%-44s %10.3f %s  reference %10.3f %s  ratio %.2f\n", what, ours * perUnit, unit, reference * perUnit,
              unit, ours / reference);
}

size_t g_sink = 0;  // printed at the end, so no work is optimised away

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("vx-bench-rtl-" + std::to_string(getpid()));
  fs::create_directories(dir / "Program Files" / "App");
  const std::string folder = (dir / "Program Files" / "App").string();
  for (int i = 0; i < 1000; ++i) std::ofstream(folder + "/File" + std::to_string(i) + ".Dll") << "x";

  constexpr int kLookups = 20000;
  const std::string exact = folder + "/File500.Dll";
  const std::string mixed = (dir / "program files" / "APP").string() + "\\file500.DLL";
  struct stat st;
  double ours = Seconds(5, [&] {
    for (int i = 0; i < kLookups; ++i) g_sink += NativePath(exact).size();
  });
  double reference = Seconds(5, [&] {
    for (int i = 0; i < kLookups; ++i) g_sink += lstat(exact.c_str(), &st);
  });
  Report("NativePath, exact name (vs lstat)", ours, reference, "us", 1e6 / kLookups);

  constexpr int kScans = 500;
  ours = Seconds(5, [&] {
    for (int i = 0; i < kScans; ++i) g_sink += NativePath(mixed).size();
  });
  reference = Seconds(5, [&] {
    for (int i = 0; i < kScans; ++i) {
      DIR* d = opendir(folder.c_str());
      while (const dirent* e = readdir(d)) g_sink += e->d_name[0];
      closedir(d);
    }
  });
  Report("NativePath, other case, 1000-entry folder", ours, reference, "us", 1e6 / kScans);
  std::printf("  (reference: one scan of the folder)\n");

  std::string text = "[INSTALL]\r\nVersionInfo=2.0\r\n[FILES]\r\n";
  for (int i = 0; i < 50000; ++i)
    text += "%ROOT%\\bin\\file" + std::to_string(i) + ".dll=0123456789abcdef0123456789abcdef,100000,50000\r\n";
  const std::string list = (dir / "update.ini").string();
  std::ofstream(list, std::ios::binary) << text;
  auto getlines = [&] {
    std::ifstream in(list, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    g_sink += lines.size();
  };
  reference = Seconds(5, getlines);
  ours = Seconds(5, [&] {
    TStringList l;
    l.LoadFromFile(list);
    g_sink += l.Count();
  });
  Report("TStringList.LoadFromFile, 50,000 lines", ours, reference, "ms", 1e3);
  ours = Seconds(5, [&] {
    TMemIniFile ini(list);
    TStringList lines;
    ini.ReadSectionValues("FILES", &lines);
    g_sink += lines.Count();
  });
  Report("TMemIniFile load + section lines, 50,000", ours, reference, "ms", 1e3);
  std::printf("  (reference: getline into a vector of strings)\n");

  constexpr int kFormats = 200000;
  const std::string path = "C:\\Program Files\\App\\bin\\app.dll";
  char buf[256];
  ours = Seconds(5, [&] {
    for (int i = 0; i < kFormats; ++i)
      g_sink += Format("Http Exception: FileName:[%s] StatusCode:[%d] ReasonPhrase:[%s]", path, 404 + i % 3,
                       "Not Found").size();
  });
  reference = Seconds(5, [&] {
    for (int i = 0; i < kFormats; ++i)
      g_sink += std::snprintf(buf, sizeof buf, "Http Exception: FileName:[%s] StatusCode:[%d] ReasonPhrase:[%s]",
                              path.c_str(), 404 + i % 3, "Not Found");
  });
  Report("Format %s %d %s (vs snprintf)", ours, reference, "ns", 1e9 / kFormats);

  fs::remove_all(dir);
  std::printf("(checksum %zu)\n", g_sink);
  return 0;
}
