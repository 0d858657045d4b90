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

  // Converts In; at a sequence iconv refuses, Skip says how many bytes to pass over
  // and what to write instead.
  template <class F>
  std::string Convert(std::string_view In, F&& Skip) {
    std::string out(In.size() * 2 + 16, '\0');
    char* src = const_cast<char*>(In.data());
    size_t srcLeft = In.size(), used = 0;
    while (srcLeft > 0) {
      char* dst = out.data() + used;
      size_t dstLeft = out.size() - used;
      const size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      used = size_t(dst - out.data());
      if (r != size_t(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      // EILSEQ or EINVAL (cut off at the end): replace and go on after it.
      const auto [skip, instead] = Skip(std::string_view(src, srcLeft));
      src += skip;
      srcLeft -= skip;
      out.replace(used, 0, instead);
      used += instead.size();
      out.resize(std::max(out.size(), used + srcLeft * 2 + 16));
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return out;
  }

 private:
  iconv_t cd_;
};

size_t Utf8Length(unsigned char c) {
  if (c < 0xC0) return 1;
  if (c < 0xE0) return 2;
  if (c < 0xF0) return 3;
  return 4;
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
  return c.Convert(Bytes, [](std::string_view) { return std::pair<size_t, std::string>(1, "\xEF\xBF\xBD"); });
}

std::string TEncoding::GetBytes(std::string_view Text) const {
  if (codePage_ == 65001) return std::string(Text);
  TConverter c(name_, "UTF-8");
  return c.Convert(Text, [](std::string_view rest) {
    const size_t n = std::min(rest.size(), Utf8Length(static_cast<unsigned char>(rest[0])));
    return std::pair<size_t, std::string>(std::max<size_t>(n, 1), "?");
  });
}
