#include "platform/win/resources.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/auxv.h>

#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct TTable {
  const TResourceEntry* entries;
  size_t count;
};

std::mutex& Lock() {
  static std::mutex m;
  return m;
}

std::map<HMODULE, std::vector<TTable>>& Tables() {
  static auto* t = new std::map<HMODULE, std::vector<TTable>>();
  return *t;
}

bool SameName(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

// The text form of a type: a standard number becomes its folder name.
std::string TypeName(const char* type) {
  if (!IS_INTRESOURCE(type)) return type;
  switch (reinterpret_cast<uintptr_t>(type)) {
    case 1: return "CURSOR";
    case 2: return "BITMAP";
    case 3: return "ICON";
    case 4: return "MENU";
    case 5: return "DIALOG";
    case 6: return "STRING";
    case 10: return "RCDATA";
    case 12: return "GROUP_CURSOR";
    case 14: return "GROUP_ICON";
    case 16: return "VERSION";
    case 23: return "HTML";
    default: return "#" + std::to_string(reinterpret_cast<uintptr_t>(type));
  }
}

std::string ResName(const char* name) {
  if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<uintptr_t>(name));
  return name;
}

HMODULE ProgramModule() {
  static HMODULE program = ModuleOfAddress(reinterpret_cast<const void*>(getauxval(AT_PHDR)));
  return program;
}

}  // namespace

HMODULE ModuleOfAddress(const void* Address) {
  Dl_info info{};
  if (!Address || !dladdr(Address, &info)) return nullptr;
  return reinterpret_cast<HMODULE>(info.dli_fbase);
}

HMODULE GetModuleHandle(const char* lpModuleName) {
  if (!lpModuleName) return ProgramModule();
  struct TSearch {
    std::string want;
    const void* found = nullptr;
  } search;
  std::string want = lpModuleName;
  want = want.substr(want.find_last_of("/\\") + 1);
  search.want = want;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) -> int {
        auto* s = static_cast<TSearch*>(data);
        if (!info->dlpi_name || !*info->dlpi_name) return 0;
        std::string name = info->dlpi_name;
        name = name.substr(name.find_last_of('/') + 1);
        // "vxpackage" finds "libvxpackage.so", as the library's name without the
        // platform's decoration.
        auto bare = [](std::string n) {
          if (n.rfind("lib", 0) == 0) n = n.substr(3);
          const size_t dot = n.find('.');
          return dot == std::string::npos ? n : n.substr(0, dot);
        };
        if (SameName(name.c_str(), s->want.c_str()) || SameName(bare(name).c_str(), bare(s->want).c_str())) {
          s->found = info->dlpi_phdr;
          return 1;
        }
        return 0;
      },
      &search);
  return search.found ? ModuleOfAddress(search.found) : nullptr;
}

void RegisterResources(HMODULE Module, const TResourceEntry* Entries, size_t Count) {
  std::lock_guard g(Lock());
  Tables()[Module].push_back(TTable{Entries, Count});
}

void UnregisterResources(HMODULE Module, const TResourceEntry* Entries) {
  std::lock_guard g(Lock());
  auto it = Tables().find(Module);
  if (it == Tables().end()) return;
  std::erase_if(it->second, [&](const TTable& t) { return t.entries == Entries; });
  if (it->second.empty()) Tables().erase(it);
}

HRSRC FindResource(HMODULE hModule, const char* lpName, const char* lpType) {
  if (!hModule) hModule = ProgramModule();
  if (!lpName || !lpType) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string type = TypeName(lpType), name = ResName(lpName);
  std::lock_guard g(Lock());
  auto it = Tables().find(hModule);
  if (it == Tables().end()) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  bool typeFound = false;
  for (const TTable& table : it->second)
    for (size_t i = 0; i < table.count; ++i) {
      const TResourceEntry& e = table.entries[i];
      if (!SameName(e.Type, type.c_str())) continue;
      typeFound = true;
      if (SameName(e.Name, name.c_str())) return reinterpret_cast<HRSRC>(const_cast<TResourceEntry*>(&e));
    }
  SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC hResInfo) {
  if (!hResInfo) return nullptr;
  const auto* e = reinterpret_cast<const TResourceEntry*>(hResInfo);
  // An empty resource still has an address.
  static const unsigned char empty = 0;
  return const_cast<unsigned char*>(e->Size ? e->Data : &empty);
}

void* LockResource(HGLOBAL hResData) { return hResData; }

DWORD SizeofResource(HMODULE, HRSRC hResInfo) {
  return hResInfo ? DWORD(reinterpret_cast<const TResourceEntry*>(hResInfo)->Size) : 0;
}

BOOL FreeResource(HGLOBAL) { return FALSE; }
