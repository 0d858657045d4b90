// Resources: files embedded into a program or shared library at build time (see
// vx_embed_resources in cmake/VxHelpers.cmake), one table per module, found by type
// and name ignoring case. A type is a name ("PNG", "BMP") or one of the standard
// numbered types (RT_BITMAP is the folder BITMAP, RT_RCDATA the folder RCDATA); a
// name may be "#<number>" or MAKEINTRESOURCE(number).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win/wintypes.h"

VX_DECLARE_HANDLE(HRSRC);
using HGLOBAL = void*;

inline const char* MAKEINTRESOURCE(WORD Id) { return reinterpret_cast<const char*>(uintptr_t(Id)); }
inline bool IS_INTRESOURCE(const char* P) { return (reinterpret_cast<uintptr_t>(P) >> 16) == 0; }

inline const char* const RT_CURSOR = MAKEINTRESOURCE(1);
inline const char* const RT_BITMAP = MAKEINTRESOURCE(2);
inline const char* const RT_ICON = MAKEINTRESOURCE(3);
inline const char* const RT_MENU = MAKEINTRESOURCE(4);
inline const char* const RT_DIALOG = MAKEINTRESOURCE(5);
inline const char* const RT_STRING = MAKEINTRESOURCE(6);
inline const char* const RT_RCDATA = MAKEINTRESOURCE(10);
inline const char* const RT_GROUP_CURSOR = MAKEINTRESOURCE(12);
inline const char* const RT_GROUP_ICON = MAKEINTRESOURCE(14);
inline const char* const RT_VERSION = MAKEINTRESOURCE(16);
inline const char* const RT_HTML = MAKEINTRESOURCE(23);

constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

// Null (last error ERROR_RESOURCE_...) when the module has no such resource. A null
// module is the program.
HRSRC FindResource(HMODULE hModule, const char* lpName, const char* lpType);
// The resource's bytes (they stay valid while the module is loaded).
HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
void* LockResource(HGLOBAL hResData);
DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
BOOL FreeResource(HGLOBAL hResData);

// The program (null) or a loaded library by file name (ignoring case and folder).
HMODULE GetModuleHandle(const char* lpModuleName);
// The module (program or shared library) whose code or data holds the address.
HMODULE ModuleOfAddress(const void* Address);

// One embedded file: bitmaps of type BITMAP are kept without their file header, as the
// type's resources are.
struct TResourceEntry {
  const char* Type;
  const char* Name;
  const unsigned char* Data;
  size_t Size;
};
// The generated tables of a module register themselves when the module loads (a
// module may have several; they are searched in the order they came).
void RegisterResources(HMODULE Module, const TResourceEntry* Entries, size_t Count);
void UnregisterResources(HMODULE Module, const TResourceEntry* Entries);

namespace {
// The module this code is part of (the framework's HInstance of a unit).
[[maybe_unused]] inline HINSTANCE HInstance() {
  static const char anchor = 0;
  return ModuleOfAddress(&anchor);
}
// True in the code of a shared library (a package), false in the program's own code.
[[maybe_unused]] inline bool IsLibrary() { return HInstance() != GetModuleHandle(nullptr); }
}  // namespace
