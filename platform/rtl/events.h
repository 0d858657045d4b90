// Method pointers: an event names an object and one of its member functions.
// Events compare equal when they name the same object and the same member, so
// handlers can be saved, chained and compared. An event can also wrap a plain
// callable; such an event equals only its own copies.
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <utility>

class TObject;

template <class... Args>
class Event {
 public:
  Event() = default;
  Event(std::nullptr_t) {}

  template <class C, class M>
    requires std::is_base_of_v<M, C>
  Event(C* object, void (M::*method)(Args...)) {
    Bind(static_cast<M*>(object), method);
  }

  // Wraps a callable (lambdas in tests and in wiring code).
  template <class F>
    requires(std::is_invocable_v<F&, Args...> && !std::is_same_v<std::decay_t<F>, Event>)
  static Event FromFunction(F&& f) {
    Event e;
    e.function_ = std::make_shared<std::function<void(Args...)>>(std::forward<F>(f));
    e.object_ = e.function_.get();
    e.thunk_ = [](const Event& self, Args... args) { (*self.function_)(std::forward<Args>(args)...); };
    return e;
  }

  explicit operator bool() const { return thunk_ != nullptr; }
  bool Assigned() const { return thunk_ != nullptr; }

  // Calls the handler when one is assigned.
  void operator()(Args... args) const {
    if (thunk_) thunk_(*this, std::forward<Args>(args)...);
  }

  // The object the handler belongs to (null for none).
  void* Data() const { return object_; }

  bool operator==(const Event& o) const {
    return object_ == o.object_ && thunk_ == o.thunk_ &&
           std::memcmp(method_, o.method_, sizeof method_) == 0;
  }
  bool operator==(std::nullptr_t) const { return thunk_ == nullptr; }

 private:
  using Thunk = void (*)(const Event&, Args...);

  template <class M>
  void Bind(M* object, void (M::*method)(Args...)) {
    using Method = void (M::*)(Args...);
    static_assert(sizeof(Method) <= sizeof method_);
    object_ = object;
    std::memcpy(method_, &method, sizeof(Method));
    thunk_ = [](const Event& self, Args... args) {
      Method m;
      std::memcpy(&m, self.method_, sizeof(Method));
      (static_cast<M*>(self.object_)->*m)(std::forward<Args>(args)...);
    };
  }

  void* object_ = nullptr;
  alignas(void*) unsigned char method_[2 * sizeof(void*)] = {};
  Thunk thunk_ = nullptr;
  std::shared_ptr<std::function<void(Args...)>> function_;
};

using TNotifyEvent = Event<TObject*>;
