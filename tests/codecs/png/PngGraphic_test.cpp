// The picture as a graphic: registration with pictures, drawing with and without
// transparency, copies to and from bitmaps, palette, clipboard and resources.
#include "tests/codecs/png/PngTestUtil.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/win/resources.h"
#include "tests/support/TempFolder.h"
#include "tests/support/headless_gui.h"

using namespace pngtest;

namespace {

// A 24-bit bitmap filled with one colour.
std::unique_ptr<TBitmap> Canvas(int W, int H, TColor Background) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(W, H);
  bitmap->Canvas()->Brush()->SetColor(Background);
  bitmap->Canvas()->FillRect(Rect(0, 0, W, H));
  return bitmap;
}

TColor PixelOf(TBitmap& B, int X, int Y) { return B.Canvas()->Pixels(X, Y); }

// A palette image: entry 0 black, 1 green, 2 blue; pixel (x, y) uses entry (x + y) % 3.
pngref::Image ThreeColours(int W, int H) {
  pngref::Image img = pngref::MakeImage(uint32_t(W), uint32_t(H), 3, 8, 1);
  img.palette = {{0, 0, 0}, {0, 200, 0}, {0, 0, 200}};
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) img.SetSample(uint32_t(x), uint32_t(y), 0, uint32_t((x + y) % 3));
  return img;
}

TEST(PngGraphic, PicturesLoadPngFilesThroughTheRegistry) {
  auto bytes = pngref::Write(pngref::MakeImage(6, 4, 2, 8, 5));
  TempFolder folder;
  std::string file = folder / "picture.PNG";  // the extension in any case
  WriteFileBytes(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  TPicture picture;
  picture.LoadFromFile(file);
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_EQ(picture.Graphic()->ClassName(), "TPNGObject");
  EXPECT_EQ(picture.Width(), 6);
  EXPECT_NE(GraphicFilter(TGraphic::StaticClass()).find("Portable Network Graphics (*.png)"),
            std::string::npos);
  EXPECT_EQ(GraphicExtension(TPNGObject::StaticClass()), "png");

  // Form data names the class and carries the file.
  TMemoryStream data;
  picture.WriteData(&data);
  data.SetPosition(0);
  TPicture copy;
  copy.ReadData(&data);
  ASSERT_TRUE(Is<TPNGObject>(copy.Graphic()));
  EXPECT_TRUE(copy.Graphic()->Equals(picture.Graphic()));
  EXPECT_TRUE(SamePixels(*static_cast<TPNGObject*>(copy.Graphic()), pngref::Read(bytes)));
}

TEST(PngGraphic, SizeComesFromTheImage) {
  auto png = Load(pngref::Write(pngref::MakeImage(3, 2, 0, 8, 1)));
  try {
    png->SetWidth(10);
    FAIL();
  } catch (const EPngError& e) {
    EXPECT_EQ(e.Message(), EPNGCannotChangeSizeText);
  }
  EXPECT_THROW(png->SetHeight(10), EPngError);
  TPNGObject empty;
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.Width(), 0);
  auto canvas = Canvas(4, 4, clRed);
  canvas->Canvas()->StretchDraw(Rect(0, 0, 4, 4), &empty);  // draws nothing
  EXPECT_EQ(PixelOf(*canvas, 1, 1), clRed);
}

TEST(PngGraphic, OpaqueImagesDrawStretched) {
  auto png = Load(pngref::Write(pngref::MakeImage(5, 3, 2, 8, 7)));
  EXPECT_FALSE(png->Transparent());
  auto canvas = Canvas(12, 8, clRed);
  canvas->Canvas()->Draw(1, 1, png.get());
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelOf(*canvas, x + 1, y + 1), png->GetPixels(x, y));
  EXPECT_EQ(PixelOf(*canvas, 0, 0), clRed);
  canvas->Canvas()->StretchDraw(Rect(0, 0, 10, 6), png.get());
  EXPECT_EQ(PixelOf(*canvas, 9, 5), png->GetPixels(4, 2));
  EXPECT_EQ(PixelOf(*canvas, 3, 1), png->GetPixels(1, 0));

  // Grey and palette images draw through their colour tables.
  auto grey = Load(pngref::Write(pngref::MakeImage(4, 4, 0, 2, 3)));
  canvas->Canvas()->Draw(0, 0, grey.get());
  EXPECT_EQ(PixelOf(*canvas, 2, 3), grey->GetPixels(2, 3));
}

TEST(PngGraphic, BitTransparencyLeavesTheKeyColourOut) {
  pngref::Image img = ThreeColours(6, 4);
  img.trnsAlpha = {0};  // entry 0 (black) is transparent
  auto png = Load(pngref::Write(img));
  ASSERT_EQ(png->GetTransparencyMode(), ptmBit);
  EXPECT_TRUE(png->Transparent());
  auto canvas = Canvas(12, 8, clRed);
  canvas->Canvas()->StretchDraw(Rect(0, 0, 12, 8), png.get());
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x) {
      int entry = (x / 2 + y / 2) % 3;
      TColor want = entry == 0 ? clRed : entry == 1 ? TColor(RGB(0, 200, 0)) : TColor(RGB(0, 0, 200));
      EXPECT_EQ(PixelOf(*canvas, x, y), want) << x << "," << y;
    }
}

TEST(PngGraphic, AlphaBlendsOverTheBackground) {
  pngref::Image img = pngref::MakeImage(3, 1, 6, 8, 1);
  const uint8_t pixels[] = {0, 0, 0, 128, 10, 20, 30, 0, 40, 50, 60, 255};
  std::copy(std::begin(pixels), std::end(pixels), img.rows[0].begin());
  auto png = Load(pngref::Write(img));
  ASSERT_EQ(png->GetTransparencyMode(), ptmPartial);
  auto canvas = Canvas(5, 3, clRed);
  canvas->Canvas()->Draw(1, 1, png.get());
  // Black at alpha 128 over red: (0 × 128 + 127 × 255 + 255) shr 8 = 127.
  EXPECT_EQ(PixelOf(*canvas, 1, 1), TColor(RGB(127, 0, 0)));
  EXPECT_EQ(PixelOf(*canvas, 2, 1), clRed);
  EXPECT_EQ(PixelOf(*canvas, 3, 1), TColor(RGB(40, 50, 60)));
  EXPECT_EQ(PixelOf(*canvas, 0, 0), clRed);

  // Stretched, each destination pixel takes its source pixel's alpha.
  canvas->Canvas()->Brush()->SetColor(clWhite);
  canvas->Canvas()->FillRect(Rect(0, 0, 5, 3));
  canvas->Canvas()->StretchDraw(Rect(0, 0, 5, 3), png.get());
  EXPECT_EQ(PixelOf(*canvas, 4, 2), TColor(RGB(40, 50, 60)));
  EXPECT_EQ(PixelOf(*canvas, 2, 0), clWhite);

  // Translucent palette entries blend the same way.
  pngref::Image pal = ThreeColours(3, 1);
  pal.trnsAlpha = {128, 0};
  auto translucent = Load(pngref::Write(pal));
  ASSERT_EQ(translucent->GetTransparencyMode(), ptmPartial);
  canvas->Canvas()->Brush()->SetColor(clRed);
  canvas->Canvas()->FillRect(Rect(0, 0, 5, 3));
  canvas->Canvas()->Draw(0, 0, translucent.get());
  EXPECT_EQ(PixelOf(*canvas, 0, 0), TColor(RGB(127, 0, 0)));
  EXPECT_EQ(PixelOf(*canvas, 1, 0), clRed);
  EXPECT_EQ(PixelOf(*canvas, 2, 0), TColor(RGB(0, 0, 200)));
}

TEST(PngGraphic, CopiesToAndFromBitmaps) {
  auto canvas = Canvas(7, 5, clBlue);
  canvas->Canvas()->Pixels(0, 0);
  canvas->Canvas()->SetPixels(2, 3, TColor(RGB(1, 2, 3)));
  TPNGObject png;
  png.Assign(canvas.get());
  EXPECT_EQ(png.GetHeader()->ColorType, 2);
  EXPECT_EQ(png.GetHeader()->BitDepth, 8);
  std::vector<std::string> names;
  for (int i = 0; i < png.Chunks().Count(); ++i) names.push_back(png.Chunks().GetItem(i)->GetChunkName());
  EXPECT_EQ(names, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  EXPECT_EQ(png.GetPixels(2, 3), TColor(RGB(1, 2, 3)));
  EXPECT_EQ(png.GetPixels(6, 4), clBlue);
  // What was copied saves as a valid file.
  pngref::Image back = pngref::Read(Save(png));
  EXPECT_EQ(back.Sample(2, 3, 0), 1u);

  // An 8-bit bitmap with a transparent colour becomes a palette image with a key.
  auto indexed = Canvas(4, 4, clWhite);
  indexed->Canvas()->SetPixels(1, 1, clGreen);
  indexed->SetPixelFormat(pf8bit);
  indexed->SetTransparentColor(clWhite);
  indexed->SetTransparent(true);
  png.Assign(indexed.get());
  names.clear();
  for (int i = 0; i < png.Chunks().Count(); ++i) names.push_back(png.Chunks().GetItem(i)->GetChunkName());
  EXPECT_EQ(names, (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}));
  EXPECT_EQ(png.GetTransparencyMode(), ptmBit);
  EXPECT_EQ(png.GetTransparentColor(), clWhite);
  EXPECT_EQ(png.GetPixels(1, 1), clGreen);
  EXPECT_EQ(pngref::Read(Save(png)).palette.size(), 256u);

  // And back to a bitmap, with the key as its transparent colour.
  TBitmap bitmap;
  bitmap.Assign(&png);
  EXPECT_EQ(bitmap.Width(), 4);
  EXPECT_TRUE(bitmap.Transparent());
  EXPECT_EQ(bitmap.TransparentColor(), clWhite);
  EXPECT_EQ(PixelOf(bitmap, 1, 1), clGreen);
  EXPECT_EQ(PixelOf(bitmap, 3, 0), clWhite);

  TBitmap nothing;
  png.Assign(&nothing);
  EXPECT_TRUE(png.Empty());

  // Other graphics cannot be copied in.
  TIcon icon;
  EXPECT_THROW(png.Assign(&icon), EConvertError);
  png.Assign(nullptr);
  EXPECT_TRUE(png.Empty());
}

TEST(PngGraphic, PaletteHandleAndClipboard) {
  auto png = Load(pngref::Write(ThreeColours(3, 3)));
  HPALETTE palette = png->Palette();
  ASSERT_NE(palette, nullptr);
  EXPECT_EQ(png->Palette(), palette);  // made once
  PALETTEENTRY entries[3];
  ASSERT_EQ(GetPaletteEntries(palette, 0, 3, entries), 3u);
  EXPECT_EQ(entries[1].peGreen, 200);
  auto rgb = Load(pngref::Write(pngref::MakeImage(3, 3, 2, 8, 1)));
  EXPECT_EQ(rgb->Palette(), nullptr);

  uint16_t format;
  HANDLE data;
  HPALETTE clipPalette;
  rgb->SaveToClipboardFormat(format, data, clipPalette);
  EXPECT_EQ(format, CF_BITMAP);
  TPNGObject pasted;
  pasted.LoadFromClipboardFormat(format, data, clipPalette);
  DeleteObject(reinterpret_cast<HBITMAP>(data));
  if (clipPalette) DeleteObject(clipPalette);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(pasted.GetPixels(x, y), rgb->GetPixels(x, y));
}

TEST(PngGraphic, LoadsFromTheProgramsResources) {
  TPNGObject png;
  // Raw data first, whatever the case of the name; the same name as type PNG is second.
  png.LoadFromResourceName(nullptr, "rAW");
  ASSERT_EQ(png.Width(), 2);
  EXPECT_EQ(png.GetPixels(0, 0), TColor(RGB(255, 0, 0)));
  EXPECT_EQ(png.GetPixels(1, 1), TColor(RGB(9, 8, 7)));
  // The program's artwork carries the type PNG.
  png.LoadFromResourceName(nullptr, "STEP_a");
  ASSERT_EQ(png.Width(), 3);
  EXPECT_EQ(png.GetPixels(2, 0), TColor(RGB(70, 80, 90)));
  // A resource that is no picture fails as a stream would.
  EXPECT_THROW(png.LoadFromResourceName(nullptr, "NotAPicture"), EPNGInvalidFileHeader);

  try {
    png.LoadFromResourceName(nullptr, "NOSUCHPICTURE");
    FAIL();
  } catch (const EPNGCouldNotLoadResource& e) {
    EXPECT_EQ(e.Message(), EPNGCouldNotLoadResourceText);
  }
  EXPECT_THROW(png.LoadFromResourceID(nullptr, 4711), EPNGCouldNotLoadResource);
  // Only the module asked for is searched: the platform library has no pictures.
  HMODULE platform = ModuleOfAddress(reinterpret_cast<const void*>(&FindResource));
  ASSERT_NE(platform, GetModuleHandle(nullptr));
  EXPECT_THROW(png.LoadFromResourceName(platform, "Raw"), EPNGCouldNotLoadResource);
}

TEST(PngGraphic, PicturesImagesAndBitmapsTakeAResourcePicture) {
  THeadlessGui gui;
  TPNGObject png;
  png.LoadFromResourceName(nullptr, "Raw");

  TForm form(Application);
  form.SetBorderStyle(bsNone);
  form.SetBounds(0, 0, 40, 40);
  form.SetColor(clWhite);
  auto* image = new TImage(&form);
  image->SetBounds(10, 10, 8, 8);
  image->SetStretch(true);
  image->SetParent(&form);
  image->Picture()->Assign(&png);
  ASSERT_TRUE(Is<TPNGObject>(image->Picture()->Graphic()));
  form.Show();
  EXPECT_EQ(THeadlessGui::Pixel(&form, 10, 10), RGB(255, 0, 0));
  EXPECT_EQ(THeadlessGui::Pixel(&form, 17, 17), RGB(9, 8, 7));
  EXPECT_EQ(THeadlessGui::Pixel(&form, 14, 10), RGB(0, 255, 0));
  EXPECT_EQ(THeadlessGui::Pixel(&form, 9, 9), RGB(255, 255, 255));

  // Through the picture to a bitmap, as a button's pictures are set.
  TBitmap bitmap;
  bitmap.Assign(image->Picture());
  ASSERT_EQ(bitmap.Width(), 2);
  EXPECT_EQ(PixelOf(bitmap, 1, 0), TColor(RGB(0, 255, 0)));
  EXPECT_EQ(PixelOf(bitmap, 0, 1), TColor(RGB(0, 0, 255)));
  image->Picture()->Bitmap()->Assign(&png);
  EXPECT_EQ(image->Picture()->Width(), 2);
  form.Hide();
}

}  // namespace
