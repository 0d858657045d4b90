// A table of handles: each handle is a number from a counter that is never reused and
// names a shared object, so a stale handle finds nothing instead of another object.
// Safe from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

template <class Handle, class Object>
class THandleTable {
 public:
  // Handles start at First and step by 4, as the system's do.
  explicit THandleTable(uintptr_t First) : next_(First) {}
  THandleTable(const THandleTable&) = delete;
  THandleTable& operator=(const THandleTable&) = delete;

  Handle Add(std::shared_ptr<Object> O) {
    std::lock_guard guard(lock_);
    const uintptr_t value = next_;
    next_ += 4;
    objects_.emplace(value, std::move(O));
    return reinterpret_cast<Handle>(value);
  }

  // The object of a handle, or null.
  std::shared_ptr<Object> Find(Handle H) const {
    std::lock_guard guard(lock_);
    auto it = objects_.find(reinterpret_cast<uintptr_t>(H));
    return it == objects_.end() ? nullptr : it->second;
  }

  // Takes the object out of the table and answers it (null when the handle names
  // none), so that the caller lets go of it outside the table's lock.
  std::shared_ptr<Object> Remove(Handle H) {
    std::lock_guard guard(lock_);
    auto it = objects_.find(reinterpret_cast<uintptr_t>(H));
    if (it == objects_.end()) return nullptr;
    auto o = std::move(it->second);
    objects_.erase(it);
    return o;
  }

 private:
  mutable std::mutex lock_;
  std::unordered_map<uintptr_t, std::shared_ptr<Object>> objects_;
  uintptr_t next_;
};
