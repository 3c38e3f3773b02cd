#include "core/ResultCode.h"

#include <atomic>

namespace vml {
namespace {
std::atomic<std::int32_t> lastErrorCode{kSuccess};
}

std::int32_t LastErrorCode() { return lastErrorCode.load(std::memory_order_relaxed); }

void SetLastErrorCode(std::int32_t code) { lastErrorCode.store(code, std::memory_order_relaxed); }

std::int32_t CodeForStatus(std::int32_t status) {
  switch (status) {
    case 1:
      return kNapiVersionConflict;
    case 3:
      return kInvalidArgument;
    case 5:
      return kWrongVideoPort;
    case 6:
      return kWrongUserName;
    case 7:
      return kWrongPassword;
    case 8:
      return kInvalidVideoTicket;
    case 9:
      return kInvalidNapiCommand;
    default:
      return kUnknownNapiError;
  }
}

}  // namespace vml
