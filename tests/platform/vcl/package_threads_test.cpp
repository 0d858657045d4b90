// Unloading a package whose thread still runs: the thread is stopped and its calls to
// the main thread are served before the package's entries go and its library is
// unmapped, or, when it will not end, the unloading says so and leaves the library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "platform/rtl/sysutils.h"
#include "platform/win/sync.h"
#include "tests/support/wait.h"

namespace {

const char* const kPackage = VX_THREADS_PACKAGE;

template <class F>
F* Entry(const char* Name) {
  void* library = dlopen(kPackage, RTLD_NOW | RTLD_NOLOAD);
  void* entry = library ? dlsym(library, Name) : nullptr;
  if (library) dlclose(library);
  return reinterpret_cast<F*>(entry);
}

bool Mapped() { return Entry<void()>("Initialize") != nullptr; }

// Whether a thread of the package still ran when it was dropped (once at least), or -1.
int g_runningWhenDropped = -1;
bool g_dropFails = false, g_refuse = false;
void Dropping(HMODULE) {
  g_runningWhenDropped = std::max(g_runningWhenDropped, int(Entry<bool()>("ThreadRunning")()));
  if (g_dropFails) throw Exception("An unload procedure failed");
}
// Refuses at once, as a stop that waits for a thread that will not end does.
void Refusing(HMODULE, DWORD) { if (g_refuse) throw Exception("A thread did not end"); }

// The message of the EPackageError that a call raised, or "".
template <class F>
std::string Refusal(F Call) {
  try {
    Call();
  } catch (const EPackageError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(PackageThreads, UnloadingStopsThemBeforeDroppingThePackageOrRefusesInBoundedTime) {
  const struct {
    const char* name;
    int mode;  // as the package numbers them
    bool ends;
  } cases[] = {
      {"a paused thread", 0, true},
      {"a thread that calls the main thread once the package is finalized", 1, true},
      {"a thread that looks its package up once the package is finalized", 2, true},
      {"a thread that ignores the stop", 3, false},
      {"only the unit's own thread, which its finalization stops and waits for", -1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const HMODULE module = LoadPackage(kPackage);
    Entry<void(int)>("StartThread")(c.mode);
    g_runningWhenDropped = -1;
    AddModuleUnloadProc(Dropping);
    std::string refused;
    {
      vxtest::TWatchdog guard(std::string("Unloading with ") + c.name);
      refused = Refusal([&] { UnloadPackage(module); });
    }
    if (c.ends) {
      EXPECT_EQ(refused, "");
      EXPECT_EQ(g_runningWhenDropped, 0) << "the thread ends before the package's entries go";
    } else {
      EXPECT_EQ(refused.rfind("Can't unload package threads_package.\n", 0), 0u) << refused;
      EXPECT_EQ(g_runningWhenDropped, -1);
      ASSERT_TRUE(Mapped()) << "code that a thread runs stays";
      EXPECT_EQ(GetPackageInfo(module), nullptr) << "its units are finalized";
      SetEvent(Entry<HANDLE()>("ReleaseEvent")());
      UnloadPackage(module);
      EXPECT_EQ(g_runningWhenDropped, 0);
    }
    RemoveModuleUnloadProc(Dropping);
    EXPECT_FALSE(Mapped());
  }
}

TEST(PackageThreads, WhileItsLastUnloadingWaitsForItsThreadThePackageIsNeitherLoadedNorUnloadedAgain) {
  vxtest::TWatchdog guard("Loading and unloading while the package is being unloaded");
  const HMODULE module = LoadPackage(kPackage);
  Entry<void(int)>("StartThread")(3);
  AddModuleUnloadProc(Dropping);
  std::thread unloading([&] { EXPECT_EQ(Refusal([&] { UnloadPackage(module); }), ""); });
  Entry<void()>("WaitUntilStopped")();  // the unloading waits for the thread, without the package lock
  EXPECT_EQ(Refusal([&] { LoadPackage(kPackage); }), "Can't load package " + std::string(kPackage) + ".\nThe package is being unloaded");
  EXPECT_EQ(Refusal([&] { UnloadPackage(module); }), "Can't unload package threads_package.\nThe package is being unloaded");
  SetEvent(Entry<HANDLE()>("ReleaseEvent")());
  unloading.join();
  RemoveModuleUnloadProc(Dropping);
  EXPECT_EQ(g_runningWhenDropped, 0) << "dropped once, after the thread's end";
  EXPECT_FALSE(Mapped());
}

TEST(PackageThreads, AFailedLoadOrUnloadingSaysAllThatFailedAndLeavesThePackageToBeLoadedAgain) {
  const struct {
    const char *name, *fault;  // where the package's second unit raises
    bool refuse, dropFails;
    const char* says[3];  // what the error says
  } cases[] = {
      {"an initialization raises after others started threads", "initialization", false, false, {"Can't load", "initialization failed"}},
      {"an initialization raises and the stop is refused", "initialization", true, false, {"Can't load", "initialization failed", "did not end"}},
      {"an initialization raises and an unload procedure too", "initialization", false, true, {"Can't load", "initialization failed", "procedure failed"}},
      {"a finalization raises", "finalization", false, false, {"Can't unload", "finalization failed"}},
      {"a finalization raises and the stop is refused", "finalization", true, false, {"Can't unload", "finalization failed", "did not end"}},
      {"the stop is refused", "", true, false, {"Can't unload", "did not end"}},
      {"an unload procedure raises", "", false, true, {"Can't unload", "procedure failed"}},
  };
  AddModuleStopProc(Refusing);
  AddModuleUnloadProc(Dropping);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    vxtest::TWatchdog guard(std::string("Loading and unloading when ") + c.name);
    setenv("VX_THREADS_PACKAGE_FAULT", c.fault, 1);
    g_refuse = c.refuse, g_dropFails = c.dropFails, g_runningWhenDropped = -1;
    const std::string error = Refusal([] { UnloadPackage(LoadPackage(kPackage)); });
    for (const char* part : c.says) EXPECT_TRUE(!part || error.find(part) != std::string::npos) << error;
    EXPECT_EQ(Mapped(), c.refuse) << "the library stays while its threads may run";
    setenv("VX_THREADS_PACKAGE_FAULT", "", 1);
    g_refuse = g_dropFails = false;
    EXPECT_EQ(Refusal([] { UnloadPackage(LoadPackage(kPackage)); }), "") << "loaded again, each load counted once";
    EXPECT_FALSE(Mapped());
    EXPECT_EQ(g_runningWhenDropped, 0) << "the threads end before the package's entries go";
  }
  RemoveModuleUnloadProc(Dropping);
}
