#include "updater/md5.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <string>

#include "tests/support/TempFolder.h"

namespace {

MD5Digest Reference(std::string_view bytes) {
  MD5Digest d{};
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), d.data(), &len, EVP_md5(), nullptr);
  return d;
}

std::string Hex(std::string_view bytes) {
  MD5Context c;
  MD5Init(c);
  MD5Update(c, bytes.data(), bytes.size());
  MD5Digest d;
  MD5Final(d, c);
  return MD5DigestToHex(d);
}

TEST(MD5, RfcSuite) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (auto [text, hex] : cases) EXPECT_EQ(Hex(text), hex) << '"' << text << '"';
}

// Every length around the padding boundaries, and odd pieces that straddle the
// 64-byte blocks in every way, must agree with the reference.
TEST(MD5, AgreesWithReferenceForAnyLengthAndPiecing) {
  const std::string data = RandomBytes(5000, 1);
  for (size_t len = 0; len <= 300; ++len) {
    const std::string_view msg(data.data(), len);
    MD5Context c;
    MD5Init(c);
    MD5Update(c, msg.data(), msg.size());
    MD5Digest d;
    MD5Final(d, c);
    ASSERT_EQ(d, Reference(msg)) << "length " << len;
  }
  for (size_t piece : {1, 3, 63, 64, 65, 127, 4095}) {
    MD5Context c;
    MD5Init(c);
    for (size_t off = 0; off < data.size(); off += piece)
      MD5Update(c, data.data() + off, std::min(piece, data.size() - off));
    MD5Digest d;
    MD5Final(d, c);
    EXPECT_EQ(d, Reference(data)) << "piece " << piece;
  }
}

TEST(MD5, FinalWipesTheContext) {
  MD5Context c;
  MD5Init(c);
  MD5Update(c, "some bytes that stay in the buffer", 34);
  MD5Digest d;
  MD5Final(d, c);
  const auto* raw = reinterpret_cast<const uint8_t*>(&c);
  for (size_t i = 0; i < sizeof c; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;
}

TEST(MD5, FilesOfEverySizeAgreeWithReference) {
  TempFolder dir;
  for (size_t size : {0, 1, 55, 56, 63, 64, 4095, 4096, 4097, 8190, 8191, 65520, 65521,
                      3 * 1024 * 1024 + 7}) {
    const std::string bytes = RandomBytes(size, size + 17);
    const std::string name = dir / ("f" + std::to_string(size));
    WriteFileBytes(name, bytes);
    MD5Digest d{};
    ASSERT_TRUE(MD5DigestFile(name, d)) << size;
    EXPECT_EQ(d, Reference(bytes)) << "size " << size;
  }
}

TEST(MD5, HandleIsDigestedFromItsStart) {
  TempFolder dir;
  const std::string bytes = RandomBytes(10000, 5);
  WriteFileBytes(dir / "f", bytes);
  const int fd = open((dir / "f").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  lseek(fd, 777, SEEK_SET);
  MD5Digest d{};
  EXPECT_TRUE(MD5DigestHandle(fd, d));
  close(fd);
  EXPECT_EQ(d, Reference(bytes));
}

// Streams below, at and past the MiB that is digested at once (then on a thread of
// its own), handed over in pieces of every kind; and one dropped unfinished.
TEST(MD5Stream, AgreesWithReferenceWhateverItsLengthAndPieces) {
  const std::string data = RandomBytes(6 * 1024 * 1024 + 3, 9);
  const size_t mib = 1024 * 1024;
  const std::pair<size_t, size_t> cases[] = {{0, 1},       {100, 7},           {mib, 4096},      {mib + 1, 65536},
                                             {mib + 1, mib}, {3 * mib + 5, 32768}, {data.size(), 1000003}};
  for (auto [length, piece] : cases) {
    TMD5Stream stream;
    for (size_t off = 0; off < length; off += piece) stream.Add(data.data() + off, std::min(piece, length - off));
    EXPECT_EQ(stream.Count(), int64_t(length));
    EXPECT_EQ(stream.Finish(), Reference(std::string_view(data.data(), length))) << length << " in " << piece;
  }
  TMD5Stream dropped;
  dropped.Add(data.data(), data.size());
}

TEST(MD5, UnreadableFilesLeaveTheDigestAlone) {
  TempFolder dir;
  MD5Digest d;
  d.fill(0xAB);
  const MD5Digest before = d;
  EXPECT_FALSE(MD5DigestFile(dir / "missing", d));
  EXPECT_FALSE(MD5DigestFile(dir.Path(), d));  // a folder
  EXPECT_EQ(d, before);
}

}  // namespace
