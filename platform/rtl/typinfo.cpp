#include "platform/rtl/typinfo.h"

#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "platform/rtl/sysutils.h"
#include "platform/win/resources.h"

namespace {

struct TRegistry {
  std::mutex lock;
  std::map<TClass, std::deque<TPropInfo>> props;  // entries never move
};

TRegistry& Registry() {
  static TRegistry r;
  return r;
}

// An unloaded package's classes take their properties (whose code is gone) with them.
void ModuleUnloading(HMODULE Module) {
  TRegistry& r = Registry();
  std::lock_guard g(r.lock);
  std::erase_if(r.props, [&](const auto& entry) { return ModuleOfAddress(entry.first) == Module; });
}

const bool kUnloadProc = [] {
  AddModuleUnloadProc(ModuleUnloading);
  return true;
}();

}  // namespace

namespace vx_typinfo {
void RaiseConvertError(const std::string& PropName) {
  throw EPropertyConvertError("Invalid property type: " + PropName);
}
}  // namespace vx_typinfo

void RegisterPublishedProperty(TClass AClass, TPropInfo Info) {
  TRegistry& r = Registry();
  std::lock_guard g(r.lock);
  auto& list = r.props[AClass];
  for (TPropInfo& p : list)
    if (SameText(p.Name, Info.Name)) {
      p = std::move(Info);
      return;
    }
  list.push_back(std::move(Info));
}

const TPropInfo* GetPropInfo(const TObject* Instance, const std::string& PropName) {
  if (!Instance) return nullptr;
  TRegistry& r = Registry();
  std::lock_guard g(r.lock);
  for (TClass c = Instance->ClassType(); c; c = c->parent) {
    auto it = r.props.find(c);
    if (it == r.props.end()) continue;
    for (const TPropInfo& p : it->second)
      if (SameText(p.Name, PropName)) return &p;
  }
  return nullptr;
}

void SetPropValue(TObject* Instance, const std::string& PropName, const TPropValue& Value) {
  const TPropInfo* info = GetPropInfo(Instance, PropName);
  if (!info) throw EPropertyError("Unknown property: " + PropName);
  info->Set(Instance, Value);
}

TPropValue GetPropValue(TObject* Instance, const std::string& PropName) {
  const TPropInfo* info = GetPropInfo(Instance, PropName);
  if (!info) throw EPropertyError("Unknown property: " + PropName);
  return info->Get(Instance);
}
