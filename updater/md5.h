// MD5 message digest (RFC 1321) over memory and over whole files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The 16 digest bytes in the RFC's byte order.
using MD5Digest = std::array<uint8_t, 16>;

// The RFC's context: four chaining words, the bit count as two words (low
// first) and the pending input block.
struct MD5Context {
  uint32_t State[4];
  uint32_t Count[2];
  uint8_t Buffer[64];
};

// Clears the context and loads the initial chaining values.
void MD5Init(MD5Context& Context);
// Adds Count bytes; whole 64-byte blocks are transformed as they fill.
void MD5Update(MD5Context& Context, const void* Data, size_t Count);
// Pads, stores the digest and wipes the whole context to zero.
void MD5Final(MD5Digest& Digest, MD5Context& Context);
// 32 upper-case hexadecimal digits, digest bytes in order.
std::string MD5DigestToHex(const MD5Digest& Digest);

// Digest of an open file (a file descriptor) read from its start: the size is
// measured first, and reading stops at end of file or once that many bytes
// were read. Returns false when the descriptor cannot be read; Digest is then
// left as it was.
bool MD5DigestHandle(int Handle, MD5Digest& Digest);
// Opens an existing file for reading and digests it. A file that cannot be
// opened leaves Digest as it was; the result tells whether a digest was made.
// Size, when given, receives the size of the opened file (-1 when it could not be
// opened or is a folder), whether or not the reading then succeeds.
bool MD5DigestFile(const std::string& FileName, MD5Digest& Digest, int64_t* Size = nullptr);

// The digest of bytes handed over piece by piece as a producer writes them. The first
// MiB is digested at once; past it, the digesting runs on a thread of its own, a few
// MiB behind the producer, so that it overlaps the producer's work. Finish waits for
// it; a stream dropped unfinished stops its thread.
class TMD5Stream {
 public:
  TMD5Stream();
  ~TMD5Stream();
  TMD5Stream(const TMD5Stream&) = delete;
  TMD5Stream& operator=(const TMD5Stream&) = delete;

  void Add(const void* Data, size_t Count);
  // The bytes handed over so far.
  int64_t Count() const { return count_; }
  // The digest of every byte handed over; nothing may be added afterwards.
  MD5Digest Finish();

 private:
  struct TWorker;
  void Hand(bool Last);

  MD5Context context_;
  int64_t count_ = 0;
  std::unique_ptr<TWorker> worker_;
};
