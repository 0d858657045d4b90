// Loading arbitrary bytes as a PNG picture: every failure is one of the codec's
// exceptions, and whatever loads saves and loads again with the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "codecs/png/PngImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream input;
  input.Write(data, static_cast<int64_t>(size));
  input.SetPosition(0);
  TPNGObject png;
  try {
    png.LoadFromStream(&input);
  } catch (const Exception&) {
    return 0;
  }
  TMemoryStream saved;
  png.SaveToStream(&saved);
  saved.SetPosition(0);
  TPNGObject again;
  again.LoadFromStream(&saved);
  if (again.Width() != png.Width() || again.Height() != png.Height()) abort();
  for (int y = 0; y < png.Height(); y += 1 + png.Height() / 16)
    for (int x = 0; x < png.Width(); x += 1 + png.Width() / 16)
      if (again.GetPixels(x, y) != png.GetPixels(x, y)) abort();
  return 0;
}
