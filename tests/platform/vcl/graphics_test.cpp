// The graphics classes: bitmaps and their formats, streams and transparency, the
// canvas, and the picture's registry of graphic classes.
#include "platform/vcl/graphics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

// A graphic class of the test's own, registered for an extension.
class TTestGraphic : public TGraphic {
  VX_CLASS(TTestGraphic, TGraphic)

 public:
  std::string data;
  void LoadFromStream(TStream* Stream) override {
    data.assign(size_t(Stream->Size() - Stream->Position()), '\0');
    Stream->ReadBuffer(data.data(), int64_t(data.size()));
  }
  void SaveToStream(TStream* Stream) override { Stream->WriteBuffer(data.data(), int64_t(data.size())); }
  void SetHeight(int) override {}
  void SetWidth(int) override {}
  void LoadFromClipboardFormat(uint16_t, HANDLE, HPALETTE) override {}
  void SaveToClipboardFormat(uint16_t&, HANDLE&, HPALETTE&) override {}
  void Assign(TPersistent* Source) override {
    if (auto* t = As<TTestGraphic>(Source)) {
      data = t->data;
      return;
    }
    TGraphic::Assign(Source);
  }

 protected:
  void Draw(TCanvas*, const TRect&) override {}
  bool GetEmpty() override { return data.empty(); }
  int GetHeight() override { return 1; }
  int GetWidth() override { return int(data.size()); }
};

TEST(Colors, SystemColoursGoThroughTheTable) {
  EXPECT_EQ(ColorToRGB(clBtnFace), int32_t(GetSysColor(COLOR_BTNFACE)));
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FF);
  EXPECT_EQ(clBtnFace, TColor(0xFF00000F));
  EXPECT_EQ(clNone, 0x1FFFFFFF);
}

TEST(Bitmap, NewBitmapIsEmptyThenHoldsDevicePixels) {
  TBitmap b;
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.PixelFormat(), pfDevice);
  b.SetWidth(4);
  EXPECT_TRUE(b.Empty());
  b.SetHeight(3);
  EXPECT_FALSE(b.Empty());
  EXPECT_EQ(b.HandleType(), bmDDB);
  EXPECT_EQ(b.Canvas()->Pixels(3, 2), clWhite);
  BITMAP bm;
  ASSERT_EQ(GetObject(b.Handle(), sizeof bm, &bm), int(sizeof bm));
  EXPECT_EQ(bm.bmBitsPixel, 32);
  EXPECT_EQ(bm.bmWidth, 4);
}

TEST(Bitmap, ScanLineIsRowFromTheTopInBgrOrder) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(3, 2);
  b.Canvas()->SetPixels(0, 1, TColor(0x030201));  // R=1 G=2 B=3
  auto* row = static_cast<uint8_t*>(b.ScanLine(1));
  EXPECT_EQ(row[0], 3);
  EXPECT_EQ(row[1], 2);
  EXPECT_EQ(row[2], 1);
  EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(1)) - static_cast<uint8_t*>(b.ScanLine(0)), -12);
  EXPECT_THROW(b.ScanLine(2), EInvalidGraphicOperation);
}

TEST(Bitmap, PixelFormatConversionsKeepThePicture) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(2, 1);
  b.Canvas()->SetPixels(0, 0, clRed);
  b.Canvas()->SetPixels(1, 0, clBlue);
  for (TPixelFormat pf : {pf32bit, pf8bit, pf16bit, pf15bit, pf4bit, pfDevice, pf24bit}) {
    b.SetPixelFormat(pf);
    EXPECT_EQ(b.PixelFormat(), pf);
    EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed) << pf;
    EXPECT_EQ(b.Canvas()->Pixels(1, 0), clBlue) << pf;
  }
  b.SetPixelFormat(pf1bit);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clBlack);
  EXPECT_THROW(b.SetPixelFormat(pfCustom), EInvalidGraphic);
}

TEST(Bitmap, MonochromeMarksTheBrushColour) {
  TBitmap b;
  b.SetSize(3, 1);
  b.Canvas()->SetPixels(0, 0, clBlack);
  b.Canvas()->SetPixels(1, 0, clRed);
  b.Canvas()->Brush()->SetColor(clRed);
  b.SetMonochrome(true);
  EXPECT_TRUE(b.Monochrome());
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clBlack);
  EXPECT_EQ(b.Canvas()->Pixels(1, 0), clWhite);
  EXPECT_EQ(b.Canvas()->Pixels(2, 0), clBlack);
}

TEST(Bitmap, StreamRoundTripOfEveryDepth) {
  for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    TBitmap a;
    a.SetPixelFormat(pf);
    a.SetSize(5, 3);
    a.Canvas()->SetPixels(4, 2, clBlack);
    a.Canvas()->SetPixels(0, 0, clBlack);
    TMemoryStream s;
    a.SaveToStream(&s);
    s.SetPosition(0);
    TBitmap b;
    b.LoadFromStream(&s);
    EXPECT_EQ(b.PixelFormat(), pf);
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.Height(), 3);
    EXPECT_TRUE(b.Equals(&a)) << pf;
    EXPECT_EQ(b.Canvas()->Pixels(4, 2), clBlack);
    EXPECT_EQ(b.Canvas()->Pixels(1, 1), clWhite);
  }
}

TEST(Bitmap, DamagedStreamsRaise) {
  const uint8_t junk[] = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F};
  TMemoryStream s;
  s.Write(junk, sizeof junk);
  s.SetPosition(0);
  TBitmap b;
  EXPECT_THROW(b.LoadFromStream(&s), EInvalidGraphic);
}

TEST(Bitmap, TransparentDrawSkipsTheBottomLeftColour) {
  TBitmap pic;
  pic.SetSize(2, 2);
  pic.Canvas()->Brush()->SetColor(clLime);
  pic.Canvas()->FillRect(TRect{0, 0, 2, 2});
  pic.Canvas()->SetPixels(1, 0, clRed);
  pic.SetTransparent(true);
  EXPECT_EQ(pic.TransparentColor(), clLime);
  TBitmap dst;
  dst.SetSize(2, 2);
  dst.Canvas()->Brush()->SetColor(clBlue);
  dst.Canvas()->FillRect(TRect{0, 0, 2, 2});
  dst.Canvas()->Draw(0, 0, &pic);
  EXPECT_EQ(dst.Canvas()->Pixels(1, 0), clRed);
  EXPECT_EQ(dst.Canvas()->Pixels(0, 0), clBlue);
  EXPECT_EQ(dst.Canvas()->Pixels(1, 1), clBlue);
}

TEST(Bitmap, CanvasDrawingFiresChangeEvents) {
  TBitmap b;
  b.SetSize(2, 2);
  int changes = 0;
  b.OnChange = TNotifyEvent::FromFunction([&](TObject*) { ++changes; });
  b.Canvas()->FillRect(TRect{0, 0, 1, 1});
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(b.Modified());
}

TEST(Picture, RegistryByExtensionAndClassName) {
  TPicture::RegisterFileFormat("tgx", "Test graphics", TTestGraphic::StaticClass());
  EXPECT_NE(GraphicFilter(TGraphic::StaticClass()).find("Test graphics (*.tgx)|*.tgx"), std::string::npos);
  EXPECT_EQ(GraphicExtension(TTestGraphic::StaticClass()), "tgx");
  EXPECT_EQ(GraphicFileMask(TBitmap::StaticClass()), "*.bmp");
  const std::string file = testing::TempDir() + "/picture.TGX";
  {
    TTestGraphic g;
    g.data = "payload";
    g.SaveToFile(file);
  }
  TPicture p;
  int changes = 0;
  p.OnChange = TNotifyEvent::FromFunction([&](TObject*) { ++changes; });
  p.LoadFromFile(file);
  ASSERT_TRUE(Is<TTestGraphic>(p.Graphic()));
  EXPECT_EQ(static_cast<TTestGraphic*>(p.Graphic())->data, "payload");
  EXPECT_EQ(changes, 1);
  // Form data names the class.
  TMemoryStream s;
  p.WriteData(&s);
  s.SetPosition(0);
  TPicture q;
  q.ReadData(&s);
  ASSERT_TRUE(Is<TTestGraphic>(q.Graphic()));
  EXPECT_EQ(static_cast<TTestGraphic*>(q.Graphic())->data, "payload");
  TPicture::UnregisterGraphicClass(TTestGraphic::StaticClass());
  EXPECT_EQ(GraphicExtension(TTestGraphic::StaticClass()), "");
  try {
    p.LoadFromFile(file);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), "Unknown picture file extension (.tgx)");
  }
  EXPECT_TRUE(Is<TTestGraphic>(p.Graphic()));
}

TEST(Picture, BitmapReplacesOtherGraphicsAndAssignCopies) {
  TPicture p;
  TBitmap* b = p.Bitmap();
  b->SetSize(3, 4);
  EXPECT_EQ(p.Width(), 3);
  TPicture q;
  q.Assign(&p);
  ASSERT_TRUE(Is<TBitmap>(q.Graphic()));
  EXPECT_NE(q.Graphic(), p.Graphic());
  EXPECT_EQ(q.Height(), 4);
  q.Assign(nullptr);
  EXPECT_EQ(q.Graphic(), nullptr);
}

}  // namespace

namespace {

TEST(Canvas, GreyedPictureFromMonochromeCopyWithCanvasColours) {
  // A picture with black strokes becomes a disabled-looking one: black pixels take
  // the shadow colour with a highlight one pixel down and right, the rest is face.
  TBitmap up;
  up.SetSize(4, 3);
  up.Canvas()->SetPixels(1, 1, clBlack);
  TBitmap mono;
  mono.Assign(&up);
  mono.Canvas()->Brush()->SetColor(clBlack);
  mono.SetMonochrome(true);
  TBitmap grey;
  grey.SetSize(4, 3);
  grey.Canvas()->Brush()->SetColor(clBtnFace);
  grey.Canvas()->FillRect(TRect{0, 0, 4, 3});
  grey.Canvas()->Brush()->SetColor(clBlack);
  grey.Canvas()->Font()->SetColor(clWhite);
  grey.Canvas()->SetCopyMode(cmMergePaint);
  grey.Canvas()->Draw(1, 1, &mono);
  grey.Canvas()->SetCopyMode(cmSrcAnd);
  grey.Canvas()->Draw(0, 0, &mono);
  grey.Canvas()->Brush()->SetColor(clBtnShadow);
  grey.Canvas()->Font()->SetColor(clBlack);
  grey.Canvas()->SetCopyMode(cmSrcPaint);
  grey.Canvas()->Draw(0, 0, &mono);
  const TColor face = ColorToRGB(clBtnFace), shadow = ColorToRGB(clBtnShadow);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      const TColor want = (x == 1 && y == 1) ? shadow : (x == 2 && y == 2) ? clWhite : face;
      EXPECT_EQ(grey.Canvas()->Pixels(x, y), want) << x << "," << y;
    }
}

TEST(Canvas, BrushCopyReplacesOnlyTheKeyColour) {
  TBitmap src;
  src.SetSize(2, 1);
  src.Canvas()->SetPixels(0, 0, clOlive);
  src.Canvas()->SetPixels(1, 0, TColor(0x008081));
  TBitmap dst;
  dst.SetSize(4, 1);
  dst.Canvas()->Brush()->SetColor(clRed);
  dst.Canvas()->BrushCopy(TRect{0, 0, 4, 1}, &src, TRect{0, 0, 2, 1}, clOlive);
  EXPECT_EQ(dst.Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(dst.Canvas()->Pixels(1, 0), clRed);
  EXPECT_EQ(dst.Canvas()->Pixels(2, 0), TColor(0x008081));
  EXPECT_EQ(dst.Canvas()->Pixels(3, 0), TColor(0x008081));
}

TEST(Canvas, CopyRectToMonochromeUsesTheSourceBrushColour) {
  TBitmap src;
  src.SetSize(3, 1);
  src.Canvas()->SetPixels(1, 0, clLime);
  src.Canvas()->Brush()->SetColor(clLime);
  TBitmap mask;
  mask.SetMonochrome(true);
  mask.SetSize(3, 1);
  EXPECT_TRUE(mask.Monochrome());
  mask.Canvas()->CopyRect(TRect{0, 0, 3, 1}, src.Canvas(), TRect{0, 0, 3, 1});
  EXPECT_EQ(mask.Canvas()->Pixels(0, 0), clBlack);
  EXPECT_EQ(mask.Canvas()->Pixels(1, 0), clWhite);
}

TEST(Canvas, TextRectFillsAndClips) {
  TBitmap b;
  b.SetSize(20, 20);
  b.Canvas()->Brush()->SetColor(clBlue);
  b.Canvas()->Font()->SetColor(clYellow);
  b.Canvas()->TextRect(TRect{2, 2, 8, 18}, 3, 3, "WWWWWW");
  EXPECT_EQ(b.Canvas()->Pixels(2, 17), clBlue);
  EXPECT_EQ(b.Canvas()->Pixels(8, 2), clWhite);
  bool ink = false;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      if (b.Canvas()->Pixels(x, y) != clYellow) continue;
      ink = true;
      EXPECT_TRUE(x >= 2 && x < 8 && y >= 2 && y < 18) << x << "," << y;
    }
  EXPECT_TRUE(ink);
  EXPECT_GT(b.Canvas()->TextWidth("WW"), b.Canvas()->TextWidth("W"));
  EXPECT_GT(b.Canvas()->TextHeight("X"), 0);
}

TEST(Canvas, FontSizeAndHeightAndChangesReachTheCanvas) {
  TFont f;
  EXPECT_EQ(f.Height(), -11);
  EXPECT_EQ(f.Size(), 8);
  f.SetSize(9);
  EXPECT_EQ(f.Height(), -12);
  int changes = 0;
  f.OnChange = TNotifyEvent::FromFunction([&](TObject*) { ++changes; });
  f.SetSize(9);
  EXPECT_EQ(changes, 0);
  f.SetStyle(TFontStyles{fsBold});
  EXPECT_EQ(changes, 1);
  LOGFONT lf;
  GetObject(f.Handle(), sizeof lf, &lf);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  // A brush changed after drawing takes effect on the next drawing.
  TBitmap b;
  b.SetSize(2, 1);
  b.Canvas()->Brush()->SetColor(clRed);
  b.Canvas()->FillRect(TRect{0, 0, 1, 1});
  b.Canvas()->Brush()->SetColor(clLime);
  b.Canvas()->FillRect(TRect{1, 0, 2, 1});
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(b.Canvas()->Pixels(1, 0), clLime);
}

TEST(Canvas, PatternBrushFromABitmap) {
  TBitmap pattern;
  pattern.SetSize(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) pattern.Canvas()->SetPixels(x, y, (x + y) % 2 ? clBtnFace : clWhite);
  TBitmap b;
  b.SetSize(10, 3);
  b.Canvas()->Brush()->SetBitmap(&pattern);
  b.Canvas()->FillRect(TRect{0, 0, 10, 3});
  EXPECT_EQ(b.Canvas()->Pixels(9, 1), clWhite);
  EXPECT_EQ(b.Canvas()->Pixels(8, 1), ColorToRGB(clBtnFace));
  b.Canvas()->Brush()->SetBitmap(nullptr);
}

TEST(Canvas, LockSerialisesThreads) {
  TCanvas c;
  c.Lock();
  c.Lock();
  EXPECT_EQ(c.LockCount(), 2);
  bool other = true;
  std::thread([&] { other = c.TryLock(); }).join();
  EXPECT_FALSE(other);
  c.Unlock();
  c.Unlock();
  std::thread([&] {
    other = c.TryLock();
    if (other) c.Unlock();
  }).join();
  EXPECT_TRUE(other);
}

TEST(Canvas, CanvasWithoutADeviceRaises) {
  TCanvas c;
  EXPECT_THROW(c.FillRect(TRect{0, 0, 1, 1}), EInvalidOperation);
}

TEST(Bitmap, MappedCopiesReplaceEachColourOnce) {
  TBitmap b;
  b.SetSize(3, 1);
  b.Canvas()->SetPixels(0, 0, clAqua);
  b.Canvas()->SetPixels(1, 0, clGreen);
  HBITMAP m = CreateMappedBmp(b.Handle(), {clAqua, clGreen}, {clGreen, clRed});
  TBitmap c;
  c.SetHandle(m);
  EXPECT_EQ(c.Canvas()->Pixels(0, 0), clGreen);  // not chained on to red
  EXPECT_EQ(c.Canvas()->Pixels(1, 0), clRed);
  EXPECT_EQ(c.Canvas()->Pixels(2, 0), clWhite);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clAqua);
}

}  // namespace
