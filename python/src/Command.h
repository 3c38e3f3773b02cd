// One command object of the library, held for Python: every call goes through the object's
// public table, with the GIL released and the object's own lock held, and ends by reading the
// object's outcome, which says whether the call worked and, if not, where it stopped.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "VmlCmd/ICommand.h"

namespace vmlcmd_python {

// A device operation that failed, with the object's record of how. The module turns it into
// the Python exception of its stage (vmlcmd._errors.from_outcome).
struct DeviceFailure {
  std::string operation;
  VmlCmdOutcome outcome;
};

// The object is gone: Python's files say the same with ValueError.
struct ClosedDevice : std::runtime_error {
  ClosedDevice() : std::runtime_error("operation on a closed device") {}
};

class Command {
 public:
  Command(const std::string& host, int32_t port, const std::string& user, const std::string& password,
          int32_t videoPort);
  ~Command();
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  // Releases the object; waits for a call that another thread is making on it. Idempotent.
  void Close();
  bool Closed();

  // Runs one operation on the object. Success is what the table returns for bool results and
  // the outcome's stage for numbers, where a 0 may be a value or a failure.
  template <typename Operation>
  auto Run(const char* name, Operation&& operation) {
    VmlCmdOutcome outcome{};
    outcome.size = sizeof outcome;
    using Result = decltype(operation(std::declval<ICommand&>()));
    Result result{};
    {
      // Another thread may run Python, or another device, while this one waits on its device.
      pybind11::gil_scoped_release release;
      std::lock_guard<std::mutex> lock(mutex_);
      if (object_ == nullptr) throw ClosedDevice();
      result = operation(*object_);
      VmlCmdGetLastOutcome(object_, &outcome);
    }
    bool succeeded = outcome.stage == VmlCmdStageSuccess;
    if constexpr (std::is_same_v<Result, bool>) {
      if (!result && succeeded) {
        // The table said no without a record of its own (the record is an earlier call's).
        outcome = VmlCmdOutcome{};
        outcome.size = sizeof outcome;
      }
      succeeded = result;
    }
    if (!succeeded) throw DeviceFailure{name, outcome};
    return result;
  }

  // Runs work on the object itself (the configuration engine, which makes many operations),
  // with the GIL released and the lock held; the object's video port is set back afterwards,
  // since the work may address other ports.
  template <typename Work>
  auto WithObject(Work&& work) {
    pybind11::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(mutex_);
    if (object_ == nullptr) throw ClosedDevice();
    struct Restore {
      ICommand* object;
      int32_t port;
      ~Restore() { object->SetVideoPort(port); }
    } restore{object_, videoPort_};
    return work(*object_);
  }

  // Changes what the following operations send after "-p"; no device traffic.
  void SetVideoPort(int32_t videoPort);
  std::string VendorName();
  // The text of the module-wide result code as it is now, whichever object last set it.
  std::string ErrorText();
  VmlCmdOutcome LastOutcome();

 private:
  std::mutex mutex_;
  ICommand* object_ = nullptr;
  int32_t videoPort_ = 0;
};

}  // namespace vmlcmd_python
