// Temporary: the run-time library's streams are landing separately; this keeps the
// codec building until then and goes away with the merge.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/system.h"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
  VX_CLASS(TStream, TObject)
 public:
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t p) { Seek(p, TSeekOrigin::soBeginning); }
  int64_t Size() {
    int64_t p = Position();
    int64_t s = Seek(0, TSeekOrigin::soEnd);
    Seek(p, TSeekOrigin::soBeginning);
    return s;
  }
  void WriteBuffer(const void* b, int64_t n) {
    if (Write(b, n) != n) throw EWriteError("Stream write error");
  }
};

class TMemoryStream : public TStream {
  VX_CLASS(TMemoryStream, TStream)
 public:
  int64_t Read(void* Buffer, int64_t Count) override {
    int64_t n = std::max<int64_t>(0, std::min<int64_t>(Count, int64_t(data_.size()) - pos_));
    if (n > 0) std::memcpy(Buffer, data_.data() + pos_, size_t(n));
    pos_ += n;
    return n;
  }
  int64_t Write(const void* Buffer, int64_t Count) override {
    if (pos_ + Count > int64_t(data_.size())) data_.resize(size_t(pos_ + Count));
    std::memcpy(data_.data() + pos_, Buffer, size_t(Count));
    pos_ += Count;
    return Count;
  }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    if (Origin == TSeekOrigin::soBeginning) pos_ = Offset;
    else if (Origin == TSeekOrigin::soCurrent) pos_ += Offset;
    else pos_ = int64_t(data_.size()) + Offset;
    return pos_;
  }
  void Clear() { data_.clear(); pos_ = 0; }
  const uint8_t* Memory() const { return data_.data(); }
  std::vector<uint8_t>& Bytes() { return data_; }

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

#include "platform/win/wintypes.h"

// Device-independent bitmap records of the graphics layer.
struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
constexpr DWORD BI_RGB = 0;
