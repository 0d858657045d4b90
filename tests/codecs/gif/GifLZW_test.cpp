// Image data coding against the reference library and ImageMagick: what they write
// decodes here to the same indices, and what is written here decodes there to the
// same indices (the LZW encoder's bytes are the reference's own).
#include <gtest/gtest.h>

#include "tests/codecs/gif/GifTestUtil.h"

using namespace giftest;

namespace {

struct Shape {
  int width, height;
};
// Widths from 1 to 4096; heights keep every case near 20,000 pixels, enough for
// noise to fill the 4096-code table.
const Shape kShapes[] = {{1, 300}, {3, 200}, {64, 300}, {255, 80}, {256, 79}, {257, 81}, {1000, 20}, {4096, 5}};

Bytes Encode(TGIFEncoder& Encoder, int Bits, const Bytes& Pixels, const Shape& S, bool Interlaced) {
  TMemoryStream out;
  Encoder.Encode(&out, Bits, 1 << Bits, Pixels.data(), Interlaced, S.height, S.width);
  return BytesOf(out);
}

// The pixels of the first frame as decoded here.
Bytes Decoded(const Bytes& File, std::vector<std::string>* Warnings = nullptr) {
  auto image = Load(File);
  if (Warnings) *Warnings = image->Warnings;
  TGIFSubImage* frame = image->Images()->SubImages(0);
  return Bytes(frame->Data(), frame->Data() + frame->DataSize());
}

// Codes of an image data stream at the widths a decoder would read them.
std::vector<int> Codes(const Bytes& Stream) {
  Bytes data;
  for (size_t at = 1; Stream[at]; at += Stream[at] + 1u) data.insert(data.end(), &Stream[at + 1], &Stream[at + 1] + Stream[at]);
  const int clear = 1 << Stream[0];
  std::vector<int> codes;
  int width = Stream[0] + 1, next = clear + 2;
  bool afterClear = true;
  for (size_t bit = 0; bit + size_t(width) <= data.size() * 8;) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++bit) code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
    codes.push_back(code);
    if (code == clear + 1) break;
    if (code == clear) {
      width = Stream[0] + 1, next = clear + 2, afterClear = true;
      continue;
    }
    if (!afterClear && next < 4096 && ++next == 1 << width && width < 12) ++width;
    afterClear = false;
  }
  return codes;
}

// Count pixels of colour 0 in as few codes as LZW allows (code size 2): each code one
// pixel longer than the one before, then, the table full, the longest over and over.
Bytes SolidData(int64_t Count) {
  gifref::CodeWriter w;
  int width = 3, next = 6;
  w.Put(4, width);
  for (int64_t left = Count, len = 1; left > 0; len = std::min<int64_t>(len + 1, 4091)) {
    const int n = int(std::min(len, left));
    w.Put(n == 1 ? 0 : n + 4, width);
    left -= n;
    if (next < 4096 && ++next > (1 << width) && width < 12) ++width;
  }
  w.Put(5, width);
  return w.Stream(2);
}

// Count frames of Width x Height on a screen of that size, each with Data.
Bytes Frames(int Width, int Height, int Count, const Bytes& Data) {
  Bytes f = gifref::WrapImageData(Width, Height, 2, Data);
  f.pop_back();
  const Bytes frame(f.end() - long(Data.size() + 10), f.end());
  for (int i = 1; i < Count; ++i) f.insert(f.end(), frame.begin(), frame.end());
  f.push_back(';');
  return f;
}

}  // namespace

TEST(GifLZW, EncoderWritesTheReferenceBytesAndDecodesTheReferenceStreams) {
  for (int bits = 1; bits <= 8; ++bits)
    for (const Shape& s : kShapes)
      for (bool interlaced : {false, true}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, " << s.width << "x" << s.height << (interlaced ? " interlaced" : ""));
        const Bytes pixels = Indices(s.width * s.height, 1 << bits, uint32_t(bits * 131 + s.width));
        const Bytes file = gifref::Encode(OneFrame(s.width, s.height, bits, pixels, interlaced));
        TLZWEncoder lzw;
        EXPECT_EQ(Encode(lzw, bits, pixels, s, interlaced), gifref::FirstImageData(file));
        EXPECT_EQ(Decoded(file), pixels);
      }
}

TEST(GifLZW, RunLengthOutputDecodesWithTheReference) {
  for (int bits = 1; bits <= 8; ++bits)
    for (const Shape& s : kShapes)
      for (int noise : {0, 5, 60}) {
        const bool interlaced = noise == 5;
        SCOPED_TRACE(testing::Message() << bits << " bits, " << s.width << "x" << s.height << ", noise " << noise);
        const Bytes pixels = Indices(s.width * s.height, 1 << bits, uint32_t(bits * 7 + s.width + noise), noise);
        TRLEEncoder rle;
        const Bytes file = gifref::WrapImageData(s.width, s.height, std::max(bits, 1),
                                                 Encode(rle, bits, pixels, s, interlaced), interlaced);
        EXPECT_EQ(gifref::Decode(file).frames.at(0).pixels, pixels);
        EXPECT_EQ(Decoded(file), pixels);
      }
  // One colour throughout: runs far longer than a table holds.
  const Shape big{4096, 64};
  const Bytes flat(size_t(big.width * big.height), 3);
  TRLEEncoder rle;
  const Bytes data = Encode(rle, 2, flat, big, false);
  EXPECT_EQ(gifref::Decode(gifref::WrapImageData(big.width, big.height, 2, data)).frames.at(0).pixels, flat);
}

TEST(GifLZW, RunLengthRunsGrowOneByOneAfterAClear) {
  TRLEEncoder rle;
  const Bytes run(15, 9);
  const std::vector<int> codes = Codes(Encode(rle, 8, run, {15, 1}, false));
  // Clear, the pixel, then runs of 2, 3, 4 and 5 pixels, and the end code.
  EXPECT_EQ(codes, (std::vector<int>{256, 9, 258, 259, 260, 261, 257}));
}

TEST(GifLZW, SmallFramesAndBlockBoundaries) {
  TLZWEncoder lzw;
  // A single pixel is a clear code, the pixel and the end code; 2 colours still
  // write code size 2.
  const Bytes one = Encode(lzw, 1, {1}, {1, 1}, false);
  EXPECT_EQ(one[0], 2);
  EXPECT_EQ(Codes(one), (std::vector<int>{4, 1, 5}));
  // Interlaced rows go out in pass order: height 3 as rows 0, 2, 1.
  const Bytes rows{0, 1, 2};
  EXPECT_EQ(Codes(Encode(lzw, 2, rows, {1, 3}, true)), (std::vector<int>{4, 0, 2, 1, 5}));
  EXPECT_EQ(Codes(Encode(lzw, 2, {3}, {1, 1}, true)), (std::vector<int>{4, 3, 5}));
  // Exactly 255 data bytes: one full block, then the terminator at once.
  for (int n = 1; n < 20000; ++n) {
    const Bytes noise = Indices(200 + n % 40, 256, uint32_t(n), 100);
    const int width = int(noise.size());
    const Bytes data = Encode(lzw, 8, noise, {width, 1}, false);
    if (data[1] != 255 || data.size() != 1 + 1 + 255 + 1) continue;
    EXPECT_EQ(data.back(), 0);
    EXPECT_EQ(Decoded(gifref::WrapImageData(width, 1, 8, data)), noise);
    return;
  }
  FAIL() << "no frame of exactly 255 data bytes";
}

TEST(GifLZW, DecodesAnyBlockingDeferredClearsAndStreamsWithoutAClear) {
  const Shape s{200, 120};
  // Code size 1 (two colours) included: its first free code already needs 3 bits.
  for (int bits : {1, 2, 5, 8}) {
    const Bytes pixels = Indices(s.width * s.height, 1 << bits, uint32_t(bits), 90);
    for (int block : {1, 2, 7, 255})
      for (bool defer : {false, true}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, blocks of " << block << (defer ? ", deferred clear" : ""));
        const Bytes file = gifref::WrapImageData(s.width, s.height, bits, gifref::LZWStream(pixels, bits, block, defer));
        ASSERT_EQ(gifref::Decode(file).frames.at(0).pixels, pixels);
        std::vector<std::string> warnings;
        EXPECT_EQ(Decoded(file, &warnings), pixels);
        EXPECT_TRUE(warnings.empty());
      }
  }
  // No clear code in front, and a code that is the one being defined (a a a).
  gifref::CodeWriter w;
  w.Put(1, 3), w.Put(6, 3), w.Put(5, 3);
  EXPECT_EQ(Decoded(gifref::WrapImageData(3, 1, 2, w.Stream(2))), (Bytes{1, 1, 1}));
}

TEST(GifLZW, ImageMagickFilesDecodeAsTheReferenceReadsThem) {
  const std::string convert = Convert();
  if (convert.empty()) GTEST_SKIP() << "ImageMagick is not installed";
  TempDir dir;
  int n = 0;
  for (int colors : {2, 4, 16, 256})
    for (const char* interlace : {"None", "GIF"}) {
      const std::string path = dir / ("im" + std::to_string(n++) + ".gif");
      ASSERT_EQ(Shell(convert + " -seed " + std::to_string(colors) + " -size 301x157 plasma:fractal -colors " +
                    std::to_string(colors) + " -interlace " + interlace + " " + path),
                0);
      const Bytes file = ReadFile(path);
      const gifref::File ref = gifref::Decode(file);
      auto image = Load(file);
      ASSERT_EQ(image->Images()->Count(), int(ref.frames.size()));
      const TGIFSubImage* frame = image->Images()->SubImages(0);
      EXPECT_EQ(frame->GetInterlaced(), ref.frames[0].interlaced);
      EXPECT_EQ(Bytes(frame->Data(), frame->Data() + frame->DataSize()), ref.frames[0].pixels) << colors << interlace;
    }
}

TEST(GifLZW, DamagedDataWarnsOrFailsWithTheCodecsTexts) {
  const Bytes pixels = Indices(40 * 30, 16, 5);
  const Bytes good = gifref::LZWStream(pixels, 4, 255, false);
  // No end code, but a terminator: everything decodes, and asking for more bits
  // than the data holds is reported.
  gifref::CodeWriter w;
  w.Put(16, 5);
  for (int i = 0; i < 7; ++i) w.Put(7, 5);  // 40 bits: the data ends on a byte
  std::vector<std::string> warnings;
  EXPECT_EQ(Decoded(gifref::WrapImageData(10, 1, 4, w.Stream(4)), &warnings), (Bytes{7, 7, 7, 7, 7, 7, 7, 0, 0, 0}));
  EXPECT_EQ(warnings, std::vector<std::string>{sDecodeTooFewBits});
  // A stream cut inside a sub-block: the bytes there decode, one warning, and the
  // rows after them (in the order they arrive) are filled.
  for (bool interlaced : {false, true}) {
    Bytes cut = gifref::WrapImageData(40, 30, 4, good, interlaced);
    cut.resize(cut.size() - 200);
    Bytes partial = Decoded(cut, &warnings);
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), sOutOfData), 1);
    if (interlaced) {
      Bytes arrived;
      for (int start : {0, 4, 2, 1})
        for (int row = start; row < 30; row += start == 0 ? 8 : start * 2)
          arrived.insert(arrived.end(), partial.begin() + row * 40, partial.begin() + row * 40 + 40);
      partial = arrived;
    }
    const size_t same = size_t(std::mismatch(partial.begin(), partial.end(), pixels.begin()).first - partial.begin());
    EXPECT_GT(same, 100u);
    EXPECT_TRUE(std::all_of(partial.begin() + long(same), partial.end(), [](uint8_t v) { return v == 0; }));
  }

  struct Case {
    const char* name;
    Bytes data;
    const char* error;
  };
  gifref::CodeWriter beyond;  // after a clear the table holds 0..17; 30 is not there
  beyond.Put(16, 5), beyond.Put(3, 5), beyond.Put(30, 5);
  gifref::CodeWriter firstNotLiteral;
  firstNotLiteral.Put(16, 5), firstNotLiteral.Put(18, 5);
  const Case cases[] = {
      {"code size 12", {12, 1, 0, 0}, sInvalidData},
      {"code size 255", {255, 1, 0, 0}, sInvalidData},
      {"code size 0", {0, 1, 0, 0}, sInvalidData},
      {"code beyond the table", beyond.Stream(4), sInvalidData},
      {"first code not a colour", firstNotLiteral.Stream(4), sInvalidData},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ErrorOf([&] { Load(gifref::WrapImageData(40, 30, 4, c.data)); }), c.error) << c.name;

  // A descriptor of 65535 x 65535 in a few bytes is refused before any memory is
  // taken for it.
  EXPECT_EQ(ErrorOf([&] { Load(gifref::WrapImageData(65535, 65535, 4, good)); }), sBadDimension);
}

TEST(GifLZW, FramesHoldNoMorePixelsThanTheirDataCodesBeyondOneLimit) {
  const Bytes noData{2, 0};
  const struct {
    const char* name;
    Bytes file;
    const char* error;
  } cases[] = {
      // 140 bytes declaring 2.7 billion pixels: refused before any memory is taken.
      {"ten 16384 x 16384 frames without data", Frames(16384, 16384, 10, noData), sBadDimension},
      {"16384 x 16384 with data for 2 pixels", Frames(16384, 16384, 1, SolidData(2)), sBadDimension},
      {"three 1000 x 1000 frames without data", Frames(1000, 1000, 3, noData), nullptr},
      // Beyond the limit, but every pixel coded, by the fewest bytes LZW allows.
      {"8192 x 8200 of one colour", Frames(8192, 8200, 1, SolidData(8192 * 8200)), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<TestImage> image;
    EXPECT_EQ(ErrorOf([&] { image = Load(c.file); }), c.error ? c.error : "");
    if (c.error) continue;
    for (int i = 0; i < image->Images()->Count(); ++i) {
      const TGIFSubImage* frame = image->Images()->SubImages(i);
      EXPECT_TRUE(std::all_of(frame->Data(), frame->Data() + frame->DataSize(), [](uint8_t v) { return v == 0; }));
    }
  }
}

TEST(GifLZW, AFrameOfNoPictureReadsItsDataWholeOrCut) {
  // The descriptor and data of a 100 x 100 frame coding 20 pixels; cut inside its
  // data, the read also warns.
  const Bytes data = SolidData(20), file = Frames(100, 100, 1, data);
  for (size_t cut : {0, 2}) {
    TMemoryStream s;
    s.WriteBuffer(&file[file.size() - data.size() - 11], int64_t(data.size() + 10 - cut));
    s.SetPosition(0);
    TGIFSubImage frame(nullptr);
    frame.LoadFromStream(&s);
    EXPECT_EQ(std::count(frame.Data(), frame.Data() + frame.DataSize(), 0), 10000) << cut;
  }
}

TEST(GifLZW, AFrameOfNoPictureWhoseDataTurnsOutBadKeepsWhatItDecodedAndTheFill) {
  // A 4 x 4 frame, plain and interlaced, opaque and transparent in colour 3, coded
  // clear, 0, 7: the code 7 is not in the table.
  for (const uint8_t packed : {0x00, 0x40})
    for (const bool transparent : {false, true}) {
      Bytes file;
      if (transparent) file = {0x21, 0xF9, 4, 1, 0, 0, 3, 0};
      const Bytes frame = {',', 0, 0, 0, 0, 4, 0, 4, 0, packed, 2, 2, 0xC4, 0x01, 0};
      file.insert(file.end(), frame.begin(), frame.end());
      // The frame's pixels go where 16 other bytes were just freed.
      std::make_unique<Bytes>(16, 0xAA).reset();
      TMemoryStream s;
      s.WriteBuffer(file.data(), int64_t(file.size()));
      s.SetPosition(0);
      TGIFSubImage sub(nullptr);
      EXPECT_EQ(ErrorOf([&] { sub.LoadFromStream(&s); }), sInvalidData);
      ASSERT_EQ(sub.DataSize(), 16);
      Bytes expected(16, transparent ? 3 : 0);
      expected[0] = 0;
      EXPECT_EQ(Bytes(sub.Data(), sub.Data() + 16), expected) << int(packed) << transparent;
    }
}

TEST(GifLZW, TruncatedFilesNeverCrashOrHang) {
  const Bytes pixels = Indices(33 * 21, 256, 17, 70);
  const Bytes whole = gifref::Encode(OneFrame(33, 21, 8, pixels, true));
  for (size_t n = 0; n < whole.size(); ++n) {
    const Bytes part(whole.begin(), whole.begin() + long(n));
    try {
      Load(part);
    } catch (const GIFException&) {
    }
  }
  // Random damage to the data of a valid file.
  std::mt19937 rng(3);
  for (int i = 0; i < 300; ++i) {
    Bytes bad = whole;
    for (int k = 0; k < 4; ++k) bad[800 + rng() % (bad.size() - 800)] = uint8_t(rng());
    try {
      Load(bad);
    } catch (const GIFException&) {
    }
  }
}

TEST(GifLZW, HashSlotsAreTheDefinedOnes) {
  for (uint32_t key = 0; key < (1u << 20); ++key)
    ASSERT_EQ(THashTable::Hash(key), int((key ^ (key >> 4)) % 8009)) << key;
}

TEST(GifLZW, EncodingRefusesColoursBeyondTheTable) {
  TLZWEncoder lzw;
  TRLEEncoder rle;
  for (TGIFEncoder* e : {static_cast<TGIFEncoder*>(&lzw), static_cast<TGIFEncoder*>(&rle)}) {
    TMemoryStream out;
    EXPECT_EQ(ErrorOf([&] { e->Encode(&out, 2, 3, Bytes{0, 1, 2, 3}.data(), false, 1, 4); }), sInvalidColor);
  }
  TMemoryStream sink;
  TGIFWriter writer(&sink);
  uint8_t b = 0;
  for (auto op : {std::function<void()>([&] { writer.Read(&b, 1); }), std::function<void()>([&] { writer.Seek(0, soCurrent); })}) {
    try {
      op();
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), sInvalidStream);
    }
  }
}
