// The log sink of the socket library and the HTTP client: an event, the debug output
// and a log file, each entry optionally stamped with the time of day.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"

enum class TLogOption {
  loDestEvent,
  loDestFile,
  loDestOutDebug,
  loAddStamp,
  loWsockErr,
  loWsockInfo,
  loWsockDump,
  loSslErr,
  loSslInfo,
  loSslDump,
  loProtSpecErr,
  loProtSpecInfo,
  loProtSpecDump
};
using TLogOptions = TSet<TLogOption>;
using enum TLogOption;

enum class TLogFileOption { lfoAppend, lfoOverwrite };
using enum TLogFileOption;

using TSockLogEvent = Event<TObject* /*Sender*/, TLogOption /*LogOption*/, const std::string& /*Msg*/>;

VX_EXCEPTION(ELoggerException, Exception)

class TSockLogger : public TComponent {
  VX_CLASS(TSockLogger, TComponent)

 public:
  explicit TSockLogger(TComponent* AOwner);
  ~TSockLogger() override;

  TLogFileOption LogFileOption() const { return FLogFileOption; }
  void SetLogFileOption(TLogFileOption Value);
  const std::string& LogFileName() const { return FLogFileName; }
  // A different name closes the open file, so the next entry opens the new one.
  void SetLogFileName(const std::string& Value);
  TLogOptions LogOptions() const { return FLogOptions; }
  void SetLogOptions(TLogOptions Value);
  const TSockLogEvent& OnSockLogEvent() const { return FOnSockLogEvent; }
  void SetOnSockLogEvent(TSockLogEvent Value);

  // Writes one entry to the destinations chosen in LogOptions. Callers test the
  // category themselves; this does not.
  void LogWrite(TObject* Sender, TLogOption LogOption, const std::string& Msg);
  void CloseLogFile();

 protected:
  void OpenLogFile();
  void WriteToLogFile(const std::string& Text);

 private:
  std::recursive_mutex FLock;
  TLogFileOption FLogFileOption = lfoAppend;
  std::string FLogFileName;
  TLogOptions FLogOptions;
  TSockLogEvent FOnSockLogEvent;
  std::unique_ptr<TFileStream> FFile;
};
