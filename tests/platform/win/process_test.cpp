#include "platform/win/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/rtl/registry.h"
#include "platform/win/messages.h"
#include "platform/win/shell.h"
#include "tests/support/TempFolder.h"
#include "tests/support/headless_gui.h"
#include "tests/support/loopback.h"
#include "tests/support/script_file.h"
#include "tests/support/wait.h"

namespace {

using Args = std::vector<std::string>;

// The inverse of the splitting rules, written independently: how a Windows program
// quotes one argument for a command line.
std::string QuoteArgument(const std::string& a) {
  if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) return a;
  std::string r = "\"";
  size_t backslashes = 0;
  for (char c : a) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      r.append(backslashes * 2 + 1, '\\');
    } else {
      r.append(backslashes, '\\');
    }
    backslashes = 0;
    r += c;
  }
  r.append(backslashes * 2, '\\');
  return r + "\"";
}

// Waits until a file exists with a last line "end" (written by programs that are not
// waited for).
std::string AwaitRecord(const std::string& path) {
  std::string text;
  const bool ended = vxtest::WaitUntil([&] {
    text = ReadFileBytes(path);
    return text.size() >= 4 && text.compare(text.size() - 4, 4, "end\n") == 0;
  });
  return ended ? text : "(no record)";
}

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    // Records its working folder and arguments, then exits with $VX_TEST_EXIT.
    recorder_ = dir_ / "bin/recorder";
    std::filesystem::create_directories(dir_ / "bin");
    std::filesystem::create_directories(dir_ / "work");
    WriteScript(recorder_,
                "out=\"$(dirname \"$0\")/record.txt\"\n"
                "{ pwd; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; echo end; } > \"$out.tmp\"\n"
                "mv \"$out.tmp\" \"$out\"\n"
                "exit ${VX_TEST_EXIT:-0}\n");
    record_ = dir_ / "bin/record.txt";
  }
  void TearDown() override {
    setenv("PATH", oldPath_.c_str(), 1);
    unsetenv("VX_TEST_EXIT");
  }
  void PutOnPath(const std::string& folder) { setenv("PATH", (folder + ":" + oldPath_).c_str(), 1); }

  // Runs a command line to its end; answers the exit code (or -1 when it did not start).
  long Run(const char* app, const std::string& cmd, const char* folder = nullptr) {
    PROCESS_INFORMATION pi;
    STARTUPINFO si;
    if (!CreateProcess(app, cmd.c_str(), nullptr, nullptr, FALSE, 0, nullptr, folder, &si, &pi)) return -1;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10'000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return long(code);
  }

  TempFolder dir_;
  std::string oldPath_, recorder_, record_;
};

}  // namespace

TEST(CommandLine, ArgumentRules) {
  EXPECT_EQ(SplitCommandLineArguments("\"abc\" d e"), (Args{"abc", "d", "e"}));
  EXPECT_EQ(SplitCommandLineArguments(R"(a\\b d"e f"g h)"), (Args{R"(a\\b)", "de fg", "h"}));
  EXPECT_EQ(SplitCommandLineArguments(R"(a\\\"b c d)"), (Args{R"(a\"b)", "c", "d"}));
  EXPECT_EQ(SplitCommandLineArguments(R"(a\\\\"b c" d e)"), (Args{R"(a\\b c)", "d", "e"}));
  EXPECT_EQ(SplitCommandLineArguments(R"(a"b"" c d)"), (Args{R"(ab" c d)"}));
  EXPECT_EQ(SplitCommandLineArguments(R"("" x "")"), (Args{"", "x", ""}));
  EXPECT_EQ(SplitCommandLineArguments("  \t "), Args{});
  EXPECT_EQ(SplitCommandLineArguments(R"(C:\dir\ "C:\dir\\" "unclosed x)"),
            (Args{R"(C:\dir\)", R"(C:\dir\)", "unclosed x"}));
  EXPECT_EQ(SplitCommandLineArguments(R"( /s "C:\My Files\a.dll")"), (Args{"/s", R"(C:\My Files\a.dll)"}));
  EXPECT_EQ(SplitCommandLineArguments(R"(-l:"-B:/u:kim" -l:"-fu:" )"), (Args{"-l:-B:/u:kim", "-l:-fu:"}));
}

TEST(CommandLine, ProgramNameTakesQuotesWithoutEscapes) {
  EXPECT_EQ(CommandLineToArgv(R"("C:\Program Files\x\" a b)"), (Args{R"(C:\Program Files\x\)", "a", "b"}));
  EXPECT_EQ(CommandLineToArgv(R"(C:\x\y.exe "p q")"), (Args{R"(C:\x\y.exe)", "p q"}));
  EXPECT_EQ(CommandLineToArgv(" http://host/page"), (Args{"", "http://host/page"}));
  EXPECT_EQ(CommandLineToArgv(R"("prog)"), (Args{"prog"}));
  EXPECT_EQ(CommandLineToArgv(R"(a"b c)"), (Args{"a\"b", "c"}));
  EXPECT_EQ(CommandLineToArgv(""), Args{});
}

TEST(CommandLine, QuotedArgumentsSurviveTheRoundTrip) {
  std::mt19937 rng(1234);
  const std::string alphabet = "ab \t\"\\\\x";
  for (int round = 0; round < 2000; ++round) {
    Args argv;
    const int count = int(rng() % 5);
    for (int i = 0; i < count; ++i) {
      std::string a;
      const int len = int(rng() % 8);
      for (int j = 0; j < len; ++j) a += alphabet[rng() % alphabet.size()];
      argv.push_back(a);
    }
    std::string line = "prog";
    for (auto& a : argv) line += " " + QuoteArgument(a);
    Args expected{"prog"};
    expected.insert(expected.end(), argv.begin(), argv.end());
    ASSERT_EQ(CommandLineToArgv(line), expected) << line;
  }
}

TEST_F(ProcessTest, StartsWithWindowsArgumentsInTheGivenFolderAndGivesTheExitCode) {
  setenv("VX_TEST_EXIT", "3", 1);
  const std::string cmd = "\"" + recorder_ + "\" a \"b c\" d\\\"e \"\"";
  EXPECT_EQ(Run(nullptr, cmd, (dir_ / "work").c_str()), 3);
  EXPECT_EQ(ReadFileBytes(record_), dir_ / "work\n[a]\n[b c]\n[d\"e]\n[]\nend\n");
}

TEST_F(ProcessTest, ApplicationNameAndACommandLineWithoutTheProgram) {
  EXPECT_EQ(Run(recorder_.c_str(), " http://127.0.0.1/page"), 0);
  EXPECT_EQ(ReadFileBytes(record_), std::filesystem::current_path().string() + "\n[http://127.0.0.1/page]\nend\n");
  EXPECT_EQ(Run(recorder_.c_str(), ""), 0);
  EXPECT_EQ(ReadFileBytes(record_), std::filesystem::current_path().string() + "\nend\n");
}

TEST_F(ProcessTest, ProgramsAreFoundByWindowsNamesAndOnPath) {
  const std::string windowsName = dir_.Path() + "\\BIN\\Recorder.EXE";
  EXPECT_EQ(Run(nullptr, "\"" + windowsName + "\" x"), 0);
  EXPECT_NE(ReadFileBytes(record_).find("[x]"), std::string::npos);
  PutOnPath(dir_ / "bin");
  EXPECT_EQ(FindProgram("RECORDER.exe"), recorder_);
  EXPECT_EQ(Run(nullptr, "recorder.exe y"), 0);
  EXPECT_NE(ReadFileBytes(record_).find("[y]"), std::string::npos);
  EXPECT_EQ(FindProgram("no-such-program-here"), "");
}

TEST_F(ProcessTest, StartFailuresGiveWindowsErrors) {
  PROCESS_INFORMATION pi;
  STARTUPINFO si;
  auto fails = [&](const char* app, const std::string& cmd, const char* folder) -> DWORD {
    if (CreateProcess(app, cmd.c_str(), nullptr, nullptr, FALSE, 0, nullptr, folder, &si, &pi)) {
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
      return ERROR_SUCCESS;
    }
    return GetLastError();
  };
  EXPECT_EQ(fails(nullptr, "\"" + (dir_ / "bin/missing") + "\"", nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(fails(nullptr, "\"" + (dir_ / "nodir/missing") + "\"", nullptr), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(fails(nullptr, "missing-program-xyz", nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(fails(recorder_.c_str(), "x", (dir_ / "nodir").c_str()), ERROR_DIRECTORY);
  WriteFileBytes(dir_ / "bin/plain", "#!/bin/sh\nexit 0\n");  // not executable
  EXPECT_EQ(fails((dir_ / "bin/plain").c_str(), "", nullptr), ERROR_ACCESS_DENIED);
  WriteFileBytes(dir_ / "bin/garbage", "not a program\n");
  std::filesystem::permissions(dir_ / "bin/garbage", std::filesystem::perms::owner_all);
  EXPECT_EQ(fails((dir_ / "bin/garbage").c_str(), "", nullptr), ERROR_BAD_EXE_FORMAT);
  EXPECT_EQ(fails(nullptr, "", nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(ProcessTest, RunningTerminatedAndSignalledProcesses) {
  const std::string sleeper = dir_ / "bin/sleeper";
  WriteScript(sleeper, "exec sleep 30\n");
  PROCESS_INFORMATION pi;
  STARTUPINFO si;
  ASSERT_TRUE(CreateProcess(sleeper.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForInputIdle(pi.hProcess, 10'000), 0u);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20), WAIT_TIMEOUT);
  ASSERT_TRUE(TerminateProcess(pi.hProcess, 77));
  EXPECT_EQ(WaitForSingleObject(pi.hThread, 10'000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, 77u);
  EXPECT_FALSE(TerminateProcess(pi.hProcess, 1));
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);

  ASSERT_TRUE(CreateProcess(sleeper.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  kill(pid_t(pi.dwProcessId), SIGTERM);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10'000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, 128u + SIGTERM);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

TEST_F(ProcessTest, WaitingForAProcessKeepsTheQueueMoving) {
  // The program ends only once the waiting thread has handled a posted message.
  const std::string waiter = dir_ / "bin/waiter";
  const std::string go = dir_ / "go";
  WriteScript(waiter, "while [ ! -e \"$1\" ]; do sleep 0.01; done\nexit 5\n");
  PROCESS_INFORMATION pi;
  STARTUPINFO si;
  const std::string cmd = "waiter \"" + go + "\"";
  ASSERT_TRUE(CreateProcess(waiter.c_str(), cmd.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  const DWORD me = GetCurrentThreadId();
  std::thread poster([me] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    PostThreadMessage(me, WM_USER, 0, 0);
  });
  int pumped = 0;
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 30'000, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    ASSERT_EQ(r, WAIT_OBJECT_0 + 1);
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) ++pumped;
    WriteFileBytes(go, "");
  }
  poster.join();
  EXPECT_EQ(pumped, 1);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 5u);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

TEST_F(ProcessTest, ChildrenGetNoStrayDescriptorsAndLeaveNoZombies) {
  const int stray = open(dir_.Path().c_str(), O_RDONLY);  // inheritable on purpose
  ASSERT_GE(stray, 3);
  const std::string probe = dir_ / "bin/probe";
  WriteScript(probe, "if [ -e /proc/$$/fd/" + std::to_string(stray) + " ]; then exit 9; fi\nexit 0\n");
  EXPECT_EQ(Run(probe.c_str(), ""), 0);
  close(stray);

  PROCESS_INFORMATION pi;
  STARTUPINFO si;
  ASSERT_TRUE(CreateProcess(probe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  const pid_t pid = pid_t(pi.dwProcessId);
  CloseHandle(pi.hProcess);  // closed while it may still run
  CloseHandle(pi.hThread);
  siginfo_t ended{};
  ASSERT_EQ(waitid(P_PID, id_t(pid), &ended, WEXITED | WNOWAIT), 0);  // ended, not collected
  EXPECT_EQ(Run(probe.c_str(), ""), 0);  // any later start collects it
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProcessTest, ShellExecuteRunsProgramsWithTheirParametersAndNoShell) {
  const std::string params = R"( /s "C:\My Files\a.dll" $(touch pwned) ; touch pwned2)";
  HINSTANCE r = ShellExecute(nullptr, "open", recorder_.c_str(), params.c_str(), (dir_ / "work").c_str(), SW_HIDE);
  EXPECT_GT(reinterpret_cast<intptr_t>(r), 32);
  EXPECT_EQ(AwaitRecord(record_),
            dir_ / "work\n[/s]\n[C:\\My Files\\a.dll]\n[$(touch]\n[pwned)]\n[;]\n[touch]\n[pwned2]\nend\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "work/pwned"));

  PutOnPath(dir_ / "bin");
  std::filesystem::remove(record_);
  r = ShellExecute(nullptr, nullptr, "recorder", "x", nullptr, SW_SHOWNORMAL);
  EXPECT_GT(reinterpret_cast<intptr_t>(r), 32);
  EXPECT_NE(AwaitRecord(record_).find("[x]"), std::string::npos);
}

TEST_F(ProcessTest, ShellExecuteFailureCodes) {
  auto code = [](const char* verb, const std::string& file, const char* dir) {
    return reinterpret_cast<intptr_t>(ShellExecute(nullptr, verb, file.c_str(), "", dir, SW_HIDE));
  };
  EXPECT_EQ(code("open", dir_ / "bin/missing.exe", nullptr), SE_ERR_FNF);
  EXPECT_EQ(code("open", dir_ / "nodir/missing.exe", nullptr), SE_ERR_PNF);
  EXPECT_EQ(code("open", "no-such-program-xyz", nullptr), SE_ERR_FNF);
  EXPECT_EQ(code("open", "", nullptr), SE_ERR_FNF);
  EXPECT_EQ(code("open", recorder_, (dir_ / "nodir").c_str()), SE_ERR_PNF);
  EXPECT_EQ(code("print", recorder_, nullptr), SE_ERR_NOASSOC);
  WriteFileBytes(dir_ / "bin/garbage", "not a program\n");
  std::filesystem::permissions(dir_ / "bin/garbage", std::filesystem::perms::owner_all);
  EXPECT_EQ(code("open", dir_ / "bin/garbage", nullptr), ERROR_BAD_FORMAT);
  // No desktop opener: URLs and documents have no association.
  setenv("PATH", (dir_ / "work").c_str(), 1);
  EXPECT_EQ(code("open", "http://127.0.0.1/x", nullptr), SE_ERR_NOASSOC);
  WriteFileBytes(dir_ / "work/readme.txt", "text");
  EXPECT_EQ(code("open", "readme.txt", (dir_ / "work").c_str()), SE_ERR_NOASSOC);
}

// Every way into the desktop's opener or a program registered to open documents: on a
// screen it opens; headless it is said and answered as done.
TEST_F(ProcessTest, ShellExecuteOpensUrlsAndDocumentsWithTheDesktopOpenerOnlyOnAScreen) {
  const std::string opener = dir_ / "work/xdg-open", sheet = dir_ / "work/sheet", doc = dir_ / "work/Manual.txt";
  for (const std::string& program : {opener, sheet}) WriteScript(program, "echo \"$1\" >> '" + dir_ / "opened.txt'\n");
  WriteFileBytes(doc, "text");
  PutOnPath(dir_ / "work");
  vxtest::ScopedEnv registry("VX_REGISTRY_DIR", (dir_ / "registry").c_str());
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\EXCEL.EXE", false));
  reg.WriteString("", sheet);
  const std::string ways[][5] = {
      {"http://127.0.0.1/?x=1&y=2", "", "", opener + " http://127.0.0.1/?x=1&y=2", "http://127.0.0.1/?x=1&y=2"},
      {"iexplore.exe", "http://127.0.0.1/a b", "", opener + " http://127.0.0.1/a b", "http://127.0.0.1/a b"},
      {"Excel.exe", "\"" + doc + "\"", "", sheet + " \"" + doc + "\"", doc},
      {"MANUAL.TXT", "", dir_ / "work", opener + " " + doc, doc}};
  std::string log;
  for (const auto& [file, params, folder, said, got] : ways)
    for (const bool headless : {true, false}) {
      Application->SetPresenter(std::unique_ptr<IPresenter>(headless ? new vx::display::THeadlessPresenter
                                                                       : new TPretendDisplay));
      testing::internal::CaptureStderr();
      EXPECT_GT(intptr_t(ShellExecute(nullptr, "open", file.c_str(), params.c_str(), folder.c_str(), SW_SHOWNORMAL)),
                32);
      EXPECT_EQ(testing::internal::GetCapturedStderr(), headless ? "headless run: " + said + " not started\n" : "");
      if (!headless) log += got + "\n";
      EXPECT_TRUE(vxtest::WaitUntil([&] { return ReadFileBytes(dir_ / "opened.txt") == log; })) << file;
    }
}
