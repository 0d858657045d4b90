#include "updater/NVLogFile.h"

#include <sys/stat.h>

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
  try {
    CloseLog();
    if (!IsAbsoluteLogName(FLogFileName)) FLogFileName = ParamStr(0) + ".log";
    const bool exists = FileExists(FLogFileName);
    if (exists && FSizeLimit != 0) {
      // Emptied whole before the entry that finds it too large; there is no rotation.
      const int64_t size = TFileStream(FLogFileName, fmOpenRead | fmShareDenyNone).Size();
      if (size > FSizeLimit) {
        // Never through a link: a name that is a symbolic link, or one of several hard
        // links, is replaced by a new file, and what it led to keeps its contents.
        struct stat st {};
        const std::string native = NativePath(FLogFileName);
        if (lstat(native.c_str(), &st) == 0 && (S_ISLNK(st.st_mode) || st.st_nlink > 1)) DeleteFile(native);
        TFileStream emptied(FLogFileName, fmCreate);
      }
    }
    if (exists && !FOverwriteExistingFile) {
      FFile = std::make_unique<TFileStream>(FLogFileName, fmOpenWrite | fmShareDenyNone);
      FFile->Seek(0, soEnd);
    } else {
      FFile = std::make_unique<TFileStream>(FLogFileName, fmCreate);
    }
    return true;
  } catch (const std::exception&) {
    CloseLog();
    return false;
  }
}

void TLogFile::CloseLog() { FFile.reset(); }

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
  try {
    FFile->WriteBuffer(text.data(), int64_t(text.size()));
  } catch (const std::exception&) {
    // a full disk loses the entry; the updater goes on
  }
  CloseLog();
}
