// Loading and saving pictures through memory streams, and pixel comparison against
// the reference decoder.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "codecs/png/PngImage.h"
#include "tests/codecs/png/PngReference.h"

namespace pngtest {

inline std::unique_ptr<TPNGObject> Load(const std::vector<uint8_t>& Bytes) {
  TMemoryStream stream;
  if (!Bytes.empty()) stream.Write(Bytes.data(), int64_t(Bytes.size()));
  stream.SetPosition(0);
  auto png = std::make_unique<TPNGObject>();
  png->LoadFromStream(&stream);
  return png;
}

inline std::vector<uint8_t> Save(TPNGObject& Png) {
  TMemoryStream stream;
  Png.SaveToStream(&stream);
  const auto* p = static_cast<const uint8_t*>(stream.Memory());
  return std::vector<uint8_t>(p, p + stream.Size());
}

// Every pixel of Png against what the reference decoder reads from the same file.
inline ::testing::AssertionResult SamePixels(TPNGObject& Png, const pngref::Image& Ref) {
  if (uint32_t(Png.Width()) != Ref.width || uint32_t(Png.Height()) != Ref.height)
    return ::testing::AssertionFailure()
           << "size " << Png.Width() << "x" << Png.Height() << " vs " << Ref.width << "x" << Ref.height;
  for (uint32_t y = 0; y < Ref.height; ++y) {
    const uint8_t* alpha = Png.GetAlphaScanline(int(y));
    for (uint32_t x = 0; x < Ref.width; ++x) {
      COLORREF want;
      int wantAlpha;
      pngref::Expected(Ref, x, y, want, wantAlpha);
      auto got = COLORREF(Png.GetPixels(int(x), int(y)));
      if (got != want)
        return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << std::hex
                                             << got << ", expected " << want;
      if (wantAlpha >= 0 && (!alpha || alpha[x] != wantAlpha))
        return ::testing::AssertionFailure() << "alpha at (" << x << "," << y << ") is "
                                             << (alpha ? int(alpha[x]) : -1) << ", expected "
                                             << wantAlpha;
    }
  }
  return ::testing::AssertionSuccess();
}

// The loaded picture's class of error for Bytes, or "" when it loads.
template <class E>
::testing::AssertionResult FailsWith(const std::vector<uint8_t>& Bytes, const char* Text = nullptr) {
  try {
    Load(Bytes);
  } catch (const E& e) {
    if (Text && e.Message() != Text)
      return ::testing::AssertionFailure() << "message: " << e.Message();
    return ::testing::AssertionSuccess();
  } catch (const Exception& e) {
    return ::testing::AssertionFailure() << e.ClassName() << ": " << e.Message();
  }
  return ::testing::AssertionFailure() << "loaded";
}

struct Format {
  int colorType, bitDepth;
};
// Every colour type and bit depth pair of the format.
inline const std::vector<Format>& AllFormats() {
  static const std::vector<Format> formats = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8},
                                              {2, 16}, {3, 1}, {3, 2}, {3, 4}, {3, 8}, {4, 8},
                                              {4, 16}, {6, 8}, {6, 16}};
  return formats;
}

}  // namespace pngtest
