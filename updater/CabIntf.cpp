#include "updater/CabIntf.h"

#include <dlfcn.h>

#include "platform/rtl/exceptions.h"

namespace CabIntf {

const char* const CabinetLibraryName = "libvxplatform.so";

namespace {

constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;

struct Entries {
  decltype(&::FCICreate) fciCreate = nullptr;
  decltype(&::FCIAddFile) fciAddFile = nullptr;
  decltype(&::FCIFlushCabinet) fciFlushCabinet = nullptr;
  decltype(&::FCIFlushFolder) fciFlushFolder = nullptr;
  decltype(&::FCIDestroy) fciDestroy = nullptr;
  decltype(&::FDICreate) fdiCreate = nullptr;
  decltype(&::FDIIsCabinet) fdiIsCabinet = nullptr;
  decltype(&::FDICopy) fdiCopy = nullptr;
  decltype(&::FDIDestroy) fdiDestroy = nullptr;
};

// A loaded library and its entry points; unloaded when the holder goes away.
struct Binding {
  void* library = nullptr;
  Entries entries;

  Binding() = default;
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;
  ~Binding() { Free(); }
  void Free() {
    if (library) dlclose(library);
    library = nullptr;
    entries = Entries{};
  }
};

Binding g_binding;

std::string LastDlError() {
  const char* e = dlerror();
  return e ? e : "";
}

template <class F>
void Resolve(void* library, const char* name, F& entry) {
  entry = reinterpret_cast<F>(dlsym(library, name));
  if (!entry) {
    std::string text = LastDlError();
    RaiseSystemError(ERROR_PROC_NOT_FOUND, text.empty() ? std::string("Entry point not found: ") + name : text);
  }
}

}  // namespace

void RaiseSystemError(DWORD Code, const std::string& Text) {
  throw EOSError("System Error.  Code: " + std::to_string(Code) + ".\r\n" + Text);
}

void LoadCabinetLibrary(const std::string& LibraryName) {
  if (g_binding.library) return;
  dlerror();
  void* library = dlopen(LibraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) RaiseSystemError(ERROR_MOD_NOT_FOUND, LastDlError());
  Binding b;  // unloads again when an entry point is missing
  b.library = library;
  Entries& e = b.entries;
  Resolve(library, "FCICreate", e.fciCreate);
  Resolve(library, "FCIAddFile", e.fciAddFile);
  Resolve(library, "FCIFlushCabinet", e.fciFlushCabinet);
  Resolve(library, "FCIFlushFolder", e.fciFlushFolder);
  Resolve(library, "FCIDestroy", e.fciDestroy);
  Resolve(library, "FDICreate", e.fdiCreate);
  Resolve(library, "FDIIsCabinet", e.fdiIsCabinet);
  Resolve(library, "FDICopy", e.fdiCopy);
  Resolve(library, "FDIDestroy", e.fdiDestroy);
  g_binding.entries = e;
  g_binding.library = library;
  b.library = nullptr;
}

bool CabinetLibraryLoaded() { return g_binding.library != nullptr; }

void FreeCabinetLibrary() { g_binding.Free(); }

HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
               PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType, PERF perf) {
  LoadCabinetLibrary();
  return g_binding.entries.fdiCreate(pfnalloc, pfnfree, pfnopen, pfnread, pfnwrite, pfnclose, pfnseek, cpuType, perf);
}

BOOL FDIIsCabinet(HFDI hfdi, INT_PTR hf, PFDICABINETINFO pfdici) {
  if (!g_binding.library) return FALSE;
  return g_binding.entries.fdiIsCabinet(hfdi, hf, pfdici);
}

BOOL FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
             PFNFDIDECRYPT pfnfdid, void* pvUser) {
  if (!g_binding.library) return FALSE;
  return g_binding.entries.fdiCopy(hfdi, pszCabinet, pszCabPath, flags, pfnfdin, pfnfdid, pvUser);
}

BOOL FDIDestroy(HFDI hfdi) { return g_binding.library && g_binding.entries.fdiDestroy(hfdi); }

}  // namespace CabIntf
