#include "transport/ParseURI.h"

#include "platform/rtl/sysutils.h"

namespace {

// The port digits of an address: a decimal number of at most 65535 (0 for none), or -1.
Integer PortNumber(const std::string& digits) {
  if (digits.size() > 5) return -1;
  Integer port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    port = port * 10 + (c - '0');
  }
  return port <= 65535 ? port : -1;
}

}  // namespace

bool TURI::Parse(const std::string& Address) {
  previous_host_ = host_;
  if (!previous_host_.empty()) {
    referrer_ = scheme_ + "://" + host_;
    // A secure address on port 80 keeps its port: without it, it would read back as 443.
    if (port_ != 80 || secure_) referrer_ += ":" + IntToStr(port_);
    referrer_ += path_;
  }

  scheme_ = "HTTP";
  std::string rest = Address;
  if (const size_t sep = Address.find("://"); sep != std::string::npos) {
    scheme_ = UpperCase(Address.substr(0, sep));
    rest = Address.substr(sep + 3);
  }
  secure_ = scheme_ == "HTTPS";

  user_name_ = "anonymous";
  password_ = "ZQNolt";
  const size_t at = rest.find('@');
  if (at != std::string::npos && at < rest.find('/')) {
    const std::string userInfo = rest.substr(0, at);
    rest.erase(0, at + 1);
    if (const size_t colon = userInfo.find(':'); colon != std::string::npos) {
      user_name_ = userInfo.substr(0, colon);
      password_ = userInfo.substr(colon + 1);
    } else {
      user_name_ = userInfo;
    }
  }

  host_.clear();
  port_ = 0;
  std::string hostPart = rest;
  path_ = "/";
  if (const size_t slash = rest.find('/'); slash != std::string::npos) {
    hostPart = rest.substr(0, slash);
    path_ = rest.substr(slash);
  }
  if (const size_t colon = hostPart.find(':'); colon != std::string::npos) {
    port_ = PortNumber(hostPart.substr(colon + 1));
    if (port_ < 0) {
      port_ = 0;
      return false;
    }
    hostPart.erase(colon);
  }
  host_ = hostPart;
  if (port_ == 0) port_ = secure_ ? 443 : 80;
  return !host_.empty();
}
