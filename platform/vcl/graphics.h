// The framework's graphics classes: colours, fonts, pens, brushes, the canvas, the
// graphic base class with bitmaps and icons, and the picture with its registry of
// graphic classes by file extension, clipboard format and class name.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"
#include "platform/rtl/exceptions.h"
#include "platform/win/clipboard.h"

// ---- Colours ----

// $00BBGGRR, or a system colour: $FF000000 plus a COLOR_ index.
using TColor = int32_t;

constexpr TColor clSystemColor = TColor(0xFF000000);
constexpr TColor clScrollBar = clSystemColor | COLOR_SCROLLBAR;
constexpr TColor clBackground = clSystemColor | COLOR_BACKGROUND;
constexpr TColor clActiveCaption = clSystemColor | COLOR_ACTIVECAPTION;
constexpr TColor clInactiveCaption = clSystemColor | COLOR_INACTIVECAPTION;
constexpr TColor clMenu = clSystemColor | COLOR_MENU;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowFrame = clSystemColor | COLOR_WINDOWFRAME;
constexpr TColor clMenuText = clSystemColor | COLOR_MENUTEXT;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clCaptionText = clSystemColor | COLOR_CAPTIONTEXT;
constexpr TColor clActiveBorder = clSystemColor | COLOR_ACTIVEBORDER;
constexpr TColor clInactiveBorder = clSystemColor | COLOR_INACTIVEBORDER;
constexpr TColor clAppWorkSpace = clSystemColor | COLOR_APPWORKSPACE;
constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
constexpr TColor clHighlightText = clSystemColor | COLOR_HIGHLIGHTTEXT;
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clBtnShadow = clSystemColor | COLOR_BTNSHADOW;
constexpr TColor clGrayText = clSystemColor | COLOR_GRAYTEXT;
constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;
constexpr TColor clInactiveCaptionText = clSystemColor | COLOR_INACTIVECAPTIONTEXT;
constexpr TColor clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT;
constexpr TColor cl3DDkShadow = clSystemColor | COLOR_3DDKSHADOW;
constexpr TColor cl3DLight = clSystemColor | COLOR_3DLIGHT;
constexpr TColor clInfoText = clSystemColor | COLOR_INFOTEXT;
constexpr TColor clInfoBk = clSystemColor | COLOR_INFOBK;
constexpr TColor clHotLight = clSystemColor | COLOR_HOTLIGHT;
constexpr TColor clGradientActiveCaption = clSystemColor | COLOR_GRADIENTACTIVECAPTION;
constexpr TColor clGradientInactiveCaption = clSystemColor | COLOR_GRADIENTINACTIVECAPTION;
constexpr TColor clMenuHighlight = clSystemColor | COLOR_MENUHILIGHT;
constexpr TColor clMenuBar = clSystemColor | COLOR_MENUBAR;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A0;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// The RGB value of a colour: system colours through the system colour table.
int32_t ColorToRGB(TColor Color);

// ---- Enumerations ----

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
enum TFontPitch { fpDefault, fpVariable, fpFixed };
using TFontName = std::string;
using TFontCharset = uint8_t;

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode {
  pmBlack,
  pmWhite,
  pmNop,
  pmNot,
  pmCopy,
  pmNotCopy,
  pmMergePenNot,
  pmMaskPenNot,
  pmMergeNotPen,
  pmMaskNotPen,
  pmMerge,
  pmNotMerge,
  pmMask,
  pmNotMask,
  pmXor,
  pmNotXor
};
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

enum TCanvasStates { csHandleValid, csFontValid, csPenValid, csBrushValid };
using TCanvasState = TSet<TCanvasStates>;

enum TProgressStage { psStarting, psRunning, psEnding };
enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TTransparentMode { tmAuto, tmFixed };
enum TBitmapHandleType { bmDIB, bmDDB };

using TCopyMode = int32_t;
constexpr TCopyMode cmBlackness = BLACKNESS;
constexpr TCopyMode cmDstInvert = DSTINVERT;
constexpr TCopyMode cmMergeCopy = MERGECOPY;
constexpr TCopyMode cmMergePaint = MERGEPAINT;
constexpr TCopyMode cmNotSrcCopy = NOTSRCCOPY;
constexpr TCopyMode cmNotSrcErase = NOTSRCERASE;
constexpr TCopyMode cmPatCopy = PATCOPY;
constexpr TCopyMode cmPatInvert = PATINVERT;
constexpr TCopyMode cmPatPaint = PATPAINT;
constexpr TCopyMode cmSrcAnd = SRCAND;
constexpr TCopyMode cmSrcCopy = SRCCOPY;
constexpr TCopyMode cmSrcErase = SRCERASE;
constexpr TCopyMode cmSrcInvert = SRCINVERT;
constexpr TCopyMode cmSrcPaint = SRCPAINT;
constexpr TCopyMode cmWhiteness = WHITENESS;


// ---- Errors ----

VX_EXCEPTION(EInvalidGraphic, Exception)
VX_EXCEPTION(EInvalidGraphicOperation, Exception)

// The framework's texts for these errors.
namespace GraphicsText {
inline constexpr const char* InvalidBitmap = "Bitmap image is not valid";
inline constexpr const char* InvalidIcon = "Icon image is not valid";
inline constexpr const char* InvalidPixelFormat = "Invalid pixel format";
inline constexpr const char* ScanLine = "Scan line index out of range";
inline constexpr const char* UnknownExtension = "Unknown picture file extension (.%s)";
inline constexpr const char* UnknownClipboardFormat = "Unsupported clipboard format";
inline constexpr const char* OutOfResources = "Out of system resources";
inline constexpr const char* NoCanvasHandle = "Canvas does not allow drawing";
inline constexpr const char* ChangeIconSize = "Cannot change the size of an icon";
inline constexpr const char* InvalidImage = "Invalid image";
inline constexpr const char* UnknownGraphicClass = "Unknown graphic class \"%s\"";
}  // namespace GraphicsText

class TCanvas;
class TGraphic;
class TBitmap;
class TIcon;
class TPicture;

using TProgressEvent = Event<TObject*, TProgressStage, uint8_t, bool, const TRect&, const std::string&>;
using TGraphicClass = TClass;
using TSize = SIZE;

// ---- Fonts, pens and brushes ----

// Base of fonts, pens and brushes: a change fires OnChange, which the owning canvas
// or control listens to. The handle is made from the properties when first asked for.
class TGraphicsObject : public TPersistent {
  VX_CLASS(TGraphicsObject, TPersistent)

 public:
  TGraphicsObject() = default;
  TGraphicsObject(const TGraphicsObject&) = delete;
  TGraphicsObject& operator=(const TGraphicsObject&) = delete;
  ~TGraphicsObject() override = default;

  TNotifyEvent OnChange;
  // True when a handle has been made for the current properties.
  virtual bool HandleAllocated() const = 0;

 protected:
  virtual void Changed();
};

class TFont : public TGraphicsObject {
  VX_CLASS(TFont, TGraphicsObject)

 public:
  TFont();
  ~TFont() override;

  void Assign(TPersistent* Source) override;

  HFONT Handle();
  void SetHandle(HFONT Value);
  bool HandleAllocated() const override { return handle_ != nullptr; }

  const TFontName& Name() const { return name_; }
  void SetName(const TFontName& Value);
  // Size in points; Height in pixels (negative: character height, positive: cell).
  int Size() const;
  void SetSize(int Value);
  int Height() const { return height_; }
  void SetHeight(int Value);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles Value);
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  TFontCharset Charset() const { return charset_; }
  void SetCharset(TFontCharset Value);
  TFontPitch Pitch() const { return pitch_; }
  void SetPitch(TFontPitch Value);
  int PixelsPerInch() const { return pixelsPerInch_; }
  void SetPixelsPerInch(int Value) { pixelsPerInch_ = Value; }

 private:
  void FreeHandle();

  HFONT handle_ = nullptr;
  TFontName name_ = "MS Sans Serif";
  int height_ = -11;
  TFontStyles style_;
  TColor color_ = clWindowText;
  TFontCharset charset_ = DEFAULT_CHARSET;
  TFontPitch pitch_ = fpDefault;
  int pixelsPerInch_ = 96;
};

class TPen : public TGraphicsObject {
  VX_CLASS(TPen, TGraphicsObject)

 public:
  TPen() = default;
  ~TPen() override;

  void Assign(TPersistent* Source) override;

  HPEN Handle();
  bool HandleAllocated() const override { return handle_ != nullptr; }
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  int Width() const { return width_; }
  void SetWidth(int Value);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle Value);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode Value);

 private:
  void FreeHandle();

  HPEN handle_ = nullptr;
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = psSolid;
  TPenMode mode_ = pmCopy;
};

class TBrush : public TGraphicsObject {
  VX_CLASS(TBrush, TGraphicsObject)

 public:
  TBrush() = default;
  ~TBrush() override;

  void Assign(TPersistent* Source) override;

  HBRUSH Handle();
  bool HandleAllocated() const override { return handle_ != nullptr; }
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle Value);
  // A pattern bitmap (not owned; it must outlive its use by the brush). Setting one
  // makes the brush a pattern brush; null returns to Style and Color.
  TBitmap* Bitmap() const { return bitmap_; }
  void SetBitmap(TBitmap* Value);

 private:
  void FreeHandle();

  HBRUSH handle_ = nullptr;
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
  TBitmap* bitmap_ = nullptr;
};

// ---- The canvas ----

// A drawing surface: a device context with a pen, a brush and a font. Every drawing
// operation fires OnChanging before and OnChange after it. Lock is a recursive
// lock, so threads that share a canvas take turns.
class TCanvas : public TPersistent {
  VX_CLASS(TCanvas, TPersistent)

 public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  HDC Handle();
  void SetHandle(HDC Value);
  bool HandleAllocated() const { return handle_ != nullptr; }

  TPen* Pen() const { return pen_.get(); }
  TBrush* Brush() const { return brush_.get(); }
  TFont* Font() const { return font_.get(); }
  void SetPen(TPen* Value) { pen_->Assign(Value); }
  void SetBrush(TBrush* Value) { brush_->Assign(Value); }
  void SetFont(TFont* Value) { font_->Assign(Value); }
  TCopyMode CopyMode() const { return copyMode_; }
  void SetCopyMode(TCopyMode Value) { copyMode_ = Value; }
  TPoint PenPos();
  void SetPenPos(TPoint Value) { MoveTo(Value.x, Value.y); }
  // The clip box in logical coordinates.
  TRect ClipRect();
  // Options for TextOut and TextRect (ETO_ flags).
  int TextFlags() const { return textFlags_; }
  void SetTextFlags(int Value) { textFlags_ = Value; }

  // -1 (CLR_INVALID) outside the drawing area.
  TColor Pixels(int X, int Y);
  void SetPixels(int X, int Y, TColor Value);

  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  void Polyline(const std::vector<TPoint>& Points);
  void Polygon(const std::vector<TPoint>& Points);
  void Rectangle(int X1, int Y1, int X2, int Y2);
  void Rectangle(const TRect& R) { Rectangle(R.left, R.top, R.right, R.bottom); }
  void RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3);
  void Ellipse(int X1, int Y1, int X2, int Y2);
  void Ellipse(const TRect& R) { Ellipse(R.left, R.top, R.right, R.bottom); }
  void FillRect(const TRect& R);
  void FrameRect(const TRect& R);
  void DrawFocusRect(const TRect& R);

  // Draws a graphic at its own size, or stretched into a rectangle.
  void Draw(int X, int Y, TGraphic* Graphic);
  void StretchDraw(const TRect& R, TGraphic* Graphic);
  // Copies a part of another canvas with CopyMode, stretching when sizes differ.
  void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);
  // Copies a part of a bitmap, replacing every pixel of Color by this canvas's brush.
  void BrushCopy(const TRect& Dest, TBitmap* Bitmap, const TRect& Source, TColor Color);

  void TextOut(int X, int Y, const std::string& Text);
  // Fills Rect with the brush (unless clear) and draws Text at (X, Y) clipped to it.
  void TextRect(const TRect& Rect, int X, int Y, const std::string& Text);
  TSize TextExtent(const std::string& Text);
  int TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
  int TextHeight(const std::string& Text) { return TextExtent(Text).cy; }

  void Refresh();
  // Tells the listeners of OnChange that drawing went to the device context directly.
  void NotifyChanged() { Changed(); }
  void Lock();
  void Unlock();
  bool TryLock();
  int LockCount() const { return lockCount_; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  virtual void Changing();
  virtual void Changed();
  virtual void CreateHandle() {}
  // Makes sure the handle exists and the pen, brush and font are selected into it
  // (the font's colour as text colour, the brush's colour as background colour).
  void RequiredState(TCanvasState ReqState);
  void DeselectHandles();

  friend class TBitmap;
  friend class TGraphic;

 private:
  void FontChanged(TObject* Sender);
  void PenChanged(TObject* Sender);
  void BrushChanged(TObject* Sender);

  HDC handle_ = nullptr;
  TCanvasState state_;
  std::unique_ptr<TFont> font_;
  std::unique_ptr<TPen> pen_;
  std::unique_ptr<TBrush> brush_;
  TCopyMode copyMode_ = cmSrcCopy;
  int textFlags_ = 0;
  std::recursive_mutex lock_;
  int lockCount_ = 0;
  HGDIOBJ oldPen_ = nullptr, oldBrush_ = nullptr, oldFont_ = nullptr;
};

// ---- Graphics ----

// A picture that can draw itself, load and save itself through streams and files,
// and report changes and progress. The virtual operations come in the framework's
// order.
class TGraphic : public TPersistent {
  VX_CLASS(TGraphic, TPersistent)

 public:
  TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;
  ~TGraphic() override = default;

 protected:
  // Marks the graphic modified and fires OnChange.
  virtual void Changed(TObject* Sender);
  virtual void Draw(TCanvas* ACanvas, const TRect& Rect) = 0;

 public:
  // Same class and equal saved streams.
  virtual bool Equals(TGraphic* Graphic);

 protected:
  virtual bool GetEmpty() = 0;
  virtual int GetHeight() = 0;
  virtual HPALETTE GetPalette() { return nullptr; }
  virtual bool GetTransparent() { return transparent_; }
  virtual int GetWidth() = 0;
  // Form-stream data: the default reads and writes the graphic's stream format.
  virtual void ReadData(TStream* Stream) { LoadFromStream(Stream); }

 public:
  virtual void SetHeight(int Value) = 0;
  virtual void SetPalette(HPALETTE /*Value*/) {}
  virtual void SetTransparent(bool Value);
  virtual void SetWidth(int Value) = 0;

 protected:
  virtual void WriteData(TStream* Stream) { SaveToStream(Stream); }

 public:
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);
  virtual void LoadFromStream(TStream* Stream) = 0;
  virtual void SaveToStream(TStream* Stream) = 0;
  virtual void LoadFromClipboardFormat(uint16_t AFormat, HANDLE AData, HPALETTE APalette) = 0;
  virtual void SaveToClipboardFormat(uint16_t& AFormat, HANDLE& AData, HPALETTE& APalette) = 0;

 public:
  bool Empty() { return GetEmpty(); }
  int Width() { return GetWidth(); }
  int Height() { return GetHeight(); }
  HPALETTE Palette() { return GetPalette(); }
  bool Transparent() { return GetTransparent(); }
  bool Modified() const { return modified_; }
  void SetModified(bool Value);
  bool PaletteModified() const { return paletteModified_; }
  void SetPaletteModified(bool Value) { paletteModified_ = Value; }

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

 protected:
  void Progress(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow, const TRect& R,
                const std::string& Msg);

  friend class TCanvas;
  friend class TPicture;

 private:
  bool modified_ = false;
  bool transparent_ = false;
  bool paletteModified_ = false;
};

// ---- Bitmaps ----

class TBitmapCanvas;

// A bitmap: a device-independent bitmap in one of the pixel formats, or a device
// bitmap in the screen's format (pfDevice, the format of a new bitmap). Rows are
// padded to 32 bits; ScanLine(y) is row y from the top; 24-bit pixels are B, G, R.
class TBitmap : public TGraphic {
  VX_CLASS(TBitmap, TGraphic)

 public:
  TBitmap();
  ~TBitmap() override;

  void Assign(TPersistent* Source) override;
  bool Equals(TGraphic* Graphic) override;

 protected:
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  bool GetEmpty() override;
  int GetHeight() override { return height_; }
  HPALETTE GetPalette() override;
  int GetWidth() override { return width_; }

 public:
  void LoadFromStream(TStream* Stream) override;

 protected:
  void ReadData(TStream* Stream) override;

 public:
  void SaveToStream(TStream* Stream) override;
  void SetHeight(int Value) override;
  void SetPalette(HPALETTE Value) override;
  void SetWidth(int Value) override;

 protected:
  void WriteData(TStream* Stream) override;
  void Changed(TObject* Sender) override;

 public:
  void LoadFromClipboardFormat(uint16_t AFormat, HANDLE AData, HPALETTE APalette) override;
  void SaveToClipboardFormat(uint16_t& AFormat, HANDLE& AData, HPALETTE& APalette) override;

  TCanvas* Canvas();
  void SetSize(int AWidth, int AHeight);

  // Loads the module's resource of type RT_BITMAP (a bitmap file without its file
  // header); raises EResNotFound when there is none. A null module is the program.
  void LoadFromResourceName(HINSTANCE Instance, const std::string& ResName);
  void LoadFromResourceID(HINSTANCE Instance, int ResID);

  // The bitmap handle (owned; null while empty). Setting one takes ownership.
  HBITMAP Handle();
  void SetHandle(HBITMAP Value);
  bool HandleAllocated() const { return handle_ != nullptr; }
  // Gives up the handle to the caller; the bitmap keeps a copy of the picture.
  HBITMAP ReleaseHandle();
  TBitmapHandleType HandleType() const;
  void SetHandleType(TBitmapHandleType Value);
  HPALETTE ReleasePalette();

  TPixelFormat PixelFormat() const;
  // Converts the picture in place.
  void SetPixelFormat(TPixelFormat Value);
  bool Monochrome() const;
  // True: pixels of the canvas brush's colour become white, all others black.
  // False: a monochrome picture becomes colour (black and white).
  void SetMonochrome(bool Value);
  void* ScanLine(int Row);

  TColor TransparentColor();
  void SetTransparentColor(TColor Value);
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode Value);
  // A monochrome mask (owned by the bitmap): white where the pixel is TransparentColor.
  HBITMAP MaskHandle();
  void SetMaskHandle(HBITMAP Value);
  HBITMAP ReleaseMaskHandle();
  // Turns the picture itself into such a mask.
  void Mask(TColor TransparentColor);

  // Kept for callers; the pixels always live in memory here.
  void Dormant() {}
  void FreeImage() {}


 private:
  friend class TBitmapCanvas;
  void NeedHandle();
  // Replaces the picture; frees the old one (the canvas lets go of it first).
  void ReplaceHandle(HBITMAP h);
  void FreeMask();
  void FreeContext();
  void CopyFrom(TBitmap& Source);
  void NewImage(int AWidth, int AHeight, bool Keep);

  HBITMAP handle_ = nullptr;
  HPALETTE palette_ = nullptr;
  HBITMAP mask_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  TPixelFormat format_ = pfDevice;  // format of a bitmap that is still empty
  bool monochrome_ = false;         // the same for monochrome
  TColor transparentColor_ = clDefault;
  TTransparentMode transparentMode_ = tmAuto;
  std::unique_ptr<TBitmapCanvas> canvas_;
};

// The canvas of a bitmap: a memory DC holding the bitmap while it draws.
class TBitmapCanvas : public TCanvas {
  VX_CLASS(TBitmapCanvas, TCanvas)

 public:
  explicit TBitmapCanvas(TBitmap* Bitmap) : bitmap_(Bitmap) {}
  ~TBitmapCanvas() override;
  // Lets go of the DC (before the bitmap changes its handle).
  void FreeContext();

 protected:
  void CreateHandle() override;

 private:
  TBitmap* bitmap_;
  HBITMAP oldBitmap_ = nullptr;
  HPALETTE oldPalette_ = nullptr;
};

// ---- Icons ----

// An icon: a colour picture and a monochrome AND mask of the same size, drawn as
// (destination AND mask) XOR colour. Loads and saves icon files.
class TIcon : public TGraphic {
  VX_CLASS(TIcon, TGraphic)

 public:
  TIcon() = default;
  ~TIcon() override;

  void Assign(TPersistent* Source) override;

 protected:
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  bool GetEmpty() override { return handle_ == nullptr; }
  int GetHeight() override;
  int GetWidth() override;
  bool GetTransparent() override { return true; }

 public:
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  void SetHeight(int Value) override;
  void SetWidth(int Value) override;

 protected:
  void AssignTo(TPersistent* Dest) override;

 public:
  void LoadFromClipboardFormat(uint16_t AFormat, HANDLE AData, HPALETTE APalette) override;
  void SaveToClipboardFormat(uint16_t& AFormat, HANDLE& AData, HPALETTE& APalette) override;

  HICON Handle() const { return handle_; }
  // Takes ownership of the icon.
  void SetHandle(HICON Value);
  HICON ReleaseHandle();

 private:
  HICON handle_ = nullptr;
};

// ---- Pictures ----

// Holds one graphic of any registered class. Loading a file picks the class by the
// file's extension (ignoring case); form data names the class.
class TPicture : public TPersistent {
  VX_CLASS(TPicture, TPersistent)

 public:
  TPicture();
  ~TPicture() override;

  void Assign(TPersistent* Source) override;

  TGraphic* Graphic() const { return graphic_.get(); }
  // A copy of Value (null empties the picture).
  void SetGraphic(TGraphic* Value);
  // The picture as a bitmap: replaces any other graphic by an empty bitmap.
  TBitmap* Bitmap();
  void SetBitmap(TBitmap* Value) { SetGraphic(Value); }
  TIcon* Icon();
  void SetIcon(TIcon* Value) { SetGraphic(Value); }
  int Width() const;
  int Height() const;

  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);
  void LoadFromClipboardFormat(uint16_t AFormat, HANDLE AData, HPALETTE APalette);
  void SaveToClipboardFormat(uint16_t& AFormat, HANDLE& AData, HPALETTE& APalette);

  // Form data: the graphic's class name (a length byte and the name), then its data.
  void ReadData(TStream* Stream);
  void WriteData(TStream* Stream);

  static void RegisterFileFormat(const std::string& AExtension, const std::string& ADescription,
                                 TGraphicClass AGraphicClass);
  static void RegisterClipboardFormat(uint16_t AFormat, TGraphicClass AGraphicClass);
  static void UnregisterGraphicClass(TGraphicClass AClass);
  static bool SupportsClipboardFormat(uint16_t AFormat);

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

 protected:
  void AssignTo(TPersistent* Dest) override;
  virtual void Changed(TObject* Sender);
  virtual void Progress(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow, const TRect& R,
                        const std::string& Msg);

 private:
  void ForceType(TGraphicClass GraphicType);
  void Adopt(std::unique_ptr<TGraphic> g);

  std::unique_ptr<TGraphic> graphic_;
};

// "All (*.a;*.b)|*.a;*.b|Desc (*.a)|*.a|..." over the registered formats of a class
// and its descendants.
std::string GraphicFilter(TGraphicClass GraphicClass);
// The first extension registered for the class (without the dot), or "".
std::string GraphicExtension(TGraphicClass GraphicClass);
// "*.a;*.b" for the class and its descendants.
std::string GraphicFileMask(TGraphicClass GraphicClass);

// ---- Helpers of the framework's graphics unit ----

// Copies the source where the mask is black and keeps the destination where it is
// white, stretching source and mask to the destination rectangle.
void TransparentStretchBlt(HDC DstDC, int DstX, int DstY, int DstW, int DstH, HDC SrcDC, int SrcX, int SrcY, int SrcW,
                           int SrcH, HDC MaskDC, int MaskX, int MaskY);
// A copy of a bitmap with colours replaced: each pixel (or colour-table entry) equal
// to OldColors[i] takes NewColors[i], by the first match and never twice.
HBITMAP CreateMappedBmp(HBITMAP Handle, const std::vector<TColor>& OldColors, const std::vector<TColor>& NewColors);
// The 16 colours of the standard VGA set (a process-wide palette; never freed).
HPALETTE SystemPalette16();
// A new palette with the entries of Palette (null for null).
HPALETTE CopyPalette(HPALETTE Palette);
// Raises EOutOfResources when Value is null.
template <class H>
H GDICheck(H Value) {
  if (!Value) throw EOutOfResources(GraphicsText::OutOfResources);
  return Value;
}
