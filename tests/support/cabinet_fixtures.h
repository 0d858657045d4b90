// Cabinets for tests: a writer for cabinets and cabinet sets (one folder spread
// over several cabinets, stored or MSZIP), and test data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cabtest {

struct Entry {
  std::string name;  // as stored, "\" between folders
  std::string data;
  uint16_t date = (41 << 9) | (3 << 5) | 4;  // 2021-03-04
  uint16_t time = (5 << 11) | (6 << 5) | 4;  // 05:06:08
  uint16_t attribs = 0x20;
  int64_t declaredSize = -1;  // the size the file table gives, when not that of data
};

struct SetLayout {
  uint16_t typeCompress = 0;  // 0 stored, 1 MSZIP; other values are written as stored data
  size_t blocksPerCabinet = SIZE_MAX;
  size_t blockSize = 32768;
  uint16_t setID = 0x2468;
  bool checksums = true;
};

// Writes the entries as one folder, spread over cabinets of at most
// blocksPerCabinet data blocks each (a block is split between neighbours), into
// dir/names[0], dir/names[1], ... Returns the cabinets written.
std::vector<std::string> WriteCabinetSet(const std::string& dir, const std::vector<std::string>& names,
                                         const std::vector<Entry>& entries, const SetLayout& layout);

// Deterministic test data; compressible data repeats words, the rest is noise.
std::string TestBytes(size_t n, uint32_t seed, bool compressible);

// Writes the file, creating its folders first.
void WriteFile(const std::string& path, const std::string& data);
// Every regular file below the folder: relative name -> contents.
std::vector<std::pair<std::string, std::string>> ReadTree(const std::string& dir);

}  // namespace cabtest
