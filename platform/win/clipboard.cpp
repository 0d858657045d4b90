#include "platform/win/clipboard.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/reactor.h"

// ---- Memory blocks ----

namespace {

struct TGlobalBlock {
  size_t size;
  std::unique_ptr<uint8_t[]> bytes;
};

struct TBlocks {
  std::mutex lock;
  std::unordered_map<HGLOBAL, std::unique_ptr<TGlobalBlock>> live;
};
TBlocks& Blocks() {
  static auto* b = new TBlocks;
  return *b;
}

TGlobalBlock* Find(HGLOBAL h) {
  TBlocks& b = Blocks();
  std::lock_guard guard(b.lock);
  auto it = b.live.find(h);
  return it == b.live.end() ? nullptr : it->second.get();
}

}  // namespace

HGLOBAL GlobalAlloc(UINT uFlags, size_t dwBytes) {
  auto block = std::make_unique<TGlobalBlock>();
  block->size = dwBytes;
  block->bytes.reset(new (std::nothrow) uint8_t[std::max<size_t>(dwBytes, 1)]);
  if (!block->bytes) return nullptr;
  if (uFlags & GMEM_ZEROINIT) std::memset(block->bytes.get(), 0, dwBytes);
  HGLOBAL h = block.get();
  TBlocks& b = Blocks();
  std::lock_guard guard(b.lock);
  b.live.emplace(h, std::move(block));
  return h;
}

void* GlobalLock(HGLOBAL hMem) {
  TGlobalBlock* b = Find(hMem);
  return b ? b->bytes.get() : nullptr;
}

BOOL GlobalUnlock(HGLOBAL hMem) { return Find(hMem) ? TRUE : FALSE; }

size_t GlobalSize(HGLOBAL hMem) {
  TGlobalBlock* b = Find(hMem);
  return b ? b->size : 0;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
  TBlocks& b = Blocks();
  std::lock_guard guard(b.lock);
  return b.live.erase(hMem) ? nullptr : hMem;
}

// ---- The clipboard ----

namespace {

struct TClipboardStore {
  std::mutex lock;
  DWORD openBy = 0;  // the thread that has it open, or 0
  std::vector<std::pair<UINT, HANDLE>> data;  // in the order put
  std::map<std::string, UINT> names;          // upper-case name -> number
  UINT nextFormat = 0xC000;
};
TClipboardStore& Store() {
  static auto* s = new TClipboardStore;
  return *s;
}

void FreeData(UINT format, HANDLE h) {
  if (!h) return;
  if (format == CF_BITMAP || format == CF_PALETTE)
    DeleteObject(static_cast<HGDIOBJ>(h));
  else
    GlobalFree(h);
}

bool OpenedHere(const TClipboardStore& s) { return s.openBy != 0 && s.openBy == GetCurrentThreadId(); }

}  // namespace

UINT RegisterClipboardFormat(const char* lpszFormat) {
  if (!lpszFormat || !*lpszFormat) return 0;
  TClipboardStore& s = Store();
  std::lock_guard guard(s.lock);
  auto [it, added] = s.names.emplace(UpperCase(lpszFormat), s.nextFormat);
  if (added) ++s.nextFormat;
  return it->second;
}

BOOL OpenClipboard(HWND) {
  TClipboardStore& s = Store();
  std::lock_guard guard(s.lock);
  if (s.openBy != 0 && !OpenedHere(s)) return FALSE;
  s.openBy = GetCurrentThreadId();
  return TRUE;
}

BOOL CloseClipboard() {
  TClipboardStore& s = Store();
  std::lock_guard guard(s.lock);
  if (!OpenedHere(s)) return FALSE;
  s.openBy = 0;
  return TRUE;
}

BOOL EmptyClipboard() {
  std::vector<std::pair<UINT, HANDLE>> old;
  {
    TClipboardStore& s = Store();
    std::lock_guard guard(s.lock);
    if (!OpenedHere(s)) {
      SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
      return FALSE;
    }
    old.swap(s.data);
  }
  for (auto& [format, h] : old) FreeData(format, h);
  return TRUE;
}

HANDLE SetClipboardData(UINT uFormat, HANDLE hMem) {
  HANDLE replaced = nullptr;
  {
    TClipboardStore& s = Store();
    std::lock_guard guard(s.lock);
    if (!OpenedHere(s) || uFormat == 0) {
      SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
      return nullptr;
    }
    auto it = std::find_if(s.data.begin(), s.data.end(), [&](auto& d) { return d.first == uFormat; });
    if (it == s.data.end()) {
      s.data.emplace_back(uFormat, hMem);
    } else {
      replaced = it->second;
      it->second = hMem;
    }
  }
  if (replaced != hMem) FreeData(uFormat, replaced);
  return hMem;
}

HANDLE GetClipboardData(UINT uFormat) {
  TClipboardStore& s = Store();
  std::lock_guard guard(s.lock);
  for (auto& [format, h] : s.data)
    if (format == uFormat) return h;
  return nullptr;
}

BOOL IsClipboardFormatAvailable(UINT format) { return GetClipboardData(format) ? TRUE : FALSE; }

UINT EnumClipboardFormats(UINT format) {
  TClipboardStore& s = Store();
  std::lock_guard guard(s.lock);
  size_t i = 0;
  if (format != 0) {
    while (i < s.data.size() && s.data[i].first != format) ++i;
    ++i;
  }
  return i < s.data.size() ? s.data[i].first : 0;
}
