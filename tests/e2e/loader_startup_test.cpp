// Whole-program runs of the built loader, installed as a copy in a fresh folder with
// its own loader.ini and registry store.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "platform/win/sync.h"
#include "tests/support/loopback.h"
#include "tests/support/run_program.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

using vxtest::RunResult;

// A process that keeps File open for writing while it lives, as a running client
// program keeps its own files.
class FileHolder {
 public:
  explicit FileHolder(const std::string& File)
      : process_({"sh", "-c", "exec 3>>\"$0\" && echo open && exec sleep 120", File}, true) {
    if (process_.ReadLine(vxtest::kPatienceMs) != "open") throw std::runtime_error("holder did not start");
  }

 private:
  vxtest::ChildProcess process_;
};

const std::regex kLogLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} \[(.*)\])");
const char kNotSameFolder[] = "현재 디렉토리가 어플리케이션 루트와 같지 않음.";

std::vector<std::string> LogLines(const std::string& text) {
  bool complete = false;
  auto lines = CrlfLines(text, &complete);
  EXPECT_TRUE(complete) << "text does not end with CR LF";
  return lines;
}

class LoaderRun : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(app_);
    fs::create_directories(work_);
    fs::create_directories(runtime_);
    fs::copy_file(fs::path(VX_BINARY_DIR) / "loader", loader_);
    title_ = "E2E" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    WriteIni("[INFO]\r\nTitle=" + title_ + "\r\n");
  }

  void WriteIni(const std::string& text) { WriteFileBytes(app_ + "/loader.ini", text); }

  RunResult Run(const std::vector<std::string>& params, const std::string& folder = "") {
    std::vector<std::string> argv{loader_};
    argv.insert(argv.end(), params.begin(), params.end());
    vxtest::RunOptions o;
    o.folder = folder.empty() ? work_ : folder;
    o.env["VX_REGISTRY_DIR"] = root_ / "registry";
    return vxtest::RunProgram(argv, o);
  }

  std::string Log() const { return ReadFileBytes(app_ + "/LoaderLog.log"); }
  bool HasLog() const { return fs::exists(app_ + "/LoaderLog.log"); }

  TempFolder root_;
  const std::string app_ = root_ / "app";
  const std::string work_ = root_ / "work";
  // The named mutexes of this test and of the loaders it runs, apart from every other
  // run on the machine.
  const std::string runtime_ = root_ / "run";
  vxtest::ScopedEnv runtimeEnv_{"XDG_RUNTIME_DIR", runtime_.c_str()};
  const std::string loader_ = app_ + "/loader";
  std::string title_;
};

TEST_F(LoaderRun, StartsAndEndsWithExitCodeZero) {
  const RunResult r = Run({"-B:/u:kim"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(LoaderRun, SecondInstanceOfTheSameTitleEndsSilently) {
  // Something that would be logged if the run got past the instance check.
  const std::string busy = app_ + "/client";
  WriteFileBytes(busy, "");
  WriteFileBytes(work_ + "/DETAILLOG.FLAG", "");
  FileHolder holder(busy);

  HANDLE mutex = CreateMutex(nullptr, TRUE, (title_ + "_Loader").c_str());
  ASSERT_NE(mutex, nullptr);
  RunResult r = Run({"-ISRUN:" + busy});
  EXPECT_TRUE(r.exited) << "a run that waited for the other instance would not end before its time-out";
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(HasLog());

  // Another title is not held back.
  WriteIni("[INFO]\r\nTitle=" + title_ + "_other\r\n");
  r = Run({"-ISRUN:" + busy});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(HasLog());
  fs::remove(app_ + "/LoaderLog.log");

  // Once the first instance lets go, the same title runs.
  WriteIni("[INFO]\r\nTitle=" + title_ + "\r\n");
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  r = Run({"-ISRUN:" + busy});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(HasLog());
}

TEST_F(LoaderRun, EmptyTitleSharesTheDefaultMutexName) {
  WriteIni("[INFO]\r\nServerURL=http://127.0.0.1:9/\r\n");
  WriteFileBytes(work_ + "/DETAILLOG.FLAG", "");
  SetLastError(ERROR_SUCCESS);
  HANDLE mutex = CreateMutex(nullptr, TRUE, "noDuplicate_AutoUpdater_Loader");
  ASSERT_NE(mutex, nullptr);
  ASSERT_EQ(GetLastError(), DWORD(ERROR_SUCCESS)) << "the name is this test's own";
  const RunResult r = Run({});
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(HasLog());
}

TEST_F(LoaderRun, LockedRunCheckFileEndsTheRunWithALogLine) {
  const std::string client = app_ + "/CLIENT.EXE";
  WriteFileBytes(client, "#!/bin/sh\n");
  {
    FileHolder holder(client);
    const RunResult r = Run({"-ISRUN:" + client});
    EXPECT_EQ(r.exitCode, 0);
    const auto lines = LogLines(Log());
    ASSERT_EQ(lines.size(), 1u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, kLogLine)) << lines[0];
    EXPECT_EQ(m[1], "[" + client + "] 파일이 사용중입니다. Updater를 종료합니다.");
  }
  // Not held any more, missing, or not given: the run goes on without that line.
  fs::remove(app_ + "/LoaderLog.log");
  EXPECT_EQ(Run({"-ISRUN:" + client}).exitCode, 0);
  EXPECT_EQ(Run({"-ISRUN:" + app_ + "/missing.exe"}).exitCode, 0);
  EXPECT_EQ(Run({"-ISRUN:"}).exitCode, 0);
  EXPECT_FALSE(HasLog());
}

TEST_F(LoaderRun, MovesToItsOwnFolderAndLogsTheMoveAsDetail) {
  // The detail flag is looked for in the folder current at the time of the line.
  WriteFileBytes(work_ + "/DETAILLOG.FLAG", "");
  EXPECT_EQ(Run({}).exitCode, 0);
  auto lines = LogLines(Log());
  ASSERT_EQ(lines.size(), 1u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kLogLine)) << lines[0];
  EXPECT_EQ(m[1], kNotSameFolder);

  // Started in its own folder there is nothing to say about the folder (the run's own
  // detail lines follow).
  WriteFileBytes(app_ + "/DETAILLOG.FLAG", "");
  EXPECT_EQ(Run({}, app_).exitCode, 0);
  lines = LogLines(Log());
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find(kNotSameFolder) != std::string::npos; }),
            1);
}

TEST_F(LoaderRun, LogIsEmptiedOnlyWhenLargerThanOneMebibyte) {
  WriteFileBytes(work_ + "/DETAILLOG.FLAG", "");
  WriteFileBytes(app_ + "/LoaderLog.log", std::string(1048576, 'x'));
  EXPECT_EQ(Run({}).exitCode, 0);
  std::string log = Log();
  ASSERT_GT(log.size(), 1048576u);
  EXPECT_EQ(log.substr(0, 1048576), std::string(1048576, 'x'));
  EXPECT_TRUE(std::regex_match(log.substr(1048576, log.size() - 1048576 - 2), kLogLine));

  WriteFileBytes(app_ + "/LoaderLog.log", std::string(1048577, 'x'));
  EXPECT_EQ(Run({}).exitCode, 0);
  const auto lines = LogLines(Log());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], kLogLine));
}

TEST_F(LoaderRun, MalformedInputNeverCrashes) {
  const std::string garbage[] = {
      std::string("\0\0\xff\xfe[INFO\r\n=\r\n[\r\n]]]\r\nTitle\r\n", 27),
      "[INFO]\r\nTitle=" + title_ + "\r\nServerURL=" + std::string(100000, 'a') + "\r\nSocketType=99999999999999\r\n"
          "RestartCount=1\r\n",  // one failed attempt, then the retry question's default ends the run
      "[INFO]\nTitle=" + title_ + "\n[DESIGN]\nUpdateTypeTop=-\n[NoUpdateFiles]\n=\n==\n%ROOT%%ROOT%%SYSTEM%\n",
      RandomBytes(70000, 3),
      "",
  };
  const std::vector<std::vector<std::string>> commandLines = {
      {"-B:", "-B:/", "-B:ab", "-b:/u:" + std::string(50000, 'k')},
      {"-LF:", "-RUN:", "-ISRUN:", "-SYNC:", "-I:", "-SM:", "-FU", "-fu", "-"},
      {"x-RUN:y", "-ISRUN:" + app_, "-ISRUN:\\\\server\\share\\x.exe", "-LF:../../../etc/passwd"},
      {std::string("\xff\xfe-B:\x80\x81", 7), std::string(1, '\x01'), ""},
  };
  WriteFileBytes(app_ + "/update.ini", RandomBytes(5000, 9));
  for (const auto& ini : garbage) {
    WriteIni(ini);
    for (const auto& params : commandLines) {
      const RunResult r = Run(params);
      ASSERT_TRUE(r.exited) << "signal " << r.signal << (r.timedOut ? " (timed out)" : "");
      EXPECT_EQ(r.exitCode, 0);
    }
  }
}

}  // namespace
