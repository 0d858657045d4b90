#include "transport/SockLogger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// The time of day as "hh:nn:ss:zzz".
std::string TimeStamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t secs = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&secs, &local);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d:%03d", local.tm_hour, local.tm_min, local.tm_sec, int(ms));
  return buf;
}

// The debugger output: standard error when VX_DEBUG_OUTPUT is set, else nowhere.
void DebugOutput(const std::string& text) {
  static const bool enabled = std::getenv("VX_DEBUG_OUTPUT") != nullptr;
  if (!enabled) return;
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

std::string SystemText() { return std::strerror(errno); }

}  // namespace

TSockLogger::TSockLogger(TComponent* AOwner) : TComponent(AOwner) {}

TSockLogger::~TSockLogger() {
  Destroying();
  std::lock_guard g(FLock);
  CloseLogFile();
}

void TSockLogger::SetLogFileOption(TLogFileOption Value) {
  std::lock_guard g(FLock);
  FLogFileOption = Value;
}

void TSockLogger::SetLogFileName(const std::string& Value) {
  std::lock_guard g(FLock);
  if (Value == FLogFileName) return;
  FLogFileName = Value;
  CloseLogFile();
}

void TSockLogger::SetLogOptions(TLogOptions Value) {
  std::lock_guard g(FLock);
  FLogOptions = Value;
}

void TSockLogger::SetOnSockLogEvent(TSockLogEvent Value) {
  std::lock_guard g(FLock);
  FOnSockLogEvent = std::move(Value);
}

void TSockLogger::LogWrite(TObject* Sender, TLogOption LogOption, const std::string& Msg) {
  std::lock_guard g(FLock);
  if (ComponentState().Contains(csDestroying)) return;
  const bool stamp = FLogOptions.Contains(loAddStamp);
  auto text = [&] { return stamp ? TimeStamp() + " " + Msg : Msg; };
  if (FLogOptions.Contains(loDestEvent) && FOnSockLogEvent) FOnSockLogEvent(Sender, LogOption, text());
  if (FLogOptions.Contains(loDestOutDebug)) DebugOutput(text());
  if (FLogOptions.Contains(loDestFile)) WriteToLogFile(text() + "\r\n");
}

void TSockLogger::OpenLogFile() {
  CloseLogFile();
  if (FLogFileName.empty()) throw ELoggerException("File name empty");
  const int fd = ::open(FLogFileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) throw EFCreateError("Cannot create file \"" + FLogFileName + "\". " + SystemText());
  // Other writers are kept out while this logger has the file open.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const std::string reason = SystemText();
    ::close(fd);
    throw EFOpenError("Cannot open file \"" + FLogFileName + "\". " + reason);
  }
  if (FLogFileOption == lfoOverwrite ? ::ftruncate(fd, 0) != 0 : ::lseek(fd, 0, SEEK_END) < 0) {
    const std::string reason = SystemText();
    ::close(fd);
    throw EFOpenError("Cannot open file \"" + FLogFileName + "\". " + reason);
  }
  FFile = fd;
}

void TSockLogger::CloseLogFile() {
  std::lock_guard g(FLock);
  if (FFile >= 0) ::close(FFile);
  FFile = -1;
}

void TSockLogger::WriteToLogFile(const std::string& Text) {
  if (FFile < 0) OpenLogFile();
  size_t done = 0;
  while (done < Text.size()) {
    const ssize_t n = ::write(FFile, Text.data() + done, Text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EWriteError("Stream write error: " + SystemText());
    done += size_t(n);
  }
}
