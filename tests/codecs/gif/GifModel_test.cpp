// The helpers, DIB row access, colour tables, header, trailer and lists.
#include <gtest/gtest.h>

#include "tests/codecs/gif/GifTestUtil.h"

using namespace giftest;

namespace {

Bytes Written(const std::function<void(TStream*)>& Write) {
  TMemoryStream s;
  Write(&s);
  return BytesOf(s);
}

// An image with one frame of the given pixels using a local table of Colors.
TGIFSubImage* AddFrame(TGIFImage& Image, const Bytes& Pixels, const std::vector<TColor>& Colors) {
  auto frame = std::make_unique<TGIFSubImage>(&Image);
  frame->SetBoundsRect(Rect(0, 0, int(Pixels.size()), 1));
  std::copy(Pixels.begin(), Pixels.end(), frame->Data());
  for (TColor c : Colors) frame->ColorMap()->Add(c);
  TGIFSubImage* raw = frame.get();
  Image.Images()->Add(std::move(frame));
  return raw;
}

std::vector<TColor> ColorsOf(const TGIFColorMap& Map) {
  std::vector<TColor> out;
  for (int i = 0; i < Map.Count(); ++i) out.push_back(TGIFColorMap::RGB2Color(Map.Entry(i)));
  return out;
}

}  // namespace

TEST(GifHelpers, RowSizesAndBitCounts) {
  struct {
    int64_t width;
    int bits, alignment;
    int64_t bytes;
  } rows[] = {{3, 8, 32, 4}, {1, 24, 32, 4}, {33, 1, 32, 8}, {0, 8, 32, 0}, {5, 4, 16, 4}, {4096, 24, 32, 12288}};
  for (const auto& r : rows) EXPECT_EQ(AlignedRowSize(r.width, r.bits, r.alignment), r.bytes) << r.width << "x" << r.bits;
  const int bits[][2] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {8, 3}, {9, 4}, {129, 8}, {256, 8}};
  for (const auto& b : bits) EXPECT_EQ(ColorCountToBits(b[0]), b[1]) << b[0];
}

TEST(GifHelpers, SubBlockStrings) {
  TStringList list;
  EXPECT_EQ(Written([&](TStream* s) { WriteSubBlockStrings(s, &list); }), (Bytes{0}));
  list.Add(std::string(600, 'x'));
  list.Add("");
  list.Add("ab");
  const Bytes out = Written([&](TStream* s) { WriteSubBlockStrings(s, &list); });
  ASSERT_EQ(out.size(), 1 + 255 + 1 + 255 + 1 + 90 + 1 + 2 + 1u);
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(out[256], 255);
  EXPECT_EQ(out[512], 90);
  EXPECT_EQ(out[603], 2);
  EXPECT_EQ(out.back(), 0);
  // Reading back: one string per block, so the long one comes back in three.
  TMemoryStream in = StreamOf(out);
  ReadSubBlockStrings(&in, &list);
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list[2], std::string(90, 'x'));
  EXPECT_EQ(list[3], "ab");
  EXPECT_EQ(ReadStreamByte(&in), -1);
  TMemoryStream terminator = StreamOf({0});
  ReadSubBlockStrings(&terminator, &list);
  EXPECT_EQ(list.Count(), 0);
  // The end of the stream also ends the list; a block cut short is an error.
  TMemoryStream open = StreamOf({2, 'h', 'i'});
  ReadSubBlockStrings(&open, &list);
  EXPECT_EQ(list.Count(), 1);
  TMemoryStream cut = StreamOf({5, 'h', 'i'});
  EXPECT_EQ(ErrorOf([&] { ReadSubBlockStrings(&cut, &list); }), sOutOfData);
}

TEST(GifDIB, WriterBuildsTheBitmap) {
  TBitmap bmp;
  EXPECT_EQ(ErrorOf([&] { TDIBWriter(&bmp, nullptr, 2, 2, pf4bit); }), sInvalidPixelFormat);
  EXPECT_EQ(ErrorOf([&] { TDIBWriter(&bmp, nullptr, 0, 2, pf8bit); }), sBadDimension);
  EXPECT_EQ(ErrorOf([&] { TDIBWriter(&bmp, nullptr, 2, 0, pf8bit); }), sBadDimension);
  // Without a palette every table entry is black; rows are stored bottom-up for a
  // positive height and top-down for a negative one.
  for (int height : {2, -2}) {
    TDIBWriter w(&bmp, nullptr, 3, height, pf8bit);
    auto* row0 = static_cast<uint8_t*>(w.RowAddress(0));
    auto* row1 = static_cast<uint8_t*>(w.RowAddress(1));
    EXPECT_EQ(row1 - row0, height > 0 ? -4 : 4);
    row0[0] = 1, row0[2] = 7, row1[1] = 9;
    EXPECT_THROW(w.RowAddress(2), EInvalidGraphicOperation);
    w.Store();
    ASSERT_EQ(bmp.PixelFormat(), pf8bit);
    EXPECT_EQ(static_cast<uint8_t*>(bmp.ScanLine(0))[2], 7);
    EXPECT_EQ(static_cast<uint8_t*>(bmp.ScanLine(1))[1], 9);
    PALETTEENTRY e[256];
    ASSERT_EQ(GetPaletteEntries(bmp.Palette(), 0, 256, e), 256u);
    EXPECT_TRUE(std::all_of(e, e + 256, [](const PALETTEENTRY& x) { return !x.peRed && !x.peGreen && !x.peBlue; }));
  }
  // With a palette its colours become the table; a 24-bit writer takes B, G, R.
  LOGPALETTE256 lp;
  lp.palNumEntries = 2;
  lp.palPalEntry[1] = {10, 20, 30, 0};
  HPALETTE pal = CreatePalette(lp.get());
  {
    TDIBWriter w(&bmp, pal, 1, 1, pf8bit);
    *static_cast<uint8_t*>(w.RowAddress(0)) = 1;
  }  // stored when freed
  EXPECT_EQ(bmp.Canvas()->Pixels(0, 0), TColor(RGB(10, 20, 30)));
  DeleteObject(pal);
  {
    TDIBWriter w(&bmp, nullptr, 2, 1, pf24bit);
    auto* p = static_cast<uint8_t*>(w.RowAddress(0));
    p[3] = 0x33, p[4] = 0x22, p[5] = 0x11;
    w.Store();
  }
  EXPECT_EQ(bmp.PixelFormat(), pf24bit);
  EXPECT_EQ(bmp.Canvas()->Pixels(1, 0), TColor(RGB(0x11, 0x22, 0x33)));
}

TEST(GifDIB, ReaderLeavesTheCallersBitmapAlone) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf32bit);
  bmp.SetSize(3, 2);
  bmp.Canvas()->SetPixels(2, 1, TColor(RGB(1, 2, 3)));
  {
    TDIBReader reader(&bmp, pf24bit);
    const auto* row = static_cast<const uint8_t*>(reader.RowAddress(1));
    EXPECT_EQ(row[6], 3);
    EXPECT_EQ(row[8], 1);
  }
  EXPECT_EQ(bmp.PixelFormat(), pf32bit);
  // Same format: the bitmap's own rows.
  TDIBReader same(&bmp, pf32bit);
  EXPECT_EQ(same.RowAddress(1), bmp.ScanLine(1));
}

TEST(GifDIB, InternalDIBOfBitmaps) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(10, 3);
  bmp.Canvas()->SetPixels(9, 0, TColor(RGB(200, 100, 50)));
  struct {
    TPixelFormat format;
    int info, image;
  } sizes[] = {{pf1bit, 40 + 8, 4 * 3}, {pf4bit, 40 + 64, 8 * 3}, {pf8bit, 40 + 1024, 12 * 3}, {pf24bit, 40, 32 * 3}};
  for (const auto& s : sizes) {
    int info = 0, image = 0;
    InternalGetDIBSizes(bmp.Handle(), info, image, s.format);
    EXPECT_EQ(info, s.info);
    EXPECT_EQ(image, s.image);
  }
  int info, image;
  EXPECT_EQ(ErrorOf([&] { InternalGetDIBSizes(bmp.Handle(), info, image, pf16bit); }), sInvalidPixelFormat);
  InternalGetDIBSizes(bmp.Handle(), info, image, pf24bit);
  std::vector<uint8_t> header(static_cast<size_t>(info) + 16), bits(static_cast<size_t>(image));
  ASSERT_TRUE(InternalGetDIB(bmp.Handle(), nullptr, *reinterpret_cast<BITMAPINFO*>(header.data()), bits.data(), pf24bit));
  // Bottom-up: the top row is last.
  EXPECT_EQ(bits[2 * 32 + 27], 50);
  EXPECT_EQ(bits[2 * 32 + 29], 200);
}

TEST(GifColorMap, AddIndexOfCapacityAndLimits) {
  TestImage image;
  TGIFColorMap& map = *image.GetColorMap();
  EXPECT_EQ(map.Capacity(), 0);
  for (auto [request, capacity] : std::vector<std::pair<int, int>>{{1, 16}, {17, 32}, {5, 32}, {33, 64}, {250, 256}, {300, 256}}) {
    map.SetCapacity(request);
    EXPECT_EQ(map.Capacity(), capacity) << request;
  }
  map.Clear();
  for (TColor c : {clRed, clLime, clBlue, clBlack, clWhite, clBlue}) map.Add(c);
  // The same colour at 2 and 5: the highest index, or the lowest once sorted.
  EXPECT_EQ(map.IndexOf(clBlue), 5);
  map.SetOptimized(true);
  EXPECT_EQ(map.IndexOf(clBlue), 2);
  EXPECT_EQ(map.IndexOf(clYellow), -1);
  EXPECT_EQ(map.AddUnique(clLime), 1);
  EXPECT_TRUE(map.Optimized());
  EXPECT_EQ(map.AddUnique(clYellow), 6);
  EXPECT_FALSE(map.Optimized());  // adding does not keep the order
  EXPECT_EQ(ErrorOf([&] { map.Delete(7); }), sBadColorIndex);
  EXPECT_EQ(ErrorOf([&] { map.SetColor(-1, clRed); }), sBadColorIndex);
  map.Delete(0);
  EXPECT_EQ(map.GetColor(0), clLime);
  // A bad index warns and answers entry 0; an empty table cannot answer.
  EXPECT_EQ(map.GetColor(300), clLime);
  EXPECT_EQ(image.Warnings, std::vector<std::string>{sBadColorIndex});
  while (map.Count() < 256) map.Add(TColor(map.Count()));
  EXPECT_EQ(ErrorOf([&] { map.Add(clRed); }), sTooManyColors);
  map.Clear();
  EXPECT_EQ(ErrorOf([&] { map.GetColor(0); }), sEmptyColorMap);
}

TEST(GifColorMap, ImportExportAndWriting) {
  TestImage image;
  TGIFColorMap& map = *image.GetColorMap();
  const RGBQUAD table[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  map.ImportColorTable(table, 2);
  EXPECT_EQ(map.GetColor(1), TColor(RGB(6, 5, 4)));
  HPALETTE pal = map.ExportPalette();
  PALETTEENTRY e[2];
  ASSERT_EQ(GetPaletteEntries(pal, 0, 2, e), 2u);
  EXPECT_EQ(e[0].peFlags, PC_NOCOLLAPSE);
  map.Clear();
  map.ImportPalette(pal);
  EXPECT_EQ(map.GetColor(0), TColor(RGB(3, 2, 1)));
  DeleteObject(pal);
  TColorMap big{};
  big[255] = {7, 8, 9};
  map.ImportColorMap(big, 300);  // at most 256
  EXPECT_EQ(map.Count(), 256);
  EXPECT_EQ(map.GetColor(255), TColor(RGB(7, 8, 9)));
  // Written padded to a power of two with black; an empty table writes nothing.
  map.Clear();
  for (TColor c : {clRed, clLime, clBlue}) map.Add(c);
  EXPECT_EQ(Written([&](TStream* s) { map.SaveToStream(s); }), (Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0}));
  map.Clear();
  EXPECT_TRUE(Written([&](TStream* s) { map.SaveToStream(s); }).empty());
  EXPECT_EQ(map.ExportPalette(), nullptr);
}

TEST(GifColorMap, OptimiseOrdersByUseAndRemapsEveryReference) {
  TestImage image;
  // Uses: entry 0 once, 1 five times, 2 never, 3 three times.
  TGIFSubImage* frame = AddFrame(image, {1, 3, 1, 0, 1, 3, 1, 3, 1}, {clRed, clLime, clBlue, clWhite});
  auto gce = std::make_unique<TGIFGraphicControlExtension>(frame);
  gce->SetTransparentColorIndex(3);
  gce->SetTransparent(true);
  frame->Extensions()->Add(std::move(gce));
  ASSERT_TRUE(frame->ColorMap()->OptimizeMap());
  EXPECT_EQ(ColorsOf(*frame->ColorMap()), (std::vector<TColor>{clLime, clWhite, clRed}));  // unused blue dropped
  EXPECT_EQ(Bytes(frame->Data(), frame->Data() + 9), (Bytes{0, 1, 0, 2, 0, 1, 0, 1, 0}));
  EXPECT_EQ(frame->GraphicControlExtension()->GetTransparentColorIndex(), 1);
  EXPECT_TRUE(frame->ColorMap()->Optimized());
  // Already in order: nothing moves, unused trailing entries stay.
  frame->ColorMap()->Add(clBlue);
  EXPECT_TRUE(frame->ColorMap()->OptimizeMap());
  EXPECT_EQ(frame->ColorMap()->Count(), 4);
  frame->ColorMap()->Clear();
  frame->ColorMap()->Add(clRed);
  EXPECT_FALSE(frame->ColorMap()->OptimizeMap());  // fewer than two entries

  // The global table also carries the screen's background colour along, even when
  // no pixel uses it.
  TestImage global;
  for (TColor c : {clRed, clLime, clBlue, clWhite}) global.GetColorMap()->Add(c);
  global.Header()->SetBackgroundColorIndex(2);
  AddFrame(global, {3, 3, 1, 3}, {});
  ASSERT_TRUE(global.GetColorMap()->OptimizeMap());
  EXPECT_EQ(ColorsOf(*global.GetColorMap()), (std::vector<TColor>{clWhite, clLime, clBlue}));
  EXPECT_EQ(global.Header()->GetBackgroundColor(), clBlue);
  TestImage none;
  none.GetColorMap()->Add(clRed), none.GetColorMap()->Add(clLime);
  EXPECT_FALSE(none.GetColorMap()->OptimizeMap());  // no frames
}

TEST(GifHeader, SignatureVersionAndScreen) {
  auto header = [](const Bytes& Head) {
    Bytes f = Head;
    f.insert(f.end(), {5, 0, 3, 0, 0x80, 1, 0, 10, 20, 30, 40, 50, 60, ';'});
    return f;
  };
  struct {
    const char* name;
    Bytes head;
    const char* error;
  } signatures[] = {{"plain", {'G', 'I', 'F', '8', '9', 'a'}, ""},
                    {"lower case", {'g', 'i', 'f', '8', '7', 'a'}, ""},
                    {"any version", {'G', 'I', 'F', 'x', 'y', 'z'}, ""},
                    {"four bytes before", {1, 2, 3, 4, 'G', 'I', 'F', '8', '9', 'a'}, ""},
                    {"five bytes before", {1, 2, 3, 4, 5, 'G', 'I', 'F', '8', '9', 'a'}, sBadSignature},
                    {"not a GIF", {'P', 'N', 'G', '8', '9', 'a', 0, 0, 0, 0}, sBadSignature}};
  for (const auto& s : signatures) {
    EXPECT_EQ(ErrorOf([&] {
                auto image = Load(header(s.head));
                EXPECT_EQ(image->Width(), 5);
                EXPECT_EQ(image->Height(), 3);
                EXPECT_EQ(image->GetColorMap()->GetColor(1), TColor(RGB(40, 50, 60)));
              }),
              s.error)
        << s.name;
  }
  EXPECT_EQ(ErrorOf([] { Load({'G', 'I'}); }), sOutOfData);
  // 87a unless an 89a feature is there.
  TestImage image;
  EXPECT_EQ(Save(image), (Bytes{'G', 'I', 'F', '8', '7', 'a', 0, 0, 0, 0, 0x70, 0, 0, ';'}));
  image.Header()->SetAspectRatio(49);
  EXPECT_EQ(Save(image)[4], '9');
  image.Header()->SetAspectRatio(0);
  image.GetColorMap()->Add(clRed), image.GetColorMap()->Add(clBlue);
  image.GetColorMap()->SetOptimized(true);
  EXPECT_EQ(Save(image)[4], '9');
  // A table of 3 is written as 4, the packed size field saying so.
  image.GetColorMap()->Add(clLime);
  const Bytes three = Save(image);
  EXPECT_EQ(three[10] & 0x87, 0x81);
  EXPECT_EQ(three.size(), 13 + 12 + 1u);
  // An index beyond the table warns and becomes 0; an empty table takes any.
  image.Header()->SetBackgroundColorIndex(3);
  EXPECT_EQ(image.Header()->BackgroundColorIndex(), 0);
  EXPECT_EQ(image.Warnings, std::vector<std::string>{sBadColorIndex});
  image.GetColorMap()->Clear();
  image.Header()->SetBackgroundColorIndex(200);
  EXPECT_EQ(image.Header()->BackgroundColorIndex(), 200);
}

TEST(GifHeader, GlobalTableSizeIsItsOwnBesideLargerLocalTables) {
  // Two global colours and a frame with 256 of its own: the header describes the
  // two, so the reference reads every table as written.
  TestImage image;
  image.GetColorMap()->Add(clRed), image.GetColorMap()->Add(clBlue);
  std::vector<TColor> local;
  for (int i = 0; i < 256; ++i) local.push_back(TColor(i * 0x010101));
  AddFrame(image, Indices(64, 256, 1), local);
  const gifref::File f = gifref::Decode(Save(image));
  EXPECT_EQ(f.colors.size(), 2u);
  EXPECT_EQ(f.colorResolution, 8);
  ASSERT_EQ(f.frames.size(), 1u);
  EXPECT_EQ(f.frames[0].colors.size(), 256u);
  EXPECT_EQ(f.frames[0].pixels, Indices(64, 256, 1));
}

TEST(GifTrailer, StrayBytesAndMissingTrailer) {
  const Bytes frame = gifref::Encode(OneFrame(4, 2, 2, {0, 1, 2, 3, 3, 2, 1, 0}));
  struct {
    const char* name;
    Bytes file;
    std::vector<std::string> warnings;
    int frames;
  } cases[] = {{"plain", frame, {}, 1},
               {"no trailer", Bytes(frame.begin(), frame.end() - 1), {}, 1},
               {"other trailer", [&] { Bytes b = frame; b.back() = 'x'; return b; }(), {sBadBlock, sBadTrailer}, 1},
               {"zeros before the trailer", [&] { Bytes b = frame; b.insert(b.end() - 1, {0, 0}); return b; }(), {}, 1}};
  for (const auto& c : cases) {
    auto image = Load(c.file);
    EXPECT_EQ(image->Warnings, c.warnings) << c.name;
    EXPECT_EQ(image->Images()->Count(), c.frames) << c.name;
  }
  TestImage image;
  TMemoryStream odd = StreamOf({'x'});
  TGIFTrailer trailer(&image);
  trailer.LoadFromStream(&odd);
  EXPECT_EQ(image.Warnings, std::vector<std::string>{sBadTrailer});
}

TEST(GifList, OwnershipAndOrder) {
  TestImage image;
  for (int i = 0; i < 3; ++i) AddFrame(image, Bytes(size_t(i + 1), 0), {clBlack});
  TGIFImageList& list = *image.Images();
  TGIFSubImage* second = list.SubImages(1);
  list.Move(1, 2);
  EXPECT_EQ(list.IndexOf(second), 2);
  list.Exchange(0, 2);
  EXPECT_EQ(list.First(), second);
  // Remove hands the item over; a freed frame leaves the list by itself.
  EXPECT_EQ(list.Remove(second), 0);
  EXPECT_EQ(list.Count(), 2);
  std::unique_ptr<TGIFSubImage> owned(second);
  list.Add(std::move(owned));
  delete list.SubImages(0);
  EXPECT_EQ(list.Count(), 2);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_THROW(list.Items(1), EListError);
}
