// The socket logger: destinations, stamps, file modes and concurrent writers.
#include "transport/SockLogger.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

class SockLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("socklogger_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Read(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  fs::path dir;
};

TEST_F(SockLoggerTest, StampedFileEntryIsTimeBlankTextCrLf) {
  TSockLogger logger(nullptr);
  logger.SetLogFileName((dir / "a.log").string());
  logger.SetLogOptions({loDestFile, loAddStamp});
  logger.LogWrite(&logger, loWsockInfo, "abc");
  logger.CloseLogFile();
  EXPECT_TRUE(std::regex_match(Read(dir / "a.log"), std::regex(R"(\d\d:\d\d:\d\d:\d{3} abc\r\n)")))
      << Read(dir / "a.log");
}

TEST_F(SockLoggerTest, EventGetsSenderOptionAndTextInOrderWithFile) {
  TSockLogger logger(nullptr);
  std::vector<std::string> seen;
  TObject sender;
  logger.SetOnSockLogEvent(TSockLogEvent::FromFunction([&](TObject* s, TLogOption o, const std::string& m) {
    EXPECT_EQ(s, &sender);
    EXPECT_EQ(o, loProtSpecInfo);
    // The event comes before the file is written.
    seen.push_back(m + "|" + std::to_string(fs::exists(dir / "b.log") ? fs::file_size(dir / "b.log") : 0));
  }));
  logger.SetLogFileName((dir / "b.log").string());
  logger.SetLogOptions({loDestEvent, loDestFile});
  logger.LogWrite(&sender, loProtSpecInfo, "one");
  logger.LogWrite(&sender, loProtSpecInfo, "two");
  EXPECT_EQ(seen, (std::vector<std::string>{"one|0", "two|5"}));
  EXPECT_EQ(Read(dir / "b.log"), "one\r\ntwo\r\n");
}

TEST_F(SockLoggerTest, NoHandlerNoNameNoDestination) {
  TSockLogger logger(nullptr);
  logger.SetLogOptions({loDestEvent});
  EXPECT_NO_THROW(logger.LogWrite(nullptr, loWsockErr, "x"));
  logger.SetLogOptions({loDestFile});
  try {
    logger.LogWrite(nullptr, loWsockErr, "x");
    FAIL();
  } catch (const ELoggerException& e) {
    EXPECT_EQ(e.Message(), "File name empty");
  }
  // The lock was released: another entry still works.
  logger.SetLogFileName((dir / "c.log").string());
  logger.LogWrite(nullptr, loWsockErr, "y");
  logger.CloseLogFile();
  EXPECT_EQ(Read(dir / "c.log"), "y\r\n");
  logger.SetLogFileName((dir / "missing" / "d.log").string());
  EXPECT_THROW(logger.LogWrite(nullptr, loWsockErr, "z"), EStreamError);
}

TEST_F(SockLoggerTest, AppendKeepsOverwriteTruncatesOnEachOpen) {
  const std::string name = (dir / "e.log").string();
  {
    std::ofstream(name, std::ios::binary) << "old\r\n";
  }
  TSockLogger logger(nullptr);
  logger.SetLogOptions({loDestFile});
  logger.SetLogFileName(name);
  logger.LogWrite(nullptr, loWsockErr, "new");
  // The same name again neither reopens nor truncates.
  logger.SetLogFileOption(lfoOverwrite);
  logger.SetLogFileName(name);
  logger.LogWrite(nullptr, loWsockErr, "more");
  EXPECT_EQ(Read(name), "old\r\nnew\r\nmore\r\n");
  // Changing the name and back opens the file anew, truncated.
  logger.SetLogFileName((dir / "f.log").string());
  logger.SetLogFileName(name);
  logger.LogWrite(nullptr, loWsockErr, "fresh");
  EXPECT_EQ(Read(name), "fresh\r\n");
}

TEST_F(SockLoggerTest, ThreadsSharingOneLoggerWriteWholeLines) {
  TSockLogger logger(nullptr);
  logger.SetLogOptions({loDestFile, loAddStamp});
  logger.SetLogFileName((dir / "g.log").string());
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) logger.LogWrite(nullptr, loWsockDump, std::string(50, char('a' + t)));
    });
  for (auto& th : threads) th.join();
  logger.CloseLogFile();
  std::istringstream in(Read(dir / "g.log"));
  std::string line;
  int lines = 0;
  const std::regex whole(R"(\d\d:\d\d:\d\d:\d{3} (a{50}|b{50}|c{50}|d{50})\r)");
  while (std::getline(in, line)) {
    ++lines;
    EXPECT_TRUE(std::regex_match(line, whole)) << line;
  }
  EXPECT_EQ(lines, 800);
}

}  // namespace
