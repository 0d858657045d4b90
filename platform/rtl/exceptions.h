// The exception root and the run-time library's own exception classes.
#pragma once

#include <exception>
#include <string>

#include "platform/rtl/system.h"

// Root of every error the system raises. Carries a message text and, through
// TObject, the class name that log lines quote.
class Exception : public TObject, public std::exception {
  VX_CLASS(Exception, TObject)

 public:
  Exception() = default;
  explicit Exception(std::string message) : message_(std::move(message)) {}

  const std::string& Message() const { return message_; }
  void SetMessage(std::string m) { message_ = std::move(m); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Declares a small exception class: VX_EXCEPTION(EFoo, Exception)
#define VX_EXCEPTION(Self, Parent)        \
  class Self : public Parent {            \
    VX_CLASS(Self, Parent)                \
                                          \
   public:                                \
    using Parent::Parent;                 \
  };

// The silent exception: ends an operation without a message to the user.
class EAbort : public Exception {
  VX_CLASS(EAbort, Exception)

 public:
  EAbort() : Exception("Operation aborted") {}
  using Exception::Exception;
};

VX_EXCEPTION(EConvertError, Exception)
VX_EXCEPTION(EClassNotFound, Exception)
VX_EXCEPTION(EComponentError, Exception)
VX_EXCEPTION(EListError, Exception)
VX_EXCEPTION(EStringListError, Exception)
VX_EXCEPTION(EStreamError, Exception)
VX_EXCEPTION(EFCreateError, EStreamError)
VX_EXCEPTION(EFOpenError, EStreamError)
VX_EXCEPTION(EReadError, EStreamError)
VX_EXCEPTION(EWriteError, EStreamError)
VX_EXCEPTION(EOutOfMemory, Exception)
VX_EXCEPTION(EOutOfResources, EOutOfMemory)
VX_EXCEPTION(EInvalidOperation, Exception)
VX_EXCEPTION(EInvalidPointer, Exception)
VX_EXCEPTION(EOSError, Exception)
VX_EXCEPTION(EInOutError, Exception)
VX_EXCEPTION(EMathError, Exception)
VX_EXCEPTION(EInvalidOp, EMathError)
VX_EXCEPTION(ERegistryException, Exception)
VX_EXCEPTION(EResNotFound, Exception)

// Raises EAbort.
[[noreturn]] void Abort();
