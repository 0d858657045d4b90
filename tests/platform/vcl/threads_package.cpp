// A package with a thread of its own, which the tests of unloading start in one of the
// ways a package's thread may behave when its package goes, and one that its unit starts
// in its initialization and stops in its finalization; a second unit raises where
// VX_THREADS_PACKAGE_FAULT says, its initialization after starting a thread.
#include <atomic>
#include <iterator>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/thread.h"
#include "platform/win/resources.h"
#include "platform/win/sync.h"

extern "C" __attribute__((visibility("default"))) void StartThread(int Mode);
namespace {

enum TMode { kPaused, kCallsBack, kLooksUp, kStubborn };

std::atomic<bool> g_running{false};
HANDLE g_started = nullptr;    // set as the thread begins its work
HANDLE g_finalized = nullptr;  // set by the unit's finalization
HANDLE g_released = nullptr;   // set by the test
HANDLE g_stopped = nullptr;    // set by a stubborn thread told to end

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
        WaitForSingleObject(TerminatedEvent(), INFINITE);
        SetEvent(g_stopped);
        WaitForSingleObject(g_released, INFINITE);
        break;
    }
  }
};

// The unit's own thread: stopped by the finalization, it looks its package up as it ends.
class TUnitThread : public TThread {
  VX_CLASS(TUnitThread, TThread)

 public:
  TUnitThread() : TThread(false) {}

 protected:
  void Execute() override {
    SetEvent(g_started);
    WaitForSingleObject(TerminatedEvent(), INFINITE);
    GetPackageInfo(HInstance());
  }
};
TUnitThread* g_unitThread = nullptr;

void Initialization() {
  g_started = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  g_finalized = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  g_released = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  g_stopped = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  g_unitThread = TThread::Create<TUnitThread>();
  WaitForSingleObject(g_started, INFINITE);
}

void Finalization() {
  g_unitThread->Terminate();
  g_unitThread->WaitFor();
  delete g_unitThread;
  SetEvent(g_finalized);
}

VX_EXCEPTION(EThreadsPackageFault, Exception)  // its type information goes with the library
void Fault(std::string_view Where) {
  if (const char* fault = std::getenv("VX_THREADS_PACKAGE_FAULT"); !fault || Where != fault) return;
  if (Where == "initialization") StartThread(kPaused);
  throw EThreadsPackageFault("The unit's " + std::string(Where) + " failed");
}

const TPackageUnit kUnits[] = {{"ThreadsPackage", Initialization, Finalization, nullptr},
                               {"Faults", [] { Fault("initialization"); }, [] { Fault("finalization"); }, nullptr}};
const TPackageInfoTable kPackage{"threads_package", kUnits, std::size(kUnits)};

}  // namespace

VX_PACKAGE_ENTRY_POINTS(kPackage)

extern "C" __attribute__((visibility("default"))) void StartThread(int Mode) {
  if (Mode < 0) return;
  auto* thread = new TPackageThread;
  thread->Mode = Mode;
  g_running = true;
  thread->Start();
  WaitForSingleObject(g_started, INFINITE);
}

extern "C" __attribute__((visibility("default"))) bool ThreadRunning() { return g_running; }

extern "C" __attribute__((visibility("default"))) HANDLE ReleaseEvent() { return g_released; }

extern "C" __attribute__((visibility("default"))) void WaitUntilStopped() { WaitForSingleObject(g_stopped, INFINITE); }
