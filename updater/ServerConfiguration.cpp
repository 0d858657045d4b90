#include "updater/ServerConfiguration.h"

#include <algorithm>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"
#include "updater/ClientConfiguration.h"

namespace {

const char kDefaultWebViewURL[] = "http://www.pelmora.co.kr/";
constexpr int64_t kUnknownSize = -1;

// Splits a value at ",": blanks before a field are skipped, empty fields dropped,
// every field trimmed.
std::vector<std::string> SplitFields(const std::string& Value) {
  TStringList parts;
  ExtractStrings(",", " ", Value, &parts);
  std::vector<std::string> fields;
  for (int i = 0; i < parts.Count(); ++i) {
    std::string f = Trim(parts[i]);
    if (!f.empty()) fields.push_back(std::move(f));
  }
  return fields;
}

// The key and value of a "key=value" line; false for a line to skip (blank, no
// "=", or a blank key).
bool SplitLine(const std::string& Line, std::string& Key, std::string& Value) {
  const std::string line = Trim(Line);
  const size_t eq = line.find('=');
  if (line.empty() || eq == std::string::npos) return false;
  Key = Trim(line.substr(0, eq));
  Value = Trim(line.substr(eq + 1));
  return !Key.empty();
}

// The file name of a listed path, without the ".CAB" of a packed file
// ("app.dll.cab" names app.dll; "loader.cab" names itself).
std::string InstalledFileName(const std::string& Path) {
  std::string name = ExtractFileName(Path);
  const size_t dots = std::count(name.begin(), name.end(), '.');
  if (dots > 1 && UpperCase(ExtractFileExt(name)) == ".CAB") name = ChangeFileExt(name, "");
  return name;
}

// The file name of a listed path without a ".CAB" extension.
std::string NameWithoutCab(const std::string& Path) {
  const std::string name = ExtractFileName(Path);
  return UpperCase(ExtractFileExt(name)) == ".CAB" ? ChangeFileExt(name, "") : name;
}

std::string Expand(const std::string& Path) {
  return ClientConfig ? ClientConfig->ExpandPathMacros(Path) : Trim(Path);
}

}  // namespace

bool IsUpdaterFileName(const std::string& Name) {
  const std::string name = UpperCase(Name);
  return name == "LOADER.EXE" || name == "LOADER" || name == "LOADER.INI" || name == "QX.EXE";
}

TServerConfiguration::TServerConfiguration(const std::string& ListFileName) {
  FIniFile = std::make_unique<TMemIniFile>(ListFileName);
  FMD5Extensions = std::make_unique<TStringList>();
  if (ClientConfig) ClientConfig->ReadVersionRegistry(GetInstallRegistry(), GetVersionRegistry());
  ExtractStrings(",", " ", FIniFile->ReadString("INSTALL", "ExtNameToMD5", "js,xml,exe,dll,ocx"),
                 FMD5Extensions.get());
  if (FIniFile->SectionExists("SELFREG")) {
    FSelfRegFiles = std::make_unique<TStringList>();
    ReadSectionValueList("SELFREG", true, FSelfRegFiles.get());
  }
  FScriptExtNames = ReadScriptSection("SCREXTNAME", "=");
  FScriptConditions = ReadScriptSection("SCRCONDITIONALDEFINES", "=");
  // An action is stored as "ACTION=XXXX<arguments>": the four characters are the
  // trigger flag, "XXXX" until a trigger sets it to "0000".
  FScriptActions = ReadScriptSection("SCRACTION", "=XXXX");
}

TServerConfiguration::~TServerConfiguration() = default;

std::unique_ptr<TStringList> TServerConfiguration::ReadScriptSection(const char* Section,
                                                                    const std::string& ColonBecomes) const {
  if (!FIniFile->SectionExists(Section)) return nullptr;
  auto list = std::make_unique<TStringList>();
  ReadSectionValueList(Section, false, list.get());
  for (int i = 0; i < list->Count(); ++i)
    list->SetStrings(i, StringReplace((*list)[i], ":", ColonBecomes, {rfReplaceAll}));
  return list;
}

std::string TServerConfiguration::GetIcon() const { return Expand(FIniFile->ReadString("INSTALL", "Icon", "")); }

std::string TServerConfiguration::GetInstallRegistry() const {
  std::string key = FIniFile->ReadString("INSTALL", "installregistry", "");
  if (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

std::string TServerConfiguration::GetVersionRegistry() const {
  std::string key = FIniFile->ReadString("INSTALL", "VersionRegistry", "");
  if (key.empty() || key[0] != '\\') key.insert(0, "\\");
  return key;
}

std::string TServerConfiguration::GetDatabaseVersionInfo() const {
  return FIniFile->ReadString("INSTALL", "DatabaseVersionInfo", "");
}
std::string TServerConfiguration::GetVersionInfo() const { return FIniFile->ReadString("INSTALL", "VersionInfo", ""); }
std::string TServerConfiguration::GetUpdateDate() const { return FIniFile->ReadString("INSTALL", "UpdateDate", ""); }
int TServerConfiguration::GetLimitedDay() const { return FIniFile->ReadInteger("INSTALL", "LimitedDay", 90); }
bool TServerConfiguration::GetForceSafetyUpdate() const {
  return FIniFile->ReadBool("INSTALL", "ForceSafetyUpdate", false);
}
bool TServerConfiguration::GetEnableVersionCheck() const {
  return FIniFile->ReadBool("INSTALL", "EnableVersionCheck", true);
}
std::string TServerConfiguration::GetWebViewURL() const {
  return FIniFile->ReadString("INSTALL", "WebViewURL", kDefaultWebViewURL);
}
std::string TServerConfiguration::GetServiceTellNo() const {
  return FIniFile->ReadString("INSTALL", "ServiceTellNo", "");
}
std::string TServerConfiguration::GetLaunchBin() const { return Expand(FIniFile->ReadString("LAUNCH", "Bin", "")); }
std::string TServerConfiguration::GetLaunchParam() const { return FIniFile->ReadString("LAUNCH", "Param", ""); }
std::string TServerConfiguration::GetSelfUpdater() const {
  return Expand(FIniFile->ReadString("LAUNCH", "SelfUpdater", ""));
}

void TServerConfiguration::ReadSectionValueList(const std::string& Section, bool ExpandMacros,
                                                TStrings* List) const {
  ReadIniSectionValues(*FIniFile, Section, ExpandMacros ? ClientConfig.get() : nullptr, List);
}

int TServerConfiguration::LoadFastUpdateList() {
  FFastUpdateItems = std::make_unique<std::vector<TFastUpdateItem>>();
  TStringList lines;
  FIniFile->ReadSectionValues("FASTUPDATE", &lines);
  for (int i = 0; i < lines.Count(); ++i) {
    // A line that names no version cannot name a list either.
    TFastUpdateItem item;
    if (!SplitLine(lines[i], item.Version, item.ListPath)) continue;
    if (!item.ListPath.empty() && item.ListPath[0] == '/') item.ListPath.erase(0, 1);
    FFastUpdateItems->push_back(std::move(item));
  }
  return int(FFastUpdateItems->size());
}

std::unique_ptr<TUpdateFileItem> TServerConfiguration::MakeItem(const std::string& Path,
                                                                const std::vector<std::string>& Fields) const {
  auto item = std::make_unique<TUpdateFileItem>();
  item->LocalPath = Expand(Path);
  item->FileURL = MakeDownloadURL(Path);
  item->MD5 = Fields[0];
  item->FileSize = Fields.size() >= 2 ? StrToInt64(Fields[1]) : kUnknownSize;
  item->DownloadSize = Fields.size() >= 3 ? StrToInt64(Fields[2]) : kUnknownSize;
  return item;
}

bool TServerConfiguration::HasFileSection() const { return FIniFile->SectionExists("FILES"); }

bool TServerConfiguration::Accept(const std::string& Path, size_t Fields, size_t Fewest, size_t Most) {
  std::string why;
  if (Fields < Fewest || Fields > Most) {
    // A line of another shape names no sizes or digest to check the file by.
    why = Format("it has %d value fields, not ", int(Fields)) +
          (Fewest == Most ? IntToStr(int(Most)) : Format("%d to %d", int(Fewest), int(Most)));
  } else if (!ClientConfig || ClientConfig->IsListedPathSafe(Path, why)) {
    return true;
  }
  FRefusedLines.push_back(PrintablePath(Path) + ": " + why);
  return false;
}

int TServerConfiguration::LoadFileList() {
  if (!FFileItems) FFileItems = std::make_unique<FileList>();
  if (!FSelfUpdateItems) FSelfUpdateItems = std::make_unique<FileList>();
  TStringList lines;
  FIniFile->ReadSectionValues("FILES", &lines);
  int last = -1;
  for (int i = 0; i < lines.Count(); ++i) {
    Application->ProcessMessages();
    std::string path, value;
    if (!SplitLine(lines[i], path, value)) continue;
    const std::vector<std::string> fields = SplitFields(value);
    if (!Accept(path, fields.size(), 3, 3)) continue;
    if (IsUpdaterFileName(InstalledFileName(path))) FSelfUpdateItems->push_back(MakeItem(path, fields));
    FFileItems->push_back(MakeItem(path, fields));
    last = int(FFileItems->size()) - 1;
  }
  return last;
}

int TServerConfiguration::AddFileList(TStrings* Lines) {
  if (!FFileItems) FFileItems = std::make_unique<FileList>();
  if (!Lines || Lines->Count() == 0) return -1;
  int last = -1;
  for (int i = 0; i < Lines->Count(); ++i) {
    std::string path, value;
    if (!SplitLine((*Lines)[i], path, value)) continue;
    const std::vector<std::string> fields = SplitFields(value);
    if (!Accept(path, fields.size(), 1, 3)) continue;
    FFileItems->push_back(MakeItem(path, fields));
    last = int(FFileItems->size()) - 1;
  }
  return last;
}

int TServerConfiguration::GetFastUpdateCount() const { return FFastUpdateItems ? int(FFastUpdateItems->size()) : 0; }
int TServerConfiguration::GetFileCount() const { return FFileItems ? int(FFileItems->size()) : 0; }
int TServerConfiguration::GetSelfUpdateCount() const { return FSelfUpdateItems ? int(FSelfUpdateItems->size()) : 0; }

TFastUpdateItem* TServerConfiguration::GetFastUpdateItem(int Index) const {
  if (!FFastUpdateItems || Index < 0 || Index >= GetFastUpdateCount()) return nullptr;
  return &(*FFastUpdateItems)[size_t(Index)];
}

TUpdateFileItem* TServerConfiguration::GetFileItem(int Index) const {
  if (!FFileItems || Index < 0 || Index >= GetFileCount()) return nullptr;
  return (*FFileItems)[size_t(Index)].get();
}

TUpdateFileItem* TServerConfiguration::GetSelfUpdateItem(int Index) const {
  if (!FSelfUpdateItems || Index < 0 || Index >= GetSelfUpdateCount()) return nullptr;
  return (*FSelfUpdateItems)[size_t(Index)].get();
}

int TServerConfiguration::IndexOfFile(const std::string& Name) const {
  if (!FFileItems) return -1;
  for (size_t i = 0; i < FFileItems->size(); ++i)
    if (SameText(NameWithoutCab((*FFileItems)[i]->LocalPath), Name)) return int(i);
  return -1;
}

std::string TServerConfiguration::MakeDownloadURL(const std::string& Path) const {
  const std::string server = ClientConfig ? ClientConfig->GetServerURL() : std::string();
  if (UpperCase(Path).find("%ROOT%") != std::string::npos) {
    std::string rest = StringReplace(Path, "%ROOT%", "", {rfReplaceAll, rfIgnoreCase});
    rest = StringReplace(rest, "\\", "/", {rfReplaceAll});
    if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
    return server + rest;
  }
  return server + ExtractFileName(Path);
}
