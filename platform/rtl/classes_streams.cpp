// Streams: the base operations, file descriptors, named files and memory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"

namespace {
// The largest count one read(2) or write(2) call is asked for.
constexpr int64_t kMaxTransfer = int64_t{1} << 30;

[[noreturn]] void RaiseOSError(int error) {
  throw EOSError(Format("System Error.  Code: %d.\n%s", error, std::strerror(error)));
}
}  // namespace

// ---- TStream ----

int64_t TStream::Size() {
  const int64_t pos = Seek(0, soCurrent);
  const int64_t end = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return end;
}

void TStream::SetSize(int64_t NewSize) {}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  auto* p = static_cast<uint8_t*>(Buffer);
  while (Count > 0) {
    const int64_t n = Read(p, Count);
    if (n <= 0) throw EReadError("Stream read error");
    p += n;
    Count -= n;
  }
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  const auto* p = static_cast<const uint8_t*>(Buffer);
  while (Count > 0) {
    errno = 0;
    const int64_t n = Write(p, Count);
    // The system's reason, when there is one: a full disk reads as such.
    if (n <= 0) throw EWriteError(errno ? "Stream write error: " + std::string(std::strerror(errno)) : "Stream write error");
    p += n;
    Count -= n;
  }
}

int64_t TStream::CopyFrom(TStream* Source, int64_t Count) {
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  const int64_t total = Count;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<int64_t>(Count, 1, 1 << 16)));
  while (Count > 0) {
    const int64_t n = std::min<int64_t>(Count, static_cast<int64_t>(buffer.size()));
    Source->ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    Count -= n;
  }
  return total;
}

// ---- THandleStream ----

int64_t THandleStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  for (;;) {
    const ssize_t n = ::read(handle_, Buffer, static_cast<size_t>(std::min(Count, kMaxTransfer)));
    if (n >= 0) return n;
    if (errno != EINTR) return 0;
  }
}

int64_t THandleStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  for (;;) {
    const ssize_t n = ::write(handle_, Buffer, static_cast<size_t>(std::min(Count, kMaxTransfer)));
    if (n >= 0) return n;
    if (errno != EINTR) return 0;
  }
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int whence = Origin == soCurrent ? SEEK_CUR : (Origin == soEnd ? SEEK_END : SEEK_SET);
  return static_cast<int64_t>(::lseek(handle_, static_cast<off_t>(Offset), whence));
}

int64_t THandleStream::Size() {
  struct stat st;
  if (fstat(handle_, &st) == 0 && S_ISREG(st.st_mode)) return static_cast<int64_t>(st.st_size);
  return TStream::Size();
}

void THandleStream::SetSize(int64_t NewSize) {
  if (Seek(NewSize, soBeginning) < 0) RaiseOSError(errno);
  if (::ftruncate(handle_, static_cast<off_t>(NewSize)) != 0) RaiseOSError(errno);
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& AFileName, Word Mode) : THandleStream(-1), fileName_(AFileName) {
  if (Mode == fmCreate) {
    handle_ = OpenNative(AFileName, O_RDWR | O_CREAT | O_TRUNC);
    if (handle_ < 0)
      throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(AFileName), std::strerror(errno)));
    return;
  }
  const std::string path = NativePath(AFileName);
  const int access = (Mode & 3) == fmOpenWrite ? O_WRONLY : ((Mode & 3) == fmOpenReadWrite ? O_RDWR : O_RDONLY);
  handle_ = ::open(path.c_str(), access | O_CLOEXEC);
  int error = errno;
  struct stat st;
  if (handle_ >= 0 && fstat(handle_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(handle_);
    handle_ = -1;
    error = EISDIR;
  }
  if (handle_ < 0)
    throw EFOpenError(Format("Cannot open file \"%s\". %s", ExpandFileName(AFileName), std::strerror(error)));
}

TFileStream::~TFileStream() {
  if (handle_ >= 0) ::close(handle_);
}

// ---- TMemoryStream ----

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  if (position_ < 0 || Count <= 0 || position_ >= Size()) return 0;
  const int64_t n = std::min(Count, Size() - position_);
  std::memcpy(Buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (position_ < 0 || Count <= 0) return 0;
  if (Count > std::numeric_limits<int64_t>::max() - position_) return 0;
  const int64_t end = position_ + Count;
  if (end > Size()) SetSize(end);
  std::memcpy(data_.data() + position_, Buffer, static_cast<size_t>(Count));
  position_ = end;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t base = Origin == soCurrent ? position_ : (Origin == soEnd ? Size() : 0);
  position_ = base + Offset;
  return position_;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) NewSize = 0;
  try {
    // Beyond any address space: refuse before asking the allocator.
    if (NewSize > (int64_t{1} << 47)) throw std::bad_alloc();
    data_.resize(static_cast<size_t>(NewSize));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  } catch (const std::length_error&) {
    throw EOutOfMemory("Out of memory");
  }
  if (position_ > NewSize) position_ = NewSize;
}

void TMemoryStream::Clear() {
  std::vector<uint8_t>().swap(data_);
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  Stream->SetPosition(0);
  const int64_t count = Stream->Size();
  SetSize(count);
  if (count > 0) Stream->ReadBuffer(data_.data(), count);
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

void TMemoryStream::SaveToStream(TStream* Stream) {
  if (!data_.empty()) Stream->WriteBuffer(data_.data(), Size());
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(&f);
}
