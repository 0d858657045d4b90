// File names and the file operations, all through NativePath.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <utility>
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

// The entry of `dir` whose name equals `name` ignoring ASCII case; when several
// do, the smallest by bytes, so the choice does not depend on directory order.
bool FindIgnoringCase(const std::string& dir, std::string_view name, std::string& found) {
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.empty() ? "." : dir.c_str()), closedir);
  if (!d) return false;
  bool any = false;
  while (const dirent* e = readdir(d.get())) {
    std::string_view entry(e->d_name);
    if (entry.size() != name.size() || !SameText(entry, name)) continue;
    if (!any || entry < std::string_view(found)) found = std::string(entry);
    any = true;
  }
  return any;
}

std::string Join(const std::string& dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  if (dir.back() == '/') return dir + std::string(name);
  return dir + "/" + std::string(name);
}

// Resolves `path` (delimiters already "/", no empty components except a leading
// root) component by component from the right: only when a name misses exactly is
// its folder scanned. `exists` tells whether the result names an existing entry.
std::string Resolve(const std::string& path, bool& exists) {
  if (Exists(path)) {
    exists = true;
    return path;
  }
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
  if (name.empty() || name == "." || name == "..") return path;
  if (!parent.empty() && parent != "/") {
    bool parentExists;
    parent = Resolve(parent, parentExists);
    if (!parentExists) return Join(parent, name);
  }
  std::string found;
  if (FindIgnoringCase(parent, name, found)) {
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
  std::string path;
  path.reserve(FileName.size());
  for (char c : FileName) {
    const char d = c == '\\' ? '/' : c;
    if (d == '/' && !path.empty() && path.back() == '/') continue;
    path.push_back(d);
  }
  return path;
}

}  // namespace

std::string NativePath(std::string_view FileName) {
  std::string path = SlashPath(FileName);
  if (path.empty()) return path;
  const bool trailing = path.size() > 1 && path.back() == '/';
  if (trailing) path.pop_back();
  bool exists;
  std::string resolved = Resolve(path, exists);
  if (!exists && EndsWithExe(resolved)) {
    bool bareExists;
    std::string bare = Resolve(resolved.substr(0, resolved.size() - 4), bareExists);
    if (bareExists) resolved = std::move(bare);
  }
  if (trailing) resolved.push_back('/');
  return resolved;
}

int OpenNative(std::string_view FileName, int Flags) {
  const std::string path = SlashPath(FileName);
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  // Creating under the name as written could miss an existing file named in another case.
  if (Flags & O_CREAT) return open(NativePath(FileName).c_str(), Flags | O_CLOEXEC, 0666);
  const int fd = open(path.c_str(), Flags | O_CLOEXEC);
  if (fd >= 0 || errno != ENOENT) return fd;
  const std::string resolved = NativePath(FileName);
  if (resolved == path) {
    errno = ENOENT;
    return -1;
  }
  return open(resolved.c_str(), Flags | O_CLOEXEC);
}

// ---- Files and folders ----

bool FileExists(std::string_view FileName) {
  struct stat st;
  return !FileName.empty() && stat(NativePath(FileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view Directory) {
  return !Directory.empty() && IsDirectory(NativePath(Directory));
}

bool CreateDir(std::string_view Dir) { return !Dir.empty() && mkdir(NativePath(Dir).c_str(), 0777) == 0; }

bool ForceDirectories(std::string_view Dir) {
  if (Dir.empty()) throw EInOutError("Unable to create directory");
  const std::string dir = ExcludeTrailingPathDelimiter(Dir);
  if (dir.empty() || DirectoryExists(dir)) return true;  // the root, or already there
  const std::string parent = ExcludeTrailingPathDelimiter(ExtractFilePath(dir));
  if (!parent.empty() && !ForceDirectories(parent)) return false;
  return CreateDir(dir) || DirectoryExists(dir);
}

bool RemoveDir(std::string_view Dir) { return !Dir.empty() && rmdir(NativePath(Dir).c_str()) == 0; }

bool DeleteFile(std::string_view FileName) {
  return !FileName.empty() && unlink(NativePath(FileName).c_str()) == 0;
}

bool RenameFile(std::string_view OldName, std::string_view NewName) {
  if (OldName.empty() || NewName.empty()) return false;
  const std::string from = NativePath(OldName), to = NativePath(NewName);
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without RENAME_NOREPLACE: a hard link refuses an existing target.
  if (link(from.c_str(), to.c_str()) == 0) return unlink(from.c_str()) == 0;
  if (errno != EPERM && errno != EXDEV) return false;
  return !Exists(to) && rename(from.c_str(), to.c_str()) == 0;
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

bool CopyFile(std::string_view ExistingFileName, std::string_view NewFileName, bool FailIfExists) {
  if (ExistingFileName.empty() || NewFileName.empty()) return false;
  const std::string from = NativePath(ExistingFileName), to = NativePath(NewFileName);
  Fd in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (in.fd < 0 || fstat(in.fd, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (FailIfExists && Exists(to)) return false;
  // Written beside the target and renamed over it, so a failed copy never leaves
  // the target truncated.
  std::string temp = to + ".copy-XXXXXX";
  Fd out(mkostemp(temp.data(), O_CLOEXEC));
  if (out.fd < 0) return false;
  bool ok = CopyContents(in.fd, out.fd, st.st_size) && fchmod(out.fd, st.st_mode & 07777) == 0;
  if (ok) {
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ok = futimens(out.fd, times) == 0;
  }
  if (ok) ok = close(out.fd) == 0;
  out.fd = -1;
  if (ok) {
    if (FailIfExists)
      ok = renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ||
           ((errno == EINVAL || errno == ENOSYS) && !Exists(to) && rename(temp.c_str(), to.c_str()) == 0);
    else
      ok = rename(temp.c_str(), to.c_str()) == 0;
  }
  if (!ok) unlink(temp.c_str());
  return ok;
}

bool SaveFileReplacing(std::string_view FileName, std::string_view Contents) {
  if (FileName.empty()) return false;
  const std::string to = NativePath(FileName);
  std::string temp = to + ".save-XXXXXX";
  Fd out(mkostemp(temp.data(), O_CLOEXEC));
  if (out.fd < 0) return false;
  struct stat old;
  bool ok = stat(to.c_str(), &old) != 0 || fchmod(out.fd, old.st_mode & 07777) == 0;
  for (size_t done = 0; ok && done < Contents.size();) {
    const ssize_t w = write(out.fd, Contents.data() + done, Contents.size() - done);
    if (w < 0 && errno == EINTR) continue;
    ok = w > 0;
    if (ok) done += size_t(w);
  }
  // On the disk before it takes the old file's name.
  ok = ok && fsync(out.fd) == 0;
  ok = close(std::exchange(out.fd, -1)) == 0 && ok;
  ok = ok && rename(temp.c_str(), to.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
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
