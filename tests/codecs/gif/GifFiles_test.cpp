// Whole files: what the reference library and ImageMagick write is read here field
// by field, and what is written here the reference reads back the same.
#include <gtest/gtest.h>

#include "tests/codecs/gif/GifTestUtil.h"

using namespace giftest;

namespace {

gifref::Extension Ext(int Function, std::vector<Bytes> Blocks) { return {Function, std::move(Blocks)}; }
Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end()); }

// Two frames with every kind of extension, local and global tables, an offset,
// interlacing, and a comment after the last frame.
gifref::File Rich() {
  gifref::File f;
  f.width = 40, f.height = 30, f.colorResolution = 4, f.background = 3, f.aspect = 49;
  f.colors = Greys(16);
  gifref::Frame a;
  a.left = 2, a.top = 3, a.width = 10, a.height = 8, a.interlaced = true;
  a.colors = Greys(4);
  a.pixels = Indices(80, 4, 1);
  a.extensions = {Ext(0xFF, {Text("NETSCAPE2.0"), {1, 5, 0}}),
                  Ext(0xF9, {{0x05, 20, 0, 2}}),
                  Ext(0xFE, {Bytes(255, 'a'), Bytes(45, 'b')})};
  gifref::Frame b;
  b.width = 40, b.height = 30;
  b.pixels = Indices(1200, 16, 2);
  b.extensions = {Ext(0xF9, {{0x0C, 7, 0, 0}}),
                  Ext(0x01, {{0, 0, 0, 0, 40, 0, 16, 0, 8, 8, 1, 0}, Text("plain text")}),
                  Ext(0xFF, {Text("XYZZYAPP1.1"), {1, 2, 3}, {4}})};
  f.frames = {a, b};
  f.trailing = {Ext(0xFE, {Text("bye")})};
  return f;
}

}  // namespace

TEST(GifFiles, ReferenceFilesReadFieldByFieldAndWriteBackTheSame) {
  const gifref::File source = Rich();
  const Bytes file = gifref::Encode(source);
  auto image = Load(file);
  EXPECT_TRUE(image->Warnings.empty());
  EXPECT_EQ(image->Width(), 40);
  EXPECT_EQ(image->Header()->BackgroundColorIndex(), 3);
  EXPECT_EQ(image->Header()->AspectRatio(), 49);
  EXPECT_EQ(image->GetColorMap()->Count(), 16);
  EXPECT_EQ(image->GetVersion(), gv89a);
  // The comment after the last frame stays with an empty frame of its own.
  ASSERT_EQ(image->Images()->Count(), 3);
  EXPECT_TRUE(image->Images()->SubImages(2)->Empty());
  const TGIFSubImage* a = image->Images()->SubImages(0);
  EXPECT_EQ(a->GetBoundsRect(), Rect(2, 3, 12, 11));
  EXPECT_TRUE(a->GetInterlaced());
  EXPECT_EQ(a->ColorMap()->Count(), 4);
  EXPECT_TRUE(a->Transparent());
  EXPECT_EQ(a->GraphicControlExtension()->GetDelay(), 20);
  EXPECT_EQ(a->GraphicControlExtension()->GetDisposal(), dmNoDisposal);
  EXPECT_EQ(As<TGIFAppExtNSLoop>(a->Extensions()->Extensions(0))->Loops(), 5);
  const TGIFSubImage* b = image->Images()->SubImages(1);
  EXPECT_EQ(b->GraphicControlExtension()->GetDisposal(), dmPrevious);
  EXPECT_EQ(As<TGIFTextExtension>(b->Extensions()->Extensions(1))->Text()->Strings(0), "plain text");
  EXPECT_EQ(As<TGIFUnknownAppExtension>(b->Extensions()->Extensions(2))->Blocks().size(), 2u);

  EXPECT_TRUE(Same(gifref::Decode(Save(*image)), gifref::Decode(file)));
  // The same with run-length coded frames.
  image->SetCompression(gcRLE);
  EXPECT_TRUE(Same(gifref::Decode(Save(*image)), gifref::Decode(file)));
}

TEST(GifFiles, ImageMagickAnimationsReadAsTheReferenceReadsThem) {
  const std::string convert = Convert();
  if (convert.empty()) GTEST_SKIP() << "ImageMagick is not installed";
  TempDir dir;
  const std::string path = dir / "anim.gif";
  ASSERT_EQ(Shell(convert + " -size 32x24 -delay 7 -dispose Background xc:red -seed 3 plasma:fractal " +
                  "-delay 25 -dispose Previous \\( -size 16x12 xc:blue -repage +4+6 \\) -loop 3 " +
                  "-set comment 'made by a test' -colors 64 " + path),
            0);
  const Bytes file = ReadFile(path);
  const gifref::File ref = gifref::Decode(file);
  auto image = Load(file);
  EXPECT_EQ(image->Width(), ref.width);
  EXPECT_EQ(image->GetColorMap()->Count(), int(ref.colors.size()));
  int frames = 0;
  for (int i = 0; i < image->Images()->Count(); ++i) {
    const TGIFSubImage* frame = image->Images()->SubImages(i);
    if (frame->Empty()) continue;
    ASSERT_LT(size_t(frames), ref.frames.size());
    const gifref::Frame& r = ref.frames[size_t(frames)];
    EXPECT_EQ(frame->GetBoundsRect(), Rect(r.left, r.top, r.left + r.width, r.top + r.height));
    EXPECT_EQ(Bytes(frame->Data(), frame->Data() + frame->DataSize()), r.pixels);
    GraphicsControlBlock gcb{};
    ASSERT_NE(frame->GraphicControlExtension(), nullptr);
    for (const gifref::Extension& e : r.extensions) {
      if (e.function == 0xF9) {
        ASSERT_EQ(DGifExtensionToGCB(e.blocks[0].size(), e.blocks[0].data(), &gcb), GIF_OK);
      }
    }
    EXPECT_EQ(frame->GraphicControlExtension()->GetDelay(), gcb.DelayTime);
    EXPECT_EQ(int(frame->GraphicControlExtension()->GetDisposal()), gcb.DisposalMode);
    EXPECT_EQ(frame->Transparent(), gcb.TransparentColor >= 0);
    ++frames;
  }
  EXPECT_EQ(size_t(frames), ref.frames.size());
  TGIFAppExtNSLoop* loop = nullptr;
  TGIFExtensionList* first = image->Images()->SubImages(0)->Extensions();
  for (int i = 0; i < first->Count() && !loop; ++i) loop = As<TGIFAppExtNSLoop>(first->Extensions(i));
  ASSERT_TRUE(loop);
  // The loop count as the reference reads it (ImageMagick stores plays minus one).
  Bytes count;
  for (const gifref::Extension& e : ref.frames[0].extensions)
    if (e.function == 0xFF && e.blocks.size() > 1) count = e.blocks[1];
  ASSERT_EQ(count.size(), 3u);
  EXPECT_EQ(loop->Loops(), count[1] | count[2] << 8);
  EXPECT_TRUE(Same(gifref::Decode(Save(*image)), ref));
}
