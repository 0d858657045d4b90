// Reads a PNG file (a headless shot) with the reference library; programs that use it
// link PNG::PNG.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vxtest {

// The picture as rows of 0xRRGGBB; no rows when the file cannot be read.
inline std::vector<std::vector<uint32_t>> ReadPng(const std::string& File) {
  std::vector<std::vector<uint32_t>> rows;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, File.c_str())) return rows;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> data(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, data.data(), 0, nullptr)) return rows;
  for (uint32_t y = 0; y < image.height; ++y) {
    std::vector<uint32_t> row;
    for (uint32_t x = 0; x < image.width; ++x) {
      const uint8_t* p = &data[(size_t(y) * image.width + x) * 3];
      row.push_back(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace vxtest
