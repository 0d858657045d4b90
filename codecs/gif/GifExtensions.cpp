#include "codecs/gif/GifExtensions.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

constexpr uint8_t kExtensionIntroducer = '!';
using TAppIdentifier = std::array<uint8_t, 11>;

TAppIdentifier MakeIdentifier(const std::string& Text) {
  TAppIdentifier id{};
  std::memcpy(id.data(), Text.data(), std::min(Text.size(), id.size()));
  return id;
}

// The process-wide registries, searched from the last entry to the first.
struct TRegistries {
  std::mutex Lock;
  std::vector<std::pair<uint8_t, TGIFExtensionClass>> Labels{
      {0x01, TGIFTextExtension::ExtensionClass()},
      {0xF9, TGIFGraphicControlExtension::ExtensionClass()},
      {0xFE, TGIFCommentExtension::ExtensionClass()},
      {0xFF, TGIFApplicationExtension::ExtensionClass()}};
  std::vector<std::pair<TAppIdentifier, TGIFExtensionClass>> Applications{
      {MakeIdentifier("NETSCAPE2.0"), TGIFAppExtNSLoop::ExtensionClass()},
      {MakeIdentifier("ANIMEXTS1.0"), TGIFAppExtNSLoop::ExtensionClass()}};
};

TRegistries& Registries() {
  static TRegistries registries;
  return registries;
}

template <class Key>
TGIFExtensionClass Lookup(const std::vector<std::pair<Key, TGIFExtensionClass>>& List, const Key& K) {
  for (auto it = List.rbegin(); it != List.rend(); ++it)
    if (it->first == K) return it->second;
  return nullptr;
}

// Text as data sub-blocks: each block is one line, up to its first zero byte.
void ReadText(TStream* Stream, TStrings* Text) {
  Text->Clear();
  ReadSubBlocks(Stream, [&](const uint8_t* Data, int Size) {
    const auto* p = reinterpret_cast<const char*>(Data);
    Text->Add(std::string(p, strnlen(p, size_t(Size))));
  });
}

}  // namespace

// ---- TGIFExtension ----

TGIFExtension::TGIFExtension(TGIFSubImage* ASubImage) : TGIFItem(ASubImage->Image()), FSubImage(ASubImage) {}

void TGIFExtension::RegisterExtension(uint8_t Label, TGIFExtensionClass Class) {
  auto& r = Registries();
  std::lock_guard g(r.Lock);
  r.Labels.emplace_back(Label, Class);
}

TGIFExtensionClass TGIFExtension::FindExtension(TStream* Stream) {
  const int64_t start = Stream->Position();
  const int label = ReadStreamByte(Stream);
  if (label < 0) return nullptr;
  TGIFExtensionClass cls;
  {
    auto& r = Registries();
    std::lock_guard g(r.Lock);
    cls = Lookup(r.Labels, uint8_t(label));
  }
  // Each refinement looks at the block from just after the label; a class that
  // answers itself ends the search.
  for (int i = 0; cls && cls->FindSubExtension && i < 8; ++i) {
    Stream->SetPosition(start + 1);
    const TGIFExtensionClass refined = cls->FindSubExtension(Stream, cls);
    if (refined == cls) break;
    cls = refined;
  }
  Stream->SetPosition(start);
  return cls;
}

void TGIFExtension::LoadFromStream(TStream* Stream) {
  uint8_t head[2];
  ReadExact(Stream, head, 2);
  if (head[0] != kExtensionIntroducer) RaiseGIFError(sBadExtensionLabel);
  if (head[1] != GetExtensionType()) RaiseGIFError(sBadExtensionInstance);
}

void TGIFExtension::SaveToStream(TStream* Stream) {
  WriteStreamByte(Stream, kExtensionIntroducer);
  WriteStreamByte(Stream, GetExtensionType());
}

// ---- TGIFGraphicControlExtension ----

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) {
  if (!FSubImage->FGCE) FSubImage->FGCE = this;
}

// A frame with several control blocks is governed by the first: its transparency is
// that block's alone, so the frame reads back as it was written.
TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
  if (FSubImage->FGCE != this) return;
  if (GetTransparent()) FSubImage->FTransparent = false;
  FSubImage->FGCE = nullptr;
}

void TGIFGraphicControlExtension::LoadFromStream(TStream* Stream) {
  TGIFExtension::LoadFromStream(Stream);
  uint8_t b[6] = {FGCExtension.BlockSize,
                  FGCExtension.PackedFields,
                  uint8_t(FGCExtension.DelayTime),
                  uint8_t(FGCExtension.DelayTime >> 8),
                  FGCExtension.TransparentColorIndex,
                  FGCExtension.Terminator};
  if (Stream->Read(b, 6) != 6) Warning(gsWarning, sOutOfData);
  FGCExtension.BlockSize = b[0];
  FGCExtension.PackedFields = b[1];
  FGCExtension.DelayTime = GetLE16(b + 2);
  FGCExtension.TransparentColorIndex = b[4];
  FGCExtension.Terminator = b[5];
  if (GetTransparent() && FSubImage->FGCE == this) FSubImage->FTransparent = true;
}

void TGIFGraphicControlExtension::SaveToStream(TStream* Stream) {
  TGIFExtension::SaveToStream(Stream);
  uint8_t b[6] = {FGCExtension.BlockSize, FGCExtension.PackedFields, 0, 0, FGCExtension.TransparentColorIndex,
                  FGCExtension.Terminator};
  PutLE16(b + 2, FGCExtension.DelayTime);
  Stream->WriteBuffer(b, 6);
}

void TGIFGraphicControlExtension::SetTransparent(bool Value) {
  FGCExtension.PackedFields = uint8_t(Value ? FGCExtension.PackedFields | 0x01 : FGCExtension.PackedFields & ~0x01);
  if (FSubImage->FGCE == this) FSubImage->FTransparent = Value;
}

TColor TGIFGraphicControlExtension::GetTransparentColor() {
  return FSubImage->GetActiveColorMap()->GetColor(FGCExtension.TransparentColorIndex);
}

void TGIFGraphicControlExtension::SetTransparentColor(TColor Color) {
  FGCExtension.TransparentColorIndex = uint8_t(FSubImage->GetActiveColorMap()->AddUnique(Color));
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int Index) {
  const int count = FSubImage->GetActiveColorMap()->Count();
  if ((count > 0 && Index >= count) || Index < 0 || Index > 255) {
    Warning(gsWarning, sBadColorIndex);
    Index = 0;
  }
  FGCExtension.TransparentColorIndex = uint8_t(Index);
}

void TGIFGraphicControlExtension::SetUserInput(bool Value) {
  FGCExtension.PackedFields = uint8_t(Value ? FGCExtension.PackedFields | 0x02 : FGCExtension.PackedFields & ~0x02);
}

void TGIFGraphicControlExtension::SetDisposal(TDisposalMethod Value) {
  FGCExtension.PackedFields = uint8_t((FGCExtension.PackedFields & ~0x1C) | ((int(Value) & 7) << 2));
}

// ---- TGIFTextExtension ----

TGIFTextExtension::TGIFTextExtension(TGIFSubImage* ASubImage)
    : TGIFExtension(ASubImage), FText(std::make_unique<TStringList>()) {}

TGIFTextExtension::~TGIFTextExtension() = default;

void TGIFTextExtension::LoadFromStream(TStream* Stream) {
  TGIFExtension::LoadFromStream(Stream);
  uint8_t b[13];
  ReadExact(Stream, b, 13);
  TGIFPlainTextExt& t = FPlainTextExtension;
  t.BlockSize = b[0];
  t.Left = GetLE16(b + 1);
  t.Top = GetLE16(b + 3);
  t.Width = GetLE16(b + 5);
  t.Height = GetLE16(b + 7);
  t.CellWidth = b[9];
  t.CellHeight = b[10];
  t.TextFGColorIndex = b[11];
  t.TextBGColorIndex = b[12];
  ReadText(Stream, FText.get());
}

void TGIFTextExtension::SaveToStream(TStream* Stream) {
  TGIFExtension::SaveToStream(Stream);
  const TGIFPlainTextExt& t = FPlainTextExtension;
  uint8_t b[13] = {t.BlockSize};
  PutLE16(b + 1, t.Left);
  PutLE16(b + 3, t.Top);
  PutLE16(b + 5, t.Width);
  PutLE16(b + 7, t.Height);
  b[9] = t.CellWidth;
  b[10] = t.CellHeight;
  b[11] = t.TextFGColorIndex;
  b[12] = t.TextBGColorIndex;
  Stream->WriteBuffer(b, 13);
  WriteSubBlockStrings(Stream, FText.get());
}

int TGIFTextExtension::GetBounds(int Index) const {
  switch (Index) {
    case 1: return FPlainTextExtension.Left;
    case 2: return FPlainTextExtension.Top;
    case 3: return FPlainTextExtension.Width;
    case 4: return FPlainTextExtension.Height;
    default: return 0;
  }
}

void TGIFTextExtension::SetBounds(int Index, int Value) {
  switch (Index) {
    case 1: FPlainTextExtension.Left = uint16_t(Value); break;
    case 2: FPlainTextExtension.Top = uint16_t(Value); break;
    case 3: FPlainTextExtension.Width = uint16_t(Value); break;
    case 4: FPlainTextExtension.Height = uint16_t(Value); break;
    default: break;
  }
}

int TGIFTextExtension::GetCharWidthHeight(int Index) const {
  return Index == 1 ? FPlainTextExtension.CellWidth : Index == 2 ? FPlainTextExtension.CellHeight : 0;
}

void TGIFTextExtension::SetCharWidthHeight(int Index, int Value) {
  if (Index == 1) FPlainTextExtension.CellWidth = uint8_t(Value);
  if (Index == 2) FPlainTextExtension.CellHeight = uint8_t(Value);
}

int TGIFTextExtension::GetColorIndex(int Index) const {
  return Index == 1 ? FPlainTextExtension.TextFGColorIndex : Index == 2 ? FPlainTextExtension.TextBGColorIndex : 0;
}

void TGIFTextExtension::SetColorIndex(int Index, int Value) {
  if (Index == 1) FPlainTextExtension.TextFGColorIndex = uint8_t(Value);
  if (Index == 2) FPlainTextExtension.TextBGColorIndex = uint8_t(Value);
}

TColor TGIFTextExtension::GetForegroundColor() {
  return FSubImage->GetActiveColorMap()->GetColor(FPlainTextExtension.TextFGColorIndex);
}

void TGIFTextExtension::SetForegroundColor(TColor Color) {
  FPlainTextExtension.TextFGColorIndex = uint8_t(FSubImage->GetActiveColorMap()->AddUnique(Color));
}

TColor TGIFTextExtension::GetBackgroundColor() {
  return FSubImage->GetActiveColorMap()->GetColor(FPlainTextExtension.TextBGColorIndex);
}

void TGIFTextExtension::SetBackgroundColor(TColor Color) {
  FPlainTextExtension.TextBGColorIndex = uint8_t(FSubImage->GetActiveColorMap()->AddUnique(Color));
}

// ---- TGIFCommentExtension ----

TGIFCommentExtension::TGIFCommentExtension(TGIFSubImage* ASubImage)
    : TGIFExtension(ASubImage), FText(std::make_unique<TStringList>()) {}

TGIFCommentExtension::~TGIFCommentExtension() = default;

void TGIFCommentExtension::LoadFromStream(TStream* Stream) {
  TGIFExtension::LoadFromStream(Stream);
  ReadText(Stream, FText.get());
}

void TGIFCommentExtension::SaveToStream(TStream* Stream) {
  TGIFExtension::SaveToStream(Stream);
  WriteSubBlockStrings(Stream, FText.get());
}

// ---- TGIFApplicationExtension ----

TGIFApplicationExtension::TGIFApplicationExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) {}

void TGIFApplicationExtension::RegisterExtension(const std::string& Identifier, TGIFExtensionClass Class) {
  auto& r = Registries();
  std::lock_guard g(r.Lock);
  r.Applications.emplace_back(MakeIdentifier(Identifier), Class);
}

TGIFExtensionClass TGIFApplicationExtension::FindSubExtension(TStream* Stream, TGIFExtensionClass Self) {
  const TGIFExtensionClass unknown = TGIFUnknownAppExtension::ExtensionClass();
  if (ReadStreamByte(Stream) != 11) return unknown;
  TAppIdentifier id;
  if (Stream->Read(id.data(), 11) != 11) return unknown;
  auto& r = Registries();
  std::lock_guard g(r.Lock);
  const TGIFExtensionClass found = Lookup(r.Applications, id);
  return found ? found : unknown;
}

void TGIFApplicationExtension::LoadFromStream(TStream* Stream) {
  TGIFExtension::LoadFromStream(Stream);
  const int size = ReadStreamByte(Stream);
  if (size < 0) RaiseGIFError(sOutOfData);
  if (size < 10) RaiseGIFError(sBadBlockSize);
  FIdent.fill(0);
  FHeader.clear();
  if (size == 11) {
    ReadExact(Stream, FIdent.data(), 11);
  } else {
    // A 10-byte header has no room for the identifier, which stays blank. Either
    // way the header is kept as it is, so that writing it back keeps its meaning.
    FHeader.resize(size_t(size));
    ReadExact(Stream, FHeader.data(), size);
    if (size > 11) std::copy_n(FHeader.begin(), 11, FIdent.begin());
  }
  LoadData(Stream);
}

void TGIFApplicationExtension::SaveToStream(TStream* Stream) {
  TGIFExtension::SaveToStream(Stream);
  if (FHeader.empty()) {
    WriteStreamByte(Stream, 11);
    Stream->WriteBuffer(FIdent.data(), 11);
  } else {
    WriteStreamByte(Stream, uint8_t(FHeader.size()));
    Stream->WriteBuffer(FHeader.data(), int64_t(FHeader.size()));
  }
  SaveData(Stream);
}

std::string TGIFApplicationExtension::GetIdentifier() const {
  return std::string(reinterpret_cast<const char*>(FIdent.data()), 8);
}

void TGIFApplicationExtension::SetIdentifier(const std::string& Value) {
  FHeader.clear();
  if (Value.size() < 8) std::fill_n(FIdent.begin(), 8, uint8_t(' '));
  std::memcpy(FIdent.data(), Value.data(), std::min<size_t>(Value.size(), 8));
}

std::string TGIFApplicationExtension::GetAuthentication() const {
  return std::string(reinterpret_cast<const char*>(FIdent.data() + 8), 3);
}

void TGIFApplicationExtension::SetAuthentication(const std::string& Value) {
  FHeader.clear();
  if (Value.size() < 3) std::fill_n(FIdent.begin() + 8, 3, uint8_t(' '));
  std::memcpy(FIdent.data() + 8, Value.data(), std::min<size_t>(Value.size(), 3));
}

// ---- Blocks and unknown applications ----

void TGIFBlock::SaveToStream(TStream* Stream) {
  WriteStreamByte(Stream, FSize);
  Stream->WriteBuffer(FData.get(), FSize);
}

TGIFUnknownAppExtension::~TGIFUnknownAppExtension() = default;

void TGIFUnknownAppExtension::LoadData(TStream* Stream) {
  FBlocks.clear();
  ReadSubBlocks(Stream, [&](const uint8_t* Data, int Size) {
    auto block = std::make_unique<TGIFBlock>(Size);
    std::memcpy(block->Data(), Data, size_t(Size));
    FBlocks.push_back(std::move(block));
  });
}

void TGIFUnknownAppExtension::SaveData(TStream* Stream) {
  for (const auto& block : FBlocks) block->SaveToStream(Stream);
  WriteStreamByte(Stream, 0);
}

// ---- TGIFAppExtNSLoop ----

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* ASubImage) : TGIFApplicationExtension(ASubImage) {
  FIdent = MakeIdentifier("NETSCAPE2.0");
}

void TGIFAppExtNSLoop::LoadData(TStream* Stream) {
  ReadSubBlocks(Stream, [&](const uint8_t* Data, int Size) {
    switch (Data[0] & 7) {
      case 1:
        if (Size < 3) RaiseGIFError(sInvalidData);
        FLoops = GetLE16(Data + 1);
        break;
      case 2:
        if (Size < 5) RaiseGIFError(sInvalidData);
        FBufferSize = uint32_t(Data[1]) | uint32_t(Data[2]) << 8 | uint32_t(Data[3]) << 16 | uint32_t(Data[4]) << 24;
        break;
      default: break;
    }
  });
}

void TGIFAppExtNSLoop::SaveData(TStream* Stream) {
  uint8_t loop[4] = {3, 1};
  PutLE16(loop + 2, FLoops);
  Stream->WriteBuffer(loop, 4);
  if (FBufferSize != 0) {
    const uint8_t buffer[6] = {5, 2, uint8_t(FBufferSize), uint8_t(FBufferSize >> 8), uint8_t(FBufferSize >> 16),
                               uint8_t(FBufferSize >> 24)};
    Stream->WriteBuffer(buffer, 6);
  }
  WriteStreamByte(Stream, 0);
}
