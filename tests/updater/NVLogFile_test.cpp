#include "updater/NVLogFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <thread>
#include <vector>

#include "tests/support/TempFolder.h"
#include "updater/AutoUpdaterUtils.h"

namespace {

const std::regex kLoaderLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} \[(.*)\])");

std::vector<std::string> Lines(const std::string& text) {
  bool complete = false;
  auto lines = CrlfLines(text, &complete);
  EXPECT_TRUE(complete) << "text does not end with CR LF";
  return lines;
}

// Runs a test inside its own folder and points the program log at a file there.
class LoaderLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(getcwd(oldDir_, sizeof oldDir_));
    ASSERT_EQ(chdir(dir_.Path().c_str()), 0);
    oldName_ = LoaderLogFile().LogFileName();
    LoaderLogFile().SetLogFileName(log_);
  }
  void TearDown() override {
    LoaderLogFile().SetLogFileName(oldName_);
    ASSERT_EQ(chdir(oldDir_), 0);
  }
  TempFolder dir_;
  const std::string log_ = dir_ / "LoaderLog.log";
  char oldDir_[4096];
  std::string oldName_;
};

TEST_F(LoaderLogTest, LinesCarryTimeStampAndBrackets) {
  WriteLog("Server URL: http://127.0.0.1/update.ini");
  WriteLog("업데이트 목록");
  WriteLog("");
  const auto lines = Lines(ReadFileBytes(log_));
  ASSERT_EQ(lines.size(), 3u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kLoaderLine)) << lines[0];
  EXPECT_EQ(m[1], "Server URL: http://127.0.0.1/update.ini");
  ASSERT_TRUE(std::regex_match(lines[1], m, kLoaderLine)) << lines[1];
  EXPECT_EQ(m[1], "업데이트 목록");
  EXPECT_TRUE(std::regex_match(lines[2], kLoaderLine));
}

TEST_F(LoaderLogTest, DetailLinesNeedTheFlagFileInTheCurrentFolder) {
  WriteLog("always 1");
  WriteLog("detail 1", true);
  WriteFileBytes(dir_ / "DETAILLOG.FLAG", "");
  WriteLogFmt(true, "detail %d", 2);
  std::filesystem::remove(dir_ / "DETAILLOG.FLAG");
  WriteLog("detail 3", true);
  WriteLog("always 2");
  const auto lines = Lines(ReadFileBytes(log_));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("[always 1]"), std::string::npos);
  EXPECT_NE(lines[1].find("[detail 2]"), std::string::npos);
  EXPECT_NE(lines[2].find("[always 2]"), std::string::npos);
}

TEST_F(LoaderLogTest, EmptiedOnlyWhenLargerThanOneMebibyte) {
  WriteFileBytes(log_, std::string(1048576, 'x'));
  WriteLog("kept");
  std::string text = ReadFileBytes(log_);
  ASSERT_GT(text.size(), 1048576u);
  EXPECT_EQ(text.substr(0, 1048576), std::string(1048576, 'x'));
  EXPECT_NE(text.find("[kept]\r\n"), std::string::npos);

  // Now larger than the limit: the next entry starts a fresh file.
  WriteLog("fresh");
  const auto lines = Lines(ReadFileBytes(log_));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("[fresh]"), std::string::npos);

  WriteFileBytes(log_, std::string(1048577, 'y'));
  WriteLog("after");
  EXPECT_EQ(Lines(ReadFileBytes(log_)).size(), 1u);
}

TEST_F(LoaderLogTest, EntriesFromManyThreadsStayWhole) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 100; ++i) WriteLog("thread " + std::to_string(t) + " entry " + std::to_string(i));
    });
  for (auto& th : threads) th.join();
  const auto lines = Lines(ReadFileBytes(log_));
  ASSERT_EQ(lines.size(), 800u);
  for (const auto& l : lines) ASSERT_TRUE(std::regex_match(l, kLoaderLine)) << l;
}

TEST(TLogFile, ComposesTheConfiguredPieces) {
  TempFolder dir;
  TLogFile log(nullptr);
  log.SetLogFileName(dir / "x.log");
  log.SetIncPrefix(true);
  log.SetPrefix("P:");
  log.SetIncSeparator(true);
  log.SetSeparator("|");
  log.SetIncSuffix(true);
  log.SetSuffix(";");
  log.WriteEntry("one", 1, 2);
  log.SetIncPrefix(false);
  log.SetIncSuffix(false);
  log.WriteEntry("two");
  EXPECT_EQ(ReadFileBytes(dir / "x.log"), "\r\nP:|one;\r\n\r\n\r\n|two\r\n");
}

TEST(TLogFile, ClearOnCreateAndOverwrite) {
  TempFolder dir;
  WriteFileBytes(dir / "x.log", "old\r\n");
  {
    TLogFile log(nullptr);
    log.BeginLoading();
    log.SetLogFileName(dir / "x.log");
    log.SetClearonCreate(true);
    log.EndLoading();  // Loaded empties the file
    EXPECT_EQ(ReadFileBytes(dir / "x.log"), "");
    EXPECT_FALSE(log.OverwriteExistingFile());
    log.WriteEntry("a");
    log.WriteEntry("b");
    EXPECT_EQ(ReadFileBytes(dir / "x.log"), "a\r\nb\r\n");
    log.SetOverwriteExistingFile(true);
    log.WriteEntry("c");
    EXPECT_EQ(ReadFileBytes(dir / "x.log"), "c\r\n");
  }
}

TEST(TLogFile, TimeStampUsesTheFormatText) {
  TempFolder dir;
  TLogFile log(nullptr);
  log.SetLogFileName(dir / "x.log");
  log.SetIncDateTime(true);
  log.SetDateTimeFormatStr("yyyy");
  log.WriteEntry(" m");
  const std::string text = ReadFileBytes(dir / "x.log");
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(20\d\d m\r\n)"))) << text;
}

TEST(TLogFile, UnwritableLogLosesTheEntryQuietly) {
  TempFolder dir;
  TLogFile log(nullptr);
  log.SetLogFileName(dir / "no/such/folder/x.log");
  EXPECT_FALSE(log.OpenLog());
  log.WriteEntry("lost");
  EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

}  // namespace
