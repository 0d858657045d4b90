// Encoding: saved files read back by the reference decoder show the same pixels,
// pass the format checker, use the filters asked for and split IDAT as configured.
#include <cstdlib>

#include "tests/codecs/png/PngTestUtil.h"
#include "tests/support/TempFolder.h"

using namespace pngtest;

namespace {

struct RawChunk {
  std::string name;
  std::vector<uint8_t> data;
};

std::vector<RawChunk> Chunks(const std::vector<uint8_t>& File) {
  std::vector<RawChunk> out;
  for (size_t p = 8; p + 12 <= File.size();) {
    uint32_t len = uint32_t(File[p]) << 24 | File[p + 1] << 16 | File[p + 2] << 8 | File[p + 3];
    out.push_back({std::string(File.begin() + p + 4, File.begin() + p + 8),
                   std::vector<uint8_t>(File.begin() + p + 8, File.begin() + p + 8 + len)});
    p += 12 + len;
  }
  return out;
}

// The inflated image data of a file.
std::vector<uint8_t> ImageData(const std::vector<uint8_t>& File) {
  std::vector<uint8_t> z;
  for (auto& c : Chunks(File))
    if (c.name == "IDAT") z.insert(z.end(), c.data.begin(), c.data.end());
  std::vector<uint8_t> out(4 << 20);
  uLongf size = uLongf(out.size());
  EXPECT_EQ(uncompress(out.data(), &size, z.data(), uLong(z.size())), Z_OK);
  out.resize(size);
  return out;
}

// The filter type byte of each row of a non-interlaced image.
std::vector<int> RowFilters(const std::vector<uint8_t>& File, size_t RowBytes) {
  std::vector<uint8_t> data = ImageData(File);
  std::vector<int> filters;
  for (size_t p = 0; p < data.size(); p += RowBytes + 1) filters.push_back(data[p]);
  return filters;
}

bool Pngcheck(const std::vector<uint8_t>& File) {
  TempFolder folder;
  std::string path = folder / "checked.png";
  WriteFileBytes(path, std::string_view(reinterpret_cast<const char*>(File.data()), File.size()));
  std::string command = "pngcheck -q '" + path + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Pixels of two reference reads match as displayed (16-bit samples by their high
// byte, 2-bit grey levels as the 4-bit levels they are written with).
::testing::AssertionResult SameDisplay(const pngref::Image& A, const pngref::Image& B) {
  if (A.width != B.width || A.height != B.height) return ::testing::AssertionFailure() << "size";
  for (uint32_t y = 0; y < A.height; ++y)
    for (uint32_t x = 0; x < A.width; ++x) {
      COLORREF ca, cb;
      int aa, ab;
      pngref::Expected(A, x, y, ca, aa);
      pngref::Expected(B, x, y, cb, ab);
      if (ca != cb || aa != ab)
        return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ")";
    }
  return ::testing::AssertionSuccess();
}

struct SaveVariant {
  TFilters filters;
  TInterlaceMethod interlace;
  int level;
};

TEST(PngEncode, EveryFormatReadsBackTheSamePixels) {
  const SaveVariant variants[] = {{{pfSub}, imNone, 7},
                                  {{pfNone, pfSub, pfUp, pfAverage, pfPaeth}, imAdam7, 9},
                                  {{pfUp, pfPaeth}, imNone, 1},
                                  {{pfAverage}, imAdam7, 0},
                                  {{}, imNone, 7}};
  unsigned seed = 100;
  for (const Format& f : AllFormats())
    for (auto [w, h] : {std::pair<uint32_t, uint32_t>{1, 1}, {13, 11}, {40, 3}}) {
      pngref::Image img = pngref::MakeImage(w, h, f.colorType, f.bitDepth, seed++);
      if (f.colorType == 3) img.trnsAlpha = {0, 128};
      auto source = pngref::Write(img);
      auto png = Load(source);
      for (const SaveVariant& v : variants) {
        SCOPED_TRACE(testing::Message() << "type " << f.colorType << " depth " << f.bitDepth
                                        << " size " << w << "x" << h << " level " << v.level
                                        << " interlace " << v.interlace);
        png->SetFilters(v.filters);
        png->SetInterlaceMethod(v.interlace);
        png->SetCompressionLevel(v.level);
        auto saved = Save(*png);
        pngref::Image back = pngref::Read(saved);
        EXPECT_EQ(back.bitDepth, f.bitDepth == 2 ? 4 : f.bitDepth);
        EXPECT_EQ(back.colorType, f.colorType);
        EXPECT_EQ(back.interlaced, v.interlace == imAdam7);
        EXPECT_EQ(back.trnsAlpha, img.trnsAlpha);
        ASSERT_TRUE(SameDisplay(pngref::Read(source), back));
        if (seed % 3 == 0) {
          EXPECT_TRUE(Pngcheck(saved));
        }
        // And our own decoder agrees with itself.
        EXPECT_TRUE(SamePixels(*Load(saved), back));
      }
    }
}

TEST(PngEncode, SixteenBitSamplesAreWrittenWithZeroLowBytes) {
  pngref::Image img = pngref::MakeImage(5, 4, 0, 16, 7);
  auto png = Load(pngref::Write(img));
  pngref::Image back = pngref::Read(Save(*png));
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 5; ++x) EXPECT_EQ(back.Sample(x, y, 0), img.Sample(x, y, 0) & 0xFF00);
}

TEST(PngEncode, FilterChoice) {
  // Rows repeat the row above: with every filter allowed, Up wins from the second row on.
  pngref::Image img = pngref::MakeImage(50, 8, 2, 8, 3);
  for (uint32_t y = 1; y < img.height; ++y) img.rows[y] = img.rows[0];
  auto png = Load(pngref::Write(img));

  auto saved = Save(*png);  // default filters: Sub only
  EXPECT_EQ(RowFilters(saved, 150), std::vector<int>(8, 1));

  png->SetFilters({pfNone, pfSub, pfUp, pfAverage, pfPaeth});
  std::vector<int> filters = RowFilters(Save(*png), 150);
  ASSERT_EQ(filters.size(), 8u);
  for (size_t y = 1; y < 8; ++y) EXPECT_EQ(filters[y], 2) << "row " << y;

  png->SetFilters({pfNone});
  EXPECT_EQ(RowFilters(Save(*png), 150), std::vector<int>(8, 0));
  png->SetFilters({pfPaeth});
  EXPECT_EQ(RowFilters(Save(*png), 150), std::vector<int>(8, 4));
  EXPECT_TRUE(Pngcheck(Save(*png)));
}

TEST(PngEncode, ImageDataIsSplitIntoChunksOfMaxIdatSize) {
  // Noise does not compress: about 3 × 300 × 300 bytes of image data.
  pngref::Image img = pngref::MakeImage(300, 300, 2, 8, 11);
  std::mt19937 rng(5);
  for (auto& row : img.rows)
    for (auto& b : row) b = uint8_t(rng());
  auto png = Load(pngref::Write(img));
  for (int max : {65535, 100000}) {
    png->SetMaxIdatSize(max);
    auto saved = Save(*png);
    std::vector<size_t> sizes;
    for (auto& c : Chunks(saved))
      if (c.name == "IDAT") sizes.push_back(c.data.size());
    ASSERT_GE(sizes.size(), 2u);
    for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], size_t(max));
    EXPECT_GT(sizes.back(), 0u);
    EXPECT_LE(sizes.back(), size_t(max));
    EXPECT_TRUE(SameDisplay(img, pngref::Read(saved)));
  }
  png->SetMaxIdatSize(1000);
  EXPECT_EQ(png->MaxIdatSize(), 65535);
}

TEST(PngEncode, AncillaryChunksAreKeptAndChromaticityDropped) {
  pngref::Image img = pngref::MakeImage(4, 4, 2, 8, 1);
  auto bytes = pngref::Write(img);
  // Put a cHRM, a tIME, a private ancillary chunk and texts before IEND.
  std::vector<uint8_t> tail(bytes.end() - 12, bytes.end());
  bytes.resize(bytes.size() - 12);
  pngref::FileBuilder extra;
  extra.Chunk("cHRM", std::vector<uint8_t>(32, 1))
      .Chunk("tIME", {0x07, 0xD6, 5, 6, 7, 8, 9})
      .Chunk("prVt", {1, 2, 3})
      .Chunk("tEXt", {'K', 0, 'v', 'a', 'l'});
  bytes.insert(bytes.end(), extra.Bytes().begin() + 8, extra.Bytes().end());
  bytes.insert(bytes.end(), tail.begin(), tail.end());

  auto png = Load(bytes);
  png->AddzTXt("Comment", std::string(1000, 'z'));
  auto saved = Save(*png);
  std::vector<std::string> names;
  for (auto& c : Chunks(saved)) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"IHDR", "IDAT", "tIME", "prVt", "tEXt", "zTXt", "IEND"}));
  for (auto& c : Chunks(saved)) {
    if (c.name == "tIME") {
      EXPECT_EQ(c.data, (std::vector<uint8_t>{0x07, 0xD6, 5, 6, 7, 8, 9}));
    } else if (c.name == "prVt") {
      EXPECT_EQ(c.data, (std::vector<uint8_t>{1, 2, 3}));
    }
  }
  EXPECT_TRUE(Pngcheck(saved));
  auto again = Load(saved);
  auto* ztxt = again->Chunks().Find<TChunkzTXt>();
  ASSERT_NE(ztxt, nullptr);
  EXPECT_EQ(ztxt->Keyword, "Comment");
  EXPECT_EQ(ztxt->Text, std::string(1000, 'z'));
}

}  // namespace
