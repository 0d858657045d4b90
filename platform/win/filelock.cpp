#include "platform/win/filelock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/rtl/sysutils.h"

namespace {

bool IsNumber(const char* s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (*s < '0' || *s > '9') return false;
  return true;
}

bool SameFile(const std::string& link, const struct stat& target) {
  struct stat st;
  return stat(link.c_str(), &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino;
}

// True when a process runs the file or has it open; ownFd (this probe's descriptor)
// does not count.
bool OpenAnywhere(const struct stat& target, int ownFd) {
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  const std::string self = std::to_string(getpid());
  bool found = false;
  while (!found) {
    dirent* e = readdir(proc);
    if (!e) break;
    if (!IsNumber(e->d_name)) continue;
    const std::string base = std::string("/proc/") + e->d_name;
    if (SameFile(base + "/exe", target)) {
      found = true;
      break;
    }
    DIR* fds = opendir((base + "/fd").c_str());
    if (!fds) continue;  // gone, or another user's
    const bool mine = self == e->d_name;
    while (dirent* f = readdir(fds)) {
      if (!IsNumber(f->d_name)) continue;
      if (mine && std::atoi(f->d_name) == ownFd) continue;
      if (SameFile(base + "/fd/" + f->d_name, target)) {
        found = true;
        break;
      }
    }
    closedir(fds);
  }
  closedir(proc);
  return found;
}

}  // namespace

bool IsFileInUse(const std::string& FileName) {
  if (FileName.empty()) return false;
  const std::string path = NativePath(FileName);
  struct stat target;
  if (stat(path.c_str(), &target) != 0) return false;
  const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return true;
  bool inUse = false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    inUse = true;
  } else {
    flock(fd, LOCK_UN);
    struct flock lock{};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK) inUse = true;
  }
  if (!inUse) inUse = OpenAnywhere(target, fd);
  close(fd);
  return inUse;
}
