// The graphics classes: bitmaps and their formats, streams and transparency, the
// canvas, and the picture's registry of graphic classes.
#include "platform/vcl/graphics.h"

#include <gtest/gtest.h>

#include <cstring>

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
