// File names and the file operations, all through NativePath.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/rtl/sysutils.h"

namespace {

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }
bool IsDelimiterOrDrive(char c) { return IsDelimiter(c) || c == ':'; }

// 0-based index of the last "\", "/" or ":", or npos.
size_t LastDelimiter(std::string_view s) {
  for (size_t i = s.size(); i-- > 0;)
    if (IsDelimiterOrDrive(s[i])) return i;
  return std::string_view::npos;
}

// The delimiter a path already uses for its last component, "/" by default.
char DelimiterOf(std::string_view s) {
  for (size_t i = s.size(); i-- > 0;)
    if (IsDelimiter(s[i])) return s[i];
  return '/';
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return folded;
}

std::string Join(const std::string& dir, std::string_view name);

// The entries of the folders searched last, by their names folded to lower case, so
// that a folder which gains many new names (a cabinet unpacked into it, files moved
// in) is read once and not once for every name. A folder's entry stands while the
// folder's identity and times are unchanged; the changes that this process makes
// through the functions of this file are applied to it as they happen.
class TFolderNames {
 public:
  enum TFound { kNoFolder, kMissing, kFound };

  // The entry of `dir` whose name equals `name` ignoring ASCII case; when several
  // do, the one of exactly that name, else the smallest by bytes, so the choice does
  // not depend on directory order.
  TFound Find(const std::string& dir, std::string_view name, std::string& found) {
    t_looked.reset();
    const std::string folderName = dir.empty() ? "." : dir;
    struct stat st;
    if (stat(folderName.c_str(), &st) != 0) return kNoFolder;
    std::lock_guard guard(lock_);
    TFolder* folder = Cached(st);
    if (!folder || !SameTimes(folder->st, st)) folder = Scan(dir, st);
    if (!folder) return kMissing;
    // The folder was just looked at: a change that follows at once needs no second look.
    t_looked = TLooked{folderName, st};
    auto it = folder->names.find(Fold(name));
    if (it == folder->names.end()) return kMissing;
    found = Pick(it->second, name);
    if (Exists(Join(dir, found))) return kFound;
    // Gone behind our back: read the folder again.
    t_looked.reset();
    folder = Scan(dir, st);
    it = folder ? folder->names.find(Fold(name)) : decltype(it){};
    if (!folder || it == folder->names.end()) return kMissing;
    found = Pick(it->second, name);
    return kFound;
  }

  // Drops what this thread's last search looked at.
  void Forget() { t_looked.reset(); }

  // Whether the folder's entries are held (by the name it was searched under).
  bool Holds(const std::string& dir) {
    std::lock_guard guard(lock_);
    return Named(dir.empty() ? "." : dir);
  }

  // Whether the folder of `path` is held and current, before this process changes it.
  bool Current(const std::string& path) {
    const std::string dir = FolderOf(path);
    std::optional<TLooked> looked;
    if (t_looked && t_looked->dir == dir) looked.swap(t_looked);
    {
      std::lock_guard guard(lock_);
      if (!Named(dir)) return false;  // not held: nothing to keep current, no need to look
    }
    struct stat st;
    if (looked)
      st = looked->st;
    else if (stat(dir.c_str(), &st) != 0)
      return false;
    std::lock_guard guard(lock_);
    TFolder* folder = Cached(st);
    return folder && SameTimes(folder->st, st);
  }

  // This process made or removed the entry `path` (delimiters "/"); WasCurrent is
  // what Current answered before. A folder that changed otherwise is read again
  // when next searched.
  void Changed(const std::string& path, bool added, bool wasCurrent) {
    t_looked.reset();
    const std::string dir = FolderOf(path);
    const std::string name = path.substr(path.rfind('/') + 1);
    {
      std::lock_guard guard(lock_);
      if (!Named(dir)) return;
    }
    struct stat st;
    if (name.empty() || stat(dir.c_str(), &st) != 0) return;
    std::lock_guard guard(lock_);
    TFolder* folder = Cached(st);
    if (!folder) return;
    if (!wasCurrent) {
      std::erase_if(folders_, [&](const auto& f) { return f.get() == folder; });
      return;
    }
    auto& spellings = folder->names[Fold(name)];
    const auto at = std::find(spellings.begin(), spellings.end(), name);
    if (added && at == spellings.end()) spellings.push_back(name);
    if (!added && at != spellings.end()) spellings.erase(at);
    if (spellings.empty()) folder->names.erase(Fold(name));
    folder->st = st;
  }

 private:
  static constexpr size_t kFolders = 4;
  struct TFolder {
    std::string dir;  // as it was searched
    struct stat st;
    std::unordered_map<std::string, std::vector<std::string>> names;
  };
  static const std::string& Pick(const std::vector<std::string>& spellings, std::string_view name) {
    const auto exact = std::find(spellings.begin(), spellings.end(), name);
    return exact != spellings.end() ? *exact : *std::min_element(spellings.begin(), spellings.end());
  }
  bool Named(const std::string& dir) const {
    return std::any_of(folders_.begin(), folders_.end(), [&](const auto& f) { return f->dir == dir; });
  }
  static std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  }
  static bool SameTimes(const struct stat& a, const struct stat& b) {
    return a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
  }
  TFolder* Cached(const struct stat& st) {
    for (auto& f : folders_)
      if (f->st.st_dev == st.st_dev && f->st.st_ino == st.st_ino) return f.get();
    return nullptr;
  }
  TFolder* Scan(const std::string& dir, const struct stat& st) {
    std::erase_if(folders_, [&](const auto& f) { return f->st.st_dev == st.st_dev && f->st.st_ino == st.st_ino; });
    std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.empty() ? "." : dir.c_str()), closedir);
    if (!d) return nullptr;
    auto folder = std::make_unique<TFolder>();
    folder->dir = dir.empty() ? "." : dir;
    folder->st = st;
    while (const dirent* e = readdir(d.get())) folder->names[Fold(e->d_name)].emplace_back(e->d_name);
    if (folders_.size() == kFolders) folders_.pop_back();
    folders_.insert(folders_.begin(), std::move(folder));
    return folders_.front().get();
  }

  std::mutex lock_;
  std::vector<std::unique_ptr<TFolder>> folders_;
  // The folder that this thread's last search looked at and found current, as it was
  // then: the change that the search prepares follows at once and takes it instead of
  // looking again. The thread's next name resolution, search or change drops it.
  struct TLooked {
    std::string dir;
    struct stat st;
  };
  static thread_local std::optional<TLooked> t_looked;
};

thread_local std::optional<TFolderNames::TLooked> TFolderNames::t_looked;

TFolderNames& FolderNames() {
  static auto* names = new TFolderNames;
  return *names;
}

TFolderNames::TFound FindIgnoringCase(const std::string& dir, std::string_view name, std::string& found) {
  return FolderNames().Find(dir, name, found);
}

// One change of a folder's entries by this process: made before the change, told after.
class TFolderChange {
 public:
  explicit TFolderChange(std::string path) : path_(std::move(path)), current_(FolderNames().Current(path_)) {}
  void Added() const { FolderNames().Changed(path_, true, current_); }
  void Removed() const { FolderNames().Changed(path_, false, current_); }

 private:
  std::string path_;
  bool current_;
};

std::string Join(const std::string& dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  if (dir.back() == '/') return dir + std::string(name);
  return dir + "/" + std::string(name);
}

// Resolves `path` (delimiters already "/", no empty components except a leading
// root) component by component from the right: only when a name misses exactly is
// its folder scanned. `exists` tells whether the result names an existing entry.
// ToChange: the name is about to be made or replaced, and a folder whose entries are
// held is asked first (the change itself meets an entry of exactly that name).
std::string Resolve(const std::string& path, bool& exists, bool ToChange = false) {
  exists = false;
  const size_t slash = path.rfind('/');
  std::string parent;
  std::string_view name;
  if (slash == std::string::npos) {
    name = path;
  } else {
    parent = path.substr(0, slash == 0 ? 1 : slash);
    name = std::string_view(path).substr(slash + 1);
  }
  const bool special = name.empty() || name == "." || name == "..";
  if (!(ToChange && !special && FolderNames().Holds(parent)) && Exists(path)) {
    exists = true;
    return path;
  }
  if (special) return path;
  // The folder is searched under its name as given; only when that is no folder is
  // its own name resolved first.
  std::string found;
  TFolderNames::TFound got = FindIgnoringCase(parent, name, found);
  if (got == TFolderNames::kNoFolder && !parent.empty() && parent != "/") {
    bool parentExists;
    parent = Resolve(parent, parentExists);
    if (!parentExists) return Join(parent, name);
    got = FindIgnoringCase(parent, name, found);
  }
  if (got == TFolderNames::kFound) {
    exists = true;
    return Join(parent, found);
  }
  return Join(parent, name);
}

// True when the last component is a name followed by ".exe" in any case.
bool EndsWithExe(std::string_view s) {
  const std::string_view name = s.substr(s.rfind('/') + 1);
  return name.size() > 4 && SameText(name.substr(name.size() - 4), ".exe");
}

}  // namespace

// ---- File names ----

bool IsPathDelimiter(std::string_view S, int Index) {
  return Index >= 1 && static_cast<size_t>(Index) <= S.size() && IsDelimiter(S[static_cast<size_t>(Index - 1)]);
}

std::string IncludeTrailingPathDelimiter(std::string_view S) {
  std::string r(S);
  if (r.empty() || !IsDelimiter(r.back())) r.push_back(DelimiterOf(S));
  return r;
}

std::string IncludeTrailingBackslash(std::string_view S) { return IncludeTrailingPathDelimiter(S); }

std::string ExcludeTrailingPathDelimiter(std::string_view S) {
  std::string r(S);
  if (!r.empty() && IsDelimiter(r.back())) r.pop_back();
  return r;
}

std::string ExcludeTrailingBackslash(std::string_view S) { return ExcludeTrailingPathDelimiter(S); }

std::string ExtractFilePath(std::string_view FileName) {
  const size_t i = LastDelimiter(FileName);
  return i == std::string_view::npos ? std::string() : std::string(FileName.substr(0, i + 1));
}

std::string ExtractFileDir(std::string_view FileName) {
  size_t i = LastDelimiter(FileName);
  if (i == std::string_view::npos) return std::string();
  // Keep the delimiter of a root ("\", "C:\") or right after a drive.
  if (i > 0 && IsDelimiter(FileName[i]) && !IsDelimiterOrDrive(FileName[i - 1])) return std::string(FileName.substr(0, i));
  return std::string(FileName.substr(0, i + 1));
}

std::string ExtractFileName(std::string_view FileName) {
  const size_t i = LastDelimiter(FileName);
  return std::string(i == std::string_view::npos ? FileName : FileName.substr(i + 1));
}

std::string ExtractFileExt(std::string_view FileName) {
  for (size_t i = FileName.size(); i-- > 0;) {
    if (FileName[i] == '.') return std::string(FileName.substr(i));
    if (IsDelimiterOrDrive(FileName[i])) break;
  }
  return std::string();
}

std::string ExtractFileDrive(std::string_view FileName) {
  if (FileName.size() >= 2 && FileName[1] == ':') return std::string(FileName.substr(0, 2));
  if (FileName.size() >= 2 && IsDelimiter(FileName[0]) && IsDelimiter(FileName[1])) {
    // \\server\share: up to the delimiter after the share name.
    int delimiters = 0;
    size_t i = 2;
    for (; i < FileName.size(); ++i)
      if (IsDelimiter(FileName[i]) && ++delimiters == 2) break;
    if (delimiters >= 1) return std::string(FileName.substr(0, i));
  }
  return std::string();
}

std::string ChangeFileExt(std::string_view FileName, std::string_view Extension) {
  const std::string ext = ExtractFileExt(FileName);
  return std::string(FileName.substr(0, FileName.size() - ext.size())) + std::string(Extension);
}

std::string ExpandFileName(std::string_view FileName) {
  if (FileName.empty()) return std::string();
  std::string full;
  if (!IsDelimiter(FileName[0])) full = GetCurrentDir() + "/";
  full += FileName;
  const bool trailing = IsDelimiter(full.back());
  std::vector<std::string_view> parts;
  std::string_view rest(full);
  while (!rest.empty()) {
    size_t n = 0;
    while (n < rest.size() && !IsDelimiter(rest[n])) ++n;
    const std::string_view part = rest.substr(0, n);
    rest.remove_prefix(n < rest.size() ? n + 1 : n);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (auto p : parts) {
    out.push_back('/');
    out.append(p);
  }
  if (out.empty() || trailing) out += "/";
  return out;
}

namespace {

// The name with "/" delimiters, none doubled.
std::string SlashPath(std::string_view FileName) {
  std::string path(FileName);
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.find("//") != std::string::npos)
    path.erase(std::unique(path.begin(), path.end(), [](char a, char b) { return a == '/' && b == '/'; }), path.end());
  return path;
}

}  // namespace

namespace {

// NativePath, and whether the name found an existing entry; ToChange as for Resolve.
std::string NativePathOf(std::string_view FileName, bool& exists, bool ToChange = false) {
  FolderNames().Forget();  // what an earlier search looked at is no longer at once
  exists = false;
  std::string path = SlashPath(FileName);
  if (path.empty()) return path;
  const bool trailing = path.size() > 1 && path.back() == '/';
  if (trailing) path.pop_back();
  std::string resolved = Resolve(path, exists, ToChange);
  if (!exists && EndsWithExe(resolved)) {
    std::string bare = Resolve(resolved.substr(0, resolved.size() - 4), exists, ToChange);
    if (exists) resolved = std::move(bare);
  }
  if (trailing) resolved.push_back('/');
  return resolved;
}

}  // namespace

std::string NativePath(std::string_view FileName) {
  bool exists;
  return NativePathOf(FileName, exists);
}

namespace {

// The full path of a native name with every link and "." or ".." part resolved as far as
// its folders exist; the parts that do not exist yet follow as they are given.
std::string RealPathOf(const std::string& native) {
  if (native.empty()) return RealPathOf(".");
  if (char* real = realpath(native.c_str(), nullptr)) {
    std::string path(real);
    free(real);
    return path;
  }
  const size_t slash = native.rfind('/');
  if (native == "/" || native == ".") return native;  // nothing left to resolve
  const std::string base = RealPathOf(slash == std::string::npos ? "." : native.substr(0, slash == 0 ? 1 : slash));
  const std::string name = native.substr(slash == std::string::npos ? 0 : slash + 1);
  if (name.empty() || name == ".") return base;
  if (name == "..") return base.substr(0, std::max<size_t>(base.rfind('/'), 1));
  return (base == "/" ? "" : base) + "/" + name;
}

}  // namespace

bool ReachSameFile(std::string_view A, std::string_view B) {
  if (A.empty() || B.empty()) return false;
  bool existsA, existsB;
  const std::string a = NativePathOf(A, existsA), b = NativePathOf(B, existsB);
  struct stat stA, stB;
  if (existsA && existsB && stat(a.c_str(), &stA) == 0 && stat(b.c_str(), &stB) == 0)
    return stA.st_dev == stB.st_dev && stA.st_ino == stB.st_ino;
  // A name that finds nothing reaches an existing file only by ".." after a folder yet to be made.
  if (existsA != existsB && ("/" + (existsA ? b : a) + "/").find("/../") == std::string::npos) return false;
  return SameText(RealPathOf(a), RealPathOf(b));
}

int OpenNative(std::string_view FileName, int Flags) {
  const std::string path = SlashPath(FileName);
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  // Creating under the name as written could miss an existing file named in another case.
  if (Flags & O_CREAT) {
    bool exists;
    const std::string native = NativePathOf(FileName, exists, true);
    const TFolderChange change(native);
    const int fd = open(native.c_str(), Flags | O_CLOEXEC, 0666);
    if (fd >= 0) change.Added();
    return fd;
  }
  const int fd = open(path.c_str(), Flags | O_CLOEXEC);
  if (fd >= 0 || errno != ENOENT) return fd;
  const std::string resolved = NativePath(FileName);
  if (resolved == path) {
    errno = ENOENT;
    return -1;
  }
  return open(resolved.c_str(), Flags | O_CLOEXEC);
}

int OpenRegularFile(std::string_view FileName, int Flags) {
  // Without blocking: a pipe opened for reading would wait for its writer, one opened
  // for writing for its reader.
  const int fd = OpenNative(FileName, (Flags & ~O_CREAT) | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// ---- Files and folders ----

bool FileExists(std::string_view FileName) {
  struct stat st;
  return !FileName.empty() && stat(NativePath(FileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view Directory) {
  return !Directory.empty() && IsDirectory(NativePath(Directory));
}

bool CreateDir(std::string_view Dir) {
  if (Dir.empty()) return false;
  const std::string native = ExcludeTrailingPathDelimiter(NativePath(Dir));
  const TFolderChange change(native);
  if (mkdir(native.c_str(), 0777) != 0) return false;
  change.Added();
  return true;
}

bool ForceDirectories(std::string_view Dir) {
  if (Dir.empty()) throw EInOutError("Unable to create directory");
  const std::string dir = ExcludeTrailingPathDelimiter(Dir);
  if (dir.empty() || DirectoryExists(dir)) return true;  // the root, or already there
  const std::string parent = ExcludeTrailingPathDelimiter(ExtractFilePath(dir));
  if (!parent.empty() && !ForceDirectories(parent)) return false;
  return CreateDir(dir) || DirectoryExists(dir);
}

bool RemoveDir(std::string_view Dir) {
  if (Dir.empty()) return false;
  const std::string native = ExcludeTrailingPathDelimiter(NativePath(Dir));
  const TFolderChange change(native);
  if (rmdir(native.c_str()) != 0) return false;
  change.Removed();
  return true;
}

bool DeleteFile(std::string_view FileName) {
  if (FileName.empty()) return false;
  const std::string native = NativePath(FileName);
  const TFolderChange change(native);
  if (unlink(native.c_str()) != 0) return false;
  change.Removed();
  return true;
}

namespace {

// Renames From to To (both native); Replace allows an existing To.
bool RenameNative(const std::string& from, const std::string& to, bool Replace) {
  const TFolderChange removal(from), addition(to);
  bool ok;
  if (Replace) {
    ok = rename(from.c_str(), to.c_str()) == 0;
  } else if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    ok = true;
  } else if (errno != EINVAL && errno != ENOSYS) {
    ok = false;
  } else if (link(from.c_str(), to.c_str()) == 0) {
    // A file system without RENAME_NOREPLACE: a hard link refuses an existing target.
    ok = unlink(from.c_str()) == 0;
  } else {
    ok = (errno == EPERM || errno == EXDEV) && !Exists(to) && rename(from.c_str(), to.c_str()) == 0;
  }
  if (ok) {
    removal.Removed();
    addition.Added();
  }
  return ok;
}

}  // namespace

bool RenameFile(std::string_view OldName, std::string_view NewName) {
  if (OldName.empty() || NewName.empty()) return false;
  bool exists;
  return RenameNative(NativePath(OldName), NativePathOf(NewName, exists, true), false);
}

bool RenameReplacing(std::string_view OldName, std::string_view NewName, bool KeepMode) {
  if (OldName.empty() || NewName.empty()) return false;
  bool replaces;
  const std::string from = NativePath(OldName), to = NativePathOf(NewName, replaces, true);
  struct stat old;
  if (KeepMode && replaces && stat(to.c_str(), &old) == 0) chmod(from.c_str(), old.st_mode & 07777);
  return RenameNative(from, to, true);
}

namespace {

struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

bool CopyContents(int in, int out, off_t size) {
  off_t done = 0;
  while (done < size) {
    const ssize_t n = sendfile(out, in, nullptr, static_cast<size_t>(std::min<off_t>(size - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;  // fall back to read/write below
    if (n == 0) return true;  // the source shrank meanwhile
    done += n;
  }
  if (done >= size) return true;
  std::vector<char> buf(1 << 16);
  for (;;) {
    const ssize_t n = read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t off = 0; off < n;) {
      const ssize_t w = write(out, buf.data() + off, static_cast<size_t>(n - off));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      off += w;
    }
  }
}

}  // namespace

bool ReadRegularFile(std::string_view FileName, std::string& Data) {
  Data.clear();
  Fd in(OpenRegularFile(FileName));
  if (in.fd < 0) return false;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(in.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    Data.append(buffer, size_t(n));
  }
}

bool CopyFile(std::string_view ExistingFileName, std::string_view NewFileName, bool FailIfExists) {
  if (ExistingFileName.empty() || NewFileName.empty()) return false;
  const std::string to = NativePath(NewFileName);
  Fd in(OpenRegularFile(ExistingFileName));
  struct stat st;
  if (in.fd < 0 || fstat(in.fd, &st) != 0) return false;
  if (FailIfExists && Exists(to)) return false;
  // Written beside the target, through the descriptor that made the file, and renamed
  // over it, so a failed copy never leaves the target truncated. The copy takes the
  // source's permissions once it holds its content.
  std::string temp;
  Fd out(CreateUniqueFile(to, ".copy", temp));
  if (out.fd < 0) return false;
  bool ok = CopyContents(in.fd, out.fd, st.st_size) && fchmod(out.fd, st.st_mode & 07777) == 0;
  if (ok) {
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ok = futimens(out.fd, times) == 0;
  }
  if (out.fd >= 0) ok = close(out.fd) == 0 && ok;
  out.fd = -1;
  if (ok) ok = RenameNative(temp, to, !FailIfExists);
  if (!ok) unlink(temp.c_str());
  return ok;
}

namespace {

// Makes the entry of CreateUniqueName; for a file, Fd receives the descriptor of its
// exclusive create (kept open when Fd is given, else closed).
std::string MakeUniqueEntry(std::string_view Base, std::string_view Suffix, bool Folder, int* Fd) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, 0) != sizeof bits) {
      const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
      bits = uint64_t(now) * 0x9E3779B97F4A7C15ull + uint64_t(attempt);
    }
    char mark[40];
    std::snprintf(mark, sizeof mark, "~%d-%016llx", int(getpid()), static_cast<unsigned long long>(bits));
    std::string name = std::string(Base) + mark + std::string(Suffix);
    if (Folder) {
      if (CreateDir(name)) return name;
    } else {
      const int fd = OpenNative(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW);
      if (fd >= 0) {
        if (Fd)
          *Fd = fd;
        else
          close(fd);
        return name;
      }
    }
    if (errno != EEXIST) return "";
  }
  errno = EEXIST;
  return "";
}

}  // namespace

std::string CreateUniqueName(std::string_view Base, std::string_view Suffix, bool Folder) {
  return MakeUniqueEntry(Base, Suffix, Folder, nullptr);
}

int CreateUniqueFile(std::string_view Base, std::string_view Suffix, std::string& Name) {
  int fd = -1;
  Name = MakeUniqueEntry(Base, Suffix, false, &fd);
  return fd;
}

bool SplitUniqueName(std::string_view Name, std::string_view Suffix, std::string& Base, int& Maker) {
  // From the end: Suffix, 16 hexadecimal digits, "-", the process number, "~".
  const auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (!Name.ends_with(Suffix)) return false;
  std::string_view rest = Name.substr(0, Name.size() - Suffix.size());
  if (rest.size() < 17 || !std::all_of(rest.end() - 16, rest.end(), hex) || rest[rest.size() - 17] != '-')
    return false;
  rest.remove_suffix(17);
  const size_t tilde = rest.rfind('~');
  if (tilde == std::string_view::npos || tilde == 0) return false;
  const std::string_view pid = rest.substr(tilde + 1);
  if (pid.empty() || pid.size() > 9 || pid[0] == '0' || !std::all_of(pid.begin(), pid.end(), digit)) return false;
  Base = std::string(rest.substr(0, tilde));
  Maker = std::stoi(std::string(pid));
  return true;
}

bool ProcessEnded(int Pid) { return Pid > 0 && kill(pid_t(Pid), 0) != 0 && errno == ESRCH; }

std::string FollowLinks(std::string_view Path) {
  std::string path = NativePath(Path);
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::vector<char> target(PATH_MAX);
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n <= 0) return path;
    std::string next(target.data(), size_t(n));
    if (next[0] != '/') next = path.substr(0, path.rfind('/') + 1) + next;
    path = std::move(next);
  }
  return path;
}

bool ReplaceFileContents(std::string_view FileName, std::string_view Data) {
  if (FileName.empty()) {
    errno = ENOENT;
    return false;
  }
  const std::string target = FollowLinks(FileName);
  std::string temp;
  Fd out(CreateUniqueFile(target, ".new", temp));
  if (out.fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < Data.size();) {
    const ssize_t n = write(out.fd, Data.data() + done, Data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      ok = false;
      break;
    }
    done += size_t(n);
  }
  struct stat st;
  ok = ok && (stat(target.c_str(), &st) != 0 || fchmod(out.fd, st.st_mode & 07777) == 0);
  ok = ok && fsync(out.fd) == 0;
  if (out.fd >= 0) ok = close(out.fd) == 0 && ok;
  out.fd = -1;
  ok = ok && RenameNative(temp, target, true);
  if (!ok) {
    const int err = errno;
    DeleteFile(temp);
    errno = err;
  }
  return ok;
}

std::string GetCurrentDir() {
  std::vector<char> buf(PATH_MAX);
  for (;;) {
    if (getcwd(buf.data(), buf.size())) return std::string(buf.data());
    if (errno != ERANGE) return std::string();
    buf.resize(buf.size() * 2);
  }
}

bool SetCurrentDir(std::string_view Dir) { return !Dir.empty() && chdir(NativePath(Dir).c_str()) == 0; }

int64_t DiskFree(std::string_view Path) {
  struct statvfs st;
  if (statvfs(NativePath(Path).c_str(), &st) != 0) return -1;
  return int64_t(st.f_bavail) * int64_t(st.f_frsize);
}
