// Decoding against the reference decoder: every colour type, bit depth, interlace
// method and row filter, and the sample files shipped with the system's Go sources.
#include <dirent.h>

#include "tests/codecs/png/PngTestUtil.h"
#include "tests/support/TempFolder.h"

using namespace pngtest;

namespace {

std::vector<uint8_t> ReadFile(const std::string& Path) {
  std::string bytes = ReadFileBytes(Path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

TEST(PngDecode, EveryFormatInterlaceAndFilterMatchesReference) {
  const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG,
                         PNG_FILTER_PAETH, PNG_ALL_FILTERS};
  const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {7, 5}, {37, 19}, {64, 9}};
  unsigned seed = 1;
  for (const Format& f : AllFormats())
    for (bool interlaced : {false, true})
      for (int filter : filters)
        for (auto [w, h] : sizes) {
          pngref::Image img = pngref::MakeImage(w, h, f.colorType, f.bitDepth, seed++);
          img.interlaced = interlaced;
          auto bytes = pngref::Write(img, filter);
          SCOPED_TRACE(testing::Message() << "type " << f.colorType << " depth " << f.bitDepth
                                          << " interlaced " << interlaced << " filter " << filter
                                          << " size " << w << "x" << h);
          auto png = Load(bytes);
          ASSERT_TRUE(SamePixels(*png, pngref::Read(bytes)));
          EXPECT_EQ(png->InterlaceMethod(), interlaced ? imAdam7 : imNone);
        }
}

TEST(PngDecode, GammaAndTransparencyOfReferenceFiles) {
  // Gamma applies to colours and grey levels; palette entries keep their alpha.
  for (uint32_t gamma : {45455u, 100000u, 20000u}) {
    for (const Format& f : {Format{0, 4}, Format{2, 8}, Format{3, 8}, Format{6, 16}}) {
      pngref::Image img = pngref::MakeImage(9, 9, f.colorType, f.bitDepth, gamma + f.colorType);
      img.gamma = gamma;
      auto bytes = pngref::Write(img);
      SCOPED_TRACE(testing::Message() << "gamma " << gamma << " type " << f.colorType);
      EXPECT_TRUE(SamePixels(*Load(bytes), pngref::Read(bytes)));
    }
  }
}

TEST(PngDecode, SampleFilesMatchReference) {
  const std::string dirs[] = {"/usr/share/go-1.19/src/image/png/testdata",
                              "/usr/share/go-1.19/src/image/png/testdata/pngsuite"};
  int checked = 0;
  for (const std::string& dir : dirs) {
    DIR* d = opendir(dir.c_str());
    if (!d) GTEST_SKIP() << dir << " is missing (Debian package golang-1.19-src)";
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name.size() < 4 || name.substr(name.size() - 4) != ".png" || name.rfind("invalid", 0) == 0)
        continue;
      SCOPED_TRACE(name);
      auto bytes = ReadFile(dir + "/" + name);
      auto png = Load(bytes);
      EXPECT_TRUE(SamePixels(*png, pngref::Read(bytes)));
      ++checked;
    }
    closedir(d);
  }
  EXPECT_GE(checked, 40);
}

TEST(PngDecode, BrokenSampleFilesGiveTheirErrors) {
  const std::string dir = "/usr/share/go-1.19/src/image/png/testdata/";
  if (ReadFile(dir + "invalid-crc32.png").empty()) GTEST_SKIP() << dir << " is missing";
  EXPECT_TRUE(FailsWith<EPngInvalidCRC>(ReadFile(dir + "invalid-crc32.png"), EPngInvalidCRCText));
  EXPECT_TRUE(FailsWith<EPngUnexpectedEnd>(ReadFile(dir + "invalid-noend.png"), EPNGUnexpectedEndText));
  EXPECT_TRUE(FailsWith<EPngUnexpectedEnd>(ReadFile(dir + "invalid-trunc.png")));
  EXPECT_TRUE(FailsWith<EPNGZLIBError>(ReadFile(dir + "invalid-zlib.png")));
}

}  // namespace
