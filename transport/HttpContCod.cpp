#include "transport/HttpContCod.h"

#include <charconv>
#include <cstring>

#include "platform/rtl/sysutils.h"

namespace {

constexpr std::string_view kCodingPrefix = "THttpContentCoding";

// "0.###": at most three decimals, no trailing zeros, always a point.
std::string FormatQuality(float q) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, double(q), std::chars_format::fixed, 3);
  std::string s(buf, ec == std::errc() ? end : buf);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

}  // namespace

THttpContentCoding::THttpContentCoding(TWriteBufferProcedure OutputWriteBuffer)
    : FOutputWriteBuffer(std::move(OutputWriteBuffer)) {}

std::string THttpContentCoding::GetCoding(TClass Self) {
  const std::string_view name = Self->name;
  if (!name.starts_with(kCodingPrefix)) {
    std::string message = "GetCoding must be overriden in ";
    message += name;
    throw EHttpContentCodingException(message);
  }
  return std::string(name.substr(kCodingPrefix.size()));
}

Integer THttpContentCoding::PassOn(const void* Buffer, Integer Count) {
  return FOutputWriteBuffer ? FOutputWriteBuffer(Buffer, Count) : Count;
}

TContCodingsList::TContCodingsList() {
  RegisterCoding(THttpContentCodingClassInfo::Of<THttpCCodIdentity>(), 0);
  RegisterCoding(THttpContentCodingClassInfo::Of<THttpCCodStar>(), 0);
}

void TContCodingsList::RegisterCoding(THttpContentCodingClass Coding, float Quality) {
  FEntries.push_back({Coding, Quality});
}

THttpContentCodingClass TContCodingsList::FindCoding(std::string_view Token) const {
  for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it)
    if (SameText(it->Coding->Coding(), Token)) return it->Coding;
  return nullptr;
}

TContCodingsList& ContCodingsRegistry() {
  static TContCodingsList registry;
  return registry;
}

THttpContCodHandler::THttpContCodHandler(TStream** RcvdStreamVar, TWriteBufferProcedure OutputWriteBuffer)
    : FRcvdStreamVar(RcvdStreamVar), FOutputWriteBuffer(std::move(OutputWriteBuffer)) {
  FInputWriteBuffer = [this](const void* b, Integer n) { return OwnWrite(b, n); };
  for (const auto& e : ContCodingsRegistry().Entries()) FItems.push_back({e.Coding, true, e.Quality});
}

THttpContCodHandler::~THttpContCodHandler() = default;

void THttpContCodHandler::SetUseQuality(bool Value) {
  if (Value == FUseQuality) return;
  FUseQuality = Value;
  FRecalcHeader = true;
}

std::string THttpContCodHandler::HeaderText() {
  if (!FEnabled) return {};
  if (FRecalcHeader) {
    bool withQuality = false;
    if (FUseQuality) {
      int usable = 0;
      for (auto it = FItems.rbegin(); it != FItems.rend(); ++it)
        if (it->Enabled && it->Coding->IsValid()) ++usable;
      withQuality = usable != 1;
    }
    std::string text;
    for (const auto& item : FItems) {
      if (!item.Enabled || !item.Coding->IsValid()) continue;
      std::string part;
      if (withQuality)
        part = item.Coding->Coding() + ";q=" + FormatQuality(item.Quality);
      else if (item.Quality > 0)
        part = item.Coding->Coding();
      else
        continue;
      if (!text.empty()) text += ", ";
      text += part;
    }
    FHeaderText = text;
    FRecalcHeader = false;
  }
  return FHeaderText;
}

void THttpContCodHandler::FreeDecoders() {
  FDecoders.clear();
  FInputWriteBuffer = [this](const void* b, Integer n) { return OwnWrite(b, n); };
}

bool THttpContCodHandler::Prepare(std::string_view ContentEncoding) {
  FreeDecoders();
  if (!FEnabled || ContentEncoding.empty()) return true;
  size_t start = 0;
  while (start <= ContentEncoding.size()) {
    size_t comma = ContentEncoding.find(',', start);
    if (comma == std::string_view::npos) comma = ContentEncoding.size();
    const std::string token = Trim(ContentEncoding.substr(start, comma - start));
    start = comma + 1;
    if (token.empty()) continue;
    THttpContentCodingClass coding = ContCodingsRegistry().FindCoding(token);
    if (!coding) {
      FreeDecoders();
      return false;
    }
    FDecoders.push_back(coding->Create(FInputWriteBuffer));
    THttpContentCoding* decoder = FDecoders.back().get();
    FInputWriteBuffer = [decoder](const void* b, Integer n) { return decoder->WriteBuffer(b, n); };
  }
  return true;
}

void THttpContCodHandler::Complete() {
  for (auto it = FDecoders.rbegin(); it != FDecoders.rend(); ++it) (*it)->Complete();
}

Integer THttpContCodHandler::OwnWrite(const void* Buffer, Integer Count) {
  if (FRcvdStreamVar && *FRcvdStreamVar) (*FRcvdStreamVar)->WriteBuffer(Buffer, Count);
  return FOutputWriteBuffer ? FOutputWriteBuffer(Buffer, Count) : Count;
}
