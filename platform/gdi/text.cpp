// Text output: fonts, glyphs, TextOut/ExtTextOut, extents, metrics and DrawText.
#include "platform/gdi/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/gdi/dc.h"
#include "platform/rtl/sysutils.h"

namespace vx::gdi {

// ---- Faces ----

struct Glyph {
  int advance = 0;
  int left = 0;  // bitmap's left edge from the pen position
  int top = 0;   // bitmap's top edge above the baseline
  int width = 0, height = 0;
  std::vector<uint8_t> bits;  // one byte a pixel, 1 = ink
};

// A font file loaded at one pixel size and style.
struct FontFace {
  FT_Face face = nullptr;
  std::string file;
  std::string faceName;  // as the LOGFONT named it
  int ppem = 0;
  int ascent = 0, descent = 0, height = 0, internalLeading = 0, externalLeading = 0;
  int aveCharWidth = 0, maxCharWidth = 0;
  int underlinePos = 0, underlineThickness = 1;  // below the baseline
  int strikePos = 0, strikeThickness = 1;        // above the baseline
  bool fakeBold = false, fakeItalic = false;
  bool bold = false, italic = false, underline = false, strikeOut = false, fixedPitch = false;
  LONG weight = FW_NORMAL;
  BYTE charSet = ANSI_CHARSET;
  BYTE pitchAndFamily = 0;
  std::unordered_map<char32_t, Glyph> glyphs;
  // Faces for characters this one lacks, by code point.
  std::unordered_map<char32_t, std::shared_ptr<FontFace>> fallbacks;
  std::vector<std::shared_ptr<FontFace>> fallbackFaces;  // each distinct one, tried first

  ~FontFace() {
    if (face) FT_Done_Face(face);
  }
};

namespace {

std::mutex& TextLock() {
  static std::mutex* m = new std::mutex();
  return *m;
}

FT_Library Library() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    FT_Init_FreeType(&l);
    return l;
  }();
  return lib;
}

std::map<std::string, std::string>& FileOverrides() {
  static auto* m = new std::map<std::string, std::string>();
  return *m;
}

// Families that stand in for the framework's usual font names.
std::string FamilyFor(const std::string& name) {
  static const std::map<std::string, std::string> table = {
      {"MS SANS SERIF", "DejaVu Sans"},     {"MICROSOFT SANS SERIF", "DejaVu Sans"},
      {"MS SHELL DLG", "DejaVu Sans"},      {"MS SHELL DLG 2", "DejaVu Sans"},
      {"TAHOMA", "DejaVu Sans"},            {"ARIAL", "DejaVu Sans"},
      {"VERDANA", "DejaVu Sans"},           {"SEGOE UI", "DejaVu Sans"},
      {"SYSTEM", "DejaVu Sans"},            {"SMALL FONTS", "DejaVu Sans"},
      {"HELVETICA", "DejaVu Sans"},         {"COURIER NEW", "DejaVu Sans Mono"},
      {"COURIER", "DejaVu Sans Mono"},      {"FIXEDSYS", "DejaVu Sans Mono"},
      {"TERMINAL", "DejaVu Sans Mono"},     {"LUCIDA CONSOLE", "DejaVu Sans Mono"},
      {"TIMES NEW ROMAN", "DejaVu Serif"},  {"MS SERIF", "DejaVu Serif"},
      {"TIMES", "DejaVu Serif"},            {"굴림", "NanumGothic"},
      {"GULIM", "NanumGothic"},             {"돋움", "NanumGothic"},
      {"DOTUM", "NanumGothic"},             {"새굴림", "NanumGothic"},
      {"맑은 고딕", "NanumGothic"},         {"MALGUN GOTHIC", "NanumGothic"},
      {"굴림체", "NanumGothicCoding"},      {"GULIMCHE", "NanumGothicCoding"},
      {"돋움체", "NanumGothicCoding"},      {"DOTUMCHE", "NanumGothicCoding"},
      {"바탕", "NanumMyeongjo"},            {"BATANG", "NanumMyeongjo"},
      {"바탕체", "NanumMyeongjo"},          {"궁서", "NanumMyeongjo"},
  };
  auto it = table.find(UpperCase(name));
  if (it != table.end()) return it->second;
  return name.empty() ? std::string("DejaVu Sans") : name;
}

struct Match {
  std::string file;
  int index = 0;
  bool bold = false, italic = false;
};

// Asks fontconfig for a family, weight and slant (optionally holding a character).
Match FindFile(const std::string& family, bool bold, bool italic, char32_t mustHave = 0) {
  Match m;
  FcPattern* pat = FcPatternCreate();
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  if (mustHave) {
    FcCharSet* cs = FcCharSetCreate();
    FcCharSetAddChar(cs, mustHave);
    FcPatternAddCharSet(pat, FC_CHARSET, cs);
    FcCharSetDestroy(cs);
  }
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res;
  FcPattern* found = FcFontMatch(nullptr, pat, &res);
  if (found) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch) m.file = reinterpret_cast<char*>(file);
    FcPatternGetInteger(found, FC_INDEX, 0, &m.index);
    int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(found, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(found, FC_SLANT, 0, &slant);
    m.bold = weight >= FC_WEIGHT_DEMIBOLD;
    m.italic = slant != FC_SLANT_ROMAN;
    if (mustHave) {
      FcCharSet* cs = nullptr;
      if (FcPatternGetCharSet(found, FC_CHARSET, 0, &cs) != FcResultMatch || !FcCharSetHasChar(cs, mustHave))
        m.file.clear();
    }
    FcPatternDestroy(found);
  }
  FcPatternDestroy(pat);
  return m;
}

int Ceil26(double v) { return int(std::ceil(v - 1e-9)); }

// Loads a face file at a size; fills the metrics. Null when the file does not load.
std::shared_ptr<FontFace> LoadFace(const Match& m, const LOGFONT& lf, bool wantBold, bool wantItalic) {
  auto f = std::make_shared<FontFace>();
  if (m.file.empty() || FT_New_Face(Library(), m.file.c_str(), m.index, &f->face) != 0) return nullptr;
  FT_Face face = f->face;
  f->file = m.file;
  f->faceName = lf.lfFaceName;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const double upm = face->units_per_EM ? face->units_per_EM : 2048;
  double winAscent = os2 && os2->usWinAscent ? os2->usWinAscent : face->ascender;
  double winDescent = os2 && os2->usWinAscent ? os2->usWinDescent : -face->descender;
  if (winAscent + winDescent <= 0) winAscent = upm * 0.8, winDescent = upm * 0.2;
  int ppem;
  if (lf.lfHeight < 0)
    ppem = -lf.lfHeight;
  else if (lf.lfHeight > 0)
    ppem = std::max(1, int(std::lround(lf.lfHeight * upm / (winAscent + winDescent))));
  else
    ppem = 12;
  ppem = std::min(ppem, 2048);
  int wpx = 0;
  if (lf.lfWidth > 0 && os2 && os2->xAvgCharWidth > 0) wpx = int(std::lround(lf.lfWidth * upm / os2->xAvgCharWidth));
  FT_Set_Pixel_Sizes(face, FT_UInt(wpx), FT_UInt(ppem));
  f->ppem = ppem;
  const double scale = ppem / upm;
  f->ascent = Ceil26(winAscent * scale);
  f->descent = Ceil26(winDescent * scale);
  f->height = f->ascent + f->descent;
  f->internalLeading = f->height - ppem;
  const double hheaGap = face->height - (face->ascender - face->descender);
  const double extGap = hheaGap - ((winAscent + winDescent) - (face->ascender - face->descender));
  f->externalLeading = std::max(0, int(std::lround(extGap * scale)));
  f->aveCharWidth = os2 && os2->xAvgCharWidth > 0 ? int(std::lround(os2->xAvgCharWidth * scale)) : ppem / 2;
  f->maxCharWidth = int(std::lround(face->max_advance_width * scale));
  f->underlineThickness = std::max(1, int(std::lround(face->underline_thickness * scale)));
  f->underlinePos = std::max(1, int(std::lround(-face->underline_position * scale)));
  if (os2 && os2->yStrikeoutSize > 0) {
    f->strikeThickness = std::max(1, int(std::lround(os2->yStrikeoutSize * scale)));
    f->strikePos = int(std::lround(os2->yStrikeoutPosition * scale));
  } else {
    f->strikeThickness = f->underlineThickness;
    f->strikePos = ppem / 3;
  }
  f->fakeBold = wantBold && !m.bold;
  f->fakeItalic = wantItalic && !m.italic;
  f->bold = wantBold;
  f->italic = wantItalic;
  f->underline = lf.lfUnderline != 0;
  f->strikeOut = lf.lfStrikeOut != 0;
  f->weight = wantBold ? FW_BOLD : FW_NORMAL;
  f->fixedPitch = FT_IS_FIXED_WIDTH(face);
  f->charSet = lf.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : lf.lfCharSet;
  f->pitchAndFamily = lf.lfPitchAndFamily;
  if (f->fakeBold) f->maxCharWidth += 1;
  return f;
}

std::string FaceKey(const std::string& file, const LOGFONT& lf, bool bold, bool italic) {
  return file + '|' + std::to_string(lf.lfHeight) + '|' + std::to_string(lf.lfWidth) + '|' + (bold ? 'b' : '-') +
         (italic ? 'i' : '-') + (lf.lfUnderline ? 'u' : '-') + (lf.lfStrikeOut ? 's' : '-');
}

std::map<std::string, std::shared_ptr<FontFace>>& FaceCache() {
  static auto* m = new std::map<std::string, std::shared_ptr<FontFace>>();
  return *m;
}

// The file of each face name and style asked for: matching through fontconfig costs far
// more than drawing a control's text, and controls make their fonts anew at each paint.
std::map<std::string, Match>& MatchCache() {
  static auto* m = new std::map<std::string, Match>();
  return *m;
}

Match MatchFor(const LOGFONT& lf, bool bold, bool italic) {
  const std::string name = lf.lfFaceName;
  auto& over = FileOverrides();
  auto it = over.find(UpperCase(name));
  if (it != over.end()) {
    Match m;
    m.file = it->second;
    return m;
  }
  const std::string key = UpperCase(name) + (bold ? "|b" : "|-") + (italic ? "i" : "-");
  auto& cache = MatchCache();
  if (auto known = cache.find(key); known != cache.end()) return known->second;
  Match m = FindFile(FamilyFor(name), bold, italic);
  if (m.file.empty()) m = FindFile("DejaVu Sans", bold, italic);
  cache.emplace(key, m);
  return m;
}

// Caller holds the text lock.
std::shared_ptr<FontFace> Resolve(const LOGFONT& lf) {
  const bool bold = lf.lfWeight >= FW_SEMIBOLD, italic = lf.lfItalic != 0;
  const Match m = MatchFor(lf, bold, italic);
  const std::string key = FaceKey(m.file + '#' + std::to_string(m.index), lf, bold, italic) + '|' + lf.lfFaceName;
  auto& cache = FaceCache();
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  auto f = LoadFace(m, lf, bold, italic);
  if (!f) {
    Match fb = FindFile("DejaVu Sans", bold, italic);
    f = LoadFace(fb, lf, bold, italic);
  }
  if (!f) {
    // No usable font at all: a face without glyphs still measures consistently.
    f = std::make_shared<FontFace>();
    f->ppem = lf.lfHeight < 0 ? -lf.lfHeight : 12;
    f->ascent = f->ppem * 4 / 5;
    f->descent = f->ppem - f->ascent;
    f->height = f->ppem;
    f->aveCharWidth = f->maxCharWidth = f->ppem / 2;
  }
  cache.emplace(key, f);
  return f;
}

// The face that draws a character: the font itself, or a fallback holding it.
FontFace& FaceFor(FontFace& f, char32_t c) {
  if (!f.face || FT_Get_Char_Index(f.face, c) != 0 || c < 0x20) return f;
  auto it = f.fallbacks.find(c);
  if (it == f.fallbacks.end()) {
    std::shared_ptr<FontFace> fb;
    for (auto& known : f.fallbackFaces)
      if (known->face && FT_Get_Char_Index(known->face, c) != 0) {
        fb = known;
        break;
      }
    Match m;
    if (!fb) m = FindFile("sans-serif", f.bold, f.italic, c);
    if (!m.file.empty() && m.file != f.file) {
      LOGFONT lf;
      lf.lfHeight = -f.ppem;
      lf.lfWeight = f.bold ? FW_BOLD : FW_NORMAL;
      lf.lfItalic = f.italic;
      const std::string key = FaceKey(m.file + '#' + std::to_string(m.index), lf, f.bold, f.italic) + "|fallback";
      auto& cache = FaceCache();
      auto ci = cache.find(key);
      if (ci != cache.end())
        fb = ci->second;
      else if ((fb = LoadFace(m, lf, f.bold, f.italic)))
        cache.emplace(key, fb);
      if (fb) f.fallbackFaces.push_back(fb);
    }
    it = f.fallbacks.emplace(c, fb).first;
  }
  return it->second ? *it->second : f;
}

const Glyph& GlyphOf(FontFace& primary, char32_t c) {
  FontFace& f = FaceFor(primary, c);
  auto it = f.glyphs.find(c);
  if (it != f.glyphs.end()) return it->second;
  Glyph g;
  if (f.face) {
    const FT_UInt index = FT_Get_Char_Index(f.face, c);
    if (FT_Load_Glyph(f.face, index, FT_LOAD_TARGET_MONO) == 0) {
      FT_GlyphSlot slot = f.face->glyph;
      g.advance = int((slot->advance.x + 32) >> 6);
      if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (f.fakeItalic) {
          FT_Matrix shear{0x10000, 0x3333, 0, 0x10000};  // slant of 0.2
          FT_Outline_Transform(&slot->outline, &shear);
        }
      }
      if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) == 0) {
        const FT_Bitmap& bm = slot->bitmap;
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.width = int(bm.width);
        g.height = int(bm.rows);
        const int extra = f.fakeBold ? 1 : 0;
        g.width += extra;
        g.bits.assign(size_t(g.width) * size_t(g.height), 0);
        for (int y = 0; y < int(bm.rows); ++y) {
          const uint8_t* row = bm.buffer + y * bm.pitch;
          for (int x = 0; x < int(bm.width); ++x) {
            if (!((row[x >> 3] >> (7 - (x & 7))) & 1)) continue;
            g.bits[size_t(y * g.width + x)] = 1;
            // A synthesised bold doubles every stroke one pixel to the right.
            if (extra) g.bits[size_t(y * g.width + x + 1)] = 1;
          }
        }
      }
      if (f.fakeBold) g.advance += 1;
    }
  } else {
    g.advance = f.aveCharWidth;
  }
  return f.glyphs.emplace(c, std::move(g)).first->second;
}

// ---- UTF-8 ----

std::u32string Decode(const char* s, size_t n) {
  std::u32string out;
  out.reserve(n);
  size_t i = 0;
  while (i < n) {
    const uint8_t b = uint8_t(s[i]);
    char32_t c;
    int len;
    if (b < 0x80) {
      c = b, len = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F, len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07, len = 4;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (i + size_t(len) > n) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; k < len; ++k) {
      const uint8_t t = uint8_t(s[i + size_t(k)]);
      if ((t & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (t & 0x3F);
    }
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(c);
    i += size_t(len);
  }
  return out;
}

size_t Length(const char* s, int count) { return count < 0 ? std::strlen(s) : size_t(count); }

// ---- Measuring and drawing runs ----

// A character's advance at pen offset pen of its line; tab > 0 makes tabs jump to the
// next multiple of tab.
int Advance(FontFace& f, char32_t c, int pen, int tab) {
  if (c == U'\t' && tab > 0) return (pen / tab + 1) * tab - pen;
  return GlyphOf(f, c).advance;
}

// The width of characters [from, to) of a line.
int RunWidth(FontFace& f, const std::u32string& text, size_t from = 0, size_t to = std::u32string::npos,
             int tab = 0) {
  to = std::min(to, text.size());
  int pen = 0, start = 0;
  for (size_t i = 0; i < to; ++i) {
    if (i == from) start = pen;
    pen += Advance(f, text[i], pen, tab);
  }
  return from < to ? pen - start : 0;
}

struct TextTarget {
  DCObject& dc;
  Surface& s;
  Region clip;  // surface coordinates
};

// Draws a run with its baseline at (x, baseline), surface coordinates. Returns the
// advance.
int DrawRun(TextTarget& t, FontFace& f, const std::u32string& text, int x, int baseline, const Paint& ink,
            const int* dx = nullptr, int tab = 0) {
  int pen = x;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == U'\t' && tab > 0) {
      pen += Advance(f, text[i], pen - x, tab);
      continue;
    }
    const Glyph& g = GlyphOf(f, text[i]);
    const int gx = pen + g.left, gy = baseline - g.top;
    for (int row = 0; row < g.height; ++row) {
      const uint8_t* bits = g.bits.data() + size_t(row) * size_t(g.width);
      int col = 0;
      while (col < g.width) {
        while (col < g.width && !bits[col]) ++col;
        const int start = col;
        while (col < g.width && bits[col]) ++col;
        if (col > start) FillSpanClipped(t.s, t.clip, gy + row, gx + start, gx + col, ink);
      }
    }
    pen += dx ? dx[i] : g.advance;
  }
  const int width = pen - x;
  if (f.underline)
    FillRect(t.s, t.clip, RECT{x, baseline + f.underlinePos, pen, baseline + f.underlinePos + f.underlineThickness},
             ink);
  if (f.strikeOut)
    FillRect(t.s, t.clip, RECT{x, baseline - f.strikePos, pen, baseline - f.strikePos + f.strikeThickness}, ink);
  return width;
}

std::shared_ptr<FontFace> FontOfDC(DCObject& dc) {
  if (!dc.st.font) return Resolve(LOGFONT{});
  if (!dc.st.font->face) dc.st.font->face = Resolve(dc.st.font->lf);
  return dc.st.font->face;
}

}  // namespace

std::shared_ptr<FontFace> ResolveFont(const LOGFONT& lf) {
  std::lock_guard g(TextLock());
  return Resolve(lf);
}

void SetFontFile(const std::string& faceName, const std::string& path) {
  std::lock_guard g(TextLock());
  if (path.empty())
    FileOverrides().erase(UpperCase(faceName));
  else
    FileOverrides()[UpperCase(faceName)] = path;
  FaceCache().clear();
  MatchCache().clear();
}

std::string FontFileOf(const LOGFONT& lf) {
  std::lock_guard g(TextLock());
  return Resolve(lf)->file;
}

}  // namespace vx::gdi

using namespace vx::gdi;

namespace {

// TextOut's work: the reference point per the DC's text alignment, the background
// box in OPAQUE mode, the glyphs. Coordinates are logical.
BOOL TextOutImpl(HDC h, int x, int y, UINT options, const RECT* rc, const char* text, size_t n, const int* dx) {
  auto dc = FindDC(h);
  if (!dc) return FALSE;
  Surface* s = dc->Target();
  if (!s) return FALSE;
  std::lock_guard g(TextLock());
  auto font = FontOfDC(*dc);
  FontFace& f = *font;
  const std::u32string str = Decode(text, n);
  int width = 0;
  if (dx)
    for (size_t i = 0; i < str.size(); ++i) width += dx[i];
  else
    width = RunWidth(f, str);
  const UINT align = dc->st.textAlign;
  if (align & TA_UPDATECP) x = dc->st.pos.x, y = dc->st.pos.y;
  int left = x;
  if ((align & TA_CENTER) == TA_CENTER)
    left = x - width / 2;
  else if (align & TA_RIGHT)
    left = x - width;
  int top = y;
  if ((align & TA_BASELINE) == TA_BASELINE)
    top = y - f.ascent;
  else if (align & TA_BOTTOM)
    top = y - f.height;
  if (align & TA_UPDATECP) {
    if ((align & TA_CENTER) != TA_CENTER) dc->st.pos.x = (align & TA_RIGHT) ? left : left + width;
  }
  TextTarget t{*dc, *s, dc->Clip()};
  if (rc) {
    const RECT sr{dc->SX(rc->left), dc->SY(rc->top), dc->SX(rc->right), dc->SY(rc->bottom)};
    if (options & ETO_OPAQUE) FillRect(*s, t.clip, sr, SolidPaint(*s, dc->st.bkColor, 0xF0));
    if (options & ETO_CLIPPED) t.clip = t.clip.Intersected(sr);
  }
  const int sx = dc->SX(left), sy = dc->SY(top);
  if (dc->st.bkMode == OPAQUE)
    FillRect(*s, t.clip, RECT{sx, sy, sx + width, sy + f.height}, SolidPaint(*s, dc->st.bkColor, 0xF0));
  DrawRun(t, f, str, sx, sy + f.ascent, SolidPaint(*s, dc->st.textColor, 0xF0), dx);
  return TRUE;
}

bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFF60);
}

struct Line {
  std::u32string text;
  int prefix = -1;  // index of the character underlined by '&', or -1
};

}  // namespace

BOOL TextOut(HDC dc, int x, int y, const char* text, int count) {
  if (!text) return FALSE;
  return TextOutImpl(dc, x, y, 0, nullptr, text, Length(text, count), nullptr);
}

BOOL ExtTextOut(HDC dc, int x, int y, UINT options, const RECT* r, const char* text, UINT count, const int* dx) {
  if (!text) {
    // Only the rectangle.
    auto d = FindDC(dc);
    if (!d || !d->Target()) return FALSE;
    if (r && (options & ETO_OPAQUE)) {
      const RECT sr{d->SX(r->left), d->SY(r->top), d->SX(r->right), d->SY(r->bottom)};
      FillRect(*d->Target(), d->Clip(), sr, SolidPaint(*d->Target(), d->st.bkColor, 0xF0));
    }
    return TRUE;
  }
  return TextOutImpl(dc, x, y, options, r, text, count, dx);
}

BOOL GetTextExtentPoint32(HDC h, const char* text, int count, SIZE* size) {
  auto dc = FindDC(h);
  if (!dc || !size || (!text && count != 0)) return FALSE;
  std::lock_guard g(TextLock());
  auto f = FontOfDC(*dc);
  const std::u32string str = text ? Decode(text, Length(text, count)) : std::u32string();
  size->cx = RunWidth(*f, str);
  size->cy = f->height;
  return TRUE;
}

BOOL GetTextMetrics(HDC h, TEXTMETRIC* tm) {
  auto dc = FindDC(h);
  if (!dc || !tm) return FALSE;
  std::lock_guard g(TextLock());
  auto font = FontOfDC(*dc);
  const FontFace& f = *font;
  *tm = TEXTMETRIC{};
  tm->tmHeight = f.height;
  tm->tmAscent = f.ascent;
  tm->tmDescent = f.descent;
  tm->tmInternalLeading = f.internalLeading;
  tm->tmExternalLeading = f.externalLeading;
  tm->tmAveCharWidth = f.aveCharWidth;
  tm->tmMaxCharWidth = f.maxCharWidth;
  tm->tmWeight = f.weight;
  tm->tmDigitizedAspectX = tm->tmDigitizedAspectY = 96;
  tm->tmFirstChar = 0x20;
  tm->tmLastChar = 0xFFFC;
  tm->tmDefaultChar = 0x1F;
  tm->tmBreakChar = 0x20;
  tm->tmItalic = f.italic;
  tm->tmUnderlined = f.underline;
  tm->tmStruckOut = f.strikeOut;
  // As the device reports it, the pitch bit is set for variable-pitch fonts.
  tm->tmPitchAndFamily = BYTE((f.fixedPitch ? 0 : TMPF_FIXED_PITCH) | TMPF_VECTOR | TMPF_TRUETYPE |
                              (f.pitchAndFamily & 0xF0));
  tm->tmCharSet = f.charSet;
  return TRUE;
}

int GetTextFace(HDC h, int count, char* face) {
  auto dc = FindDC(h);
  if (!dc || !dc->st.font) return 0;
  const std::string name = dc->st.font->lf.lfFaceName;
  if (!face) return int(name.size()) + 1;
  if (count <= 0) return 0;
  const size_t n = std::min(name.size(), size_t(count - 1));
  std::memcpy(face, name.data(), n);
  face[n] = 0;
  return int(n) + 1;
}

namespace {

// Splits a text into lines: hard breaks, then word wrapping to maxWidth (< 0: none).
// '&' prefixes are resolved first.
std::vector<Line> LayOut(FontFace& f, const std::u32string& in, UINT format, int maxWidth, int tab) {
  std::vector<Line> lines;
  const bool prefixes = !(format & DT_NOPREFIX);
  const bool single = format & DT_SINGLELINE;
  const bool wrap = (format & DT_WORDBREAK) && !single;
  Line cur;
  auto flush = [&] {
    lines.push_back(std::move(cur));
    cur = Line{};
  };
  for (size_t i = 0; i < in.size(); ++i) {
    char32_t c = in[i];
    if (prefixes && c == U'&') {
      if (i + 1 < in.size() && in[i + 1] == U'&') {
        cur.text.push_back(U'&');
        ++i;
      } else if (i + 1 < in.size()) {
        cur.prefix = int(cur.text.size());
      }
      continue;
    }
    if (c == U'\r' || c == U'\n') {
      if (single) continue;
      if (c == U'\r' && i + 1 < in.size() && in[i + 1] == U'\n') ++i;
      flush();
      continue;
    }
    cur.text.push_back(c);
  }
  flush();
  if (!wrap || maxWidth < 0) return lines;
  std::vector<Line> wrapped;
  const bool wideBreaks = !(format & DT_NOFULLWIDTHCHARBREAK);
  auto breakBefore = [&](const std::u32string& t, size_t i) {
    return t[i] == U' ' || (wideBreaks && (IsWide(t[i]) || IsWide(t[i - 1])));
  };
  for (const Line& l : lines) {
    const std::u32string& t = l.text;
    if (t.empty()) {
      wrapped.push_back(Line{});
      continue;
    }
    size_t start = 0;
    while (start < t.size()) {
      // The longest run from start that fits and ends where a break may go; spaces
      // never overflow a line.
      int width = 0;
      size_t i = start, lastBreak = std::u32string::npos;
      for (; i < t.size(); ++i) {
        if (i > start && breakBefore(t, i)) lastBreak = i;
        const int adv = Advance(f, t[i], width, tab);
        if (t[i] != U' ' && width + adv > maxWidth) break;
        width += adv;
      }
      size_t end;
      if (i >= t.size()) {
        end = t.size();
      } else if (lastBreak != std::u32string::npos) {
        end = lastBreak;
      } else {
        // A word wider than the line stays whole.
        end = i + 1;
        while (end < t.size() && !breakBefore(t, end)) ++end;
      }
      size_t stop = end;
      while (stop > start && t[stop - 1] == U' ') --stop;
      Line part;
      part.text = t.substr(start, stop - start);
      if (l.prefix >= int(start) && l.prefix < int(stop)) part.prefix = l.prefix - int(start);
      wrapped.push_back(std::move(part));
      start = end;
      while (start < t.size() && t[start] == U' ') ++start;
    }
  }
  return wrapped;
}

// Shortens a line to maxWidth with "..." at its end, in the middle of a path, or
// after a whole word.
void Ellipsize(FontFace& f, Line& l, UINT format, int maxWidth, int tab) {
  const std::u32string dots = U"...";
  if (RunWidth(f, l.text, 0, std::u32string::npos, tab) <= maxWidth) return;
  const int dotsWidth = RunWidth(f, dots);
  if (format & DT_PATH_ELLIPSIS) {
    const size_t slash = l.text.find_last_of(U"\\/");
    if (slash != std::u32string::npos) {
      const std::u32string tail = l.text.substr(slash);
      const int tailWidth = RunWidth(f, tail);
      // Keep as much of the start as fits before "..." and the last part.
      size_t keep = slash;
      while (keep > 0 && RunWidth(f, l.text, 0, keep, tab) + dotsWidth + tailWidth > maxWidth) --keep;
      if (RunWidth(f, l.text, 0, keep, tab) + dotsWidth + tailWidth <= maxWidth || keep == 0) {
        l.text = l.text.substr(0, keep) + dots + tail;
        l.prefix = -1;
        if (RunWidth(f, l.text, 0, std::u32string::npos, tab) <= maxWidth) return;
      }
    }
  }
  size_t keep = l.text.size();
  while (keep > 0 && RunWidth(f, l.text, 0, keep, tab) + dotsWidth > maxWidth) --keep;
  if (format & DT_WORD_ELLIPSIS) {
    const size_t space = l.text.rfind(U' ', keep);
    if (space != std::u32string::npos && space < keep) keep = space;
  }
  l.text = l.text.substr(0, keep) + dots;
  if (l.prefix >= int(keep)) l.prefix = -1;
}

int DrawTextImpl(HDC h, const char* text, int count, RECT* r, UINT format, int tabChars, int leftMargin,
                 int rightMargin) {
  auto dc = FindDC(h);
  if (!dc || !r || !text) return 0;
  std::lock_guard g(TextLock());
  auto font = FontOfDC(*dc);
  FontFace& f = *font;
  const std::u32string str = Decode(text, Length(text, count));
  RECT box{r->left + leftMargin, r->top, r->right - rightMargin, r->bottom};
  const int boxWidth = box.right - box.left;
  const int tab = (format & DT_EXPANDTABS) ? (tabChars > 0 ? tabChars : 8) * f.aveCharWidth : 0;
  std::vector<Line> lines = LayOut(f, str, format, boxWidth, tab);
  const bool ellipsis = format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS);
  if (ellipsis)
    for (Line& l : lines) Ellipsize(f, l, format, boxWidth, tab);
  const int lineHeight = f.height + ((format & DT_EXTERNALLEADING) ? f.externalLeading : 0);
  if (str.empty()) lines.clear();
  const int textHeight = int(lines.size()) * lineHeight;
  int maxWidth = 0;
  for (const Line& l : lines) maxWidth = std::max(maxWidth, RunWidth(f, l.text, 0, std::u32string::npos, tab));
  const bool single = format & DT_SINGLELINE;
  int y = box.top;
  if (single) {
    if (format & DT_VCENTER)
      y = box.top + (box.bottom - box.top - textHeight) / 2;
    else if (format & DT_BOTTOM)
      y = box.bottom - textHeight;
  }
  const int result = (single && (format & (DT_VCENTER | DT_BOTTOM))) ? y - r->top + textHeight : textHeight;
  if (format & DT_CALCRECT) {
    if (!lines.empty() || !(format & DT_WORDBREAK)) r->right = box.left + maxWidth + rightMargin;
    if ((format & DT_WORDBREAK) && !single && lines.empty()) r->right = r->left;
    r->bottom = r->top + textHeight;
    return textHeight;
  }
  Surface* s = dc->Target();
  if (!s) return result;
  TextTarget t{*dc, *s, dc->Clip()};
  if (!(format & DT_NOCLIP)) t.clip = t.clip.Intersected(RECT{dc->SX(r->left), dc->SY(r->top), dc->SX(r->right),
                                                               dc->SY(r->bottom)});
  const Paint ink = SolidPaint(*s, dc->st.textColor, 0xF0);
  const Paint bk = SolidPaint(*s, dc->st.bkColor, 0xF0);
  for (const Line& l : lines) {
    const int w = RunWidth(f, l.text, 0, std::u32string::npos, tab);
    int x = box.left;
    if (format & DT_CENTER)
      x = box.left + (boxWidth - w) / 2;
    else if (format & DT_RIGHT)
      x = box.right - w;
    const int sx = dc->SX(x), sy = dc->SY(y);
    if (!(format & DT_PREFIXONLY)) {
      if (dc->st.bkMode == OPAQUE) FillRect(*s, t.clip, RECT{sx, sy, sx + w, sy + f.height}, bk);
      DrawRun(t, f, l.text, sx, sy + f.ascent, ink, nullptr, tab);
    }
    if (l.prefix >= 0 && l.prefix < int(l.text.size()) && !(format & DT_HIDEPREFIX)) {
      const int px = sx + RunWidth(f, l.text, 0, size_t(l.prefix), tab);
      const int pw = GlyphOf(f, l.text[size_t(l.prefix)]).advance;
      const int uy = sy + f.ascent + 1;
      FillRect(*s, t.clip, RECT{px, uy, px + pw, uy + 1}, ink);
    }
    y += lineHeight;
  }
  return result;
}

}  // namespace

int DrawText(HDC dc, const char* text, int count, RECT* r, UINT format) {
  const int tabs = (format & DT_TABSTOP) ? int((format >> 8) & 0xFF) : 8;
  if (format & DT_TABSTOP) format &= ~UINT(0xFF00);
  return DrawTextImpl(dc, text, count, r, format, tabs, 0, 0);
}

int DrawTextEx(HDC dc, char* text, int count, RECT* r, UINT format, DRAWTEXTPARAMS* params) {
  const int tabs = params ? params->iTabLength : 8;
  const int h = DrawTextImpl(dc, text, count, r, format, tabs, params ? params->iLeftMargin : 0,
                             params ? params->iRightMargin : 0);
  if (params && text) params->uiLengthDrawn = UINT(Length(text, count));
  return h;
}
