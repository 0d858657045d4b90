#include "tests/support/loader_install.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <regex>
#include <stdexcept>

#include "platform/rtl/registry.h"
#include "tests/support/script_file.h"

namespace fs = std::filesystem;

namespace vxtest {

std::string Md5Hex(const std::string& Data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (!EVP_Digest(Data.data(), Data.size(), digest, &n, EVP_md5(), nullptr)) throw std::runtime_error("MD5 failed");
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < n; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

std::string TodayYmd() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y%m%d", &tm);
  return buf;
}

namespace {

// A key of one installation's registry store, for the test process's own reads and
// writes; by default the installed-version key.
class TInstallRegistry {
 public:
  explicit TInstallRegistry(const std::string& Folder, HKEY Root = HKEY_CURRENT_USER,
                            std::string Key = "\\SOFTWARE\\Pelmora\\E2E\\" +
                                              std::string(LoaderInstall::kVersionRegistry))
      : env_("VX_REGISTRY_DIR", Folder.c_str()), key_(std::move(Key)) {
    reg_.SetRootKey(Root);
  }
  TRegistry& Open(bool Create) {
    opened_ = Create ? reg_.OpenKey(key_, true) : reg_.OpenKeyReadOnly(key_);
    return reg_;
  }
  bool Opened() const { return opened_; }

 private:
  ScopedEnv env_;
  std::string key_;
  TRegistry reg_;
  bool opened_ = false;
};

std::atomic<int> installCount{0};

}  // namespace

LoaderInstall::LoaderInstall(const std::string& LoaderProgram) {
  for (const char* d : {"srv", "app", "bin", "records", "registry", "data", "work"}) fs::create_directories(root_ / d);
  title_ = "E2E" + std::to_string(getpid()) + "_" + std::to_string(installCount++);
  fs::copy_file(LoaderProgram, App("loader"));
  noProxy_ = std::make_unique<NoProxyEnvironment>();
  server_ = std::make_unique<UpdateServer>(Srv());

  const std::string records = root_ / "records";
  WriteScript(App("client.exe"), "printf '%s|%s\\n' \"$PWD\" \"$*\" >> '" + records + "/launched.txt'\n");
  WriteScript(App("hook.exe"), "printf '%s\\n' \"$*\" >> '" + records + "/hook.txt'\nexit 0\n");
  WriteScript(root_ / "bin/regsvr32", "printf '%s\\n' \"$*\" >> '" + records + "/regsvr.txt'\n");
  WriteIni();
}

LoaderInstall::~LoaderInstall() = default;

void LoaderInstall::WriteIni(const std::map<std::string, std::string>& Info, const std::string& Extra) {
  std::vector<std::pair<std::string, std::string>> keys = {
      {"ServerURL", ServerUrl()},
      {"Title", title_},
      {"RestartCount", "1"},
      {"DefaultExeNameWhenUpdateFail", "client.exe"},
      {"DefaultParamWhenUpdateFail", "/Fail"},
  };
  for (const auto& [k, v] : Info) {
    bool found = false;
    for (auto& kv : keys)
      if (kv.first == k) kv.second = v, found = true;
    if (!found) keys.emplace_back(k, v);
  }
  std::string text = "[INFO]\r\n";
  for (const auto& [k, v] : keys)
    if (!v.empty()) text += k + "=" + v + "\r\n";
  WriteFileBytes(App("loader.ini"), text + Extra);
}

void LoaderInstall::ServeTls(const std::string& CertFile, const std::string& KeyFile) {
  server_ = std::make_unique<UpdateServer>(Srv(), CertFile, KeyFile);
  tls_ = true;
  env["SSL_CERT_FILE"] = TestPki::Get().ca_file;
}

std::string LoaderInstall::IniText() const { return ReadFileBytes(App("loader.ini")); }

void LoaderInstall::Serve(const std::string& rel, const std::string& data) const {
  fs::create_directories(fs::path(Srv(rel)).parent_path());
  WriteFileBytes(Srv(rel), data);
}

void LoaderInstall::Install(const std::string& rel, const std::string& data) const {
  fs::create_directories(fs::path(App(rel)).parent_path());
  WriteFileBytes(App(rel), data);
}

std::string LoaderInstall::FileLine(const std::string& Key, const std::string& data) {
  const std::string size = std::to_string(data.size());
  return Key + "=" + Md5Hex(data) + "," + size + "," + size;
}

std::string LoaderInstall::ServeCabinet(const std::string& Key, const std::string& Cabinet, const std::string& Name,
                                        const std::string& Data) const {
  TempFolder pack;
  WriteFileBytes(pack / Name, Data);
  const std::string cab = pack / "packed.cab";
  vxtest::Run({"sh", "-c", "cd \"$0\" && exec gcab -c -z packed.cab \"$1\"", pack.Path(), Name});
  const std::string bytes = ReadFileBytes(cab);
  if (bytes.empty()) throw std::runtime_error("gcab made no cabinet");
  Serve(Cabinet, bytes);
  return Key + "=" + Md5Hex(Data) + "," + std::to_string(Data.size()) + "," + std::to_string(bytes.size());
}

void LoaderInstall::WriteList(const std::string& Text) const { WriteFileBytes(Srv("update.ini"), Text); }

void LoaderInstall::SetInstalledVersion(const std::string& Version, const std::string& Date, int UpdateType) const {
  TInstallRegistry r(root_ / "registry");
  TRegistry& reg = r.Open(true);
  if (!r.Opened()) throw std::runtime_error("cannot open the version key");
  reg.WriteString("CurVersion", Version);
  reg.WriteString("CurDBVersion", "1");
  reg.WriteString("LastUpdateDate", Date);
  if (UpdateType >= 0) reg.WriteInteger("UpdateType", UpdateType);
}

void LoaderInstall::SetProxy(const std::string& Ip, const std::string& Port) const {
  TInstallRegistry r(root_ / "registry", HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Pelmora\\Orvel");
  TRegistry& reg = r.Open(true);
  if (!r.Opened()) throw std::runtime_error("cannot open the proxy key");
  reg.WriteString("ProxyIP", Ip);
  reg.WriteString("ProxyPort", Port);
}

std::string LoaderInstall::InstalledString(const std::string& Name) const {
  TInstallRegistry r(root_ / "registry");
  TRegistry& reg = r.Open(false);
  return r.Opened() ? reg.ReadString(Name) : std::string();
}

Integer LoaderInstall::InstalledInteger(const std::string& Name) const {
  TInstallRegistry r(root_ / "registry");
  TRegistry& reg = r.Open(false);
  return r.Opened() && reg.ValueExists(Name) ? reg.ReadInteger(Name) : -1;
}

RunResult LoaderInstall::Run(const std::vector<std::string>& Params, const std::vector<std::string>& Script,
                             const std::string& Display, double TimeoutSeconds) const {
  std::vector<std::string> argv = prefix;
  argv.push_back(App("loader"));
  argv.insert(argv.end(), Params.begin(), Params.end());
  RunOptions o;
  o.folder = root_ / "work";
  o.timeoutSeconds = TimeoutSeconds;
  o.killAfterSeconds = killAfterSeconds;
  o.env["VX_REGISTRY_DIR"] = root_ / "registry";
  o.env["XDG_DATA_HOME"] = root_ / "data";
  // The one-instance lock file goes with the installation, not into /tmp.
  o.env["XDG_RUNTIME_DIR"] = root_ / "work";
  const char* path = std::getenv("PATH");
  o.env["PATH"] = (root_ / "bin") + ":" + (path ? path : "/usr/bin:/bin");
  if (Display.empty()) {
    o.env["VX_HEADLESS"] = "1";
  } else {
    o.env["DISPLAY"] = Display;
    o.env["VX_HEADLESS"] = "0";
  }
  if (!Script.empty()) {
    std::string text;
    for (const auto& line : Script) text += line + "\n";
    WriteFileBytes(root_ / "script.txt", text);
    o.env["VX_HEADLESS_SCRIPT"] = root_ / "script.txt";
    // A line waits for its window as long as the run may take: a loaded machine is slow,
    // not wrong.
    o.env["VX_HEADLESS_WAIT"] = std::to_string(TimeoutSeconds);
  } else {
    o.env["VX_HEADLESS_SCRIPT"] = "";
  }
  for (const auto& [name, value] : env) o.env[name] = value;
  return RunProgram(argv, o);
}

std::vector<std::string> LoaderInstall::LogMessages() const {
  static const std::regex kLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} \[([\s\S]*)\])");
  const std::string text = ReadFileBytes(App("LoaderLog.log"));
  // An entry may hold line ends of its own: a line that does not start a new entry
  // continues the one before.
  std::vector<std::string> raw;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    static const std::regex kStart(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} \[[\s\S]*)");
    if (raw.empty() || std::regex_match(line, kStart))
      raw.push_back(line);
    else
      raw.back() += "\r\n" + line;
    pos = end + 2;
  }
  std::vector<std::string> out;
  std::smatch m;
  for (const auto& entry : raw)
    out.push_back(std::regex_match(entry, m, kLine) ? m[1].str() : entry);
  return out;
}

bool LoaderInstall::Logged(const std::string& Message) const {
  for (const auto& m : LogMessages())
    if (m == Message) return true;
  return false;
}

size_t LoaderInstall::LoggedContaining(const std::string& Part) const {
  size_t n = 0;
  for (const auto& m : LogMessages()) n += m.find(Part) != std::string::npos;
  return n;
}

std::string LoaderInstall::WaitForRecord(const std::string& name, int TimeoutMs) const {
  std::string text;
  WaitUntil(
      [&] {
        text = ReadFileBytes(Record(name));
        return !text.empty() && text.back() == '\n';
      },
      TimeoutMs);
  return text;
}

}  // namespace vxtest
