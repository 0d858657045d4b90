// Reading arbitrary bytes as the extension blocks in front of a GIF frame: every
// failure is a GIFException, and what loads writes out in a form that reads back
// and writes out again byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codecs/gif/GifExtensions.h"

namespace {

// The picture class without drawing.
class Image : public TGIFImage {
 protected:
  void Draw(TCanvas*, const TRect&) override {}
  void LoadFromClipboardFormat(uint16_t, HANDLE, HPALETTE) override {}
  void SaveToClipboardFormat(uint16_t&, HANDLE&, HPALETTE&) override {}
};

bool LoadAndSave(TStream* In, TMemoryStream& Out) {
  Image image;
  image.GetColorMap()->Add(clBlack);
  image.GetColorMap()->Add(clWhite);
  TGIFSubImage frame(&image);
  try {
    frame.Extensions()->LoadFromStream(In, &frame);
  } catch (const GIFException&) {
    return false;
  }
  frame.Extensions()->SaveToStream(&Out);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream input;
  input.Write(data, int64_t(size));
  input.SetPosition(0);
  TMemoryStream first;
  if (!LoadAndSave(&input, first)) return 0;
  first.SetPosition(0);
  TMemoryStream second;
  if (!LoadAndSave(&first, second)) abort();
  if (first.Size() != second.Size()) abort();
  if (first.Size() > 0 && std::memcmp(first.Memory(), second.Memory(), size_t(first.Size())) != 0) abort();
  return 0;
}
