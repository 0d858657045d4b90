// The cabinet reader against cabinets made by gcab and checked with cabextract,
// against cabinet sets made by the test writer, and against hostile names.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <filesystem>

#include "platform/rtl/sysutils.h"
#include "tests/support/TempFolder.h"
#include "tests/support/cabinet_fixtures.h"
#include "tests/support/loopback.h"
#include "updater/CabSTComps.h"

using namespace cabtest;

namespace {

time_t LocalTime(int y, int mo, int d, int h, int mi, int s) {
  std::tm t{};
  t.tm_year = y - 1900, t.tm_mon = mo - 1, t.tm_mday = d, t.tm_hour = h, t.tm_min = mi, t.tm_sec = s;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

void SetMTime(const std::string& path, time_t when) {
  const timespec ts[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), ts, 0), 0);
}

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st;
}

// No half-written files anywhere below the folder.
bool HasPartFiles(const std::string& dir) {
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
    if (e.path().string().ends_with(".cab-part")) return true;
  return false;
}

// A source tree of many files in nested folders, with fixed even-second times.
std::vector<std::string> MakeTree(const std::string& root) {
  std::vector<std::string> names;
  for (int i = 0; i < 48; ++i) {
    std::string folder = i % 3 == 0 ? "" : i % 3 == 1 ? "bin/" : "data/deep/er/";
    std::string name = folder + "file" + std::to_string(i) + (i % 2 ? ".dll" : ".txt");
    size_t size = i == 0 ? 0 : i == 5 ? 300000 : size_t(i) * 997 % 70000;
    WriteFile(root + "/" + name, TestBytes(size, uint32_t(i), i % 4 != 1));
    SetMTime(root + "/" + name, LocalTime(2020 + i % 5, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (i * 2) % 60));
    names.push_back(name);
  }
  return names;
}

std::string MakeGcabCabinet(const TempFolder& dir, bool mszip, std::vector<std::string>* names = nullptr) {
  const std::string src = dir / "src";
  std::vector<std::string> files = MakeTree(src);
  std::string cab = dir / (mszip ? "tree-zip.cab" : "tree.cab");
  std::vector<std::string> argv = {"env", "-C", src, "gcab", "-c"};
  if (mszip) argv.push_back("-z");
  argv.push_back(cab);
  argv.insert(argv.end(), files.begin(), files.end());
  vxtest::Run(argv);
  if (names) *names = files;
  return cab;
}

void ExpectError(const std::function<void()>& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no error, expected: " << message;
  } catch (const ESTCabinet& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

TEST(CabReaderTest, ExtractsLikeTheReferenceToolsWithTimesAndFolders) {
  for (bool mszip : {false, true}) {
    SCOPED_TRACE(mszip ? "MSZIP" : "stored");
    TempFolder dir;
    std::vector<std::string> names;
    const std::string cab = MakeGcabCabinet(dir, mszip, &names);
    vxtest::Run({"cabextract", "-q", "-d", dir / "ref", cab});
    ASSERT_TRUE(ExtractCabinet(cab, dir / "out"));
    const auto ours = ReadTree(dir / "out");
    EXPECT_EQ(ours.size(), names.size());
    EXPECT_TRUE(ours == ReadTree(dir / "ref"));
    EXPECT_TRUE(ours == ReadTree(dir / "src"));
    for (const std::string& name : names) {
      EXPECT_EQ(StatOf(dir / ("out/" + name)).st_mtime, StatOf(dir / ("src/" + name)).st_mtime) << name;
      EXPECT_EQ(StatOf(dir / ("out/" + name)).st_mode & 0200, 0200u) << name;
    }
    EXPECT_FALSE(HasPartFiles(dir.Path()));
  }
}

TEST(CabReaderTest, AttributesExecFlagAndEvents) {
  TempFolder dir;
  Entry ro{"ro.txt", "read only"};
  ro.attribs = 0x21;
  Entry run{"tools\\setup.sh", "#!/bin/sh\n"};
  run.attribs = 0x20 | _A_EXEC;
  Entry skip{"skip.txt", "not wanted"};
  Entry moved{"moved.txt", "elsewhere"};
  WriteCabinetSet(dir.Path(), {"a.cab"}, {ro, run, skip, moved}, {.typeCompress = 1});

  TSTCabReader reader(nullptr);
  std::vector<std::string> closed;
  bool exec = false;
  Word setID = 0;
  reader.SetOnCabinetInfo(TSTCabReaderCabinetInfoEvent::FromFunction(
      [&](TObject*, const std::string&, const std::string&, const std::string&, Word id, Word, bool&) { setID = id; }));
  reader.SetOnCopyFile(TSTCabReaderCopyFileEvent::FromFunction(
      [&](TObject*, const std::string& src, Cardinal, Word, Word, Word, Word, std::string& dst, bool&) {
        if (src == "skip.txt") dst.clear();
        if (src == "moved.txt") dst = dir / "other\\moved.txt";
      }));
  reader.SetOnCloseFile(TSTCabReaderCloseFileEvent::FromFunction(
      [&](TObject*, const std::string& src, Word, Word, Word attrs, Word, bool& anExec, const std::string& dst,
          bool&) {
        closed.push_back(src + "|" + dst);
        if (src == "tools\\setup.sh") exec = anExec && !(attrs & _A_EXEC);
      }));
  reader.Extract(dir / "a.cab", dir / "out");

  EXPECT_EQ(setID, 0x2468);
  EXPECT_TRUE(exec);
  EXPECT_EQ(closed, (std::vector<std::string>{"ro.txt|" + dir.Path() + "/out/ro.txt",
                                              "tools\\setup.sh|" + dir.Path() + "/out/tools\\setup.sh",
                                              "moved.txt|" + dir.Path() + "/other\\moved.txt"}));
  EXPECT_EQ(StatOf(dir / "out/ro.txt").st_mode & 0222, 0u);
  EXPECT_EQ(StatOf(dir / "out/ro.txt").st_mtime, LocalTime(2021, 3, 4, 5, 6, 8));
  EXPECT_EQ(ReadFileBytes(dir / "out/tools/setup.sh"), "#!/bin/sh\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "out/skip.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "other/moved.txt"), "elsewhere");

  // Aborting from an event fails the extraction.
  reader.SetOnCopyFile(TSTCabReaderCopyFileEvent::FromFunction(
      [&](TObject*, const std::string&, Cardinal, Word, Word, Word, Word, std::string&, bool& abort) { abort = true; }));
  ExpectError([&] { reader.Extract(dir / "a.cab", dir / "out2"); }, "FDI aborted [0x000B]");
}

TEST(CabReaderTest, ExistingFilesAreReplacedWhole) {
  TempFolder dir;
  WriteCabinetSet(dir.Path(), {"a.cab"}, {{"short.txt", "new"}, {"ro.txt", "fresh"}}, {.typeCompress = 1});
  WriteFile(dir / "out/short.txt", "an old and much longer text");
  WriteFile(dir / "out/ro.txt", "old");
  chmod((dir / "out/ro.txt").c_str(), 0444);

  TSTCabReader reader(nullptr);
  reader.SetOptions({croDontOverwriteReadOnlyFiles});
  reader.Extract(dir / "a.cab", dir / "out");
  EXPECT_EQ(ReadFileBytes(dir / "out/short.txt"), "new");
  EXPECT_EQ(ReadFileBytes(dir / "out/ro.txt"), "old");

  reader.SetOptions({});
  reader.Extract(dir / "a.cab", dir / "out");
  EXPECT_EQ(ReadFileBytes(dir / "out/ro.txt"), "fresh");
  EXPECT_EQ(StatOf(dir / "out/ro.txt").st_mode & 0200, 0200u);
}

TEST(CabReaderTest, ReplacementsAreWrittenThroughTheDescriptorThatMadeThem) {
  TempFolder dir;
  WriteCabinetSet(dir.Path(), {"a.cab"}, {{"t.txt", "new"}}, {});
  WriteFile(dir / "out/t.txt", "old");
  const std::function<bool()> replacements[] = {[&] { return ExtractCabinet(dir / "a.cab", dir / "out"); },
      [&] { return CopyFile(dir / "a.cab", dir / "out/t.txt", false); }, [&] { return ReplaceFileContents(dir / "out/t.txt", "x"); }};
  for (const auto& replace : replacements) {
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(watch, (dir / "out").c_str(), IN_OPEN | IN_MODIFY | IN_ATTRIB | IN_CLOSE);
    EXPECT_TRUE(replace());
    std::string seen;  // of the scratch file, as inotify tells it: Opened, Modified, Attributes, Closed
    alignas(inotify_event) char events[1 << 16];
    const ssize_t n = read(watch, events, sizeof events);
    for (ssize_t at = 0; at < n; at += ssize_t(sizeof(inotify_event)) + reinterpret_cast<inotify_event*>(events + at)->len)
      if (const auto* e = reinterpret_cast<inotify_event*>(events + at); e->len && std::string_view(e->name).find('~') != std::string_view::npos)
        seen += e->mask & IN_OPEN ? 'O' : e->mask & IN_MODIFY ? 'M' : e->mask & IN_ATTRIB ? 'A' : 'C';
    close(watch);
    EXPECT_EQ(seen, "OMAC");
  }
}

TEST(CabReaderTest, CorruptCabinetKeepsTheInstalledFile) {
  TempFolder dir;
  const std::string cab = MakeGcabCabinet(dir, true);
  std::string bytes = ReadFileBytes(cab);
  const size_t firstData = size_t(uint8_t(bytes[36])) | size_t(uint8_t(bytes[37])) << 8;
  // file0 is empty; file1 begins the data.
  bytes[firstData + 8 + 40] ^= 0x20;
  WriteFile(cab, bytes);
  WriteFile(dir / "out/bin/file1.dll", "installed");

  ExpectError([&] { TSTCabReader(nullptr).Extract(cab, dir / "out"); }, "Cabinet file is corrupt [0x0004]");
  EXPECT_FALSE(ExtractCabinet(cab, dir / "out"));
  EXPECT_EQ(ReadFileBytes(dir / "out/bin/file1.dll"), "installed");
  EXPECT_FALSE(HasPartFiles(dir.Path()));

  WriteFile(cab, bytes.substr(0, bytes.size() / 2));
  ExpectError([&] { TSTCabReader(nullptr).Extract(cab, dir / "out"); }, "Cabinet file is corrupt [0x0004]");
  WriteFile(cab, "MSCF");
  ExpectError([&] { TSTCabReader(nullptr).Extract(cab, dir / "out"); }, "Cabinet file is corrupt [0x0004]");
  WriteFile(cab, "<!DOCTYPE html>");
  ExpectError([&] { TSTCabReader(nullptr).Extract(cab, dir / "out"); },
              "Cabinet file does not have the correct format [0x0002]");
  ExpectError([&] { TSTCabReader(nullptr).Extract(dir / "none.cab", dir / "out"); },
              "Cabinet not found [0x0001].\r\nNo such file or directory [0x0002].");
}

std::vector<Entry> SetEntries() {
  return {{"first.txt", TestBytes(5000, 11, true)},
          {"big\\spanning.bin", TestBytes(300000, 12, false)},
          {"big\\tail.txt", TestBytes(90000, 13, true)},
          {"last.txt", TestBytes(100, 14, true)}};
}

TEST(CabReaderTest, CabinetSetsExtractInFull) {
  for (uint16_t type : {0, 1}) {
    SCOPED_TRACE(type);
    TempFolder dir;
    const auto entries = SetEntries();
    auto cabs = WriteCabinetSet(dir.Path(), {"set1.cab", "set2.cab", "set3.cab", "set4.cab"}, entries,
                                {.typeCompress = type, .blocksPerCabinet = 4});
    ASSERT_EQ(cabs.size(), 3u);
    vxtest::Run({"cabextract", "-q", "-d", dir / "ref", cabs[0]});
    TSTCabReader reader(nullptr);
    reader.Extract(cabs[0], dir / "out");
    const auto ours = ReadTree(dir / "out");
    ASSERT_EQ(ours.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      std::string name = entries[i].name;
      std::replace(name.begin(), name.end(), '\\', '/');
      auto it = std::find_if(ours.begin(), ours.end(), [&](const auto& f) { return f.first == name; });
      ASSERT_NE(it, ours.end()) << name;
      EXPECT_TRUE(it->second == entries[i].data) << name;
    }
    EXPECT_TRUE(ours == ReadTree(dir / "ref"));

    // Started on a later cabinet, its files are only reported as partial: they
    // are copied from the cabinet where they start.
    int partial = 0;
    reader.SetOnCopyPartialFile(TSTCabReaderCopyPartialFileEvent::FromFunction(
        [&](TObject*, const std::string&, const std::string&, const std::string&, const std::string&, bool&) {
          ++partial;
        }));
    reader.Extract(cabs[1], dir / "second");
    EXPECT_EQ(partial, 6);  // the three files not complete before each of them
    EXPECT_FALSE(std::filesystem::exists(dir / "second"));
  }
}

// The digest made while a file is written is that of the file as it lies there
// afterwards: also for a file spread over the cabinets of a set, for a name written
// twice, and for a destination named in other capitals or with ".exe" added; none
// for a name that no entry writes or a file replaced since.
TEST(CabReaderTest, WrittenDigestIsThatOfTheFileLeft) {
  const std::vector<Entry> twice = {{"app.dll", TestBytes(70000, 21, true)}, {"APP.DLL", TestBytes(3000, 22, true)}};
  struct {
    std::vector<Entry> entries;
    uint16_t type;
    std::string digested;  // below the destination folder
    bool made;
  } cases[] = {
      {SetEntries(), 0, "big\\spanning.bin", true}, {SetEntries(), 1, "BIG/Spanning.bin", true},
      {SetEntries(), 1, "last.txt", true},           {twice, 1, "app.dll", true},
      {twice, 0, "app.dll.exe", true},                {SetEntries(), 1, "none.txt", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.digested);
    TempFolder dir;
    auto cabs = WriteCabinetSet(dir.Path(), {"s1.cab", "s2.cab", "s3.cab", "s4.cab"}, c.entries,
                                {.typeCompress = c.type, .blocksPerCabinet = 4});
    TCabDigest digest{c.digested};
    ASSERT_TRUE(ExtractCabinet(cabs[0], dir / "out", nullptr, nullptr, &digest));
    ASSERT_EQ(digest.Made, c.made);
    if (!c.made) continue;
    MD5Digest file{};
    ASSERT_TRUE(MD5DigestFile(dir.Path() + "/out/" + c.digested, file));
    EXPECT_EQ(digest.Digest, file);

    TSTCabReader reader(nullptr);
    reader.SetDigestFileName(dir.Path() + "/out/" + c.digested);
    reader.Extract(cabs[0], dir / "out");
    ASSERT_TRUE(reader.WrittenDigest(file));
    WriteFile(dir / "other", "replaced");
    std::filesystem::rename(dir / "other", NativePath(dir.Path() + "/out/" + c.digested));
    EXPECT_FALSE(reader.WrittenDigest(file));
  }
}

TEST(CabReaderTest, MissingOrRedirectedNextCabinet) {
  TempFolder dir;
  auto cabs = WriteCabinetSet(dir.Path(), {"set1.cab", "set2.cab", "set3.cab"}, SetEntries(),
                              {.typeCompress = 1, .blocksPerCabinet = 4});
  std::filesystem::create_directory(dir / "disk2");
  std::filesystem::rename(cabs[1], dir / "disk2/set2.cab");
  std::filesystem::rename(cabs[2], dir / "disk2/set3.cab");

  TSTCabReader reader(nullptr);
  ExpectError([&] { reader.Extract(cabs[0], dir / "out"); }, "Cabinet not found [0x0001]");
  EXPECT_EQ(ReadFileBytes(dir / "out/first.txt"), SetEntries()[0].data);
  EXPECT_FALSE(std::filesystem::exists(dir / "out/big/spanning.bin"));
  EXPECT_FALSE(HasPartFiles(dir.Path()));

  std::vector<Integer> errors;
  std::string answer = dir / "disk2";
  reader.SetOnNextCabinet(TSTCabReaderNextCabinetEvent::FromFunction(
      [&](TObject*, const std::string& cab, const std::string&, std::string& path, Integer error, bool&) {
        errors.push_back(error);
        path = answer;
      }));
  reader.Extract(cabs[0], dir / "out");
  EXPECT_EQ(ReadFileBytes(dir / "out/big/spanning.bin"), SetEntries()[1].data);
  EXPECT_EQ(ReadFileBytes(dir / "out/last.txt"), SetEntries()[3].data);
  EXPECT_EQ(errors, (std::vector<Integer>{0, 0}));

  // A path that does not fit the library's buffer is refused.
  answer = dir.Path() + "/" + std::string(300, 'x');
  ExpectError([&] { reader.Extract(cabs[0], dir / "out3"); },
              "FDI aborted [0x000B].\r\nFile name too long [0x0024].");
}

TEST(CabReaderTest, NamesNeverEscapeTheDestination) {
  for (const char* name : {"..\\evil.txt", "sub\\..\\..\\evil.txt", "..", "\\evil.txt", "/evil.txt",
                           "C:\\evil.txt", "c:evil.txt", "ok/../../evil.txt"}) {
    SCOPED_TRACE(name);
    TempFolder dir;
    WriteCabinetSet(dir.Path(), {"a.cab"}, {{"fine.txt", "fine"}, {name, "evil"}}, {});
    ExpectError([&] { TSTCabReader(nullptr).Extract(dir / "a.cab", dir / "dest/inner"); },
                "Failure writing to target file [0x0008].\r\nPermission denied [0x000D].");
    EXPECT_EQ(ReadFileBytes(dir / "dest/inner/fine.txt"), "fine");
    for (const auto& [file, data] : ReadTree(dir.Path())) EXPECT_NE(data, "evil") << file;
  }
  // Dots inside names are no escape.
  TempFolder dir;
  WriteCabinetSet(dir.Path(), {"a.cab"}, {{"a..b\\..c", "dots"}}, {});
  EXPECT_TRUE(ExtractCabinet(dir / "a.cab", dir / "out"));
  EXPECT_EQ(ReadFileBytes(dir / "out/a..b/..c"), "dots");
}

TEST(CabReaderTest, UnwritableTargetIsATargetFailure) {
  TempFolder dir;
  WriteCabinetSet(dir.Path(), {"a.cab"}, {{"x\\y.txt", "data"}}, {});
  WriteFile(dir / "out/x", "a file where a folder is needed");
  ExpectError([&] { TSTCabReader(nullptr).Extract(dir / "a.cab", dir / "out"); },
              "Failure writing to target file [0x0008].\r\nFile exists [0x0011].");
}

TEST(CabReaderTest, IsCabinetFile) {
  TempFolder dir;
  const std::string cab = MakeGcabCabinet(dir, false);
  EXPECT_TRUE(IsCabinetFile(cab));
  FDICABINETINFO info;
  EXPECT_TRUE(TSTCabReader(nullptr).IsCabinet(cab, info));
  EXPECT_EQ(info.cFiles, 48);
  EXPECT_EQ(info.cbCabinet, LONG(ReadFileBytes(cab).size()));
  WriteFile(dir / "page.cab", "<!DOCTYPE html><html></html>");
  EXPECT_FALSE(IsCabinetFile(dir / "page.cab"));
  EXPECT_THROW(IsCabinetFile(dir / "missing.cab"), EOSError);
}

TEST(CabReaderTest, JoinPath) {
  EXPECT_EQ(TSTCabReader::JoinPath("C:\\a", "b"), "C:\\a\\b");
  EXPECT_EQ(TSTCabReader::JoinPath("C:\\a\\", "b"), "C:\\a\\b");
  EXPECT_EQ(TSTCabReader::JoinPath("C:\\a\\", "\\b"), "C:\\a\\b");
  EXPECT_EQ(TSTCabReader::JoinPath("C:\\a", "\\b\\c"), "C:\\a\\b\\c");
  EXPECT_EQ(TSTCabReader::JoinPath("/tmp/", "b"), "/tmp/b");
  EXPECT_EQ(TSTCabReader::JoinPath("", "b"), "b");
  EXPECT_EQ(TSTCabReader::JoinPath("a", ""), "a");
}

TEST(CabReaderTest, ErrorMessages) {
  EXPECT_EQ(ESTCabinet(ERF{4, 0, TRUE}, false).Message(), "Cabinet file is corrupt [0x0004]");
  EXPECT_EQ(ESTCabinet(ERF{8, 28, TRUE}, false).Message(),
            "Failure writing to target file [0x0008].\r\nNo space left on device [0x001C].");
  EXPECT_EQ(ESTCabinet(ERF{12, 0, TRUE}, false).Message(), "FDI error [0x000C]");
  EXPECT_EQ(ESTCabinet(ERF{4, 5, FALSE}, false).Message(), "FDI error");
  EXPECT_EQ(ESTCabinet(ERF{7, 0, TRUE}, true).Message(), "Client requested abort [0x0007]");
  EXPECT_EQ(ESTCabinet(ERF{0, 0, FALSE}, true).Message(), "FCI error");
  EXPECT_EQ(ESTCabinet(ERF{9, 0, TRUE}, true).Message(), "FCI error [0x0009]");
}

TEST(CabReaderTest, LibraryBinding) {
  CabIntf::FreeCabinetLibrary();
  try {
    CabIntf::LoadCabinetLibrary("libno-such-cabinet-library.so");
    ADD_FAILURE();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Message().rfind("System Error.  Code: 126.\r\n", 0), 0u) << e.Message();
  }
  EXPECT_FALSE(CabIntf::CabinetLibraryLoaded());
  // A library without the entry points is let go again.
  try {
    CabIntf::LoadCabinetLibrary("libz.so.1");
    ADD_FAILURE();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Message().rfind("System Error.  Code: 127.\r\n", 0), 0u) << e.Message();
  }
  EXPECT_FALSE(CabIntf::CabinetLibraryLoaded());
  // Creating a context loads the library.
  TempFolder dir;
  WriteCabinetSet(dir.Path(), {"a.cab"}, {{"f.txt", "x"}}, {});
  EXPECT_TRUE(ExtractCabinet(dir / "a.cab", dir / "out"));
  EXPECT_TRUE(CabIntf::CabinetLibraryLoaded());
}

}  // namespace
