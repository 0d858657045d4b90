#include "codecs/gif/GifUtils.h"

#include <algorithm>

void RaiseGIFError(const std::string& Message) { throw GIFException(Message); }

int ColorCountToBits(int Count) {
  if (Count <= 0) return 0;
  int bits = 1;
  while (bits < 31 && (1 << bits) < Count) ++bits;
  return bits;
}

void WriteStreamByte(TStream* Stream, uint8_t Value) { Stream->WriteBuffer(&Value, 1); }

int ReadStreamByte(TStream* Stream) {
  uint8_t b;
  return Stream->Read(&b, 1) == 1 ? b : -1;
}

void ReadExact(TStream* Stream, void* Buffer, int64_t Size) {
  if (Size > 0 && Stream->Read(Buffer, Size) != Size) RaiseGIFError(sOutOfData);
}

void WriteSubBlockStrings(TStream* Stream, TStrings* Strings) {
  for (int i = 0; i < Strings->Count(); ++i) {
    const std::string s = Strings->Strings(i);
    for (size_t at = 0; at < s.size(); at += 255) {
      const size_t n = std::min<size_t>(255, s.size() - at);
      WriteStreamByte(Stream, uint8_t(n));
      Stream->WriteBuffer(s.data() + at, int64_t(n));
    }
  }
  WriteStreamByte(Stream, 0);
}

void ReadSubBlockStrings(TStream* Stream, TStrings* Strings) {
  Strings->Clear();
  ReadSubBlocks(Stream, [&](const uint8_t* data, int size) {
    Strings->Add(std::string(reinterpret_cast<const char*>(data), size_t(size)));
  });
}
