// The codec's use of zlib: stream set-up with the run-time heap as zlib's allocator,
// zlib's result texts, and whole-buffer compression for the text chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <zlib.h>

namespace png_zlib {

// The text for a zlib result code from Z_VERSION_ERROR (-6) to Z_NEED_DICT (2):
// "data error (-3)", ... Codes outside that range answer their number in brackets.
std::string ZLIBErrors(int result);

// Prepares Stream for inflate / deflate at Level; answer zlib's result.
int InflateInit(z_stream& Stream);
int DeflateInit(z_stream& Stream, int Level);

// The largest text that a compressed text chunk may inflate to; longer texts are
// treated as corrupt, so that a small chunk cannot claim unbounded memory.
constexpr size_t MaxInflatedText = size_t{8} << 20;

// Inflates a whole zlib stream. On failure answers false and sets Error to zlib's
// message (or the result text when zlib gives none); Output is then undefined.
bool DecompressBuffer(const uint8_t* Input, size_t Size, std::string& Output, std::string& Error);
// Deflates Input at Level into a complete zlib stream.
bool CompressBuffer(const uint8_t* Input, size_t Size, int Level, std::string& Output,
                    std::string& Error);

}  // namespace png_zlib
