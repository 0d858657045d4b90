#include "updater/ClientConfiguration.h"

#include "platform/rtl/registry.h"
#include "platform/rtl/sysutils.h"

std::unique_ptr<TClientConfiguration> ClientConfig;

namespace {

const char kSettingsKey[] = "\\SOFTWARE\\Pelmora\\Orvel";
const char kWindowsKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
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
        case 1: UpdateListName = Trim(value); break;
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
  } catch (const std::exception&) {
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
int TClientConfiguration::GetRestartCount() const { return FIniFile->ReadInteger("INFO", "RestartCount", 10); }

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

std::string TClientConfiguration::ExpandPathMacros(const std::string& Path) const {
  const std::string text = Trim(Path);
  if (text.empty()) return text;
  const std::string upper = UpperCase(text);
  const std::pair<const char*, const std::string*> macros[] = {
      {"%ROOT%", &RootDir},
      {"%WINDOWS%", &WindowsDir},
      {"%SYSTEM%", &SystemDir},
      {"%PROGRAMFILES%", &ProgramFilesDir},
      {"%COMMONFILES%", &CommonFilesDir},
  };
  for (const auto& [macro, folder] : macros)
    if (upper.find(macro) != std::string::npos)
      return StringReplace(text, macro, *folder, {rfReplaceAll, rfIgnoreCase});
  return text;
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
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool TClientConfiguration::WriteVersionRegistry(const std::string& Version, const std::string& DBVersion,
                                                const std::string& VersionRegistry,
                                                const std::string& UpdateDate) {
  try {
    TRegistry reg;
    reg.SetRootKey(VersionRootKey);
    if (reg.OpenKey(VersionKeyPath + VersionRegistry, true)) {
      reg.WriteString("CurVersion", Version);
      reg.WriteString("CurDBVersion", DBVersion);
      reg.WriteString("LastUpdateDate", UpdateDate);
      reg.WriteInteger("UpdateType", UpdateType);
      reg.CloseKey();
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool TClientConfiguration::WriteUpdateType(const std::string& VersionRegistry) {
  try {
    TRegistry reg;
    reg.SetRootKey(VersionRootKey);
    if (reg.OpenKey(VersionKeyPath + VersionRegistry, true)) {
      reg.WriteInteger("UpdateType", UpdateType);
      reg.CloseKey();
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}
