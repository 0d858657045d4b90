// Extension blocks: layouts, defaults, what is tolerated and what is refused, and
// the registries.
#include <gtest/gtest.h>

#include "tests/codecs/gif/GifTestUtil.h"

using namespace giftest;

namespace {

// A file of 16 global greys whose one 2 x 2 frame stands behind Extensions; the
// frame and the trailer are left out when Cut.
Bytes WithExtensions(const Bytes& Extensions, bool Cut = false) {
  gifref::CodeWriter w;
  for (int c : {16, 1, 2, 3, 4, 17}) w.Put(c, 5);
  Bytes f = gifref::WrapImageData(2, 2, 4, w.Stream(4));
  const size_t descriptor = 13 + 48;
  if (Cut) f.resize(descriptor);
  f.insert(f.begin() + long(descriptor), Extensions.begin(), Extensions.end());
  return f;
}

TGIFExtension* ExtensionOf(TGIFImage& Image, int Index = 0) {
  return Image.Images()->SubImages(0)->Extensions()->Extensions(Index);
}

Bytes SavedExtensions(TGIFSubImage* Frame) {
  TMemoryStream s;
  Frame->Extensions()->SaveToStream(&s);
  return BytesOf(s);
}

// An application block: "!", 0xFF, the header of Size bytes, then Data.
Bytes AppBlock(int Size, const std::string& Header, const Bytes& Data) {
  Bytes b{'!', 0xFF, uint8_t(Size)};
  b.insert(b.end(), Header.begin(), Header.end());
  b.insert(b.end(), Data.begin(), Data.end());
  return b;
}

// A class of our own for the label 0x02.
class TTestExtension : public TGIFCommentExtension {
  VX_GIF_EXTENSION(TTestExtension, TGIFCommentExtension, &TGIFExtension::AnswerSelf)

 public:
  using TGIFCommentExtension::TGIFCommentExtension;
  uint8_t GetExtensionType() override { return 0x02; }
};

}  // namespace

TEST(GifExtensions, GraphicControl) {
  // Disposal 2, user input, transparent index 5, delay 0x0102.
  const Bytes gce{'!', 0xF9, 4, 0x0B, 0x02, 0x01, 5, 0};
  auto image = Load(WithExtensions(gce));
  TGIFSubImage* frame = image->Images()->SubImages(0);
  auto* g = As<TGIFGraphicControlExtension>(ExtensionOf(*image));
  ASSERT_TRUE(g);
  EXPECT_EQ(frame->GraphicControlExtension(), g);
  EXPECT_TRUE(frame->Transparent());
  EXPECT_EQ(g->GetDisposal(), dmBackground);
  EXPECT_TRUE(g->GetUserInput());
  EXPECT_EQ(g->GetDelay(), 0x0102);
  EXPECT_EQ(g->GetTransparentColorIndex(), 5);
  EXPECT_EQ(g->GetTransparentColor(), TColor(0x555555));
  EXPECT_EQ(g->GetVersion(), gv89a);
  EXPECT_EQ(SavedExtensions(frame), gce);
  g->SetDisposal(dmPrevious);
  g->SetUserInput(false);
  EXPECT_EQ(g->Data().PackedFields, 0x0D);
  // An index beyond the active table warns and stores 0; an empty table takes any.
  g->SetTransparentColorIndex(20);
  EXPECT_EQ(g->GetTransparentColorIndex(), 0);
  EXPECT_EQ(image->Warnings, std::vector<std::string>{sBadColorIndex});
  image->GetColorMap()->Clear();
  g->SetTransparentColorIndex(20);
  EXPECT_EQ(g->GetTransparentColorIndex(), 20);
  g->SetTransparentColor(clRed);  // added to the (now local) table
  EXPECT_EQ(frame->ColorMap()->GetColor(g->GetTransparentColorIndex()), clRed);
  // The frame's own extension is the first; freeing it takes transparency along.
  frame->Extensions()->Add(std::make_unique<TGIFGraphicControlExtension>(frame));
  EXPECT_EQ(frame->GraphicControlExtension(), g);
  frame->Extensions()->Delete(0);
  EXPECT_FALSE(frame->Transparent());
  EXPECT_EQ(frame->GraphicControlExtension(), nullptr);

  // Cut short by the end of the stream: a warning, and the image is kept.
  auto cut = Load(WithExtensions({'!', 0xF9, 4, 0x01}, true));
  EXPECT_EQ(cut->Warnings, std::vector<std::string>{sOutOfData});
  ASSERT_EQ(cut->Images()->Count(), 1);
  EXPECT_TRUE(cut->Images()->SubImages(0)->Transparent());
}

TEST(GifExtensions, CommentAndPlainText) {
  TestImage image;
  image.GetColorMap()->Add(clBlack);
  auto frame = std::make_unique<TGIFSubImage>(&image);
  auto comment = std::make_unique<TGIFCommentExtension>(frame.get());
  comment->Text()->Add(std::string(300, 'c'));
  auto text = std::make_unique<TGIFTextExtension>(frame.get());
  text->SetBounds(1, 3), text->SetBounds(4, 0x1234), text->SetCharWidthHeight(2, 9);
  text->SetForegroundColor(clBlack);
  text->SetBackgroundColor(clYellow);  // added to the global table
  text->Text()->Add("hello");
  frame->Extensions()->Add(std::move(comment));
  frame->Extensions()->Add(std::move(text));
  const Bytes saved = SavedExtensions(frame.get());
  // The comment in blocks of 255 and 45; the text block after it.
  ASSERT_EQ(saved.size(), 2 + 1 + 255 + 1 + 45 + 1 + 2 + 13 + 1 + 5 + 1u);
  EXPECT_EQ(saved[2], 255);
  EXPECT_EQ(saved[258], 45);
  EXPECT_EQ(Bytes(saved.begin() + 305, saved.begin() + 320),
            (Bytes{'!', 1, 12, 3, 0, 0, 0, 0, 0, 0x34, 0x12, 0, 9, 0, 1}));

  auto loaded = Load(WithExtensions(saved));
  auto* c = As<TGIFCommentExtension>(ExtensionOf(*loaded, 0));
  ASSERT_TRUE(c);
  ASSERT_EQ(c->Text()->Count(), 2);  // one line per block
  EXPECT_EQ(c->Text()->Strings(1), std::string(45, 'c'));
  auto* t = As<TGIFTextExtension>(ExtensionOf(*loaded, 1));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->GetBounds(4), 0x1234);
  EXPECT_EQ(t->GetCharWidthHeight(2), 9);
  EXPECT_EQ(t->GetColorIndex(2), 1);
  EXPECT_EQ(t->Text()->Strings(0), "hello");
  // A line stops at its first zero byte.
  auto zero = Load(WithExtensions({'!', 0xFE, 4, 'a', 'b', 0, 'z', 0}));
  EXPECT_EQ(As<TGIFCommentExtension>(ExtensionOf(*zero))->Text()->Strings(0), "ab");
}

TEST(GifExtensions, ApplicationBlocks) {
  const Bytes loop{3, 1, 3, 0, 5, 2, 0x10, 0x20, 0, 0, 0};
  struct {
    const char* name;
    Bytes block;
    TClass type;
    std::string identifier, authentication;
    const char* error;
  } cases[] = {
      {"loop", AppBlock(11, "NETSCAPE2.0", loop), TGIFAppExtNSLoop::StaticClass(), "NETSCAPE", "2.0", ""},
      {"other loop name", AppBlock(11, "ANIMEXTS1.0", loop), TGIFAppExtNSLoop::StaticClass(), "ANIMEXTS", "1.0", ""},
      {"unknown", AppBlock(11, "XYZZYAPP1.1", {2, 7, 8, 1, 9, 0}), TGIFUnknownAppExtension::StaticClass(), "XYZZYAPP", "1.1", ""},
      {"header of 10", AppBlock(10, "ABCDEFGH12", {1, 5, 0}), TGIFUnknownAppExtension::StaticClass(),
       std::string(8, '\0'), std::string(3, '\0'), ""},
      {"header of 12", AppBlock(12, "NETSCAPE2.0!", {1, 5, 0}), TGIFUnknownAppExtension::StaticClass(), "NETSCAPE", "2.0", ""},
      {"header of 9", AppBlock(9, "ABCDEFGHI", {0}), nullptr, "", "", sBadBlockSize},
      {"loop count block too short", AppBlock(11, "NETSCAPE2.0", {2, 1, 3, 0}), nullptr, "", "", sInvalidData},
      {"buffer block too short", AppBlock(11, "NETSCAPE2.0", {4, 2, 1, 1, 1, 0}), nullptr, "", "", sInvalidData},
      {"loop data cut", AppBlock(11, "NETSCAPE2.0", {3, 1, 3}), nullptr, "", "", sOutOfData},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<TestImage> image;
    ASSERT_EQ(ErrorOf([&] { image = Load(WithExtensions(c.block, std::string(c.error) == sOutOfData)); }), c.error);
    if (!image) continue;
    auto* app = As<TGIFApplicationExtension>(ExtensionOf(*image));
    ASSERT_TRUE(app);
    EXPECT_EQ(app->ClassType(), c.type);
    EXPECT_EQ(app->GetIdentifier(), c.identifier);
    EXPECT_EQ(app->GetAuthentication(), c.authentication);
  }
  // The loop block keeps its count and buffer size, skips unknown sub-blocks and
  // is written back under the name it was read with.
  auto anim = Load(WithExtensions(AppBlock(11, "ANIMEXTS1.0", {2, 4, 9, 3, 1, 3, 0, 5, 2, 0x10, 0x20, 0, 0, 0})));
  auto* ns = As<TGIFAppExtNSLoop>(ExtensionOf(*anim));
  ASSERT_TRUE(ns);
  EXPECT_EQ(ns->Loops(), 3);
  EXPECT_EQ(ns->BufferSize(), 0x2010u);
  EXPECT_EQ(SavedExtensions(anim->Images()->SubImages(0)), AppBlock(11, "ANIMEXTS1.0", loop));
  // Blocks of applications we do not know come back unchanged, their headers too:
  // one that names a known application but is not of its size stays unknown.
  for (const Bytes& block : {AppBlock(12, "NETSCAPE2.0?", {2, 1, 8, 0}), AppBlock(10, "ABCDEFGH12", {1, 5, 0})}) {
    auto odd = Load(WithExtensions(block));
    EXPECT_EQ(SavedExtensions(odd->Images()->SubImages(0)), block);
    EXPECT_EQ(ExtensionOf(*Load(WithExtensions(block)))->ClassType(), TGIFUnknownAppExtension::StaticClass());
  }
  // Identifier setters pad with blanks and cut.
  ns->SetIdentifier("AB");
  ns->SetAuthentication("123456");
  EXPECT_EQ(ns->GetIdentifier(), "AB      ");
  EXPECT_EQ(ns->GetAuthentication(), "123");
}

TEST(GifExtensions, UnknownLabelsIntroducersAndRegistries) {
  EXPECT_EQ(ErrorOf([] { Load(WithExtensions({'!', 0x03, 1, 0, 0})); }), sUnknownExtension);
  // Something other than "!" between extensions: a warning, and the frame ends there.
  auto stray = Load(WithExtensions({'!', 0xFE, 1, 'a', 0, 'x'}));
  EXPECT_EQ(stray->Warnings.front(), sBadExtensionLabel);
  // An extension refuses a block of another label.
  TestImage image;
  TGIFSubImage frame(&image);
  TGIFCommentExtension comment(&frame);
  TMemoryStream other = StreamOf({'!', 0xF9, 0});
  EXPECT_EQ(ErrorOf([&] { comment.LoadFromStream(&other); }), sBadExtensionInstance);
  TMemoryStream noBang = StreamOf({'?', 0xFE, 0});
  EXPECT_EQ(ErrorOf([&] { comment.LoadFromStream(&noBang); }), sBadExtensionLabel);

  // Registered classes are found; a later registration of a key wins.
  TGIFExtension::RegisterExtension(0x02, TTestExtension::ExtensionClass());
  auto own = Load(WithExtensions({'!', 0x02, 2, 'o', 'k', 0}));
  EXPECT_EQ(ExtensionOf(*own)->ClassType(), TTestExtension::StaticClass());
  TGIFApplicationExtension::RegisterExtension("NETSCAPE2.0", TGIFUnknownAppExtension::ExtensionClass());
  const Bytes loop = AppBlock(11, "NETSCAPE2.0", {3, 1, 0, 0, 0});
  EXPECT_EQ(ExtensionOf(*Load(WithExtensions(loop)))->ClassType(), TGIFUnknownAppExtension::StaticClass());
  TGIFApplicationExtension::RegisterExtension("NETSCAPE2.0", TGIFAppExtNSLoop::ExtensionClass());
  EXPECT_EQ(ExtensionOf(*Load(WithExtensions(loop)))->ClassType(), TGIFAppExtNSLoop::StaticClass());
  // Finding a class leaves the stream where it was.
  TMemoryStream at = StreamOf(loop);
  at.SetPosition(1);
  EXPECT_EQ(TGIFExtension::FindExtension(&at), TGIFAppExtNSLoop::ExtensionClass());
  EXPECT_EQ(at.Position(), 1);
}
