#include "transport/WebAgent.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/net/bodylimit.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"

namespace {

// Bodies of at least this announced length are read in large blocks.
constexpr Int64 kLargeBody = 65535;
constexpr DWORD kLargeBlock = 4096;
constexpr DWORD kSmallBlock = 1024;
// The destination file is written in pieces of this size; the blocks are read straight
// into the piece being gathered.
constexpr size_t kFileBuffer = 1024 * 1024;

// Closes a request handle however the request ends.
class RequestHandle {
 public:
  explicit RequestHandle(HINTERNET h) : h_(h) {}
  ~RequestHandle() {
    if (h_) InternetCloseHandle(h_);
  }
  RequestHandle(const RequestHandle&) = delete;
  RequestHandle& operator=(const RequestHandle&) = delete;
  HINTERNET get() const { return h_; }

 private:
  HINTERNET h_;
};

// Where the body goes: the read block, and the destination file when there is one.
// The memory is wiped before it is given back.
class BodySink {
 public:
  BodySink(const std::string& FileName, DWORD BlockSize)
      : block_size_(BlockSize), buffer_(FileName.empty() ? BlockSize : kFileBuffer) {
    if (!FileName.empty()) file_ = std::make_unique<TFileStream>(FileName, fmCreate);
  }
  ~BodySink() { std::fill(buffer_.begin(), buffer_.end(), '\0'); }
  BodySink(const BodySink&) = delete;
  BodySink& operator=(const BodySink&) = delete;

  bool ToFile() const { return file_ != nullptr; }
  // Room for the next block. Raises EWriteError when the gathered bytes cannot be
  // written.
  char* Block() {
    if (!file_) return buffer_.data();
    if (fill_ + block_size_ > buffer_.size()) Flush();
    return buffer_.data() + fill_;
  }
  // The bytes just read into Block.
  void Commit(size_t Count) {
    if (file_) fill_ += Count;
  }
  void Flush() {
    file_->WriteBuffer(buffer_.data(), static_cast<Int64>(fill_));
    fill_ = 0;
  }

 private:
  size_t block_size_;
  std::vector<char> buffer_;
  size_t fill_ = 0;
  std::unique_ptr<TFileStream> file_;
};

}  // namespace

TWebAgent::TWebAgent() : uri_(std::make_unique<TURI>()) {}

TWebAgent::~TWebAgent() {
  on_progress_ = nullptr;
  on_progress_proc_ = nullptr;
  on_done_ = nullptr;
  on_done_proc_ = nullptr;
  CloseHandles();
}

void TWebAgent::CloseHandles() {
  if (connection_) InternetCloseHandle(connection_);
  if (session_) InternetCloseHandle(session_);
  connection_ = session_ = nullptr;
}

// A connection is used again only while it is alive and leads to the same server (the
// same host, port and credentials); a failed one is made anew by the next request.
bool TWebAgent::Connected() const {
  return session_ && connection_ && server_host_ == uri_->Host() && server_port_ == uri_->Port() &&
         server_user_ == uri_->UserName() && server_password_ == uri_->Password();
}

bool TWebAgent::Connect() {
  CloseHandles();
  session_ = InternetOpen(agent_.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!session_) return Failed(WEB_ERROR_OPEN);
  connection_ = InternetConnect(session_, uri_->Host().c_str(), static_cast<INTERNET_PORT>(uri_->Port()),
                                uri_->UserName().c_str(), uri_->Password().c_str(),
                                INTERNET_SERVICE_HTTP, 0, 0);
  if (!connection_) return Failed(WEB_ERROR_CONNECT);
  server_host_ = uri_->Host();
  server_port_ = uri_->Port();
  server_user_ = uri_->UserName();
  server_password_ = uri_->Password();
  return true;
}

bool TWebAgent::Execute(const std::string& Address, const std::string& PostData,
                        const std::string& DestFile) {
  response_.clear();
  status_code_ = 999;
  error_code_ = WEB_ERROR_NONE;
  error_text_.clear();
  content_length_ = -1;
  if (!referer_url_.empty()) {
    uri_->Parse(referer_url_);
    referer_url_.clear();
  }
  if (!uri_->Parse(Address)) return false;
  if (!Connected() && !Connect()) return false;

  DWORD timeout = static_cast<DWORD>(std::clamp<Integer>(connect_timeout_, 0, 0x7FFFFFFF / 1000) * 1000);
  InternetSetOption(connection_, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
  DWORD lowSpeed[] = {static_cast<DWORD>(std::max<Integer>(low_speed_limit_, 0)),
                      static_cast<DWORD>(std::max<Integer>(low_speed_time_, 0))};
  InternetSetOption(connection_, INTERNET_OPTION_LOW_SPEED_LIMIT, &lowSpeed[0], sizeof(DWORD));
  InternetSetOption(connection_, INTERNET_OPTION_LOW_SPEED_TIME, &lowSpeed[1], sizeof(DWORD));

  const bool post = !PostData.empty();
  DWORD flags = INTERNET_FLAG_RELOAD;
  if (!keep_cache_) flags |= INTERNET_FLAG_NO_CACHE_WRITE;
  // The server's certificate is checked whole, its name and dates included: what is
  // downloaded gets installed and run.
  if (uri_->Secure()) flags |= INTERNET_FLAG_SECURE;
  LPCSTR acceptTypes[] = {accept_text_.c_str(), nullptr};
  const std::string& referrer = uri_->Referrer();
  RequestHandle request(HttpOpenRequest(connection_, post ? "POST" : "GET", uri_->Path().c_str(),
                                        http_version_.c_str(), referrer.empty() ? nullptr : referrer.c_str(),
                                        acceptTypes, flags, 0));
  if (!request.get()) return Failed(WEB_ERROR_REQUEST);
  const bool sent =
      post ? HttpSendRequest(request.get(), post_headers_.c_str(), static_cast<DWORD>(post_headers_.size()),
                             const_cast<char*>(PostData.data()), static_cast<DWORD>(PostData.size()))
           : HttpSendRequest(request.get(), nullptr, 0, nullptr, 0);
  if (!sent) return Failed(WEB_ERROR_SEND);

  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfo(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                     nullptr))
    return Failed(WEB_ERROR_STATUS);
  status_code_ = static_cast<Integer>(status);
  if (status < 200 || status > 299) {
    error_code_ = WEB_ERROR_STATUS;
    return false;
  }
  ULONGLONG length = 0;
  size = sizeof length;
  // A 204 has no body, whatever length it announces.
  if (status != 204 && HttpQueryInfo(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER64, &length, &size,
                    nullptr))
    content_length_ = static_cast<Int64>(std::min<ULONGLONG>(length, INT64_MAX));
  if (const vxnet::TBodyLimit limit(max_body_size_); limit.Refuses(content_length_)) {
    error_code_ = WEB_ERROR_READ;
    error_text_ = limit.AnnouncedText(content_length_);
    return false;
  }

  if (!Transfer(request.get(), DestFile)) return false;
  on_done_(response_);
  if (on_done_proc_) on_done_proc_(response_);
  return true;
}

// Reads the body block by block into the file or Response, reporting each block.
bool TWebAgent::Transfer(HINTERNET Request, const std::string& DestFile) {
  const Int64 length = content_length_ >= 0 ? content_length_ : 0;
  const DWORD blockSize = length >= kLargeBody ? kLargeBlock : kSmallBlock;
  std::unique_ptr<BodySink> sink;
  try {
    sink = std::make_unique<BodySink>(DestFile, blockSize);
  } catch (const EFCreateError& e) {
    error_code_ = WEB_ERROR_FILE;
    error_text_ = e.Message();
    return false;
  }
  const vxnet::TBodyLimit limit(max_body_size_);
  Int64 total = 0;
  try {
    for (;;) {
      char* block = sink->Block();
      DWORD got = 0;
      if (!InternetReadFile(Request, block, blockSize, &got)) {
        Failed(WEB_ERROR_READ);
        break;
      }
      if (got == 0) {
        error_code_ = WEB_ERROR_EOF;
        break;
      }
      const auto room = static_cast<DWORD>(limit.Room(total, got));
      if (sink->ToFile())
        sink->Commit(room);
      else
        response_.append(block, room);
      total += room;
      if (room < got) {
        error_code_ = WEB_ERROR_READ;
        error_text_ = limit.OverrunText();
        break;
      }
      Progress(got, total, length);
    }
    if (sink->ToFile()) sink->Flush();
  } catch (const EWriteError& e) {
    error_code_ = WEB_ERROR_FILE;
    error_text_ = e.Message();
    return false;
  } catch (...) {
    // A callback raised: what arrived so far is still written out.
    try {
      if (sink->ToFile()) sink->Flush();
    } catch (const EWriteError&) {
    }
    throw;
  }
  sink.reset();
  // Complete when the announced length arrived, or when none was announced.
  const bool complete = content_length_ < 0 || total >= content_length_;
  if (error_code_ == WEB_ERROR_EOF && !complete) {
    error_code_ = WEB_ERROR_READ;
    error_text_ = "The body ended after " + IntToStr(total) + " of " + IntToStr(content_length_) + " bytes";
  } else if (error_code_ == WEB_ERROR_EOF) {
    error_code_ = 0;
  }
  return error_code_ == 0;
}

bool TWebAgent::Failed(Integer Stage) {
  error_code_ = Stage;
  const DWORD system = GetLastError();
  DWORD error = 0, length = 0;
  std::string cause;
  if (!InternetGetLastResponseInfo(&error, nullptr, &length) && error == system && length > 1) {
    cause.resize(length);
    if (InternetGetLastResponseInfo(&error, cause.data(), &length))
      cause.resize(length);
    else
      cause.clear();
  }
  const std::string number = "error " + IntToStr(Integer(system));
  error_text_ = cause.empty() ? number : cause + " (" + number + ")";
  return false;
}

void TWebAgent::Progress(Int64 Block, Int64 Total, Int64 Length) {
  on_progress_(Block, Total, Length);
  if (on_progress_proc_) on_progress_proc_(Block, Total, Length);
}
