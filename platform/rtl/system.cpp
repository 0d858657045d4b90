#include "platform/rtl/system.h"

#include <map>
#include <mutex>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

TObject* TClassInfo::Create(TComponent* owner) const {
  if (!create) throw EInvalidOperation(std::string("Cannot create an instance of ") + name);
  return create(owner);
}

namespace {
struct ClassRegistry {
  std::mutex lock;
  std::map<std::string, TClass> byName;  // upper-cased name
};
ClassRegistry& Registry() {
  static ClassRegistry r;
  return r;
}
}  // namespace

void RegisterClass(TClass c) {
  auto& r = Registry();
  std::lock_guard g(r.lock);
  r.byName[UpperCase(c->name)] = c;
}

void UnRegisterClass(TClass c) {
  auto& r = Registry();
  std::lock_guard g(r.lock);
  auto it = r.byName.find(UpperCase(c->name));
  if (it != r.byName.end() && it->second == c) r.byName.erase(it);
}

TClass GetClass(const std::string& name) {
  auto& r = Registry();
  std::lock_guard g(r.lock);
  auto it = r.byName.find(UpperCase(name));
  return it == r.byName.end() ? nullptr : it->second;
}

std::vector<TClass> GetRegisteredClasses() {
  auto& r = Registry();
  std::lock_guard g(r.lock);
  std::vector<TClass> classes;
  for (const auto& [name, c] : r.byName) classes.push_back(c);
  return classes;
}

TClass FindClass(const std::string& name) {
  if (TClass c = GetClass(name)) return c;
  throw EClassNotFound("Class " + name + " not found");
}

void Abort() { throw EAbort(); }

namespace {
// A class whose members are all inline (as the exception macro makes them) has its
// descriptor wherever it is used; the library names such classes here, so that their
// one descriptor lives in it, shared by the program and every package.
[[maybe_unused]] const TClass kInlineClasses[] = {EInvalidPointer::StaticClass()};
}  // namespace

Integer ExitCode = 0;
