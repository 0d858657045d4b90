// The component palette, and the class list's part in unloading a package.
#include <algorithm>
#include <mutex>

#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/resources.h"

namespace {

struct TPaletteEntry {
  std::string page;
  TComponentClass cls;
};

struct TPalette {
  std::mutex lock;
  std::vector<TPaletteEntry> entries;  // in order of registration
  std::vector<std::string> pages;      // in order of first registration
};

TPalette& Palette() {
  static auto* p = new TPalette();
  return *p;
}

void ModuleUnloading(HMODULE Module) { UnRegisterModuleClasses(Module); }

const bool kUnloadProc = [] {
  AddModuleUnloadProc(ModuleUnloading);
  return true;
}();

}  // namespace

void RegisterComponents(const std::string& Page, std::initializer_list<TComponentClass> ComponentClasses) {
  TPalette& p = Palette();
  for (TComponentClass cls : ComponentClasses) {
    if (!cls) continue;
    RegisterClass(cls);
    std::lock_guard guard(p.lock);
    std::erase_if(p.entries, [&](const TPaletteEntry& e) { return SameText(e.cls->name, cls->name); });
    p.entries.push_back(TPaletteEntry{Page, cls});
    if (std::none_of(p.pages.begin(), p.pages.end(), [&](const std::string& s) { return SameText(s, Page); }))
      p.pages.push_back(Page);
  }
}

std::vector<std::string> GetPalettePages() {
  TPalette& p = Palette();
  std::lock_guard guard(p.lock);
  std::vector<std::string> pages;
  for (const std::string& page : p.pages)
    if (std::any_of(p.entries.begin(), p.entries.end(), [&](const TPaletteEntry& e) { return SameText(e.page, page); }))
      pages.push_back(page);
  return pages;
}

std::vector<TComponentClass> GetPaletteClasses(const std::string& Page) {
  TPalette& p = Palette();
  std::lock_guard guard(p.lock);
  std::vector<TComponentClass> classes;
  for (const TPaletteEntry& e : p.entries)
    if (SameText(e.page, Page)) classes.push_back(e.cls);
  return classes;
}

TComponentClass FindPaletteClass(const std::string& ClassName, std::string* Page) {
  TPalette& p = Palette();
  std::lock_guard guard(p.lock);
  for (const TPaletteEntry& e : p.entries)
    if (SameText(e.cls->name, ClassName)) {
      if (Page) *Page = e.page;
      return e.cls;
    }
  return nullptr;
}

void UnRegisterModuleClasses(HMODULE Module) {
  if (!Module) return;
  {
    TPalette& p = Palette();
    std::lock_guard guard(p.lock);
    std::erase_if(p.entries, [&](const TPaletteEntry& e) { return ModuleOfAddress(e.cls) == Module; });
  }
  for (TClass c : GetRegisteredClasses())
    if (ModuleOfAddress(c) == Module) UnRegisterClass(c);
}
