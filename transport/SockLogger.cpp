#include "transport/SockLogger.h"

#include <cstdio>
#include <cstdlib>

#include "platform/rtl/sysutils.h"

namespace {

// The debugger output: standard error when VX_DEBUG_OUTPUT is set, else nowhere.
void DebugOutput(const std::string& text) {
  static const bool enabled = std::getenv("VX_DEBUG_OUTPUT") != nullptr;
  if (!enabled) return;
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

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
  auto text = [&] { return stamp ? FormatDateTime("hh:nn:ss:zzz", Now()) + " " + Msg : Msg; };
  if (FLogOptions.Contains(loDestEvent) && FOnSockLogEvent) FOnSockLogEvent(Sender, LogOption, text());
  if (FLogOptions.Contains(loDestOutDebug)) DebugOutput(text());
  if (FLogOptions.Contains(loDestFile)) WriteToLogFile(text() + "\r\n");
}

void TSockLogger::OpenLogFile() {
  CloseLogFile();
  if (FLogFileName.empty()) throw ELoggerException("File name empty");
  if (!FileExists(FLogFileName)) TFileStream(FLogFileName, fmCreate);
  FFile = std::make_unique<TFileStream>(FLogFileName, fmOpenReadWrite | fmShareDenyWrite);
  if (FLogFileOption == lfoOverwrite)
    FFile->SetSize(0);
  else
    FFile->Seek(0, soEnd);
}

void TSockLogger::CloseLogFile() {
  std::lock_guard g(FLock);
  FFile.reset();
}

void TSockLogger::WriteToLogFile(const std::string& Text) {
  if (!FFile) OpenLogFile();
  FFile->WriteBuffer(Text.data(), int64_t(Text.size()));
}
