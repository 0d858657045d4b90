#include "updater/NVLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/rtl/sysutils.h"

namespace {

// A name is absolute when it has a drive ("X:..."), is a network name ("\\...")
// or starts at the file system's root.
bool IsAbsoluteLogName(const std::string& name) {
  if (name.size() >= 2 && name[1] == ':') return true;
  if (name.rfind("\\\\", 0) == 0) return true;
  return !name.empty() && (name[0] == '/' || name[0] == '\\');
}

}  // namespace

std::recursive_mutex& LogFileLock() {
  static std::recursive_mutex lock;
  return lock;
}

TLogFile::TLogFile(TComponent* AOwner) : TComponent(AOwner) {}

TLogFile::~TLogFile() { CloseLog(); }

void TLogFile::Loaded() {
  TComponent::Loaded();
  if (!FClearonCreate) return;
  std::lock_guard guard(LogFileLock());
  const bool keep = FOverwriteExistingFile;
  FOverwriteExistingFile = true;
  if (OpenLog()) CloseLog();
  FOverwriteExistingFile = keep;
}

bool TLogFile::OpenLog() {
  CloseLog();
  try {
    if (!IsAbsoluteLogName(FLogFileName)) FLogFileName = ParamStr(0) + ".log";
  } catch (const std::exception&) {
    return false;
  }
  // Only a plain file of this name is written: a pipe or a device would hold the run
  // (or take its lines), so the entry is lost instead; a symbolic link, or one of several
  // hard links, would carry the lines into another file, so the name is given a new file
  // and what it led to keeps its contents.
  int fd = OpenRegularFile(FLogFileName, O_WRONLY | O_APPEND | O_NOFOLLOW);
  struct stat st {};
  if (fd >= 0 && fstat(fd, &st) == 0 && st.st_nlink > 1) {
    ::close(fd);
    fd = -1;
    errno = ELOOP;
  }
  if (fd < 0 && errno == ELOOP) {
    if (!DeleteFile(FLogFileName)) return false;
    errno = ENOENT;
  }
  if (fd >= 0) {
    // Emptied whole before the entry that finds it too large; there is no rotation.
    const bool tooLarge = FSizeLimit != 0 && fstat(fd, &st) == 0 && st.st_size > FSizeLimit;
    if ((tooLarge || FOverwriteExistingFile) && ::ftruncate(fd, 0) != 0) {
      ::close(fd);
      return false;
    }
  } else if (errno != ENOENT) {
    return false;
  }
  // A new file; should something of the name appear meanwhile, it is not opened.
  if (fd < 0) fd = OpenNative(FLogFileName, O_WRONLY | O_APPEND | O_CREAT | O_EXCL);
  if (fd < 0) return false;
  FHandle = fd;
  return true;
}

void TLogFile::CloseLog() {
  if (FHandle >= 0) ::close(FHandle);
  FHandle = -1;
}

void TLogFile::WriteEntry(const std::string& Msg, int LinesBefore, int LinesAfter) {
  std::lock_guard guard(LogFileLock());
  if (!OpenLog()) return;  // a log that cannot be written loses the entry, nothing else
  std::string text;
  for (int i = 0; i < LinesBefore; ++i) text += "\r\n";
  if (FIncPrefix) text += FPrefix;
  if (FIncDateTime) {
    if (FDateTimeFormatStr.empty()) FDateTimeFormatStr = "c";
    text += FormatDateTime(FDateTimeFormatStr, Now());
  }
  if (FIncSeparator) text += FSeparator;
  text += Msg;
  if (FIncSuffix) text += FSuffix;
  text += "\r\n";
  for (int i = 0; i < LinesAfter; ++i) text += "\r\n";
  // A full disk loses the entry; the updater goes on.
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(FHandle, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  CloseLog();
}
