// Items, lists, the header and the trailer.
#include <algorithm>
#include <cctype>

#include "codecs/gif/GifExtensions.h"

namespace {

void StepBack(TStream* Stream) { Stream->Seek(-1, soCurrent); }


}  // namespace

// ---- TGIFItem ----

void TGIFItem::Warning(TGIFSeverity Severity, const std::string& Message) {
  if (FGIFImage) FGIFImage->Warning(this, Severity, Message);
}

void TGIFItem::SaveToFile(const std::string& FileName) {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

void TGIFItem::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

// ---- TGIFList ----

TGIFList::~TGIFList() { Clear(); }

void TGIFList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

TGIFItem* TGIFList::Items(int Index) const {
  CheckIndex(Index);
  return FItems[size_t(Index)].get();
}

void TGIFList::SetItems(int Index, std::unique_ptr<TGIFItem> Item) {
  CheckIndex(Index);
  std::unique_ptr<TGIFItem> old = std::move(FItems[size_t(Index)]);
  FItems[size_t(Index)] = std::move(Item);
}

int TGIFList::Add(std::unique_ptr<TGIFItem> Item) {
  FItems.push_back(std::move(Item));
  return Count() - 1;
}

void TGIFList::Insert(int Index, std::unique_ptr<TGIFItem> Item) {
  if (Index < 0 || Index > Count()) CheckIndex(Index);
  FItems.insert(FItems.begin() + Index, std::move(Item));
}

void TGIFList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(FItems[size_t(Index1)], FItems[size_t(Index2)]);
}

void TGIFList::Move(int CurIndex, int NewIndex) {
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  std::unique_ptr<TGIFItem> item = std::move(FItems[size_t(CurIndex)]);
  FItems.erase(FItems.begin() + CurIndex);
  FItems.insert(FItems.begin() + NewIndex, std::move(item));
}

int TGIFList::IndexOf(const TGIFItem* Item) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == Item) return int(i);
  return -1;
}

void TGIFList::Delete(int Index) {
  CheckIndex(Index);
  // Out of the list first: a frame being freed looks itself up there.
  std::unique_ptr<TGIFItem> item = std::move(FItems[size_t(Index)]);
  FItems.erase(FItems.begin() + Index);
}

void TGIFList::Clear() {
  while (!FItems.empty()) Delete(0);
}

int TGIFList::Remove(TGIFItem* Item) {
  const int index = IndexOf(Item);
  if (index < 0) return -1;
  static_cast<void>(FItems[size_t(index)].release());
  FItems.erase(FItems.begin() + index);
  return index;
}

void TGIFList::Warning(TGIFSeverity Severity, const std::string& Message) {
  if (FImage) FImage->Warning(this, Severity, Message);
}

void TGIFList::SaveToStream(TStream* Stream) {
  for (const auto& item : FItems) item->SaveToStream(Stream);
}

// ---- TGIFExtensionList ----

TGIFExtension* TGIFExtensionList::Extensions(int Index) const { return static_cast<TGIFExtension*>(Items(Index)); }

void TGIFExtensionList::SetExtensions(int Index, std::unique_ptr<TGIFExtension> Extension) {
  SetItems(Index, std::move(Extension));
}

void TGIFExtensionList::LoadFromStream(TStream* Stream, TObject* Parent) {
  auto* frame = As<TGIFSubImage>(Parent);
  int b = ReadStreamByte(Stream);
  if (b < 0) return;
  while (b != ',' && b != ';') {
    if (b != '!') {
      Warning(gsWarning, sBadExtensionLabel);
      break;
    }
    const TGIFExtensionClass cls = TGIFExtension::FindExtension(Stream);
    if (!cls || !cls->Create || !frame) RaiseGIFError(sUnknownExtension);
    StepBack(Stream);
    std::unique_ptr<TGIFExtension> extension = cls->Create(frame);
    extension->LoadFromStream(Stream);
    Add(std::move(extension));
    b = ReadStreamByte(Stream);
    if (b < 0) return;
  }
  StepBack(Stream);
}

// ---- TGIFImageList ----

TGIFSubImage* TGIFImageList::SubImages(int Index) const { return static_cast<TGIFSubImage*>(Items(Index)); }

void TGIFImageList::LoadFromStream(TStream* Stream, TObject* Parent) {
  auto* image = As<TGIFImage>(Parent);
  if (!image) RaiseGIFError(sUnsupportedClass);
  for (;;) {
    int b;
    do b = ReadStreamByte(Stream);
    while (b == 0);
    if (b < 0) return;
    StepBack(Stream);
    if (b == ';') return;
    if (b != '!' && b != ',') {
      Warning(gsWarning, sBadBlock);
      return;
    }
    auto frame = std::make_unique<TGIFSubImage>(image);
    frame->LoadFromStream(Stream);
    Add(std::move(frame));
    const int64_t size = Stream->Size();
    const int percent = size > 0 ? int(std::clamp<int64_t>(Stream->Position() * 100 / size, 0, 100)) : 100;
    image->Progress(image, psRunning, uint8_t(percent), false, Rect(0, 0, 0, 0), sProgressLoading);
  }
}

// ---- TGIFHeader ----

TGIFHeader::TGIFHeader(TGIFImage* AGIFImage)
    : TGIFItem(AGIFImage), FColorMap(std::make_unique<TGIFGlobalColorMap>(this)) {
  Clear();
}

TGIFHeader::~TGIFHeader() = default;

void TGIFHeader::Clear() {
  FColorMap->Clear();
  FLogicalScreenDescriptor = {};
}

void TGIFHeader::Assign(TPersistent* Source) {
  if (auto* header = As<TGIFHeader>(Source)) {
    if (header == this) return;
    FColorMap->Assign(header->FColorMap.get());
    FLogicalScreenDescriptor = header->FLogicalScreenDescriptor;
  } else if (auto* map = As<TGIFColorMap>(Source)) {
    FColorMap->Clear();
    FColorMap->Assign(map);
  } else {
    TGIFItem::Assign(Source);
  }
}

TGIFVersion TGIFHeader::GetVersion() {
  return FColorMap->Optimized() || FLogicalScreenDescriptor.AspectRatio != 0 ? gv89a : gv87a;
}

void TGIFHeader::Prepare() {
  uint8_t packed = 0;
  const int count = FColorMap->Count();
  if (count > 0) {
    packed |= 0x80;
    if (FColorMap->Optimized()) packed |= 0x08;
    // The size field describes the table that follows, which is padded to its own
    // power of two (not to the largest table of the image).
    packed |= uint8_t((FColorMap->GetBitsPerPixel() - 1) & 7);
  }
  if (FGIFImage) packed |= uint8_t((FGIFImage->GetColorResolution() & 7) << 4);
  FLogicalScreenDescriptor.PackedFields = packed;
}

void TGIFHeader::SaveToStream(TStream* Stream) {
  const TGIFVersion version = FGIFImage ? FGIFImage->GetVersion() : GetVersion();
  if (version == gvUnknown) RaiseGIFError(sBadVersion);
  uint8_t b[13] = {'G', 'I', 'F'};
  std::copy_n(GIFVersions[version], 3, b + 3);
  Prepare();
  const TLogicalScreenDescriptor& d = FLogicalScreenDescriptor;
  b[6] = uint8_t(d.ScreenWidth);
  b[7] = uint8_t(d.ScreenWidth >> 8);
  b[8] = uint8_t(d.ScreenHeight);
  b[9] = uint8_t(d.ScreenHeight >> 8);
  b[10] = d.PackedFields;
  b[11] = d.BackgroundColorIndex;
  b[12] = d.AspectRatio;
  Stream->WriteBuffer(b, sizeof b);
  if (d.PackedFields & 0x80) FColorMap->SaveToStream(Stream);
}

void TGIFHeader::LoadFromStream(TStream* Stream) {
  auto isSignature = [](const uint8_t* s) {
    return std::toupper(s[0]) == 'G' && std::toupper(s[1]) == 'I' && std::toupper(s[2]) == 'F';
  };
  const int64_t start = Stream->Position();
  uint8_t signature[6];
  ReadExact(Stream, signature, 6);
  if (!isSignature(signature)) {
    // Some files carry four bytes in front of the signature.
    Stream->SetPosition(start + 4);
    ReadExact(Stream, signature, 6);
    if (!isSignature(signature)) RaiseGIFError(sBadSignature);
  }
  uint8_t b[7];
  ReadExact(Stream, b, 7);
  TLogicalScreenDescriptor& d = FLogicalScreenDescriptor;
  d.ScreenWidth = GetLE16(b);
  d.ScreenHeight = GetLE16(b + 2);
  d.PackedFields = b[4];
  d.BackgroundColorIndex = b[5];
  d.AspectRatio = b[6];
  if (d.PackedFields & 0x80)
    FColorMap->LoadFromStream(Stream, 2 << (d.PackedFields & 7));
  else
    FColorMap->Clear();
}

void TGIFHeader::SetBackgroundColorIndex(int Index) {
  const int count = FColorMap->Count();
  if ((count > 0 && Index >= count) || Index < 0 || Index > 255) {
    Warning(gsWarning, sBadColorIndex);
    Index = 0;
  }
  FLogicalScreenDescriptor.BackgroundColorIndex = uint8_t(Index);
}

TColor TGIFHeader::GetBackgroundColor() { return FColorMap->GetColor(FLogicalScreenDescriptor.BackgroundColorIndex); }

void TGIFHeader::SetBackgroundColor(TColor Color) { SetBackgroundColorIndex(FColorMap->AddUnique(Color)); }

// ---- TGIFTrailer ----

void TGIFTrailer::SaveToStream(TStream* Stream) { WriteStreamByte(Stream, ';'); }

void TGIFTrailer::LoadFromStream(TStream* Stream) {
  const int b = ReadStreamByte(Stream);
  if (b >= 0 && b != ';') Warning(gsWarning, sBadTrailer);
}
