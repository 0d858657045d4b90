#include "platform/rtl/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <unordered_map>
#include <memory>
#include <mutex>

#include "platform/rtl/sysutils.h"
#include "platform/win/process.h"

// ---------------------------------------------------------------- the tree

namespace vx_registry {
struct TValue {
  enum Kind { kString, kDword, kOther };
  std::string name;
  Kind kind = kString;
  std::string text;     // kString
  uint32_t dword = 0;   // kDword
  std::string other;    // kOther: the value's text in the file after "="
};

}  // namespace vx_registry

namespace {

using TRegValue = vx_registry::TValue;

// Names compare without regard to ASCII case: this is the form they are indexed by.
std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return folded;
}

// From this many sub-keys or values on, a key finds them through an index, so that a
// store of many siblings loads and answers in time linear in its size.
constexpr size_t kIndexFrom = 16;

struct TRegKey {
  std::string name;
  std::vector<TRegValue> values;
  std::vector<std::unique_ptr<TRegKey>> keys;
  // Empty until the list grows long, then complete: folded name to entry.
  std::unordered_map<std::string, TRegKey*> keyIndex;
  std::unordered_map<std::string, size_t> valueIndex;

  TRegKey* Find(std::string_view n) {
    if (keys.size() < kIndexFrom) {
      for (auto& k : keys)
        if (SameText(k->name, n)) return k.get();
      return nullptr;
    }
    if (keyIndex.empty())
      for (auto& k : keys) keyIndex.emplace(Fold(k->name), k.get());
    const auto it = keyIndex.find(Fold(n));
    return it == keyIndex.end() ? nullptr : it->second;
  }
  TRegKey* Ensure(std::string_view n) {
    if (TRegKey* k = Find(n)) return k;
    keys.push_back(std::make_unique<TRegKey>());
    TRegKey* k = keys.back().get();
    k->name = n;
    if (!keyIndex.empty()) keyIndex.emplace(Fold(n), k);
    return k;
  }
  TRegValue* FindValue(std::string_view n) {
    if (values.size() < kIndexFrom) {
      for (auto& v : values)
        if (SameText(v.name, n)) return &v;
      return nullptr;
    }
    if (valueIndex.empty())
      for (size_t i = 0; i < values.size(); ++i) valueIndex.emplace(Fold(values[i].name), i);
    const auto it = valueIndex.find(Fold(n));
    return it == valueIndex.end() ? nullptr : &values[it->second];
  }
  TRegValue& EnsureValue(std::string_view n) {
    if (TRegValue* v = FindValue(n)) return *v;
    values.emplace_back().name = n;
    if (!valueIndex.empty()) valueIndex.emplace(Fold(n), values.size() - 1);
    return values.back();
  }
  bool EraseValue(std::string_view n) {
    valueIndex.clear();
    return std::erase_if(values, [&](const TRegValue& v) { return SameText(v.name, n); }) > 0;
  }
  bool EraseKey(std::string_view n) {
    keyIndex.clear();
    return std::erase_if(keys, [&](const auto& k) { return SameText(k->name, n); }) > 0;
  }
};

TRegKey* Walk(TRegKey& root, const std::vector<std::string>& path) {
  TRegKey* k = &root;
  for (auto& part : path)
    if (!(k = k->Find(part))) return nullptr;
  return k;
}

template <class Path>
TRegKey* WalkCreate(TRegKey& root, const Path& path) {
  TRegKey* k = &root;
  for (auto& part : path) k = k->Ensure(part);
  return k;
}

// The names of a "\"-separated path; empty names are dropped.
std::vector<std::string_view> SplitKeyView(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::vector<std::string> SplitKeyPath(const std::string& path) {
  std::vector<std::string> parts;
  for (std::string_view part : SplitKeyView(path)) parts.emplace_back(part);
  return parts;
}

// Why a key path (the names below the root) cannot be held; empty when it can.
template <class Path>
std::string KeyPathProblem(const Path& path) {
  if (path.size() > kMaxRegistryKeyDepth)
    return "the key path has " + std::to_string(path.size()) + " levels, more than " +
           std::to_string(kMaxRegistryKeyDepth);
  size_t length = 0;
  for (const auto& part : path) {
    if (part.size() > kMaxRegistryKeyName)
      return "a key name is " + std::to_string(part.size()) + " bytes long, more than " +
             std::to_string(kMaxRegistryKeyName);
    length += part.size() + 1;
  }
  if (length > kMaxRegistryKeyPath + 1)
    return "the key path is " + std::to_string(length - 1) + " bytes long, more than " +
           std::to_string(kMaxRegistryKeyPath);
  return "";
}

// ---------------------------------------------------------------- file format

std::string Quote(const std::string& s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') r += '\\';
    r += c;
  }
  return r + '"';
}

bool HasControlChars(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

std::string HexBytes(const std::string& s, bool terminator) {
  std::string r;
  char buf[4];
  for (unsigned char c : s) {
    std::snprintf(buf, sizeof buf, "%02x,", c);
    r += buf;
  }
  if (terminator) return r + "00";
  if (!r.empty()) r.pop_back();
  return r;
}

// Parses a quoted text starting at s[pos] == '"'; pos ends after the closing quote.
bool ParseQuoted(std::string_view s, size_t& pos, std::string& out) {
  out.clear();
  for (size_t i = pos + 1; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out += s[++i];
    } else if (s[i] == '"') {
      pos = i + 1;
      return true;
    } else {
      out += s[i];
    }
  }
  return false;
}

bool ParseHexBytes(std::string_view s, std::string& out) {
  out.clear();
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ',' || s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    if (i + 1 >= s.size() || !isxdigit(static_cast<unsigned char>(s[i])) ||
        !isxdigit(static_cast<unsigned char>(s[i + 1])))
      return false;
    out += char(std::strtoul(std::string(s.substr(i, 2)).c_str(), nullptr, 16));
    i += 2;
  }
  return true;
}

void ParseValue(TRegKey& key, const std::string& name, const std::string& data) {
  if (data == "-") {  // a deletion entry of an import file
    key.EraseValue(name);
    return;
  }
  TRegValue& v = key.EnsureValue(name);
  const std::string keptName = v.name;  // the first spelling stays
  v = TRegValue{};
  v.name = keptName;
  if (!data.empty() && data[0] == '"') {
    size_t pos = 0;
    if (ParseQuoted(data, pos, v.text)) return;
  } else if (data.size() > 6 && SameText(std::string_view(data).substr(0, 6), "dword:")) {
    const std::string digits = data.substr(6);
    char* end = nullptr;
    const unsigned long n = std::strtoul(digits.c_str(), &end, 16);
    if (!digits.empty() && digits.size() <= 8 && end && *end == 0) {
      v.kind = TRegValue::kDword;
      v.dword = uint32_t(n);
      return;
    }
  } else if (data.size() > 7 && SameText(std::string_view(data).substr(0, 7), "hex(1):")) {
    std::string bytes;
    if (ParseHexBytes(std::string_view(data).substr(7), bytes) && !bytes.empty() && bytes.back() == 0) {
      bytes.pop_back();
      v.text = bytes;
      return;
    }
  }
  v.kind = TRegValue::kOther;
  v.other = data;
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Reads a store file into root. Sections this store cannot hold (another root's, or a
// key path beyond the limits) go to Kept as they stand, to be written back unchanged.
// False, with Error, for a text that is no store file at all.
bool Parse(std::string_view text, const std::string& rootName, TRegKey& root, std::string& Kept,
           std::string& Error) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (TrimView(text).empty()) return true;
  size_t pos = 0;
  auto nextLine = [&](std::string_view& line) {
    if (pos >= text.size()) return false;
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = end + 1;
    return true;
  };
  std::string_view line;
  nextLine(line);
  const std::string_view first = TrimView(line);
  if (first != "REGEDIT4" && first != "Windows Registry Editor Version 5.00") {
    Error = "it does not start with the line REGEDIT4";
    return false;
  }
  TRegKey* current = nullptr;
  bool keeping = false;  // the lines of a section that goes to Kept
  std::string name, data;
  while (nextLine(line)) {
    const std::string_view trimmed = TrimView(line);
    if (!trimmed.empty() && trimmed[0] == '[') {
      current = nullptr;
      keeping = false;
      const size_t close = trimmed.rfind(']');
      if (close == std::string_view::npos || trimmed.size() < 2 || trimmed[1] == '-') continue;
      std::vector<std::string_view> parts = SplitKeyView(trimmed.substr(1, close - 1));
      if (parts.empty()) continue;
      const std::string_view sectionRoot = parts[0];
      parts.erase(parts.begin());
      if (!SameText(sectionRoot, rootName) || !KeyPathProblem(parts).empty()) {
        keeping = true;
        Kept.append(trimmed).append("\r\n");
        continue;
      }
      current = WalkCreate(root, parts);
      continue;
    }
    if (keeping) {
      Kept.append(line).append("\r\n");
      continue;
    }
    if (!current || trimmed.empty() || trimmed[0] == ';') continue;
    size_t at;
    if (trimmed[0] == '@') {
      name.clear();
      at = 1;
    } else if (trimmed[0] == '"') {
      at = 0;
      if (!ParseQuoted(trimmed, at, name)) continue;
    } else {
      continue;
    }
    while (at < trimmed.size() && (trimmed[at] == ' ' || trimmed[at] == '\t')) ++at;
    if (at >= trimmed.size() || trimmed[at] != '=') continue;
    data = std::string(TrimView(trimmed.substr(at + 1)));
    // Hex data may go on over several lines, each ending in "\".
    std::string_view more;
    while (!data.empty() && data[0] != '"' && data.back() == '\\' && nextLine(more)) {
      data.pop_back();
      data += TrimView(more);
    }
    ParseValue(*current, name, data);
  }
  return true;
}

void WriteValues(std::string& out, const TRegKey& key) {
  for (const TRegValue& v : key.values) {
    out += v.name.empty() ? "@" : Quote(v.name);
    out += '=';
    switch (v.kind) {
      case TRegValue::kString:
        out += HasControlChars(v.text) ? "hex(1):" + HexBytes(v.text, true) : Quote(v.text);
        break;
      case TRegValue::kDword: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
        out += buf;
        break;
      }
      case TRegValue::kOther:
        out += v.other;
        break;
    }
    out += "\r\n";
  }
  out += "\r\n";
}

// Every key below the root as a section, parents before children; the root only when
// it has values. Walks with a stack of its own: no depth of keys can exhaust the
// program's.
std::string StoreText(const TRegKey& root, const std::string& rootName, const std::string& kept) {
  std::string out = "REGEDIT4\r\n\r\n";
  std::string path = rootName;
  if (!root.values.empty()) {
    out += "[" + path + "]\r\n";
    WriteValues(out, root);
  }
  struct TFrame {
    const TRegKey* key;
    size_t next;
    size_t pathLength;
  };
  std::vector<TFrame> stack{{&root, 0, path.size()}};
  while (!stack.empty()) {
    TFrame& top = stack.back();
    if (top.next == top.key->keys.size()) {
      stack.pop_back();
      continue;
    }
    const TRegKey* child = top.key->keys[top.next++].get();
    path.resize(top.pathLength);
    path.append("\\").append(child->name);
    out.append("[").append(path).append("]\r\n");
    WriteValues(out, *child);
    stack.push_back({child, 0, path.size()});
  }
  return out + kept;
}

// ---------------------------------------------------------------- folders

std::string HomeFolder() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

std::string UserFolder(const char* env, const char* fallback) {
  if (const char* d = std::getenv(env); d && *d == '/') return d;
  return HomeFolder() + fallback;
}

std::string DefaultWindowsFolder() { return UserFolder("XDG_DATA_HOME", "/.local/share") + "/vx-windows"; }

const char kWindowsNtKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char kWindowsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// What a machine store holds before anything was written: the system folders, and
// the web browser as the program registered for IEXPLORE.EXE.
void SeedMachineDefaults(TRegKey& root) {
  const std::string windows = DefaultWindowsFolder();
  TRegKey* nt = WalkCreate(root, SplitKeyPath(kWindowsNtKey));
  nt->EnsureValue("SystemRoot").text = windows;
  nt->EnsureValue("SystemDirectory").text = windows + "/system32";
  TRegKey* cv = WalkCreate(root, SplitKeyPath(kWindowsKey));
  cv->EnsureValue("ProgramFilesDir").text = windows + "/Program Files";
  cv->EnsureValue("CommonFilesDir").text = windows + "/Program Files/Common Files";
  TRegKey* ie = WalkCreate(root, SplitKeyPath(std::string(kWindowsKey) + "\\App Paths\\IEXPLORE.EXE"));
  const std::string opener = FindProgram("xdg-open");
  ie->EnsureValue("").text = opener.empty() ? "/usr/bin/xdg-open" : opener;
}

// ---------------------------------------------------------------- the store of one root

class TRootStore {
 public:
  TRootStore(std::string folder, std::string rootName)
      : folder_(std::move(folder)), rootName_(std::move(rootName)), file_(folder_ + "/" + rootName_ + ".reg") {}

  std::mutex lock;

  // The tree as the file holds it now; call with `lock` held.
  TRegKey& Current() {
    Refresh();
    return tree_;
  }

  // Applies a change under the file lock to the newest tree and saves it when Change
  // answers true. Raises EOSError when the file cannot be written.
  template <class F>
  bool Modify(F&& Change) {
    ForceFolder();
    const std::string lockName = folder_ + "/." + rootName_ + ".reg.lock";
    const int lockFd = open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0) throw EOSError("Cannot lock the registry file " + file_ + ": " + std::strerror(errno));
    struct TUnlock {
      int fd;
      ~TUnlock() { close(fd); }
    } unlock{lockFd};
    while (flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    Refresh();
    if (!unreadable_.empty())
      throw EOSError("The registry file " + file_ + " cannot be read (" + unreadable_ +
                     "); it is left as it is and not written");
    if (!Change(tree_)) return false;
    Save();
    return true;
  }

 private:
  struct TSignature {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
    bool operator==(const TSignature& o) const {
      return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && Same(mtime, o.mtime) &&
             Same(ctime, o.ctime);
    }
    static bool Same(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }
  };

  TSignature Stat() const {
    TSignature s;
    struct stat st;
    if (stat(file_.c_str(), &st) == 0) {
      s.exists = true;
      s.dev = st.st_dev;
      s.ino = st.st_ino;
      s.size = st.st_size;
      s.mtime = st.st_mtim;
      s.ctime = st.st_ctim;
    }
    return s;
  }

  void Refresh() {
    const TSignature now = Stat();
    if (loaded_ && now == signature_) return;
    tree_ = TRegKey{};
    kept_.clear();
    unreadable_.clear();
    if (now.exists) {
      std::string text;
      if (!ReadWhole(text)) {
        unreadable_ = std::strerror(errno);
      } else if (std::string error; !Parse(text, rootName_, tree_, kept_, error)) {
        tree_ = TRegKey{};
        kept_.clear();
        unreadable_ = error;
      }
    } else if (rootName_ == "HKEY_LOCAL_MACHINE") {
      SeedMachineDefaults(tree_);
    }
    signature_ = now;
    loaded_ = true;
  }

  // The file's bytes; false (with errno) when it cannot be read or is no plain file.
  bool ReadWhole(std::string& text) const {
    const int fd = open(file_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct TClose {
      int fd;
      ~TClose() { close(fd); }
    } closer{fd};
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) {
      errno = EINVAL;
      return false;
    }
    text.resize(size_t(st.st_size));
    size_t done = 0;
    for (;;) {
      if (done == text.size()) text.resize(done + 65536);
      const ssize_t n = read(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) break;
      done += size_t(n);
    }
    text.resize(done);
    return true;
  }

  void ForceFolder() const {
    std::string path;
    for (const std::string& part : SplitFolder(folder_)) {
      path += "/" + part;
      mkdir(path.c_str(), 0755);
    }
  }

  static std::vector<std::string> SplitFolder(const std::string& f) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= f.size()) {
      size_t end = f.find('/', start);
      if (end == std::string::npos) end = f.size();
      if (end > start) parts.push_back(f.substr(start, end - start));
      start = end + 1;
    }
    return parts;
  }

  void Save() {
    const std::string text = StoreText(tree_, rootName_, kept_);
    // A store that is a symbolic link is written through to the file it names.
    const std::string target = FollowLinks(file_);
    const std::string temp = target + "." + std::to_string(getpid()) + ".tmp";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw EOSError("Cannot write the registry file " + temp + ": " + std::strerror(errno));
    size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
      const ssize_t n = write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = false;
        if (n == 0) errno = ENOSPC;
        break;
      }
      done += size_t(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (!ok || rename(temp.c_str(), target.c_str()) != 0) {
      const int err = errno;
      unlink(temp.c_str());
      throw EOSError("Cannot write the registry file " + file_ + ": " + std::strerror(err));
    }
    signature_ = Stat();
  }

  const std::string folder_;
  const std::string rootName_;
  const std::string file_;
  TRegKey tree_;
  std::string kept_;        // sections written back as they were read
  std::string unreadable_;  // why the file does not read as a store; empty when it does
  TSignature signature_;
  bool loaded_ = false;
};

const char* RootName(HKEY root) {
  switch (reinterpret_cast<uintptr_t>(root)) {
    case 0x80000000: return "HKEY_CLASSES_ROOT";
    case 0x80000001: return "HKEY_CURRENT_USER";
    case 0x80000002: return "HKEY_LOCAL_MACHINE";
    case 0x80000003: return "HKEY_USERS";
    case 0x80000005: return "HKEY_CURRENT_CONFIG";
    default: return nullptr;
  }
}

// The store of a root in the current registry folder; null for an unknown root.
TRootStore* StoreFor(HKEY root) {
  const char* name = RootName(root);
  if (!name) return nullptr;
  static auto* guard = new std::mutex;
  static auto* stores = new std::map<std::string, std::unique_ptr<TRootStore>>;
  const std::string folder = RegistryFolder();
  std::lock_guard lock(*guard);
  auto& s = (*stores)[folder + "\n" + name];
  if (!s) s = std::make_unique<TRootStore>(folder, name);
  return s.get();
}

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

}  // namespace

std::string RegistryFolder() {
  if (const char* d = std::getenv("VX_REGISTRY_DIR"); d && *d) return d;
  return UserFolder("XDG_CONFIG_HOME", "/.config") + "/vx-registry";
}

// ---------------------------------------------------------------- TRegistry

TRegistry::TRegistry() : root_(HKEY_CURRENT_USER) {}

void TRegistry::SetRootKey(HKEY Value) {
  CloseKey();
  root_ = Value;
}

std::vector<std::string> TRegistry::Resolve(const std::string& Key, std::string* shownPath) const {
  const bool relative = Key.empty() || Key[0] != '\\';
  const std::string rest = relative ? Key : Key.substr(1);
  std::vector<std::string> path = (relative && open_) ? keyPath_ : std::vector<std::string>{};
  for (auto& part : SplitKeyPath(rest)) path.push_back(part);
  if (shownPath) *shownPath = (relative && open_) ? currentPath_ + "\\" + rest : rest;
  return path;
}

bool TRegistry::Open(const std::string& Key, bool CanCreate, bool ReadOnly) {
  TRootStore* store = StoreFor(root_);
  if (!store) {
    lastError_ = "unknown root key";
    return false;
  }
  std::string shown;
  std::vector<std::string> path = Resolve(Key, &shown);
  if (std::string problem = KeyPathProblem(path); !problem.empty()) {
    // A name of any length is shown by its start.
    lastError_ = "Cannot open the key " + (shown.size() > 80 ? shown.substr(0, 80) + "..." : shown) + ": " + problem;
    return false;
  }
  std::lock_guard guard(store->lock);
  bool ok;
  if (CanCreate && !ReadOnly) {
    try {
      store->Modify([&](TRegKey& tree) {
        const bool existed = Walk(tree, path) != nullptr;
        WalkCreate(tree, path);
        return !existed;
      });
      ok = true;
    } catch (const EOSError& e) {
      lastError_ = e.Message();
      ok = false;
    }
  } else {
    ok = Walk(store->Current(), path) != nullptr;
    if (!ok) lastError_ = "The key " + shown + " does not exist";
  }
  if (ok) {
    lastError_.clear();
    open_ = true;
    readOnly_ = ReadOnly;
    keyPath_ = std::move(path);
    currentPath_ = std::move(shown);
  }
  return ok;
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) { return Open(Key, CanCreate, false); }

bool TRegistry::OpenKeyReadOnly(const std::string& Key) { return Open(Key, false, true); }

void TRegistry::CloseKey() {
  open_ = false;
  readOnly_ = false;
  keyPath_.clear();
  currentPath_.clear();
}

bool TRegistry::KeyExists(const std::string& Key) {
  TRootStore* store = StoreFor(root_);
  if (!store) return false;
  const std::vector<std::string> path = Resolve(Key, nullptr);
  std::lock_guard guard(store->lock);
  return Walk(store->Current(), path) != nullptr;
}

bool TRegistry::ValueExists(const std::string& Name) {
  TRootStore* store = StoreFor(root_);
  if (!store || !open_) return false;
  std::lock_guard guard(store->lock);
  TRegKey* key = Walk(store->Current(), keyPath_);
  return key && key->FindValue(Name);
}

std::string TRegistry::ReadString(const std::string& Name) {
  TRootStore* store = StoreFor(root_);
  if (!store || !open_) return "";
  std::lock_guard guard(store->lock);
  TRegKey* key = Walk(store->Current(), keyPath_);
  TRegValue* v = key ? key->FindValue(Name) : nullptr;
  if (!v) return "";
  if (v->kind != TRegValue::kString) throw ERegistryException("Invalid data type for " + Quoted(Name));
  return v->text;
}

Integer TRegistry::ReadInteger(const std::string& Name) {
  TRootStore* store = StoreFor(root_);
  TRegValue* v = nullptr;
  std::unique_lock<std::mutex> guard;
  if (store && open_) {
    guard = std::unique_lock(store->lock);
    TRegKey* key = Walk(store->Current(), keyPath_);
    v = key ? key->FindValue(Name) : nullptr;
  }
  if (!v) throw ERegistryException("Failed to get data for " + Quoted(Name));
  if (v->kind != TRegValue::kDword) throw ERegistryException("Invalid data type for " + Quoted(Name));
  return Integer(v->dword);
}

// Stores one value in the open key; false when there is none to write to.
bool TRegistry::SetValue(const std::string& Name, const std::function<bool(vx_registry::TValue&)>& Assign) {
  TRootStore* store = StoreFor(root_);
  if (!store || !open_ || readOnly_) {
    lastError_ = !open_ ? "no key is open" : "the key is open for reading only";
    return false;
  }
  bool ok = false;
  std::lock_guard guard(store->lock);
  try {
    lastError_ = "the key " + currentPath_ + " no longer exists";
    store->Modify([&](TRegKey& tree) {
      TRegKey* key = Walk(tree, keyPath_);
      if (!key) return false;
      ok = true;
      return Assign(key->EnsureValue(Name));
    });
  } catch (const EOSError& e) {
    lastError_ = e.Message();
    ok = false;
  }
  if (ok) lastError_.clear();
  return ok;
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
  const bool ok = SetValue(Name, [&](TRegValue& v) {
    const bool same = v.kind == TRegValue::kString && v.text == Value;
    v.kind = TRegValue::kString;
    v.text = Value;
    return !same;
  });
  if (!ok) throw ERegistryException("Failed to set data for " + Quoted(Name));
}

void TRegistry::WriteInteger(const std::string& Name, Integer Value) {
  const bool ok = SetValue(Name, [&](TRegValue& v) {
    const bool same = v.kind == TRegValue::kDword && v.dword == uint32_t(Value);
    v.kind = TRegValue::kDword;
    v.dword = uint32_t(Value);
    return !same;
  });
  if (!ok) throw ERegistryException("Failed to set data for " + Quoted(Name));
}

bool TRegistry::DeleteValue(const std::string& Name) {
  TRootStore* store = StoreFor(root_);
  if (!store || !open_ || readOnly_) return false;
  std::lock_guard guard(store->lock);
  try {
    return store->Modify([&](TRegKey& tree) {
      TRegKey* key = Walk(tree, keyPath_);
      return key && key->EraseValue(Name);
    });
  } catch (const EOSError&) {
    return false;
  }
}

bool TRegistry::DeleteKey(const std::string& Key) {
  TRootStore* store = StoreFor(root_);
  if (!store || readOnly_) return false;
  std::vector<std::string> path = Resolve(Key, nullptr);
  if (path.empty()) return false;
  const std::string last = path.back();
  path.pop_back();
  std::lock_guard guard(store->lock);
  try {
    return store->Modify([&](TRegKey& tree) {
      TRegKey* parent = Walk(tree, path);
      return parent && parent->EraseKey(last);
    });
  } catch (const EOSError&) {
    return false;
  }
}

// ---------------------------------------------------------------- system folders

namespace {
UINT CopyFolder(const std::string& value, char* buffer, UINT size) {
  if (!buffer || size <= value.size()) return UINT(value.size() + 1);
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  return UINT(value.size());
}

std::string MachineFolder(const char* name, const std::string& fallback) {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  std::string value;
  if (reg.OpenKeyReadOnly(std::string("\\") + kWindowsNtKey)) {
    try {
      value = reg.ReadString(name);
    } catch (const ERegistryException&) {
      value.clear();
    }
  }
  return value.empty() ? fallback : value;
}
}  // namespace

UINT GetWindowsDirectory(char* lpBuffer, UINT uSize) {
  return CopyFolder(MachineFolder("SystemRoot", DefaultWindowsFolder()), lpBuffer, uSize);
}

UINT GetSystemDirectory(char* lpBuffer, UINT uSize) {
  return CopyFolder(MachineFolder("SystemDirectory", DefaultWindowsFolder() + "/system32"), lpBuffer, uSize);
}
