// The updater's local configuration: the ini file beside the program, the command
// line, the folders behind the path macros, the proxy settings and the installed
// version kept in the registry. One instance, ClientConfig, lives for the whole run.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/inifiles.h"
#include "platform/rtl/registry.h"
#include "platform/win/wintypes.h"

class TClientConfiguration : public TObject {
  VX_CLASS(TClientConfiguration, TObject)

 public:
  // The configuration of the running program.
  TClientConfiguration();
  // The configuration of the program at ExeName (its ini file is beside it).
  explicit TClientConfiguration(const std::string& AExeName);
  ~TClientConfiguration() override;
  TClientConfiguration(const TClientConfiguration&) = delete;
  TClientConfiguration& operator=(const TClientConfiguration&) = delete;

  // Reads the command-line switches; false when an error was raised (CommandLineError
  // says which), such as a -LF: list name that leaves the program folder.
  bool ParseCommandLine();
  // Reads these parameters as the command line (the program itself not included).
  bool ParseCommandLine(const std::vector<std::string>& Params);

  // [INFO] and [DESIGN] of the configuration file, read at each call.
  std::string GetServerURL() const;
  std::string GetTitle() const;
  std::string GetIconPath() const;
  std::string GetProductRES() const;
  std::string GetProductAdminRES() const;
  std::string GetProductLanguage() const;
  int GetSocketType() const;
  // Connection attempts before the retry question: the default 10 for a value below 1,
  // and at most 100, so that a run against a dead server ends.
  int GetRestartCount() const;
  std::string GetDefaultExeNameWhenUpdateFail() const;
  std::string GetDefaultParamWhenUpdateFail() const;
  bool GetIsRunWhenUpdateFail() const;
  std::string GetSafetyUpdateQuestion() const;
  std::string GetFastUpdateQuestion() const;
  int GetTotalProgressBarBarColor() const;
  int GetTotalProgressBarBorderColor() const;
  int GetDiscreteProgressBarBarColor() const;
  int GetDiscreteProgressBarBorderColor() const;
  int GetUpdateTypeTop() const;
  int GetUpdateTypeLeft() const;
  std::string GetWindowBorderStyle() const;

  // RunExeName, or the program folder and DefaultExeNameWhenUpdateFail.
  std::string GetRunExeName() const;
  // Replaces the first path macro found (%ROOT%, %WINDOWS%, %SYSTEM%,
  // %PROGRAMFILES%, %COMMONFILES%, tested in that order) wherever it occurs.
  std::string ExpandPathMacros(const std::string& Path) const;
  // Whether a listed file's path (macros not yet expanded) stays inside the folder it
  // names: that of the macro it starts with (the one ExpandPathMacros replaces), or the
  // program folder for a relative path. The path is taken as given: control characters
  // anywhere, blanks at either end, absolute paths, a macro
  // elsewhere than at the start or naming no folder, and ".." that climbs out are
  // refused; Why says which.
  bool IsListedPathSafe(const std::string& Path, std::string& Why) const;
  // The value of every line of a section of the configuration file, in file order.
  void ReadSectionValueList(const std::string& Section, bool Expand, TStrings* List) const;

  // Reads CurVersion, CurDBVersion, LastUpdateDate and UpdateType from the key
  // that InstallRegistry and VersionRegistry name. True also when the key does not
  // open (RegistryError then says why).
  bool ReadVersionRegistry(const std::string& InstallRegistry, const std::string& VersionRegistry);
  // Write the values; false, with RegistryError, when the key cannot be opened or a
  // value cannot be written.
  bool WriteVersionRegistry(const std::string& Version, const std::string& DBVersion,
                            const std::string& VersionRegistry, const std::string& UpdateDate);
  bool WriteUpdateType(const std::string& VersionRegistry);

  TMemIniFile* IniFile() const { return FIniFile.get(); }
  HKEY VersionRootKey = HKEY_LOCAL_MACHINE;
  std::string VersionKeyPath;
  std::string ExeName;
  std::string ExeIniName;
  std::string TempDir;
  std::string BitmapFile;
  std::string RootDir;
  std::string UpdateListName;
  std::string RunExeName;
  std::string BizParams;
  std::string IsRunCheckFile;
  std::string SyncValue;
  bool SMMode = false;
  bool FUMode = false;
  std::string CurVersion;
  std::string CurDBVersion;
  std::string LastUpdateDate;
  uint8_t UpdateType = 2;  // 0 fast, 1 safe, 2 not chosen yet
  bool DebugMode = false;
  std::string ProxyIP;
  std::string ProxyPort;
  std::string WindowsDir;
  std::string SystemDir;
  std::string CommonFilesDir;
  std::string ProgramFilesDir;
  TStringList* NoUpdateFiles() const { return FNoUpdateFiles.get(); }
  // Why the command line or the last registry access failed.
  std::string CommandLineError;
  std::string RegistryError;

 private:
  std::string ReadInfo(const char* Key) const;
  // The macro that ExpandPathMacros replaces in an upper-cased text (the first of the
  // five that occurs) and its folder; nulls when none occurs.
  std::pair<const char*, const std::string*> MacroIn(const std::string& Upper) const;
  bool WriteVersionValues(const std::string& VersionRegistry, const std::function<void(TRegistry&)>& Write);
  int ReadColor(const char* Key, const char* OldKey, int Default) const;

  std::unique_ptr<TMemIniFile> FIniFile;
  std::unique_ptr<TStringList> FNoUpdateFiles;
};

// Clears List and adds the value of every line of an ini file's section, in file order
// (lines are taken by position: keys may repeat), with the path macros expanded by
// Expander when one is given.
void ReadIniSectionValues(const TCustomIniFile& Ini, const std::string& Section,
                          const TClientConfiguration* Expander, TStrings* List);

// The path as a log line shows it: each control character as "?".
std::string PrintablePath(const std::string& Path);

// The program-wide configuration; created by the program body before anything else.
extern std::unique_ptr<TClientConfiguration> ClientConfig;
