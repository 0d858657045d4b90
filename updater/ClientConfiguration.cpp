#include "updater/ClientConfiguration.h"

#include <algorithm>
#include <functional>

#include "platform/rtl/registry.h"
#include "platform/rtl/sysutils.h"

std::unique_ptr<TClientConfiguration> ClientConfig;

namespace {

const char kSettingsKey[] = "\\SOFTWARE\\Pelmora\\Orvel";
const char kWindowsKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr int kDefaultRestartCount = 10;
constexpr int kMaxRestartCount = 100;
constexpr int kDefaultBarColor = 12760967;     // 0xC2B787
constexpr int kDefaultBorderColor = 11316884;  // 0xACAE94

// Reads string values of a key opened read-only; missing keys and values read empty.
// A value of another type reads as empty too.
std::string ReadRegistryText(HKEY root, const char* key, const char* name) {
  try {
    TRegistry reg;
    reg.SetRootKey(root);
    if (!reg.OpenKeyReadOnly(key)) return "";
    return reg.ReadString(name);
  } catch (const ERegistryException&) {
    return "";
  }
}

std::string SystemFolder(UINT (*get)(char*, UINT)) {
  char buf[MAX_PATH + 1] = {};
  const UINT n = get(buf, MAX_PATH);
  return n > 0 && n <= MAX_PATH ? std::string(buf, n) : std::string();
}

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

bool IsPrintable(const std::string& Path, std::string& Why) {
  for (unsigned char c : Path)
    if (c < 0x20 || c == 0x7F) {
      Why = "it holds a control character";
      return false;
    }
  return true;
}

// Whether a relative path stays inside its folder (Where names it): no name of ".."
// climbs above it, and no control character stands in it.
bool StaysInside(const std::string& Path, const std::string& Where, std::string& Why) {
  if (!IsPrintable(Path, Why)) return false;
  int depth = 0;
  size_t start = 0;
  while (start <= Path.size()) {
    size_t end = start;
    while (end < Path.size() && !IsDelimiter(Path[end])) ++end;
    const std::string name = Path.substr(start, end - start);
    if (name == "..") {
      if (--depth < 0) {
        Why = "it climbs out of " + Where;
        return false;
      }
    } else if (!name.empty() && name != ".") {
      ++depth;
    }
    start = end + 1;
  }
  return true;
}

bool IsAbsolutePath(const std::string& Path) {
  return (!Path.empty() && IsDelimiter(Path[0])) || (Path.size() >= 2 && Path[1] == ':');
}

// Every two-character escape of Letter ("\n" or "\N") becomes Replacement.
std::string ReplaceEscape(const std::string& s, char Letter, char Replacement) {
  return StringReplace(s, std::string("\\") + Letter, std::string(1, Replacement),
                       {rfReplaceAll, rfIgnoreCase});
}

}  // namespace

TClientConfiguration::TClientConfiguration() : TClientConfiguration(ParamStr(0)) {}

TClientConfiguration::TClientConfiguration(const std::string& AExeName) {
  const std::string exe = AExeName;
  FIniFile = std::make_unique<TMemIniFile>(ChangeFileExt(exe, ".ini"));
  const std::string folder = ExtractFilePath(exe);
  RootDir = ExcludeTrailingPathDelimiter(folder);
  TempDir = folder + "_Temp";
  UpdateListName = "update.ini";
  BitmapFile = folder + "updater.bmp";
  ExeName = exe;
  ExeIniName = ChangeFileExt(exe, ".INI");
  UpdateType = 2;
  DebugMode = LowerCase(ReadRegistryText(HKEY_LOCAL_MACHINE, kSettingsKey, "Debug")) == "debug";
  VersionRootKey = HKEY_LOCAL_MACHINE;
  ProxyIP = Trim(ReadRegistryText(HKEY_LOCAL_MACHINE, kSettingsKey, "ProxyIP"));
  ProxyPort = Trim(ReadRegistryText(HKEY_LOCAL_MACHINE, kSettingsKey, "ProxyPort"));
  if (ProxyPort.empty()) ProxyPort = "80";
  WindowsDir = SystemFolder(&GetWindowsDirectory);
  SystemDir = SystemFolder(&GetSystemDirectory);
  ProgramFilesDir = ReadRegistryText(HKEY_LOCAL_MACHINE, kWindowsKey, "ProgramFilesDir");
  CommonFilesDir = ReadRegistryText(HKEY_LOCAL_MACHINE, kWindowsKey, "CommonFilesDir");
  FNoUpdateFiles = std::make_unique<TStringList>();
  if (FIniFile->SectionExists("NoUpdateFiles"))
    ReadSectionValueList("NoUpdateFiles", true, FNoUpdateFiles.get());
}

TClientConfiguration::~TClientConfiguration() = default;

bool TClientConfiguration::ParseCommandLine() {
  std::vector<std::string> params;
  for (int i = 1; i <= ParamCount(); ++i) params.push_back(ParamStr(i));
  return ParseCommandLine(params);
}

bool TClientConfiguration::ParseCommandLine(const std::vector<std::string>& Params) {
  // Each switch is found anywhere in the upper-cased parameter; its value is cut
  // from the parameter in its own case right after the switch's length, wherever
  // the switch stood.
  static const char* const kSwitches[] = {"-I:", "-LF:", "-RUN:", "-B:", "-ISRUN:", "-SYNC:", "-FU", "-SM:"};
  try {
    for (const std::string& param : Params) {
      const std::string upper = UpperCase(param);
      int which = -1;
      for (int i = 0; i < int(std::size(kSwitches)); ++i)
        if (upper.find(kSwitches[i]) != std::string::npos) {
          which = i;
          break;
        }
      if (which < 0) continue;
      const size_t len = std::char_traits<char>::length(kSwitches[which]);
      const std::string value = param.size() > len ? param.substr(len) : std::string();
      switch (which) {
        case 0: BitmapFile = value; break;
        case 1: {
          // The list is written into the program folder under this name.
          UpdateListName = Trim(value);
          std::string why = IsAbsolutePath(UpdateListName) ? "it is an absolute path" : "";
          if (why.empty() && StaysInside(UpdateListName, "the program folder", why)) break;
          throw Exception("-LF:" + UpdateListName + " is refused: " + why);
          break;
        }
        case 2: RunExeName = value; break;
        case 3:
          // "-B:/u:kim" appends ' /u:"KIM"': the first three characters as given,
          // the rest upper-cased in double quotes.
          BizParams += " " + value.substr(0, 3) + "\"" + UpperCase(value.size() > 3 ? value.substr(3) : "") + "\"";
          break;
        case 4: IsRunCheckFile = value; break;
        case 5: SyncValue = value; break;
        case 6: FUMode = true; break;
        case 7: SMMode = UpperCase(value) == "TRUE"; break;
      }
    }
    return true;
  } catch (const std::exception& e) {
    CommandLineError = e.what();
    return false;
  }
}

std::string TClientConfiguration::ReadInfo(const char* Key) const {
  return FIniFile->ReadString("INFO", Key, "");
}

std::string TClientConfiguration::GetServerURL() const {
  std::string url = ReadInfo("ServerURL");
  if (!url.empty() && url.back() != '/') url += '/';
  return url;
}

std::string TClientConfiguration::GetTitle() const { return ReadInfo("Title"); }
std::string TClientConfiguration::GetIconPath() const { return ReadInfo("IconPath"); }

std::string TClientConfiguration::GetProductRES() const {
  const std::string code = Trim(ReadInfo("ProductRES"));
  const std::string upper = UpperCase(code);
  if (upper == "TAVO" || upper == "MIRU" || upper == "KELD" || upper == "ENG") return code;
  return "";
}

std::string TClientConfiguration::GetProductAdminRES() const { return ReadInfo("ProductAdminRES"); }
std::string TClientConfiguration::GetProductLanguage() const { return ReadInfo("ProductLanguage"); }
int TClientConfiguration::GetSocketType() const { return FIniFile->ReadInteger("INFO", "SocketType", 0); }
int TClientConfiguration::GetRestartCount() const {
  const int count = FIniFile->ReadInteger("INFO", "RestartCount", kDefaultRestartCount);
  // Fewer than one attempt would never come to the question, so a run against a dead
  // server would never end; neither would one of too many.
  if (count < 1) return kDefaultRestartCount;
  return std::min(count, kMaxRestartCount);
}

std::string TClientConfiguration::GetDefaultExeNameWhenUpdateFail() const {
  return UpperCase(ReadInfo("DefaultExeNameWhenUpdateFail"));
}

std::string TClientConfiguration::GetDefaultParamWhenUpdateFail() const {
  return ReadInfo("DefaultParamWhenUpdateFail");
}

bool TClientConfiguration::GetIsRunWhenUpdateFail() const {
  return FIniFile->ReadBool("INFO", "IsRunWhenUpdateFail", true);
}

std::string TClientConfiguration::GetSafetyUpdateQuestion() const {
  return ReplaceEscape(ReplaceEscape(ReadInfo("SafetyUpdateQuestion"), 'n', '\r'), 't', '\t');
}

std::string TClientConfiguration::GetFastUpdateQuestion() const {
  return ReplaceEscape(ReplaceEscape(ReadInfo("FastUpdateQuestion"), 'n', '\r'), 't', '\t');
}

int TClientConfiguration::ReadColor(const char* Key, const char* OldKey, int Default) const {
  const char* key = FIniFile->ValueExists("DESIGN", Key) ? Key : OldKey;
  return FIniFile->ReadInteger("DESIGN", key, Default);
}

int TClientConfiguration::GetTotalProgressBarBarColor() const {
  return ReadColor("TotalProgressBarBarColor", "ProgressBar1_BarColor", kDefaultBarColor);
}
int TClientConfiguration::GetTotalProgressBarBorderColor() const {
  return ReadColor("TotalProgressBarBorderColor", "ProgressBar1_BorderColor", kDefaultBorderColor);
}
int TClientConfiguration::GetDiscreteProgressBarBarColor() const {
  return ReadColor("DiscreteProgressBarBarColor", "ProgressBar2_BarColor", kDefaultBarColor);
}
int TClientConfiguration::GetDiscreteProgressBarBorderColor() const {
  return ReadColor("DiscreteProgressBarBorderColor", "ProgressBar2_BorderColor", kDefaultBorderColor);
}
int TClientConfiguration::GetUpdateTypeTop() const { return FIniFile->ReadInteger("DESIGN", "UpdateTypeTop", 209); }
int TClientConfiguration::GetUpdateTypeLeft() const { return FIniFile->ReadInteger("DESIGN", "UpdateTypeLeft", 29); }
std::string TClientConfiguration::GetWindowBorderStyle() const {
  return FIniFile->ReadString("DESIGN", "WindowBorderStyle", "");
}

std::string TClientConfiguration::GetRunExeName() const {
  if (!RunExeName.empty()) return RunExeName;
  return IncludeTrailingPathDelimiter(RootDir) + GetDefaultExeNameWhenUpdateFail();
}

std::pair<const char*, const std::string*> TClientConfiguration::MacroIn(const std::string& Upper) const {
  const std::pair<const char*, const std::string*> macros[] = {
      {"%ROOT%", &RootDir},
      {"%WINDOWS%", &WindowsDir},
      {"%SYSTEM%", &SystemDir},
      {"%PROGRAMFILES%", &ProgramFilesDir},
      {"%COMMONFILES%", &CommonFilesDir},
  };
  for (const auto& m : macros)
    if (Upper.find(m.first) != std::string::npos) return m;
  return {nullptr, nullptr};
}

std::string TClientConfiguration::ExpandPathMacros(const std::string& Path) const {
  const std::string text = Trim(Path);
  if (text.empty()) return text;
  const auto [macro, folder] = MacroIn(UpperCase(text));
  return macro ? StringReplace(text, macro, *folder, {rfReplaceAll, rfIgnoreCase}) : text;
}

bool TClientConfiguration::IsListedPathSafe(const std::string& Path, std::string& Why) const {
  // The name is checked as it is given, which is how it is written.
  const std::string& text = Path;
  if (!IsPrintable(text, Why)) return false;
  if (Trim(text) != text) {
    Why = "it begins or ends with a blank";
    return false;
  }
  const std::string upper = UpperCase(text);
  if (const auto [macro, folder] = MacroIn(upper); macro) {
    // The macro that ExpandPathMacros replaces, wherever it stands.
    const size_t at = upper.find(macro);
    const size_t length = std::char_traits<char>::length(macro);
    if (at != 0 || upper.find(macro, length) != std::string::npos) {
      Why = std::string(macro) + " stands elsewhere than at the start";
      return false;
    }
    if (folder->empty()) {
      Why = std::string(macro) + " names no folder";
      return false;
    }
    const std::string rest = text.substr(length);
    if (!rest.empty() && !IsDelimiter(rest[0])) {
      Why = "the name goes on right after " + std::string(macro);
      return false;
    }
    return StaysInside(rest, macro, Why);
  }
  if (IsAbsolutePath(text)) {
    Why = "it is an absolute path";
    return false;
  }
  return StaysInside(text, "the program folder", Why);
}

std::string PrintablePath(const std::string& Path) {
  std::string shown = Path;
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return shown;
}

void ReadIniSectionValues(const TCustomIniFile& Ini, const std::string& Section,
                          const TClientConfiguration* Expander, TStrings* List) {
  TStringList lines;
  Ini.ReadSectionValues(Section, &lines);
  List->BeginUpdate();
  List->Clear();
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string value = lines.ValueFromIndex(i);
    List->Add(Expander ? Expander->ExpandPathMacros(value) : value);
  }
  List->EndUpdate();
}

void TClientConfiguration::ReadSectionValueList(const std::string& Section, bool Expand,
                                                TStrings* List) const {
  ReadIniSectionValues(*FIniFile, Section, Expand ? this : nullptr, List);
}

bool TClientConfiguration::ReadVersionRegistry(const std::string& InstallRegistry,
                                               const std::string& VersionRegistry) {
  try {
    const std::string path = UpperCase(InstallRegistry);
    const size_t slash = path.find('\\');
    const std::string root = path.substr(0, slash);
    static const std::pair<const char*, HKEY> kRoots[] = {
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_USERS", HKEY_USERS},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    for (const auto& [name, key] : kRoots)
      if (root == name) VersionRootKey = key;
    VersionKeyPath = "\\" + (slash == std::string::npos ? std::string() : path.substr(slash + 1));

    TRegistry reg;
    reg.SetRootKey(VersionRootKey);
    RegistryError.clear();
    if (reg.OpenKey(VersionKeyPath + VersionRegistry, true)) {
      auto text = [&](const char* name) {
        try {
          return reg.ReadString(name);
        } catch (const ERegistryException&) {
          return std::string();  // a value of another type counts as missing
        }
      };
      CurVersion = text("CurVersion");
      CurDBVersion = text("CurDBVersion");
      LastUpdateDate = text("LastUpdateDate");
      UpdateType = 2;
      try {
        const int type = reg.ValueExists("UpdateType") ? reg.ReadInteger("UpdateType") : 2;
        if (type == 0 || type == 1) UpdateType = uint8_t(type);
      } catch (const ERegistryException&) {
        // a value of another type counts as missing
      }
      reg.CloseKey();
    } else {
      RegistryError = reg.LastErrorMsg();
    }
    return true;
  } catch (const std::exception& e) {
    RegistryError = e.what();
    return false;
  }
}

bool TClientConfiguration::WriteVersionRegistry(const std::string& Version, const std::string& DBVersion,
                                                const std::string& VersionRegistry,
                                                const std::string& UpdateDate) {
  return WriteVersionValues(VersionRegistry, [&](TRegistry& reg) {
    reg.WriteString("CurVersion", Version);
    reg.WriteString("CurDBVersion", DBVersion);
    reg.WriteString("LastUpdateDate", UpdateDate);
    reg.WriteInteger("UpdateType", UpdateType);
  });
}

bool TClientConfiguration::WriteUpdateType(const std::string& VersionRegistry) {
  return WriteVersionValues(VersionRegistry, [&](TRegistry& reg) { reg.WriteInteger("UpdateType", UpdateType); });
}

bool TClientConfiguration::WriteVersionValues(const std::string& VersionRegistry,
                                              const std::function<void(TRegistry&)>& Write) {
  // A key that cannot be opened, or a value that cannot be written (a full disk, a
  // store that is read-only or does not read), is a failure with its reason.
  TRegistry reg;
  reg.SetRootKey(VersionRootKey);
  RegistryError.clear();
  try {
    if (!reg.OpenKey(VersionKeyPath + VersionRegistry, true)) {
      RegistryError = reg.LastErrorMsg();
      return false;
    }
    Write(reg);
    reg.CloseKey();
    return true;
  } catch (const std::exception& e) {
    RegistryError = reg.LastErrorMsg().empty() ? std::string(e.what()) : reg.LastErrorMsg();
    return false;
  }
}
