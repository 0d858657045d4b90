#include "tests/support/cabinet_fixtures.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "tests/support/TempFolder.h"

namespace cabtest {
namespace {

void Put16(std::string& s, uint16_t v) {
  s.push_back(char(v & 0xFF));
  s.push_back(char(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}
void Set32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = char((v >> (8 * i)) & 0xFF);
}

// The CFDATA checksum: 32-bit little-endian words XORed, the tail folded in
// most significant byte first.
uint32_t Checksum(const uint8_t* p, size_t n, uint32_t seed) {
  uint32_t csum = seed;
  size_t words = n / 4;
  for (size_t i = 0; i < words; ++i, p += 4)
    csum ^= uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  uint32_t ul = 0;
  switch (n % 4) {
    case 3: ul |= uint32_t(*p++) << 16; [[fallthrough]];
    case 2: ul |= uint32_t(*p++) << 8; [[fallthrough]];
    case 1: ul |= uint32_t(*p++);
  }
  return csum ^ ul;
}

struct Block {
  std::string payload;
  size_t uncompressed;
};

std::vector<Block> MakeBlocks(const std::string& stream, const SetLayout& layout) {
  std::vector<Block> blocks;
  z_stream z{};
  if (layout.typeCompress == 1 && deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  for (size_t at = 0; at < stream.size(); at += layout.blockSize) {
    const size_t n = std::min(layout.blockSize, stream.size() - at);
    Block b{std::string(), n};
    if (layout.typeCompress == 1) {
      // Each block is a complete deflate stream that may refer back to the 32 KiB
      // before it.
      deflateReset(&z);
      const size_t dict = std::min<size_t>(at, 32768);
      if (dict) deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(stream.data() + at - dict), uInt(dict));
      std::string out(deflateBound(&z, uLong(n)) + 16, '\0');
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data() + at));
      z.avail_in = uInt(n);
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = uInt(out.size());
      if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
      out.resize(out.size() - z.avail_out);
      b.payload = "CK" + out;
    } else {
      b.payload = stream.substr(at, n);
    }
    blocks.push_back(std::move(b));
  }
  if (layout.typeCompress == 1) deflateEnd(&z);
  return blocks;
}

}  // namespace

std::vector<std::string> WriteCabinetSet(const std::string& dir, const std::vector<std::string>& names,
                                         const std::vector<Entry>& entries, const SetLayout& layout) {
  std::string stream;
  std::vector<size_t> offsets;
  for (const Entry& e : entries) {
    offsets.push_back(stream.size());
    stream += e.data;
  }
  const std::vector<Block> blocks = MakeBlocks(stream, layout);
  // A cabinet ends inside a data block: its first part closes the cabinet with an
  // uncompressed size of 0, the rest opens the next one. splits[k] is the block
  // split between cabinet k and k + 1.
  const size_t per = std::max<size_t>(1, layout.blocksPerCabinet);
  std::vector<size_t> splits;
  for (size_t b = per; b < blocks.size(); b += per + 1) splits.push_back(b);
  const size_t cabinets = splits.size() + 1;
  if (cabinets > names.size()) throw std::runtime_error("not enough cabinet names");

  std::vector<std::string> written;
  for (size_t k = 0; k < cabinets; ++k) {
    const bool hasPrev = k > 0, hasNext = k + 1 < cabinets;
    const size_t first = hasPrev ? splits[k - 1] : 0;  // first block with data here
    const size_t last = hasNext ? splits[k] : blocks.size() - 1;
    const size_t ustart = first * layout.blockSize;
    const size_t uend = hasNext ? splits[k] * layout.blockSize : stream.size();

    // As the cabinet format has it, every file of a folder that is not complete
    // before a cabinet ends is listed in that cabinet, and again in each following
    // cabinet its data reaches.
    std::string files;
    uint16_t fileCount = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      const size_t fb = offsets[i], fe = fb + entries[i].data.size();
      if (hasPrev && fe <= ustart) continue;
      const bool fromPrev = hasPrev, toNext = hasNext && fe > uend;
      uint16_t folder = fromPrev && toNext ? 0xFFFF : fromPrev ? 0xFFFD : toNext ? 0xFFFE : 0;
      Put32(files, uint32_t(entries[i].declaredSize < 0 ? entries[i].data.size() : entries[i].declaredSize));
      Put32(files, uint32_t(fb));
      Put16(files, folder);
      Put16(files, entries[i].date);
      Put16(files, entries[i].time);
      Put16(files, entries[i].attribs);
      files += entries[i].name;
      files.push_back('\0');
      ++fileCount;
    }

    std::string names1;
    if (hasPrev) names1 += names[k - 1] + '\0' + "DISK" + std::to_string(k) + '\0';
    if (hasNext) names1 += names[k + 1] + '\0' + "DISK" + std::to_string(k + 2) + '\0';

    const size_t headerSize = 36 + names1.size();
    const size_t folderAt = headerSize, filesAt = folderAt + 8, dataAt = filesAt + files.size();
    std::string cab;
    cab += "MSCF";
    Put32(cab, 0);
    Put32(cab, 0);  // size, set below
    Put32(cab, 0);
    Put32(cab, uint32_t(filesAt));
    Put32(cab, 0);
    cab.push_back(3);
    cab.push_back(1);
    Put16(cab, 1);
    Put16(cab, fileCount);
    Put16(cab, uint16_t((hasPrev ? 1 : 0) | (hasNext ? 2 : 0)));
    Put16(cab, layout.setID);
    Put16(cab, uint16_t(k));
    cab += names1;
    Put32(cab, uint32_t(dataAt));
    Put16(cab, uint16_t(last - first + 1));
    Put16(cab, layout.typeCompress);
    cab += files;
    for (size_t b = first; b <= last; ++b) {
      const Block& blk = blocks[b];
      std::string payload = blk.payload;
      size_t uncompressed = blk.uncompressed;
      if (hasPrev && b == first) payload = payload.substr(payload.size() / 2);
      if (hasNext && b == last) payload = payload.substr(0, payload.size() / 2), uncompressed = 0;
      std::string head;
      Put16(head, uint16_t(payload.size()));
      Put16(head, uint16_t(uncompressed));
      uint32_t csum = 0;
      if (layout.checksums) {
        csum = Checksum(reinterpret_cast<const uint8_t*>(payload.data()), payload.size(), 0);
        csum = Checksum(reinterpret_cast<const uint8_t*>(head.data()), head.size(), csum);
      }
      Put32(cab, csum);
      cab += head;
      cab += payload;
    }
    Set32(cab, 8, uint32_t(cab.size()));
    const std::string path = dir + "/" + names[k];
    WriteFileBytes(path, cab);
    written.push_back(path);
  }
  return written;
}

std::string TestBytes(size_t n, uint32_t seed, bool compressible) {
  static const char* const kWords[] = {"update ", "cabinet ", "folder ", "version ", "loader ",
                                       "client ", "file ",    "12345 ",  "\r\n",      "data "};
  std::string s;
  s.reserve(n + 16);
  uint32_t x = seed * 2654435761u + 1;
  while (s.size() < n) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    if (compressible)
      s += kWords[x % 10];
    else
      s.push_back(char(x & 0xFF));
  }
  s.resize(n);
  return s;
}

void WriteFile(const std::string& path, const std::string& data) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteFileBytes(path, data);
}

std::vector<std::pair<std::string, std::string>> ReadTree(const std::string& dir) {
  std::vector<std::pair<std::string, std::string>> tree;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
    if (e.is_regular_file())
      tree.emplace_back(std::filesystem::relative(e.path(), dir).string(), ReadFileBytes(e.path().string()));
  std::sort(tree.begin(), tree.end());
  return tree;
}

}  // namespace cabtest
