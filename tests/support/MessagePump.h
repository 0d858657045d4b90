// Message-loop helpers for tests of message-driven code.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/net/winsock.h"
#include "tests/support/wait.h"

// Dispatches the calling thread's messages until Done answers true or TimeoutMs
// passes; returns Done's last answer.
bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs = vxtest::kPatienceMs);
// Dispatches messages for ForMs milliseconds.
void PumpFor(int ForMs);

// Name look-ups answer "localhost" and numeric addresses only, so that no test depends
// on a name service; installed for the lifetime of the object.
class LocalOnlyResolver {
 public:
  LocalOnlyResolver();
  ~LocalOnlyResolver();

 private:
  winsock::TLookupHook previous_;
};

// Name look-ups answered from a table; the name "slow" is held back until Release, so
// that a test can cancel a look-up that is surely still running. Installed for the
// lifetime of the object.
class TableResolver {
 public:
  explicit TableResolver(std::map<std::string, std::vector<std::string>> Names);
  ~TableResolver();
  void Release();

 private:
  std::mutex lock_;
  std::condition_variable released_;
  bool open_ = false;
  winsock::TLookupHook previous_;
};
