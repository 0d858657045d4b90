// Loading arbitrary bytes as a GIF picture: every failure is one of the codec's
// exceptions; whatever loads draws, optimises its colour tables, saves, and loads again
// with the same frames.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codecs/gif/GifImage.h"

namespace {

// Pictures larger than this (screen or frames) are loaded but neither drawn nor saved:
// both take time in proportion to the pixels, which a short file can claim by millions.
constexpr int64_t kMaxPixels = int64_t{1} << 22;

int64_t FramePixels(TGIFImage& Image) {
  int64_t pixels = 0;
  for (int i = 0; i < Image.Images()->Count(); ++i) pixels += Image.Images()->SubImages(i)->DataSize();
  return pixels;
}

// The frames with pixels, in order: their place, transparency and pixels.
bool SameFrames(TGIFImage& A, TGIFImage& B) {
  std::vector<TGIFSubImage*> a, b;
  for (int i = 0; i < A.Images()->Count(); ++i)
    if (!A.Images()->SubImages(i)->Empty()) a.push_back(A.Images()->SubImages(i));
  for (int i = 0; i < B.Images()->Count(); ++i)
    if (!B.Images()->SubImages(i)->Empty()) b.push_back(B.Images()->SubImages(i));
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const TRect ra = a[i]->GetBoundsRect(), rb = b[i]->GetBoundsRect();
    if (ra.left != rb.left || ra.top != rb.top || ra.right != rb.right || ra.bottom != rb.bottom) return false;
    if (a[i]->Transparent() != b[i]->Transparent()) return false;
    if (std::memcmp(a[i]->Data(), b[i]->Data(), size_t(a[i]->DataSize())) != 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream input;
  input.Write(data, static_cast<int64_t>(size));
  input.SetPosition(0);
  TGIFImage gif;
  try {
    gif.LoadFromStream(&input);
  } catch (const Exception&) {
    return 0;
  }
  if (int64_t(gif.Width()) * gif.Height() > kMaxPixels || FramePixels(gif) > kMaxPixels) return 0;
  try {
    gif.SetDrawOptions({goTransparent});
    TBitmap target;
    target.SetSize(48, 32);
    target.Canvas()->StretchDraw(Rect(0, 0, 48, 32), &gif);
    gif.GetBitmap();
  } catch (const GIFException&) {
    // A picture without any colour table cannot be drawn.
  }
  // One global table of the colours in use; pixels beyond their table become entry 0.
  gif.OptimizeColorMap();
  TMemoryStream saved;
  try {
    gif.SaveToStream(&saved);
  } catch (const GIFException&) {
    // Pixels with no colour table at all cannot be written.
    return 0;
  }
  saved.SetPosition(0);
  TGIFImage again;
  again.LoadFromStream(&saved);
  if (!SameFrames(gif, again)) abort();
  return 0;
}
