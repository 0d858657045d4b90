// A package with one thread of its own, which the tests of unloading start in one of
// the ways a package's thread may behave when its package goes.
#include <atomic>
#include <iterator>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/thread.h"
#include "platform/win/resources.h"
#include "platform/win/sync.h"

namespace {

enum TMode { kPaused, kCallsBack, kLooksUp, kStubborn };

std::atomic<bool> g_running{false};
HANDLE g_started = nullptr;    // set as the thread begins its work
HANDLE g_finalized = nullptr;  // set by the unit's finalization
HANDLE g_released = nullptr;   // set by ReleaseThread

class TPackageThread : public TThread {
  VX_CLASS(TPackageThread, TThread)

 public:
  TPackageThread() : TThread(true) { SetFreeOnTerminate(true); }
  ~TPackageThread() override { g_running = false; }
  int Mode = kPaused;

 protected:
  void Execute() override {
    SetEvent(g_started);
    switch (Mode) {
      case kPaused:
        Suspend();
        WaitWhileSuspended();
        break;
      case kCallsBack:
        WaitForSingleObject(g_finalized, INFINITE);
        Synchronize(TThreadMethod::FromFunction([] {}));
        break;
      case kLooksUp:
        WaitForSingleObject(g_finalized, INFINITE);
        GetPackageInfo(HInstance());
        break;
      case kStubborn:
        WaitForSingleObject(g_released, INFINITE);
        break;
    }
  }
};

void Initialization() {
  g_started = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  g_finalized = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  g_released = CreateEvent(nullptr, TRUE, FALSE, nullptr);
}

void Finalization() { SetEvent(g_finalized); }

const TPackageUnit kUnits[] = {{"ThreadsPackage", Initialization, Finalization, nullptr}};
const TPackageInfoTable kPackage{"threads_package", kUnits, std::size(kUnits)};

}  // namespace

VX_PACKAGE_ENTRY_POINTS(kPackage)

extern "C" __attribute__((visibility("default"))) void StartThread(int Mode) {
  auto* thread = new TPackageThread;
  thread->Mode = Mode;
  g_running = true;
  thread->Start();
  WaitForSingleObject(g_started, INFINITE);
}

extern "C" __attribute__((visibility("default"))) bool ThreadRunning() { return g_running; }

extern "C" __attribute__((visibility("default"))) void ReleaseThread() { SetEvent(g_released); }
