// Interim streams for the graphics classes: the run-time library's streams replace
// this file when they land (same members, so only the include changes).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/system.h"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
  VX_CLASS(TStream, TObject)

 public:
  // Reads up to Count bytes; fewer only at the end.
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t p) { Seek(p, TSeekOrigin::soBeginning); }
  int64_t Size() {
    const int64_t p = Position();
    const int64_t s = Seek(0, TSeekOrigin::soEnd);
    Seek(p, TSeekOrigin::soBeginning);
    return s;
  }
  void ReadBuffer(void* b, int64_t n) {
    if (n > 0 && Read(b, n) != n) throw EReadError("Stream read error");
  }
  void WriteBuffer(const void* b, int64_t n) {
    if (n > 0 && Write(b, n) != n) throw EWriteError("Stream write error");
  }
};

class TMemoryStream : public TStream {
  VX_CLASS(TMemoryStream, TStream)

 public:
  int64_t Read(void* Buffer, int64_t Count) override {
    const int64_t n = std::max<int64_t>(0, std::min<int64_t>(Count, int64_t(data_.size()) - pos_));
    if (n > 0) std::memcpy(Buffer, data_.data() + pos_, size_t(n));
    pos_ += n;
    return n;
  }
  int64_t Write(const void* Buffer, int64_t Count) override {
    if (Count <= 0) return 0;
    if (pos_ + Count > int64_t(data_.size())) data_.resize(size_t(pos_ + Count));
    std::memcpy(data_.data() + pos_, Buffer, size_t(Count));
    pos_ += Count;
    return Count;
  }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    if (Origin == TSeekOrigin::soBeginning)
      pos_ = Offset;
    else if (Origin == TSeekOrigin::soCurrent)
      pos_ += Offset;
    else
      pos_ = int64_t(data_.size()) + Offset;
    if (pos_ < 0) pos_ = 0;
    return pos_;
  }
  void Clear() {
    data_.clear();
    pos_ = 0;
  }
  const uint8_t* Memory() const { return data_.data(); }
  std::vector<uint8_t>& Bytes() { return data_; }

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

// A whole file read into memory, or written out when the stream is freed.
class TFileStream : public TMemoryStream {
  VX_CLASS(TFileStream, TMemoryStream)

 public:
  enum Mode { fmOpenRead, fmCreate };
  TFileStream(const std::string& FileName, Mode mode) : name_(FileName), mode_(mode) {
    if (mode == fmOpenRead) {
      std::ifstream in(FileName, std::ios::binary);
      if (!in) throw EFOpenError("Cannot open file \"" + FileName + "\"");
      Bytes().assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      std::ofstream out(FileName, std::ios::binary | std::ios::trunc);
      if (!out) throw EFCreateError("Cannot create file \"" + FileName + "\"");
    }
  }
  ~TFileStream() override {
    try {
      Flush();
    } catch (...) {
    }
  }
  // Writes what a created file holds so far; raises when the file cannot be written.
  void Flush() {
    if (mode_ != fmCreate || flushed_) return;
    flushed_ = true;
    std::ofstream out(name_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Memory()), std::streamsize(Bytes().size()));
    if (!out) throw EWriteError("Cannot write file \"" + name_ + "\"");
  }

 private:
  std::string name_;
  Mode mode_;
  bool flushed_ = false;
};
