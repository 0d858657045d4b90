#include "codecs/png/PngZlib.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace png_zlib {

namespace {

// zlib's memory comes from the run-time heap; a failed or overflowing request answers
// null, which zlib reports as Z_MEM_ERROR.
voidpf ZLibAlloc(voidpf, uInt Items, uInt Size) {
  if (Size != 0 && Items > std::numeric_limits<size_t>::max() / Size) return Z_NULL;
  return std::malloc(size_t{Items} * Size);
}

void ZLibFree(voidpf, voidpf Address) { std::free(Address); }

void PrepareStream(z_stream& Stream) {
  Stream = z_stream{};
  Stream.zalloc = ZLibAlloc;
  Stream.zfree = ZLibFree;
  Stream.opaque = Z_NULL;
}

std::string MessageOf(const z_stream& Stream, int Result) {
  if (Stream.msg != nullptr) return Stream.msg;
  return ZLIBErrors(Result);
}

// Output grows geometrically from this step; the window of each inflate or deflate
// call is the unused tail of the output.
constexpr size_t kFirstStep = 256;

}  // namespace

std::string ZLIBErrors(int result) {
  static const char* const kTexts[] = {
      "incompatible version (-6)", "buffer error (-5)", "insufficient memory (-4)",
      "data error (-3)",           "stream error (-2)", "file error (-1)",
      "(0)",                       "stream end (1)",    "need dictionary (2)"};
  if (result >= -6 && result <= 2) return kTexts[result + 6];
  char text[16];
  std::snprintf(text, sizeof text, "(%d)", result);
  return text;
}

int InflateInit(z_stream& Stream) {
  PrepareStream(Stream);
  return inflateInit_(&Stream, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
}

int DeflateInit(z_stream& Stream, int Level) {
  PrepareStream(Stream);
  return deflateInit_(&Stream, Level, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
}

bool DecompressBuffer(const uint8_t* Input, size_t Size, std::string& Output, std::string& Error) {
  Output.clear();
  z_stream stream;
  int result = InflateInit(stream);
  if (result != Z_OK) {
    Error = MessageOf(stream, result);
    return false;
  }
  if (Size > std::numeric_limits<uInt>::max()) Size = std::numeric_limits<uInt>::max();
  stream.next_in = const_cast<Bytef*>(Input);
  stream.avail_in = static_cast<uInt>(Size);
  size_t used = 0;
  bool ok = false;
  for (;;) {
    if (used == Output.size()) {
      if (Output.size() >= MaxInflatedText) {
        Error = "inflated text too long";
        break;
      }
      Output.resize(std::min(MaxInflatedText, std::max(kFirstStep, Output.size() * 2)));
    }
    stream.next_out = reinterpret_cast<Bytef*>(Output.data() + used);
    stream.avail_out = static_cast<uInt>(Output.size() - used);
    uInt before = stream.avail_out;
    result = inflate(&stream, Z_NO_FLUSH);
    used += before - stream.avail_out;
    if (result == Z_STREAM_END) {
      ok = true;
      break;
    }
    // Z_NEED_DICT: the dictionary is unknown. Z_BUF_ERROR with space left: the input
    // ended before the stream did.
    if (result != Z_OK && !(result == Z_BUF_ERROR && stream.avail_out == 0)) {
      Error = MessageOf(stream, result);
      break;
    }
  }
  inflateEnd(&stream);
  Output.resize(ok ? used : 0);
  return ok;
}

bool CompressBuffer(const uint8_t* Input, size_t Size, int Level, std::string& Output,
                    std::string& Error) {
  Output.clear();
  z_stream stream;
  int result = DeflateInit(stream, Level);
  if (result != Z_OK) {
    Error = MessageOf(stream, result);
    return false;
  }
  Output.resize(std::max<size_t>(kFirstStep, deflateBound(&stream, static_cast<uLong>(Size))));
  stream.next_in = const_cast<Bytef*>(Input);
  stream.avail_in = static_cast<uInt>(Size);
  size_t used = 0;
  bool ok = false;
  for (;;) {
    if (used == Output.size()) Output.resize(Output.size() * 2);
    stream.next_out = reinterpret_cast<Bytef*>(Output.data() + used);
    stream.avail_out = static_cast<uInt>(Output.size() - used);
    uInt before = stream.avail_out;
    result = deflate(&stream, Z_FINISH);
    used += before - stream.avail_out;
    if (result == Z_STREAM_END) {
      ok = true;
      break;
    }
    if (result != Z_OK && result != Z_BUF_ERROR) {
      Error = MessageOf(stream, result);
      break;
    }
  }
  deflateEnd(&stream);
  Output.resize(ok ? used : 0);
  return ok;
}

}  // namespace png_zlib
