// The chunk model: CRC, the pointer list, the rules for adding chunks, and what the
// header, palette, gamma, transparency, time and text chunks keep and write.
#include "tests/codecs/png/PngTestUtil.h"

using namespace pngtest;

namespace {

std::vector<std::string> Names(TPNGObject& Png) {
  std::vector<std::string> names;
  for (int i = 0; i < Png.Chunks().Count(); ++i) names.push_back(Png.Chunks().GetItem(i)->GetChunkName());
  return names;
}

std::unique_ptr<TPNGObject> Palette(int Entries, int Depth = 8) {
  pngref::Image img = pngref::MakeImage(6, 2, 3, Depth, 9);
  img.palette.resize(Entries);
  for (int i = 0; i < Entries; ++i) img.palette[i] = png_color{uint8_t(i * 10), uint8_t(i), 77};
  for (uint32_t x = 0; x < 6; ++x) img.SetSample(x, 0, 0, x % Entries);
  for (uint32_t x = 0; x < 6; ++x) img.SetSample(x, 1, 0, (x + 1) % Entries);
  return Load(pngref::Write(img));
}

TEST(PngChunks, CrcMatchesZlib) {
  std::mt19937 rng(3);
  std::vector<uint8_t> buffer(5000);
  for (auto& b : buffer) b = uint8_t(rng());
  for (size_t offset : {0, 1, 3, 7})
    for (size_t length : {0, 1, 7, 8, 9, 63, 4096}) {
      uint32_t ours = ~update_crc(0xFFFFFFFFu, buffer.data() + offset, length);
      EXPECT_EQ(ours, uint32_t(crc32(0, buffer.data() + offset, uInt(length)))) << offset << "+" << length;
    }
  EXPECT_EQ(ByteSwap(0x11223344u), 0x44332211u);
  EXPECT_EQ(ByteSwap16(0x1122), 0x2211);
}

TEST(PngChunks, PointerListBounds) {
  TPNGPointerList<int> list;
  int a = 1, b = 2, c = 3;
  list.Add(&a);
  list.Add(&b);
  list.Add(&a);
  list.Insert(&c, 3);  // only before an existing item
  EXPECT_EQ(list.Count(), 3);
  list.Insert(&c, 0);
  EXPECT_EQ(list.GetItem(0), &c);
  EXPECT_EQ(list.Remove(&a), &a);  // the last occurrence
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.GetItem(1), &a);
  EXPECT_EQ(list.Remove(&a), &a);
  EXPECT_EQ(list.Remove(&a), nullptr);
  EXPECT_EQ(list.GetItem(2), nullptr);
  EXPECT_EQ(list.GetItem(-1), nullptr);
  list.SetItem(5, &a);
  list.SetItem(1, &a);
  EXPECT_EQ(list.GetItem(1), &a);
  list.SetSize(0);
  EXPECT_EQ(list.Count(), 0);
}

TEST(PngChunks, RegistryAndNames) {
  EXPECT_EQ(TChunkIHDR::ChunkClass()->GetName(), "IHDR");
  EXPECT_EQ(TChunk::ChunkClass()->GetName(), "");
  EXPECT_EQ(FindChunkClass("zTXt"), TChunkzTXt::ChunkClass());
  EXPECT_EQ(FindChunkClass("ztxt"), TChunk::ChunkClass());
  TPNGObject png;
  auto chunk = TChunktIME::ChunkClass()->New(&png);
  EXPECT_EQ(chunk->GetChunkName(), "tIME");
  EXPECT_EQ(chunk->GetIndex(), -1);
}

TEST(PngChunks, AddingChunksFollowsThePlacementRules) {
  TPNGObject empty;
  try {
    empty.AddtEXt("a", "b");
    FAIL();
  } catch (const EPngError& e) {
    EXPECT_EQ(e.Message(), EPNGCannotAddInvalidImageText);
  }

  auto png = Load(pngref::Write(pngref::MakeImage(3, 3, 2, 8, 1)));
  EXPECT_EQ(Names(*png), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  for (TChunkClass c : {TChunkIHDR::ChunkClass(), TChunkIDAT::ChunkClass(), TChunkPLTE::ChunkClass(),
                        TChunkIEND::ChunkClass()}) {
    try {
      png->Chunks().Add(c);
      FAIL() << c->GetName();
    } catch (const EPngError& e) {
      EXPECT_EQ(e.Message(), EPNGCannotAddChunkText);
    }
  }
  png->AddtEXt("Title", "x");
  png->Chunks().Add(TChunktRNS::ChunkClass());  // no PLTE: before the first IDAT
  png->Chunks().Add(TChunkgAMA::ChunkClass());  // right after IHDR
  EXPECT_EQ(Names(*png), (std::vector<std::string>{"IHDR", "gAMA", "tRNS", "IDAT", "tEXt", "IEND"}));
  EXPECT_THROW(png->Chunks().Add(TChunkgAMA::ChunkClass()), EPngError);
  EXPECT_THROW(png->Chunks().Add(TChunktRNS::ChunkClass()), EPngError);

  auto pal = Palette(4);
  pal->Chunks().Add(TChunktRNS::ChunkClass());  // after PLTE
  EXPECT_EQ(Names(*pal), (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}));
}

TEST(PngChunks, PaletteTransparency) {
  auto png = Palette(8);
  auto* plte = png->Chunks().Find<TChunkPLTE>();
  ASSERT_NE(plte, nullptr);
  EXPECT_EQ(plte->Count(), 8);
  EXPECT_EQ(plte->GetPaletteItem(5).rgbRed, 50);
  try {
    plte->GetPaletteItem(8);
    FAIL();
  } catch (const EPngError& e) {
    EXPECT_EQ(e.Message(), EPNGUnknownPalEntryText);
  }

  png->SetTransparentColor(RGB(50, 5, 77));
  auto* trns = png->Chunks().Find<TChunktRNS>();
  ASSERT_NE(trns, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(trns->Data(), trns->Data() + trns->DataSize()),
            (std::vector<uint8_t>{255, 255, 255, 255, 255, 0}));
  EXPECT_EQ(png->GetTransparencyMode(), ptmBit);
  EXPECT_EQ(png->GetTransparentColor(), RGB(50, 5, 77));
  auto back = pngref::Read(Save(*png));
  EXPECT_EQ(back.trnsAlpha, (std::vector<uint8_t>{255, 255, 255, 255, 255, 0}));

  // Several translucent entries, or one that is only half transparent, need blending.
  for (std::vector<uint8_t> alpha : {std::vector<uint8_t>{255, 255, 128}, {0, 0}, {0, 128}}) {
    pngref::Image img = pngref::MakeImage(4, 4, 3, 8, 2);
    img.trnsAlpha = alpha;
    EXPECT_EQ(Load(pngref::Write(img))->GetTransparencyMode(), ptmPartial);
  }

  // CreateAlpha gives every entry of the palette an opaque alpha value.
  auto small = Palette(3, 2);
  small->CreateAlpha();
  EXPECT_EQ(small->GetTransparencyMode(), ptmPartial);
  EXPECT_EQ(pngref::Read(Save(*small)).trnsAlpha, (std::vector<uint8_t>{255, 255, 255}));
}

TEST(PngChunks, ColourKeysMatchTheDecodedPixels) {
  // The key is the colour the decoder shows a pixel of that sample with, at every depth.
  for (const Format& f : {Format{0, 1}, Format{0, 2}, Format{0, 4}, Format{0, 8}, Format{0, 16},
                          Format{2, 8}, Format{2, 16}}) {
    pngref::Image img = pngref::MakeImage(5, 3, f.colorType, f.bitDepth, 4);
    img.hasTrnsColor = true;
    uint32_t max = (1u << f.bitDepth) - 1;
    img.trnsColor = png_color_16{0, uint16_t(max / 3), uint16_t(max / 2), uint16_t(max), uint16_t(max / 3)};
    for (int c = 0; c < img.Channels(); ++c) img.SetSample(2, 1, c, c == 0 ? max / 3 : c == 1 ? max / 2 : max);
    SCOPED_TRACE(testing::Message() << "type " << f.colorType << " depth " << f.bitDepth);
    auto png = Load(pngref::Write(img));
    EXPECT_EQ(png->GetTransparencyMode(), ptmBit);
    EXPECT_EQ(png->GetTransparentColor(), png->GetPixels(2, 1));
    // Setting the key back writes the samples the saved pixel has.
    png->SetTransparentColor(png->GetPixels(2, 1));
    auto back = pngref::Read(Save(*png));
    ASSERT_TRUE(back.hasTrnsColor);
    uint16_t expectGrey = f.bitDepth == 16 ? uint16_t((max / 3) & 0xFF00) : uint16_t(max / 3);
    if (f.colorType == 0) {
      EXPECT_EQ(back.trnsColor.gray, expectGrey);
    } else {
      EXPECT_EQ(back.trnsColor.red, expectGrey);
      EXPECT_EQ(back.trnsColor.blue, f.bitDepth == 16 ? 0xFF00 : 255);
    }
  }
  auto rgba = Load(pngref::Write(pngref::MakeImage(2, 2, 6, 8, 1)));
  try {
    rgba->SetTransparentColor(0);
    FAIL();
  } catch (const EPNGCannotChangeTransparent& e) {
    EXPECT_EQ(e.Message(), EPNGCannotChangeTransparentText);
  }
  rgba->RemoveTransparency();
  EXPECT_EQ(rgba->GetTransparencyMode(), ptmPartial);
}

TEST(PngChunks, GammaTables) {
  TPNGObject png;
  TChunkgAMA gama(&png);
  EXPECT_EQ(gama.GetValue(), 1u);
  gama.SetValue(45455);
  EXPECT_EQ(gama.DataSize(), 4u);
  EXPECT_EQ(gama.Data()[2], 0xB1);

  pngref::Image img = pngref::MakeImage(2, 2, 2, 8, 1);
  img.gamma = 45455;
  auto near = Load(pngref::Write(img));
  for (int i = 0; i < 256; ++i) EXPECT_LE(std::abs(near->GammaTable[i] - i), 1) << i;
  img.gamma = 100000;
  auto bright = Load(pngref::Write(img));
  EXPECT_GT(bright->GammaTable[64], 100);
  EXPECT_EQ(bright->InverseGamma[bright->GammaTable[64]], 64);
  bright->ClearChunks();
  EXPECT_EQ(bright->GammaTable[64], 64);
}

TEST(PngChunks, TimeAndTexts) {
  auto png = Load(pngref::Write(pngref::MakeImage(2, 2, 0, 8, 1)));
  auto* time = static_cast<TChunktIME*>(png->Chunks().Add(TChunktIME::ChunkClass()));
  time->Year = 2006;
  time->Month = 12;
  png->AddzTXt("Empty", "");
  png->AddtEXt("Key", "value");
  auto saved = Save(*png);
  auto again = Load(saved);
  auto* t = again->Chunks().Find<TChunktIME>();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Data()[0], 0x07);
  EXPECT_EQ(t->Data()[1], 0xD6);
  EXPECT_EQ(t->Year, 2006);
  EXPECT_EQ(t->Month, 12);
  auto* z = again->Chunks().Find<TChunkzTXt>();
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(z->Text, " ");  // an empty text is written as one blank

  // Texts copy between the two text chunk kinds; other kinds do not mix.
  TChunktEXt plain(png.get());
  plain.Assign(z);
  EXPECT_EQ(plain.Keyword, "Empty");
  try {
    plain.Assign(t);
    FAIL();
  } catch (const EPngError& e) {
    EXPECT_EQ(e.Message(), EPNGCannotAssignChunkText);
  }
}

TEST(PngChunks, CopiesAreIndependentAndSaveTheSameBytes) {
  pngref::Image img = pngref::MakeImage(9, 7, 3, 4, 8);
  img.gamma = 60000;
  img.trnsAlpha = {10, 0, 255};
  auto source = Load(pngref::Write(img));
  source->AddtEXt("k", "v");
  source->SetFilters({pfUp});
  source->SetCompressionLevel(3);
  TPNGObject copy;
  copy.AssignPNG(source.get());
  EXPECT_EQ(copy.Filters(), TFilters{pfUp});
  EXPECT_EQ(copy.CompressionLevel(), 3);
  EXPECT_EQ(Save(copy), Save(*source));
  copy.SetPixels(0, 0, copy.GetPixels(1, 0) ^ 0);  // the copy's pixels are its own
  copy.GetScanline(0)[0] ^= 0xFF;
  EXPECT_NE(Save(copy), Save(*source));
  EXPECT_TRUE(SamePixels(*source, pngref::Read(pngref::Write(img))));
}

TEST(PngChunks, PixelAccess) {
  pngref::Image grey = pngref::MakeImage(9, 2, 0, 1, 1);
  grey.SetSample(3, 1, 0, 1);
  grey.SetSample(4, 1, 0, 0);
  auto png = Load(pngref::Write(grey));
  EXPECT_EQ(png->GetPixels(3, 1), RGB(255, 255, 255));
  EXPECT_EQ(png->GetPixels(4, 1), 0u);
  EXPECT_EQ(png->GetPixels(-1, 0), 0u);
  EXPECT_EQ(png->GetPixels(9, 0), 0u);
  png->SetPixels(4, 1, RGB(200, 210, 220));  // nearest grey: white
  EXPECT_EQ(png->GetPixels(4, 1), RGB(255, 255, 255));
  png->SetPixels(9, 1, 0);  // outside: ignored
  EXPECT_EQ(png->GetScanline(2), nullptr);

  // A palette of two entries: only those two can be chosen.
  auto pal = Palette(2, 1);
  pal->SetPixels(0, 0, RGB(0, 0, 0));
  EXPECT_EQ(pal->GetPixels(0, 0), RGB(0, 0, 77));

  auto rgb = Load(pngref::Write(pngref::MakeImage(3, 3, 2, 8, 2)));
  rgb->SetPixels(1, 2, RGB(1, 2, 3));
  EXPECT_EQ(rgb->GetPixels(1, 2), RGB(1, 2, 3));
  EXPECT_EQ(rgb->GetScanline(2)[3], 3);  // blue first
  EXPECT_EQ(rgb->GetAlphaScanline(0), nullptr);
  rgb->CreateAlpha();
  ASSERT_NE(rgb->GetAlphaScanline(0), nullptr);
  EXPECT_EQ(rgb->GetAlphaScanline(2)[2], 255);
  EXPECT_EQ(pngref::Read(Save(*rgb)).colorType, 6);

  // Grey with alpha exists only from 8 bits on: a 1-bit grey image keeps its type.
  png->CreateAlpha();
  EXPECT_EQ(png->GetHeader()->ColorType, 0);

  int64_t line;
  int offset;
  rgb->GetPixelInfo(line, offset);
  EXPECT_EQ(line, 12);
  EXPECT_EQ(offset, 4);
  TPNGObject none;
  none.GetPixelInfo(line, offset);
  EXPECT_EQ(line, 0);
  EXPECT_EQ(none.Width(), 0);
  EXPECT_THROW(none.GetHeader(), EPNGHeaderNotPresent);
}

}  // namespace
