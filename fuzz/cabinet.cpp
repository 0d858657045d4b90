// Fuzzes the cabinet decompression interface with cabinets held in memory. The
// input may hold several cabinets separated by kSeparator; the first is the one
// copied, the others answer the next-cabinet requests in order.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cabinet/fdi.h"

namespace {

constexpr std::string_view kSeparator = "--next cabinet--";
constexpr INT_PTR kOutput = 1;  // cabinet handles count from 2

struct OpenFile {
  size_t part;
  size_t pos;
};

std::vector<std::string_view> g_parts;
std::map<std::string, size_t> g_partOfName;
std::map<INT_PTR, OpenFile> g_open;
INT_PTR g_nextHandle = 2;

void* Alloc(ULONG cb) { return std::malloc(cb); }
void Free(void* p) { std::free(p); }

INT_PTR Open(char* name, int, int) {
  auto found = g_partOfName.find(name);
  size_t part = found != g_partOfName.end() ? found->second : g_partOfName.size();
  if (part >= g_parts.size()) return -1;
  g_partOfName.emplace(name, part);
  g_open[g_nextHandle] = {part, 0};
  return g_nextHandle++;
}

UINT Read(INT_PTR hf, void* pv, UINT cb) {
  auto it = g_open.find(hf);
  if (it == g_open.end()) return UINT(-1);
  std::string_view data = g_parts[it->second.part];
  size_t n = it->second.pos < data.size() ? std::min<size_t>(cb, data.size() - it->second.pos) : 0;
  std::memcpy(pv, data.data() + it->second.pos, n);
  it->second.pos += n;
  return UINT(n);
}

UINT Write(INT_PTR hf, void*, UINT cb) { return hf == kOutput ? cb : UINT(-1); }

int Close(INT_PTR hf) {
  if (hf == kOutput) return 0;
  return g_open.erase(hf) ? 0 : -1;
}

int64_t Seek(INT_PTR hf, int64_t dist, int type) {
  auto it = g_open.find(hf);
  if (it == g_open.end()) return -1;
  int64_t base = type == 0 ? 0 : type == 1 ? int64_t(it->second.pos) : int64_t(g_parts[it->second.part].size());
  if (base + dist < 0) return -1;
  it->second.pos = size_t(base + dist);
  return int64_t(it->second.pos);
}

INT_PTR Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION n) {
  switch (type) {
    case fdintCOPY_FILE: return kOutput;
    case fdintCLOSE_FILE_INFO: return TRUE;
    case fdintNEXT_CABINET: return n->fdie == FDIERROR_NONE ? 0 : -1;
    default: return 0;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  g_parts.clear();
  for (size_t at; (at = input.find(kSeparator)) != std::string_view::npos && g_parts.size() < 4;) {
    g_parts.push_back(input.substr(0, at));
    input.remove_prefix(at + kSeparator.size());
  }
  g_parts.push_back(input);
  g_partOfName.clear();
  g_open.clear();
  g_nextHandle = 2;

  ERF erf;
  HFDI hfdi = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &erf);
  if (!hfdi) return 0;
  char name[] = "first.cab";
  INT_PTR hf = Open(name, 0, 0);
  FDICABINETINFO info;
  FDIIsCabinet(hfdi, hf, &info);
  Close(hf);
  char path[] = "";
  FDICopy(hfdi, name, path, 0, Notify, nullptr, nullptr);
  FDIDestroy(hfdi);
  if (!g_open.empty()) std::abort();  // every cabinet handle must be closed again
  return 0;
}
