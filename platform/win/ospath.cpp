#include "platform/win/ospath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "platform/rtl/sysutils.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The entry of `folder` that equals `name` ignoring case, or "".
std::string MatchIgnoringCase(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return "";
  std::string best;
  while (dirent* e = readdir(dir)) {
    const std::string entry = e->d_name;
    if (entry != "." && entry != ".." && SameText(entry, name) && (best.empty() || entry < best)) best = entry;
  }
  closedir(dir);
  return best;
}

// `name` inside `folder` as it exists (exact, then ignoring case), or "".
std::string ExistingEntry(const std::string& folder, const std::string& name) {
  const std::string prefix = folder.empty() ? "" : (folder == "/" ? "/" : folder + "/");
  if (Exists(prefix + name)) return name;
  return MatchIgnoringCase(folder, name);
}

}  // namespace

std::string ToOsPath(const std::string& Name) {
  std::string path = Name;
  for (char& c : path)
    if (c == '\\') c = '/';
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  const bool absolute = !path.empty() && path[0] == '/';
  std::string result = absolute ? "/" : "";
  bool resolving = true;  // stays true while every part so far exists
  for (size_t i = absolute ? 1 : 0; i < parts.size(); ++i) {
    std::string part = parts[i];
    const bool last = i + 1 == parts.size();
    if (part.empty() && !last) continue;  // doubled separators
    if (resolving && !part.empty() && part != "." && part != "..") {
      const std::string folder = result.empty() ? "" : (result == "/" ? "/" : result.substr(0, result.size() - 1));
      std::string found = ExistingEntry(folder, part);
      if (found.empty() && last && part.size() > 4 && SameText(part.substr(part.size() - 4), ".exe"))
        found = ExistingEntry(folder, part.substr(0, part.size() - 4));
      if (found.empty()) {
        resolving = false;
      } else {
        part = found;
      }
    }
    result += part;
    if (!last) result += "/";
  }
  return result;
}

std::string RuntimeFolder() {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  return dir && *dir ? dir : "/tmp";
}
