#include "platform/win/sync.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/win/filelock.h"
#include "platform/win/process.h"
#include "tests/support/TempFolder.h"
#include "tests/support/script_file.h"
#include "tests/support/wait.h"

namespace {

std::string UniqueName(const std::string& base) { return base + "_" + std::to_string(getpid()) + "_Loader"; }

// Runs `probe` in a forked child; answers its exit code.
template <class F>
int InChild(F probe) {
  const pid_t pid = fork();
  if (pid == 0) _exit(probe());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// 0: the mutex was new to this process; 1: it existed; 2: failure.
int ProbeMutex(const std::string& name) {
  HANDLE h = CreateMutex(nullptr, TRUE, name.c_str());
  if (!h) return 2;
  const DWORD err = GetLastError();
  CloseHandle(h);
  return err == ERROR_ALREADY_EXISTS ? 1 : (err == ERROR_SUCCESS ? 0 : 2);
}

}  // namespace

TEST(CriticalSections, AreRecursiveForTheirThreadAndExclusiveForOthers) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);
  std::atomic<int> otherGot{-1};
  std::thread([&] { otherGot = TryEnterCriticalSection(&cs); }).join();
  EXPECT_EQ(otherGot, FALSE);
  LeaveCriticalSection(&cs);
  std::thread([&] { otherGot = TryEnterCriticalSection(&cs); }).join();
  EXPECT_EQ(otherGot, FALSE) << "still held once";
  LeaveCriticalSection(&cs);
  std::thread([&] {
    otherGot = TryEnterCriticalSection(&cs);
    if (otherGot) LeaveCriticalSection(&cs);
  }).join();
  EXPECT_EQ(otherGot, TRUE);
  DeleteCriticalSection(&cs);

  TCriticalSection lock;
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10'000; ++i) {
        lock.Enter();
        lock.Acquire();  // re-entered by the same thread
        ++counter;
        lock.Release();
        lock.Leave();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40'000);
}

TEST(NamedMutex, SecondHolderInAnotherProcessSeesItExists) {
  const std::string name = UniqueName("VxTest Title");
  HANDLE h = CreateMutex(nullptr, TRUE, name.c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(InChild([&] { return ProbeMutex(name); }), 1);
  EXPECT_EQ(ProbeMutex(name), 1) << "a second handle in the same process sees it too";
  EXPECT_TRUE(ReleaseMutex(h));
  EXPECT_FALSE(ReleaseMutex(h));
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
  EXPECT_EQ(InChild([&] { return ProbeMutex(name); }), 1) << "released but still open: it still exists";
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_EQ(InChild([&] { return ProbeMutex(name); }), 0);
  EXPECT_EQ(ProbeMutex(name), 0);
  std::filesystem::remove(MutexLockFileName(name));
}

TEST(NamedMutex, EndsWithItsHolderAndIsNotPassedToChildren) {
  const std::string name = UniqueName("VxTest Holder");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    HANDLE h = CreateMutex(nullptr, TRUE, name.c_str());
    const char ok = (h && GetLastError() == ERROR_SUCCESS) ? '1' : '0';
    [[maybe_unused]] ssize_t n = write(ready[1], &ok, 1);
    pause();
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  EXPECT_EQ(ok, '1');
  EXPECT_EQ(ProbeMutex(name), 1);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(ProbeMutex(name), 0) << "an abandoned mutex is free again";
  close(ready[0]);
  close(ready[1]);

  // A program started while the mutex is held does not keep it.
  HANDLE h = CreateMutex(nullptr, TRUE, name.c_str());
  ASSERT_EQ(GetLastError(), ERROR_SUCCESS);
  PROCESS_INFORMATION pi;
  STARTUPINFO si;
  ASSERT_TRUE(CreateProcess("/bin/sleep", "sleep 5", nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  CloseHandle(h);
  EXPECT_EQ(ProbeMutex(name), 0);
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 10'000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  std::filesystem::remove(MutexLockFileName(name));
}

TEST(NamedMutex, NamesStayInsideTheRuntimeFolderAndApart) {
  const std::string a = MutexLockFileName("../../etc/x");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(std::filesystem::path(a).parent_path().string(), runtime && *runtime ? runtime : "/tmp");
  EXPECT_NE(MutexLockFileName("a b"), MutexLockFileName("a_b"));
  EXPECT_NE(MutexLockFileName("Title"), MutexLockFileName("title"));
  const std::string first = UniqueName("a b"), second = UniqueName("a_b");
  HANDLE h = CreateMutex(nullptr, TRUE, first.c_str());
  EXPECT_EQ(ProbeMutex(second), 0);
  CloseHandle(h);
  std::filesystem::remove(MutexLockFileName(first));
  std::filesystem::remove(MutexLockFileName(second));
}

namespace {

class FileInUseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_ / "Client.dat";
    WriteFileBytes(file_, "data");
  }
  // Starts a script given the file and a "ready" marker; waits for the marker.
  PROCESS_INFORMATION Start(const std::string& body) {
    const std::string script = dir_ / "holder.sh";
    WriteScript(script, body);
    const std::string marker = dir_ / "ready";
    std::filesystem::remove(marker);
    PROCESS_INFORMATION pi;
    STARTUPINFO si;
    const std::string cmd = "holder \"" + file_ + "\" \"" + marker + "\"";
    EXPECT_TRUE(CreateProcess(script.c_str(), cmd.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_TRUE(vxtest::WaitUntil([&] { return std::filesystem::exists(marker); })) << "the holder did not start";
    return pi;
  }
  void Stop(PROCESS_INFORMATION& pi) {
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10'000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }

  TempFolder dir_;
  std::string file_;
};

}  // namespace

TEST_F(FileInUseTest, FreeMissingAndEmptyNamesAreNotInUse) {
  EXPECT_FALSE(IsFileInUse(file_));
  EXPECT_FALSE(IsFileInUse(""));
  EXPECT_FALSE(IsFileInUse(dir_ / "missing.exe"));
  EXPECT_EQ(ReadFileBytes(file_), "data") << "probing must not change the file";
}

TEST_F(FileInUseTest, OpenInAnotherProcess) {
  PROCESS_INFORMATION pi = Start("exec 3<\"$1\"\ntouch \"$2\"\nexec sleep 30\n");
  EXPECT_TRUE(IsFileInUse(file_));
  EXPECT_TRUE(IsFileInUse(dir_.Path() + "\\CLIENT.DAT")) << "found through its Windows name";
  Stop(pi);
  EXPECT_FALSE(IsFileInUse(file_));
}

TEST_F(FileInUseTest, LockedByAnotherProcess) {
  PROCESS_INFORMATION pi = Start("exec flock \"$1\" sh -c 'touch \"$1\"; exec sleep 30' sh \"$2\"\n");
  EXPECT_TRUE(IsFileInUse(file_));
  Stop(pi);
}

TEST_F(FileInUseTest, RecordLockHeldElsewhere) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    const int fd = open(file_.c_str(), O_RDWR);
    struct flock lock{};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    fcntl(fd, F_SETLK, &lock);
    [[maybe_unused]] ssize_t n = write(ready[1], "1", 1);
    pause();
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_TRUE(IsFileInUse(file_));
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_FALSE(IsFileInUse(file_));
  close(ready[0]);
  close(ready[1]);
}

TEST_F(FileInUseTest, ExecutingProgramAndOwnOpenHandles) {
  const std::string program = dir_ / "client";
  std::filesystem::copy_file("/bin/sleep", program);
  PROCESS_INFORMATION pi;
  STARTUPINFO si;
  ASSERT_TRUE(CreateProcess(program.c_str(), "client 30", nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_TRUE(vxtest::WaitUntil([&] { return IsFileInUse(dir_.Path() + "/CLIENT.EXE"); }));
  Stop(pi);
  EXPECT_FALSE(IsFileInUse(program));

  const int fd = open(file_.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_TRUE(IsFileInUse(file_)) << "an open handle of this process counts too";
  close(fd);
  EXPECT_FALSE(IsFileInUse(file_));
}
