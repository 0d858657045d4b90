// A configurable text-log component. Every entry opens the file, writes one
// composed line and closes it again, so the log never stays open between entries.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/rtl/classes.h"

class TLogFile : public TComponent {
  VX_CLASS(TLogFile, TComponent)

 public:
  explicit TLogFile(TComponent* AOwner);
  ~TLogFile() override;

  const std::string& LogFileName() const { return FLogFileName; }
  void SetLogFileName(const std::string& v) { FLogFileName = v; }
  bool OverwriteExistingFile() const { return FOverwriteExistingFile; }
  void SetOverwriteExistingFile(bool v) { FOverwriteExistingFile = v; }
  bool ClearonCreate() const { return FClearonCreate; }
  void SetClearonCreate(bool v) { FClearonCreate = v; }
  bool IncDateTime() const { return FIncDateTime; }
  void SetIncDateTime(bool v) { FIncDateTime = v; }
  bool IncPrefix() const { return FIncPrefix; }
  void SetIncPrefix(bool v) { FIncPrefix = v; }
  bool IncSeparator() const { return FIncSeparator; }
  void SetIncSeparator(bool v) { FIncSeparator = v; }
  bool IncSuffix() const { return FIncSuffix; }
  void SetIncSuffix(bool v) { FIncSuffix = v; }
  const std::string& Prefix() const { return FPrefix; }
  void SetPrefix(const std::string& v) { FPrefix = v; }
  const std::string& Separator() const { return FSeparator; }
  void SetSeparator(const std::string& v) { FSeparator = v; }
  const std::string& Suffix() const { return FSuffix; }
  void SetSuffix(const std::string& v) { FSuffix = v; }
  const std::string& DateTimeFormatStr() const { return FDateTimeFormatStr; }
  void SetDateTimeFormatStr(const std::string& v) { FDateTimeFormatStr = v; }
  // Bytes above which the file is emptied before an entry; 0 means no limit.
  int64_t SizeLimit() const { return FSizeLimit; }
  void SetSizeLimit(int64_t v) { FSizeLimit = v; }

  // Opens the file for writing (appending unless OverwriteExistingFile); false on
  // failure, and for a name that is no plain file (a pipe, a device).
  bool OpenLog();
  void CloseLog();
  // Writes one composed line with the given numbers of empty lines around it.
  void WriteEntry(const std::string& Msg, int LinesBefore = 0, int LinesAfter = 0);

 protected:
  void Loaded() override;

 private:
  std::string FLogFileName = "LogFile.Txt";
  bool FOverwriteExistingFile = false;
  bool FClearonCreate = false;
  bool FIncDateTime = false;
  bool FIncPrefix = false;
  bool FIncSeparator = false;
  bool FIncSuffix = false;
  std::string FPrefix, FSeparator, FSuffix;
  std::string FDateTimeFormatStr = "c";
  int64_t FSizeLimit = 0;
  int FHandle = -1;  // open only while an entry is written
};

// The one process-wide lock around every entry of every log.
std::recursive_mutex& LogFileLock();
