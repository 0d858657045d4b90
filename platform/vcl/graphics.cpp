// Colours, fonts, pens, brushes, the canvas and the drawing helpers of the graphics
// unit.
#include "platform/vcl/graphics.h"

#include <cstdlib>
#include <cstring>

namespace {

// a * b / c rounded half away from zero; -1 when c is 0 or the result does not fit.
int MulDivRound(int a, int b, int c) {
  if (c == 0) return -1;
  const int64_t p = int64_t(a) * b;
  int64_t q = p / c;
  const int64_t r = p % c;
  if (2 * std::llabs(r) >= std::llabs(int64_t(c))) q += ((p < 0) != (c < 0)) ? -1 : 1;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return int(q);
}

}  // namespace

int32_t ColorToRGB(TColor Color) {
  if (Color < 0) return int32_t(GetSysColor(Color & 0xFF));
  return Color;
}

// ---- TGraphicsObject ----

void TGraphicsObject::Changed() { OnChange(this); }

// ---- TFont ----

TFont::TFont() = default;

TFont::~TFont() { FreeHandle(); }

void TFont::FreeHandle() {
  if (handle_) DeleteObject(handle_);
  handle_ = nullptr;
}

void TFont::Assign(TPersistent* Source) {
  if (auto* f = As<TFont>(Source)) {
    if (f == this) return;
    FreeHandle();
    name_ = f->name_;
    height_ = f->height_;
    style_ = f->style_;
    color_ = f->color_;
    charset_ = f->charset_;
    pitch_ = f->pitch_;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

HFONT TFont::Handle() {
  if (!handle_) {
    LOGFONT lf;
    lf.lfHeight = height_;
    lf.lfWeight = style_.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = style_.Contains(fsItalic);
    lf.lfUnderline = style_.Contains(fsUnderline);
    lf.lfStrikeOut = style_.Contains(fsStrikeOut);
    lf.lfCharSet = charset_;
    lf.lfPitchAndFamily = pitch_ == fpFixed ? FIXED_PITCH : pitch_ == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
    std::strncpy(lf.lfFaceName, name_.c_str(), LF_FACESIZE - 1);
    handle_ = GDICheck(CreateFontIndirect(&lf));
  }
  return handle_;
}

void TFont::SetHandle(HFONT Value) {
  if (Value == handle_) return;
  LOGFONT lf;
  if (!Value || GetObject(Value, sizeof lf, &lf) != int(sizeof lf)) return;
  FreeHandle();
  handle_ = Value;
  name_ = lf.lfFaceName;
  height_ = lf.lfHeight;
  style_ = TFontStyles();
  if (lf.lfWeight >= FW_BOLD) style_.Include(fsBold);
  if (lf.lfItalic) style_.Include(fsItalic);
  if (lf.lfUnderline) style_.Include(fsUnderline);
  if (lf.lfStrikeOut) style_.Include(fsStrikeOut);
  charset_ = lf.lfCharSet;
  Changed();
}

void TFont::SetName(const TFontName& Value) { SetAndNotify(name_, Value, [this] { FreeHandle(); Changed(); }); }
void TFont::SetHeight(int Value) { SetAndNotify(height_, Value, [this] { FreeHandle(); Changed(); }); }
void TFont::SetStyle(TFontStyles Value) { SetAndNotify(style_, Value, [this] { FreeHandle(); Changed(); }); }
void TFont::SetCharset(TFontCharset Value) { SetAndNotify(charset_, Value, [this] { FreeHandle(); Changed(); }); }
void TFont::SetPitch(TFontPitch Value) { SetAndNotify(pitch_, Value, [this] { FreeHandle(); Changed(); }); }

void TFont::SetColor(TColor Value) { SetAndNotify(color_, Value, [this] { Changed(); }); }

int TFont::Size() const { return -MulDivRound(height_, 72, pixelsPerInch_); }

void TFont::SetSize(int Value) { SetHeight(-MulDivRound(Value, pixelsPerInch_, 72)); }

// ---- TPen ----

TPen::~TPen() { FreeHandle(); }

void TPen::FreeHandle() {
  if (handle_) DeleteObject(handle_);
  handle_ = nullptr;
}

void TPen::Assign(TPersistent* Source) {
  if (auto* p = As<TPen>(Source)) {
    if (p == this) return;
    FreeHandle();
    color_ = p->color_;
    width_ = p->width_;
    style_ = p->style_;
    mode_ = p->mode_;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

HPEN TPen::Handle() {
  if (!handle_) {
    static const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
    handle_ = GDICheck(CreatePen(styles[style_], width_, COLORREF(ColorToRGB(color_))));
  }
  return handle_;
}

void TPen::SetColor(TColor Value) { SetAndNotify(color_, Value, [this] { FreeHandle(); Changed(); }); }

void TPen::SetWidth(int Value) {
  if (Value >= 0) SetAndNotify(width_, Value, [this] { FreeHandle(); Changed(); });
}

void TPen::SetStyle(TPenStyle Value) { SetAndNotify(style_, Value, [this] { FreeHandle(); Changed(); }); }

void TPen::SetMode(TPenMode Value) { SetAndNotify(mode_, Value, [this] { Changed(); }); }

// ---- TBrush ----

TBrush::~TBrush() { FreeHandle(); }

void TBrush::FreeHandle() {
  if (handle_) DeleteObject(handle_);
  handle_ = nullptr;
}

void TBrush::Assign(TPersistent* Source) {
  if (auto* b = As<TBrush>(Source)) {
    if (b == this) return;
    FreeHandle();
    color_ = b->color_;
    style_ = b->style_;
    bitmap_ = b->bitmap_;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

HBRUSH TBrush::Handle() {
  if (!handle_) {
    if (bitmap_ && !bitmap_->Empty()) {
      handle_ = CreatePatternBrush(bitmap_->Handle());
    } else if (style_ == bsSolid) {
      handle_ = CreateSolidBrush(COLORREF(ColorToRGB(color_)));
    } else if (style_ == bsClear) {
      LOGBRUSH lb;
      lb.lbStyle = BS_NULL;
      handle_ = CreateBrushIndirect(&lb);
    } else {
      handle_ = CreateHatchBrush(int(style_) - int(bsHorizontal), COLORREF(ColorToRGB(color_)));
    }
    GDICheck(handle_);
  }
  return handle_;
}

void TBrush::SetColor(TColor Value) {
  SetAndNotify(color_, Value, [this] {
    FreeHandle();
    if (style_ == bsClear) style_ = bsSolid;
    Changed();
  });
}

void TBrush::SetStyle(TBrushStyle Value) {
  SetAndNotify(style_, Value, [this] {
    FreeHandle();
    if (style_ == bsClear) bitmap_ = nullptr;
    Changed();
  });
}

void TBrush::SetBitmap(TBitmap* Value) { SetAndNotify(bitmap_, Value, [this] { FreeHandle(); Changed(); }); }

// ---- TCanvas ----

TCanvas::TCanvas()
    : font_(std::make_unique<TFont>()), pen_(std::make_unique<TPen>()), brush_(std::make_unique<TBrush>()) {
  font_->OnChange = TNotifyEvent(this, &TCanvas::FontChanged);
  pen_->OnChange = TNotifyEvent(this, &TCanvas::PenChanged);
  brush_->OnChange = TNotifyEvent(this, &TCanvas::BrushChanged);
}

TCanvas::~TCanvas() { SetHandle(nullptr); }

HDC TCanvas::Handle() {
  // Code that draws on the handle itself (DrawText, DrawEdge, ...) gets the canvas's
  // font, pen and brush selected, with the font's colour as text colour.
  RequiredState({csHandleValid, csFontValid, csPenValid, csBrushValid});
  return handle_;
}

void TCanvas::SetHandle(HDC Value) {
  if (handle_ == Value) return;
  if (handle_) DeselectHandles();
  handle_ = Value;
  state_ = Value ? TCanvasState{csHandleValid} : TCanvasState{};
}

void TCanvas::DeselectHandles() {
  if (!handle_) return;
  if (state_.Contains(csPenValid) && oldPen_) SelectObject(handle_, oldPen_);
  if (state_.Contains(csBrushValid) && oldBrush_) SelectObject(handle_, oldBrush_);
  if (state_.Contains(csFontValid) && oldFont_) SelectObject(handle_, oldFont_);
  oldPen_ = oldBrush_ = oldFont_ = nullptr;
  state_ = state_ - TCanvasState{csPenValid, csBrushValid, csFontValid};
}

void TCanvas::RequiredState(TCanvasState ReqState) {
  const TCanvasState need = ReqState - state_;
  if (need.Empty()) return;
  if (need.Contains(csHandleValid)) {
    CreateHandle();
    if (!handle_) throw EInvalidOperation(GraphicsText::NoCanvasHandle);
    state_.Include(csHandleValid);
  }
  if (need.Contains(csFontValid)) {
    HGDIOBJ old = SelectObject(handle_, font_->Handle());
    if (!oldFont_) oldFont_ = old;
    SetTextColor(handle_, COLORREF(ColorToRGB(font_->Color())));
    state_.Include(csFontValid);
  }
  if (need.Contains(csPenValid)) {
    HGDIOBJ old = SelectObject(handle_, pen_->Handle());
    if (!oldPen_) oldPen_ = old;
    static const int modes[] = {R2_BLACK,       R2_WHITE,      R2_NOP,        R2_NOT,      R2_COPYPEN,    R2_NOTCOPYPEN,
                                R2_MERGEPENNOT, R2_MASKPENNOT, R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN, R2_NOTMERGEPEN,
                                R2_MASKPEN,     R2_NOTMASKPEN, R2_XORPEN,     R2_NOTXORPEN};
    SetROP2(handle_, modes[pen_->Mode()]);
    state_.Include(csPenValid);
  }
  if (need.Contains(csBrushValid)) {
    HGDIOBJ old = SelectObject(handle_, brush_->Handle());
    if (!oldBrush_) oldBrush_ = old;
    SetBkColor(handle_, COLORREF(ColorToRGB(brush_->Color())));
    SetBkMode(handle_, brush_->Style() == bsSolid ? OPAQUE : TRANSPARENT);
    state_.Include(csBrushValid);
  }
}

void TCanvas::FontChanged(TObject*) {
  if (state_.Contains(csFontValid)) {
    state_.Exclude(csFontValid);
    if (oldFont_) SelectObject(handle_, oldFont_);
    oldFont_ = nullptr;
  }
}

void TCanvas::PenChanged(TObject*) {
  if (state_.Contains(csPenValid)) {
    state_.Exclude(csPenValid);
    if (oldPen_) SelectObject(handle_, oldPen_);
    oldPen_ = nullptr;
  }
}

void TCanvas::BrushChanged(TObject*) {
  if (state_.Contains(csBrushValid)) {
    state_.Exclude(csBrushValid);
    if (oldBrush_) SelectObject(handle_, oldBrush_);
    oldBrush_ = nullptr;
  }
}

void TCanvas::Changing() { OnChanging(this); }
void TCanvas::Changed() { OnChange(this); }

void TCanvas::Refresh() { DeselectHandles(); }

void TCanvas::Lock() {
  lock_.lock();
  ++lockCount_;
}

void TCanvas::Unlock() {
  --lockCount_;
  lock_.unlock();
}

bool TCanvas::TryLock() {
  if (!lock_.try_lock()) return false;
  ++lockCount_;
  return true;
}

TPoint TCanvas::PenPos() {
  RequiredState({csHandleValid});
  POINT p;
  GetCurrentPositionEx(handle_, &p);
  return p;
}

TRect TCanvas::ClipRect() {
  RequiredState({csHandleValid});
  RECT r;
  GetClipBox(handle_, &r);
  return r;
}

TColor TCanvas::Pixels(int X, int Y) {
  RequiredState({csHandleValid});
  return TColor(GetPixel(handle_, X, Y));
}

void TCanvas::SetPixels(int X, int Y, TColor Value) {
  Changing();
  RequiredState({csHandleValid, csPenValid});
  SetPixel(handle_, X, Y, COLORREF(ColorToRGB(Value)));
  Changed();
}

void TCanvas::MoveTo(int X, int Y) {
  RequiredState({csHandleValid});
  MoveToEx(handle_, X, Y, nullptr);
}

void TCanvas::LineTo(int X, int Y) {
  Changing();
  RequiredState({csHandleValid, csPenValid, csBrushValid});
  ::LineTo(handle_, X, Y);
  Changed();
}

void TCanvas::Polyline(const std::vector<TPoint>& Points) {
  Changing();
  RequiredState({csHandleValid, csPenValid, csBrushValid});
  ::Polyline(handle_, Points.data(), int(Points.size()));
  Changed();
}

void TCanvas::Polygon(const std::vector<TPoint>& Points) {
  Changing();
  RequiredState({csHandleValid, csPenValid, csBrushValid});
  ::Polygon(handle_, Points.data(), int(Points.size()));
  Changed();
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  Changing();
  RequiredState({csHandleValid, csPenValid, csBrushValid});
  ::Rectangle(handle_, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3) {
  Changing();
  RequiredState({csHandleValid, csPenValid, csBrushValid});
  ::RoundRect(handle_, X1, Y1, X2, Y2, X3, Y3);
  Changed();
}

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
  Changing();
  RequiredState({csHandleValid, csPenValid, csBrushValid});
  ::Ellipse(handle_, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::FillRect(const TRect& R) {
  Changing();
  RequiredState({csHandleValid, csBrushValid});
  ::FillRect(handle_, &R, brush_->Handle());
  Changed();
}

void TCanvas::FrameRect(const TRect& R) {
  Changing();
  RequiredState({csHandleValid, csBrushValid});
  ::FrameRect(handle_, &R, brush_->Handle());
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& R) {
  Changing();
  RequiredState({csHandleValid, csBrushValid});
  ::DrawFocusRect(handle_, &R);
  Changed();
}

void TCanvas::Draw(int X, int Y, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  StretchDraw(TRect{X, Y, X + Graphic->Width(), Y + Graphic->Height()}, Graphic);
}

void TCanvas::StretchDraw(const TRect& R, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequiredState({csHandleValid});
  // Monochrome pictures take these colours for their 0 and 1 bits.
  SetBkColor(handle_, COLORREF(ColorToRGB(brush_->Color())));
  SetTextColor(handle_, COLORREF(ColorToRGB(font_->Color())));
  Graphic->Draw(this, R);
  Changed();
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source) {
  if (!Canvas) return;
  Changing();
  RequiredState({csHandleValid, csFontValid, csBrushValid});
  Canvas->RequiredState({csHandleValid, csBrushValid});
  StretchBlt(handle_, Dest.left, Dest.top, Dest.right - Dest.left, Dest.bottom - Dest.top, Canvas->handle_,
             Source.left, Source.top, Source.right - Source.left, Source.bottom - Source.top, DWORD(copyMode_));
  Changed();
}

void TCanvas::BrushCopy(const TRect& Dest, TBitmap* Bitmap, const TRect& Source, TColor Color) {
  if (!Bitmap || Bitmap->Empty()) return;
  const int w = Dest.right - Dest.left, h = Dest.bottom - Dest.top;
  if (w <= 0 || h <= 0) return;
  Changing();
  RequiredState({csHandleValid, csBrushValid});
  HDC src = Bitmap->Canvas()->Handle();
  // The source stretched to the destination's size, and a mask of its key pixels.
  HDC colorDC = CreateCompatibleDC(handle_);
  HBITMAP colorBm = CreateBitmap(w, h, 1, 32, nullptr);
  HGDIOBJ oldColor = SelectObject(colorDC, colorBm);
  StretchBlt(colorDC, 0, 0, w, h, src, Source.left, Source.top, Source.right - Source.left,
             Source.bottom - Source.top, SRCCOPY);
  HDC maskDC = CreateCompatibleDC(handle_);
  HBITMAP maskBm = CreateBitmap(w, h, 1, 1, nullptr);
  HGDIOBJ oldMask = SelectObject(maskDC, maskBm);
  SetBkColor(colorDC, COLORREF(ColorToRGB(Color)));
  BitBlt(maskDC, 0, 0, w, h, colorDC, 0, 0, SRCCOPY);
  const COLORREF oldText = SetTextColor(handle_, RGB(0, 0, 0));
  const COLORREF oldBk = SetBkColor(handle_, RGB(255, 255, 255));
  // Source where the mask is 0, then the brush where it is 1.
  TransparentStretchBlt(handle_, Dest.left, Dest.top, w, h, colorDC, 0, 0, w, h, maskDC, 0, 0);
  BitBlt(handle_, Dest.left, Dest.top, w, h, maskDC, 0, 0, 0x00E20746);  // (P ^ D) & S ^ D
  SetTextColor(handle_, oldText);
  SetBkColor(handle_, oldBk);
  SelectObject(maskDC, oldMask);
  SelectObject(colorDC, oldColor);
  DeleteDC(maskDC);
  DeleteDC(colorDC);
  DeleteObject(maskBm);
  DeleteObject(colorBm);
  Changed();
}

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  Changing();
  RequiredState({csHandleValid, csFontValid, csBrushValid});
  ExtTextOut(handle_, X, Y, UINT(textFlags_), nullptr, Text.data(), UINT(Text.size()), nullptr);
  SIZE sz;
  GetTextExtentPoint32(handle_, Text.data(), int(Text.size()), &sz);
  MoveToEx(handle_, X + sz.cx, Y, nullptr);
  Changed();
}

void TCanvas::TextRect(const TRect& Rect, int X, int Y, const std::string& Text) {
  Changing();
  RequiredState({csHandleValid, csFontValid, csBrushValid});
  UINT options = ETO_CLIPPED | UINT(textFlags_);
  if (brush_->Style() != bsClear) options |= ETO_OPAQUE;
  ExtTextOut(handle_, X, Y, options, &Rect, Text.data(), UINT(Text.size()), nullptr);
  Changed();
}

TSize TCanvas::TextExtent(const std::string& Text) {
  RequiredState({csHandleValid, csFontValid});
  SIZE sz;
  GetTextExtentPoint32(handle_, Text.data(), int(Text.size()), &sz);
  return sz;
}

// ---- Helpers ----

void TransparentStretchBlt(HDC DstDC, int DstX, int DstY, int DstW, int DstH, HDC SrcDC, int SrcX, int SrcY, int SrcW,
                           int SrcH, HDC MaskDC, int MaskX, int MaskY) {
  // D ^ S, then AND the mask (white keeps, black clears), then ^ S again: the source
  // where the mask is black, the destination where it is white.
  const COLORREF oldText = SetTextColor(DstDC, RGB(0, 0, 0));
  const COLORREF oldBk = SetBkColor(DstDC, RGB(255, 255, 255));
  StretchBlt(DstDC, DstX, DstY, DstW, DstH, SrcDC, SrcX, SrcY, SrcW, SrcH, SRCINVERT);
  StretchBlt(DstDC, DstX, DstY, DstW, DstH, MaskDC, MaskX, MaskY, SrcW, SrcH, SRCAND);
  StretchBlt(DstDC, DstX, DstY, DstW, DstH, SrcDC, SrcX, SrcY, SrcW, SrcH, SRCINVERT);
  SetTextColor(DstDC, oldText);
  SetBkColor(DstDC, oldBk);
}

HPALETTE SystemPalette16() {
  static const HPALETTE pal = [] {
    static const COLORREF c[16] = {RGB(0, 0, 0),       RGB(0x80, 0, 0),    RGB(0, 0x80, 0),    RGB(0x80, 0x80, 0),
                                   RGB(0, 0, 0x80),    RGB(0x80, 0, 0x80), RGB(0, 0x80, 0x80), RGB(0xC0, 0xC0, 0xC0),
                                   RGB(0x80, 0x80, 0x80), RGB(0xFF, 0, 0), RGB(0, 0xFF, 0),    RGB(0xFF, 0xFF, 0),
                                   RGB(0, 0, 0xFF),    RGB(0xFF, 0, 0xFF), RGB(0, 0xFF, 0xFF), RGB(0xFF, 0xFF, 0xFF)};
    LOGPALETTE256 lp;
    lp.palNumEntries = 16;
    for (int i = 0; i < 16; ++i) lp.palPalEntry[i] = PALETTEENTRY{GetRValue(c[i]), GetGValue(c[i]), GetBValue(c[i]), 0};
    return CreatePalette(lp.get());
  }();
  return pal;
}

HPALETTE CopyPalette(HPALETTE Palette) {
  if (!Palette) return nullptr;
  const UINT n = GetPaletteEntries(Palette, 0, 0, nullptr);
  if (n == 0) return nullptr;
  std::vector<uint8_t> buf(sizeof(LOGPALETTE) + n * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(buf.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = WORD(n);
  GetPaletteEntries(Palette, 0, n, lp->entries());
  return CreatePalette(lp);
}
