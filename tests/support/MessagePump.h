// Message-loop helpers for tests of message-driven code.
#pragma once

#include <functional>

#include "platform/net/winsock.h"

// Dispatches the calling thread's messages until Done answers true or TimeoutMs
// passes; returns Done's last answer.
bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs = 5000);
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
