// TResourceStream: a module's embedded resource read as a stream.
#include <algorithm>
#include <cstring>

#include "platform/rtl/classes.h"
#include "platform/win/resources.h"

TResourceStream::TResourceStream(HINSTANCE Instance, const std::string& ResName, const char* ResType) {
  Initialize(Instance, ResName.c_str(), ResType);
}

TResourceStream::TResourceStream(HINSTANCE Instance, int ResID, const char* ResType) {
  Initialize(Instance, MAKEINTRESOURCE(WORD(ResID)), ResType);
}

void TResourceStream::Initialize(HINSTANCE Instance, const char* Name, const char* ResType) {
  HRSRC info = FindResource(Instance, Name, ResType);
  if (!info) {
    const std::string name =
        IS_INTRESOURCE(Name) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(Name)) : std::string(Name);
    throw EResNotFound("Resource " + name + " not found");
  }
  data_ = static_cast<const unsigned char*>(LockResource(LoadResource(Instance, info)));
  size_ = SizeofResource(Instance, info);
}

int64_t TResourceStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || position_ >= size_) return 0;
  const int64_t n = std::min(Count, size_ - position_);
  std::memcpy(Buffer, data_ + position_, size_t(n));
  position_ += n;
  return n;
}

int64_t TResourceStream::Write(const void*, int64_t) {
  throw EStreamError("Can't write to a read-only resource stream");
}

void TResourceStream::SetSize(int64_t) { throw EStreamError("Can't write to a read-only resource stream"); }

int64_t TResourceStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = 0;
  switch (Origin) {
    case soBeginning: base = 0; break;
    case soCurrent: base = position_; break;
    case soEnd: base = size_; break;
  }
  if (base + Offset < 0) return -1;
  position_ = base + Offset;
  return position_;
}
