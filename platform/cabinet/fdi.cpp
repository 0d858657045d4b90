// The decompression interface over libmspack. libmspack parses the cabinets and
// decodes the folders (stored, MSZIP, Quantum, LZX); every file access it makes goes
// through the caller's FDI callbacks by way of a custom mspack_system. The header
// walk below reads the per-file facts that notifications carry verbatim (raw folder
// indexes of files split between cabinets, stored names, DOS date, time and
// attributes), and the notification sequence and error numbers are produced here.
#include "platform/cabinet/fdi.h"

#include <mspack.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kContextMagic = 0x46444958;  // "XIDF"
constexpr USHORT cfhdrPREV_CABINET = 0x0001;
constexpr USHORT cfhdrNEXT_CABINET = 0x0002;
constexpr USHORT cfhdrRESERVE_PRESENT = 0x0004;
constexpr int kMaxCabString = 255;  // names in a cabinet header, terminator excluded
// How often a next cabinet is asked for again after it could not be used.
constexpr int kMaxNextCabinetAttempts = 16;

struct CabEntry {
  std::string name;
  uint32_t size = 0;
  uint32_t offset = 0;  // uncompressed offset in its folder
  USHORT folder = 0;
  USHORT date = 0;
  USHORT time = 0;
  USHORT attribs = 0;

  bool FromPrev() const { return folder == ifoldCONTINUED_FROM_PREV || folder == ifoldCONTINUED_PREV_AND_NEXT; }
  bool ToNext() const { return folder == ifoldCONTINUED_TO_NEXT || folder == ifoldCONTINUED_PREV_AND_NEXT; }
};

struct CabHeader {
  uint32_t cbCabinet = 0;
  uint32_t coffFiles = 0;
  USHORT cFolders = 0;
  USHORT cFiles = 0;
  USHORT flags = 0;
  USHORT setID = 0;
  USHORT iCabinet = 0;
  USHORT cbHeaderReserve = 0;
  uint8_t cbFolderReserve = 0;
  uint8_t cbDataReserve = 0;
  std::string prevCab, prevDisk, nextCab, nextDisk;
  std::vector<USHORT> folderTypes;
  std::vector<CabEntry> files;

};

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

struct FdiContext;

// Every libmspack allocation carries its context in front, because libmspack's free
// has no context argument.
constexpr size_t kAllocHeader = 16;

struct FdiContext {
  mspack_system sys;
  uint32_t magic = kContextMagic;
  PFNALLOC pfnalloc;
  PFNFREE pfnfree;
  PFNOPEN pfnopen;
  PFNREAD pfnread;
  PFNWRITE pfnwrite;
  PFNCLOSE pfnclose;
  PFNSEEK pfnseek;
  PERF perf;
  mscab_decompressor* cabd = nullptr;
  INT_PTR outHandle = 0;
  bool busy = false;

  void SetError(FDIERROR e) {
    perf->erfOper = e;
    perf->erfType = 0;
    perf->fError = e != FDIERROR_NONE;
  }
};

// An open file as libmspack sees it: a callback handle. The output of an extraction
// is the handle the copy-file notification returned; closing it is the caller's.
// Input is read ahead in small pieces: libmspack reads a cabinet's file table a few
// bytes at a time and steps back after each name, which would otherwise cost a read
// and a seek of the handle for every file of the cabinet.
constexpr size_t kReadAhead = 4096;

struct MsFile {
  FdiContext* ctx;
  INT_PTR hf;
  bool output;
  int64_t start = 0;  // the file position of ahead[0]; the handle stands at start + kept
  size_t kept = 0;    // bytes read ahead
  size_t at = 0;      // the next byte's place in ahead
  uint8_t ahead[kReadAhead];

  int64_t Position() const { return start + int64_t(at); }

  int Read(uint8_t* out, size_t bytes) {
    size_t done = 0;
    while (done < bytes) {
      if (at < kept) {
        const size_t k = std::min(bytes - done, kept - at);
        std::memcpy(out + done, ahead + at, k);
        at += k, done += k;
        continue;
      }
      start += int64_t(kept);
      kept = at = 0;
      // Large reads go straight to the caller's buffer.
      const bool direct = bytes - done >= kReadAhead;
      const UINT r = ctx->pfnread(hf, direct ? out + done : ahead, UINT(direct ? bytes - done : kReadAhead));
      if (r == UINT(-1)) return -1;
      if (r == 0) break;
      if (direct) {
        start += r;
        done += r;
      } else {
        kept = r;
      }
    }
    return int(done);
  }

  int Seek(int64_t offset, int mode) {
    int64_t to;
    if (mode == MSPACK_SYS_SEEK_START)
      to = offset;
    else if (mode == MSPACK_SYS_SEEK_CUR)
      to = Position() + offset;
    else
      to = -1;
    if (to >= start && to <= start + int64_t(kept)) {
      at = size_t(to - start);
      return 0;
    }
    const int64_t r = mode == MSPACK_SYS_SEEK_END ? ctx->pfnseek(hf, offset, mode) : ctx->pfnseek(hf, to, 0);
    if (r == -1) return -1;
    start = r;
    kept = at = 0;
    return 0;
  }
};

// The context of the FDI call running on this thread. libmspack hands copies of
// the mspack_system to its decoders, so the system pointer it passes to open and
// alloc does not lead back to the context.
thread_local FdiContext* t_context = nullptr;

class ContextScope {
 public:
  explicit ContextScope(FdiContext* ctx) : saved_(t_context) { t_context = ctx; }
  ~ContextScope() { t_context = saved_; }
  ContextScope(const ContextScope&) = delete;
  ContextScope& operator=(const ContextScope&) = delete;

 private:
  FdiContext* saved_;
};

// The name libmspack is given as the target of an extraction; the open below
// recognises it by address and hands out the current output handle.
char kOutputName[] = "<fdi output>";

mspack_file* SysOpen(mspack_system* self, const char* filename, int mode) {
  FdiContext* ctx = t_context;
  INT_PTR hf;
  bool output = filename == kOutputName;
  if (output) {
    hf = ctx->outHandle;
  } else {
    if (mode != MSPACK_SYS_OPEN_READ) return nullptr;
    hf = ctx->pfnopen(const_cast<char*>(filename), _O_BINARY | _O_RDONLY, 0);
    if (hf == -1) return nullptr;
  }
  void* mem = ctx->sys.alloc(&ctx->sys, sizeof(MsFile));
  if (!mem) {
    if (!output) ctx->pfnclose(hf);
    return nullptr;
  }
  auto* file = new (mem) MsFile;
  file->ctx = ctx;
  file->hf = hf;
  file->output = output;
  return reinterpret_cast<mspack_file*>(file);
}

void SysClose(mspack_file* file) {
  auto* f = reinterpret_cast<MsFile*>(file);
  if (!f) return;
  if (!f->output) f->ctx->pfnclose(f->hf);
  f->ctx->sys.free(f);
}

int SysRead(mspack_file* file, void* buffer, int bytes) {
  auto* f = reinterpret_cast<MsFile*>(file);
  if (bytes < 0) return -1;
  if (!f->output) return f->Read(static_cast<uint8_t*>(buffer), size_t(bytes));
  UINT r = f->ctx->pfnread(f->hf, buffer, UINT(bytes));
  return r == UINT(-1) ? -1 : int(r);
}

int SysWrite(mspack_file* file, void* buffer, int bytes) {
  auto* f = reinterpret_cast<MsFile*>(file);
  if (bytes < 0) return -1;
  UINT r = f->ctx->pfnwrite(f->hf, buffer, UINT(bytes));
  return r == UINT(-1) ? -1 : int(r);
}

int SysSeek(mspack_file* file, off_t offset, int mode) {
  auto* f = reinterpret_cast<MsFile*>(file);
  if (!f->output) return f->Seek(int64_t(offset), mode);
  // libmspack's seek modes are numbered as the run-time library's.
  return f->ctx->pfnseek(f->hf, int64_t(offset), mode) == -1 ? -1 : 0;
}

off_t SysTell(mspack_file* file) {
  auto* f = reinterpret_cast<MsFile*>(file);
  if (!f->output) return off_t(f->Position());
  return off_t(f->ctx->pfnseek(f->hf, 0, MSPACK_SYS_SEEK_CUR));
}

void SysMessage(mspack_file*, const char*, ...) {}

void* SysAlloc(mspack_system*, size_t bytes) {
  FdiContext* ctx = t_context;
  if (bytes > ULONG(-1) - kAllocHeader) return nullptr;
  auto* base = static_cast<unsigned char*>(ctx->pfnalloc(ULONG(bytes + kAllocHeader)));
  if (!base) return nullptr;
  std::memcpy(base, &ctx, sizeof ctx);
  return base + kAllocHeader;
}

void SysFree(void* ptr) {
  if (!ptr) return;
  unsigned char* base = static_cast<unsigned char*>(ptr) - kAllocHeader;
  FdiContext* ctx;
  std::memcpy(&ctx, base, sizeof ctx);
  ctx->pfnfree(base);
}

void SysCopy(void* src, void* dest, size_t bytes) { std::memmove(dest, src, bytes); }

FdiContext* ContextOf(HFDI hfdi) {
  auto* ctx = static_cast<FdiContext*>(hfdi);
  return ctx && ctx->magic == kContextMagic ? ctx : nullptr;
}

FDIERROR FromMspack(int err) {
  switch (err) {
    case MSPACK_ERR_OK: return FDIERROR_NONE;
    case MSPACK_ERR_OPEN: return FDIERROR_CABINET_NOT_FOUND;
    case MSPACK_ERR_SIGNATURE: return FDIERROR_NOT_A_CABINET;
    case MSPACK_ERR_NOMEMORY: return FDIERROR_ALLOC_FAIL;
    case MSPACK_ERR_DECRUNCH: return FDIERROR_MDI_FAIL;
    case MSPACK_ERR_WRITE: return FDIERROR_TARGET_FILE;
    default: return FDIERROR_CORRUPT_CABINET;  // data format, checksum, read, seek
  }
}

// Sequential buffered reading of a cabinet header through the callbacks.
class HeaderReader {
 public:
  HeaderReader(FdiContext& ctx, INT_PTR hf) : ctx_(ctx), hf_(hf) {}

  bool Read(void* dst, size_t n) {
    auto* out = static_cast<uint8_t*>(dst);
    while (n > 0) {
      if (pos_ == len_ && !Fill()) return false;
      size_t k = std::min(n, len_ - pos_);
      std::memcpy(out, buf_ + pos_, k);
      out += k, pos_ += k, n -= k;
    }
    return true;
  }
  bool Skip(size_t n) {
    uint8_t scratch[256];
    while (n > 0) {
      size_t k = std::min(n, sizeof scratch);
      if (!Read(scratch, k)) return false;
      n -= k;
    }
    return true;
  }
  // A NUL-terminated string of at most kMaxCabString bytes.
  bool ReadString(std::string& s) {
    s.clear();
    for (;;) {
      char c;
      if (!Read(&c, 1)) return false;
      if (c == '\0') return true;
      if (s.size() == kMaxCabString) return false;
      s.push_back(c);
    }
  }
  bool SeekTo(int64_t pos) {
    pos_ = len_ = 0;
    return ctx_.pfnseek(hf_, pos, 0) == pos;
  }
  int64_t Tell() const { return ctx_.pfnseek(hf_, 0, 1) - int64_t(len_ - pos_); }

 private:
  bool Fill() {
    UINT r = ctx_.pfnread(hf_, buf_, sizeof buf_);
    if (r == UINT(-1) || r == 0) return false;
    pos_ = 0, len_ = r;
    return true;
  }

  FdiContext& ctx_;
  INT_PTR hf_;
  uint8_t buf_[4096];
  size_t pos_ = 0, len_ = 0;
};

// Reads the cabinet header at the handle's current position; with withFiles also
// the folder and file tables.
FDIERROR ReadHeader(FdiContext& ctx, INT_PTR hf, CabHeader& h, bool withFiles) {
  HeaderReader in(ctx, hf);
  const int64_t base = in.Tell();
  if (base < 0) return FDIERROR_NOT_A_CABINET;
  uint8_t b[36];
  if (!in.Read(b, 4) || std::memcmp(b, "MSCF", 4) != 0) return FDIERROR_NOT_A_CABINET;
  if (!in.Read(b + 4, 32)) return FDIERROR_CORRUPT_CABINET;
  if (b[25] != 1) return FDIERROR_UNKNOWN_CABINET_VERSION;
  h.cbCabinet = Get32(b + 8);
  h.coffFiles = Get32(b + 16);
  h.cFolders = Get16(b + 26);
  h.cFiles = Get16(b + 28);
  h.flags = Get16(b + 30);
  h.setID = Get16(b + 32);
  h.iCabinet = Get16(b + 34);
  if (h.flags & cfhdrRESERVE_PRESENT) {
    if (!in.Read(b, 4)) return FDIERROR_CORRUPT_CABINET;
    h.cbHeaderReserve = Get16(b);
    h.cbFolderReserve = b[2];
    h.cbDataReserve = b[3];
    if (!in.Skip(h.cbHeaderReserve)) return FDIERROR_CORRUPT_CABINET;
  }
  if ((h.flags & cfhdrPREV_CABINET) && !(in.ReadString(h.prevCab) && in.ReadString(h.prevDisk)))
    return FDIERROR_CORRUPT_CABINET;
  if ((h.flags & cfhdrNEXT_CABINET) && !(in.ReadString(h.nextCab) && in.ReadString(h.nextDisk)))
    return FDIERROR_CORRUPT_CABINET;
  if (!withFiles) return FDIERROR_NONE;

  h.folderTypes.reserve(h.cFolders);
  for (unsigned i = 0; i < h.cFolders; ++i) {
    if (!in.Read(b, 8) || !in.Skip(h.cbFolderReserve)) return FDIERROR_CORRUPT_CABINET;
    h.folderTypes.push_back(Get16(b + 6));
  }
  if (!in.SeekTo(base + h.coffFiles)) return FDIERROR_CORRUPT_CABINET;
  h.files.resize(h.cFiles);
  for (CabEntry& e : h.files) {
    if (!in.Read(b, 16) || !in.ReadString(e.name)) return FDIERROR_CORRUPT_CABINET;
    e.size = Get32(b);
    e.offset = Get32(b + 4);
    e.folder = Get16(b + 8);
    e.date = Get16(b + 10);
    e.time = Get16(b + 12);
    e.attribs = Get16(b + 14);
    if (e.folder < ifoldCONTINUED_FROM_PREV && e.folder >= h.cFolders) return FDIERROR_CORRUPT_CABINET;
  }
  return FDIERROR_NONE;
}

// One cabinet of the set being walked by a copy. libmspack keeps a pointer to the
// name, so the record stays where it was made.
struct OpenCabinet {
  std::string fullName;  // path and name as given to the open callback
  std::string path;      // the folder part, as the cabinet-information notification reports it
  CabHeader header;
  mscabd_cabinet* cab = nullptr;
};

// One FDICopy: the cabinet named by the caller, plus the cabinets after it that
// its split folder needs, joined into one libmspack set. As the cabinet format
// has it, a file listed as continued from the previous cabinet was listed in that
// cabinet too and is copied from there; here it is only reported as partial.
class Copier {
 public:
  Copier(FdiContext& ctx, PFNFDINOTIFY notify, void* pv) : ctx_(ctx), notify_(notify), pv_(pv) {}
  ~Copier() {
    // Closing any cabinet of a libmspack set releases the whole set.
    if (!chain_.empty()) ctx_.cabd->close(ctx_.cabd, chain_.front()->cab);
  }

  FDIERROR Run(const std::string& cabName, const std::string& cabPath) {
    auto first = std::make_unique<OpenCabinet>();
    if (FDIERROR e = Load(cabPath, cabName, *first)) return e;
    chain_.push_back(std::move(first));
    if (!CabinetInfo(*chain_.back())) return FDIERROR_USER_ABORT;

    const std::vector<CabEntry>& entries = chain_[0]->header.files;
    const std::vector<USHORT>& folderTypes = chain_[0]->header.folderTypes;
    for (size_t i = 0; i < entries.size(); ++i) {
      const CabEntry& e = entries[i];
      if (e.FromPrev()) {
        const OpenCabinet& mine = *chain_.front();
        if (Notify(fdintPARTIAL_FILE, e, nullptr, mine.header.prevCab, mine.header.prevDisk) == -1)
          return FDIERROR_USER_ABORT;
        continue;
      }
      INT_PTR hf = Notify(fdintCOPY_FILE, e);
      if (hf == -1) return FDIERROR_USER_ABORT;
      if (hf == 0) continue;
      FDIERROR err;
      try {  // a notification raised while the next cabinet is fetched
        err = CopyInto(i, e, folderTypes, hf);
      } catch (...) {
        ctx_.pfnclose(hf);
        throw;
      }
      if (err != FDIERROR_NONE) {
        ctx_.pfnclose(hf);
        return err;
      }
      INT_PTR r = Notify(fdintCLOSE_FILE_INFO, e, &hf);
      if (r == 0 || r == -1) return FDIERROR_USER_ABORT;
    }
    return FDIERROR_NONE;
  }

 private:
  // Reads the header through the callbacks, then lets libmspack open the cabinet.
  FDIERROR Load(const std::string& path, const std::string& name, OpenCabinet& oc) {
    oc.path = path;
    oc.fullName = path + name;
    INT_PTR hf = ctx_.pfnopen(oc.fullName.data(), _O_BINARY | _O_RDONLY, 0);
    if (hf == -1) return FDIERROR_CABINET_NOT_FOUND;
    FDIERROR e = ReadHeader(ctx_, hf, oc.header, true);
    ctx_.pfnclose(hf);
    if (e != FDIERROR_NONE) return e;
    oc.cab = ctx_.cabd->open(ctx_.cabd, oc.fullName.c_str());
    if (!oc.cab) return FromMspack(ctx_.cabd->last_error(ctx_.cabd));
    size_t n = 0;
    for (mscabd_file* f = oc.cab->files; f; f = f->next) ++n;
    if (n != oc.header.files.size()) {
      ctx_.cabd->close(ctx_.cabd, oc.cab);
      oc.cab = nullptr;
      return FDIERROR_CORRUPT_CABINET;
    }
    return FDIERROR_NONE;
  }

  bool CabinetInfo(OpenCabinet& oc) {
    FDINOTIFICATION n;
    n.psz1 = oc.header.nextCab.data();
    n.psz2 = oc.header.nextDisk.data();
    n.psz3 = oc.path.data();
    n.setID = oc.header.setID;
    n.iCabinet = oc.header.iCabinet;
    return Call(fdintCABINET_INFO, n) != -1;
  }

  INT_PTR Notify(FDINOTIFICATIONTYPE type, const CabEntry& e, INT_PTR* hf = nullptr, std::string cab = {},
                 std::string disk = {}) {
    std::string name = e.name;
    FDINOTIFICATION n;
    n.psz1 = name.data();
    n.date = e.date;
    n.time = e.time;
    n.iFolder = e.folder;
    n.attribs = e.attribs;
    if (type == fdintPARTIAL_FILE) {
      n.psz2 = cab.data();
      n.psz3 = disk.data();
    } else if (type == fdintCOPY_FILE) {
      n.cb = LONG(e.size);
    } else if (type == fdintCLOSE_FILE_INFO) {
      n.hf = *hf;
      n.attribs = e.attribs & ~_A_EXEC;
      n.cb = (e.attribs & _A_EXEC) ? 1 : 0;
    }
    return Call(type, n);
  }

  INT_PTR Call(FDINOTIFICATIONTYPE type, FDINOTIFICATION& n) {
    n.pv = pv_;
    return notify_(type, &n);
  }

  FDIERROR CopyInto(size_t index, const CabEntry& e, const std::vector<USHORT>& folderTypes, INT_PTR hf) {
    if (folderTypes.empty()) return FDIERROR_CORRUPT_CABINET;
    const USHORT folder = e.ToNext() ? USHORT(folderTypes.size() - 1) : e.folder;
    if ((folderTypes[folder] & 0x0F) > MSCAB_COMP_LZX) return FDIERROR_BAD_COMPR_TYPE;
    if (e.ToNext())
      if (FDIERROR err = LoadFollowing(e)) return err;
    mscabd_file* file = Locate(index);
    if (!file || file->offset != e.offset || file->length != e.size) return FDIERROR_CORRUPT_CABINET;
    ctx_.outHandle = hf;
    return FromMspack(ctx_.cabd->extract(ctx_.cabd, file, kOutputName));
  }

  // The libmspack file of entry `index` of the copied cabinet. A joined set keeps
  // one file list that starts with every entry of the first cabinet.
  mscabd_file* Locate(size_t target) {
    if (!cursor_ || cursorIndex_ > target) {
      cursor_ = chain_.front()->cab->files;
      cursorIndex_ = 0;
    }
    while (cursor_ && cursorIndex_ < target) cursor_ = cursor_->next, ++cursorIndex_;
    return cursor_;
  }

  // Entry e continues into the next cabinet: join cabinets at the end of the
  // chain until the one holding the end of e.
  FDIERROR LoadFollowing(const CabEntry& e) {
    size_t k = 0;
    const CabEntry* part = &e;
    while (part->ToNext()) {
      if (k + 1 == chain_.size())
        if (FDIERROR err = AppendNext()) return err;
      ++k;
      part = nullptr;
      for (const CabEntry& c : chain_[k]->header.files)
        if (c.FromPrev() && c.name == e.name && c.offset == e.offset && c.size == e.size) {
          part = &c;
          break;
        }
      if (!part) return FDIERROR_CORRUPT_CABINET;
    }
    return FDIERROR_NONE;
  }

  static bool SameSet(const CabHeader& a, const CabHeader& b) { return a.setID == b.setID; }

  // Asks for the cabinet after the last one of the chain, tries it, and asks again
  // with the reason while it cannot be used.
  FDIERROR AppendNext() {
    const OpenCabinet& last = *chain_.back();
    if (!(last.header.flags & cfhdrNEXT_CABINET)) return FDIERROR_CORRUPT_CABINET;
    if (last.path.size() >= size_t(CB_MAX_CAB_PATH)) return FDIERROR_CABINET_NOT_FOUND;
    std::string nextName = last.header.nextCab;
    std::string nextDisk = last.header.nextDisk;
    char path[CB_MAX_CAB_PATH] = {};
    std::memcpy(path, last.path.data(), last.path.size());
    FDIERROR fdie = FDIERROR_NONE;
    for (int attempt = 0; attempt < kMaxNextCabinetAttempts; ++attempt) {
      FDINOTIFICATION n;
      n.psz1 = nextName.data();
      n.psz2 = nextDisk.data();
      n.psz3 = path;
      n.fdie = fdie;
      n.setID = last.header.setID;
      n.iCabinet = last.header.iCabinet;
      if (Call(fdintNEXT_CABINET, n) == -1) return fdie != FDIERROR_NONE ? fdie : FDIERROR_USER_ABORT;
      path[CB_MAX_CAB_PATH - 1] = '\0';
      auto next = std::make_unique<OpenCabinet>();
      fdie = Load(path, nextName, *next);
      if (fdie == FDIERROR_NONE) {
        const CabHeader& lh = last.header;
        const CabHeader& nh = next->header;
        if (!SameSet(nh, lh) || nh.iCabinet != lh.iCabinet + 1)
          fdie = FDIERROR_WRONG_CABINET;
        else if (nh.cbFolderReserve != lh.cbFolderReserve || nh.cbDataReserve != lh.cbDataReserve)
          fdie = FDIERROR_RESERVE_MISMATCH;
        else if (ctx_.cabd->append(ctx_.cabd, last.cab, next->cab) != MSPACK_ERR_OK)
          fdie = FDIERROR_WRONG_CABINET;
        if (fdie != FDIERROR_NONE) {
          ctx_.cabd->close(ctx_.cabd, next->cab);
          continue;
        }
        chain_.push_back(std::move(next));
        cursor_ = nullptr;
        return CabinetInfo(*chain_.back()) ? FDIERROR_NONE : FDIERROR_USER_ABORT;
      }
    }
    return fdie;
  }

  FdiContext& ctx_;
  PFNFDINOTIFY notify_;
  void* pv_;
  std::vector<std::unique_ptr<OpenCabinet>> chain_;  // the copied cabinet first
  mscabd_file* cursor_ = nullptr;
  size_t cursorIndex_ = 0;
};

}  // namespace

extern "C" {

HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
               PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType, PERF perf) {
  if (!perf) return nullptr;
  perf->erfOper = FDIERROR_NONE;
  perf->erfType = 0;
  perf->fError = FALSE;
  if (!pfnalloc || !pfnfree || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek) {
    perf->erfOper = FDIERROR_ALLOC_FAIL;
    perf->fError = TRUE;
    return nullptr;
  }
  void* mem = pfnalloc(sizeof(FdiContext));
  if (!mem) {
    perf->erfOper = FDIERROR_ALLOC_FAIL;
    perf->fError = TRUE;
    return nullptr;
  }
  auto* ctx = new (mem) FdiContext{};
  ctx->sys = mspack_system{SysOpen, SysClose, SysRead, SysWrite, SysSeek, SysTell, SysMessage,
                           SysAlloc, SysFree, SysCopy, nullptr};
  ctx->pfnalloc = pfnalloc;
  ctx->pfnfree = pfnfree;
  ctx->pfnopen = pfnopen;
  ctx->pfnread = pfnread;
  ctx->pfnwrite = pfnwrite;
  ctx->pfnclose = pfnclose;
  ctx->pfnseek = pfnseek;
  ctx->perf = perf;
  ContextScope scope(ctx);
  ctx->cabd = mspack_create_cab_decompressor(&ctx->sys);
  if (!ctx->cabd) {
    ctx->~FdiContext();
    pfnfree(mem);
    perf->erfOper = FDIERROR_ALLOC_FAIL;
    perf->fError = TRUE;
    return nullptr;
  }
  // A larger input buffer saves refills; checksums stay verified.
  ctx->cabd->set_param(ctx->cabd, MSCABD_PARAM_DECOMPBUF, 65536);
  return ctx;
}

BOOL FDIIsCabinet(HFDI hfdi, INT_PTR hf, PFDICABINETINFO pfdici) {
  FdiContext* ctx = ContextOf(hfdi);
  if (!ctx || !pfdici) return FALSE;
  ContextScope scope(ctx);
  CabHeader h;
  // A file that is not a cabinet is an answer, not an error.
  ctx->SetError(FDIERROR_NONE);
  if (ReadHeader(*ctx, hf, h, false) != FDIERROR_NONE) return FALSE;
  pfdici->cbCabinet = LONG(h.cbCabinet);
  pfdici->cFolders = h.cFolders;
  pfdici->cFiles = h.cFiles;
  pfdici->setID = h.setID;
  pfdici->iCabinet = h.iCabinet;
  pfdici->fReserve = (h.flags & cfhdrRESERVE_PRESENT) != 0;
  pfdici->hasprev = (h.flags & cfhdrPREV_CABINET) != 0;
  pfdici->hasnext = (h.flags & cfhdrNEXT_CABINET) != 0;
  return TRUE;
}

BOOL FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
             PFNFDIDECRYPT pfnfdid, void* pvUser) {
  FdiContext* ctx = ContextOf(hfdi);
  if (!ctx) return FALSE;
  if (!pszCabinet || !pfnfdin || ctx->busy) {
    ctx->SetError(FDIERROR_CABINET_NOT_FOUND);
    return FALSE;
  }
  ctx->SetError(FDIERROR_NONE);
  // Exceptions of the caller's notification handler pass through to the caller.
  struct Busy {
    FdiContext* ctx;
    explicit Busy(FdiContext* c) : ctx(c) { ctx->busy = true; }
    ~Busy() { ctx->busy = false; }
  } busy(ctx);
  ContextScope scope(ctx);
  Copier copier(*ctx, pfnfdin, pvUser);
  const FDIERROR e = copier.Run(pszCabinet, pszCabPath ? pszCabPath : "");
  ctx->SetError(e);
  return e == FDIERROR_NONE;
}

BOOL FDIDestroy(HFDI hfdi) {
  FdiContext* ctx = ContextOf(hfdi);
  if (!ctx || ctx->busy) return FALSE;
  {
    ContextScope scope(ctx);
    mspack_destroy_cab_decompressor(ctx->cabd);
  }
  PFNFREE pfnfree = ctx->pfnfree;
  ctx->magic = 0;
  ctx->~FdiContext();
  pfnfree(ctx);
  return TRUE;
}

}  // extern "C"
