// The update list (update.ini) downloaded from the update server, and the records
// of the files and fast-update lists it names. The list is only read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/inifiles.h"

// One file of a list. A size of -1 is unknown (a fast-update line that gives none).
struct TUpdateFileItem {
  std::string LocalPath;  // the line's key with the path macros expanded
  std::string FileURL;    // where to download it from
  std::string MD5;        // expected MD5 of the installed file, hexadecimal
  int64_t FileSize = 0;   // expected size of the installed (unpacked) file
  int64_t DownloadSize = 0;  // size of what is downloaded (the cabinet when packed)
};

// One line of [FASTUPDATE]: a version and the list of files changed for it.
struct TFastUpdateItem {
  std::string Version;
  std::string ListPath;  // relative to the server URL, without a leading "/"
};

// Whether a file name (a packed file's without its ".CAB") is one of the updater's own
// files, in any case: the program LOADER.EXE (installed here as LOADER, without the
// extension), its LOADER.INI, and the self-updater QX.EXE.
bool IsUpdaterFileName(const std::string& Name);

class TServerConfiguration : public TObject {
  VX_CLASS(TServerConfiguration, TObject)

 public:
  // Opens the list file; a missing file reads as an empty list.
  explicit TServerConfiguration(const std::string& ListFileName);
  ~TServerConfiguration() override;
  TServerConfiguration(const TServerConfiguration&) = delete;
  TServerConfiguration& operator=(const TServerConfiguration&) = delete;

  // [INSTALL]
  std::string GetIcon() const;
  std::string GetInstallRegistry() const;
  std::string GetVersionRegistry() const;
  std::string GetDatabaseVersionInfo() const;
  std::string GetVersionInfo() const;
  std::string GetUpdateDate() const;
  int GetLimitedDay() const;
  bool GetForceSafetyUpdate() const;
  bool GetEnableVersionCheck() const;
  std::string GetWebViewURL() const;
  std::string GetServiceTellNo() const;
  // [LAUNCH]
  std::string GetLaunchBin() const;
  std::string GetLaunchParam() const;
  std::string GetSelfUpdater() const;

  // The value of every line of a section, in file order.
  void ReadSectionValueList(const std::string& Section, bool ExpandMacros, TStrings* List) const;

  // Reads [FASTUPDATE] into a new FastUpdateItems list; returns its count.
  int LoadFastUpdateList();
  // Whether the list has the [FILES] section that every list needs; a page or bytes
  // that are no list have none.
  bool HasFileSection() const;
  // Reads [FILES] into FileItems (and the updater's own files also into
  // SelfUpdateItems); returns the index of the last record added, or -1. A line whose
  // value is not "<md5>,<size>,<download size>", or whose path would leave its folder,
  // is refused (RefusedLines).
  int LoadFileList();
  // Adds the merged [FILES] lines of fast-update lists to FileItems; returns the
  // index of the last record added, or -1. A line needs one to three value fields;
  // paths are refused as by LoadFileList.
  int AddFileList(TStrings* Lines);
  // The lines refused so far, each "<path>: <why>".
  const std::vector<std::string>& RefusedLines() const { return FRefusedLines; }

  int GetFastUpdateCount() const;
  int GetFileCount() const;
  int GetSelfUpdateCount() const;
  TFastUpdateItem* GetFastUpdateItem(int Index) const;
  TUpdateFileItem* GetFileItem(int Index) const;
  TUpdateFileItem* GetSelfUpdateItem(int Index) const;
  // Index in FileItems of the first record whose file name (without a ".CAB"
  // extension) is Name, ignoring case; -1 when there is none.
  int IndexOfFile(const std::string& Name) const;
  // The download address of a listed path.
  std::string MakeDownloadURL(const std::string& Path) const;

  TStringList* MD5Extensions() const { return FMD5Extensions.get(); }
  // The script and registration sections; null while the section is absent.
  TStringList* SelfRegFiles() const { return FSelfRegFiles.get(); }
  TStringList* ScriptExtNames() const { return FScriptExtNames.get(); }
  TStringList* ScriptConditions() const { return FScriptConditions.get(); }
  TStringList* ScriptActions() const { return FScriptActions.get(); }

 private:
  using FileList = std::vector<std::unique_ptr<TUpdateFileItem>>;

  std::unique_ptr<TStringList> ReadScriptSection(const char* Section, const std::string& ColonBecomes) const;
  std::unique_ptr<TUpdateFileItem> MakeItem(const std::string& Path, const std::vector<std::string>& Fields) const;
  // False (and the line noted) for a line of Fields value fields, outside Fewest to
  // Most, or for a path that may not be written.
  bool Accept(const std::string& Path, size_t Fields, size_t Fewest, size_t Most);

  std::unique_ptr<TMemIniFile> FIniFile;
  std::unique_ptr<TStringList> FMD5Extensions;
  std::unique_ptr<TStringList> FSelfRegFiles;
  std::unique_ptr<TStringList> FScriptExtNames;
  std::unique_ptr<TStringList> FScriptConditions;
  std::unique_ptr<TStringList> FScriptActions;
  std::unique_ptr<std::vector<TFastUpdateItem>> FFastUpdateItems;
  std::unique_ptr<FileList> FFileItems;
  std::unique_ptr<FileList> FSelfUpdateItems;
  std::vector<std::string> FRefusedLines;
};
