#include "platform/rtl/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TempFolder.h"

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { UseFolder(dir_ / "reg"); }
  void TearDown() override {
    unsetenv("VX_REGISTRY_DIR");
    unsetenv("XDG_DATA_HOME");
  }
  void UseFolder(const std::string& folder) {
    setenv("VX_REGISTRY_DIR", folder.c_str(), 1);
    setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
  }
  std::string FileOf(const std::string& root) const { return dir_ / "reg/" + root + ".reg"; }

  TempFolder dir_;
};

ino_t InodeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

TEST_F(RegistryTest, WritesTheEditorTextFormat) {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Pelmora\\Orvel", true));
  reg.WriteString("ProxyIP", "127.0.0.1");
  reg.WriteInteger("Count", 42);
  reg.WriteInteger("Negative", -2);
  reg.WriteString("", "default");
  reg.WriteString("Path", "C:\\Program Files\\\"x\"");
  reg.WriteString("Title", "안전 업데이트");
  const std::string text = ReadFileBytes(FileOf("HKEY_LOCAL_MACHINE"));
  EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n", 0), 0u);
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Orvel]\r\n"
                      "\"ProxyIP\"=\"127.0.0.1\"\r\n"
                      "\"Count\"=dword:0000002a\r\n"
                      "\"Negative\"=dword:fffffffe\r\n"
                      "@=\"default\"\r\n"
                      "\"Path\"=\"C:\\\\Program Files\\\\\\\"x\\\"\"\r\n"
                      "\"Title\"=\"안전 업데이트\"\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora]\r\n"), std::string::npos) << "parents are listed";

  // Another folder holding a copy of the file reads the same values back.
  std::filesystem::create_directories(dir_ / "copy");
  std::filesystem::copy_file(FileOf("HKEY_LOCAL_MACHINE"), dir_ / "copy/HKEY_LOCAL_MACHINE.reg");
  UseFolder(dir_ / "copy");
  TRegistry again;
  again.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(again.OpenKeyReadOnly("\\SOFTWARE\\Pelmora\\Orvel"));
  EXPECT_EQ(again.ReadString("ProxyIP"), "127.0.0.1");
  EXPECT_EQ(again.ReadInteger("Count"), 42);
  EXPECT_EQ(again.ReadInteger("Negative"), -2);
  EXPECT_EQ(again.ReadString(""), "default");
  EXPECT_EQ(again.ReadString("Path"), "C:\\Program Files\\\"x\"");
  EXPECT_EQ(again.ReadString("Title"), "안전 업데이트");
}

TEST_F(RegistryTest, LineBreaksInAValueCannotForgeKeys) {
  const std::string hostile = "x\r\n[HKEY_CURRENT_USER\\Forged]\r\n\"Evil\"=\"1\"\n";
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Test", true));
  reg.WriteString("Note", hostile);
  UseFolder(dir_ / "copy");
  std::filesystem::create_directories(dir_ / "copy");
  std::filesystem::copy_file(FileOf("HKEY_CURRENT_USER"), dir_ / "copy/HKEY_CURRENT_USER.reg");
  TRegistry again;
  EXPECT_FALSE(again.KeyExists("\\Forged"));
  ASSERT_TRUE(again.OpenKey("\\Software\\Test", false));
  EXPECT_EQ(again.ReadString("Note"), hostile);
}

TEST_F(RegistryTest, NamesMatchIgnoringCaseAndKeepTheirFirstSpelling) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Pelmora", true));
  reg.WriteString("ProxyIP", "a");
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\PELMORA\\E2E\\VERSION", true));
  reg.WriteString("CurVersion", "1.2.0");
  ASSERT_TRUE(reg.OpenKey("\\software\\pelmora", false));
  EXPECT_TRUE(reg.ValueExists("PROXYIP"));
  reg.WriteString("proxyip", "b");
  EXPECT_EQ(reg.ReadString("ProxyIp"), "b");
  const std::string text = ReadFileBytes(FileOf("HKEY_CURRENT_USER"));
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Pelmora\\E2E\\VERSION]"), std::string::npos);
  EXPECT_NE(text.find("\"ProxyIP\"=\"b\""), std::string::npos);
  EXPECT_EQ(text.find("SOFTWARE"), std::string::npos);
}

TEST_F(RegistryTest, PathsAreRelativeToTheOpenKeyUnlessTheyStartAtTheRoot) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software", true));
  EXPECT_EQ(reg.CurrentPath(), "Software");
  ASSERT_TRUE(reg.OpenKey("Pelmora\\Orvel", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Pelmora\\Orvel");
  EXPECT_TRUE(reg.KeyExists("\\Software\\Pelmora"));
  EXPECT_FALSE(reg.KeyExists("Pelmora"));  // relative to Orvel
  // A failed open keeps the key that was open.
  EXPECT_FALSE(reg.OpenKey("Missing", false));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Pelmora\\Orvel");
  ASSERT_TRUE(reg.OpenKey("\\Software", false));
  EXPECT_EQ(reg.CurrentPath(), "Software");
  reg.CloseKey();
  EXPECT_EQ(reg.CurrentPath(), "");
  EXPECT_TRUE(reg.KeyExists("Software\\Pelmora\\Orvel"));
  EXPECT_EQ(reg.ReadString("Anything"), "");  // no key open
}

TEST_F(RegistryTest, ReadsFailLikeTheFrameworksRegistryClass) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Test", true));
  reg.WriteString("Text", "12");
  reg.WriteInteger("Number", 12);
  EXPECT_EQ(reg.ReadString("Missing"), "");
  try {
    reg.ReadInteger("Missing");
    FAIL() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Failed to get data for 'Missing'");
  }
  try {
    reg.ReadInteger("Text");
    FAIL() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 'Text'");
  }
  EXPECT_THROW(reg.ReadString("Number"), ERegistryException);
  // Overwriting changes the type.
  reg.WriteString("Number", "now text");
  EXPECT_EQ(reg.ReadString("Number"), "now text");
}

TEST_F(RegistryTest, ReadOnlyKeysAndMissingKeysRefuseWrites) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Test", true));
  reg.WriteString("Kept", "1");
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Test"));
  EXPECT_EQ(reg.ReadString("Kept"), "1");
  try {
    reg.WriteString("Kept", "2");
    FAIL() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Failed to set data for 'Kept'");
  }
  EXPECT_FALSE(reg.DeleteValue("Kept"));
  EXPECT_FALSE(reg.OpenKeyReadOnly("\\Software\\Nope"));
  reg.CloseKey();
  EXPECT_THROW(reg.WriteInteger("X", 1), ERegistryException);
  // A key deleted by someone else cannot be written through a handle that had it open.
  TRegistry other;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Test", false));
  ASSERT_TRUE(other.DeleteKey("\\Software\\Test"));
  EXPECT_THROW(reg.WriteString("Kept", "3"), ERegistryException);
  EXPECT_FALSE(reg.KeyExists("\\Software\\Test"));
}

TEST_F(RegistryTest, DeletingKeysAndValues) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\A\\B\\C", true));
  reg.WriteString("v", "1");
  ASSERT_TRUE(reg.OpenKey("\\Software\\A", false));
  reg.WriteString("w", "2");
  EXPECT_TRUE(reg.DeleteValue("W"));
  EXPECT_FALSE(reg.DeleteValue("w"));
  EXPECT_FALSE(reg.ValueExists("w"));
  EXPECT_TRUE(reg.DeleteKey("b"));  // relative, with everything below it
  EXPECT_FALSE(reg.KeyExists("\\Software\\A\\B\\C"));
  EXPECT_TRUE(reg.KeyExists("\\Software\\A"));
  EXPECT_FALSE(reg.DeleteKey("\\Software\\Nope"));
  EXPECT_FALSE(reg.DeleteKey("\\"));
  EXPECT_EQ(ReadFileBytes(FileOf("HKEY_CURRENT_USER")).find("\\B"), std::string::npos);
}

TEST_F(RegistryTest, ReadsFilesWrittenByOthersAndKeepsWhatItDoesNotUse) {
  std::filesystem::create_directories(dir_ / "reg");
  WriteFileBytes(FileOf("HKEY_CURRENT_USER"),
                "REGEDIT4\n"
                "; a comment\n"
                "\n"
                "[HKEY_CURRENT_USER\\Software\\Mixed]\n"
                "\"Bin\"=hex:01,02,\\\n"
                "  03,04\n"
                "\"Expand\"=hex(2):25,00\n"
                "\"Plain\" = \"spaced\"\n"
                "\"Hex\"=dword:FFFFFFFF\n"
                "\"Cut\"=hex:05, \\\n"
                "[HKEY_LOCAL_MACHINE\\Elsewhere]\n"
                "\"Ignored\"=\"1\"\n"
                "[-HKEY_CURRENT_USER\\Software\\Gone]\n");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Mixed", false));
  EXPECT_EQ(reg.ReadString("Plain"), "spaced");
  EXPECT_EQ(reg.ReadInteger("Hex"), -1);
  EXPECT_TRUE(reg.ValueExists("Bin"));
  EXPECT_THROW(reg.ReadString("Bin"), ERegistryException);
  EXPECT_FALSE(reg.KeyExists("\\Elsewhere"));
  EXPECT_FALSE(reg.KeyExists("\\Software\\Gone"));
  reg.WriteString("New", "n");
  const std::string text = ReadFileBytes(FileOf("HKEY_CURRENT_USER"));
  EXPECT_NE(text.find("\"Bin\"=hex:01,02,03,04\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Expand\"=hex(2):25,00\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Cut\"=hex:05,\r\n"), std::string::npos) << text;
}

TEST_F(RegistryTest, ChangesReplaceTheFileAtomicallyAndOthersSeeThem) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Test", true));
  reg.WriteString("A", "1");
  const std::string file = FileOf("HKEY_CURRENT_USER");
  const ino_t first = InodeOf(file);
  reg.WriteString("B", "2");
  EXPECT_NE(InodeOf(file), first) << "a change is a new file renamed over the old one";
  reg.WriteString("B", "2");  // no change, no rewrite
  const ino_t second = InodeOf(file);
  reg.WriteString("B", "2");
  EXPECT_EQ(InodeOf(file), second);
  for (auto& entry : std::filesystem::directory_iterator(dir_ / "reg"))
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();

  // Someone else replaces the file: the next read sees it.
  WriteFileBytes(file + ".new", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n\"A\"=\"changed\"\r\n");
  std::filesystem::rename(file + ".new", file);
  EXPECT_EQ(reg.ReadString("A"), "changed");
  EXPECT_FALSE(reg.ValueExists("B"));
}

TEST_F(RegistryTest, ConcurrentProcessesLoseNoWrite) {
  constexpr int kProcesses = 4, kEach = 25;
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Shared", true));
  }
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int code = 0;
      try {
        TRegistry reg;
        if (!reg.OpenKey("\\Software\\Shared", false)) _exit(2);
        for (int i = 0; i < kEach; ++i) reg.WriteInteger("p" + std::to_string(p) + "_" + std::to_string(i), i);
      } catch (...) {
        code = 3;
      }
      _exit(code);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Shared", false));
  for (int p = 0; p < kProcesses; ++p)
    for (int i = 0; i < kEach; ++i)
      EXPECT_EQ(reg.ReadInteger("p" + std::to_string(p) + "_" + std::to_string(i)), i);
}

TEST_F(RegistryTest, MachineStoreStartsWithTheSystemFolders) {
  char buf[MAX_PATH];
  const std::string windows = dir_ / "data/vx-windows";
  ASSERT_EQ(GetWindowsDirectory(buf, sizeof buf), windows.size());
  EXPECT_EQ(std::string(buf), windows);
  ASSERT_EQ(GetSystemDirectory(buf, sizeof buf), windows.size() + 9);
  EXPECT_EQ(std::string(buf), windows + "/system32");
  EXPECT_EQ(GetWindowsDirectory(buf, 3), windows.size() + 1);

  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion"));
  EXPECT_EQ(reg.ReadString("ProgramFilesDir"), windows + "/Program Files");
  EXPECT_EQ(reg.ReadString("CommonFilesDir"), windows + "/Program Files/Common Files");
  ASSERT_TRUE(reg.OpenKeyReadOnly("App Paths\\IEXPLORE.EXE"));
  EXPECT_NE(reg.ReadString(""), "");

  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", false));
  reg.WriteString("SystemRoot", "/opt/win");
  ASSERT_EQ(GetWindowsDirectory(buf, sizeof buf), 8u);
  EXPECT_STREQ(buf, "/opt/win");
  // The defaults were written along with the change.
  EXPECT_NE(ReadFileBytes(FileOf("HKEY_LOCAL_MACHINE")).find("\"ProgramFilesDir\""), std::string::npos);
}

TEST_F(RegistryTest, UnknownRootsOpenNothing) {
  TRegistry reg;
  reg.SetRootKey(reinterpret_cast<HKEY>(uintptr_t{0x1234}));
  EXPECT_FALSE(reg.OpenKey("\\Software", true));
  EXPECT_FALSE(reg.KeyExists("\\Software"));
  EXPECT_THROW(reg.WriteString("x", "y"), ERegistryException);
}

// A store file this format cannot read is another program's data: it stays as it is,
// reads find nothing in it, and every change fails with the reason.
TEST_F(RegistryTest, FilesThatDoNotReadAreNeverWrittenOver) {
  const std::string utf16 = std::string("\xFF\xFE", 2) + std::string("R\0E\0G\0E\0D\0I\0T\0004\0\r\0\n\0", 20);
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"UTF-16 with a byte order mark", utf16 + std::string("[\0H\0]\0\r\0\n\0", 10)},
      {"lines ended by CR alone", "REGEDIT4\r\r[HKEY_CURRENT_USER\\Software\\Other]\r\"Keep\"=\"1\"\r"},
      {"no header line", "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"Keep\"=\"1\"\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::create_directories(dir_ / "reg");
    WriteFileBytes(FileOf("HKEY_CURRENT_USER"), c.text);
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists("\\Software\\Other"));
    EXPECT_FALSE(reg.OpenKey("\\Software\\Updater", true));
    EXPECT_NE(reg.LastErrorMsg().find("cannot be read"), std::string::npos) << reg.LastErrorMsg();
    EXPECT_TRUE(ReadFileBytes(FileOf("HKEY_CURRENT_USER")) == c.text);
  }
}

TEST_F(RegistryTest, AStoreThatIsALinkIsWrittenThroughToItsFile) {
  std::filesystem::create_directories(dir_ / "reg");
  std::filesystem::create_directories(dir_ / "shared");
  WriteFileBytes(dir_ / "shared/user.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"Keep\"=\"1\"\r\n");
  std::filesystem::create_symlink("../shared/user.reg", FileOf("HKEY_CURRENT_USER"));
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Updater", true));
  reg.WriteString("CurVersion", "1.2.0");
  EXPECT_TRUE(std::filesystem::is_symlink(FileOf("HKEY_CURRENT_USER")));
  const std::string text = ReadFileBytes(dir_ / "shared/user.reg");
  EXPECT_NE(text.find("\"CurVersion\"=\"1.2.0\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"Keep\"=\"1\""), std::string::npos) << text;
}

TEST_F(RegistryTest, KeyPathsBeyondTheLimitsAreRefusedAndKeptAsTheyStand) {
  std::string deep;
  for (int i = 0; i < 50000; ++i) deep += "\\k";
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey(deep, true));
  EXPECT_NE(reg.LastErrorMsg().find("levels"), std::string::npos) << reg.LastErrorMsg();
  EXPECT_FALSE(reg.OpenKey("\\Software\\" + std::string(kMaxRegistryKeyName + 1, 'n'), true));
  EXPECT_FALSE(std::filesystem::exists(FileOf("HKEY_CURRENT_USER")));

  // The deepest key allowed is written and read back.
  std::string allowed;
  for (size_t i = 0; i < kMaxRegistryKeyDepth; ++i) allowed += "\\d";
  ASSERT_TRUE(reg.OpenKey(allowed, true)) << reg.LastErrorMsg();
  reg.WriteString("At", "bottom");
  ASSERT_TRUE(reg.OpenKeyReadOnly(allowed));
  EXPECT_EQ(reg.ReadString("At"), "bottom");

  // A section too deep for the store, written by someone else, loads without harm and
  // survives a change to the rest.
  const std::string section = "[HKEY_CURRENT_USER" + deep + "]\r\n\"Deep\"=\"1\"\r\n";
  WriteFileBytes(FileOf("HKEY_CURRENT_USER"), "REGEDIT4\r\n\r\n" + section);
  ASSERT_TRUE(reg.OpenKey("\\Software\\Updater", true));
  reg.WriteString("CurVersion", "1.2.0");
  const std::string text = ReadFileBytes(FileOf("HKEY_CURRENT_USER"));
  EXPECT_NE(text.find(section), std::string::npos);
  EXPECT_NE(text.find("\"CurVersion\"=\"1.2.0\""), std::string::npos);
}

TEST_F(RegistryTest, ManySiblingsAreFoundIgnoringCaseAfterChanges) {
  std::filesystem::create_directories(dir_ / "reg");
  std::string text = "REGEDIT4\r\n\r\n";
  for (int i = 0; i < 1000; ++i)
    text += "[HKEY_CURRENT_USER\\Software\\Bulk\\Key" + std::to_string(i) + "]\r\n\"V\"=\"" + std::to_string(i) +
            "\"\r\n\r\n";
  WriteFileBytes(FileOf("HKEY_CURRENT_USER"), text);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\BULK\\KEY999"));
  EXPECT_EQ(reg.ReadString("v"), "999");
  reg.CloseKey();
  ASSERT_TRUE(reg.DeleteKey("\\Software\\Bulk\\key500"));
  EXPECT_FALSE(reg.KeyExists("\\Software\\Bulk\\Key500"));
  ASSERT_TRUE(reg.OpenKey("\\Software\\Bulk\\KEY1000", true));
  for (int i = 0; i < 40; ++i) reg.WriteInteger("n" + std::to_string(i), i);
  reg.DeleteValue("N7");
  EXPECT_FALSE(reg.ValueExists("n7"));
  EXPECT_EQ(reg.ReadInteger("N39"), 39);
  EXPECT_TRUE(reg.KeyExists("\\Software\\Bulk\\Key1000"));
  EXPECT_TRUE(reg.KeyExists("\\Software\\Bulk\\key0"));
}
