// The LZW and run-length encoders and the data sub-block writer.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "codecs/gif/GifLZW.h"

// ---- TGIFStream and TGIFWriter ----

int64_t TGIFStream::Read(void*, int64_t) { throw Exception(sInvalidStream); }
int64_t TGIFStream::Write(const void*, int64_t) { throw Exception(sInvalidStream); }
int64_t TGIFStream::Seek(int64_t, TSeekOrigin) { throw Exception(sInvalidStream); }
void TGIFStream::Progress() { OnProgress(this); }

TGIFWriter::~TGIFWriter() {
  if (!FOutputDirty) return;
  try {
    FlushBlock();
  } catch (const Exception&) {
    // Only reached on an error path; that error is the one reported.
  }
}

int64_t TGIFWriter::Write(const void* Buffer, int64_t Count) {
  const auto* p = static_cast<const uint8_t*>(Buffer);
  for (int64_t left = Count; left > 0;) {
    const int n = int(std::min<int64_t>(left, 256 - FBufferCount));
    FOutputDirty = true;
    std::memcpy(FBuffer + FBufferCount, p, size_t(n));
    FBufferCount += n;
    p += n;
    left -= n;
    if (FBufferCount > 255) FlushBlock();
  }
  return Count;
}

void TGIFWriter::FlushBlock() {
  if (FBufferCount <= 1) return;
  FBuffer[0] = uint8_t(FBufferCount - 1);
  FStream->WriteBuffer(FBuffer, FBufferCount);
  FBufferCount = 1;
  FOutputDirty = false;
}

// ---- THashTable ----

THashTable::THashTable() : FHashTable(new uint32_t[HashSize]) { ClearTable(); }

void THashTable::ClearTable() { std::memset(FHashTable.get(), 0xFF, sizeof(uint32_t) * HashSize); }

void THashTable::AddKey(uint32_t Key, int Code) {
  uint32_t* slot;
  if (FindKey(Key, slot) < 0) *slot = Entry(Key, Code);
}

int THashTable::FindKey(uint32_t Key) const {
  uint32_t* slot;
  return const_cast<THashTable*>(this)->FindKey(Key, slot);
}

// ---- TGIFEncoder ----

void TGIFEncoder::BadColor() { RaiseGIFError(sInvalidColor); }

void TGIFEncoder::Encode(TStream* Stream, int BitsPerPixel, int MaxColor, const uint8_t* Data, bool Interlaced,
                         int Height, int Width) {
  if (BitsPerPixel > 8) RaiseGIFError(sInvalidBitSize);
  FBitsPerPixel = BitsPerPixel < 2 ? 2 : BitsPerPixel;
  FMaxColor = MaxColor;
  FData = Data;
  FInterlaced = Interlaced;
  FHeight = Height;
  FWidth = Width;
  WriteStreamByte(Stream, uint8_t(FBitsPerPixel));

  FInitialBitsPerCode = FBitsPerPixel + 1;
  FCodeWidth = FInitialBitsPerCode;
  FMaxCode = (1 << FCodeWidth) - 1;
  FClearCode = 1 << FBitsPerPixel;
  FEOFCode = FClearCode + 1;
  FBaseCode = FClearCode + 2;
  FBitBucket = 0;
  FBitsInBucket = 0;
  FRow = 0;
  FInterlacePass = 0;
  FWalkDone = false;

  TGIFWriter writer(Stream);
  writer.OnWarning = OnWarning;
  FWriter = &writer;
  try {
    if (FData && FWidth > 0 && FHeight > 0) EncodePixels();
    EmitCode(FEOFCode);
    if (FBitsInBucket > 0) FWriter->PutByte(uint8_t(FBitBucket));
    FBitBucket = 0;
    FBitsInBucket = 0;
    writer.FlushBlock();
  } catch (...) {
    FWriter = nullptr;
    throw;
  }
  FWriter = nullptr;
  WriteStreamByte(Stream, 0);
}

void TGIFEncoder::EmitCode(int Code) { PutCode(Code); }

void TGIFEncoder::EmitClear() {
  FClearFlag = true;
  EmitCode(FClearCode);
}

bool TGIFEncoder::NextSpan(const uint8_t*& Pixels, int64_t& Count) {
  if (FWalkDone) return false;
  if (!FInterlaced) {
    Pixels = FData;
    Count = int64_t(FWidth) * FHeight;
    FWalkDone = true;
    return true;
  }
  // Rows in the four interlace passes; a pass that starts below the last row is
  // skipped.
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  while (FInterlacePass < 4 && FRow >= FHeight)
    if (++FInterlacePass < 4) FRow = kStart[FInterlacePass];
  if (FInterlacePass >= 4) {
    FWalkDone = true;
    return false;
  }
  Pixels = FData + int64_t(FRow) * FWidth;
  Count = FWidth;
  FRow += kStep[FInterlacePass];
  return true;
}

// ---- TLZWEncoder ----

void TLZWEncoder::EmitClear() {
  TGIFEncoder::EmitClear();
  FHashTable->ClearTable();
  FFreeEntry = FBaseCode;
}

void TLZWEncoder::EncodePixels() {
  FHashTable = std::make_unique<THashTable>();
  uint32_t* const slots = FHashTable->Slots();
  EmitClear();
  const uint8_t* p;
  int64_t n;
  NextSpan(p, n);
  // The walk keeps the coding state in locals and collects whole bytes in a buffer of
  // its own, handed to the writer as it fills; the state goes back to the members for
  // EmitClear and at the end.
  const int maxColor = FMaxColor;
  uint64_t bucket;
  int held, width, maxCode, freeEntry;
  uint8_t out[4096 + 8];
  int outCount = 0;
  const auto load = [&] {
    bucket = FBitBucket, held = FBitsInBucket;
    width = FCodeWidth, maxCode = FMaxCode, freeEntry = FFreeEntry;
  };
  const auto store = [&] {
    while (held >= 8) {
      out[outCount++] = uint8_t(bucket);
      bucket >>= 8;
      held -= 8;
    }
    FWriter->Write(out, outCount);
    outCount = 0;
    FBitBucket = bucket, FBitsInBucket = held;
    FCodeWidth = width, FMaxCode = maxCode, FFreeEntry = freeEntry;
  };
  const auto emit = [&](int Code) {
    bucket |= uint64_t(Code) << held;
    held += width;
    if (held >= 32) {
      std::memcpy(out + outCount, &bucket, 4);
      outCount += 4;
      bucket >>= 32;
      held -= 32;
      if (outCount >= 4096) {
        FWriter->Write(out, outCount);
        outCount = 0;
      }
    }
  };
  // A pixel not below the table's size is refused before its span is written.
  const auto check = [&](const uint8_t* Pixels, int64_t Count) {
    if (maxColor > 255) return;
    for (int64_t i = 0; i < Count; ++i)
      if (Pixels[i] >= maxColor) BadColor();
  };
  load();
  check(p, n);
  int prefix = *p++;
  --n;
  for (;;) {
    for (; n > 0; --n) {
      const int pixel = *p++;
      const uint32_t key = uint32_t(prefix) << 8 | uint32_t(pixel);
      uint32_t* slot;
      const int code = THashTable::FindKey(slots, key, slot);
      if (code >= 0) {
        prefix = code;
        continue;
      }
      emit(prefix);
      Widen(freeEntry, width, maxCode);
      prefix = pixel;
      if (freeEntry > GIFCodeMax - 1) {
        store();
        EmitClear();
        load();
      } else {
        *slot = THashTable::Entry(key, freeEntry);
        ++freeEntry;
      }
    }
    if (!NextSpan(p, n)) break;
    check(p, n);
  }
  store();
  EmitCode(prefix);
  FHashTable.reset();
}

// ---- TRLEEncoder ----

void TRLEEncoder::EmitClear() {
  FCodeBump = FCodeBumpInit;
  FCodeClear = FCodeClearInit;
  FCodeCount = 0;
  FRunTableMax = 0;
  TGIFEncoder::EmitClear();
  FCodeWidth = FInitialBitsPerCode;
}

void TRLEEncoder::EmitRunCode(int Code) {
  FClearFlag = false;
  EmitCode(Code);
  ++FCodeCount;
  if (FCodeCount >= FCodeBump) {
    FCodeBump += 1 << FCodeWidth;
    ++FCodeWidth;
  }
  if (FCodeCount >= FCodeClear) EmitClear();
}

void TRLEEncoder::ResetClearPoint() {
  FCodeClear = FCodeClearInit;
  if (FCodeCount >= FCodeClear) EmitClear();
}

int64_t TRLEEncoder::TriangleCost(int64_t Count) const {
  // Codes needed for Count pixels with runs of 1, 2, 3, ... pixels, a full table
  // of runs costing FMaxRunCodes codes.
  const int64_t codes = FMaxRunCodes;
  const int64_t perTable = codes * (codes + 1) / 2;
  int64_t cost = Count / perTable * codes;
  Count %= perTable;
  if (Count > 0) {
    // The smallest n with n (n + 1) >= 2 Count.
    int64_t n = int64_t(std::sqrt(double(2 * Count)));
    while (n > 0 && n * (n + 1) >= 2 * Count) --n;
    while (n * (n + 1) < 2 * Count) ++n;
    cost += n;
  }
  return cost;
}

void TRLEEncoder::FlushAfterClear(int Count) {
  FCodeClear = FMaxRunCodes;
  FRunTablePixel = FRunPixel;
  int k = 1;
  while (Count > 0) {
    if (k == 1) {
      FRunTableMax = 1;
      EmitRunCode(FRunPixel);
      --Count;
    } else if (Count >= k) {
      FRunTableMax = k;
      EmitRunCode(FBaseCode + k - 2);
      Count -= k;
    } else {
      ++FRunTableMax;
      EmitRunCode(Count == 1 ? FRunPixel : FBaseCode + Count - 2);
      Count = 0;
    }
    k = FCodeCount == 0 ? 1 : k + 1;
  }
  ResetClearPoint();
}

void TRLEEncoder::FlushRepeatOrReset(int Count) {
  if (1 + TriangleCost(Count) < Count) {
    EmitClear();
    FlushAfterClear(Count);
  } else {
    for (; Count > 0; --Count) EmitRunCode(FRunPixel);
  }
}

void TRLEEncoder::FlushUsingRuns(int Count) {
  int64_t full = Count / FRunTableMax;
  int64_t rest = Count % FRunTableMax;
  int64_t extra = rest > 0 ? 1 : 0;
  if (FCodeCount + full + extra > FMaxRunCodes) {
    full = FMaxRunCodes - FCodeCount;
    rest = Count - full * FRunTableMax;
    extra = 1 + TriangleCost(rest);
  }
  if (1 + TriangleCost(Count) < full + extra) {
    EmitClear();
    FlushAfterClear(Count);
    return;
  }
  FCodeClear = FMaxRunCodes;
  for (; full > 0; --full) EmitRunCode(FBaseCode + FRunTableMax - 2);
  if (rest > 0) {
    if (FClearFlag)
      FlushAfterClear(int(rest));
    else
      EmitRunCode(rest == 1 ? FRunPixel : FBaseCode + int(rest) - 2);
  }
  ResetClearPoint();
}

void TRLEEncoder::FlushRun(int Count) {
  if (Count == 1)
    EmitRunCode(FRunPixel);
  else if (FClearFlag)
    FlushAfterClear(Count);
  else if (FRunTableMax > 1 && FRunTablePixel == FRunPixel)
    FlushUsingRuns(Count);
  else
    FlushRepeatOrReset(Count);
}

void TRLEEncoder::EncodePixels() {
  FCodeBumpInit = FClearCode - 1;
  FCodeClearInit = FBitsPerPixel > 3 ? FClearCode - 2 : 9;
  FMaxRunCodes = GIFCodeMax - FBaseCode;
  EmitClear();
  const uint8_t* p;
  int64_t n;
  int run = 0;
  while (NextSpan(p, n)) {
    for (; n > 0; --n) {
      const int pixel = *p++;
      if (pixel >= FMaxColor) BadColor();
      if (run > 0 && pixel == FRunPixel && run < (1 << 30)) {
        ++run;
        continue;
      }
      if (run > 0) FlushRun(run);
      FRunPixel = pixel;
      run = 1;
    }
  }
  if (run > 0) FlushRun(run);
}
