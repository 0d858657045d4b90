#include "platform/vcl/clipbrd.h"

#include <cstring>

namespace {
constexpr const char* kCannotOpen = "Cannot open clipboard";
}

void TClipboard::Open() {
  if (openCount_ == 0 && !OpenClipboard(nullptr)) throw EClipboardException(kCannotOpen);
  ++openCount_;
}

void TClipboard::Close() {
  if (openCount_ == 0) return;
  if (--openCount_ == 0) CloseClipboard();
}

void TClipboard::Clear() {
  Open();
  EmptyClipboard();
  Close();
}

bool TClipboard::HasFormat(uint16_t Format) const { return IsClipboardFormatAvailable(Format) != 0; }

HANDLE TClipboard::GetAsHandle(uint16_t Format) {
  Open();
  HANDLE h = GetClipboardData(Format);
  Close();
  return h;
}

void TClipboard::SetAsHandle(uint16_t Format, HANDLE Value) {
  Open();
  const bool ok = SetClipboardData(Format, Value) != nullptr;
  Close();
  if (!ok) throw EClipboardException(kCannotOpen);
}

std::string TClipboard::AsText() {
  Open();
  std::string text;
  if (HANDLE h = GetClipboardData(CF_TEXT))
    if (const auto* bytes = static_cast<const char*>(GlobalLock(h))) {
      text.assign(bytes, strnlen(bytes, GlobalSize(h)));
      GlobalUnlock(h);
    }
  Close();
  return text;
}

void TClipboard::SetAsText(const std::string& Value) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, Value.size() + 1);
  if (!block) throw EOutOfMemory("Out of memory");
  std::memcpy(GlobalLock(block), Value.c_str(), Value.size() + 1);
  GlobalUnlock(block);
  Open();
  EmptyClipboard();
  const bool ok = SetClipboardData(CF_TEXT, block) != nullptr;
  Close();
  if (!ok) {
    GlobalFree(block);
    throw EClipboardException(kCannotOpen);
  }
}

void TClipboard::AssignGraphic(TGraphic* Graphic) {
  Open();
  try {
    EmptyClipboard();
    uint16_t format = 0;
    HANDLE data = nullptr;
    HPALETTE palette = nullptr;
    Graphic->SaveToClipboardFormat(format, data, palette);
    if (data) SetClipboardData(format, data);
    if (palette) SetClipboardData(CF_PALETTE, palette);
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

void TClipboard::Assign(TPersistent* Source) {
  if (auto* picture = As<TPicture>(Source)) {
    if (picture->Graphic()) AssignGraphic(picture->Graphic());
    return;
  }
  if (auto* graphic = As<TGraphic>(Source)) {
    AssignGraphic(graphic);
    return;
  }
  TPersistent::Assign(Source);
}

void TClipboard::AssignTo(TPersistent* Dest) {
  auto* picture = As<TPicture>(Dest);
  if (!picture) {
    TPersistent::AssignTo(Dest);
    return;
  }
  Open();
  try {
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format))
      if (TPicture::SupportsClipboardFormat(uint16_t(format))) {
        picture->LoadFromClipboardFormat(uint16_t(format), GetClipboardData(format),
                                         static_cast<HPALETTE>(GetClipboardData(CF_PALETTE)));
        Close();
        return;
      }
  } catch (...) {
    Close();
    throw;
  }
  Close();
  throw EInvalidGraphic(GraphicsText::UnknownClipboardFormat);
}

TClipboard* Clipboard() {
  static auto* clipboard = new TClipboard;
  return clipboard;
}
