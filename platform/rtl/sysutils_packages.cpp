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

// A package is loaded (its LoadPackage calls not all undone), being unloaded (its last
// UnloadPackage is at work, partly without the lock) or gone (no entry). Only the
// UnloadPackage at work takes a package out of "unloading"; every other path reads the
// state under the lock.
enum class TState { Loaded, Unloading };

struct TLoadedPackage {
  TState state = TState::Loaded;
  std::vector<void*> handles;  // one per LoadPackage not yet undone
  TInitializeProc finalize = nullptr;
  const TPackageInfoTable* table = nullptr;
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

// Runs a package's Initialize or Finalize; what it raised.
std::exception_ptr Call(TInitializeProc Proc) {
  try {
    Proc();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
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

// Tells the unload procedures, the latest added first.
void ModuleUnloading(TPackages& p, HMODULE Module) {
  const std::vector<TModuleUnloadProc> procs = p.unloadProcs;
  for (auto it = procs.rbegin(); it != procs.rend(); ++it) (*it)(Module);
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
  std::lock_guard guard(p.lock);
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
  auto [it, first] = p.loaded.try_emplace(module);
  if (it->second.state == TState::Unloading) {
    dlclose(handle);
    LoadError(Name, kBeingUnloaded);
  }
  try {
    initialize();
  } catch (...) {
    const std::string why = CurrentReason("The package's initialization failed");
    if (first) {
      ModuleUnloading(p, module);
      p.loaded.erase(it);
    }
    dlclose(handle);
    LoadError(Name, why);
  }
  it->second.handles.push_back(handle);
  it->second.finalize = finalize;
  it->second.table = getTable();
  return module;
}

void UnloadPackage(HMODULE Module) {
  TPackages& p = Packages();
  void* handle;
  TInitializeProc finalize;
  std::string name;
  {
    std::lock_guard guard(p.lock);
    auto it = p.loaded.find(Module);
    // Not loaded, or its first Initialize is still at work.
    if (it == p.loaded.end() || !it->second.table) return;
    TLoadedPackage& package = it->second;
    name = package.table->Name;
    if (package.state == TState::Unloading) UnloadError(name, kBeingUnloaded);
    handle = package.handles.back();
    package.handles.pop_back();
    if (!package.handles.empty()) {
      // Not the last: Finalize only counts down, under the lock as Initialize does.
      const std::exception_ptr error = Call(package.finalize);
      dlclose(handle);
      if (error) std::rethrow_exception(error);
      return;
    }
    package.state = TState::Unloading;
    finalize = package.finalize;
  }
  // Without the lock: the units' finalizations and the stop procedures wait for threads
  // that may look a package up or load one on their way out, and the calls of those
  // threads to this one are served meanwhile.
  const std::exception_ptr error = Call(finalize);
  try {
    StopModule(p, Module);
  } catch (...) {
    const std::string why = CurrentReason("The package's code did not stop");
    std::lock_guard guard(p.lock);
    TLoadedPackage& package = p.loaded.at(Module);
    package.handles.push_back(handle);
    package.state = TState::Loaded;
    UnloadError(name, why + "; the package stays loaded");
  }
  {
    std::lock_guard guard(p.lock);
    ModuleUnloading(p, Module);
    p.loaded.erase(Module);
    dlclose(handle);
  }
  if (error) std::rethrow_exception(error);
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
  try {
    for (; Done < Table.UnitCount; ++Done)
      if (Table.Units[Done].Initialization) Table.Units[Done].Initialization();
  } catch (...) {
    int one = 1;
    try {
      FinalizeUnits(Table, one, Done);
    } catch (...) {
    }
    Count = 0;
    throw;
  }
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
