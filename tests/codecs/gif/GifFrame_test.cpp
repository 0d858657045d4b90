// One frame: its bounds on the logical screen, rendering with a mask, drawing
// (stretched, tiled, transparent), taking its picture from other graphics, cropping and
// merging.
#include <gtest/gtest.h>

#include "tests/codecs/gif/GifAnimation.h"

using namespace giftest;

namespace {

// A frame of Width x Height pixels in an image with a global table of 16 colours; the
// frame belongs to the image.
TGIFSubImage* AddFrame(TGIFImage& Image, const TRect& Bounds, const Bytes& Pixels) {
  if (Image.GetColorMap()->Count() == 0)
    for (const auto& c : Palette(16, 9)) Image.GetColorMap()->Add(ColorOf(c.Red, c.Green, c.Blue));
  auto* frame = new TGIFSubImage(&Image);
  Image.Add(frame);
  frame->SetBoundsRect(Bounds);
  std::copy(Pixels.begin(), Pixels.end(), frame->Data());
  return frame;
}

TGIFGraphicControlExtension* MakeTransparent(TGIFSubImage* Frame, int Index, TDisposalMethod Disposal = dmNone) {
  auto gce = std::make_unique<TGIFGraphicControlExtension>(Frame);
  TGIFGraphicControlExtension* g = gce.get();
  Frame->Extensions()->Add(std::move(gce));
  g->SetTransparentColorIndex(Index);
  g->SetTransparent(Index >= 0);
  g->SetDisposal(Disposal);
  return g;
}

TColor MapColor(TGIFSubImage* Frame, int Index) { return Frame->GetActiveColorMap()->GetColor(Index); }

std::unique_ptr<TBitmap> Filled(int Width, int Height, TColor Color) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(Width, Height);
  b->Canvas()->Brush()->SetColor(Color);
  b->Canvas()->FillRect(Rect(0, 0, Width, Height));
  return b;
}

TEST(GifFrame, BoundsGrowTheScreenWithWarnings) {
  const struct {
    int screen;
    std::vector<std::string> warnings;
  } cases[] = {{25, {sBadWidth, sScreenSizeExceeded}}, {0, {}}, {30, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.screen);
    TestImage image;
    image.SetWidth(c.screen);
    image.SetHeight(5);
    TGIFSubImage* frame = AddFrame(image, Rect(10, 0, 30, 5), Bytes(100, 7));
    EXPECT_EQ(image.Warnings, c.warnings);
    EXPECT_EQ(image.Width(), 30);
    // The same bounds again keep the pixels; another width makes new, blank ones.
    frame->SetBoundsRect(frame->GetBoundsRect());
    EXPECT_EQ(frame->GetPixel(19, 4), 7);
    frame->SetBounds(3, 21);
    EXPECT_EQ(frame->GetPixel(20, 4), 0);
    EXPECT_EQ(ErrorOf([&] { frame->GetPixel(21, 0); }), sBadPixelCoordinates);
  }
  // A descriptor of no size takes the screen's.
  Bytes file = gifref::WrapImageData(6, 4, 2, gifref::LZWStream(Indices(24, 4, 1), 2, 255, false));
  std::fill_n(file.begin() + 13 + 12 + 5, 4, 0);
  auto image = Load(file);
  EXPECT_EQ(image->Images()->SubImages(0)->GetBoundsRect(), Rect(0, 0, 6, 4));
  EXPECT_EQ(image->Warnings, std::vector<std::string>{sScreenSizeExceeded});
}

TEST(GifFrame, RendersItsColoursAndMasksItsTransparentPixels) {
  for (const bool dither : {false, true}) {
    SCOPED_TRACE(dither ? "dithered" : "exact");
    TestImage image;
    if (dither) image.SetDrawOptions({goDither});
    TGIFSubImage* frame = AddFrame(image, Rect(0, 0, 4, 3), {0, 1, 2, 3, 3, 2, 1, 0, 5, 5, 5, 5});
    // Web colours survive dithering unchanged.
    for (int i = 0; i < 6; ++i) frame->GetActiveColorMap()->SetColor(i, ColorOf(uint8_t(51 * i), 102, uint8_t(255 - 51 * i)));
    MakeTransparent(frame, 5);
    std::vector<std::string> progress;
    image.OnProgress = TProgressEvent::FromFunction(
        [&](TObject*, TProgressStage Stage, uint8_t Percent, bool, const TRect&, const std::string& Msg) {
          progress.push_back(std::to_string(int(Stage)) + ":" + std::to_string(Percent) + ":" + Msg);
        });
    TBitmap* bitmap = frame->GetBitmap();
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(progress, (std::vector<std::string>{"0:0:Rendering...", "1:0:Rendering...", "2:100:Rendering..."}));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x) EXPECT_EQ(bitmap->Canvas()->Pixels(x, y), MapColor(frame, frame->GetPixel(x, y)));
    ASSERT_TRUE(frame->HasMask());
    auto target = Filled(4, 3, clBlue);
    frame->Draw(target->Canvas(), Rect(0, 0, 4, 3), true, false);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(target->Canvas()->Pixels(x, 2), clBlue);
    EXPECT_EQ(target->Canvas()->Pixels(1, 0), MapColor(frame, 1));
  }
}

TEST(GifFrame, ACancelledRenderingIsQuiet) {
  TestImage image;
  TGIFSubImage* frame = AddFrame(image, Rect(0, 0, 4, 40), Bytes(160, 3));
  image.OnProgress = TProgressEvent::FromFunction(
      [&](TObject*, TProgressStage Stage, uint8_t, bool, const TRect&, const std::string&) {
        if (Stage == psRunning) throw EAbort("");
      });
  EXPECT_EQ(frame->GetBitmap(), nullptr);
  image.OnProgress = nullptr;
  EXPECT_NE(frame->GetBitmap(), nullptr);
}

TEST(GifFrame, DrawsStretchedTiledAndWithOrWithoutItsTransparentPixels) {
  TestImage image;
  TGIFSubImage* frame = AddFrame(image, Rect(0, 0, 3, 2), {1, 2, 9, 9, 4, 5});
  MakeTransparent(frame, 9);
  const struct {
    const char* name;
    TRect rect;
    bool transparent, tile;
    int sx, sy;  // source pixels per destination pixel, as a shift
  } cases[] = {
      {"as it is", Rect(0, 0, 3, 2), true, false, 0, 0},
      {"stretched", Rect(0, 0, 6, 4), true, false, 1, 1},
      {"opaque", Rect(0, 0, 3, 2), false, false, 0, 0},
      {"tiled", Rect(0, 0, 6, 4), true, true, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto target = Filled(6, 4, clBlue);
    frame->Draw(target->Canvas(), c.rect, c.transparent, c.tile);
    for (int y = 0; y < c.rect.bottom; ++y)
      for (int x = 0; x < c.rect.right; ++x) {
        const int index = c.tile ? frame->GetPixel(x % 3, y % 2) : frame->GetPixel(x >> c.sx, y >> c.sy);
        const TColor expected = index == 9 && c.transparent ? clBlue : MapColor(frame, index);
        ASSERT_EQ(target->Canvas()->Pixels(x, y), expected) << x << "," << y;
      }
  }
  // An empty frame draws nothing.
  auto* empty = new TGIFSubImage(&image);
  image.Add(empty);
  auto target = Filled(6, 4, clBlue);
  empty->Draw(target->Canvas(), Rect(0, 0, 6, 4), true, true);
  EXPECT_EQ(target->Canvas()->Pixels(0, 0), clBlue);
}

TEST(GifFrame, TakesItsPictureFromBitmapsOfEveryFormat) {
  const Bytes rgb = Plasma(7, 5);
  for (const TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf15bit, pf24bit, pf32bit}) {
    SCOPED_TRACE(int(format));
    auto source = Bitmap24(7, 5, rgb);
    // Indexed formats take the bitmap's own colours; the others are reduced.
    if (format != pf24bit) source->SetPixelFormat(format);
    TBitmap copy;
    copy.Assign(source.get());
    TestImage image;
    image.SetColorReduction(rmQuantize);
    image.Add(source.get());
    EXPECT_EQ(source->PixelFormat(), format) << "the source stays as it was";
    TGIFSubImage* frame = image.Images()->SubImages(0);
    ASSERT_EQ(frame->GetBoundsRect(), Rect(0, 0, 7, 5));
    const bool exact = format == pf1bit || format == pf4bit || format == pf8bit;
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) {
        const TColor want = copy.Canvas()->Pixels(x, y);
        const TColor got = MapColor(frame, frame->GetPixel(x, y));
        if (exact)
          ASSERT_EQ(got, want) << x << "," << y;
        else
          for (int k = 0; k < 24; k += 8) ASSERT_NEAR((got >> k) & 0xFF, (want >> k) & 0xFF, 24) << x << "," << y;
      }
  }
  // More than 256 colours without a reduction overflow the table.
  Bytes many(300 * 3);
  for (int i = 0; i < 300; ++i) many[size_t(3 * i)] = uint8_t(i), many[size_t(3 * i + 1)] = uint8_t(i >> 8);
  auto wide = Bitmap24(300, 1, many);
  TestImage image;
  image.SetColorReduction(rmNone);
  EXPECT_EQ(ErrorOf([&] { image.Add(wide.get()); }), sTooManyColors);
  image.SetColorReduction(rmNetscape);
  image.Add(wide.get());
  EXPECT_LE(image.Images()->SubImages(0)->ColorMap()->Count(), 256);
}

TEST(GifFrame, TakesTransparencyFromBitmapMasksAndIcons) {
  // A transparent bitmap: its transparent colour's pixels become a new black entry.
  auto bitmap = Filled(4, 4, clRed);
  bitmap->Canvas()->Brush()->SetColor(clLime);
  bitmap->Canvas()->FillRect(Rect(0, 0, 2, 4));
  bitmap->SetTransparentColor(clLime);
  bitmap->SetTransparent(true);
  TestImage image;
  image.SetColorReduction(rmNone);
  image.Add(bitmap.get());
  TGIFSubImage* frame = image.Images()->SubImages(0);
  ASSERT_TRUE(frame->Transparent());
  const int t = frame->GraphicControlExtension()->GetTransparentColorIndex();
  EXPECT_EQ(t, frame->ColorMap()->Count() - 1);
  EXPECT_EQ(MapColor(frame, t), clBlack);
  EXPECT_EQ(frame->GetPixel(1, 3), t);
  EXPECT_EQ(MapColor(frame, frame->GetPixel(3, 3)), clRed);

  // A table already full leaves the frame opaque.
  TBitmap full;
  full.SetPixelFormat(pf8bit);
  full.SetSize(16, 16);
  LOGPALETTE256 lp;
  lp.palNumEntries = 256;
  for (int i = 0; i < 256; ++i) lp.palPalEntry[i] = PALETTEENTRY{uint8_t(i), uint8_t(255 - i), 7, 0};
  full.SetPalette(CreatePalette(lp.get()));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) static_cast<uint8_t*>(full.ScanLine(y))[x] = uint8_t(16 * y + x);
  full.SetTransparentColor(ColorOf(0, 255, 7));
  full.SetTransparent(true);
  TestImage fullImage;
  fullImage.Add(&full);
  EXPECT_FALSE(fullImage.Images()->SubImages(0)->Transparent());

  // An icon: its mask's set pixels are transparent.
  ICONINFO info{};
  auto color = Filled(4, 4, clYellow);
  const uint16_t maskRows[4] = {0x00C0, 0x00C0, 0, 0};  // (0, 0), (1, 0), (0, 1), (1, 1)
  info.hbmColor = color->Handle();
  info.hbmMask = CreateBitmap(4, 4, 1, 1, maskRows);
  TIcon icon;
  icon.SetHandle(CreateIconIndirect(&info));
  DeleteObject(info.hbmMask);
  TestImage iconImage;
  iconImage.Add(&icon);
  TGIFSubImage* iconFrame = iconImage.Images()->SubImages(0);
  ASSERT_TRUE(iconFrame->Transparent());
  const int it = iconFrame->GraphicControlExtension()->GetTransparentColorIndex();
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(iconFrame->GetPixel(x, y) == it, x < 2 && y < 2) << x << "," << y;
}

TEST(GifFrame, CopiesAnotherFrameWhole) {
  auto image = Load(gifref::Encode(Animation(20, 10, {{2, 3, 10, 6, dmBackground, true, true, true}}, 4)));
  TGIFSubImage* source = image->Images()->SubImages(0);
  TestImage other;
  auto* copy = new TGIFSubImage(&other);
  other.Add(copy);
  copy->Assign(source);
  EXPECT_EQ(copy->GetBoundsRect(), source->GetBoundsRect());
  EXPECT_TRUE(std::equal(copy->Data(), copy->Data() + copy->DataSize(), source->Data()));
  EXPECT_EQ(copy->ColorMap()->Count(), 8);
  ASSERT_TRUE(copy->GraphicControlExtension());
  EXPECT_NE(copy->GraphicControlExtension(), source->GraphicControlExtension());
  EXPECT_EQ(copy->GraphicControlExtension()->GetDisposal(), dmBackground);
  EXPECT_TRUE(copy->Transparent());
  EXPECT_TRUE(copy->GetInterlaced());
}

TEST(GifFrame, CropKeepsTheOpaquePart) {
  TestImage image;
  Bytes pixels(36, 9);
  pixels[4 * 6 + 3] = 1;
  TGIFSubImage* frame = AddFrame(image, Rect(2, 1, 8, 7), pixels);
  MakeTransparent(frame, 9);
  frame->Crop();
  EXPECT_EQ(frame->GetBoundsRect(), Rect(5, 5, 6, 6));
  EXPECT_EQ(frame->GetPixel(0, 0), 1);
  TGIFSubImage* blank = AddFrame(image, Rect(0, 0, 3, 3), Bytes(9, 9));
  MakeTransparent(blank, 9);
  blank->Crop();
  EXPECT_TRUE(blank->Empty());
  EXPECT_EQ(blank->Extensions()->Count(), 0);
  TGIFSubImage* opaque = AddFrame(image, Rect(0, 0, 3, 3), Bytes(9, 9));
  opaque->Crop();
  EXPECT_EQ(opaque->GetBoundsRect(), Rect(0, 0, 3, 3));
}

TEST(GifFrame, MergeMakesRepeatedPixelsTransparentAndNothingElse) {
  // Frame 0 shows 4 6 / 4 6; frame 1 repeats the first column and the colour of index 6
  // with index 7 (the same colour); index 3 is frame 2's transparent index, which frame
  // 1 shows as a colour.
  TestImage image;
  TGIFSubImage* first = AddFrame(image, Rect(0, 0, 2, 2), {4, 6, 4, 6});
  TGIFSubImage* next = AddFrame(image, Rect(0, 0, 3, 2), {4, 7, 3, 4, 2, 3});
  TGIFSubImage* later = AddFrame(image, Rect(0, 0, 1, 1), {3});
  MakeTransparent(later, 3);
  image.GetColorMap()->SetColor(7, image.GetColorMap()->GetColor(6));
  const int colors = image.GetColorMap()->Count();

  // Nothing merges after a frame that disposes of itself, nor without overlap.
  TGIFGraphicControlExtension* gce = MakeTransparent(first, -1, dmPrevious);
  next->Merge(first);
  EXPECT_FALSE(next->Transparent());
  gce->SetDisposal(dmNone);
  TGIFSubImage* apart = AddFrame(image, Rect(5, 5, 6, 6), {4});
  apart->Merge(first);
  EXPECT_FALSE(apart->Transparent());

  next->Merge(first);
  ASSERT_TRUE(next->Transparent());
  const int t = next->GraphicControlExtension()->GetTransparentColorIndex();
  EXPECT_NE(t, 3) << "an index the frame shows as a colour never stands for transparency";
  EXPECT_EQ(Bytes(next->Data(), next->Data() + 6), (Bytes{uint8_t(t), uint8_t(t), 3, uint8_t(t), 2, 3}));
  EXPECT_EQ(image.GetColorMap()->Count(), colors) << "an unused entry served";
}

}  // namespace
