// Coding of GIF image data: variable-width LZW codes (at most 12 bits, packed least
// significant bit first) in data sub-blocks of at most 255 bytes ended by a
// zero-length block. One decoder; two encoders behind one base class: a true LZW
// encoder over a hash table, and a run-length encoder that emits only codes any LZW
// decoder expands into runs of one colour.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/gif/GifUtils.h"
#include "platform/rtl/classes.h"

enum TGIFCompression { gcLZW, gcRLE };

constexpr int GIFCodeBits = 12;
constexpr int GIFCodeMax = (1 << GIFCodeBits) - 1;

// ---------------------------------------------------------------------------------
// Decoding

// The image data of one frame: Read takes the code size byte (one outside 1..11
// raises "Invalid GIF data"); Decode then reads the data sub-blocks as it needs them
// and leaves the stream after the terminator (or at its end). Data that runs out
// reports "Decoder bit buffer under-run" or "Premature end of data" as warnings; a
// code the table does not hold yet raises "Invalid GIF data".
class TGIFImageDataDecoder {
 public:
  TGIFImageDataDecoder(const TGIFWarning& Warning, TObject* Sender);
  ~TGIFImageDataDecoder();
  TGIFImageDataDecoder(const TGIFImageDataDecoder&) = delete;
  TGIFImageDataDecoder& operator=(const TGIFImageDataDecoder&) = delete;

  // False when the stream holds not even the code size byte.
  bool Read(TStream* Stream);
  // The most pixels the rest of the stream can code: a code brings at most one pixel
  // more than the codes since the last clear, and takes more bits the more codes
  // there are, so no bit codes more than 4096 / 12 pixels.
  int64_t MaxPixels() const;
  // Writes Width x Height pixels, rows top to bottom (an interlaced frame's rows
  // arrive in the four passes); pixels past the decoded ones become Fill, or keep
  // their value when Fill is -1, also when the data turns out bad and the error is
  // raised. Answers the number of pixels decoded.
  int64_t Decode(uint8_t* Pixels, int Width, int Height, bool Interlaced, int Fill);

 private:
  class TState;
  std::unique_ptr<TState> FState;
};

// ---------------------------------------------------------------------------------
// Encoding

// A write-only stream over another one, with a buffer for one data sub-block (its
// first byte kept for the length). Reading and seeking raise "Invalid stream
// operation".
class TGIFStream : public TStream {
  VX_CLASS(TGIFStream, TStream)

 public:
  explicit TGIFStream(TStream* Stream) : FStream(Stream) {}
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

  TGIFWarning OnWarning;
  TNotifyEvent OnProgress;

 protected:
  void Progress();

  TStream* FStream;  // not owned
  uint8_t FBuffer[256] = {};
  int FBufferCount = 1;
};

// Writes bytes as data sub-blocks of 255 bytes, the last one shorter.
class TGIFWriter : public TGIFStream {
  VX_CLASS(TGIFWriter, TGIFStream)

 public:
  using TGIFStream::TGIFStream;
  // Writes a pending partial block; errors then are dropped (the writer is freed on
  // an error path): call FlushBlock first on the normal one.
  ~TGIFWriter() override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  void PutByte(uint8_t Value) {
    FOutputDirty = true;
    FBuffer[FBufferCount++] = Value;
    if (FBufferCount > 255) FlushBlock();
  }
  // Writes the held bytes as one sub-block.
  void FlushBlock();

 private:
  bool FOutputDirty = false;
};

// The encoder's string table: 8009 slots of key << 12 | code, found by double
// hashing. A key is a 12-bit prefix code and an 8-bit pixel.
class THashTable {
 public:
  static constexpr int HashSize = 8009;
  static constexpr uint32_t HashEmpty = 0xFFFFFFFF;

  THashTable();
  void ClearTable();
  void AddKey(uint32_t Key, int Code);
  // The code stored for Key, or -1.
  int FindKey(uint32_t Key) const;
  // The code stored for Key; when absent, -1 and the slot where AddKey would put it
  // (see Entry).
  int FindKey(uint32_t Key, uint32_t*& Slot) { return FindKey(FHashTable.get(), Key, Slot); }
  // The same in the slots of a table (Slots), for a caller that keeps them at hand.
  static int FindKey(uint32_t* Slots, uint32_t Key, uint32_t*& Slot) {
    int i = Hash(Key);
    const int disp = i == 0 ? 1 : HashSize - i;
    for (;;) {
      const uint32_t v = Slots[size_t(i)];
      if (v == HashEmpty) {
        Slot = &Slots[size_t(i)];
        return -1;
      }
      if ((v >> 12) == Key) return int(v & 0xFFF);
      i -= disp;
      if (i < 0) i += HashSize;
    }
  }
  // (Key xor Key >> 4) mod HashSize, by multiplying with a 64-bit reciprocal: exact
  // for every 20-bit key and shorter than a division.
  static int Hash(uint32_t Key) {
    constexpr uint64_t kReciprocal = UINT64_MAX / HashSize + 1;
    const uint64_t low = kReciprocal * (Key ^ (Key >> 4));
    return int((static_cast<unsigned __int128>(low) * HashSize) >> 64);
  }
  // What a slot holds for Key and Code.
  static uint32_t Entry(uint32_t Key, int Code) { return Key << 12 | uint32_t(Code & 0xFFF); }
  uint32_t* Slots() { return FHashTable.get(); }

 private:
  std::unique_ptr<uint32_t[]> FHashTable;
};

// Writes the image data of one frame: the code size byte, the codes in data
// sub-blocks and the terminator.
class TGIFEncoder : public TObject {
  VX_CLASS(TGIFEncoder, TObject)

 public:
  TGIFEncoder() = default;
  TGIFEncoder(const TGIFEncoder&) = delete;
  TGIFEncoder& operator=(const TGIFEncoder&) = delete;

  // Data holds Width x Height colour indices, rows top to bottom; every one must be
  // below MaxColor ("Color not in color table" otherwise). Bits per pixel below 2
  // are written as 2.
  void Encode(TStream* Stream, int BitsPerPixel, int MaxColor, const uint8_t* Data, bool Interlaced, int Height,
              int Width);

  TGIFWarning OnWarning;

 protected:
  virtual void EmitCode(int Code);
  virtual void EmitClear();
  virtual void EncodePixels() = 0;

  // The base step of EmitCode: Code at the current width into the bit bucket.
  void PutCode(int Code) {
    FBitBucket |= uint64_t(Code) << FBitsInBucket;
    FBitsInBucket += FCodeWidth;
    while (FBitsInBucket >= 8) {
      FWriter->PutByte(uint8_t(FBitBucket));
      FBitBucket >>= 8;
      FBitsInBucket -= 8;
    }
  }
  // The next run of pixels in writing order: a row of an interlaced frame, or the
  // whole of another; false after the last.
  bool NextSpan(const uint8_t*& Pixels, int64_t& Count);
  [[noreturn]] static void BadColor();

  int FBitsPerPixel = 0;
  int FMaxColor = 0;
  int FWidth = 0;
  int FHeight = 0;
  bool FInterlaced = false;
  const uint8_t* FData = nullptr;
  TGIFWriter* FWriter = nullptr;  // while Encode runs
  int FInitialBitsPerCode = 0;
  int FCodeWidth = 0;
  int FMaxCode = 0;
  int FClearCode = 0;
  int FEOFCode = 0;
  int FBaseCode = 0;  // the first free code
  uint64_t FBitBucket = 0;
  int FBitsInBucket = 0;
  bool FClearFlag = false;
  // Pixel walk.
  int FRow = 0;
  int FInterlacePass = 0;
  bool FWalkDone = false;
};

// True LZW: strings found through the hash table; a clear code when the table would
// pass 4094 codes.
class TLZWEncoder : public TGIFEncoder {
  VX_CLASS(TLZWEncoder, TGIFEncoder)

 protected:
  void EmitCode(int Code) override {
    PutCode(Code);
    if (FClearFlag) {
      FCodeWidth = FInitialBitsPerCode;
      FMaxCode = (1 << FCodeWidth) - 1;
      FClearFlag = false;
    } else {
      Widen(FFreeEntry, FCodeWidth, FMaxCode);
    }
  }
  void EmitClear() override;
  void EncodePixels() override;

 private:
  // After a code other than the clear code: one bit more once the next free code has
  // passed the highest code of the width (the highest of 12 bits is never passed).
  static void Widen(int FreeEntry, int& Width, int& MaxCode) {
    if (FreeEntry <= MaxCode) return;
    ++Width;
    MaxCode = Width == GIFCodeBits ? 1 << GIFCodeBits : (1 << Width) - 1;
  }

  std::unique_ptr<THashTable> FHashTable;
  int FFreeEntry = 0;
};

// Runs of one colour, written with codes that any decoder's table turns into runs:
// after a clear, a run of n pixels is the code first free + n - 2.
class TRLEEncoder : public TGIFEncoder {
  VX_CLASS(TRLEEncoder, TGIFEncoder)

 protected:
  void EmitClear() override;
  void EncodePixels() override;

 private:
  void EmitRunCode(int Code);
  void FlushRun(int Count);
  void FlushAfterClear(int Count);
  void FlushRepeatOrReset(int Count);
  void FlushUsingRuns(int Count);
  void ResetClearPoint();
  int64_t TriangleCost(int64_t Count) const;

  int32_t FCodeBump = 0, FCodeBumpInit = 0;
  int32_t FCodeClear = 0, FCodeClearInit = 0;
  int32_t FCodeCount = 0;
  int32_t FRunTableMax = 0;
  int32_t FRunTablePixel = 0;
  int32_t FMaxRunCodes = 0;
  int32_t FRunPixel = 0;
};
