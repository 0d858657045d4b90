// Text output against FreeType's own rendering of a pinned font file: metrics,
// extents, glyph pixels, alignment, DrawText's layout (centring, word breaks,
// ellipses, prefixes, CALCRECT) and the font name mapping.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/gdi/text.h"
#include "tests/platform/gdi/gdi_test_util.h"

using gditest::DibDC;

namespace {

const char* const kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const COLORREF kInk = RGB(0, 0, 0), kPaper = RGB(255, 255, 255);

// The pinned font read directly through FreeType.
class Reference {
 public:
  explicit Reference(int ppem) {
    FT_Init_FreeType(&lib_);
    FT_New_Face(lib_, kFontFile, 0, &face_);
    FT_Set_Pixel_Sizes(face_, 0, FT_UInt(ppem));
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
    const double scale = double(ppem) / face_->units_per_EM;
    ascent = int(std::ceil(os2->usWinAscent * scale - 1e-9));
    descent = int(std::ceil(os2->usWinDescent * scale - 1e-9));
  }
  ~Reference() {
    FT_Done_Face(face_);
    FT_Done_FreeType(lib_);
  }
  int Advance(char32_t c) {
    FT_Load_Char(face_, c, FT_LOAD_TARGET_MONO);
    return int((face_->glyph->advance.x + 32) >> 6);
  }
  int Width(const std::u32string& s) {
    int w = 0;
    for (char32_t c : s) w += Advance(c);
    return w;
  }
  // The glyph's ink as FreeType renders it: (x, y) relative to the pen on the baseline.
  std::vector<std::pair<int, int>> Ink(char32_t c) {
    FT_Load_Char(face_, c, FT_LOAD_TARGET_MONO | FT_LOAD_RENDER);
    const FT_GlyphSlot g = face_->glyph;
    std::vector<std::pair<int, int>> out;
    for (int y = 0; y < int(g->bitmap.rows); ++y)
      for (int x = 0; x < int(g->bitmap.width); ++x)
        if ((g->bitmap.buffer[y * g->bitmap.pitch + x / 8] >> (7 - x % 8)) & 1)
          out.emplace_back(g->bitmap_left + x, y - g->bitmap_top);
    return out;
  }
  int ascent = 0, descent = 0;

 private:
  FT_Library lib_ = nullptr;
  FT_Face face_ = nullptr;
};

class Text : public testing::Test {
 protected:
  static void SetUpTestSuite() { vx::gdi::SetFontFile("TestSans", kFontFile); }
  static void TearDownTestSuite() { vx::gdi::SetFontFile("TestSans", ""); }

  HFONT Font(int height, bool bold = false, const char* face = "TestSans") {
    LOGFONT lf;
    lf.lfHeight = height;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirect(&lf);
  }

  // Selects a font into a white DIB with black text in transparent mode.
  struct Page {
    Page(int w, int h, HFONT f) : d(w, h, 32, kPaper), font(f) {
      old = SelectObject(d.dc(), font);
      SetTextColor(d.dc(), kInk);
      SetBkMode(d.dc(), TRANSPARENT);
    }
    ~Page() {
      SelectObject(d.dc(), old);
      DeleteObject(font);
    }
    HDC dc() const { return d.dc(); }
    DibDC d;
    HFONT font;
    HGDIOBJ old;
  };

  static std::string Pixels(const Page& p, int w, int h) { return gditest::Picture(p.dc(), w, h, {{kInk, '#'}, {kPaper, '.'}}); }

  // The bounding box of the ink.
  static RECT InkBox(const Page& p, int w, int h) {
    RECT r{w, h, -1, -1};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (GetPixel(p.dc(), x, y) == kInk) {
          r.left = std::min<LONG>(r.left, x), r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1), r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
    return r;
  }
};

TEST_F(Text, MetricsAndExtentsFollowTheFontFile) {
  Reference ref(13);
  Page p(10, 10, Font(-13));
  TEXTMETRIC tm;
  ASSERT_TRUE(GetTextMetrics(p.dc(), &tm));
  EXPECT_EQ(tm.tmAscent, ref.ascent);
  EXPECT_EQ(tm.tmDescent, ref.descent);
  EXPECT_EQ(tm.tmHeight, ref.ascent + ref.descent);
  EXPECT_EQ(tm.tmInternalLeading, tm.tmHeight - 13);
  SIZE sz;
  ASSERT_TRUE(GetTextExtentPoint32(p.dc(), "Hello, world", -1, &sz));
  EXPECT_EQ(sz.cx, ref.Width(U"Hello, world"));
  EXPECT_EQ(sz.cy, tm.tmHeight);
  // A positive height asks for the cell height.
  Page q(10, 10, Font(20));
  GetTextMetrics(q.dc(), &tm);
  EXPECT_NEAR(tm.tmHeight, 20, 1);
}

TEST_F(Text, GlyphPixelsAreFreeTypesMonochromeRendering) {
  Reference ref(16);
  Page p(40, 30, Font(-16));
  ASSERT_TRUE(TextOut(p.dc(), 5, 3, "Ag", 2));
  std::string expected(size_t(40 * 30), '.');
  int pen = 5;
  for (char32_t c : std::u32string(U"Ag")) {
    for (auto [x, y] : ref.Ink(c)) expected[size_t((3 + ref.ascent + y) * 40 + pen + x)] = '#';
    pen += ref.Advance(c);
  }
  std::string got = Pixels(p, 40, 30);
  got.erase(std::remove(got.begin(), got.end(), '\n'), got.end());
  EXPECT_EQ(got, expected);
}

TEST_F(Text, AlignmentMovesTheReferencePoint) {
  Reference ref(14);
  const int w = ref.Width(U"Wide");
  Page left(80, 30, Font(-14)), centre(80, 30, Font(-14));
  TextOut(left.dc(), 40 - w / 2, 20 - ref.ascent, "Wide", 4);
  SetTextAlign(centre.dc(), TA_CENTER | TA_BASELINE);
  TextOut(centre.dc(), 40, 20, "Wide", 4);
  EXPECT_EQ(Pixels(left, 80, 30), Pixels(centre, 80, 30));
  // TA_UPDATECP draws at the current position and moves it.
  SetTextAlign(centre.dc(), TA_UPDATECP);
  MoveToEx(centre.dc(), 3, 4, nullptr);
  TextOut(centre.dc(), 0, 0, "Wide", 4);
  POINT pos;
  GetCurrentPositionEx(centre.dc(), &pos);
  EXPECT_EQ(pos, (POINT{3 + w, 4}));
}

TEST_F(Text, OpaqueModeFillsTheCellWithTheBackgroundColour) {
  Page p(60, 24, Font(-12));
  SetBkMode(p.dc(), OPAQUE);
  SetBkColor(p.dc(), RGB(255, 0, 0));
  TextOut(p.dc(), 2, 2, "ab", 2);
  SIZE sz;
  GetTextExtentPoint32(p.dc(), "ab", 2, &sz);
  EXPECT_EQ(GetPixel(p.dc(), 2, 2), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(p.dc(), 2 + sz.cx - 1, 2 + sz.cy - 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(p.dc(), 2 + sz.cx, 2), kPaper);
  EXPECT_EQ(GetPixel(p.dc(), 2, 2 + sz.cy), kPaper);
  // ExtTextOut clips to its rectangle and fills it with ETO_OPAQUE.
  Page q(60, 24, Font(-12));
  RECT r{0, 0, 5, 24};
  ExtTextOut(q.dc(), 2, 2, ETO_CLIPPED, &r, "WWW", 3);
  EXPECT_EQ(InkBox(q, 60, 24).right <= 5, true);
}

TEST_F(Text, DrawTextCentresSingleLines) {
  Reference ref(12);
  const int w = ref.Width(U"Centre"), h = ref.ascent + ref.descent;
  Page a(100, 40, Font(-12)), b(100, 40, Font(-12));
  RECT r{10, 5, 91, 36};
  const int ret = DrawText(a.dc(), "Centre", -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  const int x = 10 + (81 - w) / 2, y = 5 + (31 - h) / 2;
  TextOut(b.dc(), x, y, "Centre", 6);
  EXPECT_EQ(Pixels(a, 100, 40), Pixels(b, 100, 40));
  EXPECT_EQ(ret, y - 5 + h);
  // Right and bottom.
  Page c(100, 40, Font(-12)), d(100, 40, Font(-12));
  DrawText(c.dc(), "Centre", -1, &r, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
  TextOut(d.dc(), 91 - w, 36 - h, "Centre", 6);
  EXPECT_EQ(Pixels(c, 100, 40), Pixels(d, 100, 40));
}

TEST_F(Text, WordBreakAndCalcRectAgreeWithDrawing) {
  Reference ref(12);
  const int lineH = ref.ascent + ref.descent;
  const int oneTwo = ref.Width(U"one two");
  // Room for "one two" but not "one two three".
  RECT r{0, 0, oneTwo + 2, 0};
  Page p(200, 100, Font(-12));
  const int h = DrawText(p.dc(), "one two one two", -1, &r, DT_WORDBREAK | DT_CALCRECT);
  EXPECT_EQ(h, 2 * lineH);
  EXPECT_EQ(r.bottom, 2 * lineH);
  EXPECT_EQ(r.right, oneTwo);
  // Drawing puts the same lines one below the other.
  Page a(200, 100, Font(-12)), b(200, 100, Font(-12));
  RECT d{0, 0, oneTwo + 2, 100};
  DrawText(a.dc(), "one two one two", -1, &d, DT_WORDBREAK | DT_NOCLIP);
  TextOut(b.dc(), 0, 0, "one two", 7);
  TextOut(b.dc(), 0, lineH, "one two", 7);
  EXPECT_EQ(Pixels(a, 200, 100), Pixels(b, 200, 100));
  // A word wider than the line is not broken.
  RECT n{0, 0, 5, 0};
  EXPECT_EQ(DrawText(p.dc(), "unbreakable", -1, &n, DT_WORDBREAK | DT_CALCRECT), lineH);
  EXPECT_EQ(n.right, ref.Width(U"unbreakable"));
  // Hard line breaks and an empty text.
  RECT m{0, 0, 100, 0};
  EXPECT_EQ(DrawText(p.dc(), "a\r\nb\nc", -1, &m, DT_CALCRECT), 3 * lineH);
  RECT e{0, 0, 100, 0};
  EXPECT_EQ(DrawText(p.dc(), "", -1, &e, DT_CALCRECT), 0);
}

TEST_F(Text, EllipsesShortenToTheRectangle) {
  Reference ref(12);
  const int room = ref.Width(U"Hello...") + 1;
  Page a(200, 20, Font(-12)), b(200, 20, Font(-12));
  RECT r{0, 0, room, 20};
  DrawText(a.dc(), "Hello, world", -1, &r, DT_SINGLELINE | DT_END_ELLIPSIS);
  TextOut(b.dc(), 0, 0, "Hello...", 8);
  EXPECT_EQ(Pixels(a, 200, 20), Pixels(b, 200, 20));
  // A path keeps its last part.
  const char* path = "C:\\Program Files\\Vendor\\Product\\file.txt";
  const int pathRoom = ref.Width(U"C:\\Pro...\\file.txt");
  Page c(300, 20, Font(-12)), d(300, 20, Font(-12));
  RECT pr{0, 0, pathRoom, 20};
  DrawText(c.dc(), path, -1, &pr, DT_SINGLELINE | DT_PATH_ELLIPSIS);
  TextOut(d.dc(), 0, 0, "C:\\Pro...\\file.txt", 18);
  EXPECT_EQ(Pixels(c, 300, 20), Pixels(d, 300, 20));
}

TEST_F(Text, PrefixesUnderlineTheirCharacter) {
  Reference ref(12);
  Page a(100, 20, Font(-12)), b(100, 20, Font(-12));
  RECT r{0, 0, 100, 20};
  DrawText(a.dc(), "&File && more", -1, &r, DT_SINGLELINE);
  TextOut(b.dc(), 0, 0, "File & more", 11);
  const int underlineY = ref.ascent + 1;
  for (int x = 0; x < ref.Advance(U'F'); ++x) SetPixel(b.dc(), x, underlineY, kInk);
  EXPECT_EQ(Pixels(a, 100, 20), Pixels(b, 100, 20));
  Page c(100, 20, Font(-12)), d(100, 20, Font(-12));
  DrawText(c.dc(), "&File", -1, &r, DT_SINGLELINE | DT_NOPREFIX);
  TextOut(d.dc(), 0, 0, "&File", 5);
  EXPECT_EQ(Pixels(c, 100, 20), Pixels(d, 100, 20));
}

TEST_F(Text, TabsJumpToStopsOfEightAverageCharacters) {
  Page a(200, 20, Font(-12)), b(200, 20, Font(-12));
  TEXTMETRIC tm;
  GetTextMetrics(a.dc(), &tm);
  RECT r{0, 0, 200, 20};
  DrawText(a.dc(), "ab\tc", -1, &r, DT_SINGLELINE | DT_EXPANDTABS);
  TextOut(b.dc(), 0, 0, "ab", 2);
  TextOut(b.dc(), 8 * tm.tmAveCharWidth, 0, "c", 1);
  EXPECT_EQ(Pixels(a, 200, 20), Pixels(b, 200, 20));
  // DT_TABSTOP puts the stop width in the format's second byte.
  Page c(200, 20, Font(-12)), d(200, 20, Font(-12));
  DrawText(c.dc(), "\tc", -1, &r, DT_SINGLELINE | DT_EXPANDTABS | DT_TABSTOP | (2 << 8));
  TextOut(d.dc(), 2 * tm.tmAveCharWidth, 0, "c", 1);
  EXPECT_EQ(Pixels(c, 200, 20), Pixels(d, 200, 20));
}

TEST_F(Text, UnderlineSpansTheTextBelowTheBaseline) {
  LOGFONT lf;
  lf.lfHeight = -14;
  lf.lfUnderline = 1;
  std::strcpy(lf.lfFaceName, "TestSans");
  Page p(60, 24, CreateFontIndirect(&lf));
  TextOut(p.dc(), 2, 2, "i i", 3);
  SIZE sz;
  GetTextExtentPoint32(p.dc(), "i i", 3, &sz);
  TEXTMETRIC tm;
  GetTextMetrics(p.dc(), &tm);
  // Some row under the baseline is ink from the first to the last column.
  bool full = false;
  for (int y = 2 + tm.tmAscent; y < 2 + tm.tmHeight && !full; ++y) {
    full = true;
    for (int x = 2; x < 2 + sz.cx; ++x) full = full && GetPixel(p.dc(), x, y) == kInk;
  }
  EXPECT_TRUE(full);
}

TEST_F(Text, HangulWrapsBetweenSyllables) {
  Page p(200, 100, Font(-12, false, "굴림"));
  SIZE one;
  GetTextExtentPoint32(p.dc(), "가나", -1, &one);
  RECT r{0, 0, one.cx, 0};
  TEXTMETRIC tm;
  GetTextMetrics(p.dc(), &tm);
  EXPECT_EQ(DrawText(p.dc(), "가나다라", -1, &r, DT_WORDBREAK | DT_CALCRECT), 2 * tm.tmHeight);
  RECT n{0, 0, one.cx, 0};
  EXPECT_EQ(DrawText(p.dc(), "가나다라", -1, &n, DT_WORDBREAK | DT_CALCRECT | DT_NOFULLWIDTHCHARBREAK), tm.tmHeight);
}

TEST_F(Text, SynthesisedBoldIsOnePixelWiderPerCharacter) {
  Reference ref(12);
  Page p(10, 10, Font(-12, true));
  SIZE sz;
  GetTextExtentPoint32(p.dc(), "abc", 3, &sz);
  EXPECT_EQ(sz.cx, ref.Width(U"abc") + 3);
}

TEST_F(Text, FrameworkFontNamesMapToInstalledFamilies) {
  LOGFONT lf;
  lf.lfHeight = -12;
  std::strcpy(lf.lfFaceName, "굴림");
  EXPECT_NE(vx::gdi::FontFileOf(lf).find("NanumGothic"), std::string::npos);
  std::strcpy(lf.lfFaceName, "MS Sans Serif");
  EXPECT_NE(vx::gdi::FontFileOf(lf).find("DejaVuSans"), std::string::npos);
  // Hangul in a Latin font comes from a font that has it.
  Page p(80, 24, Font(-12, false, "MS Sans Serif"));
  TextOut(p.dc(), 0, 0, "한글", -1);
  const RECT box = InkBox(p, 80, 24);
  EXPECT_GT(box.right - box.left, 12);
}

TEST_F(Text, MalformedUtf8IsDrawnAsReplacementCharacters) {
  Page p(80, 24, Font(-12));
  const char bad[] = {'a', char(0xC3), char(0x28), char(0xF0), 'b', 0};
  EXPECT_TRUE(TextOut(p.dc(), 0, 0, bad, -1));
  SIZE sz;
  EXPECT_TRUE(GetTextExtentPoint32(p.dc(), bad, -1, &sz));
  EXPECT_GT(sz.cx, 0);
}

}  // namespace
