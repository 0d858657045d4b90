// The LZW decoder. The data sub-blocks are read as decoding needs them into a buffer
// that holds the data bytes without the length bytes, so that a code may straddle any
// number of blocks (one-byte blocks included). Decoding writes each code's string
// straight into the pixels, walking the table backwards from the string's last pixel;
// every table entry's prefix is a lower code, so a walk ends after at most 4096 steps
// whatever the input.
#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "codecs/gif/GifLZW.h"

namespace {

// Data bytes read ahead at a time, and room behind them so that a code may always be
// read with one 8-byte load.
constexpr int kChunk = 16384;
constexpr int kPadding = 8;

}  // namespace

class TGIFImageDataDecoder::TState {
 public:
  TState(const TGIFWarning& Warning, TObject* Sender) : warning_(Warning), sender_(Sender) {}

  bool Read(TStream* Stream) {
    codeSize_ = ReadStreamByte(Stream);
    if (codeSize_ < 0) return false;
    // Codes have at most 12 bits, so the first code after a clear has at most 12.
    if (codeSize_ < 1 || codeSize_ >= GIFCodeBits) RaiseGIFError(sInvalidData);
    stream_ = Stream;
    left_ = std::max<int64_t>(Stream->Size() - Stream->Position(), 0);
    clear_ = 1 << codeSize_;
    for (int i = 0; i < clear_; ++i) {
      suffix_[i] = first_[i] = uint8_t(i);
      length_[i] = 1;
    }
    Reset();
    return true;
  }

  // What the rest of the stream can code, at most.
  int64_t MaxPixels() const { return (left_ * 8 * 1024 + 2) / 3; }

  // The pixels that a call of Next which raised (at a bad code, or from the warning
  // handler) had written.
  int64_t Written() const { return written_; }

  // Decodes up to Count pixels into Out, going on where the last call stopped;
  // answers the number written (fewer once the data has ended).
  int64_t Next(uint8_t* Out, int64_t Count) {
    uint8_t* out = Out;
    uint8_t* const end = Out + Count;
    if (pending_ > 0) {
      // The rest of a string that ran past the last call's pixels.
      const int64_t n = std::min<int64_t>(pending_, Count);
      std::memcpy(out, tail_ + tailAt_, size_t(n));
      tailAt_ += int(n);
      pending_ -= int(n);
      out += n;
    }
    if (ended_) return out - Out;
    const int clear = clear_, eoi = clear_ + 1;
    int width = width_, nextFree = nextFree_, threshold = threshold_, old = old_;
    uint64_t pos = pos_;
    uint64_t bits = bits_;
    const uint8_t* const data = data_;
    while (out < end) {
      if (pos + uint64_t(width) > bits) {
        pos_ = pos;
        written_ = out - Out;  // for a warning handler that raises
        Refill();
        pos = pos_, bits = bits_;
        if (pos + uint64_t(width) > bits) {
          ended_ = true;
          UnderRun(pos);
          break;
        }
      }
      uint64_t v;
      std::memcpy(&v, data + (pos >> 3), sizeof v);
      const int code = int((v >> (pos & 7)) & ((uint64_t{1} << width) - 1));
      pos += uint64_t(width);
      if (code == clear) {
        width = codeSize_ + 1;
        nextFree = clear + 2;
        threshold = clear * 2;
        old = -1;
        continue;
      }
      if (code == eoi) {
        ended_ = true;
        break;
      }
      if (old < 0) {
        if (code > eoi) Invalid(pos, out - Out);
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
        Invalid(pos, out - Out);
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
      old = code;
      const int len = length_[code];
      if (len <= end - out) {
        Expand(code, clear, out + len - 1);
        out += len;
      } else {
        // The string runs past these pixels: the rest waits for the next call.
        Expand(code, clear, tail_ + len - 1);
        const int n = int(end - out);
        std::memcpy(out, tail_, size_t(n));
        out = end;
        tailAt_ = n;
        pending_ = len - n;
      }
    }
    width_ = width, nextFree_ = nextFree, threshold_ = threshold, old_ = old;
    pos_ = pos;
    return out - Out;
  }

  // After the last pixel: what follows should be the end code. A string that ran
  // past the frame ends it as it is. Then the rest of the data sub-blocks is passed.
  void Finish(bool Complete) {
    if (Complete && !ended_ && pending_ == 0) {
      if (pos_ + uint64_t(width_) > bits_) Refill();
      if (pos_ + uint64_t(width_) > bits_) UnderRun(pos_);
    }
    while (!terminator_) {
      const int size = ReadStreamByte(stream_);
      if (size <= 0) break;
      const int64_t left = stream_->Size() - stream_->Position();
      stream_->Seek(std::min<int64_t>(size, std::max<int64_t>(left, 0)), soCurrent);
      if (left < size) Warn(sOutOfData);
    }
  }

 private:
  // Keeps the bytes of the codes not yet read and reads further sub-blocks behind
  // them, up to the terminator or the end of the stream.
  void Refill() {
    const int64_t keep = int64_t(bits_ >> 3) - int64_t(pos_ >> 3);
    std::memmove(data_, data_ + (pos_ >> 3), size_t(keep));
    int64_t fill = keep;
    pos_ &= 7;
    while (!terminator_ && !exhausted_ && fill <= kChunk - 255) {
      const int size = ReadStreamByte(stream_);
      if (size < 0) {
        exhausted_ = true;
        break;
      }
      if (size == 0) {
        terminator_ = true;
        break;
      }
      const int64_t got = std::max<int64_t>(stream_->Read(data_ + fill, size), 0);
      fill += got;
      if (got < size) {
        exhausted_ = true;
        Warn(sOutOfData);
      }
    }
    bits_ = uint64_t(fill) * 8;
    std::memset(data_ + fill, 0, kPadding);
  }

  void Reset() {
    width_ = codeSize_ + 1;
    nextFree_ = clear_ + 2;
    threshold_ = clear_ * 2;
    old_ = -1;
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

  // A code the table does not hold: the data ends there.
  [[noreturn]] void Invalid(uint64_t Pos, int64_t Written) {
    pos_ = Pos;
    ended_ = true;
    written_ = Written;
    RaiseGIFError(sInvalidData);
  }

  // More bits were asked for than the data holds: after a terminator with every bit
  // used, that is a warning; a stream that simply ended is not.
  void UnderRun(uint64_t Pos) {
    if (terminator_ && Pos >= bits_) Warn(sDecodeTooFewBits);
  }

  void Warn(const char* Message) { warning_(sender_, gsWarning, Message); }

  const TGIFWarning warning_;
  TObject* sender_;
  TStream* stream_ = nullptr;
  int64_t left_ = 0;        // stream bytes after the code size byte
  int64_t written_ = 0;
  uint8_t data_[kChunk + kPadding] = {};
  uint64_t bits_ = 0;       // data bits in the buffer
  uint64_t pos_ = 0;        // the next code's first bit there
  bool terminator_ = false;
  bool exhausted_ = false;  // the stream ended without a terminator
  bool ended_ = false;
  int codeSize_ = 0;
  int clear_ = 0;
  int width_ = 0;
  int nextFree_ = 0;
  int threshold_ = 0;
  int old_ = -1;
  int tailAt_ = 0;
  int pending_ = 0;
  uint16_t prefix_[GIFCodeMax + 1] = {};
  uint8_t suffix_[GIFCodeMax + 1] = {};
  uint8_t first_[GIFCodeMax + 1] = {};
  uint16_t length_[GIFCodeMax + 1] = {};
  uint8_t tail_[GIFCodeMax + 1] = {};
};

TGIFImageDataDecoder::TGIFImageDataDecoder(const TGIFWarning& Warning, TObject* Sender)
    : FState(std::make_unique<TState>(Warning, Sender)) {}

TGIFImageDataDecoder::~TGIFImageDataDecoder() = default;

bool TGIFImageDataDecoder::Read(TStream* Stream) { return FState->Read(Stream); }

int64_t TGIFImageDataDecoder::MaxPixels() const { return FState->MaxPixels(); }

int64_t TGIFImageDataDecoder::Decode(uint8_t* Pixels, int Width, int Height, bool Interlaced, int Fill) {
  const int64_t width = std::max(Width, 0), height = std::max(Height, 0);
  int64_t done = 0;
  bool more = width > 0 && height > 0;
  // Bad data (or a warning handler that raises) ends the pixels as running out of data
  // does: the rest is filled all the same before the error goes on.
  std::exception_ptr bad;
  // Writes one run of pixels: decoded while the data lasts, then the fill.
  auto span = [&](uint8_t* At, int64_t Count) {
    int64_t n = 0;
    if (more) {
      try {
        n = FState->Next(At, Count);
      } catch (...) {
        n = FState->Written();
        bad = std::current_exception();
      }
    }
    done += n;
    if (n < Count) {
      more = false;
      if (Fill >= 0) std::memset(At + n, Fill, size_t(Count - n));
    }
  };
  if (!Interlaced) {
    if (more) span(Pixels, width * height);
  } else {
    // Every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4 && (more || Fill >= 0); ++pass)
      for (int64_t row = kStart[pass]; row < height; row += kStep[pass]) span(Pixels + row * width, width);
  }
  if (bad) std::rethrow_exception(bad);
  FState->Finish(more);
  return done;
}
