#include "platform/display/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/gdi/dib.h"
#include "platform/rtl/sysutils.h"

namespace vx::display {

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v >> 24));
  out.push_back(uint8_t(v >> 16));
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  Put32(out, uint32_t(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc = crc32(0L, out.data() + start, uInt(out.size() - start));
  Put32(out, uint32_t(crc));
}

}  // namespace

bool WritePng(const std::string& FileName, const vx::gdi::Surface& Picture, const RECT* Part) {
  RECT r{0, 0, Picture.Width(), Picture.Height()};
  if (Part) {
    r.left = std::max(r.left, Part->left);
    r.top = std::max(r.top, Part->top);
    r.right = std::min(r.right, Part->right);
    r.bottom = std::min(r.bottom, Part->bottom);
  }
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;

  // Rows of filter type 0 followed by R, G, B.
  std::vector<uint8_t> raw;
  raw.reserve(size_t(h) * (size_t(w) * 3 + 1));
  for (int y = r.top; y < r.bottom; ++y) {
    raw.push_back(0);
    for (int x = r.left; x < r.right; ++x) {
      const COLORREF c = Picture.ColorFromRaw(Picture.GetRaw(x, y));
      raw.push_back(GetRValue(c));
      raw.push_back(GetGValue(c));
      raw.push_back(GetBValue(c));
    }
  }
  uLongf packedSize = compressBound(uLong(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 6) != Z_OK) return false;
  packed.resize(packedSize);

  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  Put32(header, uint32_t(w));
  Put32(header, uint32_t(h));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter choice, no interlace
  Chunk(out, "IHDR", header);
  Chunk(out, "IDAT", packed);
  Chunk(out, "IEND", {});

  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(NativePath(FileName).c_str(), "wb"), &std::fclose);
  if (!f) return false;
  if (std::fwrite(out.data(), 1, out.size(), f.get()) != out.size()) return false;
  return std::fflush(f.get()) == 0;
}

}  // namespace vx::display
