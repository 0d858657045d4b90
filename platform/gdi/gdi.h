// The drawing services of the window system: device contexts, bitmaps (device-
// dependent and DIB sections), palettes, pens, brushes, fonts, regions, raster
// operations, shapes and text. Names, records, constants and rules are those of the
// Win32 drawing interface, so code written against it reads the same here:
// right and bottom edges are outside every rectangle, the last point of a line is
// not drawn, a Rectangle with the null pen fills one pixel less on the right and at
// the bottom, a monochrome source blitted to colour takes the destination's text
// colour for 0 bits and its background colour for 1 bits, and a colour source
// blitted to monochrome gives 1 where a pixel equals the source's background colour.
//
// Handles come from one process-wide table; a stale or freed handle is answered
// with a failure result, never a crash. A device context is used by one thread at
// a time (the canvas lock serialises users that share one).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win/wintypes.h"

using HGLOBAL = void*;
using LPVOID = void*;
using SHORT = int16_t;
using USHORT = uint16_t;
using CHAR = char;
using WCHAR = char16_t;

// ---- Records ----

struct RGBQUAD {
  BYTE rgbBlue = 0;
  BYTE rgbGreen = 0;
  BYTE rgbRed = 0;
  BYTE rgbReserved = 0;
};

struct RGBTRIPLE {
  BYTE rgbtBlue = 0;
  BYTE rgbtGreen = 0;
  BYTE rgbtRed = 0;
};

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
  WORD bfType = 0;
  DWORD bfSize = 0;
  WORD bfReserved1 = 0;
  WORD bfReserved2 = 0;
  DWORD bfOffBits = 0;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct BITMAPINFOHEADER {
  DWORD biSize = 0;
  LONG biWidth = 0;
  LONG biHeight = 0;
  WORD biPlanes = 0;
  WORD biBitCount = 0;
  DWORD biCompression = 0;
  DWORD biSizeImage = 0;
  LONG biXPelsPerMeter = 0;
  LONG biYPelsPerMeter = 0;
  DWORD biClrUsed = 0;
  DWORD biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct BITMAPCOREHEADER {
  DWORD bcSize = 0;
  WORD bcWidth = 0;
  WORD bcHeight = 0;
  WORD bcPlanes = 0;
  WORD bcBitCount = 0;
};

// A header followed by its colour table (or, with BI_BITFIELDS, three masks). The
// table is declared with one entry as in the original; callers allocate room for
// more and index past it through bmiColorsPtr().
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
  RGBQUAD* bmiColorsPtr() { return reinterpret_cast<RGBQUAD*>(reinterpret_cast<BYTE*>(this) + sizeof bmiHeader); }
  const RGBQUAD* bmiColorsPtr() const {
    return reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(this) + sizeof bmiHeader);
  }
};

// A BITMAPINFO with room for a full 256-entry table (or three masks).
struct BITMAPINFO256 {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[256];
  BITMAPINFO* get() { return reinterpret_cast<BITMAPINFO*>(this); }
  const BITMAPINFO* get() const { return reinterpret_cast<const BITMAPINFO*>(this); }
};

struct BITMAP {
  LONG bmType = 0;
  LONG bmWidth = 0;
  LONG bmHeight = 0;
  LONG bmWidthBytes = 0;
  WORD bmPlanes = 0;
  WORD bmBitsPixel = 0;
  LPVOID bmBits = nullptr;
};

struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3] = {0, 0, 0};
  HANDLE dshSection = nullptr;
  DWORD dsOffset = 0;
};

struct PALETTEENTRY {
  BYTE peRed = 0;
  BYTE peGreen = 0;
  BYTE peBlue = 0;
  BYTE peFlags = 0;
};

// A palette record: version 0x300, a count, then the entries. As with BITMAPINFO,
// room for more entries is the caller's; LOGPALETTE256 holds a full table.
struct LOGPALETTE {
  WORD palVersion = 0x300;
  WORD palNumEntries = 0;
  PALETTEENTRY palPalEntry[1];
  PALETTEENTRY* entries() { return palPalEntry; }
  const PALETTEENTRY* entries() const { return palPalEntry; }
};

struct LOGPALETTE256 {
  WORD palVersion = 0x300;
  WORD palNumEntries = 0;
  PALETTEENTRY palPalEntry[256];
  LOGPALETTE* get() { return reinterpret_cast<LOGPALETTE*>(this); }
  const LOGPALETTE* get() const { return reinterpret_cast<const LOGPALETTE*>(this); }
};

struct LOGPEN {
  UINT lopnStyle = 0;
  POINT lopnWidth;
  COLORREF lopnColor = 0;
};

struct LOGBRUSH {
  UINT lbStyle = 0;
  COLORREF lbColor = 0;
  uintptr_t lbHatch = 0;  // hatch style, or the pattern bitmap handle
};

constexpr int LF_FACESIZE = 32;

// Face names are UTF-8 here.
struct LOGFONT {
  LONG lfHeight = 0;  // < 0: character (em) height in pixels; > 0: cell height; 0: default
  LONG lfWidth = 0;
  LONG lfEscapement = 0;
  LONG lfOrientation = 0;
  LONG lfWeight = 0;
  BYTE lfItalic = 0;
  BYTE lfUnderline = 0;
  BYTE lfStrikeOut = 0;
  BYTE lfCharSet = 0;
  BYTE lfOutPrecision = 0;
  BYTE lfClipPrecision = 0;
  BYTE lfQuality = 0;
  BYTE lfPitchAndFamily = 0;
  char lfFaceName[LF_FACESIZE] = {};
};
using LOGFONTA = LOGFONT;

struct TEXTMETRIC {
  LONG tmHeight = 0;
  LONG tmAscent = 0;
  LONG tmDescent = 0;
  LONG tmInternalLeading = 0;
  LONG tmExternalLeading = 0;
  LONG tmAveCharWidth = 0;
  LONG tmMaxCharWidth = 0;
  LONG tmWeight = 0;
  LONG tmOverhang = 0;
  LONG tmDigitizedAspectX = 0;
  LONG tmDigitizedAspectY = 0;
  char32_t tmFirstChar = 0;
  char32_t tmLastChar = 0;
  char32_t tmDefaultChar = 0;
  char32_t tmBreakChar = 0;
  BYTE tmItalic = 0;
  BYTE tmUnderlined = 0;
  BYTE tmStruckOut = 0;
  BYTE tmPitchAndFamily = 0;
  BYTE tmCharSet = 0;
};
using TEXTMETRICA = TEXTMETRIC;

struct DRAWTEXTPARAMS {
  UINT cbSize = sizeof(DRAWTEXTPARAMS);
  int iTabLength = 8;
  int iLeftMargin = 0;
  int iRightMargin = 0;
  UINT uiLengthDrawn = 0;
};

struct ICONINFO {
  BOOL fIcon = TRUE;
  DWORD xHotspot = 0;
  DWORD yHotspot = 0;
  HBITMAP hbmMask = nullptr;
  HBITMAP hbmColor = nullptr;
};

// ---- Constants ----

// Bitmap compression and colour-table use.
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;
constexpr DWORD CBM_INIT = 4;

// Palette entry flags.
constexpr BYTE PC_RESERVED = 1;
constexpr BYTE PC_EXPLICIT = 2;
constexpr BYTE PC_NOCOLLAPSE = 4;

// Object types (GetObjectType, GetCurrentObject).
constexpr DWORD OBJ_PEN = 1;
constexpr DWORD OBJ_BRUSH = 2;
constexpr DWORD OBJ_DC = 3;
constexpr DWORD OBJ_PAL = 5;
constexpr DWORD OBJ_FONT = 6;
constexpr DWORD OBJ_BITMAP = 7;
constexpr DWORD OBJ_REGION = 8;
constexpr DWORD OBJ_MEMDC = 10;
constexpr DWORD OBJ_EXTPEN = 11;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int OEM_FIXED_FONT = 10;
constexpr int ANSI_FIXED_FONT = 11;
constexpr int ANSI_VAR_FONT = 12;
constexpr int SYSTEM_FONT = 13;
constexpr int DEVICE_DEFAULT_FONT = 14;
constexpr int DEFAULT_PALETTE = 15;
constexpr int SYSTEM_FIXED_FONT = 16;
constexpr int DEFAULT_GUI_FONT = 17;
constexpr int DC_BRUSH = 18;
constexpr int DC_PEN = 19;

// Pen styles.
constexpr UINT PS_SOLID = 0;
constexpr UINT PS_DASH = 1;
constexpr UINT PS_DOT = 2;
constexpr UINT PS_DASHDOT = 3;
constexpr UINT PS_DASHDOTDOT = 4;
constexpr UINT PS_NULL = 5;
constexpr UINT PS_INSIDEFRAME = 6;
constexpr UINT PS_STYLE_MASK = 0x0000000F;

// Brush styles and hatches.
constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
constexpr UINT BS_HOLLOW = BS_NULL;
constexpr UINT BS_HATCHED = 2;
constexpr UINT BS_PATTERN = 3;
constexpr int HS_HORIZONTAL = 0;
constexpr int HS_VERTICAL = 1;
constexpr int HS_FDIAGONAL = 2;
constexpr int HS_BDIAGONAL = 3;
constexpr int HS_CROSS = 4;
constexpr int HS_DIAGCROSS = 5;

// Background modes, polygon fill modes, stretch modes, mapping mode.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
constexpr int ALTERNATE = 1;
constexpr int WINDING = 2;
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
constexpr int STRETCH_ANDSCANS = BLACKONWHITE;
constexpr int STRETCH_ORSCANS = WHITEONBLACK;
constexpr int STRETCH_DELETESCANS = COLORONCOLOR;
constexpr int STRETCH_HALFTONE = HALFTONE;
constexpr int MM_TEXT = 1;

// Binary raster operations of pens and brush fills (SetROP2).
constexpr int R2_BLACK = 1;
constexpr int R2_NOTMERGEPEN = 2;
constexpr int R2_MASKNOTPEN = 3;
constexpr int R2_NOTCOPYPEN = 4;
constexpr int R2_MASKPENNOT = 5;
constexpr int R2_NOT = 6;
constexpr int R2_XORPEN = 7;
constexpr int R2_NOTMASKPEN = 8;
constexpr int R2_MASKPEN = 9;
constexpr int R2_NOTXORPEN = 10;
constexpr int R2_NOP = 11;
constexpr int R2_MERGENOTPEN = 12;
constexpr int R2_COPYPEN = 13;
constexpr int R2_MERGEPENNOT = 14;
constexpr int R2_MERGEPEN = 15;
constexpr int R2_WHITE = 16;

// Ternary raster operations: bits 16..23 hold the operation's truth table over
// pattern (0xF0), source (0xCC) and destination (0xAA).
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGECOPY = 0x00C000CA;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATPAINT = 0x00FB0A09;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
constexpr DWORD NOMIRRORBITMAP = 0x80000000;
// Foreground operation where the mask is 1, background where it is 0 (MaskBlt).
constexpr DWORD MAKEROP4(DWORD fore, DWORD back) { return ((back << 8) & 0xFF000000) | fore; }

// Region results and combination modes.
constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;
constexpr int RGN_ERROR = ERROR;
constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;

// Text alignment (SetTextAlign) and ExtTextOut options.
constexpr UINT TA_NOUPDATECP = 0;
constexpr UINT TA_UPDATECP = 1;
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;
constexpr UINT TA_RTLREADING = 256;
constexpr UINT GDI_ERROR = 0xFFFFFFFF;
constexpr UINT CLR_INVALID = 0xFFFFFFFF;
constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;

// Font weights, character sets, quality, pitch and family.
constexpr LONG FW_DONTCARE = 0;
constexpr LONG FW_THIN = 100;
constexpr LONG FW_LIGHT = 300;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_MEDIUM = 500;
constexpr LONG FW_SEMIBOLD = 600;
constexpr LONG FW_BOLD = 700;
constexpr LONG FW_HEAVY = 900;
constexpr BYTE ANSI_CHARSET = 0;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE SYMBOL_CHARSET = 2;
constexpr BYTE HANGEUL_CHARSET = 129;
constexpr BYTE HANGUL_CHARSET = 129;
constexpr BYTE OEM_CHARSET = 255;
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE NONANTIALIASED_QUALITY = 3;
constexpr BYTE DEFAULT_PITCH = 0;
constexpr BYTE FIXED_PITCH = 1;
constexpr BYTE VARIABLE_PITCH = 2;
constexpr BYTE FF_DONTCARE = 0x00;
constexpr BYTE FF_ROMAN = 0x10;
constexpr BYTE FF_SWISS = 0x20;
constexpr BYTE FF_MODERN = 0x30;
constexpr BYTE TMPF_FIXED_PITCH = 0x01;
constexpr BYTE TMPF_VECTOR = 0x02;
constexpr BYTE TMPF_TRUETYPE = 0x04;

// Device capabilities.
constexpr int TECHNOLOGY = 2;
constexpr int HORZSIZE = 4;
constexpr int VERTSIZE = 6;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMBRUSHES = 16;
constexpr int NUMPENS = 18;
constexpr int NUMFONTS = 22;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int SIZEPALETTE = 104;
constexpr int NUMRESERVED = 106;
constexpr int COLORRES = 108;
constexpr int DT_RASDISPLAY = 1;
constexpr int RC_BITBLT = 1;
constexpr int RC_PALETTE = 0x0100;
constexpr int RC_DI_BITMAP = 0x0080;
constexpr int RC_STRETCHBLT = 0x0800;
constexpr int RC_STRETCHDIB = 0x2000;

// DrawText formats.
constexpr UINT DT_TOP = 0x00000000;
constexpr UINT DT_LEFT = 0x00000000;
constexpr UINT DT_CENTER = 0x00000001;
constexpr UINT DT_RIGHT = 0x00000002;
constexpr UINT DT_VCENTER = 0x00000004;
constexpr UINT DT_BOTTOM = 0x00000008;
constexpr UINT DT_WORDBREAK = 0x00000010;
constexpr UINT DT_SINGLELINE = 0x00000020;
constexpr UINT DT_EXPANDTABS = 0x00000040;
constexpr UINT DT_TABSTOP = 0x00000080;
constexpr UINT DT_NOCLIP = 0x00000100;
constexpr UINT DT_EXTERNALLEADING = 0x00000200;
constexpr UINT DT_CALCRECT = 0x00000400;
constexpr UINT DT_NOPREFIX = 0x00000800;
constexpr UINT DT_INTERNAL = 0x00001000;
constexpr UINT DT_EDITCONTROL = 0x00002000;
constexpr UINT DT_PATH_ELLIPSIS = 0x00004000;
constexpr UINT DT_END_ELLIPSIS = 0x00008000;
constexpr UINT DT_MODIFYSTRING = 0x00010000;
constexpr UINT DT_RTLREADING = 0x00020000;
constexpr UINT DT_WORD_ELLIPSIS = 0x00040000;
constexpr UINT DT_NOFULLWIDTHCHARBREAK = 0x00080000;
constexpr UINT DT_HIDEPREFIX = 0x00100000;
constexpr UINT DT_PREFIXONLY = 0x00200000;

// DrawEdge edges and flags.
constexpr UINT BDR_RAISEDOUTER = 0x0001;
constexpr UINT BDR_SUNKENOUTER = 0x0002;
constexpr UINT BDR_RAISEDINNER = 0x0004;
constexpr UINT BDR_SUNKENINNER = 0x0008;
constexpr UINT BDR_OUTER = 0x0003;
constexpr UINT BDR_INNER = 0x000C;
constexpr UINT BDR_RAISED = 0x0005;
constexpr UINT BDR_SUNKEN = 0x000A;
constexpr UINT EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr UINT EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
constexpr UINT BF_LEFT = 0x0001;
constexpr UINT BF_TOP = 0x0002;
constexpr UINT BF_RIGHT = 0x0004;
constexpr UINT BF_BOTTOM = 0x0008;
constexpr UINT BF_TOPLEFT = BF_TOP | BF_LEFT;
constexpr UINT BF_TOPRIGHT = BF_TOP | BF_RIGHT;
constexpr UINT BF_BOTTOMLEFT = BF_BOTTOM | BF_LEFT;
constexpr UINT BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT;
constexpr UINT BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
constexpr UINT BF_MIDDLE = 0x0800;
constexpr UINT BF_SOFT = 0x1000;
constexpr UINT BF_ADJUST = 0x2000;
constexpr UINT BF_FLAT = 0x4000;
constexpr UINT BF_MONO = 0x8000;

// DrawFrameControl.
constexpr UINT DFC_BUTTON = 4;
constexpr UINT DFCS_BUTTONCHECK = 0x0000;
constexpr UINT DFCS_BUTTONRADIOIMAGE = 0x0001;
constexpr UINT DFCS_BUTTONRADIOMASK = 0x0002;
constexpr UINT DFCS_BUTTONRADIO = 0x0004;
constexpr UINT DFCS_BUTTON3STATE = 0x0008;
constexpr UINT DFCS_BUTTONPUSH = 0x0010;
constexpr UINT DFCS_INACTIVE = 0x0100;
constexpr UINT DFCS_PUSHED = 0x0200;
constexpr UINT DFCS_CHECKED = 0x0400;
constexpr UINT DFCS_TRANSPARENT = 0x0800;
constexpr UINT DFCS_HOT = 0x1000;
constexpr UINT DFCS_ADJUSTRECT = 0x2000;
constexpr UINT DFCS_FLAT = 0x4000;
constexpr UINT DFCS_MONO = 0x8000;

// System colour indices (GetSysColor).
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;
constexpr int COLOR_HOTLIGHT = 26;
constexpr int COLOR_GRADIENTACTIVECAPTION = 27;
constexpr int COLOR_GRADIENTINACTIVECAPTION = 28;
constexpr int COLOR_MENUHILIGHT = 29;
constexpr int COLOR_MENUBAR = 30;
constexpr int COLOR_DESKTOP = COLOR_BACKGROUND;
constexpr int COLOR_3DFACE = COLOR_BTNFACE;
constexpr int COLOR_3DSHADOW = COLOR_BTNSHADOW;
constexpr int COLOR_3DHIGHLIGHT = COLOR_BTNHIGHLIGHT;
constexpr int COLOR_3DHILIGHT = COLOR_BTNHIGHLIGHT;
constexpr int COLOR_BTNHILIGHT = COLOR_BTNHIGHLIGHT;
constexpr int COLOR_ENDCOLORS = COLOR_MENUBAR;

// ---- Objects ----

// Any drawing object's handle: every typed handle converts to it, as every handle
// passes for HGDIOBJ in the original interface.
struct GdiObjectArg {
  HGDIOBJ h = nullptr;
  GdiObjectArg(std::nullptr_t) {}
  GdiObjectArg(HGDIOBJ v) : h(v) {}
  GdiObjectArg(HBITMAP v) : h(reinterpret_cast<HGDIOBJ>(v)) {}
  GdiObjectArg(HPEN v) : h(reinterpret_cast<HGDIOBJ>(v)) {}
  GdiObjectArg(HBRUSH v) : h(reinterpret_cast<HGDIOBJ>(v)) {}
  GdiObjectArg(HFONT v) : h(reinterpret_cast<HGDIOBJ>(v)) {}
  GdiObjectArg(HPALETTE v) : h(reinterpret_cast<HGDIOBJ>(v)) {}
  GdiObjectArg(HRGN v) : h(reinterpret_cast<HGDIOBJ>(v)) {}
  GdiObjectArg(HDC v) : h(reinterpret_cast<HGDIOBJ>(v)) {}  // GetObjectType answers DCs too
};

HGDIOBJ GetStockObject(int index);
// Frees a pen, brush, font, bitmap, palette or region. Stock objects are never freed
// (TRUE, nothing happens); a bitmap still selected into a device context is refused.
BOOL DeleteObject(GdiObjectArg h);
// With buffer null: the size needed. Bitmaps: BITMAP, or DIBSECTION for a DIB section
// when the buffer is that large; palettes: the WORD entry count; pens LOGPEN; brushes
// LOGBRUSH; fonts LOGFONT.
int GetObject(GdiObjectArg h, int size, void* buffer);
DWORD GetObjectType(GdiObjectArg h);  // 0 for an unknown or freed handle

HPEN CreatePen(int style, int width, COLORREF color);
HPEN CreatePenIndirect(const LOGPEN* lp);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateHatchBrush(int hatch, COLORREF color);
HBRUSH CreatePatternBrush(HBITMAP pattern);  // the pattern is copied
HBRUSH CreateBrushIndirect(const LOGBRUSH* lb);
HFONT CreateFontIndirect(const LOGFONT* lf);
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                 DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                 DWORD quality, DWORD pitchAndFamily, const char* face);

// ---- Bitmaps ----

// Device-dependent bitmap from rows aligned to 16 bits (bits may be null). One bit
// per pixel gives a monochrome bitmap (1 = white).
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
HBITMAP CreateBitmapIndirect(const BITMAP* bm);
// A bitmap of the format of the bitmap selected into dc (monochrome for a fresh
// memory DC, as its stock bitmap is one pixel of monochrome).
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// Null when the header is invalid or the pixels cannot be allocated.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* bmi, UINT usage);
int GetDIBits(HDC dc, HBITMAP bm, UINT start, UINT lines, void* bits, BITMAPINFO* bmi, UINT usage);
int SetDIBits(HDC dc, HBITMAP bm, UINT start, UINT lines, const void* bits, const BITMAPINFO* bmi, UINT usage);
int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* bmi, UINT usage, DWORD rop);
UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors);
UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colors);
LONG GetBitmapBits(HBITMAP bm, LONG count, void* bits);
BOOL GdiFlush();

// ---- Palettes ----

HPALETTE CreatePalette(const LOGPALETTE* lp);
// The halftone palette of this system, 256 entries whatever the device: the first
// ten static colours (0..9), the 6 x 6 x 6 cube of channel steps 0, 51, ..., 255 with
// red slowest (10..225), the greys i * 255 / 21 for i = 1..20 (226..245), and the last
// ten static colours (246..255). The static colours are those of DEFAULT_PALETTE.
HPALETTE CreateHalftonePalette(HDC dc);
UINT GetPaletteEntries(HPALETTE pal, UINT start, UINT count, PALETTEENTRY* entries);
UINT SetPaletteEntries(HPALETTE pal, UINT start, UINT count, const PALETTEENTRY* entries);
BOOL ResizePalette(HPALETTE pal, UINT entries);
// The entry nearest to the colour by squared RGB distance; the lowest index on a tie.
// Answers are remembered per palette until its entries change.
UINT GetNearestPaletteIndex(HPALETTE pal, COLORREF color);
COLORREF GetNearestColor(HDC dc, COLORREF color);
HPALETTE SelectPalette(HDC dc, HPALETTE pal, BOOL forceBackground);
UINT RealizePalette(HDC dc);
UINT GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* entries);

// ---- Regions ----

HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* r);
int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode);
int OffsetRgn(HRGN rgn, int dx, int dy);
int GetRgnBox(HRGN rgn, RECT* r);
BOOL SetRectRgn(HRGN rgn, int left, int top, int right, int bottom);
BOOL PtInRegion(HRGN rgn, int x, int y);
BOOL RectInRegion(HRGN rgn, const RECT* r);
BOOL EqualRgn(HRGN a, HRGN b);
BOOL FillRgn(HDC dc, HRGN rgn, HBRUSH brush);
BOOL InvertRgn(HDC dc, HRGN rgn);

// ---- Device contexts ----

// A memory device context; dc names the device it is compatible with (null: screen).
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, GdiObjectArg obj);
HGDIOBJ GetCurrentObject(HDC dc, UINT type);
int SaveDC(HDC dc);
BOOL RestoreDC(HDC dc, int saved);  // < 0: relative to the last save
int GetDeviceCaps(HDC dc, int index);
// The screen (hwnd null) or a window's client area, through the window service.
HDC GetDC(HWND hwnd);
HDC GetWindowDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
HWND WindowFromDC(HDC dc);

COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
int SetROP2(HDC dc, int rop2);
int GetROP2(HDC dc);
int SetPolyFillMode(HDC dc, int mode);
int GetPolyFillMode(HDC dc);
int SetStretchBltMode(HDC dc, int mode);
int GetStretchBltMode(HDC dc);
UINT SetTextAlign(HDC dc, UINT align);
UINT GetTextAlign(HDC dc);
int SetMapMode(HDC dc, int mode);
int GetMapMode(HDC dc);
COLORREF SetDCBrushColor(HDC dc, COLORREF color);
COLORREF GetDCBrushColor(HDC dc);
COLORREF SetDCPenColor(HDC dc, COLORREF color);
COLORREF GetDCPenColor(HDC dc);

BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* old);
BOOL GetViewportOrgEx(HDC dc, POINT* p);
BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, POINT* old);
BOOL SetWindowOrgEx(HDC dc, int x, int y, POINT* old);
BOOL GetWindowOrgEx(HDC dc, POINT* p);
BOOL OffsetWindowOrgEx(HDC dc, int dx, int dy, POINT* old);
BOOL SetBrushOrgEx(HDC dc, int x, int y, POINT* old);
BOOL GetBrushOrgEx(HDC dc, POINT* p);
BOOL LPtoDP(HDC dc, POINT* pts, int count);
BOOL DPtoLP(HDC dc, POINT* pts, int count);

// Clipping. Rectangles are in logical units; a selected region in device units.
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
int OffsetClipRgn(HDC dc, int dx, int dy);
int SelectClipRgn(HDC dc, HRGN rgn);  // null removes the clip region
int ExtSelectClipRgn(HDC dc, HRGN rgn, int mode);
int GetClipBox(HDC dc, RECT* r);
int GetClipRgn(HDC dc, HRGN rgn);  // 1 with a clip region (copied), 0 without, -1 on error
BOOL PtVisible(HDC dc, int x, int y);
BOOL RectVisible(HDC dc, const RECT* r);

// ---- Pixels, lines and shapes ----

COLORREF GetPixel(HDC dc, int x, int y);  // CLR_INVALID outside the clip area or bitmap
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
BOOL SetPixelV(HDC dc, int x, int y, COLORREF color);
BOOL MoveToEx(HDC dc, int x, int y, POINT* old);
BOOL GetCurrentPositionEx(HDC dc, POINT* p);
BOOL LineTo(HDC dc, int x, int y);
BOOL Polyline(HDC dc, const POINT* pts, int count);
BOOL PolylineTo(HDC dc, const POINT* pts, DWORD count);
BOOL Polygon(HDC dc, const POINT* pts, int count);
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int width, int height);
BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
// brush may also be a system colour index plus one, as (HBRUSH)(COLOR_WINDOW + 1).
int FillRect(HDC dc, const RECT* r, HBRUSH brush);
int FrameRect(HDC dc, const RECT* r, HBRUSH brush);
BOOL InvertRect(HDC dc, const RECT* r);
BOOL DrawFocusRect(HDC dc, const RECT* r);
BOOL DrawEdge(HDC dc, RECT* r, UINT edge, UINT flags);
BOOL DrawFrameControl(HDC dc, RECT* r, UINT type, UINT state);

// ---- Blits ----

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop);
BOOL StretchBlt(HDC dest, int xDest, int yDest, int destWidth, int destHeight, HDC src, int xSrc, int ySrc,
                int srcWidth, int srcHeight, DWORD rop);
BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
BOOL MaskBlt(HDC dest, int xDest, int yDest, int width, int height, HDC src, int xSrc, int ySrc, HBITMAP mask,
             int xMask, int yMask, DWORD rop4);
// Copies the source except pixels of the transparent colour, stretched.
BOOL TransparentBlt(HDC dest, int xDest, int yDest, int destWidth, int destHeight, HDC src, int xSrc, int ySrc,
                    int srcWidth, int srcHeight, UINT transparent);

// ---- Text ----

// Strings are UTF-8; count is in bytes (-1: up to the terminating NUL).
BOOL TextOut(HDC dc, int x, int y, const char* text, int count);
BOOL ExtTextOut(HDC dc, int x, int y, UINT options, const RECT* r, const char* text, UINT count, const int* dx = nullptr);
BOOL GetTextExtentPoint32(HDC dc, const char* text, int count, SIZE* size);
BOOL GetTextMetrics(HDC dc, TEXTMETRIC* tm);
int GetTextFace(HDC dc, int count, char* face);
// Returns the height of the text (see DT_* above); with DT_CALCRECT r is resized.
int DrawText(HDC dc, const char* text, int count, RECT* r, UINT format);
int DrawTextEx(HDC dc, char* text, int count, RECT* r, UINT format, DRAWTEXTPARAMS* params);

// ---- Icons ----

// An icon holds a copy of a colour bitmap (null for a monochrome icon, whose mask
// then has the AND half on top of the XOR half) and of a monochrome mask.
HICON CreateIconIndirect(const ICONINFO* info);
BOOL GetIconInfo(HICON icon, ICONINFO* info);  // the caller frees the two bitmaps
BOOL DestroyIcon(HICON icon);
BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT step, HBRUSH flicker, UINT flags);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
constexpr UINT DI_MASK = 1;
constexpr UINT DI_IMAGE = 2;
constexpr UINT DI_NORMAL = 3;

// ---- System colours ----

DWORD GetSysColor(int index);
HBRUSH GetSysColorBrush(int index);
