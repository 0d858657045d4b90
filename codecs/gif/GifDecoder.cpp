// The LZW decoder. The data sub-blocks of a frame are gathered first, so that a code
// may straddle any number of blocks (one-byte blocks included), and decoding writes
// each code's string straight into the pixels, walking the table backwards from the
// string's last pixel. Every table entry's prefix is a lower code, so a walk ends
// after at most 4096 steps whatever the input.
#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/gif/GifLZW.h"

namespace {

// Bytes after the data, so that a code may always be read with one 8-byte load.
constexpr size_t kPadding = 8;

class Decoder {
 public:
  Decoder(const TGIFWarning& Warning, TObject* Sender) : warning_(Warning), sender_(Sender) {}

  // Reads the data sub-blocks up to the terminator or the end of the stream.
  void Gather(TStream* Stream) {
    const int64_t left = Stream->Size() - Stream->Position();
    if (left > 0) data_.reserve(size_t(std::min<int64_t>(left, int64_t{1} << 30)) + kPadding);
    for (;;) {
      const int size = ReadStreamByte(Stream);
      if (size < 0) break;
      if (size == 0) {
        terminator_ = true;
        break;
      }
      const size_t at = data_.size();
      data_.resize(at + size_t(size));
      const int64_t got = std::max<int64_t>(Stream->Read(data_.data() + at, size), 0);
      if (got < size) {
        data_.resize(at + size_t(got));
        Warn(sOutOfData);
        break;
      }
    }
    bits_ = uint64_t(data_.size()) * 8;
    data_.resize(data_.size() + kPadding);
  }

  // Decodes into Out (Count pixels); answers the number written.
  int64_t Run(int CodeSize, uint8_t* Out, int64_t Count) {
    const int clear = 1 << CodeSize;
    const int eoi = clear + 1;
    for (int i = 0; i < clear; ++i) {
      suffix_[i] = first_[i] = uint8_t(i);
      length_[i] = 1;
    }
    int width = CodeSize + 1;
    int nextFree = clear + 2;
    int threshold = clear * 2;
    int old = -1;  // no string since the last clear
    uint8_t* out = Out;
    uint8_t* const end = Out + Count;
    while (out < end) {
      const int code = ReadCode(width);
      if (code < 0) {
        UnderRun();
        return out - Out;
      }
      if (code == clear) {
        width = CodeSize + 1;
        nextFree = clear + 2;
        threshold = clear * 2;
        old = -1;
        continue;
      }
      if (code == eoi) return out - Out;
      if (old < 0) {
        if (code > eoi) RaiseGIFError(sInvalidData);
        *out++ = uint8_t(code);
        old = code;
        // Two colours: the next code may already be the first free one, 4, which
        // takes 3 bits.
        if (nextFree == threshold) {
          threshold *= 2;
          ++width;
        }
        continue;
      }
      // The entry this code adds: the previous string and the first pixel of this
      // one, which is the previous string's own first pixel when the code is the
      // one being defined.
      uint8_t head;
      if (code < nextFree)
        head = first_[code];
      else if (code == nextFree && nextFree <= GIFCodeMax)
        head = first_[old];
      else
        RaiseGIFError(sInvalidData);
      if (nextFree <= GIFCodeMax) {
        prefix_[nextFree] = uint16_t(old);
        suffix_[nextFree] = head;
        first_[nextFree] = first_[old];
        length_[nextFree] = uint16_t(length_[old] + 1);
        ++nextFree;
        if (nextFree == threshold && threshold <= GIFCodeMax) {
          threshold *= 2;
          ++width;
        }
      }
      const int len = length_[code];
      if (len <= end - out) {
        Expand(code, clear, out + len - 1);
        out += len;
      } else {
        // The string runs past the frame: keep what fits.
        uint8_t tail[GIFCodeMax + 1];
        Expand(code, clear, tail + len - 1);
        std::memcpy(out, tail, size_t(end - out));
        out = end;
        return Count;
      }
      old = code;
    }
    // The frame is complete; what follows should be the end code.
    if (ReadCode(width) < 0) UnderRun();
    return Count;
  }

 private:
  int ReadCode(int Width) {
    if (pos_ + uint64_t(Width) > bits_) return -1;
    uint64_t v;
    std::memcpy(&v, data_.data() + (pos_ >> 3), sizeof v);
    v >>= pos_ & 7;
    pos_ += uint64_t(Width);
    return int(v & ((uint64_t{1} << Width) - 1));
  }

  // Writes the string of Code backwards, ending at Last.
  void Expand(int Code, int Clear, uint8_t* Last) const {
    int c = Code;
    while (c >= Clear) {
      *Last-- = suffix_[c];
      c = prefix_[c];
    }
    *Last = uint8_t(c);
  }

  // More bits were asked for than the data holds: after a terminator with every bit
  // used, that is a warning; a stream that simply ended is not.
  void UnderRun() {
    if (terminator_ && pos_ >= bits_) Warn(sDecodeTooFewBits);
  }

  void Warn(const char* Message) { warning_(sender_, gsWarning, Message); }

  const TGIFWarning& warning_;
  TObject* sender_;
  std::vector<uint8_t> data_;
  uint64_t bits_ = 0;
  uint64_t pos_ = 0;
  bool terminator_ = false;
  uint16_t prefix_[GIFCodeMax + 1] = {};
  uint8_t suffix_[GIFCodeMax + 1] = {};
  uint8_t first_[GIFCodeMax + 1] = {};
  uint16_t length_[GIFCodeMax + 1] = {};
};

}  // namespace

int64_t DecodeImageData(TStream* Stream, uint8_t* Pixels, int Width, int Height, bool Interlaced,
                        const TGIFWarning& Warning, TObject* Sender) {
  const int codeSize = ReadStreamByte(Stream);
  if (codeSize < 0) return 0;
  // Codes have at most 12 bits, so the first code after a clear has at most 12.
  if (codeSize < 1 || codeSize >= GIFCodeBits) RaiseGIFError(sInvalidData);
  auto decoder = std::make_unique<Decoder>(Warning, Sender);
  decoder->Gather(Stream);
  const int64_t count = int64_t(std::max(Width, 0)) * std::max(Height, 0);
  if (count == 0) return 0;
  if (!Interlaced) return decoder->Run(codeSize, Pixels, count);
  // Interlaced rows arrive in four passes: every 8th row from 0, every 8th from 4,
  // every 4th from 2, every 2nd from 1.
  std::unique_ptr<uint8_t[]> linear(new uint8_t[size_t(count)]);
  const int64_t done = decoder->Run(codeSize, linear.get(), count);
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  int64_t at = 0;
  for (int pass = 0; pass < 4 && at < done; ++pass)
    for (int row = kStart[pass]; row < Height && at < done; row += kStep[pass]) {
      const int64_t n = std::min<int64_t>(Width, done - at);
      std::memcpy(Pixels + int64_t(row) * Width, linear.get() + at, size_t(n));
      at += n;
    }
  return done;
}
