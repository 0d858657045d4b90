// Damaged and hostile files: each gives its error with its text, and none crashes,
// hangs or claims memory it has no data for.
#include "tests/codecs/png/PngTestUtil.h"

using namespace pngtest;
using pngref::FileBuilder;

namespace {

// A small valid grey image: W × H bytes of 8-bit grey, rows filtered with None.
std::vector<uint8_t> GreyRows(uint32_t W, uint32_t H, uint8_t Value = 0x55) {
  std::vector<uint8_t> raw;
  for (uint32_t y = 0; y < H; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), W, Value);
  }
  return raw;
}

std::vector<uint8_t> GoodFile() {
  FileBuilder b;
  b.Chunk("IHDR", FileBuilder::Ihdr(4, 3, 8, 0))
      .Chunk("IDAT", FileBuilder::Deflate(GreyRows(4, 3)))
      .Chunk("IEND", {});
  return b.Bytes();
}

std::vector<uint8_t> WithIhdr(const std::vector<uint8_t>& Ihdr) {
  FileBuilder b;
  b.Chunk("IHDR", Ihdr).Chunk("IDAT", FileBuilder::Deflate(GreyRows(1, 1))).Chunk("IEND", {});
  return b.Bytes();
}

TEST(PngErrors, SignatureAndChunkOrder) {
  auto bytes = GoodFile();
  bytes[1] = 'p';
  EXPECT_TRUE(FailsWith<EPNGInvalidFileHeader>(bytes, EPNGInvalidFileHeaderText));
  EXPECT_TRUE(FailsWith<EPNGInvalidFileHeader>({}));

  FileBuilder first;
  first.Chunk("gAMA", {0, 0, 0xB1, 0x8F}).Chunk("IHDR", FileBuilder::Ihdr(1, 1, 8, 0));
  EXPECT_TRUE(FailsWith<EPNGIHDRNotFirst>(first.Bytes(), EPNGIHDRNotFirstText));

  FileBuilder noData;
  noData.Chunk("IHDR", FileBuilder::Ihdr(1, 1, 8, 0)).Chunk("IEND", {});
  EXPECT_TRUE(FailsWith<EPNGNoImageData>(noData.Bytes(), EPNGNoImageDataText));

  FileBuilder critical;
  critical.Chunk("IHDR", FileBuilder::Ihdr(1, 1, 8, 0)).Chunk("ABCD", {1}).Chunk("IEND", {});
  EXPECT_TRUE(FailsWith<EPNGUnknownCriticalChunk>(critical.Bytes(), EPNGUnknownCriticalChunkText));
  // The chunks read up to a failure stay usable: the picture can still be saved.
  TPNGObject partial;
  TMemoryStream stream;
  stream.Write(critical.Bytes().data(), int64_t(critical.Bytes().size()));
  stream.SetPosition(0);
  EXPECT_THROW(partial.LoadFromStream(&stream), EPNGUnknownCriticalChunk);
  ASSERT_EQ(partial.Chunks().Count(), 2);
  EXPECT_EQ(partial.Chunks().GetItem(1)->GetChunkName(), "ABCD");
  EXPECT_EQ(Save(partial).size(), 8u + 25 + 12);  // the refused chunk was not read

  // A lower-case first letter marks an ancillary chunk: kept as it is.
  auto good = GoodFile();
  FileBuilder ancillary;
  ancillary.Chunk("IHDR", FileBuilder::Ihdr(4, 3, 8, 0))
      .Chunk("aBCD", {9, 8})
      .Chunk("IDAT", FileBuilder::Deflate(GreyRows(4, 3)))
      .Chunk("IEND", {});
  auto png = Load(ancillary.Bytes());
  ASSERT_EQ(png->Chunks().Count(), 4);
  EXPECT_EQ(png->Chunks().GetItem(1)->GetChunkName(), "aBCD");
  EXPECT_STREQ(png->Chunks().GetItem(1)->ClassName().c_str(), "TChunk");
}

TEST(PngErrors, CrcErrors) {
  FileBuilder ihdr;
  ihdr.Chunk("IHDR", FileBuilder::Ihdr(1, 1, 8, 0), false);
  EXPECT_TRUE(FailsWith<EPngInvalidCRC>(ihdr.Bytes(), EPngInvalidCRCText));

  // Image data over three chunks loads; a bad CRC on the second is reported.
  auto z = FileBuilder::Deflate(GreyRows(40, 30, 7));
  size_t third = z.size() / 3;
  for (bool damage : {false, true}) {
    FileBuilder b;
    b.Chunk("IHDR", FileBuilder::Ihdr(40, 30, 8, 0))
        .Chunk("IDAT", {z.begin(), z.begin() + third})
        .Chunk("IDAT", {z.begin() + third, z.begin() + 2 * third}, !damage)
        .Chunk("IDAT", {z.begin() + 2 * third, z.end()})
        .Chunk("IEND", {});
    if (damage) {
      EXPECT_TRUE(FailsWith<EPngInvalidCRC>(b.Bytes(), EPngInvalidCRCText));
    } else {
      auto png = Load(b.Bytes());
      EXPECT_EQ(png->GetPixels(39, 29), RGB(7, 7, 7));
      EXPECT_EQ(png->Chunks().Count(), 3);  // the later IDAT chunks are not kept
    }
  }
}

TEST(PngErrors, EveryTruncationIsAnUnexpectedEnd) {
  auto bytes = GoodFile();
  for (size_t n = 0; n < bytes.size(); ++n) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + n);
    SCOPED_TRACE(n);
    if (n < 8) {
      EXPECT_TRUE(FailsWith<EPNGInvalidFileHeader>(part));
    } else {
      EXPECT_TRUE(FailsWith<EPngUnexpectedEnd>(part, EPNGUnexpectedEndText));
    }
  }
}

TEST(PngErrors, HeaderChecks) {
  auto ihdr = FileBuilder::Ihdr(1, 1, 8, 0);
  EXPECT_TRUE(FailsWith<EPngInvalidIHDR>(WithIhdr({ihdr.begin(), ihdr.end() - 1}), EPNGInvalidIHDRText));
  EXPECT_TRUE(FailsWith<EPNGSizeExceeds>(WithIhdr(FileBuilder::Ihdr(65536, 1, 8, 0)), EPNGSizeExceedsText));
  EXPECT_TRUE(FailsWith<EPNGSizeExceeds>(WithIhdr(FileBuilder::Ihdr(1, 0x80000000u, 8, 0))));
  EXPECT_TRUE(FailsWith<EPNGUnknownCompression>(WithIhdr(FileBuilder::Ihdr(1, 1, 8, 0, 0, 1)),
                                                EPNGUnknownCompressionText));
  EXPECT_TRUE(FailsWith<EPNGUnknownInterlace>(WithIhdr(FileBuilder::Ihdr(1, 1, 8, 0, 2)),
                                              EPNGUnknownInterlaceText));
  // Pairs without a pixel format, and empty images, are refused as a broken header.
  for (auto [depth, type] : {std::pair{3, 0}, {4, 2}, {16, 3}, {8, 5}, {4, 4}, {32, 6}})
    EXPECT_TRUE(FailsWith<EPngInvalidIHDR>(WithIhdr(FileBuilder::Ihdr(1, 1, depth, type))));
  EXPECT_TRUE(FailsWith<EPngInvalidIHDR>(WithIhdr(FileBuilder::Ihdr(0, 1, 8, 0))));
  // The filter method is not checked; the widest image loads.
  EXPECT_EQ(Load(WithIhdr(FileBuilder::Ihdr(1, 1, 8, 0, 0, 0, 1)))->Width(), 1);
  EXPECT_EQ(Load(WithIhdr(FileBuilder::Ihdr(65535, 1, 8, 0)))->Width(), 65535);
  // 65535 × 65535 RGBA would need 17 GB.
  EXPECT_TRUE(FailsWith<EPNGOutMemory>(WithIhdr(FileBuilder::Ihdr(65535, 65535, 8, 6)), EPNGOutMemoryText));
}

TEST(PngErrors, ChunkLengthsAreBounded) {
  // A length past the end of the file, or past the format's limit, never allocates it.
  for (uint32_t length : {0xFFFFFFFFu, 0x7FFFFFFFu, 1000u}) {
    FileBuilder b;
    b.Chunk("IHDR", FileBuilder::Ihdr(1, 1, 8, 0)).RawChunk(length, "tEXt", {'a', 0, 'b'});
    EXPECT_TRUE(FailsWith<EPngUnexpectedEnd>(b.Bytes()) || FailsWith<EPngInvalidCRC>(b.Bytes()));
  }
  FileBuilder idat;
  idat.Chunk("IHDR", FileBuilder::Ihdr(1, 1, 8, 0)).RawChunk(0x7FFFFFF0u, "IDAT", {0x78});
  EXPECT_TRUE(FailsWith<EPngUnexpectedEnd>(idat.Bytes()));
}

TEST(PngErrors, ImageDataFaults) {
  auto z = FileBuilder::Deflate(GreyRows(4, 3));
  {  // data running into a chunk of another name
    FileBuilder b;
    b.Chunk("IHDR", FileBuilder::Ihdr(4, 3, 8, 0))
        .Chunk("IDAT", {z.begin(), z.begin() + 4})
        .Chunk("tEXt", {'a', 0, 'b'})
        .Chunk("IEND", {});
    EXPECT_TRUE(FailsWith<EPNGMissingMultipleIDAT>(b.Bytes(), EPNGMissingMultipleIDATText));
  }
  {  // corrupt compressed data
    auto bad = z;
    bad[2] = 0x07;  // a final block of the reserved type
    FileBuilder b;
    b.Chunk("IHDR", FileBuilder::Ihdr(4, 3, 8, 0)).Chunk("IDAT", bad).Chunk("IEND", {});
    EXPECT_TRUE(FailsWith<EPNGZLIBError>(b.Bytes()));
  }
  {  // a stream that asks for a preset dictionary
    std::vector<uint8_t> dict = {0x78, 0xBB, 0, 0, 0, 1, 0x63, 0, 0};
    FileBuilder b;
    b.Chunk("IHDR", FileBuilder::Ihdr(4, 3, 8, 0)).Chunk("IDAT", dict).Chunk("IEND", {});
    EXPECT_TRUE(FailsWith<EPNGZLIBError>(
        b.Bytes(), (std::string(EPNGZLIBErrorText) + "need dictionary (2)").c_str()));
  }
  {  // the zlib stream ends after the first row, followed by more data: the rest stays zero
    auto one = FileBuilder::Deflate(GreyRows(4, 1, 9));
    one.insert(one.end(), 100, 0xAA);
    FileBuilder b;
    b.Chunk("IHDR", FileBuilder::Ihdr(4, 3, 8, 0)).Chunk("IDAT", one).Chunk("IEND", {});
    auto png = Load(b.Bytes());
    EXPECT_EQ(png->GetPixels(0, 0), RGB(9, 9, 9));
    EXPECT_EQ(png->GetPixels(0, 2), RGB(0, 0, 0));
  }
  {  // palette image without a palette
    FileBuilder b;
    b.Chunk("IHDR", FileBuilder::Ihdr(4, 3, 8, 3)).Chunk("IDAT", z).Chunk("IEND", {});
    EXPECT_TRUE(FailsWith<EPNGMissingPalette>(b.Bytes(), EPNGMissingPaletteText));
  }
}

// A zlib stream of stored blocks: its size is known to the byte.
std::vector<uint8_t> Stored(const std::vector<uint8_t>& Raw) {
  std::vector<uint8_t> out = {0x78, 0x01};
  for (size_t p = 0; p < Raw.size() || p == 0;) {
    size_t n = std::min<size_t>(65535, Raw.size() - p);
    bool last = p + n == Raw.size();
    out.insert(out.end(), {uint8_t(last), uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)});
    out.insert(out.end(), Raw.begin() + p, Raw.begin() + p + n);
    p += n;
    if (last) break;
  }
  uint32_t a = uint32_t(adler32(1, Raw.data(), uInt(Raw.size())));
  for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(a >> s));
  return out;
}

TEST(PngErrors, LargeSingleImageDataChunksLoad) {
  // Chunks just over one input block leave only the zlib trailer unread after the
  // last row; the CRC check must still cover the whole chunk.
  for (uint32_t size : {65536u, 65537u, 65538u, 65539u, 131071u, 131074u}) {
    uint32_t raw = size <= 65546 ? size - 11 : size - 16;  // one or two stored blocks
    uint32_t height = 1;
    while (raw % height != 0 || raw / height > 65536) ++height;
    uint32_t width = raw / height - 1;
    auto data = Stored(GreyRows(width, height, 3));
    ASSERT_EQ(data.size(), size);
    FileBuilder b;
    b.Chunk("IHDR", FileBuilder::Ihdr(width, height, 8, 0)).Chunk("IDAT", data).Chunk("IEND", {});
    auto png = Load(b.Bytes());
    EXPECT_EQ(png->GetPixels(int(width) - 1, int(height) - 1), RGB(3, 3, 3)) << size;
  }
}

TEST(PngErrors, AncillaryChunkChecks) {
  const auto file = [](std::vector<std::pair<const char*, std::vector<uint8_t>>> Extra,
                       int Type = 3) {
    FileBuilder b;
    b.Chunk("IHDR", FileBuilder::Ihdr(4, 3, 8, Type));
    for (auto& [name, data] : Extra) b.Chunk(name, data);
    b.Chunk("IDAT", FileBuilder::Deflate(GreyRows(4 * (Type == 2 ? 3 : 1), 3))).Chunk("IEND", {});
    return b.Bytes();
  };
  EXPECT_TRUE(FailsWith<EPNGInvalidPalette>(file({{"PLTE", std::vector<uint8_t>(769)}}), EPNGInvalidPaletteText));
  EXPECT_TRUE(FailsWith<EPNGInvalidPalette>(file({{"PLTE", std::vector<uint8_t>(771)}})));
  EXPECT_TRUE(FailsWith<EPNGInvalidPalette>(
      file({{"PLTE", std::vector<uint8_t>(768)}, {"tRNS", std::vector<uint8_t>(257)}})));
  // A colour key shorter than its samples is no key.
  auto short_key = Load(file({{"tRNS", {0, 1}}}, 2));
  EXPECT_EQ(short_key->GetTransparencyMode(), ptmNone);
  // A gAMA that is not 4 bytes leaves the colours alone.
  auto odd_gamma = Load(file({{"gAMA", {0, 1, 0}}}, 0));
  EXPECT_EQ(odd_gamma->GetPixels(0, 0), RGB(0x55, 0x55, 0x55));
  // A palette in a grey image does not change the grey levels.
  FileBuilder grey;
  grey.Chunk("IHDR", FileBuilder::Ihdr(4, 3, 8, 0))
      .Chunk("IDAT", FileBuilder::Deflate(GreyRows(4, 3)))
      .Chunk("PLTE", std::vector<uint8_t>(768, 9))
      .Chunk("IEND", {});
  EXPECT_EQ(Load(grey.Bytes())->GetPixels(1, 1), RGB(0x55, 0x55, 0x55));
  // Text without a separator: all keyword, no text.
  auto text = Load(file({{"tEXt", {'a', 'b', 'c', 'd'}}}, 0));
  EXPECT_EQ(text->Chunks().Find<TChunktEXt>()->Keyword, "abcd");
  EXPECT_EQ(text->Chunks().Find<TChunktEXt>()->Text, "");
  // A compressed text that would inflate to 16 MiB is dropped, not inflated.
  std::vector<uint8_t> bomb = {'k', 0, 0};
  auto packed = FileBuilder::Deflate(std::vector<uint8_t>(16 << 20, 'x'));
  bomb.insert(bomb.end(), packed.begin(), packed.end());
  auto ztxt = Load(file({{"zTXt", bomb}, {"zTXt", {'k', 0}}}, 0));
  EXPECT_EQ(ztxt->Chunks().Find<TChunkzTXt>()->Keyword, "k");
  EXPECT_EQ(ztxt->Chunks().Find<TChunkzTXt>()->Text, "");
}

}  // namespace
