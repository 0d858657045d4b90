// Generated animations, and the pictures they show frame by frame: composed by this
// codec's painter, or by ImageMagick's -coalesce.
#pragma once

#include <numeric>
#include <random>

#include "codecs/gif/GifPainter.h"
#include "tests/codecs/gif/GifTestUtil.h"
#include "tests/support/manual_clock.h"

namespace giftest {

struct FrameSpec {
  int left, top, width, height;
  TDisposalMethod disposal = dmNone;
  bool transparent = false;
  bool interlaced = false;
  bool local = false;  // a local table of its own
  int delay = 5;
};

// Distinct colours from a seed, none of them the test backgrounds.
inline std::vector<GifColorType> Palette(int Count, uint32_t Seed) {
  std::mt19937 rng(Seed);
  std::vector<GifColorType> colors;
  while (int(colors.size()) < Count) {
    const GifColorType c{GifByteType(rng() % 200 + 40), GifByteType(rng() % 200 + 40), GifByteType(rng() % 200 + 40)};
    if (std::none_of(colors.begin(), colors.end(),
                     [&](const GifColorType& o) { return o.Red == c.Red && o.Green == c.Green && o.Blue == c.Blue; }))
      colors.push_back(c);
  }
  return colors;
}

// An animation of Frames on a Width x Height screen: a global table of 16 colours, a
// local one of 8 where asked, pixels in runs and noise; a transparent frame's last
// colour is its transparent one and covers about a third of it.
inline gifref::File Animation(int Width, int Height, const std::vector<FrameSpec>& Frames, uint32_t Seed,
                              int Loops = -1) {
  gifref::File f;
  f.width = Width, f.height = Height, f.colorResolution = 8, f.background = 2;
  f.colors = Palette(16, Seed);
  std::mt19937 rng(Seed);
  for (const FrameSpec& s : Frames) {
    gifref::Frame fr;
    fr.left = s.left, fr.top = s.top, fr.width = s.width, fr.height = s.height, fr.interlaced = s.interlaced;
    const int colors = s.local ? 8 : 16;
    if (s.local) fr.colors = Palette(8, rng());
    fr.pixels = Indices(s.width * s.height, colors - (s.transparent ? 1 : 0), rng(), 30);
    if (s.transparent)
      for (auto& p : fr.pixels)
        if (rng() % 3 == 0) p = uint8_t(colors - 1);
    const uint8_t packed = uint8_t(int(s.disposal) << 2 | (s.transparent ? 1 : 0));
    fr.extensions.push_back({0xF9, {{packed, uint8_t(s.delay), uint8_t(s.delay >> 8), uint8_t(s.transparent ? colors - 1 : 0)}}});
    if (Loops >= 0 && f.frames.empty())
      fr.extensions.insert(fr.extensions.begin(),
                           {0xFF, {Bytes{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'},
                                   {1, uint8_t(Loops), uint8_t(Loops >> 8)}}});
    f.frames.push_back(std::move(fr));
  }
  return f;
}

// The frame sets the comparisons run over: every disposal after every other, frames
// smaller than and offset within the screen, transparency, interlacing, local tables.
inline std::vector<std::vector<FrameSpec>> AnimationSets() {
  return {
      {{0, 0, 40, 30}, {5, 4, 20, 12, dmNone, true}, {12, 10, 25, 18, dmBackground, true, true},
       {0, 0, 40, 30, dmNone, true}, {3, 3, 10, 10, dmPrevious, true, false, true}, {8, 2, 30, 20, dmPrevious, true},
       {1, 1, 38, 28, dmBackground}, {20, 15, 20, 15, dmNone, true, true, true}},
      {{4, 4, 16, 12, dmPrevious, true}, {0, 0, 40, 30, dmBackground, true, true}, {10, 5, 12, 20, dmBackground},
       {2, 6, 30, 10, dmPrevious, false, false, true}, {6, 6, 6, 6, dmNoDisposal, true}, {0, 0, 40, 30, dmPrevious, true}},
      {{10, 8, 20, 14, dmBackground, true, false, true}, {0, 0, 40, 30, dmNoDisposal, true, true},
       {15, 0, 25, 30, dmPrevious, true}, {0, 20, 40, 10, dmBackground, true, true, true}, {5, 5, 30, 20}},
  };
}

// An animation as simple tools write one: every frame the whole screen, a scene of
// bands and blocks with a sprite moving over it. With LocalTables each frame carries
// the same 16 colours in an order of its own.
inline gifref::File MovingSprite(int Frames, bool LocalTables, uint32_t Seed) {
  constexpr int W = 64, H = 48;
  gifref::File f;
  f.width = W, f.height = H, f.colorResolution = 8, f.background = 0;
  f.colors = Palette(16, Seed);
  std::mt19937 rng(Seed);
  Bytes scene(W * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) scene[size_t(y * W + x)] = uint8_t(y < 16 ? y / 4 : 4 + (x / 8 + y / 8) % 8);
  for (int i = 0; i < Frames; ++i) {
    gifref::Frame fr;
    fr.width = W, fr.height = H;
    fr.pixels = scene;
    const int sx = (5 * i) % (W - 12), sy = 10 + (3 * i) % (H - 20);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 12; ++x) fr.pixels[size_t((sy + y) * W + sx + x)] = uint8_t(12 + (x + y) % 4);
    if (LocalTables) {
      std::vector<uint8_t> order(16);
      std::iota(order.begin(), order.end(), 0);
      std::shuffle(order.begin(), order.end(), rng);
      for (int k = 0; k < 16; ++k) fr.colors.push_back(f.colors[order[size_t(k)]]);
      std::vector<uint8_t> inverse(16);
      for (int k = 0; k < 16; ++k) inverse[order[size_t(k)]] = uint8_t(k);
      for (auto& p : fr.pixels) p = inverse[p];
    }
    fr.extensions.push_back({0xF9, {{0, 8, 0, 0}}});
    f.frames.push_back(std::move(fr));
  }
  return f;
}

inline TColor ColorOf(uint8_t R, uint8_t G, uint8_t B) { return TColor(R) | TColor(G) << 8 | TColor(B) << 16; }

// A bitmap's pixels as rows of R, G, B.
inline Bytes RGBOf(TBitmap& Bitmap) {
  TBitmap copy;
  copy.Assign(&Bitmap);
  copy.SetPixelFormat(pf24bit);
  Bytes out;
  out.reserve(size_t(copy.Width()) * size_t(copy.Height()) * 3);
  for (int y = 0; y < copy.Height(); ++y) {
    const auto* row = static_cast<const uint8_t*>(copy.ScanLine(y));
    for (int x = 0; x < copy.Width(); ++x) out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
  }
  return out;
}

// A picture shown and for how long, in delay units.
struct Shown {
  Bytes picture;
  int delay;
  bool operator==(const Shown&) const = default;
};

// What the painter shows after each frame of one pass, painting on the calling thread
// over a picture of the screen's size filled with Background. Waits take no time.
inline std::vector<Shown> Play(TGIFImage& Image, TColor Background,
                               TGIFDrawOptions Options = {goTransparent, goAnimate}) {
  TSimulatedClock clock(true);
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(Image.Width(), Image.Height());
  target.Canvas()->Brush()->SetColor(Background);
  target.Canvas()->FillRect(Rect(0, 0, Image.Width(), Image.Height()));
  std::vector<Shown> shown;
  Image.OnFramePainted = TNotifyEvent::FromFunction([&](TObject* Sender) {
    const TGIFSubImage* frame = Image.Images()->SubImages(static_cast<TGIFPainter*>(Sender)->ActiveImage());
    const TGIFGraphicControlExtension* gce = frame->GraphicControlExtension();
    const int delay = gce && gce->GetDelay() ? std::max<int>(gce->GetDelay(), GIFMinimumDelay) : GIFDefaultDelay;
    shown.push_back({RGBOf(target), delay});
  });
  Image.Paint(target.Canvas(), Rect(0, 0, Image.Width(), Image.Height()), Options - TGIFDrawOptions{goAsync});
  Image.OnFramePainted = nullptr;
  return shown;
}

inline std::vector<Bytes> Pictures(const std::vector<Shown>& Shown) {
  std::vector<Bytes> out;
  for (const auto& s : Shown) out.push_back(s.picture);
  return out;
}

// What a viewer sees over time: a picture shown again at once only lasts longer.
inline std::vector<Shown> Timeline(const std::vector<Shown>& Frames) {
  std::vector<Shown> out;
  for (const Shown& s : Frames)
    if (!out.empty() && out.back().picture == s.picture)
      out.back().delay += s.delay;
    else
      out.push_back(s);
  return out;
}

// ImageMagick's frames of a file, composed with -coalesce and laid over Background;
// empty when ImageMagick is not installed.
inline std::vector<Bytes> Coalesce(const Bytes& File, TColor Background) {
  if (Convert().empty()) return {};
  TempDir dir;
  WriteFile(dir / "in.gif", File);
  char color[16];
  std::snprintf(color, sizeof color, "#%02x%02x%02x", Background & 0xFF, (Background >> 8) & 0xFF,
                (Background >> 16) & 0xFF);
  const std::string command = Convert() + " " + dir / "in.gif" + " -coalesce -background '" + color +
                              "' -alpha remove -alpha off -depth 8 rgb:" + dir / "out.rgb";
  if (Shell(command) != 0) throw std::runtime_error("convert failed: " + command);
  const gifref::File f = gifref::Decode(File);
  const size_t frameSize = size_t(f.width) * size_t(f.height) * 3;
  const Bytes all = ReadFile(dir / "out.rgb");
  std::vector<Bytes> frames;
  for (size_t at = 0; at + frameSize <= all.size(); at += frameSize)
    frames.emplace_back(all.begin() + long(at), all.begin() + long(at + frameSize));
  return frames;
}

// Where two frame lists first differ, or "" when they are equal.
inline std::string FirstDifference(const std::vector<Bytes>& A, const std::vector<Bytes>& B, int Width) {
  if (A.size() != B.size()) return std::to_string(A.size()) + " frames against " + std::to_string(B.size());
  for (size_t i = 0; i < A.size(); ++i)
    for (size_t k = 0; k < A[i].size(); k += 3)
      if (!std::equal(A[i].begin() + long(k), A[i].begin() + long(k + 3), B[i].begin() + long(k)))
        return "frame " + std::to_string(i) + " at (" + std::to_string(k / 3 % size_t(Width)) + ", " +
               std::to_string(k / 3 / size_t(Width)) + ")";
  return "";
}

}  // namespace giftest
