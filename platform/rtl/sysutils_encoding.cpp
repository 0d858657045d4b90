// Code pages through iconv.
#include <iconv.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>

#include "platform/rtl/sysutils.h"

namespace {

// iconv's names of the Windows code pages.
std::string IconvName(int CodePage) {
  switch (CodePage) {
    case 65001: return "UTF-8";
    case 936: return "GBK";
    case 20127: return "ASCII";
    case 28591: return "ISO-8859-1";
    default: return "CP" + std::to_string(CodePage);
  }
}

class TConverter {
 public:
  TConverter(const std::string& To, const std::string& From) : cd_(iconv_open(To.c_str(), From.c_str())) {
    if (cd_ == iconv_t(-1)) throw EEncodingError("No conversion from " + From + " to " + To);
  }
  ~TConverter() { iconv_close(cd_); }
  TConverter(const TConverter&) = delete;
  TConverter& operator=(const TConverter&) = delete;

  // Converts In, writing Instead for each sequence iconv refuses; Length says how many
  // bytes (at least one) of Rest the refused sequence it starts with takes.
  std::string Convert(std::string_view In, std::string_view Instead, size_t (*Length)(std::string_view Rest)) {
    std::string out(In.size() * 2 + 16, '\0');
    char* src = const_cast<char*>(In.data());
    char* const end = src + In.size();
    size_t used = 0;
    while (src < end) {
      char* const from = src;
      size_t srcLeft = size_t(end - src);
      char* dst = out.data() + used;
      size_t dstLeft = out.size() - used;
      const size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      used = size_t(dst - out.data());
      if (r != size_t(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      // EILSEQ, or EINVAL for a sequence cut off at the end. iconv may have taken in the
      // sequence it refuses (glibc's CP949 does with A2 E8): then it lies behind src and
      // nothing more is passed over.
      const bool takenIn = errno == EILSEQ && src > from && !Converts(from, src);
      if (!takenIn && src < end) src += Length(std::string_view(src, size_t(end - src)));
      out.replace(used, 0, Instead);
      used += Instead.size();
      out.resize(std::max(out.size(), used + size_t(end - src) * 2 + 16));
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return out;
  }

 private:
  // Whether From..To converts whole, from the initial state.
  bool Converts(char* From, char* To) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    size_t left = size_t(To - From);
    char scratch[256];
    for (;;) {
      char* dst = scratch;
      size_t dstLeft = sizeof scratch;
      if (iconv(cd_, &From, &left, &dst, &dstLeft) != size_t(-1)) return true;
      if (errno != E2BIG) return false;
    }
  }

  iconv_t cd_;
};

// The length of the UTF-8 sequence Rest starts with, as far as its continuation bytes go.
size_t Utf8Length(std::string_view Rest) {
  const unsigned char lead = static_cast<unsigned char>(Rest[0]);
  const size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  size_t n = 1;
  while (n < length && n < Rest.size() && (static_cast<unsigned char>(Rest[n]) & 0xC0) == 0x80) ++n;
  return n;
}

}  // namespace

TEncoding* TEncoding::GetEncoding(int CodePage) {
  static std::mutex lock;
  static auto* encodings = new std::map<int, std::unique_ptr<TEncoding>>();
  std::lock_guard hold(lock);
  auto& e = (*encodings)[CodePage];
  if (!e) {
    const std::string name = IconvName(CodePage);
    TConverter probe("UTF-8", name);  // raises for a code page iconv lacks
    e.reset(new TEncoding(CodePage, name));
  }
  return e.get();
}

std::string TEncoding::GetString(std::string_view Bytes) const {
  if (codePage_ == 65001) return std::string(Bytes);
  TConverter c("UTF-8", name_);
  return c.Convert(Bytes, "\xEF\xBF\xBD", [](std::string_view) { return size_t(1); });
}

std::string TEncoding::GetBytes(std::string_view Text) const {
  if (codePage_ == 65001) return std::string(Text);
  TConverter c(name_, "UTF-8");
  return c.Convert(Text, "?", Utf8Length);
}
