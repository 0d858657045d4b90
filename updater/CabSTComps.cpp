#include "updater/CabSTComps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "platform/rtl/sysutils.h"
#include "platform/win/shell.h"
#include "updater/CabSTConsts.h"

namespace {

// The last system error of a failing file callback, for every reader of the
// program; reset when a notification starts.
int g_lastSystemError = 0;

// An extracted file is written beside its destination under a new name of its own
// ending in this suffix, and renamed over the destination once it is complete.
const char* const kPartSuffix = ".cab-part";

std::string SysErrorMessage(int code) { return std::strerror(code); }

std::string Hex4(int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X", unsigned(value) & 0xFFFFu);
  return buf;
}

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

// A name stored in a cabinet must stay inside the destination folder: no root,
// no drive, no ".." part.
bool IsSafeEntryName(const std::string& name) {
  if (name.empty() || IsDelimiter(name[0])) return false;
  if (name.size() >= 2 && name[1] == ':') return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

// The files digested as they are written, by handle: their writes come on the thread
// of the extraction that opened them.
struct TDigesting {
  INT_PTR hf;
  int64_t position;                    // where the next write goes
  std::unique_ptr<TMD5Stream> stream;  // null once the digest no longer tells the content
};
thread_local std::vector<TDigesting> t_digesting;

TDigesting* DigestingOf(INT_PTR hf) {
  for (TDigesting& d : t_digesting)
    if (d.hf == hf) return &d;
  return nullptr;
}

// A handle moved to Position: only writes in a row from the start make the digest.
void Moved(INT_PTR hf, int64_t Position) {
  if (TDigesting* d = t_digesting.empty() ? nullptr : DigestingOf(hf))
    if (Position != d->position) d->stream.reset();
}

// What decides whether a destination may name the digested file: its file name in
// capitals, without a final ".EXE" (such a name may stand for the name without it).
std::string DigestKey(const std::string& FileName) {
  std::string key = UpperCase(ExtractFileName(FileName));
  if (key.size() > 4 && key.ends_with(".EXE")) key.resize(key.size() - 4);
  return key;
}

// DOS date and time, taken as local time.
timespec DosToTimespec(Word date, Word time) {
  std::tm t{};
  t.tm_year = ((date >> 9) & 0x7F) + 80;
  t.tm_mon = ((date >> 5) & 0x0F) - 1;
  t.tm_mday = date & 0x1F;
  t.tm_hour = time >> 11;
  t.tm_min = (time >> 5) & 0x3F;
  t.tm_sec = (time & 0x1F) * 2;
  t.tm_isdst = -1;
  return timespec{std::mktime(&t), 0};
}

// Memory and file callbacks of the FDI context.

void* FdiAlloc(ULONG cb) { return std::malloc(cb); }
void FdiFree(void* pv) { std::free(pv); }

// Handle 0 would read as "skip this file" in a copy-file answer.
int NonZeroHandle(int fd) {
  if (fd != 0) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
  close(fd);
  return moved;
}

INT_PTR FdiOpen(char* pszFile, int oflag, int pmode) {
  int flags = 0;
  switch (oflag & _O_ACCMODE) {
    case _O_RDONLY: flags |= O_RDONLY; break;
    case _O_WRONLY: flags |= O_WRONLY; break;
    default: flags |= O_RDWR; break;
  }
  const bool create = oflag & _O_CREAT, truncate = oflag & _O_TRUNC;
  if (create && (oflag & _O_EXCL))
    flags |= O_CREAT | O_EXCL;
  else if (create && truncate)
    flags |= O_CREAT | O_TRUNC;
  else if (truncate)
    flags |= O_TRUNC;
  else if (create)
    flags |= O_CREAT;
  const int fd = NonZeroHandle(OpenNative(pszFile, flags));
  if (fd < 0) {
    g_lastSystemError = errno;
    return -1;
  }
  if (create && (oflag & _O_TEMPORARY)) DeleteFile(pszFile);  // gone once closed
  // Read-ahead advice; a file only written has nothing to read ahead.
  if ((oflag & _O_ACCMODE) != _O_WRONLY) {
    if (oflag & _O_RANDOM) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    if (oflag & _O_SEQUENTIAL) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  if ((oflag & _O_APPEND) && lseek(fd, 0, SEEK_END) < 0) {
    g_lastSystemError = errno;
    close(fd);
    return -1;
  }
  return fd;
}

UINT FdiRead(INT_PTR hf, void* pv, UINT cb) {
  ssize_t r;
  do r = read(int(hf), pv, cb);
  while (r < 0 && errno == EINTR);
  if (r < 0) {
    g_lastSystemError = errno;
    return UINT(-1);
  }
  if (r > 0) Moved(hf, -1);  // no longer a row of writes
  return UINT(r);
}

UINT FdiWrite(INT_PTR hf, void* pv, UINT cb) {
  const char* p = static_cast<const char*>(pv);
  size_t left = cb;
  while (left > 0) {
    ssize_t r = write(int(hf), p, left);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      g_lastSystemError = r < 0 ? errno : EIO;
      return UINT(-1);
    }
    p += r, left -= size_t(r);
  }
  if (TDigesting* d = t_digesting.empty() ? nullptr : DigestingOf(hf); d && d->stream) {
    // Runs inside the decoder: nothing may be thrown through it.
    try {
      d->stream->Add(pv, cb);
      d->position += cb;
    } catch (...) {
      d->stream.reset();
    }
  }
  return cb;
}

int FdiClose(INT_PTR hf) {
  // The handle's number is free for the next file once it is closed.
  std::erase_if(t_digesting, [&](const TDigesting& d) { return d.hf == hf; });
  if (close(int(hf)) != 0) {
    g_lastSystemError = errno;
    return -1;
  }
  return 0;
}

int64_t FdiSeek(INT_PTR hf, int64_t dist, int seektype) {
  off_t r = lseek(int(hf), off_t(dist), seektype);
  if (r < 0) {
    g_lastSystemError = errno;
    return -1;
  }
  Moved(hf, r);
  return r;
}

}  // namespace

// ESTCabinet

ESTCabinet::ESTCabinet(const ERF& Erf, bool IsFCI) : erf_(Erf), isFCI_(IsFCI) {
  std::string text;
  if (Erf.fError) {
    text = (IsFCI ? FCIErrorText(Erf.erfOper) : FDIErrorText(Erf.erfOper)) + " [0x" + Hex4(Erf.erfOper) + "]";
    if (Erf.erfType != 0) text += ".\r\n" + SysErrorMessage(Erf.erfType) + " [0x" + Hex4(Erf.erfType) + "].";
  } else {
    text = IsFCI ? CabSTConsts::SFCIError : CabSTConsts::SFDIError;
  }
  SetMessage(text);
}

// TSTCabReader

TSTCabReader::TSTCabReader(TComponent* AOwner) : TComponent(AOwner) {}

TSTCabReader::~TSTCabReader() {
  try {
    DestroyContext();
  } catch (const ESTCabinet&) {
    // The context is gone either way.
  }
}

std::string TSTCabReader::JoinPath(const std::string& Left, const std::string& Right) {
  if (Left.empty()) return Right;
  if (Right.empty()) return Left;
  const bool leftEnds = IsDelimiter(Left.back()), rightStarts = IsDelimiter(Right.front());
  if (leftEnds && rightStarts) return Left + Right.substr(1);
  if (leftEnds || rightStarts) return Left + Right;
  return Left + "\\" + Right;
}

HFDI TSTCabReader::GetContext() {
  if (!context_) CreateContext();
  return context_;
}

void TSTCabReader::CreateContext() {
  erf_ = ERF{};
  context_ = CabIntf::FDICreate(FdiAlloc, FdiFree, FdiOpen, FdiRead, FdiWrite, FdiClose, FdiSeek, cpuUNKNOWN, &erf_);
  CheckFDI(context_ != nullptr);
}

void TSTCabReader::DestroyContext() {
  if (!context_) return;
  HFDI context = context_;
  context_ = nullptr;
  CheckFDI(CabIntf::FDIDestroy(context));
}

void TSTCabReader::CheckFDI(bool Ok) {
  if (Ok) return;
  erf_.erfType = g_lastSystemError;
  throw ESTCabinet(erf_, false);
}

bool TSTCabReader::IsCabinet(const std::string& FileName, FDICABINETINFO& Info) {
  HFDI context = GetContext();
  std::string name = FileName;
  INT_PTR hf = FdiOpen(name.data(), _O_BINARY | _O_RDONLY, 0);
  if (hf == -1) CabIntf::RaiseSystemError(DWORD(g_lastSystemError), SysErrorMessage(g_lastSystemError));
  const bool result = CabIntf::FDIIsCabinet(context, hf, &Info);
  FdiClose(hf);
  return result;
}

void TSTCabReader::Extract(const std::string& CabinetFile, const std::string& DestFolder, Integer Flags) {
  cabinetName_ = ExpandFileName(CabinetFile);
  destFolder_ = IncludeTrailingBackslash(DestFolder);
  sourceNames_.clear();
  destNames_.clear();
  partNames_.clear();
  madeFolder_.clear();
  digested_.clear();
  currentCabinet_ = cabinetName_;
  // A set whose names lead back to a cabinet already read ends there.
  std::vector<std::string> done;
  try {
    while (!currentCabinet_.empty()) {
      done.push_back(currentCabinet_);
      nextCabName_.clear();
      nextDiskName_.clear();
      requestedNextCabinet_.clear();
      nextCabinetRequested_ = false;
      targetFailed_ = false;
      std::string path = ExtractFilePath(currentCabinet_), name = ExtractFileName(currentCabinet_);
      HFDI context = GetContext();
      g_lastSystemError = 0;
      const bool ok = CabIntf::FDICopy(context, name.data(), path.data(), 0, Notification, nullptr, this);
      if (!ok && targetFailed_) erf_.erfOper = FDIERROR_TARGET_FILE;
      CheckFDI(ok);

      std::string next;
      if (nextCabinetRequested_)
        next = requestedNextCabinet_;
      else if (!nextCabName_.empty() && !SameText(nextCabName_, currentCabinet_))
        next = nextCabName_;
      if ((Flags & 1) || next.empty() || !FileExists(next)) break;
      for (const std::string& d : done)
        if (SameText(d, next)) next.clear();
      currentCabinet_ = next;
    }
  } catch (...) {
    DropUnfinishedFiles();
    throw;
  }
}

void TSTCabReader::DropUnfinishedFiles() {
  for (const std::string& part : partNames_) DeleteFile(part);
  sourceNames_.clear();
  destNames_.clear();
  partNames_.clear();
}

INT_PTR TSTCabReader::Notification(FDINOTIFICATIONTYPE fdint, PFDINOTIFICATION pfdin) {
  return static_cast<TSTCabReader*>(pfdin->pv)->HandleNotification(fdint, *pfdin);
}

INT_PTR TSTCabReader::HandleNotification(FDINOTIFICATIONTYPE fdint, FDINOTIFICATION& Notify) {
  g_lastSystemError = 0;
  switch (fdint) {
    case fdintCABINET_INFO: return CabinetInfo(Notify);
    case fdintPARTIAL_FILE: return PartialFile(Notify);
    case fdintCOPY_FILE: return CopyFile(Notify);
    case fdintCLOSE_FILE_INFO: return CloseFile(Notify);
    case fdintNEXT_CABINET: return NextCabinet(Notify);
    default: {
      Integer result = 0;
      onUnrecognizedNotify_(this, Integer(fdint), Notify, result);
      return result;
    }
  }
}

INT_PTR TSTCabReader::CabinetInfo(FDINOTIFICATION& n) {
  if (nextCabinetRequested_) currentCabinet_ = requestedNextCabinet_;
  const std::string next = n.psz1 ? n.psz1 : "", disk = n.psz2 ? n.psz2 : "", path = n.psz3 ? n.psz3 : "";
  nextCabName_ = next.empty() ? std::string() : JoinPath(path, next);
  nextDiskName_ = disk;
  bool abort = false;
  onCabinetInfo_(this, next, disk, path, n.setID, n.iCabinet, abort);
  return abort ? -1 : 0;
}

INT_PTR TSTCabReader::PartialFile(FDINOTIFICATION& n) {
  const std::string name = n.psz1;
  std::string dest;
  for (size_t i = 0; i < sourceNames_.size(); ++i)
    if (sourceNames_[i] == name) {
      dest = destNames_[i];
      break;
    }
  bool abort = false;
  onCopyPartialFile_(this, name, n.psz2 ? n.psz2 : "", n.psz3 ? n.psz3 : "", dest, abort);
  return abort ? -1 : 0;
}

INT_PTR TSTCabReader::FailTarget(int systemError) {
  g_lastSystemError = systemError;
  targetFailed_ = true;
  return -1;
}

INT_PTR TSTCabReader::CopyFile(FDINOTIFICATION& n) {
  const std::string name = n.psz1;
  if (!IsSafeEntryName(name)) return FailTarget(EACCES);
  std::string dest = JoinPath(destFolder_, name);
  bool abort = false;
  onCopyFile_(this, name, Cardinal(n.cb), n.date, n.time, n.attribs, n.iFolder, dest, abort);
  if (abort) return -1;
  if (dest.empty()) return 0;
  errno = 0;
  // The folder of the last file is known to be there.
  if (const std::string folder = ExtractFilePath(dest); folder != madeFolder_) {
    if (!ForceDirectories(folder)) return FailTarget(errno ? errno : EACCES);
    madeFolder_ = folder;
  }
  struct stat st;
  if (options_.Contains(croDontOverwriteReadOnlyFiles) && stat(NativePath(dest).c_str(), &st) == 0 &&
      S_ISREG(st.st_mode) && !(st.st_mode & 0222))
    return 0;
  // A new destination is written in place and removed again unless it is completed;
  // an existing one is replaced only once the new file is complete (see CloseFile).
  std::string part = dest;
  INT_PTR hf = FdiOpen(part.data(), _O_WRONLY | _O_SEQUENTIAL | _O_CREAT | _O_EXCL | _O_BINARY, 0);
  if (hf == -1) {
    if (g_lastSystemError != EEXIST) return FailTarget(g_lastSystemError);
    g_lastSystemError = 0;  // an existing destination is no failure
    // Written through the descriptor that made it: the name is never opened again.
    hf = NonZeroHandle(CreateUniqueFile(dest, kPartSuffix, part));
    if (hf == -1) {
      const int err = errno;
      if (!part.empty()) DeleteFile(part);
      return FailTarget(err);
    }
  }
  sourceNames_.push_back(name);
  destNames_.push_back(dest);
  partNames_.push_back(part);
  if (!digestKey_.empty() && DigestKey(dest) == digestKey_) {
    try {
      t_digesting.push_back({hf, 0, std::make_unique<TMD5Stream>()});
    } catch (...) {
      // Without a digest here, the file is read to make it.
    }
  }
  return hf;
}

INT_PTR TSTCabReader::CloseFile(FDINOTIFICATION& n) {
  const std::string name = n.psz1;
  std::string dest;
  const auto at = std::find(sourceNames_.begin(), sourceNames_.end(), name);
  if (at == sourceNames_.end()) {
    FdiClose(n.hf);
  } else {
    const size_t i = size_t(at - sourceNames_.begin());
    dest = destNames_[i];
    const std::string part = partNames_[i];
    sourceNames_.erase(at);
    destNames_.erase(destNames_.begin() + std::ptrdiff_t(i));
    partNames_.erase(partNames_.begin() + std::ptrdiff_t(i));
    // The cabinet's time and attributes go on through the handle before it is closed.
    // Of the stored attributes (read-only, hidden, system, archive) only read-only
    // has a counterpart here.
    const int fd = int(n.hf);
    const timespec t = FileTime(n.date, n.time);
    const timespec times[2] = {t, t};
    futimens(fd, times);
    TDigesting* digesting = DigestingOf(n.hf);
    struct stat st;
    const bool known = ((n.attribs & _A_RDONLY) || (digesting && digesting->stream)) && fstat(fd, &st) == 0;
    if (known && (n.attribs & _A_RDONLY)) fchmod(fd, st.st_mode & ~mode_t(0222));
    if (known && digesting && digesting->stream && digesting->stream->Count() == int64_t(st.st_size)) {
      try {
        digested_.push_back({uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size), digesting->stream->Finish()});
      } catch (...) {
        // Without a digest here, the file is read to make it; the handle is closed below.
      }
    }
    if (FdiClose(n.hf) != 0) {
      DeleteFile(part);
      return FailTarget(g_lastSystemError);
    }
    if (part != dest && !RenameReplacing(part, dest)) {
      const int err = errno;
      DeleteFile(part);
      return FailTarget(err);
    }
  }
  bool exec = n.cb != 0;
  bool abort = false;
  onCloseFile_(this, name, n.date, n.time, n.attribs, n.iFolder, exec, dest, abort);
  if (abort) return -1;
  if (exec && options_.Contains(croExecuteOnExtract) && !dest.empty())
    ShellExecute(nullptr, "open", dest.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return 1;
}

timespec TSTCabReader::FileTime(Word Date, Word Time) {
  if (!fileTimeKnown_ || Date != fileDate_ || Time != fileTime_) {
    fileTimes_ = DosToTimespec(Date, Time);
    fileDate_ = Date;
    fileTime_ = Time;
    fileTimeKnown_ = true;
  }
  return fileTimes_;
}

void TSTCabReader::SetDigestFileName(const std::string& FileName) {
  digestFileName_ = FileName;
  digestKey_ = FileName.empty() ? std::string() : DigestKey(FileName);
}

bool TSTCabReader::WrittenDigest(MD5Digest& Digest) const {
  struct stat st;
  if (digestFileName_.empty() || stat(NativePath(digestFileName_).c_str(), &st) != 0) return false;
  // The latest file of that identity is the one there now.
  for (auto d = digested_.rbegin(); d != digested_.rend(); ++d)
    if (d->dev == uint64_t(st.st_dev) && d->ino == uint64_t(st.st_ino)) {
      if (d->size != int64_t(st.st_size)) return false;
      Digest = d->digest;
      return true;
    }
  return false;
}

INT_PTR TSTCabReader::NextCabinet(FDINOTIFICATION& n) {
  INT_PTR result;
  if (onNextCabinet_) {
    std::string path = n.psz3;
    bool abort = false;
    onNextCabinet_(this, n.psz1 ? n.psz1 : "", n.psz2 ? n.psz2 : "", path, Integer(n.fdie), abort);
    path = IncludeTrailingBackslash(path);
    if (abort) {
      result = -1;
    } else if (path.size() >= size_t(CB_MAX_CAB_PATH)) {
      // The library's path buffer cannot hold it.
      g_lastSystemError = ENAMETOOLONG;
      result = -1;
    } else {
      std::memcpy(n.psz3, path.c_str(), path.size() + 1);
      result = 0;
    }
  } else {
    result = n.fdie != FDIERROR_NONE ? -1 : 0;
  }
  requestedNextCabinet_ = JoinPath(n.psz3, n.psz1 ? n.psz1 : "");
  nextCabinetRequested_ = true;
  return result;
}

bool ExtractCabinet(const std::string& CabinetFile, const std::string& DestFolder, std::string* Error,
                    const TSTCabReaderCopyFileEvent& OnCopyFile, TCabDigest* Digest) {
  if (Digest) Digest->Made = false;
  try {
    TSTCabReader reader(nullptr);
    reader.SetOnCopyFile(OnCopyFile);
    if (Digest) reader.SetDigestFileName(IncludeTrailingPathDelimiter(DestFolder) + Digest->FileName);
    reader.Extract(CabinetFile, DestFolder);
    if (Digest) Digest->Made = reader.WrittenDigest(Digest->Digest);
    return true;
  } catch (const std::exception& e) {
    if (Error) *Error = e.what();
    return false;
  }
}

bool IsCabinetFile(const std::string& FileName) {
  TSTCabReader reader(nullptr);
  FDICABINETINFO info;
  return reader.IsCabinet(FileName, info);
}
