#include "platform/rtl/inifiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "platform/rtl/sysutils.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// Writes a file into the folder and gives its path.
std::string Write(const TempFolder& t, const std::string& name, const std::string& text) {
  WriteFileBytes(t / name, text);
  return t / name;
}

std::vector<std::string> Lines(const TStrings& s) {
  std::vector<std::string> out;
  for (int i = 0; i < s.Count(); ++i) out.push_back(s[i]);
  return out;
}

using V = std::vector<std::string>;

const char* const kUpdateList =
    "stray=before any section\r\n"
    "; a comment\r\n"
    "[INSTALL]\r\n"
    "  VersionInfo  =  1.2.3  \r\n"
    "ExtNameToMD5=js,xml\r\n"
    "versioninfo=second wins nothing\r\n"
    "Empty=\r\n"
    "\r\n"
    "   ;indented comment=1\r\n"
    "[install]\r\n"
    "LimitedDay=7\r\n"
    "[SCRACTION]\r\n"
    "1=RUNTO:%ROOT%\\x.exe,/q,true\r\n"
    "1=WRITEKEYVALUEFILE:a.ini,Mode,NULL\r\n"
    "2 = RUNTO:b.exe,NULL,false\r\n"
    "a line without equals\r\n"
    "[Files] ; not a header\r\n"
    "[ Spaced ]\r\n"
    "k=v\r\n";

TEST(MemIniFile, SectionsKeysCommentsAndDuplicates) {
  TempFolder t;
  TMemIniFile ini(Write(t, "update.ini", kUpdateList));
  EXPECT_EQ(ini.ReadString("install", "VERSIONINFO", "x"), "1.2.3");  // case ignored, trimmed
  EXPECT_EQ(ini.ReadString("INSTALL", "LimitedDay", "none"), "none");  // only the first [INSTALL] counts
  EXPECT_EQ(ini.ReadString("INSTALL", "Empty", "default"), "");  // an empty value is a value
  EXPECT_EQ(ini.ReadString("INSTALL", "Missing", "default"), "default");
  EXPECT_EQ(ini.ReadString("INSTALL", ";indented comment", "gone"), "gone");
  EXPECT_EQ(ini.ReadString("", "stray", "none"), "none");
  EXPECT_EQ(ini.ReadString("Spaced", "k", ""), "v");

  TStringList values;
  ini.ReadSectionValues("scraction", &values);  // repeated keys stay, in file order
  EXPECT_EQ(Lines(values), (V{"1=RUNTO:%ROOT%\\x.exe,/q,true", "1=WRITEKEYVALUEFILE:a.ini,Mode,NULL",
                              "2=RUNTO:b.exe,NULL,false", "a line without equals", "[Files] ; not a header"}));
  EXPECT_EQ(values.ValueFromIndex(1), "WRITEKEYVALUEFILE:a.ini,Mode,NULL");
  TStringList keys;
  ini.ReadSection("ScrAction", &keys);
  EXPECT_EQ(Lines(keys), (V{"1", "1", "2"}));
  ini.ReadSections(&keys);
  EXPECT_EQ(Lines(keys), (V{"INSTALL", "install", "SCRACTION", "Spaced"}));
  EXPECT_TRUE(ini.SectionExists("spaced"));
  EXPECT_FALSE(ini.SectionExists("Files"));
  EXPECT_TRUE(ini.ValueExists("Install", "extnametomd5"));
  EXPECT_FALSE(ini.ValueExists("Install", "LimitedDay"));
  ini.ReadSectionValues("nothing", &values);
  EXPECT_EQ(values.Count(), 0);
}

TEST(MemIniFile, IntegersAndBooleans) {
  TempFolder t;
  TMemIniFile ini(Write(t, "c.ini",
                          "[INFO]\nSocketType= 2 \nHex=$1F\nCHex=0x10\nNeg=-5\nBad=12abc\nBig=3000000000\nEmpty=\n"
                          "B0=0\nB2=2\nBYes=yes\nBNeg=-1\n"));
  EXPECT_EQ(ini.ReadInteger("info", "SocketType", 0), 2);
  EXPECT_EQ(ini.ReadInteger("INFO", "Hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("INFO", "CHex", 0), 16);
  EXPECT_EQ(ini.ReadInteger("INFO", "Neg", 0), -5);
  EXPECT_EQ(ini.ReadInteger("INFO", "Bad", 10), 10);
  EXPECT_EQ(ini.ReadInteger("INFO", "Big", 10), 10);  // out of range is not an integer
  EXPECT_EQ(ini.ReadInteger("INFO", "Empty", 10), 10);
  EXPECT_EQ(ini.ReadInteger("INFO", "Missing", 10), 10);
  EXPECT_FALSE(ini.ReadBool("INFO", "B0", true));
  EXPECT_TRUE(ini.ReadBool("INFO", "B2", false));
  EXPECT_TRUE(ini.ReadBool("INFO", "BNeg", false));
  EXPECT_TRUE(ini.ReadBool("INFO", "BYes", true));  // not an integer: the default
  EXPECT_FALSE(ini.ReadBool("INFO", "BYes", false));
  EXPECT_TRUE(ini.ReadBool("INFO", "Missing", true));
}

TEST(MemIniFile, MissingFilesAndGarbageReadAsWhatTheyHold) {
  TempFolder t;
  TMemIniFile missing(t / "none.ini");
  EXPECT_EQ(missing.ReadString("A", "b", "d"), "d");
  TMemIniFile folder(t.Path());  // a folder is no ini file
  EXPECT_FALSE(folder.SectionExists("A"));
  TMemIniFile unnamed("");
  EXPECT_FALSE(unnamed.SectionExists(""));
  // A file that is there and cannot be read (here a read fails) is an error.
  EXPECT_THROW(TMemIniFile("/proc/self/mem"), EFOpenError);

  // Byte-order mark, lone CRs, NULs, a bare "[", an empty section name, "=" alone.
  const char raw[] = "\xEF\xBB\xBF[A]\rx=1\r[\r[]\r=\r=v\rk\0ey=z\r";
  const std::string odd(raw, sizeof raw - 1);
  TMemIniFile ini(Write(t, "odd.ini", odd));
  EXPECT_EQ(ini.ReadString("a", "x", ""), "1");
  EXPECT_EQ(ini.ReadString("", "", "d"), "");  // the first "=" line of section ""
  EXPECT_EQ(ini.ReadString("", std::string("k\0ey", 4), ""), "z");
  TStringList sections;
  ini.ReadSections(&sections);
  EXPECT_EQ(Lines(sections), (V{"A", ""}));
  TStringList values;
  ini.ReadSectionValues("a", &values);
  EXPECT_EQ(Lines(values), (V{"x=1", "["}));

  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::string junk(rng() % 400, '\0');
    for (char& c : junk) c = "[]=;\r\n \tab\0\xff"[rng() % 12];
    TMemIniFile j(Write(t, "junk.ini", junk));
    TStringList names, lines;
    j.ReadSections(&names);
    for (int i = 0; i < names.Count(); ++i) {
      j.ReadSectionValues(names[i], &lines);
      for (int k = 0; k < lines.Count(); ++k) j.ReadInteger(names[i], lines.Names(k), 0);
    }
  }
}

TEST(MemIniFile, WritesAndUpdateFileRoundTrip) {
  TempFolder t;
  const std::string name =
      Write(t, "loader.ini", "; kept only in memory\n[INFO]\nTitle=Old\nA=1\n[DESIGN]\nX=1\n[info]\nZ=9\n");
  TMemIniFile ini(name);
  ini.WriteString("info", "TITLE", "New");  // replaces the line in place
  ini.WriteInteger("Info", "Count", 42);
  ini.WriteBool("NEW", "Flag", true);
  ini.WriteString("NEW", "Empty", "");
  ini.DeleteKey("INFO", "a");
  ini.DeleteKey("INFO", "nothing");
  EXPECT_EQ(ini.ReadInteger("INFO", "count", 0), 42);
  EXPECT_EQ(ReadFileBytes(name).substr(0, 2), "; ");  // nothing written yet
  ini.UpdateFile();
  EXPECT_EQ(ReadFileBytes(name),
            "[INFO]\r\nTITLE=New\r\nCount=42\r\n\r\n[DESIGN]\r\nX=1\r\n\r\n[info]\r\nZ=9\r\n\r\n"
            "[NEW]\r\nFlag=1\r\nEmpty=\r\n\r\n");
  ini.EraseSection("info");  // the first of the two
  ini.EraseSection("none");
  EXPECT_EQ(ini.ReadString("INFO", "Z", ""), "9");

  TMemIniFile reread(t.Path() + "\\LOADER.INI");
  EXPECT_EQ(reread.ReadString("new", "empty", "d"), "");
  EXPECT_EQ(reread.ReadString("INFO", "Title", ""), "New");
  reread.Rename(t / "other.ini", true);  // does not exist: reads as empty
  EXPECT_FALSE(reread.SectionExists("INFO"));

  TIniFile direct(t / "direct.ini");  // every change goes to the file at once
  direct.WriteString("S", "k", "v");
  EXPECT_EQ(TMemIniFile(t / "direct.ini").ReadString("s", "K", ""), "v");
  direct.DeleteKey("S", "k");
  EXPECT_FALSE(TMemIniFile(t / "direct.ini").ValueExists("S", "k"));
  direct.EraseSection("S");
  EXPECT_FALSE(TMemIniFile(t / "direct.ini").SectionExists("S"));
}

TEST(MemIniFile, FiftyThousandLineListLoadsAndAnswersFast) {
  TempFolder t;
  std::string text = "[INSTALL]\r\nVersionInfo=2.0\r\n[FILES]\r\n";
  for (int i = 0; i < 50000; ++i) text += "%ROOT%\\bin\\f" + std::to_string(i) + ".dll=0123456789abcdef0123456789abcdef,1000,500\r\n";
  const std::string name = Write(t, "update.ini", text);
  const auto start = std::chrono::steady_clock::now();
  TMemIniFile ini(name);
  TStringList lines;
  ini.ReadSectionValues("files", &lines);
  ASSERT_EQ(lines.Count(), 50000);
  for (int i = 0; i < 50000; i += 3)
    ASSERT_TRUE(ini.ValueExists("FILES", "%root%\\BIN\\f" + std::to_string(i) + ".dll"));
  EXPECT_EQ(ini.ReadString("Files", "%ROOT%\\bin\\f49999.dll", ""), "0123456789abcdef0123456789abcdef,1000,500");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 30.0);  // a quadratic key lookup takes many minutes here
}

}  // namespace
