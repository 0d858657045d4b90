#include "tests/support/MessagePump.h"

#include <arpa/inet.h>

#include <chrono>

#include "platform/win/messages.h"

namespace {
void DispatchAll() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
}
}  // namespace

bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    DispatchAll();
    if (Done()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return Done();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(std::min<long long>(left, 50)), QS_ALLINPUT);
  }
}

void PumpFor(int ForMs) {
  PumpUntil([] { return false; }, ForMs);
}

LocalOnlyResolver::LocalOnlyResolver() {
  winsock::TLookupHook hook;
  hook.ByName = [](const std::string& name, std::vector<in_addr>& out) {
    in_addr a{};
    if (name == "localhost") {
      a.s_addr = htonl(INADDR_LOOPBACK);
    } else if (inet_pton(AF_INET, name.c_str(), &a) != 1) {
      return winsock::WSAHOST_NOT_FOUND;
    }
    out.push_back(a);
    return 0;
  };
  hook.ByAddr = [](in_addr a, std::string& name, std::vector<std::string>& aliases) {
    if (a.s_addr != htonl(INADDR_LOOPBACK)) return winsock::WSAHOST_NOT_FOUND;
    name = "localhost";
    aliases = {"loopback"};
    return 0;
  };
  previous_ = winsock::SetLookupHook(hook);
}

LocalOnlyResolver::~LocalOnlyResolver() { winsock::SetLookupHook(previous_); }

TableResolver::TableResolver(std::map<std::string, std::vector<std::string>> Names) {
  winsock::TLookupHook hook;
  hook.ByName = [this, Names = std::move(Names)](const std::string& name, std::vector<in_addr>& out) {
    if (name == "slow") {
      std::unique_lock g(lock_);
      released_.wait(g, [this] { return open_; });
    }
    const auto it = Names.find(name);
    if (it == Names.end()) return winsock::WSAHOST_NOT_FOUND;
    for (const auto& text : it->second) {
      in_addr a{};
      inet_pton(AF_INET, text.c_str(), &a);
      out.push_back(a);
    }
    return 0;
  };
  previous_ = winsock::SetLookupHook(hook);
}

TableResolver::~TableResolver() {
  Release();
  winsock::SetLookupHook(previous_);
}

void TableResolver::Release() {
  {
    std::lock_guard g(lock_);
    open_ = true;
  }
  released_.notify_all();
}
