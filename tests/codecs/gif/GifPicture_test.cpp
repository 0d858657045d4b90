// The picture class as the framework's pictures use it: settings, loading, drawing one
// frame or an animation, the picture registry, the clipboard, resources and form
// streams, and the optimisers' particular cases.
#include <gtest/gtest.h>

#include "platform/vcl/clipbrd.h"
#include "platform/win/messages.h"
#include "tests/codecs/gif/GifAnimation.h"

using namespace giftest;

namespace {

const TColor kBackground = ColorOf(1, 2, 3);

// Frames of one colour each on a screen of 6 x 4, the global table holding them.
std::unique_ptr<TestImage> Solid(const std::vector<TColor>& Colors) {
  gifref::File f;
  f.width = 6, f.height = 4;
  for (TColor c : Colors) f.colors.push_back({GifByteType(c), GifByteType(c >> 8), GifByteType(c >> 16)});
  for (size_t i = 0; i < Colors.size(); ++i) {
    gifref::Frame fr;
    fr.width = 6, fr.height = 4;
    fr.pixels = Bytes(24, uint8_t(i));
    fr.extensions.push_back({0xF9, {{0, 10, 0, 0}}});
    f.frames.push_back(std::move(fr));
  }
  return Load(gifref::Encode(f));
}

TEST(GifPicture, SettingsAndTheirLimits) {
  TestImage image;
  image.SetAnimationSpeed(-5);
  EXPECT_EQ(image.AnimationSpeed(), 0);
  image.SetAnimationSpeed(5000);
  EXPECT_EQ(image.AnimationSpeed(), 1000);
  for (int bits : {2, 9}) EXPECT_EQ(ErrorOf([&] { image.SetReductionBits(bits); }), sInvalidBitSize);
  image.SetReductionBits(3);
  image.SetReductionBits(8);
  EXPECT_EQ(ErrorOf([&] { image.Add(Clipboard()); }), sUnsupportedClass);

  auto source = Solid({clRed, clBlue});
  EXPECT_EQ(ErrorOf([&] { source->Optimize({ooReduceColors}, rmPalette, dmNearest, 8); }), sInvalidReduction);
  source->SetDrawOptions({goTile, goDither});
  source->SetReductionBits(4);
  source->SetCompression(gcRLE);
  source->SetAnimationSpeed(30);
  source->SetPaintBackgroundColor(clAqua);
  TestImage copy;
  copy.Assign(source.get());
  EXPECT_EQ(copy.DrawOptions(), (TGIFDrawOptions{goTile, goDither}));
  EXPECT_EQ(copy.PaintBackgroundColor(), clAqua);
  EXPECT_EQ(copy.ReductionBits(), 8);
  EXPECT_EQ(copy.Compression(), gcLZW);
  EXPECT_EQ(copy.AnimationSpeed(), 100);
  EXPECT_EQ(Save(copy), Save(*source));

  // Dithering follows goDither, and goAutoDither only on a palette screen.
  const struct {
    TGIFDrawOptions options;
    bool autoDither, dither;
  } dithers[] = {{{}, true, false}, {{goDither}, false, true}, {{goDither, goAutoDither}, false, false},
                 {{goDither, goAutoDither}, true, true}};
  const bool saved = DoAutoDither;
  for (const auto& d : dithers) {
    DoAutoDither = d.autoDither;
    image.SetDrawOptions(d.options);
    EXPECT_EQ(image.GetDoDither(), d.dither);
  }
  DoAutoDither = saved;
}

TEST(GifPicture, LoadingKeepsWhatWasReadOrNothing) {
  // A stray block after the first frame: that frame stays, with a warning.
  auto good = Solid({clRed, clBlue});
  const Bytes file = Save(*good);
  TMemoryStream frame;
  good->Images()->SubImages(0)->SaveToStream(&frame);
  Bytes one(file.begin(), file.begin() + 13 + 6);
  const Bytes first = BytesOf(frame);
  one.insert(one.end(), first.begin(), first.end());
  one.insert(one.end(), {'x', ';'});
  auto cut = Load(one);
  EXPECT_EQ(cut->Images()->Count(), 1);
  ASSERT_FALSE(cut->Warnings.empty());
  EXPECT_EQ(cut->Warnings[0], sBadBlock);

  // An empty frame's control block does not come back as the next frame's.
  auto withEmpty = Solid({clRed});
  auto* empty = new TGIFSubImage(withEmpty.get());
  withEmpty->Images()->Insert(0, std::unique_ptr<TGIFItem>(empty));
  auto gce = std::make_unique<TGIFGraphicControlExtension>(empty);
  gce->SetTransparent(true);
  empty->Extensions()->Add(std::move(gce));
  auto reloaded = Load(Save(*withEmpty));
  ASSERT_EQ(reloaded->Images()->Count(), 1);
  EXPECT_FALSE(reloaded->Images()->SubImages(0)->Transparent());

  // A failed load leaves the image empty and the stream where it was.
  TestImage image;
  image.Assign(good.get());
  TMemoryStream bad = StreamOf({'x', 'y', 'G', 'I', 'F', '8', '9', 'a', 1});
  bad.SetPosition(2);
  EXPECT_EQ(ErrorOf([&] { image.LoadFromStream(&bad); }), sOutOfData);
  EXPECT_EQ(bad.Position(), 2);
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), 0);

  // Frames beyond a screen of no size widen it, so that it can be drawn and tiled.
  Bytes tiny = gifref::WrapImageData(5, 3, 2, gifref::LZWStream(Indices(15, 4, 2), 2, 255, false));
  std::fill_n(tiny.begin() + 6, 4, 0);
  auto grown = Load(tiny);
  EXPECT_EQ(grown->Width(), 5);
  EXPECT_EQ(grown->Height(), 3);
  EXPECT_EQ(grown->Warnings, std::vector<std::string>{sScreenSizeExceeded});
  grown->SetDrawOptions({goTile});
  TBitmap target;
  target.SetSize(12, 7);
  target.Canvas()->StretchDraw(Rect(0, 0, 12, 7), grown.get());
  EXPECT_EQ(target.Canvas()->Pixels(11, 6), target.Canvas()->Pixels(1, 0));
}

TEST(GifPicture, DrawsOneFrameItselfAndAnAnimationThroughItsPainter) {
  TBitmap target;
  target.SetSize(6, 4);
  // One frame: drawn at once, by no painter.
  auto still = Solid({clRed});
  target.Canvas()->StretchDraw(Rect(0, 0, 6, 4), still.get());
  EXPECT_EQ(target.Canvas()->Pixels(5, 3), clRed);
  EXPECT_EQ(still->ActivePainter(), nullptr);
  EXPECT_EQ(still->Painters()->LockList()->Count(), 0);
  still->Painters()->UnlockList();

  // An animation: Draw returns once its painter has shown the first frame.
  auto animation = Solid({clLime, clBlue});
  target.Canvas()->StretchDraw(Rect(0, 0, 6, 4), animation.get());
  EXPECT_EQ(target.Canvas()->Pixels(0, 0), clLime);
  ASSERT_NE(animation->ActivePainter(), nullptr);
  HANDLE thread = animation->ActivePainter()->Handle();
  animation->StopDraw();
  EXPECT_EQ(animation->ActivePainter(), nullptr);
  EXPECT_NE(WaitForSingleObject(thread, INFINITE), WAIT_TIMEOUT);

  // Draw called again from inside its own drawing returns at once.
  int nested = 0;
  still->OnProgress = TProgressEvent::FromFunction(
      [&](TObject*, TProgressStage Stage, uint8_t, bool, const TRect&, const std::string&) {
        if (Stage != psStarting) return;
        ++nested;
        target.Canvas()->StretchDraw(Rect(0, 0, 6, 4), still.get());
      });
  still->Pack();
  target.Canvas()->StretchDraw(Rect(0, 0, 6, 4), still.get());
  EXPECT_EQ(nested, 1);

  // Frames with nothing to paint: Draw does not wait for ever, nor does the painter
  // go round for ever.
  TestImage empty;
  empty.GetColorMap()->Add(clRed);
  empty.SetWidth(6);
  empty.SetHeight(4);
  empty.Images()->Add(std::make_unique<TGIFSubImage>(&empty));
  empty.Images()->Add(std::make_unique<TGIFSubImage>(&empty));
  empty.SetDrawOptions(GIFImageDefaultDrawOptions + TGIFDrawOptions{goLoopContinously});
  target.Canvas()->StretchDraw(Rect(0, 0, 6, 4), &empty);
  EXPECT_EQ(empty.ActivePainter(), nullptr);
}

TEST(GifPicture, RegisteredForGifFilesAndTheClipboard) {
  TempDir dir;
  auto image = Solid({clRed, clBlue, clLime});
  image->SaveToFile(dir / "three.GIF");
  TPicture picture;
  picture.LoadFromFile(dir / "three.GIF");
  auto* loaded = As<TGIFImage>(picture.Graphic());
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->Images()->Count(), 3);

  // Copied, the clipboard holds the GIF and its first frame as a bitmap; pasted, the GIF.
  Clipboard()->Assign(loaded);
  EXPECT_TRUE(Clipboard()->HasFormat(uint16_t(CF_GIF)));
  EXPECT_TRUE(Clipboard()->HasFormat(CF_BITMAP));
  TPicture pasted;
  pasted.Assign(Clipboard());
  auto* gif = As<TGIFImage>(pasted.Graphic());
  ASSERT_TRUE(gif);
  EXPECT_EQ(Save(*gif), Save(*image));
  TBitmap bitmap;
  bitmap.LoadFromClipboardFormat(CF_BITMAP, Clipboard()->GetAsHandle(CF_BITMAP), nullptr);
  EXPECT_EQ(bitmap.Canvas()->Pixels(2, 2), clRed);
  TestImage fromBitmap;
  fromBitmap.LoadFromClipboardFormat(CF_BITMAP, nullptr, nullptr);
  EXPECT_EQ(fromBitmap.Images()->Count(), 1);
  EXPECT_THROW(fromBitmap.LoadFromClipboardFormat(CF_TEXT, nullptr, nullptr), EInvalidGraphic);

  // Without the clipboard open the GIF cannot go on it; nothing is left behind.
  uint16_t format = 0;
  HANDLE data = nullptr;
  HPALETTE palette = nullptr;
  EXPECT_EQ(ErrorOf([&] { image->SaveToClipboardFormat(format, data, palette); }), sFailedPaste);
  EXPECT_EQ(data, nullptr);

  // The class leaves the registry with its unit.
  GIFImageFinalize();
  EXPECT_THROW(picture.LoadFromFile(dir / "three.GIF"), EInvalidGraphic);
  EXPECT_FALSE(TPicture::SupportsClipboardFormat(uint16_t(CF_GIF)));
  GIFImageInitialize();
  picture.LoadFromFile(dir / "three.GIF");
}

TEST(GifPicture, ResourcesAndFormStreams) {
  TestImage image;
  image.LoadFromResourceName(nullptr, "checker");
  ASSERT_EQ(image.Images()->Count(), 1);
  EXPECT_EQ(image.Images()->SubImages(0)->GetPixel(1, 0), 1);
  EXPECT_THROW(image.LoadFromResourceName(nullptr, "NoSuchPicture"), EResNotFound);

  // A form stores the picture by class name and data; optimising on the way, if asked.
  auto source = Solid({clRed, clRed, clBlue});
  for (const bool optimize : {false, true}) {
    SCOPED_TRACE(optimize);
    GIFImageOptimizeOnStream = optimize;
    TPicture picture;
    picture.SetGraphic(source.get());
    TMemoryStream form;
    picture.WriteData(&form);
    GIFImageOptimizeOnStream = false;
    form.SetPosition(0);
    TPicture read;
    read.ReadData(&form);
    auto* gif = As<TGIFImage>(read.Graphic());
    ASSERT_TRUE(gif);
    EXPECT_TRUE(Timeline(Play(*gif, kBackground)) == Timeline(Play(*source, kBackground)));
    EXPECT_EQ(gif->Images()->Count(), optimize ? 2 : 3);
  }
}

TEST(GifPicture, OneGlobalTableOfTheColoursInUse) {
  // Two frames with local tables of the same ten colours.
  gifref::File f;
  f.width = 5, f.height = 2;
  const auto ten = Palette(10, 1);
  for (int i = 0; i < 2; ++i) {
    gifref::Frame fr;
    fr.width = 5, fr.height = 2;
    fr.colors = ten;
    if (i == 1) std::reverse(fr.colors.begin(), fr.colors.end());
    for (int k = 0; k < 10; ++k) fr.pixels.push_back(uint8_t(i == 0 ? k : 9 - k));
    f.frames.push_back(fr);
  }
  auto shared = Load(gifref::Encode(f));
  const auto before = Timeline(Play(*shared, kBackground));
  shared->OptimizeColorMap();
  EXPECT_EQ(shared->GetColorMap()->Count(), 10);
  EXPECT_EQ(shared->Images()->SubImages(0)->ColorMap()->Count(), 0);
  EXPECT_EQ(shared->Images()->SubImages(1)->ColorMap()->Count(), 0);
  EXPECT_TRUE(Timeline(Play(*shared, kBackground)) == before);

  // 300 colours in two tables: the 256 most used stay; each of the others takes a kept
  // colour nearest to it in brightness.
  gifref::File g;
  g.width = 150, g.height = 3;
  for (int part = 0; part < 2; ++part) {
    gifref::Frame fr;
    fr.width = 150, fr.height = part ? 2 : 3;
    for (int k = 0; k < 150; ++k) fr.colors.push_back({GifByteType(k), GifByteType(part * 100), GifByteType(50 + part * 150)});
    for (int y = 0; y < fr.height; ++y)
      for (int k = 0; k < 150; ++k) fr.pixels.push_back(uint8_t(part && y == 1 && k >= 106 ? 0 : k));
    g.frames.push_back(fr);
  }
  auto many = Load(gifref::Encode(g));
  many->OptimizeColorMap();
  TGIFColorMap* map = many->GetColorMap();
  ASSERT_EQ(map->Count(), 256);
  auto sum = [](const TGIFColor& c) { return c.Red + c.Green + c.Blue; };
  const TGIFSubImage* second = many->Images()->SubImages(1);
  for (int k = 106; k < 150; ++k) {
    const int wanted = k + 100 + 200;
    int nearest = 765;
    for (int i = 0; i < 256; ++i) nearest = std::min(nearest, std::abs(sum(map->Entry(i)) - wanted));
    EXPECT_EQ(std::abs(sum(map->Entry(second->Data()[k])) - wanted), nearest) << k;
  }

  // A transparent frame keeps its transparency in the last entry, black; a frame that
  // never shows its transparent index loses it; a bad index becomes entry 0, warned;
  // the background keeps its colour though no pixel shows it.
  auto image = Load(gifref::Encode(
      Animation(8, 4, {{0, 0, 8, 4, dmNone, true}, {0, 0, 8, 4, dmNone, true}, {0, 0, 8, 4}}, 6)));
  for (int i = 0; i < 3; ++i) {
    TGIFSubImage* frame = image->Images()->SubImages(i);
    for (int64_t k = 0; k < frame->DataSize(); ++k) {
      uint8_t& p = frame->Data()[k];
      if (p == 14 || (i == 1 && p == 15)) p = 13;
    }
  }
  image->Images()->SubImages(2)->Data()[0] = 200;
  image->SetBackgroundColorIndex(14);
  const TColor background = image->GetBackgroundColor();
  const TColor first = image->GetColorMap()->GetColor(0);
  image->OptimizeColorMap();
  const int count = image->GetColorMap()->Count();
  EXPECT_EQ(image->Images()->SubImages(0)->GraphicControlExtension()->GetTransparentColorIndex(), count - 1);
  EXPECT_EQ(image->GetColorMap()->GetColor(count - 1), clBlack);
  EXPECT_FALSE(image->Images()->SubImages(1)->Transparent());
  EXPECT_EQ(image->GetColorMap()->GetColor(image->Images()->SubImages(2)->Data()[0]), first);
  EXPECT_EQ(image->Warnings, std::vector<std::string>{sInvalidColor});
  EXPECT_EQ(image->GetBackgroundColor(), background);
}

}  // namespace

namespace {

TEST(GifPicture, OptimizeKeepsTheLoopTheDelaysAndWhatDisposalShows) {
  // Frame 1 repeats frame 0 and goes; its delay stays with frame 0, whatever that one's
  // transparency. The loop block on frame 0 stays. Frame 2, cleared after showing,
  // lies inside frame 3 only in part: its clearing still shows and stays.
  gifref::File f = Animation(
      12, 8, {{0, 0, 12, 8}, {0, 0, 12, 8, dmNone, false, false, false, 7}, {2, 2, 6, 4, dmBackground}, {4, 2, 8, 6}},
      8, 3);
  f.frames[1].pixels = f.frames[0].pixels;
  auto image = Load(gifref::Encode(f));
  const auto before = Timeline(Play(*image, kBackground));
  image->Optimize({ooCrop, ooMerge, ooCleanup, ooColorMap}, rmNone, dmNearest, 8);
  EXPECT_TRUE(Timeline(Play(*image, kBackground)) == before);
  ASSERT_EQ(image->Images()->Count(), 3);
  TGIFSubImage* first = image->Images()->SubImages(0);
  EXPECT_EQ(first->GraphicControlExtension()->GetDelay(), 5 + 7);
  bool loop = false;
  for (int i = 0; i < first->Extensions()->Count(); ++i)
    if (auto* l = As<TGIFAppExtNSLoop>(first->Extensions()->Extensions(i))) loop = l->Loops() == 3;
  EXPECT_TRUE(loop);
  EXPECT_EQ(image->Images()->SubImages(1)->GraphicControlExtension()->GetDisposal(), dmBackground);

  // Wholly inside the next, opaque frame, the clearing shows nothing and goes.
  gifref::File g = Animation(12, 8, {{0, 0, 12, 8}, {3, 2, 4, 4, dmBackground}, {2, 1, 8, 6}}, 9);
  auto inside = Load(gifref::Encode(g));
  inside->Optimize({ooCleanup}, rmNone, dmNearest, 8);
  EXPECT_EQ(inside->Images()->SubImages(1)->GraphicControlExtension()->GetDisposal(), dmNone);
}

}  // namespace
