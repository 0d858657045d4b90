#include "transport/StdDownloader.h"

#include <algorithm>

#include "platform/rtl/sysutils.h"

namespace {

// The low-speed time: VX_LOW_SPEED_TIME when it holds a whole second or more.
Integer LowSpeedTimeSetting() {
  const double seconds = EnvironmentSeconds("VX_LOW_SPEED_TIME", 0);
  return seconds >= 1 ? Integer(std::min(seconds, 1e9)) : TStdDownloader::kLowSpeedTime;
}

}  // namespace

TStdDownloader::TStdDownloader() {
  on_begin_work_ = nullptr;
  on_work_ = nullptr;
  on_end_work_ = nullptr;
  TStdDownloader::Reset();
}

void TStdDownloader::Reset() {
  url_.clear();
  host_.clear();
  secure_ = false;
  accept_ = "*/*";
  accept_language_ = "ko";
  accept_encoding_ = "gzip, deflate";
  user_agent_ = "Mozilla/4.0 (compatible; Drovi Http Client)";
  connection_ = "Keep-Alive";
  proxy_host_.clear();
  proxy_port_ = 80;
  proxy_password_.clear();
  proxy_user_name_.clear();
  dest_file_name_.clear();
  expected_size_ = 0;
  low_speed_limit_ = kLowSpeedLimit;
  low_speed_time_ = LowSpeedTimeSetting();
  max_body_size_ = -1;
  failure_text_.clear();
}

void TStdDownloader::SetURL(const std::string& Text) {
  if (Text == url_) return;
  ParseURL(Text);
  url_ = Text;
}

void TStdDownloader::ParseURL(const std::string& Text) {
  std::string url = Text;
  size_t sep = url.find("://");
  if (sep == std::string::npos) {
    url = "http://" + url;
    sep = 4;
  }
  const std::string scheme = UpperCase(url.substr(0, sep));
  bool secure;
  if (scheme == "HTTP")
    secure = false;
  else if (scheme == "HTTPS")
    secure = true;
  else
    throw EStdDownloader("Not hypertext transfer protocol or unknown protocol: " + scheme);
  const size_t start = sep + 3;
  const size_t slash = url.find('/', start);
  secure_ = secure;
  host_ = slash == std::string::npos ? std::string() : url.substr(start, slash - start);
}

void TStdDownloader::CheckReady(bool HasClient, const std::string& ClientText) const {
  if (!HasClient) throw EStdDownloader(ClientText);
  if (dest_file_name_.empty()) throw EStdDownloader("not assigned destination file name.");
  if (url_.empty()) throw EStdDownloader("not assigned URL");
}
