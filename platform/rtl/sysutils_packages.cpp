// Packages: loading, the entry points' work, design-time registration and the
// module-stop and module-unload procedures.
#include <dlfcn.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/rtl/sysutils.h"
#include "platform/win/resources.h"

namespace {

using TInitializeProc = void (*)();
using TGetTableProc = const TPackageInfoTable* (*)();

struct TLoadedPackage {
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

[[noreturn]] void LoadError(const std::string& Name, const std::string& Reason) {
  throw EPackageError("Can't load package " + Name + ".\n" + Reason);
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
  std::string name;
  std::exception_ptr error;
  {
    std::lock_guard guard(p.lock);
    auto it = p.loaded.find(Module);
    // No handle left: the last unloading is under way on another thread.
    if (it == p.loaded.end() || it->second.handles.empty()) return;
    handle = it->second.handles.back();
    it->second.handles.pop_back();
    try {
      it->second.finalize();
    } catch (...) {
      error = std::current_exception();
    }
    if (!it->second.handles.empty()) {
      dlclose(handle);
      if (error) std::rethrow_exception(error);
      return;
    }
    name = it->second.table->Name;
  }
  // Without the lock: the threads' calls to this thread are served while they end, and
  // one of them may look a package up or load one meanwhile.
  try {
    StopModule(p, Module);
  } catch (...) {
    const std::string why = CurrentReason("The package's code did not stop");
    std::lock_guard guard(p.lock);
    p.loaded[Module].handles.push_back(handle);
    throw EPackageError("Can't unload package " + name + ".\n" + why + "; the package stays loaded");
  }
  {
    std::lock_guard guard(p.lock);
    auto it = p.loaded.find(Module);
    // Unless it was loaded again meanwhile.
    if (it->second.handles.empty()) {
      ModuleUnloading(p, Module);
      p.loaded.erase(it);
    }
    dlclose(handle);
  }
  if (error) std::rethrow_exception(error);
}

const TPackageInfoTable* GetPackageInfo(HMODULE Module) {
  TPackages& p = Packages();
  std::lock_guard guard(p.lock);
  auto it = p.loaded.find(Module);
  return it == p.loaded.end() ? nullptr : it->second.table;
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
