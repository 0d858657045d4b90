// HTTP content codings: a process-wide registry of coding classes, the Accept-Encoding
// value built from it, and the chain of decoders put in front of a client's body output.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/system.h"

VX_EXCEPTION(EHttpContentCodingException, Exception)

// Where bytes are written: returns what the receiver reports (normally the count taken).
using TWriteBufferProcedure = std::function<Integer(const void* Buffer, Integer Count)>;

// One content coding. A coding class has the class operations IsValid and GetCoding;
// GetCoding of the base takes the token from the class name after "THttpContentCoding".
class THttpContentCoding : public TObject {
  VX_CLASS(THttpContentCoding, TObject)

 public:
  explicit THttpContentCoding(TWriteBufferProcedure OutputWriteBuffer);

  static bool IsValid() { return true; }
  static std::string GetCoding(TClass Self);

  // End of the body.
  virtual void Complete() {}
  virtual Integer WriteBuffer(const void* Buffer, Integer Count) = 0;

 protected:
  // Hands bytes on unchanged to the output.
  Integer PassOn(const void* Buffer, Integer Count);
  TWriteBufferProcedure FOutputWriteBuffer;
};

// A class reference to a coding class: its descriptor, class operations and constructor.
struct THttpContentCodingClassInfo {
  TClass Info;
  bool (*IsValid)();
  std::string (*GetCoding)(TClass Self);
  std::unique_ptr<THttpContentCoding> (*Create)(TWriteBufferProcedure OutputWriteBuffer);

  std::string Coding() const { return GetCoding(Info); }

  template <class T>
  static const THttpContentCodingClassInfo* Of() {
    static const THttpContentCodingClassInfo info{
        T::StaticClass(), &T::IsValid, &T::GetCoding,
        [](TWriteBufferProcedure w) -> std::unique_ptr<THttpContentCoding> { return std::make_unique<T>(std::move(w)); }};
    return &info;
  }
};
using THttpContentCodingClass = const THttpContentCodingClassInfo*;

// Bytes pass through unchanged.
class THttpCCodIdentity : public THttpContentCoding {
  VX_CLASS(THttpCCodIdentity, THttpContentCoding)

 public:
  using THttpContentCoding::THttpContentCoding;
  static std::string GetCoding(TClass) { return "identity"; }
  Integer WriteBuffer(const void* Buffer, Integer Count) override { return PassOn(Buffer, Count); }
};

class THttpCCodStar : public THttpContentCoding {
  VX_CLASS(THttpCCodStar, THttpContentCoding)

 public:
  using THttpContentCoding::THttpContentCoding;
  static std::string GetCoding(TClass) { return "*"; }
  Integer WriteBuffer(const void* Buffer, Integer Count) override { return PassOn(Buffer, Count); }
};

// The registry: (coding class, default quality) pairs in registration order.
class TContCodingsList {
 public:
  struct TEntry {
    THttpContentCodingClass Coding;
    float Quality;
  };
  TContCodingsList();
  void RegisterCoding(THttpContentCodingClass Coding, float Quality);
  // Searches from the last entry to the first, ignoring case; null when unknown.
  THttpContentCodingClass FindCoding(std::string_view Token) const;
  const std::vector<TEntry>& Entries() const { return FEntries; }

 private:
  std::vector<TEntry> FEntries;
};

// The process's registry, created on first use.
TContCodingsList& ContCodingsRegistry();

// One coding as a client sees it.
struct THttpContCodItem {
  THttpContentCodingClass Coding;
  bool Enabled = true;
  float Quality = 0;
};

// The codings of one HTTP client.
class THttpContCodHandler {
 public:
  // RcvdStreamVar points at the client's body-stream variable (which may hold no
  // stream); OutputWriteBuffer is the client's own body handler.
  THttpContCodHandler(TStream** RcvdStreamVar, TWriteBufferProcedure OutputWriteBuffer);
  ~THttpContCodHandler();

  // The Accept-Encoding value; empty unless Enabled.
  std::string HeaderText();
  // Builds the decoder chain for a Content-Encoding value; false for an unknown token.
  bool Prepare(std::string_view ContentEncoding);
  // Tells every decoder that the body ended, the last created first.
  void Complete();
  // Where raw body bytes go: the outermost decoder, or straight to the client.
  Integer WriteBuffer(const void* Buffer, Integer Count) { return FInputWriteBuffer(Buffer, Count); }
  Integer OwnWrite(const void* Buffer, Integer Count);

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value) { FEnabled = Value; }
  bool UseQuality() const { return FUseQuality; }
  void SetUseQuality(bool Value);
  std::vector<THttpContCodItem>& Items() { return FItems; }
  int DecoderCount() const { return int(FDecoders.size()); }

 private:
  void FreeDecoders();

  TStream** FRcvdStreamVar;
  TWriteBufferProcedure FOutputWriteBuffer;
  TWriteBufferProcedure FInputWriteBuffer;
  std::string FHeaderText;
  bool FRecalcHeader = true;
  bool FEnabled = false;
  bool FUseQuality = false;
  std::vector<std::unique_ptr<THttpContentCoding>> FDecoders;
  std::vector<THttpContCodItem> FItems;
};
