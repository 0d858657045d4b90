#include "transport/SockUrl.h"

#include "platform/rtl/sysutils.h"

namespace {

// The directory part of a path: up to and including its last "/", or "/" without one.
std::string DirectoryOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string("/") : std::string(path.substr(0, slash + 1));
}

bool IsSchemeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool StartsWithText(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

// Splits "authority/path?query" into its parts.
void SplitAuthorityAndPath(std::string_view rest, std::string& User, std::string& Pass, std::string& Host,
                           std::string& Port, std::string& Path) {
  const size_t pathStart = std::min(rest.find('/'), rest.find('?'));
  std::string_view authority = rest;
  if (pathStart != std::string_view::npos) {
    Path = std::string(rest.substr(pathStart));
    authority = rest.substr(0, pathStart);
  }
  const size_t colon = authority.rfind(':');
  const size_t at = authority.rfind('@');
  if (colon == std::string_view::npos && at == std::string_view::npos) {
    Host = std::string(authority);
    return;
  }
  if (colon != std::string_view::npos && (at == std::string_view::npos || colon > at)) {
    Port = std::string(authority.substr(colon + 1));
    const size_t hostStart = at == std::string_view::npos ? 0 : at + 1;
    Host = std::string(authority.substr(hostStart, colon - hostStart));
    if (at == std::string_view::npos) return;
  } else {
    Host = std::string(authority.substr(at + 1));
  }
  const std::string_view userInfo = authority.substr(0, at);
  const size_t sep = userInfo.find(':');
  User = std::string(userInfo.substr(0, sep));
  if (sep != std::string_view::npos) Pass = std::string(userInfo.substr(sep + 1));
}

}  // namespace

void SplitURL(std::string_view URL, std::string& Proto, std::string& User, std::string& Pass, std::string& Host,
              std::string& Port, std::string& Path) {
  const std::string base = Path;
  Proto.clear();
  User.clear();
  Pass.clear();
  Host.clear();
  Port.clear();
  Path.clear();
  if (URL.empty()) return;

  if (URL.starts_with("./")) {
    Path = DirectoryOf(base) + std::string(URL.substr(2));
    return;
  }
  if (URL.starts_with("../")) {
    std::string dir = DirectoryOf(base);
    std::string_view rest = URL.substr(3);
    for (;;) {
      dir.pop_back();  // the trailing "/", then keep up to the slash before it
      dir = DirectoryOf(dir);
      if (!rest.starts_with("../")) break;
      rest.remove_prefix(3);
    }
    Path = dir + std::string(rest);
    return;
  }

  std::string defaultProto;
  const size_t sep = URL.find("://");
  if (sep != std::string_view::npos) {
    const std::string scheme = LowerCase(URL.substr(0, sep));
    bool valid = true;
    for (char c : scheme) valid = valid && IsSchemeChar(c);
    if (valid) {
      Proto = scheme;
      SplitAuthorityAndPath(URL.substr(sep + 3), User, Pass, Host, Port, Path);
      return;
    }
    defaultProto = "http";
  }

  std::string_view rest = URL;
  if (URL[0] == '/') {
    Proto = "http";
    if (URL.size() < 2 || URL[1] != '/') {
      Path = std::string(URL);
      return;
    }
    rest = URL.substr(2);  // "//host/path": an authority follows
  } else if (StartsWithText(URL, "http:")) {
    Proto = "http";
    if (URL.size() > 6 && URL[6] != '/') {
      Path = std::string(URL.substr(5));
      return;
    }
    rest = URL.substr(std::min<size_t>(6, URL.size()));
  } else if (StartsWithText(URL, "mailto:")) {
    Proto = "mailto";
    rest = URL.substr(URL.find(':') + 1);
  } else {
    Proto = defaultProto;
  }
  SplitAuthorityAndPath(rest, User, Pass, Host, Port, Path);
}

bool IsHexDigitChar(char Ch) {
  return (Ch >= '0' && Ch <= '9') || (Ch >= 'a' && Ch <= 'f') || (Ch >= 'A' && Ch <= 'F');
}

int HexDigitValue(char Ch) {
  if (Ch >= '0' && Ch <= '9') return Ch - '0';
  return (Ch & 0x0F) + 9;
}

int PosFromEnd(std::string_view Pattern, std::string_view Text, int N) {
  if (N == 0 || Pattern.empty() || Pattern.size() > Text.size()) return 0;
  if (N > 0) {
    size_t at = 0;
    for (int found = 0;; ++at) {
      at = Text.find(Pattern, at);
      if (at == std::string_view::npos) return 0;
      if (++found == N) return int(at) + 1;
    }
  }
  size_t at = Text.size() - Pattern.size();
  for (int found = 0;;) {
    at = Text.rfind(Pattern, at);
    if (at == std::string_view::npos) return 0;
    if (--found == N) return int(at) + 1;
    if (at == 0) return 0;
    --at;
  }
}
