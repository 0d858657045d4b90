// Binding of the cabinet library: the library is loaded on first use and its nine
// entry points are resolved by name; the decompression calls go through them.
#pragma once

#include <string>

#include "platform/cabinet/fci.h"
#include "platform/cabinet/fdi.h"
#include "platform/win/wintypes.h"

namespace CabIntf {

// The shared library that provides the cabinet entry points.
extern const char* const CabinetLibraryName;

// Loads the library and resolves FCICreate, FCIAddFile, FCIFlushCabinet,
// FCIFlushFolder, FCIDestroy, FDICreate, FDIIsCabinet, FDICopy and FDIDestroy.
// A library that does not load, or lacks an entry point, raises EOSError and
// stays unloaded. Loading an already loaded library does nothing.
void LoadCabinetLibrary(const std::string& LibraryName = CabinetLibraryName);
bool CabinetLibraryLoaded();
// Unloads the library (it is also unloaded when the program ends).
void FreeCabinetLibrary();

// FDICreate loads the library when needed; the others need a context from it.
HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
               PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType, PERF perf);
BOOL FDIIsCabinet(HFDI hfdi, INT_PTR hf, PFDICABINETINFO pfdici);
BOOL FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
             PFNFDIDECRYPT pfnfdid, void* pvUser);
BOOL FDIDestroy(HFDI hfdi);

// Raises EOSError with the framework's text for a system error:
// "System Error.  Code: <code>.\r\n<text>".
[[noreturn]] void RaiseSystemError(DWORD Code, const std::string& Text);

}  // namespace CabIntf
