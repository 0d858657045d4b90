#include "transport/WSockBuf.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr Integer kDefaultChunk = 1514;
}

TBuffer::TBuffer(Integer Size) { SetBufSize(Size); }

void TBuffer::SetBufSize(Integer Size) {
  if (Size <= 0) Size = kDefaultChunk;
  if (Size == FBufSize && FBuf) return;
  // Shrinking below the stored bytes would lose data: keep room for them.
  Size = std::max(Size, FWrCount);
  auto block = std::make_unique<char[]>(size_t(Size));
  if (FWrCount > 0) std::memcpy(block.get(), FBuf.get(), size_t(FWrCount));
  FBuf = std::move(block);
  FBufSize = Size;
}

Integer TBuffer::Write(const void* Data, Integer Len) {
  const Integer n = std::clamp(FBufSize - FWrCount, Integer{0}, std::max(Len, Integer{0}));
  if (n > 0) std::memcpy(FBuf.get() + FWrCount, Data, size_t(n));
  FWrCount += n;
  return n;
}

const void* TBuffer::Peek(Integer& Len) const {
  Len = FWrCount - FRdCount;
  return Len > 0 ? FBuf.get() + FRdCount : nullptr;
}

Integer TBuffer::Remove(Integer Len) {
  const Integer n = std::clamp(Len, Integer{0}, FWrCount - FRdCount);
  FRdCount += n;
  if (FRdCount >= FWrCount) FRdCount = FWrCount = 0;
  return n;
}
