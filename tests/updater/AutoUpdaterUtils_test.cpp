#include "updater/AutoUpdaterUtils.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "tests/support/TempFolder.h"

namespace {

TEST(CompareVersion, ComparesFieldByFieldOverTheFirstVersionsFields) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {
      {"1.0.0", "1.0.0", 0},
      {"2.0.1|build", "2.0.1", 0},    // everything from "|" on is ignored
      {"2.0.1", "2.0.1|7", 0},
      {"2.1", "2.0.9", 1},
      {"2.0.9", "2.1", -1},
      {"1.10", "1.9", 1},            // numeric, not textual
      {"1.2", "1.2.5", 0},           // B's extra fields are not looked at
      {"1.0.0", "1.0", -1},          // B too short is an error
      {"1.a", "1.0", -1},            // not a number
      {"1.0", "1.a", -1},
      {"1..2", "1.2", 0},            // empty fields are dropped
      {" 1. 2", "1.2", 0},           // blanks before a field are skipped
      {"", "", 0},
      {"", "3", 0},
      {"10.0.0", "9.99.99", 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CompareVersion(c.a, c.b), c.expected) << '"' << c.a << "\" vs \"" << c.b << '"';
}

std::string DaysAgo(int days) {
  const std::time_t t = std::time(nullptr) - std::time_t(days) * 86400;
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y%m%d", &tm);
  return buf;
}

TEST(IsDateExpired, CountsWholeDaysInEitherDirection) {
  EXPECT_TRUE(IsDateExpired("", 90));
  EXPECT_TRUE(IsDateExpired("2024010", 90));
  EXPECT_TRUE(IsDateExpired("20240101120000", 90));  // only 8-character dates are read
  EXPECT_FALSE(IsDateExpired(DaysAgo(0), 0));
  EXPECT_FALSE(IsDateExpired(DaysAgo(90), 90));
  EXPECT_TRUE(IsDateExpired(DaysAgo(90), 89));
  // A date in the future counts by its distance from now (29 whole days and a part).
  EXPECT_FALSE(IsDateExpired(DaysAgo(-30), 29));
  EXPECT_TRUE(IsDateExpired(DaysAgo(-30), 28));
  EXPECT_TRUE(IsDateExpired("2024ab01", 100000));  // unreadable dates count as long ago
  EXPECT_TRUE(IsDateExpired("20241340", 100000));
}

TEST(ExtractInnerExt, LooksAtTheFileNameOnly) {
  EXPECT_EQ(ExtractInnerExt("x.dll.cab"), "dll");
  EXPECT_EQ(ExtractInnerExt("a.b"), "b");
  EXPECT_EQ(ExtractInnerExt("name"), "");
  EXPECT_EQ(ExtractInnerExt("a.b.c.d"), "b");
  EXPECT_EQ(ExtractInnerExt("C:\\Users\\a.b\\App\\x.xml"), "xml");
  EXPECT_EQ(ExtractInnerExt("/tmp/tmp.Ab12/app/data.xml.cab"), "xml");
  EXPECT_EQ(ExtractInnerExt("/tmp/tmp.Ab12/app/README"), "");
}

TEST(CountOccurrences, RemovesTheFirstOccurrenceInTurn) {
  EXPECT_EQ(CountOccurrences(".", "a.b.c"), 2);
  EXPECT_EQ(CountOccurrences("ab", "aabb"), 2);  // removing one "ab" makes another
  EXPECT_EQ(CountOccurrences("x", "abc"), 0);
  EXPECT_EQ(CountOccurrences("", "abc"), 0);
}

TEST(ShellExecuteErrorText, NamesKnownCodesAndNumbersTheRest) {
  EXPECT_EQ(ShellExecuteErrorText(42), "Value:42\tDescription: Undefined...");
  EXPECT_EQ(ShellExecuteErrorText(-3), "Value:-3\tDescription: Undefined...");
  EXPECT_EQ(ShellExecuteErrorText(2), "Value: SE_ERR_FNF\tDescription: The specified file was not found.");
  EXPECT_EQ(ShellExecuteErrorText(0),
            "Value: 0\tDescription: The operating system is out of memory or resources.");
  for (int code : {3, 5, 8, 11, 26, 27, 28, 29, 30, 31, 32})
    EXPECT_EQ(ShellExecuteErrorText(code).rfind("Value: ", 0), 0u) << code;
}

TEST(GetLocalFileSize, NeverCreatesAndReportsFullSizes) {
  TempFolder dir;
  EXPECT_EQ(GetLocalFileSize(dir / "missing.dll"), -1);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.dll"));
  EXPECT_EQ(GetLocalFileSize(""), -1);

  WriteFileBytes(dir / "five", "12345");
  EXPECT_EQ(GetLocalFileSize(dir / "five"), 5);
  WriteFileBytes(dir / "empty", "");
  EXPECT_EQ(GetLocalFileSize(dir / "empty"), 0);

  // A sparse file beyond 4 GiB keeps its high bits.
  const int64_t big = (int64_t{5} << 30) + 3;
  const int fd = open((dir / "big").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, big), 0);
  close(fd);
  EXPECT_EQ(GetLocalFileSize(dir / "big"), big);
}

TEST(IsValidDownloadFile, RejectsMissingEmptyAndHtmlFiles) {
  TempFolder dir;
  EXPECT_FALSE(IsValidDownloadFile(dir / "missing"));
  WriteFileBytes(dir / "empty", "");
  EXPECT_FALSE(IsValidDownloadFile(dir / "empty"));
  WriteFileBytes(dir / "html", "<!DOCTYPE html><html></html>");
  EXPECT_FALSE(IsValidDownloadFile(dir / "html"));
  WriteFileBytes(dir / "list", "[INSTALL]\r\nVersionInfo=1.0\r\n");
  EXPECT_TRUE(IsValidDownloadFile(dir / "list"));
  WriteFileBytes(dir / "one", "<");
  EXPECT_TRUE(IsValidDownloadFile(dir / "one"));
}

TEST(ForceDirectoriesSafe, CreatesParentsAndAnswersFalseInsteadOfRaising) {
  TempFolder dir;
  EXPECT_TRUE(ForceDirectoriesSafe(dir / "a/b/c"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b/c"));
  EXPECT_TRUE(ForceDirectoriesSafe(dir / "a/b/c"));
  WriteFileBytes(dir / "file", "x");
  EXPECT_FALSE(ForceDirectoriesSafe(dir / "file/sub"));
  EXPECT_FALSE(ForceDirectoriesSafe(""));
}

TEST(GetFileMD5, LowerCaseHexOrEmpty) {
  TempFolder dir;
  WriteFileBytes(dir / "abc", "abc");
  EXPECT_EQ(GetFileMD5(dir / "abc"), "900150983cd24fb0d6963f7d28e17f72");
  WriteFileBytes(dir / "empty", "");
  EXPECT_EQ(GetFileMD5(dir / "empty"), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(GetFileMD5(dir / "missing"), "");
  EXPECT_EQ(GetFileMD5(dir.Path()), "");
  // The size from the same open is what GetLocalFileSize gives.
  int64_t size = 0;
  EXPECT_EQ(GetFileMD5(dir / "ABC", &size), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(size, 3);
  EXPECT_EQ(GetFileMD5(dir / "empty", &size), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(size, 0);
  for (const std::string& name : {dir / "missing", dir.Path(), std::string()}) {
    size = 0;
    EXPECT_EQ(GetFileMD5(name, &size), "") << name;
    EXPECT_EQ(size, -1) << name;
  }
}

}  // namespace
