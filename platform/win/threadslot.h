// Per-thread objects of the stand-in layer (reactors, message queues). A thread's
// object is created on first use and let go when the thread ends; the main thread's
// object lives until the process ends, so code that runs during process exit (static
// destructors) still finds it.
#pragma once

#include <pthread.h>

#include <memory>

template <class T>
class TThreadSlot {
 public:
  TThreadSlot() { pthread_key_create(&key_, &Release); }
  TThreadSlot(const TThreadSlot&) = delete;
  TThreadSlot& operator=(const TThreadSlot&) = delete;

  // The calling thread's object, or null when it has none yet.
  std::shared_ptr<T> Peek() const {
    auto* holder = static_cast<std::shared_ptr<T>*>(pthread_getspecific(key_));
    return holder ? *holder : nullptr;
  }

  // The calling thread's object, made by `make` on first use.
  template <class Make>
  std::shared_ptr<T> Get(Make&& make) {
    if (auto* holder = static_cast<std::shared_ptr<T>*>(pthread_getspecific(key_))) return *holder;
    auto* holder = new std::shared_ptr<T>(make());
    pthread_setspecific(key_, holder);
    return *holder;
  }

 private:
  // Runs when a thread other than the main thread ends. T::ThreadEnded lets the object
  // cut itself off from the thread even while others still hold references to it.
  static void Release(void* p) {
    auto* holder = static_cast<std::shared_ptr<T>*>(p);
    (*holder)->ThreadEnded();
    delete holder;
  }

  pthread_key_t key_{};
};
