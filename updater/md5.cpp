#include "updater/md5.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/rtl/sysutils.h"

namespace {

constexpr uint32_t Rotl(uint32_t v, int s) { return (v << s) | (v >> (32 - s)); }

inline uint32_t LoadLE32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline void StoreLE32(uint8_t* p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

// The four rounds, written out so that every shift and constant is an
// immediate. F and G are arranged to shorten the dependency chain on b: in G the
// two terms are added separately, which is the same as or-ing them since they
// never share a set bit.
#define MD5_F(a, b, c, d, x, t, s)          \
  a += (d ^ (b & (c ^ d))) + (x) + (t);     \
  a = Rotl(a, s) + b;
#define MD5_G(a, b, c, d, x, t, s)          \
  a += (x) + (t) + (~d & c);                \
  a += (d & b);                             \
  a = Rotl(a, s) + b;
#define MD5_H(a, b, c, d, x, t, s)          \
  a += (b ^ c ^ d) + (x) + (t);             \
  a = Rotl(a, s) + b;
#define MD5_I(a, b, c, d, x, t, s)          \
  a += (c ^ (b | ~d)) + (x) + (t);          \
  a = Rotl(a, s) + b;

// Transforms Blocks consecutive 64-byte blocks into the chaining words.
void Transform(uint32_t state[4], const uint8_t* p, size_t Blocks) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; Blocks > 0; --Blocks, p += 64) {
    const uint32_t x0 = LoadLE32(p), x1 = LoadLE32(p + 4), x2 = LoadLE32(p + 8),
                   x3 = LoadLE32(p + 12), x4 = LoadLE32(p + 16), x5 = LoadLE32(p + 20),
                   x6 = LoadLE32(p + 24), x7 = LoadLE32(p + 28), x8 = LoadLE32(p + 32),
                   x9 = LoadLE32(p + 36), x10 = LoadLE32(p + 40), x11 = LoadLE32(p + 44),
                   x12 = LoadLE32(p + 48), x13 = LoadLE32(p + 52), x14 = LoadLE32(p + 56),
                   x15 = LoadLE32(p + 60);
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    MD5_F(a, b, c, d, x0, 0xd76aa478, 7)
    MD5_F(d, a, b, c, x1, 0xe8c7b756, 12)
    MD5_F(c, d, a, b, x2, 0x242070db, 17)
    MD5_F(b, c, d, a, x3, 0xc1bdceee, 22)
    MD5_F(a, b, c, d, x4, 0xf57c0faf, 7)
    MD5_F(d, a, b, c, x5, 0x4787c62a, 12)
    MD5_F(c, d, a, b, x6, 0xa8304613, 17)
    MD5_F(b, c, d, a, x7, 0xfd469501, 22)
    MD5_F(a, b, c, d, x8, 0x698098d8, 7)
    MD5_F(d, a, b, c, x9, 0x8b44f7af, 12)
    MD5_F(c, d, a, b, x10, 0xffff5bb1, 17)
    MD5_F(b, c, d, a, x11, 0x895cd7be, 22)
    MD5_F(a, b, c, d, x12, 0x6b901122, 7)
    MD5_F(d, a, b, c, x13, 0xfd987193, 12)
    MD5_F(c, d, a, b, x14, 0xa679438e, 17)
    MD5_F(b, c, d, a, x15, 0x49b40821, 22)

    MD5_G(a, b, c, d, x1, 0xf61e2562, 5)
    MD5_G(d, a, b, c, x6, 0xc040b340, 9)
    MD5_G(c, d, a, b, x11, 0x265e5a51, 14)
    MD5_G(b, c, d, a, x0, 0xe9b6c7aa, 20)
    MD5_G(a, b, c, d, x5, 0xd62f105d, 5)
    MD5_G(d, a, b, c, x10, 0x02441453, 9)
    MD5_G(c, d, a, b, x15, 0xd8a1e681, 14)
    MD5_G(b, c, d, a, x4, 0xe7d3fbc8, 20)
    MD5_G(a, b, c, d, x9, 0x21e1cde6, 5)
    MD5_G(d, a, b, c, x14, 0xc33707d6, 9)
    MD5_G(c, d, a, b, x3, 0xf4d50d87, 14)
    MD5_G(b, c, d, a, x8, 0x455a14ed, 20)
    MD5_G(a, b, c, d, x13, 0xa9e3e905, 5)
    MD5_G(d, a, b, c, x2, 0xfcefa3f8, 9)
    MD5_G(c, d, a, b, x7, 0x676f02d9, 14)
    MD5_G(b, c, d, a, x12, 0x8d2a4c8a, 20)

    MD5_H(a, b, c, d, x5, 0xfffa3942, 4)
    MD5_H(d, a, b, c, x8, 0x8771f681, 11)
    MD5_H(c, d, a, b, x11, 0x6d9d6122, 16)
    MD5_H(b, c, d, a, x14, 0xfde5380c, 23)
    MD5_H(a, b, c, d, x1, 0xa4beea44, 4)
    MD5_H(d, a, b, c, x4, 0x4bdecfa9, 11)
    MD5_H(c, d, a, b, x7, 0xf6bb4b60, 16)
    MD5_H(b, c, d, a, x10, 0xbebfbc70, 23)
    MD5_H(a, b, c, d, x13, 0x289b7ec6, 4)
    MD5_H(d, a, b, c, x0, 0xeaa127fa, 11)
    MD5_H(c, d, a, b, x3, 0xd4ef3085, 16)
    MD5_H(b, c, d, a, x6, 0x04881d05, 23)
    MD5_H(a, b, c, d, x9, 0xd9d4d039, 4)
    MD5_H(d, a, b, c, x12, 0xe6db99e5, 11)
    MD5_H(c, d, a, b, x15, 0x1fa27cf8, 16)
    MD5_H(b, c, d, a, x2, 0xc4ac5665, 23)

    MD5_I(a, b, c, d, x0, 0xf4292244, 6)
    MD5_I(d, a, b, c, x7, 0x432aff97, 10)
    MD5_I(c, d, a, b, x14, 0xab9423a7, 15)
    MD5_I(b, c, d, a, x5, 0xfc93a039, 21)
    MD5_I(a, b, c, d, x12, 0x655b59c3, 6)
    MD5_I(d, a, b, c, x3, 0x8f0ccc92, 10)
    MD5_I(c, d, a, b, x10, 0xffeff47d, 15)
    MD5_I(b, c, d, a, x1, 0x85845dd1, 21)
    MD5_I(a, b, c, d, x8, 0x6fa87e4f, 6)
    MD5_I(d, a, b, c, x15, 0xfe2ce6e0, 10)
    MD5_I(c, d, a, b, x6, 0xa3014314, 15)
    MD5_I(b, c, d, a, x13, 0x4e0811a1, 21)
    MD5_I(a, b, c, d, x4, 0xf7537e82, 6)
    MD5_I(d, a, b, c, x11, 0xbd3af235, 10)
    MD5_I(c, d, a, b, x2, 0x2ad7d2bb, 15)
    MD5_I(b, c, d, a, x9, 0xeb86d391, 21)

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

// Logical read size of the file digest; the file is read in larger pieces made
// of whole multiples of it, and the context is fed one logical piece at a time.
constexpr size_t kPieceSize = 4095;
constexpr size_t kReadSize = kPieceSize * 16;

}  // namespace

void MD5Init(MD5Context& Context) {
  std::memset(&Context, 0, sizeof Context);
  Context.State[0] = 0x67452301;
  Context.State[1] = 0xefcdab89;
  Context.State[2] = 0x98badcfe;
  Context.State[3] = 0x10325476;
}

void MD5Update(MD5Context& Context, const void* Data, size_t Count) {
  const auto* in = static_cast<const uint8_t*>(Data);
  size_t used = (Context.Count[0] >> 3) & 63;

  const uint64_t bits = (uint64_t(Context.Count[1]) << 32 | Context.Count[0]) + (uint64_t(Count) << 3);
  Context.Count[0] = uint32_t(bits);
  Context.Count[1] = uint32_t(bits >> 32);

  if (used != 0) {
    const size_t room = 64 - used;
    if (Count < room) {
      std::memcpy(Context.Buffer + used, in, Count);
      return;
    }
    std::memcpy(Context.Buffer + used, in, room);
    Transform(Context.State, Context.Buffer, 1);
    in += room;
    Count -= room;
  }
  if (Count >= 64) {
    Transform(Context.State, in, Count / 64);
    in += Count & ~size_t{63};
    Count &= 63;
  }
  if (Count) std::memcpy(Context.Buffer, in, Count);
}

void MD5Final(MD5Digest& Digest, MD5Context& Context) {
  uint8_t length[8];
  StoreLE32(length, Context.Count[0]);
  StoreLE32(length + 4, Context.Count[1]);

  static const uint8_t kPadding[64] = {0x80};
  const size_t used = (Context.Count[0] >> 3) & 63;
  MD5Update(Context, kPadding, used < 56 ? 56 - used : 120 - used);
  MD5Update(Context, length, 8);

  for (int i = 0; i < 4; ++i) StoreLE32(Digest.data() + 4 * i, Context.State[i]);
  explicit_bzero(&Context, sizeof Context);
}

std::string MD5DigestToHex(const MD5Digest& Digest) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s(32, '0');
  for (size_t i = 0; i < Digest.size(); ++i) {
    s[2 * i] = kHex[Digest[i] >> 4];
    s[2 * i + 1] = kHex[Digest[i] & 15];
  }
  return s;
}

namespace {

// Digest of what is left to read from Handle, stopping early once Size bytes came.
bool DigestRest(int Handle, off_t Size, MD5Digest& Digest) {
  uint8_t buffer[kReadSize];
  MD5Context context;
  MD5Init(context);
  int64_t total = 0;
  for (;;) {
    const ssize_t got = read(Handle, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      explicit_bzero(&context, sizeof context);
      return false;
    }
    if (got == 0) break;
    for (ssize_t off = 0; off < got; off += kPieceSize)
      MD5Update(context, buffer + off, std::min<size_t>(kPieceSize, size_t(got - off)));
    total += got;
    if (total == Size) break;
  }
  MD5Final(Digest, context);
  return true;
}

}  // namespace

bool MD5DigestHandle(int Handle, MD5Digest& Digest) {
  const off_t size = lseek(Handle, 0, SEEK_END);
  if (size < 0 || lseek(Handle, 0, SEEK_SET) != 0) return false;
  return DigestRest(Handle, size, Digest);
}

bool MD5DigestFile(const std::string& FileName, MD5Digest& Digest, int64_t* Size) {
  if (Size) *Size = -1;
  // Only a plain file: a pipe would wait for a writer that never comes.
  const int fd = OpenRegularFile(FileName);
  if (fd < 0) return false;
  // A fresh descriptor reads from the start: its size comes with the one fstat.
  struct stat st {};
  bool made = false;
  if (fstat(fd, &st) == 0) {
    if (Size) *Size = int64_t(st.st_size);
    made = DigestRest(fd, st.st_size, Digest);
  }
  close(fd);
  return made;
}

// ---- TMD5Stream ----

namespace {

constexpr size_t kStreamPiece = size_t(1) << 20;  // digested at once, then the size handed over
constexpr size_t kStreamAhead = 4;                 // pieces the producer may be ahead of the thread

}  // namespace

struct TMD5Stream::TWorker {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::vector<uint8_t>> pending;  // for the thread, in order
  std::vector<std::vector<uint8_t>> spare;   // digested, to be filled again
  bool last = false;                         // nothing more comes after pending
  std::vector<uint8_t> filling;              // the producer's alone
  std::thread thread;

  // Digests the pieces as they come, into the stream's context, which is the
  // thread's alone until it is joined.
  void Run(MD5Context& context) {
    for (;;) {
      std::vector<uint8_t> piece;
      {
        std::unique_lock guard(lock);
        changed.wait(guard, [&] { return !pending.empty() || last; });
        if (pending.empty()) return;
        piece = std::move(pending.front());
        pending.pop_front();
      }
      changed.notify_all();
      MD5Update(context, piece.data(), piece.size());
      piece.clear();
      {
        std::lock_guard guard(lock);
        spare.push_back(std::move(piece));
      }
    }
  }
};

TMD5Stream::TMD5Stream() { MD5Init(context_); }

TMD5Stream::~TMD5Stream() {
  if (worker_ && worker_->thread.joinable()) {
    {
      std::lock_guard guard(worker_->lock);
      worker_->pending.clear();
      worker_->last = true;
    }
    worker_->changed.notify_all();
    worker_->thread.join();
  }
  explicit_bzero(&context_, sizeof context_);
}

void TMD5Stream::Add(const void* Data, size_t Count) {
  const auto* in = static_cast<const uint8_t*>(Data);
  if (!worker_) {
    const size_t now = std::min(Count, kStreamPiece - std::min(size_t(count_), kStreamPiece));
    MD5Update(context_, in, now);
    count_ += int64_t(now);
    in += now;
    Count -= now;
    if (Count == 0) return;
    auto worker = std::make_unique<TWorker>();
    worker->filling.reserve(kStreamPiece);
    worker->thread = std::thread(&TWorker::Run, worker.get(), std::ref(context_));
    worker_ = std::move(worker);
  }
  count_ += int64_t(Count);
  while (Count > 0) {
    std::vector<uint8_t>& filling = worker_->filling;
    const size_t k = std::min(Count, kStreamPiece - filling.size());
    filling.insert(filling.end(), in, in + k);
    in += k;
    Count -= k;
    if (filling.size() == kStreamPiece) Hand(false);
  }
}

void TMD5Stream::Hand(bool Last) {
  TWorker& w = *worker_;
  {
    std::unique_lock guard(w.lock);
    w.changed.wait(guard, [&] { return w.pending.size() < kStreamAhead; });
    if (!w.filling.empty()) w.pending.push_back(std::move(w.filling));
    w.filling.clear();
    if (!w.spare.empty()) {
      w.filling = std::move(w.spare.back());
      w.spare.pop_back();
    }
    w.last = Last;
  }
  w.changed.notify_all();
  if (!Last) w.filling.reserve(kStreamPiece);
}

MD5Digest TMD5Stream::Finish() {
  if (worker_) {
    Hand(true);
    worker_->thread.join();
  }
  MD5Digest digest;
  MD5Final(digest, context_);
  return digest;
}
