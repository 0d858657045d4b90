// One chunk of a socket's send queue.
#pragma once

#include <memory>

#include "platform/rtl/system.h"

class TBuffer : public TObject {
  VX_CLASS(TBuffer, TObject)

 public:
  explicit TBuffer(Integer Size);

  Integer BufSize() const { return FBufSize; }
  // A size of 0 or less means 1514; stored bytes are kept.
  void SetBufSize(Integer Size);
  // Copies as much as fits and returns that count (0 when full).
  Integer Write(const void* Data, Integer Len);
  // The first unsent byte and the count of unsent bytes (null and 0 when none).
  const void* Peek(Integer& Len) const;
  // Counts up to Len bytes as sent and returns that count; when everything stored
  // has been sent the chunk is empty again.
  Integer Remove(Integer Len);

  Integer WriteCount() const { return FWrCount; }
  Integer ReadCount() const { return FRdCount; }

 private:
  std::unique_ptr<char[]> FBuf;
  Integer FBufSize = 0;
  Integer FWrCount = 0;
  Integer FRdCount = 0;
};
