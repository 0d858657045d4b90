// Bitmap files against ImageMagick: files it writes in every depth load with the same
// pixels, and files written here read back in it with the same pixels.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/vcl/graphics.h"

namespace {

struct Px {
  int r, g, b;
};

// A folder of this process's own: test programs of other trees may run at the same
// time and write files of the same names.
std::string Dir() {
  static const struct Folder {
    std::string path = testing::TempDir() + "vxbmp_" + std::to_string(getpid());
    Folder() { std::filesystem::create_directories(path); }
    ~Folder() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  } folder;
  return folder.path;
}

void WritePpm(const std::string& file, int w, int h, const std::vector<Px>& px) {
  std::ofstream out(file, std::ios::binary);
  out << "P6 " << w << ' ' << h << " 255\n";
  for (const Px& p : px) out.put(char(p.r)).put(char(p.g)).put(char(p.b));
}

bool Shell(const std::string& cmd) { return std::system((cmd + " 2>/dev/null").c_str()) == 0; }

// Every pixel of an image file as ImageMagick reads it, row by row.
std::vector<Px> ReadWithConvert(const std::string& file) {
  std::vector<Px> out;
  FILE* f = popen(("convert '" + file + "' -depth 8 txt:- 2>/dev/null").c_str(), "r");
  if (!f) return out;
  char line[512];
  const std::regex re(R"(^\d+,\d+: .*#([0-9A-Fa-f]{2})([0-9A-Fa-f]{2})([0-9A-Fa-f]{2}))");
  while (std::fgets(line, sizeof line, f)) {
    std::cmatch m;
    if (std::regex_search(line, m, re))
      out.push_back(Px{std::stoi(m[1], nullptr, 16), std::stoi(m[2], nullptr, 16), std::stoi(m[3], nullptr, 16)});
  }
  pclose(f);
  return out;
}

std::vector<Px> Pixels(TBitmap& b) {
  std::vector<Px> out;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TColor c = b.Canvas()->Pixels(x, y);
      out.push_back(Px{c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF});
    }
  return out;
}

// 16-bit channels widen by repeating bits, which can differ by one from scaling.
void ExpectSame(const std::vector<Px>& a, const std::vector<Px>& b, int tolerance, const std::string& what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_NEAR(a[i].r, b[i].r, tolerance) << what << " pixel " << i;
    EXPECT_NEAR(a[i].g, b[i].g, tolerance) << what << " pixel " << i;
    EXPECT_NEAR(a[i].b, b[i].b, tolerance) << what << " pixel " << i;
  }
}

std::vector<Px> Pattern(int colors, int w, int h) {
  std::vector<Px> px;
  for (int i = 0; i < w * h; ++i) {
    const int k = i % colors;
    px.push_back(Px{(k * 37) & 0xFF, 255 - ((k * 11) & 0xFF), (k * 91 + 7) & 0xFF});
  }
  return px;
}

TEST(BitmapFiles, ReadsWhatImageMagickWrites) {
  struct Case {
    const char* options;
    int colors;
    TPixelFormat pf;
    int tolerance;
  };
  const Case cases[] = {
      {"-type palette -compress none BMP3:", 2, pf1bit, 0},
      {"-type palette -compress none BMP3:", 5, pf4bit, 0},
      {"-type palette -compress none BMP3:", 40, pf8bit, 0},
      {"-type truecolor BMP3:", 40, pf24bit, 0},
      {"-define bmp:subtype=RGB565 BMP:", 40, pf16bit, 1},
      {"-define bmp:subtype=RGB555 BMP:", 40, pf15bit, 1},
      {"-alpha on -define bmp:subtype=ARGB8888 BMP:", 40, pf32bit, 0},
  };
  const int w = 9, h = 5;  // odd sizes exercise the row padding
  for (const Case& c : cases) {
    const std::string ppm = Dir() + "/ref.ppm", bmp = Dir() + "/ref.bmp";
    WritePpm(ppm, w, h, Pattern(c.colors, w, h));
    ASSERT_TRUE(Shell("convert '" + ppm + "' " + c.options + "'" + bmp + "'")) << c.options;
    TBitmap b;
    b.LoadFromFile(bmp);
    EXPECT_EQ(b.PixelFormat(), c.pf) << c.options << c.colors;
    EXPECT_EQ(b.Width(), w);
    EXPECT_EQ(b.Height(), h);
    ExpectSame(Pixels(b), ReadWithConvert(bmp), c.tolerance, c.options);
  }
}

TEST(BitmapFiles, ImageMagickReadsWhatIsWrittenHere) {
  const int w = 7, h = 3;
  for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfDevice}) {
    TBitmap b;
    b.SetPixelFormat(pf);
    b.SetSize(w, h);
    for (int i = 0; i < w * h; ++i) {
      const Px p = Pattern(16, w, h)[size_t(i)];
      b.Canvas()->SetPixels(i % w, i / w, TColor(p.r | p.g << 8 | p.b << 16));
    }
    const std::string file = Dir() + "/ours.bmp";
    b.SaveToFile(file);
    ExpectSame(ReadWithConvert(file), Pixels(b), pf == pf15bit || pf == pf16bit ? 1 : 0, "format " + std::to_string(pf));
  }
}

TEST(BitmapFiles, TopDownAndCoreHeaders) {
  // A top-down 24-bit file and a file with the 12-byte core header, made by hand.
  const uint8_t topDown[] = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
                             40, 0, 0, 0, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 24, 0, 0, 0, 0, 0,
                             0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                             0, 0, 255, 0,  // first row: red
                             255, 0, 0, 0};  // second row: blue
  TMemoryStream s;
  s.Write(topDown, sizeof topDown);
  s.SetPosition(0);
  TBitmap b;
  b.LoadFromStream(&s);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(b.Canvas()->Pixels(0, 1), clBlue);
  const uint8_t core[] = {'B', 'M', 36, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0, 0,  // file header
                          12, 0, 0, 0, 2, 0, 1, 0, 1, 0, 1, 0,              // core header: 2 x 1, 1 bit
                          0, 0, 255, 0, 255, 0,                             // red, green (B,G,R triples)
                          0x40, 0, 0, 0};                                   // pixels 0 1
  TMemoryStream c;
  c.Write(core, sizeof core);
  c.SetPosition(0);
  b.LoadFromStream(&c);
  EXPECT_EQ(b.PixelFormat(), pf1bit);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(b.Canvas()->Pixels(1, 0), clLime);
}

TEST(BitmapFiles, ResourcesLoadWithoutTheirFileHeader) {
  // This folder's resources: BITMAP/Swatch.bmp (24-bit, 3 x 2) and Indexed.bmp
  // (4-bit, three colours in the table), stored without their file headers.
  TBitmap b;
  b.LoadFromResourceName(nullptr, "sWATCH");
  ASSERT_EQ(b.Width(), 3);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(b.Canvas()->Pixels(2, 0), clBlue);
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), TColor(RGB(1, 2, 3)));
  b.LoadFromResourceName(nullptr, "Indexed");
  EXPECT_EQ(b.PixelFormat(), pf4bit);
  EXPECT_EQ(b.Width(), 5);
  EXPECT_EQ(b.Canvas()->Pixels(1, 0), clOlive);
  EXPECT_EQ(b.Canvas()->Pixels(2, 0), TColor(RGB(10, 20, 30)));
  EXPECT_EQ(b.Canvas()->Pixels(0, 1), TColor(RGB(10, 20, 30)));
  EXPECT_EQ(b.Canvas()->Pixels(4, 1), clBlack);
  try {
    b.LoadFromResourceName(nullptr, "NoSuchBitmap");
    FAIL();
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), "Resource NoSuchBitmap not found");
  }
  EXPECT_THROW(b.LoadFromResourceID(nullptr, 77), EResNotFound);
  EXPECT_EQ(b.Width(), 5) << "a missing resource leaves the picture";
}

TEST(BitmapFiles, TruncatedAndOversizedFilesAreRejected) {
  TBitmap ref;
  ref.SetPixelFormat(pf24bit);
  ref.SetSize(10, 10);
  TMemoryStream s;
  ref.SaveToStream(&s);
  const int64_t full = s.Size();
  for (int64_t cut : {int64_t{10}, int64_t{30}, int64_t{54}, full - 1}) {
    TMemoryStream part;
    part.Write(s.Memory(), cut);
    part.SetPosition(0);
    TBitmap b;
    EXPECT_THROW(b.LoadFromStream(&part), EInvalidGraphic) << cut;
  }
  // A header that claims 60000 x 60000 pixels with a few bytes behind it.
  std::vector<uint8_t> big(static_cast<const uint8_t*>(s.Memory()), static_cast<const uint8_t*>(s.Memory()) + 54);
  big[18] = 0x60, big[19] = 0xEA, big[22] = 0x60, big[23] = 0xEA;
  TMemoryStream b2;
  b2.Write(big.data(), int64_t(big.size()));
  b2.SetPosition(0);
  TBitmap b;
  EXPECT_THROW(b.LoadFromStream(&b2), EInvalidGraphic);
}

TEST(BitmapFiles, IconsLoadDrawAndSave) {
  const std::string ico = Dir() + "/ref.ico";
  ASSERT_TRUE(Shell("convert -size 16x16 xc:red -fill none -draw 'color 0,0 point' -alpha on '" + ico + "'"));
  TIcon icon;
  icon.LoadFromFile(ico);
  EXPECT_EQ(icon.Width(), 16);
  EXPECT_EQ(icon.Height(), 16);
  EXPECT_THROW(icon.SetWidth(8), EInvalidGraphicOperation);
  TBitmap page;
  page.SetSize(16, 16);
  page.Canvas()->Brush()->SetColor(clBlue);
  page.Canvas()->FillRect(TRect{0, 0, 16, 16});
  page.Canvas()->Draw(0, 0, &icon);
  EXPECT_EQ(page.Canvas()->Pixels(0, 0), clBlue);  // transparent corner
  EXPECT_EQ(page.Canvas()->Pixels(5, 5), clRed);
  // Saved and loaded again, the icon draws the same.
  TMemoryStream s;
  icon.SaveToStream(&s);
  s.SetPosition(0);
  TIcon again;
  again.LoadFromStream(&s);
  TBitmap page2;
  page2.SetSize(16, 16);
  page2.Canvas()->Brush()->SetColor(clBlue);
  page2.Canvas()->FillRect(TRect{0, 0, 16, 16});
  page2.Canvas()->Draw(0, 0, &again);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(page2.Canvas()->Pixels(x, y), page.Canvas()->Pixels(x, y)) << x << "," << y;
  TPicture p;
  p.LoadFromFile(ico);
  EXPECT_TRUE(Is<TIcon>(p.Graphic()));
}

}  // namespace
