// The GIF picture class against the reference library in the same run: loading a whole
// file and rendering its first frame (reference: DGifSlurp, then the first frame
// composed into an RGB screen), for a large still picture and a 100-frame animation;
// and the CPU time the animation painter takes per frame.
#include <time.h>

#include <cmath>
#include <cstdio>

#include "bench/timing.h"
#include "codecs/gif/GifPainter.h"
#include "platform/win/messages.h"
#include "tests/codecs/gif/GifReference.h"

namespace {

using gifref::Bytes;

// A photo-like frame of 256 colours, drifting with Phase.
Bytes Field(int W, int H, double Phase) {
  Bytes p(size_t(W) * size_t(H));
  uint32_t noise = 7;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      noise = noise * 1103515245u + 12345u;
      const double fx = x / double(W), fy = y / double(H);
      const double v = 128 + 70 * std::sin(fx * 8.0 + Phase) * std::cos(fy * 5.0 - Phase) + 40 * std::sin((fx - fy) * 21.0);
      p[size_t(y) * size_t(W) + size_t(x)] = uint8_t(std::clamp(int(v) + int(noise >> 30), 0, 255));
    }
  return p;
}

gifref::File Picture(int W, int H, int Frames) {
  gifref::File f;
  f.width = W, f.height = H;
  for (int i = 0; i < 256; ++i) f.colors.push_back({GifByteType(i), GifByteType((i * 7) & 255), GifByteType(255 - i)});
  for (int i = 0; i < Frames; ++i) {
    gifref::Frame fr;
    fr.width = W, fr.height = H;
    fr.pixels = Field(W, H, i * 0.2);
    // Every fifth pixel of the later frames shows through.
    if (Frames > 1) {
      fr.extensions.push_back({0xF9, {{uint8_t(i ? 1 : 0), 2, 0, 255}}});
      if (i > 0)
        for (size_t k = 0; k < fr.pixels.size(); k += 5) fr.pixels[k] = 255;
    }
    f.frames.push_back(std::move(fr));
  }
  return f;
}

// The reference: the whole file read, then the first frame laid on an RGB screen.
void ReferenceLoadAndRender(const Bytes& File, std::vector<uint8_t>& Screen) {
  struct Source {
    const Bytes* in;
    size_t at;
  } src{&File, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(
      &src,
      [](GifFileType* g, GifByteType* buf, int n) {
        auto* s = static_cast<Source*>(g->UserData);
        const int k = int(std::min<size_t>(size_t(n), s->in->size() - s->at));
        std::memcpy(buf, s->in->data() + s->at, size_t(k));
        s->at += size_t(k);
        return k;
      },
      &error);
  if (!gif || DGifSlurp(gif) != GIF_OK) throw std::runtime_error("reference decoder failed");
  const SavedImage& first = gif->SavedImages[0];
  GraphicsControlBlock gcb{};
  DGifSavedExtensionToGCB(gif, 0, &gcb);
  const ColorMapObject* map = first.ImageDesc.ColorMap ? first.ImageDesc.ColorMap : gif->SColorMap;
  Screen.assign(size_t(gif->SWidth) * size_t(gif->SHeight) * 3, 0);
  const GifImageDesc& d = first.ImageDesc;
  for (int y = 0; y < d.Height; ++y)
    for (int x = 0; x < d.Width; ++x) {
      const int index = first.RasterBits[size_t(y) * size_t(d.Width) + size_t(x)];
      if (index == gcb.TransparentColor) continue;
      const GifColorType c = map->Colors[index];
      uint8_t* p = &Screen[(size_t(d.Top + y) * size_t(gif->SWidth) + size_t(d.Left + x)) * 3];
      p[0] = c.Red, p[1] = c.Green, p[2] = c.Blue;
    }
  DGifCloseFile(gif, &error);
}

void OurLoadAndRender(const Bytes& File) {
  TMemoryStream in;
  in.Write(File.data(), int64_t(File.size()));
  in.SetPosition(0);
  TGIFImage image;
  image.LoadFromStream(&in);
  image.GetBitmap();
}

void LoadCase(const char* Name, const Bytes& File) {
  std::vector<uint8_t> screen;
  const double ours = vxbench::Time([&] { OurLoadAndRender(File); }, 3);
  const double ref = vxbench::Time([&] { ReferenceLoadAndRender(File, screen); }, 3);
  std::printf("%-36s load and first frame %7.1f ms vs %7.1f ms  ratio %.2f\n", Name, ours / 1000, ref / 1000,
              ours / ref);
}

double ProcessCpuMs() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The animation played once by a painter thread onto a bitmap, as fast as it goes.
void PainterCase(const Bytes& File) {
  TMemoryStream in;
  in.Write(File.data(), int64_t(File.size()));
  in.SetPosition(0);
  TGIFImage image;
  image.LoadFromStream(&in);
  image.SetAnimationSpeed(1000);
  int frames = 0;
  image.OnFramePainted = TNotifyEvent::FromFunction([&](TObject*) { ++frames; });
  TBitmap target;
  target.SetSize(image.Width(), image.Height());
  const double cpu0 = ProcessCpuMs();
  const auto t0 = std::chrono::steady_clock::now();
  TGIFPainter* painter = image.Paint(target.Canvas(), Rect(0, 0, image.Width(), image.Height()),
                                     {goAsync, goAnimate, goTransparent});
  HANDLE thread = painter->Handle();
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
    CheckSynchronize();
  }
  const double cpu = ProcessCpuMs() - cpu0;
  const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  std::printf("painter, %d frames of %dx%d: CPU %.2f ms per frame (%.0f ms in all, %.0f ms of the clock)\n", frames,
              image.Width(), image.Height(), cpu / frames, cpu, wall);
}

}  // namespace

int main() {
  std::printf("GIF picture (ours vs reference library; ratio = ours / reference, below 1 is faster)\n");
  const Bytes still = gifref::Encode(Picture(4000, 3000, 1));
  LoadCase("4000x3000 photo, 256 colours", still);
  const Bytes animation = gifref::Encode(Picture(500, 500, 100));
  LoadCase("100 frames of 500x500", animation);
  PainterCase(animation);
  return 0;
}
