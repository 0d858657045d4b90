// The image data chunk: zlib stream over consecutive IDAT chunks, row filters,
// Adam7 interlacing and the conversions between PNG samples and bitmap pixels.
#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/png/PngFilters.h"
#include "codecs/png/PngImage.h"
#include "codecs/png/PngPixels.h"
#include "codecs/png/PngStreamIO.h"
#include "codecs/png/PngZlib.h"

namespace {

struct Adam7Pass {
  uint32_t row, col, rowStep, colStep;
};
constexpr Adam7Pass kAdam7[7] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                                 {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};

uint32_t PassWidth(uint32_t Width, const Adam7Pass& Pass) {
  return Width > Pass.col ? (Width - Pass.col + Pass.colStep - 1) / Pass.colStep : 0;
}

constexpr char kIDAT[4] = {'I', 'D', 'A', 'T'};
constexpr size_t kInputBlock = 65535;

// Reads the image data of consecutive IDAT chunks as one zlib stream, checking the
// CRC of each chunk on the way.
class IdatReader {
 public:
  IdatReader(TPNGObject* Owner, TStream& Stream, uint32_t Size)
      : owner_(Owner), stream_(Stream), input_(kInputBlock) {
    png_io::CheckChunkLength(Stream, Size);
    position_ = Stream.Position();
    end_ = position_ + Size;
    crc_ = update_crc(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(kIDAT), 4);
    int result = png_zlib::InflateInit(zlib_);
    if (result != Z_OK) RaiseZlib(result);
  }
  ~IdatReader() { inflateEnd(&zlib_); }
  IdatReader(const IdatReader&) = delete;
  IdatReader& operator=(const IdatReader&) = delete;

  // Fills Count bytes of Out with inflated data; answers how many it could get.
  size_t IDATZlibRead(uint8_t* Out, size_t Count) {
    zlib_.next_out = Out;
    zlib_.avail_out = static_cast<uInt>(Count);
    while (zlib_.avail_out > 0 && !finished_) {
      if (zlib_.avail_in == 0 && position_ == end_) NextChunk();
      if (zlib_.avail_in == 0) {
        size_t want = static_cast<size_t>(std::min<int64_t>(end_ - position_, kInputBlock));
        size_t got = png_io::ReadSome(stream_, input_.data(), want);
        if (got == 0) break;
        position_ += static_cast<int64_t>(got);
        crc_ = update_crc(crc_, input_.data(), got);
        zlib_.next_in = input_.data();
        zlib_.avail_in = static_cast<uInt>(got);
      }
      int result = inflate(&zlib_, Z_NO_FLUSH);
      // The end of the zlib stream ends the image data; rows not yet read stay zero.
      if (result == Z_STREAM_END) finished_ = true;
      else if (result != Z_OK) RaiseZlib(result);
    }
    return Count - zlib_.avail_out;
  }

  // Reads what is left of the current chunk into its CRC and checks the CRC.
  void CheckLastCrc() {
    while (position_ < end_) {
      size_t want = static_cast<size_t>(std::min<int64_t>(end_ - position_, kInputBlock));
      png_io::ReadExact(stream_, input_.data(), want);
      position_ += static_cast<int64_t>(want);
      crc_ = update_crc(crc_, input_.data(), want);
    }
    CheckCrc();
  }

 private:
  [[noreturn]] void RaiseZlib(int Result) {
    if (Result == Z_MEM_ERROR) owner_->RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
    owner_->RaiseError<EPNGZLIBError>(EPNGZLIBErrorText + png_zlib::ZLIBErrors(Result));
  }

  void CheckCrc() {
    if (png_io::ReadBigEndian32(stream_) != ~crc_)
      owner_->RaiseError<EPngInvalidCRC>(EPngInvalidCRCText);
    position_ += 4;
  }

  void NextChunk() {
    CheckCrc();
    uint8_t head[8];
    png_io::ReadExact(stream_, head, 8);
    position_ += 8;
    if (std::memcmp(head + 4, kIDAT, 4) != 0)
      owner_->RaiseError<EPNGMissingMultipleIDAT>(EPNGMissingMultipleIDATText);
    uint32_t length = png_io::GetBigEndian32(head);
    png_io::CheckChunkLength(stream_, length);
    crc_ = update_crc(0xFFFFFFFFu, head + 4, 4);
    end_ = position_ + length;
  }

  TPNGObject* owner_;
  TStream& stream_;
  std::vector<uint8_t> input_;
  z_stream zlib_{};
  int64_t position_ = 0;
  int64_t end_ = 0;
  uint32_t crc_ = 0;
  bool finished_ = false;
};

// Compresses rows into IDAT chunks of exactly MaxIdatSize bytes, the last one shorter.
class IdatWriter {
 public:
  IdatWriter(TPNGObject* Owner, TStream& Stream)
      : owner_(Owner), stream_(Stream), output_(static_cast<size_t>(Owner->MaxIdatSize())) {
    int result = png_zlib::DeflateInit(zlib_, Owner->CompressionLevel());
    if (result == Z_MEM_ERROR) Owner->RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
    if (result != Z_OK)
      Owner->RaiseError<EPNGZLIBError>(EPNGZLIBErrorText + png_zlib::ZLIBErrors(result));
    ResetOutput();
  }
  ~IdatWriter() { deflateEnd(&zlib_); }
  IdatWriter(const IdatWriter&) = delete;
  IdatWriter& operator=(const IdatWriter&) = delete;

  void IDATZlibWrite(const uint8_t* Data, size_t Count) {
    zlib_.next_in = const_cast<Bytef*>(Data);
    zlib_.avail_in = static_cast<uInt>(Count);
    while (zlib_.avail_in > 0) {
      Check(deflate(&zlib_, Z_NO_FLUSH));
      if (zlib_.avail_out == 0) Flush();
    }
  }

  void FinishIDATZlib() {
    for (;;) {
      int result = deflate(&zlib_, Z_FINISH);
      if (result == Z_STREAM_END) break;
      Check(result);
      Flush();
    }
    if (zlib_.avail_out < output_.size()) Flush();
  }

 private:
  void Check(int Result) {
    if (Result != Z_OK && Result != Z_BUF_ERROR)
      owner_->RaiseError<EPNGZLIBError>(EPNGZLIBErrorText + png_zlib::ZLIBErrors(Result));
  }
  void ResetOutput() {
    zlib_.next_out = output_.data();
    zlib_.avail_out = static_cast<uInt>(output_.size());
  }
  void Flush() {
    png_io::WriteChunk(stream_, kIDAT, output_.data(), output_.size() - zlib_.avail_out);
    ResetOutput();
  }

  TPNGObject* owner_;
  TStream& stream_;
  std::vector<uint8_t> output_;
  z_stream zlib_{};
};

// Entry N of the grey colour table shows grey level N × 255 / (entries - 1).
void PreparePalette(TPNGObject* Owner, TChunkIHDR* Header) {
  int entries = 1 << Header->BitmapBits();
  RGBQUAD* colors = Header->BitmapInfo().bmiColors;
  for (int n = 0; n < entries; ++n) {
    uint8_t g = Owner->GammaTable[(n * 255 + (entries - 1) / 2) / (entries - 1)];
    colors[n] = RGBQUAD{g, g, g, 0};
  }
}

// The five filter choices in the order the encoder weighs them.
constexpr TFilter kFilterOrder[5] = {pfNone, pfSub, pfUp, pfAverage, pfPaeth};

// How well a filtered row will compress: bytes equal to one of the two before them.
size_t Score(const uint8_t* Row, size_t Count) {
  size_t score = 0;
  for (size_t j = 2; j < Count; ++j) score += Row[j] == Row[j - 1] || Row[j] == Row[j - 2];
  return score;
}

// Encodes rows: filters each raw row against the previous one and compresses the
// filter type and the filtered bytes.
class RowEncoder {
 public:
  RowEncoder(TFilters Filters, size_t MaxRowBytes, size_t Bpp, IdatWriter& Writer)
      : filters_(Filters), bpp_(Bpp), writer_(Writer) {
    for (int f = 0; f < 5; ++f)
      if (f == 0 || Filters.Contains(kFilterOrder[f])) out_[f].assign(MaxRowBytes + 1, 0);
    prev_.assign(MaxRowBytes + 1, 0);
    for (TFilter f : kFilterOrder) enabled_ += Filters.Contains(f);
  }

  // The raw row to fill before Encode: the None output, after its filter byte.
  uint8_t* Raw() { return out_[0].data() + 1; }

  void StartPass() { std::fill(prev_.begin(), prev_.end(), 0); }

  void Encode(size_t RowBytes) {
    const uint8_t* raw = Raw();
    const uint8_t* prev = prev_.data() + 1;
    for (int f = 1; f < 5; ++f)
      if (filters_.Contains(kFilterOrder[f]))
        png_filter::Filter(uint8_t(f), out_[f].data() + 1, raw, prev, RowBytes, bpp_);
    int chosen = 0;
    if (!(filters_.Empty() || filters_ == TFilters{pfNone})) {
      size_t best = 0;
      for (int f = 0; f < 5; ++f) {
        if (!filters_.Contains(kFilterOrder[f])) continue;
        if (enabled_ == 1) {
          chosen = f;
          break;
        }
        size_t score = Score(out_[f].data() + 1, RowBytes);
        if (score > best) {
          best = score;
          chosen = f;
        }
      }
    }
    out_[chosen][0] = uint8_t(chosen);
    writer_.IDATZlibWrite(out_[chosen].data(), RowBytes + 1);
    // The raw row becomes the previous row of the next call.
    std::swap(out_[0], prev_);
  }

 private:
  TFilters filters_;
  size_t bpp_;
  IdatWriter& writer_;
  int enabled_ = 0;
  std::vector<uint8_t> out_[5];
  std::vector<uint8_t> prev_;
};

}  // namespace

bool TChunkIDAT::LoadFromStream(TStream& Stream, const char ChunkName[4], uint32_t Size) {
  SetChunkName(ChunkName);
  TChunkIHDR* header = GetHeader();
  if (header->ColorType == 3 && !owner_->Chunks().Find<TChunkPLTE>())
    owner_->RaiseError<EPNGMissingPalette>(EPNGMissingPaletteText);
  if (header->HasPalette() && (header->ColorType == 0 || header->ColorType == 4))
    PreparePalette(owner_, header);

  const uint32_t width = header->Width;
  const uint32_t height = header->Height;
  int64_t rowBytes;
  int offset;
  owner_->GetPixelInfo(rowBytes, offset);
  const png_pixels::Decoder decoder =
      png_pixels::DecoderFor(header->ColorType, header->BitDepth, owner_->GammaTable);

  IdatReader reader(owner_, Stream, Size);
  // Filter byte first; the slack after the row lets converters read whole words.
  std::vector<uint8_t> current(size_t(rowBytes) + 16, 0), previous(size_t(rowBytes) + 16, 0);
  uint8_t* const bits = header->ImageData();
  uint8_t* const alpha = header->ImageAlpha();
  const int64_t stride = header->BytesPerRow();
  const auto bitmapRow = [&](uint32_t y) { return bits + stride * int64_t(height - 1 - y); };
  const auto alphaRow = [&](uint32_t y) { return alpha ? alpha + int64_t{width} * y : nullptr; };

  // Reads and unfilters one row of Count bytes; false at the end of the data.
  const auto readRow = [&](size_t Count) {
    size_t got = reader.IDATZlibRead(current.data(), Count + 1);
    if (got == 0) return false;
    std::fill(current.begin() + got, current.begin() + Count + 1, 0);
    png_filter::Unfilter(current[0], current.data() + 1, previous.data() + 1, Count, offset);
    return true;
  };

  if (owner_->InterlaceMethod() == imNone) {
    for (uint32_t y = 0; y < height; ++y) {
      if (!readRow(size_t(rowBytes))) break;
      decoder.Convert(current.data() + 1, bitmapRow(y), alphaRow(y), width);
      std::swap(current, previous);
    }
  } else {
    // Pass rows are converted into a contiguous row, then spread over their columns.
    std::vector<uint8_t> packed(size_t(stride) + 16), packedAlpha(width + 16);
    for (const Adam7Pass& pass : kAdam7) {
      uint32_t passWidth = PassWidth(width, pass);
      size_t passBytes = png_pixels::RowBytes(header->ColorType, header->BitDepth, passWidth);
      std::fill(previous.begin(), previous.end(), 0);
      if (passBytes == 0) continue;
      for (uint32_t y = pass.row; y < height; y += pass.rowStep) {
        if (!readRow(passBytes)) break;
        decoder.Convert(current.data() + 1, packed.data(), packedAlpha.data(), passWidth);
        png_pixels::Scatter(packed.data(), bitmapRow(y), header->BitmapBits(), passWidth,
                            pass.col, pass.colStep);
        if (alpha)
          for (uint32_t k = 0; k < passWidth; ++k)
            alphaRow(y)[pass.col + k * pass.colStep] = packedAlpha[k];
        std::swap(current, previous);
      }
    }
  }
  reader.CheckLastCrc();
  return true;
}

bool TChunkIDAT::SaveToStream(TStream& Stream) {
  TChunkIHDR* header = GetHeader();
  const uint32_t width = header->Width;
  const uint32_t height = header->Height;
  // 2-bit images are held, and written, with 4 bits per pixel.
  const int depth = header->BitDepth == 2 ? 4 : header->BitDepth;
  const int64_t rowBytes = png_pixels::RowBytes(header->ColorType, depth, width);
  int64_t unused;
  int offset;
  owner_->GetPixelInfo(unused, offset);
  const png_pixels::Encoder encoder =
      png_pixels::EncoderFor(header->ColorType, depth, owner_->InverseGamma);

  IdatWriter writer(owner_, Stream);
  RowEncoder rows(owner_->Filters(), size_t(rowBytes) + 16, size_t(offset), writer);
  const uint8_t* const bits = header->ImageData();
  const uint8_t* const alpha = header->ImageAlpha();
  const int64_t stride = header->BytesPerRow();
  const auto bitmapRow = [&](uint32_t y) { return bits + stride * int64_t(height - 1 - y); };
  const auto alphaRow = [&](uint32_t y) { return alpha ? alpha + int64_t{width} * y : nullptr; };

  if (owner_->InterlaceMethod() == imNone) {
    for (uint32_t y = 0; y < height; ++y) {
      encoder.Convert(bitmapRow(y), alphaRow(y), rows.Raw(), width);
      rows.Encode(size_t(rowBytes));
    }
  } else {
    std::vector<uint8_t> packed(size_t(stride) + 16), packedAlpha(width + 16);
    for (const Adam7Pass& pass : kAdam7) {
      uint32_t passWidth = PassWidth(width, pass);
      size_t passBytes = png_pixels::RowBytes(header->ColorType, depth, passWidth);
      rows.StartPass();
      if (passBytes == 0) continue;
      for (uint32_t y = pass.row; y < height; y += pass.rowStep) {
        png_pixels::Gather(bitmapRow(y), packed.data(), header->BitmapBits(), passWidth, pass.col,
                           pass.colStep);
        if (alpha)
          for (uint32_t k = 0; k < passWidth; ++k)
            packedAlpha[k] = alphaRow(y)[pass.col + k * pass.colStep];
        encoder.Convert(packed.data(), alpha ? packedAlpha.data() : nullptr, rows.Raw(), passWidth);
        rows.Encode(passBytes);
      }
    }
  }
  writer.FinishIDATZlib();
  return true;
}
