// GIF89a extension blocks ("!", a label, data sub-blocks ended by a zero-length
// block) and the two registries that map a label, and for application extensions
// an 11-byte identifier, to the class that reads the block. Each block is kept in
// its file layout.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "codecs/gif/GifImage.h"

class TGIFExtension;
struct TGIFExtensionClassInfo;
using TGIFExtensionClass = const TGIFExtensionClassInfo*;

// An extension class reference: the class descriptor, its virtual constructor (null
// for a class that cannot be made) and the class function that may refine the class
// from the block at the stream position.
struct TGIFExtensionClassInfo {
  TClass Type;
  std::unique_ptr<TGIFExtension> (*Create)(TGIFSubImage* SubImage);
  TGIFExtensionClass (*FindSubExtension)(TStream* Stream, TGIFExtensionClass Self);
};

namespace vx_gif_detail {
template <class T>
constexpr std::unique_ptr<TGIFExtension> (*CreatorFor())(TGIFSubImage*) {
  if constexpr (std::is_abstract_v<T>)
    return nullptr;
  else
    return [](TGIFSubImage* SubImage) -> std::unique_ptr<TGIFExtension> { return std::make_unique<T>(SubImage); };
}
}  // namespace vx_gif_detail

// Declares an extension class and its class reference; Finder is its (possibly
// inherited) FindSubExtension.
#define VX_GIF_EXTENSION(Self, Parent, Finder)                                                  \
  VX_CLASS(Self, Parent)                                                                        \
                                                                                                \
 public:                                                                                        \
  static TGIFExtensionClass ExtensionClass() {                                                  \
    static const TGIFExtensionClassInfo info{Self::StaticClass(), vx_gif_detail::CreatorFor<Self>(), Finder}; \
    return &info;                                                                               \
  }                                                                                             \
  TGIFExtensionClass GetExtensionClass() const override { return ExtensionClass(); }             \
                                                                                                \
 private:

enum TDisposalMethod { dmNone, dmNoDisposal, dmBackground, dmPrevious };

// An extension in front of a frame (its owner).
class TGIFExtension : public TGIFItem {
  VX_CLASS(TGIFExtension, TGIFItem)

 public:
  explicit TGIFExtension(TGIFSubImage* ASubImage);

  virtual uint8_t GetExtensionType() = 0;
  virtual TGIFExtensionClass GetExtensionClass() const = 0;
  TGIFVersion GetVersion() override { return gv89a; }
  // Reads "!" and the label ("Invalid extension introducer", or "Internal error:
  // Extension Instance does not match Extension Label" for another label).
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  TGIFSubImage* SubImage() const { return FSubImage; }

  // Appends to the label registry; later registrations of a label win.
  static void RegisterExtension(uint8_t Label, TGIFExtensionClass Class);
  // The class for the extension whose label is at the stream position, or null;
  // the position is kept.
  static TGIFExtensionClass FindExtension(TStream* Stream);
  // The plain class function: every class answers itself.
  static TGIFExtensionClass AnswerSelf(TStream* /*Stream*/, TGIFExtensionClass Self) { return Self; }

 protected:
  TGIFSubImage* FSubImage;  // not owned
};

// ---- Graphic control ----

// The 6 bytes after the label.
struct TGIFGCExtension {
  uint8_t BlockSize = 4;
  uint8_t PackedFields = 0;  // 0: transparent, 1: user input, 2..4: disposal
  uint16_t DelayTime = 0;    // hundredths of a second
  uint8_t TransparentColorIndex = 0;
  uint8_t Terminator = 0;
};

// A frame's transparency, delay and disposal. The first one made for a frame
// becomes the frame's own.
class TGIFGraphicControlExtension : public TGIFExtension {
  VX_GIF_EXTENSION(TGIFGraphicControlExtension, TGIFExtension, &TGIFExtension::AnswerSelf)

 public:
  explicit TGIFGraphicControlExtension(TGIFSubImage* ASubImage);
  ~TGIFGraphicControlExtension() override;

  uint8_t GetExtensionType() override { return 0xF9; }
  // A block cut short warns and keeps what was read.
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;

  bool GetTransparent() const { return (FGCExtension.PackedFields & 0x01) != 0; }
  void SetTransparent(bool Value);
  // Through the frame's active colour table.
  TColor GetTransparentColor();
  void SetTransparentColor(TColor Color);
  uint8_t GetTransparentColorIndex() const { return FGCExtension.TransparentColorIndex; }
  // An index beyond a non-empty active table warns and stores 0.
  void SetTransparentColorIndex(int Index);
  uint16_t GetDelay() const { return FGCExtension.DelayTime; }
  void SetDelay(uint16_t Value) { FGCExtension.DelayTime = Value; }
  bool GetUserInput() const { return (FGCExtension.PackedFields & 0x02) != 0; }
  void SetUserInput(bool Value);
  // Bits 2..4: 0..3, or a reserved 4..7 from a file.
  TDisposalMethod GetDisposal() const { return TDisposalMethod((FGCExtension.PackedFields >> 2) & 7); }
  void SetDisposal(TDisposalMethod Value);
  const TGIFGCExtension& Data() const { return FGCExtension; }

 private:
  TGIFGCExtension FGCExtension;
};

// ---- Plain text and comment ----

// The 13 bytes after the label.
struct TGIFPlainTextExt {
  uint8_t BlockSize = 12;
  uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
  uint8_t CellWidth = 0, CellHeight = 0;
  uint8_t TextFGColorIndex = 0, TextBGColorIndex = 0;
};

class TGIFTextExtension : public TGIFExtension {
  VX_GIF_EXTENSION(TGIFTextExtension, TGIFExtension, &TGIFExtension::AnswerSelf)

 public:
  explicit TGIFTextExtension(TGIFSubImage* ASubImage);
  ~TGIFTextExtension() override;

  uint8_t GetExtensionType() override { return 0x01; }
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;

  // 1 left, 2 top, 3 width, 4 height.
  int GetBounds(int Index) const;
  void SetBounds(int Index, int Value);
  // 1 width, 2 height.
  int GetCharWidthHeight(int Index) const;
  void SetCharWidthHeight(int Index, int Value);
  // 1 foreground, 2 background.
  int GetColorIndex(int Index) const;
  void SetColorIndex(int Index, int Value);
  // Through the frame's active colour table (colours added when missing).
  TColor GetForegroundColor();
  void SetForegroundColor(TColor Color);
  TColor GetBackgroundColor();
  void SetBackgroundColor(TColor Color);
  TStrings* Text() const { return FText.get(); }

 private:
  TGIFPlainTextExt FPlainTextExtension;
  std::unique_ptr<TStringList> FText;
};

class TGIFCommentExtension : public TGIFExtension {
  VX_GIF_EXTENSION(TGIFCommentExtension, TGIFExtension, &TGIFExtension::AnswerSelf)

 public:
  explicit TGIFCommentExtension(TGIFSubImage* ASubImage);
  ~TGIFCommentExtension() override;

  uint8_t GetExtensionType() override { return 0xFE; }
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  TStrings* Text() const { return FText.get(); }

 private:
  std::unique_ptr<TStringList> FText;
};

// ---- Application ----

// An application's block: an 8-byte identifier, a 3-byte authentication code, then
// the application's data sub-blocks, read and written by the subclasses.
class TGIFApplicationExtension : public TGIFExtension {
  VX_GIF_EXTENSION(TGIFApplicationExtension, TGIFExtension, &TGIFApplicationExtension::FindSubExtension)

 public:
  explicit TGIFApplicationExtension(TGIFSubImage* ASubImage);

  uint8_t GetExtensionType() override { return 0xFF; }
  // A block size of 10 leaves the identifier blank; below 10 raises "Unsupported
  // Application Extension block size"; bytes past 11 are not part of the identifier.
  // A header of another size than 11 is written back as it was read.
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  virtual void SaveData(TStream* Stream) = 0;
  virtual void LoadData(TStream* Stream) = 0;

  // Exactly 8 and 3 characters; setting pads with blanks and cuts.
  std::string GetIdentifier() const;
  void SetIdentifier(const std::string& Value);
  std::string GetAuthentication() const;
  void SetAuthentication(const std::string& Value);

  using TGIFExtension::RegisterExtension;
  // Appends to the identifier registry (8 characters of name and 3 of code); later
  // registrations win.
  static void RegisterExtension(const std::string& Identifier, TGIFExtensionClass Class);
  // The class registered for the block's identifier; any block no registered class
  // reads is an unknown application extension.
  static TGIFExtensionClass FindSubExtension(TStream* Stream, TGIFExtensionClass Self);

 protected:
  std::array<uint8_t, 11> FIdent{};
  std::vector<uint8_t> FHeader;  // a header of another size than 11, as read
};

// One data sub-block.
class TGIFBlock {
 public:
  explicit TGIFBlock(int ASize) : FSize(uint8_t(ASize)), FData(new uint8_t[size_t(ASize)]()) {}
  int Size() const { return FSize; }
  uint8_t* Data() const { return FData.get(); }
  void LoadFromStream(TStream* Stream) { ReadExact(Stream, FData.get(), FSize); }
  void SaveToStream(TStream* Stream);

 private:
  uint8_t FSize;
  std::unique_ptr<uint8_t[]> FData;
};

// An application block this codec does not interpret: its data sub-blocks are kept
// as they are.
class TGIFUnknownAppExtension : public TGIFApplicationExtension {
  VX_GIF_EXTENSION(TGIFUnknownAppExtension, TGIFApplicationExtension, &TGIFApplicationExtension::FindSubExtension)

 public:
  explicit TGIFUnknownAppExtension(TGIFSubImage* ASubImage) : TGIFApplicationExtension(ASubImage) {}
  ~TGIFUnknownAppExtension() override;
  void SaveData(TStream* Stream) override;
  void LoadData(TStream* Stream) override;
  const std::vector<std::unique_ptr<TGIFBlock>>& Blocks() const { return FBlocks; }

 private:
  std::vector<std::unique_ptr<TGIFBlock>> FBlocks;
};

// The animation loop block ("NETSCAPE2.0"): how often the frames play (0: without
// end) and a buffer size hint.
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
  VX_GIF_EXTENSION(TGIFAppExtNSLoop, TGIFApplicationExtension, &TGIFApplicationExtension::FindSubExtension)

 public:
  explicit TGIFAppExtNSLoop(TGIFSubImage* ASubImage);
  // Sub-block 1 holds the loop count, 2 the buffer size; others are skipped; a
  // sub-block too short for its value raises "Invalid GIF data".
  void SaveData(TStream* Stream) override;
  void LoadData(TStream* Stream) override;
  uint16_t Loops() const { return FLoops; }
  void SetLoops(uint16_t Value) { FLoops = Value; }
  uint32_t BufferSize() const { return FBufferSize; }
  void SetBufferSize(uint32_t Value) { FBufferSize = Value; }

 private:
  uint16_t FLoops = 0;
  uint32_t FBufferSize = 0;
};
