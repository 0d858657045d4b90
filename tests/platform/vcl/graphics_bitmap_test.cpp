// Bitmap life cycle: resizing, handles, palettes, handle types, copies, clipboard and
// form data, masks; and the picture's progress and form-data errors.
#include <gtest/gtest.h>

#include "platform/vcl/graphics.h"

namespace {

TEST(BitmapLife, ResizingKeepsThePictureAndFillsNewAreasWithTheBrush) {
  TBitmap b;
  b.SetSize(2, 2);
  b.Canvas()->SetPixels(1, 1, clRed);
  b.Canvas()->Brush()->SetColor(clBlue);
  b.SetSize(3, 3);
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), clRed);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clWhite);
  EXPECT_EQ(b.Canvas()->Pixels(2, 2), clBlue);
  b.SetHeight(0);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.Handle(), nullptr);
}

TEST(BitmapLife, HandlesAreOwnedReleasedAndAdopted) {
  TBitmap b;
  b.SetSize(2, 1);
  b.Canvas()->SetPixels(0, 0, clRed);
  HBITMAP h = b.ReleaseHandle();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed);  // the bitmap kept a copy
  EXPECT_NE(b.Handle(), h);
  TBitmap c;
  c.SetHandle(h);  // c owns h now
  EXPECT_EQ(c.Width(), 2);
  EXPECT_EQ(c.Canvas()->Pixels(0, 0), clRed);
}

TEST(BitmapLife, PaletteOfAnIndexedBitmapIsItsColourTable) {
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetSize(1, 1);
  static_cast<uint8_t*>(b.ScanLine(0))[0] = 0;
  LOGPALETTE256 lp;
  lp.palNumEntries = 2;
  lp.palPalEntry[0] = PALETTEENTRY{0, 0, 255, 0};
  lp.palPalEntry[1] = PALETTEENTRY{255, 0, 0, 0};
  b.SetPalette(CreatePalette(lp.get()));  // the bitmap owns it now
  // The pixel's index (0) now shows the new first colour.
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clBlue);
  EXPECT_EQ(GetNearestPaletteIndex(b.Palette(), RGB(250, 0, 0)), 1u);
  HPALETTE p = b.ReleasePalette();
  EXPECT_NE(p, nullptr);
  DeleteObject(p);
}

TEST(BitmapLife, HandleTypesAndMonochromeDevices) {
  TBitmap b;
  b.SetSize(2, 2);
  EXPECT_EQ(b.HandleType(), bmDDB);
  b.ScanLine(0);  // rows need a DIB
  EXPECT_EQ(b.HandleType(), bmDIB);
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  b.SetHandleType(bmDDB);
  EXPECT_EQ(b.PixelFormat(), pfDevice);
  b.SetMonochrome(true);
  EXPECT_EQ(b.PixelFormat(), pfDevice);
  BITMAP bm;
  GetObject(b.Handle(), sizeof bm, &bm);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  b.SetMonochrome(false);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clWhite);
}

TEST(BitmapLife, AssignCopiesPixelsFormatAndTransparency) {
  TBitmap a;
  a.SetPixelFormat(pf4bit);
  a.SetSize(2, 2);
  a.Canvas()->SetPixels(0, 0, clRed);
  a.SetTransparentColor(clRed);
  a.SetTransparent(true);
  TBitmap b;
  b.Assign(&a);
  EXPECT_EQ(b.PixelFormat(), pf4bit);
  EXPECT_TRUE(b.Transparent());
  EXPECT_EQ(b.TransparentMode(), tmFixed);
  EXPECT_EQ(b.TransparentColor(), clRed);
  a.Canvas()->SetPixels(0, 0, clBlue);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed);  // a deep copy
  b.Assign(nullptr);
  EXPECT_TRUE(b.Empty());
  TPicture p;
  EXPECT_THROW(b.Assign(&p.Bitmap()->Canvas()->Font()[0]), EConvertError);
}

TEST(BitmapLife, ClipboardAndFormData) {
  TBitmap a;
  a.SetSize(3, 2);
  a.Canvas()->SetPixels(2, 1, clLime);
  uint16_t format = 0;
  HANDLE data = nullptr;
  HPALETTE pal = nullptr;
  a.SaveToClipboardFormat(format, data, pal);
  EXPECT_EQ(format, CF_BITMAP);
  TPicture p;
  EXPECT_TRUE(TPicture::SupportsClipboardFormat(CF_BITMAP));
  p.LoadFromClipboardFormat(format, data, pal);
  ASSERT_TRUE(Is<TBitmap>(p.Graphic()));
  EXPECT_EQ(static_cast<TBitmap*>(p.Graphic())->Canvas()->Pixels(2, 1), clLime);
  DeleteObject(reinterpret_cast<HBITMAP>(data));
  EXPECT_THROW(p.LoadFromClipboardFormat(0x1234, nullptr, nullptr), EInvalidGraphic);
  // Form data: the class name, then a size-prefixed bitmap file.
  TMemoryStream s;
  p.WriteData(&s);
  const uint8_t* bytes = static_cast<const uint8_t*>(s.Memory());
  EXPECT_EQ(bytes[0], 7);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + 1), 7), "TBitmap");
  EXPECT_EQ(bytes[8] | bytes[9] << 8, s.Size() - 12);
  s.SetPosition(0);
  TPicture q;
  q.ReadData(&s);
  EXPECT_EQ(q.Width(), 3);
  TMemoryStream bad;
  bad.Write("\x05TNope", 6);
  bad.SetPosition(0);
  EXPECT_THROW(q.ReadData(&bad), EInvalidGraphic);
}

TEST(BitmapLife, MaskFromTheTransparentColour) {
  TBitmap b;
  b.SetSize(2, 1);
  b.Canvas()->SetPixels(0, 0, clFuchsia);
  b.SetTransparentColor(clFuchsia);
  HBITMAP m = b.MaskHandle();
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, m);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 0, 0));
  SelectObject(dc, old);
  DeleteDC(dc);
  b.Mask(clFuchsia);
  EXPECT_TRUE(b.Monochrome());
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clWhite);
}

// A graphic that reports progress while loading.
class TSlowGraphic : public TBitmap {
  VX_CLASS(TSlowGraphic, TBitmap)

 public:
  void LoadFromStream(TStream* Stream) override {
    Progress(this, psStarting, 0, false, TRect{}, "Loading");
    TBitmap::LoadFromStream(Stream);
    Progress(this, psEnding, 100, false, TRect{}, "Loading");
  }
};

TEST(PictureEvents, ProgressReachesThePicture) {
  TPicture::RegisterFileFormat("slow", "Slow", TSlowGraphic::StaticClass());
  const std::string file = testing::TempDir() + "/p.slow";
  TBitmap b;
  b.SetSize(1, 1);
  b.SaveToFile(file);
  TPicture p;
  std::vector<int> stages;
  p.OnProgress = TProgressEvent::FromFunction(
      [&](TObject*, TProgressStage s, uint8_t, bool, const TRect&, const std::string&) { stages.push_back(s); });
  p.LoadFromFile(file);
  EXPECT_EQ(stages, (std::vector<int>{psStarting, psEnding}));
  TPicture::UnregisterGraphicClass(TSlowGraphic::StaticClass());
  // A failed load leaves the picture as it was.
  EXPECT_THROW(p.LoadFromFile(testing::TempDir() + "/missing.bmp"), EFOpenError);
  EXPECT_TRUE(Is<TSlowGraphic>(p.Graphic()));
}

}  // namespace
