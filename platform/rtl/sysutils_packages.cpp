// Packages: loading, the entry points' work, design-time registration and the
// module-stop and module-unload procedures.
#include <dlfcn.h>

#include <algorithm>
#include <cstddef>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/rtl/sysutils.h"
#include "platform/win/resources.h"

namespace {

using TInitializeProc = void (*)();
using TGetTableProc = const TPackageInfoTable* (*)();

// A package is loaded (its units initialized, one handle per LoadPackage not yet undone),
// being unloaded (its last UnloadPackage, or a LoadPackage whose initialization failed, is
// undoing it, partly without the lock), finalized (its units finalized, but a stop
// procedure refused: one handle keeps the library mapped for the threads that still run
// its code) or gone (no entry). Only the call at work takes a package out of "unloading";
// every other path reads the state under the lock.
enum class TState { Loaded, Unloading, Finalized };

struct TLoadedPackage {
  TState state = TState::Loaded;
  std::vector<void*> handles;
  TInitializeProc finalize = nullptr;
  const TPackageInfoTable* table = nullptr;  // null while the first Initialize is at work
};

struct TPackages {
  std::recursive_mutex lock;  // a package's Initialize may load another
  std::map<HMODULE, TLoadedPackage> loaded;
  std::vector<TModuleStopProc> stopProcs;
  std::vector<TModuleUnloadProc> unloadProcs;
};

TPackages& Packages() {
  static auto* p = new TPackages();
  return *p;
}

// How long unloading waits for what still runs the package's code once it is told to end.
constexpr DWORD kStopMs = 10'000;

constexpr const char* kBeingUnloaded = "The package is being unloaded";

[[noreturn]] void LoadError(const std::string& Name, const std::string& Reason) {
  throw EPackageError("Can't load package " + Name + ".\n" + Reason);
}

[[noreturn]] void UnloadError(const std::string& Name, const std::string& Reason) {
  throw EPackageError("Can't unload package " + Name + ".\n" + Reason);
}

// The message of the exception being handled, or Otherwise.
std::string CurrentReason(const char* Otherwise) {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return Otherwise;
  }
}

// Runs Step; false, with the message of what it raised added to Errors, when it raised.
// Only the message leaves: an error of a class of the package's own must be gone before
// the package's library is.
template <class F>
bool Run(F Step, std::vector<std::string>& Errors, const char* Otherwise) {
  try {
    Step();
    return true;
  } catch (...) {
    Errors.push_back(CurrentReason(Otherwise));
    return false;
  }
}

std::string Lines(const std::vector<std::string>& Errors) {
  std::string text;
  for (const std::string& error : Errors) text += (text.empty() ? "" : "\n") + error;
  return text;
}

// Runs the stop procedures, the latest added first, without the lock.
void StopModule(TPackages& p, HMODULE Module) {
  std::vector<TModuleStopProc> procs;
  {
    std::lock_guard guard(p.lock);
    procs = p.stopProcs;
  }
  for (auto it = procs.rbegin(); it != procs.rend(); ++it) (*it)(Module, kStopMs);
}

// Tells the unload procedures, the latest added first, each even when one raises.
void ModuleUnloading(TPackages& p, HMODULE Module, std::vector<std::string>& Errors) {
  const std::vector<TModuleUnloadProc> procs = p.unloadProcs;
  for (auto it = procs.rbegin(); it != procs.rend(); ++it)
    Run([&] { (*it)(Module); }, Errors, "A module-unload procedure failed");
}

// The work of undoing a package that is being unloaded, entered and left with Guard
// locked: runs Finalize, when given, and the stop procedures without the lock. When
// the stop is refused, the package is left finalized with one handle; otherwise the
// unload procedures are told and the library goes. Adds what failed to Errors.
void Undo(TPackages& p, std::unique_lock<std::recursive_mutex>& Guard, HMODULE Module,
          TInitializeProc Finalize, std::vector<std::string>& Errors) {
  // Without the lock: the units' finalizations and the stop procedures wait for threads
  // that may look a package up or load one on their way out, and the calls of those
  // threads to this one are served meanwhile.
  Guard.unlock();
  if (Finalize) Run(Finalize, Errors, "The package's finalization failed");
  const bool stopped = Run([&] { StopModule(p, Module); }, Errors, "The package's code did not stop");
  Guard.lock();
  TLoadedPackage& package = p.loaded.at(Module);
  if (!stopped) {
    for (; package.handles.size() > 1; package.handles.pop_back()) dlclose(package.handles.back());
    package.state = TState::Finalized;
    Errors.back() += "; the units are finalized, the library stays until its code has stopped";
    return;
  }
  ModuleUnloading(p, Module, Errors);
  for (void* handle : package.handles) dlclose(handle);
  p.loaded.erase(Module);
}

void* Entry(void* Handle, const char* Name) { return dlsym(Handle, Name); }

// The folders the dynamic loader searches for the program's own libraries, in its
// order: the program's run path, LD_LIBRARY_PATH and the system's folders.
std::vector<std::string> ProgramLibraryPath() {
  std::vector<std::string> folders;
  void* program = dlopen(nullptr, RTLD_LAZY | RTLD_NOLOAD);
  if (!program) return folders;
  Dl_serinfo size{};
  if (dlinfo(program, RTLD_DI_SERINFOSIZE, &size) == 0 && size.dls_size >= sizeof(Dl_serinfo)) {
    std::vector<std::max_align_t> buffer(size.dls_size / sizeof(std::max_align_t) + 1);
    auto* info = reinterpret_cast<Dl_serinfo*>(buffer.data());
    if (dlinfo(program, RTLD_DI_SERINFOSIZE, info) == 0 && dlinfo(program, RTLD_DI_SERINFO, info) == 0)
      for (unsigned i = 0; i < info->dls_cnt; ++i) folders.emplace_back(info->dls_serpath[i].dls_name);
  }
  dlclose(program);
  return folders;
}

// What to open for a package: a name with a folder as it is; a bare name that the
// process has (the program links it) as it is; another bare name from the program's
// folder, else from the folders searched for the program's own libraries, else as the
// loader finds it from here (its cache).
std::string PackageFile(const std::string& Name) {
  if (Name.empty() || Name.find_first_of("/\\") != std::string::npos) return Name;
  if (void* loaded = dlopen(Name.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
    dlclose(loaded);
    return Name;
  }
  std::vector<std::string> folders = ProgramLibraryPath();
  folders.insert(folders.begin(), ExtractFileDir(ParamStr(0)));
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    const std::string path = IncludeTrailingPathDelimiter(folder) + Name;
    if (FileExists(path)) return NativePath(path);
  }
  return Name;
}

}  // namespace

HMODULE LoadPackage(const std::string& Name) {
  TPackages& p = Packages();
  std::unique_lock guard(p.lock);
  void* handle = dlopen(PackageFile(Name).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    LoadError(Name, why ? why : "The library cannot be loaded");
  }
  auto initialize = reinterpret_cast<TInitializeProc>(Entry(handle, "Initialize"));
  auto finalize = reinterpret_cast<TInitializeProc>(Entry(handle, "Finalize"));
  auto getTable = reinterpret_cast<TGetTableProc>(Entry(handle, "GetPackageInfoTable"));
  if (!initialize || !finalize || !getTable) {
    dlclose(handle);
    LoadError(Name, "The library is not a package: it lacks Initialize, Finalize or GetPackageInfoTable");
  }
  const HMODULE module = ModuleOfAddress(reinterpret_cast<const void*>(initialize));
  TLoadedPackage& package = p.loaded[module];
  if (package.state == TState::Unloading) {
    dlclose(handle);
    LoadError(Name, kBeingUnloaded);
  }
  if (package.state == TState::Finalized) {
    // Initialized again below: this call's handle takes the place of the one that kept
    // the library for the threads that still run its code.
    dlclose(package.handles.back());
    package = TLoadedPackage{};
  }
  package.handles.push_back(handle);
  std::vector<std::string> errors;
  const bool initialized = Run(initialize, errors, "The package's initialization failed");
  package.finalize = finalize;
  package.table = getTable();
  if (initialized) return module;
  // Undone as a last unloading is: the Initialize that failed still counts, so Finalize
  // finalizes the units initialized before.
  package.state = TState::Unloading;
  Undo(p, guard, module, finalize, errors);
  LoadError(Name, Lines(errors));
}

void UnloadPackage(HMODULE Module) {
  TPackages& p = Packages();
  std::unique_lock guard(p.lock);
  auto it = p.loaded.find(Module);
  // Not loaded, or its first Initialize is still at work.
  if (it == p.loaded.end() || !it->second.table) return;
  TLoadedPackage& package = it->second;
  const std::string name = package.table->Name;
  if (package.state == TState::Unloading) UnloadError(name, kBeingUnloaded);
  std::vector<std::string> errors;
  if (package.state == TState::Loaded && package.handles.size() > 1) {
    // Not the last: Finalize only counts down, under the lock as Initialize does.
    Run(package.finalize, errors, "The package's finalization failed");
    dlclose(package.handles.back());
    package.handles.pop_back();
  } else {
    // The last, or again after a refused stop: then the units are finalized already.
    const TInitializeProc finalize = package.state == TState::Loaded ? package.finalize : nullptr;
    package.state = TState::Unloading;
    Undo(p, guard, Module, finalize, errors);
  }
  if (!errors.empty()) UnloadError(name, Lines(errors));
}

const TPackageInfoTable* GetPackageInfo(HMODULE Module) {
  TPackages& p = Packages();
  std::lock_guard guard(p.lock);
  auto it = p.loaded.find(Module);
  return it == p.loaded.end() || it->second.state != TState::Loaded ? nullptr : it->second.table;
}

void RegisterPackage(HMODULE Module) {
  const TPackageInfoTable* table = GetPackageInfo(Module);
  if (!table) throw EPackageError("The module is not a loaded package");
  for (size_t i = 0; i < table->UnitCount; ++i)
    if (table->Units[i].Register) table->Units[i].Register();
}

void AddModuleUnloadProc(TModuleUnloadProc Proc) {
  TPackages& p = Packages();
  std::lock_guard guard(p.lock);
  p.unloadProcs.push_back(Proc);
}

void RemoveModuleUnloadProc(TModuleUnloadProc Proc) {
  TPackages& p = Packages();
  std::lock_guard guard(p.lock);
  std::erase(p.unloadProcs, Proc);
}

void AddModuleStopProc(TModuleStopProc Proc) {
  TPackages& p = Packages();
  std::lock_guard guard(p.lock);
  p.stopProcs.push_back(Proc);
}

namespace vx_packages {

void InitializeUnits(const TPackageInfoTable& Table, int& Count, size_t& Done) {
  if (Count++ > 0) return;
  for (; Done < Table.UnitCount; ++Done)
    if (Table.Units[Done].Initialization) Table.Units[Done].Initialization();
}

void FinalizeUnits(const TPackageInfoTable& Table, int& Count, size_t& Done) {
  if (Count <= 0 || --Count > 0) return;
  std::exception_ptr error;
  while (Done > 0) {
    --Done;
    if (!Table.Units[Done].Finalization) continue;
    try {
      Table.Units[Done].Finalization();
    } catch (...) {
      if (!error) error = std::current_exception();
    }
  }
  if (error) std::rethrow_exception(error);
}

}  // namespace vx_packages
