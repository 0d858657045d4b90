// The graphic base class, icons, and the picture with its registry of graphic
// classes.
#include <algorithm>
#include <cstring>

#include "platform/gdi/dc.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/graphics.h"
#include "platform/win/resources.h"

// ---- TGraphic ----

void TGraphic::Changed(TObject*) {
  modified_ = true;
  OnChange(this);
}

void TGraphic::SetModified(bool Value) {
  if (Value)
    Changed(this);
  else
    modified_ = false;
}

void TGraphic::SetTransparent(bool Value) {
  if (Value == transparent_) return;
  transparent_ = Value;
  Changed(this);
}

bool TGraphic::Equals(TGraphic* Graphic) {
  if (!Graphic || Graphic->ClassType() != ClassType()) return false;
  if (Empty() || Graphic->Empty()) return Empty() && Graphic->Empty();
  TMemoryStream a, b;
  WriteData(&a);
  Graphic->WriteData(&b);
  return a.Size() == b.Size() && std::memcmp(a.Memory(), b.Memory(), size_t(a.Size())) == 0;
}

void TGraphic::Progress(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow, const TRect& R,
                        const std::string& Msg) {
  OnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

// ---- TIcon ----

namespace {

uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
void Put16(std::vector<uint8_t>& v, uint16_t x) { v.push_back(uint8_t(x)), v.push_back(uint8_t(x >> 8)); }

[[noreturn]] void InvalidIcon() { throw EInvalidGraphic(GraphicsText::InvalidIcon); }

// Builds an icon from one image of an icon file: a DIB header of twice the height,
// its colour table, the XOR picture and the AND mask.
HICON IconFromImage(const uint8_t* p, size_t n) {
  if (n < 40 || Get32(p) < 40 || Get32(p) > n) return nullptr;
  const uint32_t hsize = Get32(p);
  const int32_t w = int32_t(Get32(p + 4)), h2 = int32_t(Get32(p + 8));
  const int bpp = Get16(p + 14);
  if (w <= 0 || w > 1024 || h2 <= 0 || h2 > 2048 || (h2 & 1)) return nullptr;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
  if (Get32(p + 16) != BI_RGB) return nullptr;
  const int h = h2 / 2;
  const uint32_t clrUsed = Get32(p + 32);
  const uint32_t colors = bpp <= 8 ? (clrUsed && clrUsed < (1u << bpp) ? clrUsed : (1u << bpp)) : 0;
  const size_t xorStride = size_t(vx::gdi::Surface::RowBytes(w, bpp));
  const size_t andStride = size_t(vx::gdi::Surface::RowBytes(w, 1));
  const size_t need = hsize + colors * 4 + xorStride * size_t(h) + andStride * size_t(h);
  if (need > n) return nullptr;
  auto color = vx::gdi::Surface::Create(w, h, bpp, true, true);
  auto mask = vx::gdi::Surface::Create(w, h, 1, false, true);
  if (!color || !mask) return nullptr;
  if (bpp <= 8) {
    std::vector<RGBQUAD> table(colors);
    std::memcpy(table.data(), p + hsize, colors * 4);
    color->SetColors(std::move(table));
  }
  const uint8_t* bits = p + hsize + colors * 4;
  std::memcpy(color->Bits(), bits, xorStride * size_t(h));
  std::memcpy(mask->Bits(), bits + xorStride * size_t(h), andStride * size_t(h));
  ICONINFO ii;
  ii.hbmColor = vx::gdi::AddBitmap(color);
  ii.hbmMask = vx::gdi::AddBitmap(mask);
  HICON icon = CreateIconIndirect(&ii);
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);
  return icon;
}

}  // namespace

TIcon::~TIcon() {
  if (handle_) DestroyIcon(handle_);
}

void TIcon::SetHandle(HICON Value) {
  if (Value == handle_) return;
  if (handle_) DestroyIcon(handle_);
  handle_ = Value;
  Changed(this);
}

HICON TIcon::ReleaseHandle() {
  HICON h = handle_;
  handle_ = nullptr;
  return h;
}

namespace {

SIZE IconSize(HICON icon) {
  ICONINFO ii;
  if (!icon || !GetIconInfo(icon, &ii)) return SIZE{};
  BITMAP bm;
  GetObject(ii.hbmMask, sizeof bm, &bm);
  SIZE s{bm.bmWidth, ii.hbmColor ? bm.bmHeight : bm.bmHeight / 2};
  DeleteObject(ii.hbmMask);
  if (ii.hbmColor) DeleteObject(ii.hbmColor);
  return s;
}

HICON CopyIconHandle(HICON icon) {
  ICONINFO ii;
  if (!icon || !GetIconInfo(icon, &ii)) return nullptr;
  HICON copy = CreateIconIndirect(&ii);
  DeleteObject(ii.hbmMask);
  if (ii.hbmColor) DeleteObject(ii.hbmColor);
  return copy;
}

}  // namespace

int TIcon::GetWidth() { return IconSize(handle_).cx; }
int TIcon::GetHeight() { return IconSize(handle_).cy; }

void TIcon::SetWidth(int) { throw EInvalidGraphicOperation(GraphicsText::ChangeIconSize); }
void TIcon::SetHeight(int) { throw EInvalidGraphicOperation(GraphicsText::ChangeIconSize); }

void TIcon::Assign(TPersistent* Source) {
  if (!Source) {
    SetHandle(nullptr);
    return;
  }
  if (auto* icon = As<TIcon>(Source)) {
    if (icon == this) return;
    SetHandle(CopyIconHandle(icon->handle_));
    return;
  }
  TGraphic::Assign(Source);
}

void TIcon::AssignTo(TPersistent* Dest) {
  if (auto* bm = As<TBitmap>(Dest)) {
    // The icon drawn on the bitmap's background.
    bm->Assign(nullptr);
    if (!Empty()) {
      bm->SetSize(GetWidth(), GetHeight());
      bm->Canvas()->Draw(0, 0, this);
    }
    return;
  }
  TGraphic::AssignTo(Dest);
}

void TIcon::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (handle_) DrawIcon(ACanvas->Handle(), Rect.left, Rect.top, handle_);
}

void TIcon::LoadFromStream(TStream* Stream) {
  const int64_t avail = Stream->Size() - Stream->Position();
  if (avail < 6 || avail > (int64_t{64} << 20)) InvalidIcon();
  std::vector<uint8_t> data(static_cast<size_t>(avail));
  if (Stream->Read(data.data(), avail) != avail) InvalidIcon();
  if (Get16(&data[0]) != 0 || Get16(&data[2]) != 1) InvalidIcon();
  const size_t count = Get16(&data[4]);
  if (count == 0 || 6 + count * 16 > data.size()) InvalidIcon();
  // The first image that holds a bitmap (images stored in other formats are skipped).
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = &data[6 + i * 16];
    const uint32_t size = Get32(e + 8), offset = Get32(e + 12);
    if (offset >= data.size() || size > data.size() - offset) continue;
    if (HICON icon = IconFromImage(&data[offset], size)) {
      SetHandle(icon);
      return;
    }
  }
  InvalidIcon();
}

void TIcon::SaveToStream(TStream* Stream) {
  ICONINFO ii;
  if (!handle_ || !GetIconInfo(handle_, &ii)) return;
  auto color = ii.hbmColor ? vx::gdi::SurfaceOf(ii.hbmColor) : nullptr;
  auto mask = vx::gdi::SurfaceOf(ii.hbmMask);
  const int w = mask->Width(), h = color ? mask->Height() : mask->Height() / 2;
  // One 32-bit image with its AND mask.
  std::vector<uint8_t> img;
  Put32(img, 40), Put32(img, uint32_t(w)), Put32(img, uint32_t(2 * h)), Put16(img, 1), Put16(img, 32);
  for (int i = 0; i < 6; ++i) Put32(img, 0);
  for (int y = h - 1; y >= 0; --y)
    for (int x = 0; x < w; ++x) {
      const COLORREF c = color ? color->ColorFromRaw(color->GetRaw(x, y))
                               : (mask->GetRaw(x, y + h) ? RGB(255, 255, 255) : RGB(0, 0, 0));
      img.push_back(GetBValue(c)), img.push_back(GetGValue(c)), img.push_back(GetRValue(c)), img.push_back(0);
    }
  const size_t andStride = size_t(vx::gdi::Surface::RowBytes(w, 1));
  for (int y = h - 1; y >= 0; --y) {
    std::vector<uint8_t> row(andStride, 0);
    for (int x = 0; x < w; ++x)
      if (mask->GetRaw(x, y)) row[size_t(x) >> 3] |= uint8_t(0x80 >> (x & 7));
    img.insert(img.end(), row.begin(), row.end());
  }
  std::vector<uint8_t> out;
  Put16(out, 0), Put16(out, 1), Put16(out, 1);
  out.push_back(uint8_t(w >= 256 ? 0 : w)), out.push_back(uint8_t(h >= 256 ? 0 : h)), out.push_back(0),
      out.push_back(0);
  Put16(out, 1), Put16(out, 32), Put32(out, uint32_t(img.size())), Put32(out, 22);
  out.insert(out.end(), img.begin(), img.end());
  DeleteObject(ii.hbmMask);
  if (ii.hbmColor) DeleteObject(ii.hbmColor);
  Stream->WriteBuffer(out.data(), int64_t(out.size()));
}

void TIcon::LoadFromClipboardFormat(uint16_t, HANDLE, HPALETTE) {
  throw EInvalidGraphic(GraphicsText::UnknownClipboardFormat);
}

void TIcon::SaveToClipboardFormat(uint16_t&, HANDLE&, HPALETTE&) {
  throw EInvalidGraphic(GraphicsText::UnknownClipboardFormat);
}

// ---- The registry of graphic classes ----

namespace {

struct FileFormat {
  std::string ext;  // lower case, without the dot
  std::string description;
  TGraphicClass cls;
};

struct ClipboardFormat {
  uint16_t format;
  TGraphicClass cls;
};

struct Formats {
  std::mutex lock;
  std::vector<FileFormat> files;
  std::vector<ClipboardFormat> clipboard;
};

Formats& TheFormats() {
  static Formats* f = [] {
    auto* r = new Formats();
    r->files.push_back(FileFormat{"bmp", "Bitmaps", TBitmap::StaticClass()});
    r->files.push_back(FileFormat{"ico", "Icons", TIcon::StaticClass()});
    r->clipboard.push_back(ClipboardFormat{CF_BITMAP, TBitmap::StaticClass()});
    return r;
  }();
  return *f;
}

std::string NormalExt(std::string_view ext) {
  if (!ext.empty() && ext[0] == '.') ext.remove_prefix(1);
  return LowerCase(ext);
}

TGraphicClass ClassForExt(const std::string& ext) {
  auto& f = TheFormats();
  std::lock_guard g(f.lock);
  // The latest registration wins.
  for (auto it = f.files.rbegin(); it != f.files.rend(); ++it)
    if (it->ext == ext) return it->cls;
  return nullptr;
}

TGraphicClass ClassForName(const std::string& name) {
  {
    auto& f = TheFormats();
    std::lock_guard g(f.lock);
    for (auto& x : f.files)
      if (SameText(x.cls->name, name)) return x.cls;
    for (auto& x : f.clipboard)
      if (SameText(x.cls->name, name)) return x.cls;
  }
  TGraphicClass c = GetClass(name);
  return c && c->InheritsFrom(TGraphic::StaticClass()) ? c : nullptr;
}

std::unique_ptr<TGraphic> NewGraphic(TGraphicClass cls) {
  TObject* o = cls->Create(nullptr);
  return std::unique_ptr<TGraphic>(static_cast<TGraphic*>(o));
}

}  // namespace

void TPicture::RegisterFileFormat(const std::string& AExtension, const std::string& ADescription,
                                  TGraphicClass AGraphicClass) {
  if (!AGraphicClass) return;
  auto& f = TheFormats();
  std::lock_guard g(f.lock);
  const std::string ext = NormalExt(AExtension);
  // A later registration of an extension replaces the earlier one.
  std::erase_if(f.files, [&](const FileFormat& x) { return x.ext == ext; });
  f.files.push_back(FileFormat{ext, ADescription, AGraphicClass});
}

void TPicture::RegisterClipboardFormat(uint16_t AFormat, TGraphicClass AGraphicClass) {
  if (!AGraphicClass) return;
  auto& f = TheFormats();
  std::lock_guard g(f.lock);
  f.clipboard.push_back(ClipboardFormat{AFormat, AGraphicClass});
}

void TPicture::UnregisterGraphicClass(TGraphicClass AClass) {
  auto& f = TheFormats();
  std::lock_guard g(f.lock);
  std::erase_if(f.files, [&](const FileFormat& x) { return x.cls->InheritsFrom(AClass); });
  std::erase_if(f.clipboard, [&](const ClipboardFormat& x) { return x.cls->InheritsFrom(AClass); });
}

namespace {
// The graphic classes of an unloaded package leave the registry with it.
void ModuleUnloading(HMODULE Module) {
  auto& f = TheFormats();
  std::lock_guard g(f.lock);
  std::erase_if(f.files, [&](const FileFormat& x) { return ModuleOfAddress(x.cls) == Module; });
  std::erase_if(f.clipboard, [&](const ClipboardFormat& x) { return ModuleOfAddress(x.cls) == Module; });
}

const bool kUnloadProc = [] {
  AddModuleUnloadProc(ModuleUnloading);
  return true;
}();
}  // namespace

bool TPicture::SupportsClipboardFormat(uint16_t AFormat) {
  auto& f = TheFormats();
  std::lock_guard g(f.lock);
  return std::any_of(f.clipboard.begin(), f.clipboard.end(), [&](auto& x) { return x.format == AFormat; });
}

namespace {

std::vector<FileFormat> FormatsOf(TGraphicClass cls) {
  auto& f = TheFormats();
  std::lock_guard g(f.lock);
  std::vector<FileFormat> out;
  for (auto& x : f.files)
    if (!cls || x.cls->InheritsFrom(cls)) out.push_back(x);
  return out;
}

}  // namespace

std::string GraphicFileMask(TGraphicClass GraphicClass) {
  std::string mask;
  for (auto& x : FormatsOf(GraphicClass)) {
    const std::string m = "*." + x.ext;
    if (mask.find(m) != std::string::npos) continue;
    if (!mask.empty()) mask += ';';
    mask += m;
  }
  return mask;
}

std::string GraphicFilter(TGraphicClass GraphicClass) {
  const std::string all = GraphicFileMask(GraphicClass);
  std::string filter = "All (" + all + ")|" + all;
  for (auto& x : FormatsOf(GraphicClass)) filter += "|" + x.description + " (*." + x.ext + ")|*." + x.ext;
  return filter;
}

std::string GraphicExtension(TGraphicClass GraphicClass) {
  auto& f = TheFormats();
  std::lock_guard g(f.lock);
  for (auto& x : f.files)
    if (x.cls == GraphicClass) return x.ext;
  return "";
}

// ---- TPicture ----

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Adopt(std::unique_ptr<TGraphic> g) {
  graphic_ = std::move(g);
  if (graphic_) {
    graphic_->OnChange = TNotifyEvent(this, &TPicture::Changed);
    graphic_->OnProgress = TProgressEvent(this, &TPicture::Progress);
  }
  Changed(this);
}

void TPicture::SetGraphic(TGraphic* Value) {
  if (!Value) {
    Adopt(nullptr);
    return;
  }
  if (Value == graphic_.get()) return;
  auto g = NewGraphic(Value->ClassType());
  g->Assign(Value);
  Adopt(std::move(g));
}

void TPicture::ForceType(TGraphicClass GraphicType) {
  if (graphic_ && graphic_->InheritsFrom(GraphicType)) return;
  Adopt(NewGraphic(GraphicType));
}

TBitmap* TPicture::Bitmap() {
  ForceType(TBitmap::StaticClass());
  return static_cast<TBitmap*>(graphic_.get());
}

TIcon* TPicture::Icon() {
  ForceType(TIcon::StaticClass());
  return static_cast<TIcon*>(graphic_.get());
}

int TPicture::Width() const { return graphic_ ? graphic_->Width() : 0; }
int TPicture::Height() const { return graphic_ ? graphic_->Height() : 0; }

void TPicture::Assign(TPersistent* Source) {
  if (!Source) {
    SetGraphic(nullptr);
  } else if (auto* p = As<TPicture>(Source)) {
    SetGraphic(p->graphic_.get());
  } else if (auto* g = As<TGraphic>(Source)) {
    SetGraphic(g);
  } else {
    TPersistent::Assign(Source);
  }
}

void TPicture::AssignTo(TPersistent* Dest) {
  if (auto* g = As<TGraphic>(Dest)) {
    g->Assign(graphic_.get());
    return;
  }
  TPersistent::AssignTo(Dest);
}

void TPicture::Changed(TObject*) { OnChange(this); }

void TPicture::Progress(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow, const TRect& R,
                        const std::string& Msg) {
  OnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

void TPicture::LoadFromFile(const std::string& FileName) {
  const std::string ext = NormalExt(ExtractFileExt(FileName));
  TGraphicClass cls = ClassForExt(ext);
  if (!cls) {
    std::string text = GraphicsText::UnknownExtension;
    text.replace(text.find("%s"), 2, ext);
    throw EInvalidGraphic(text);
  }
  auto g = NewGraphic(cls);
  g->OnProgress = TProgressEvent(this, &TPicture::Progress);
  g->LoadFromFile(FileName);
  Adopt(std::move(g));
}

void TPicture::SaveToFile(const std::string& FileName) {
  if (graphic_) graphic_->SaveToFile(FileName);
}

void TPicture::LoadFromClipboardFormat(uint16_t AFormat, HANDLE AData, HPALETTE APalette) {
  TGraphicClass cls = nullptr;
  {
    auto& f = TheFormats();
    std::lock_guard g(f.lock);
    for (auto it = f.clipboard.rbegin(); it != f.clipboard.rend(); ++it)
      if (it->format == AFormat) {
        cls = it->cls;
        break;
      }
  }
  if (!cls) throw EInvalidGraphic(GraphicsText::UnknownClipboardFormat);
  auto g = NewGraphic(cls);
  g->LoadFromClipboardFormat(AFormat, AData, APalette);
  Adopt(std::move(g));
}

void TPicture::SaveToClipboardFormat(uint16_t& AFormat, HANDLE& AData, HPALETTE& APalette) {
  if (graphic_) graphic_->SaveToClipboardFormat(AFormat, AData, APalette);
}

void TPicture::ReadData(TStream* Stream) {
  uint8_t len = 0;
  if (Stream->Read(&len, 1) != 1) throw EReadError("Stream read error");
  if (len == 0) {
    Adopt(nullptr);
    return;
  }
  std::string name(len, '\0');
  Stream->ReadBuffer(name.data(), len);
  TGraphicClass cls = ClassForName(name);
  if (!cls || !cls->create) {
    std::string text = GraphicsText::UnknownGraphicClass;
    text.replace(text.find("%s"), 2, name);
    throw EInvalidGraphic(text);
  }
  auto g = NewGraphic(cls);
  g->ReadData(Stream);
  Adopt(std::move(g));
}

void TPicture::WriteData(TStream* Stream) {
  const std::string name = graphic_ ? graphic_->ClassName() : std::string();
  const uint8_t len = uint8_t(std::min<size_t>(name.size(), 255));
  Stream->WriteBuffer(&len, 1);
  Stream->WriteBuffer(name.data(), len);
  if (graphic_) graphic_->WriteData(Stream);
}
