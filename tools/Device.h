// The command object of one run and the rules for telling success from failure through the
// public table only.
#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "VmlCmd/ICommand.h"

namespace vmlctl {

// The result codes the library documents; the tool learns a code from its text because the
// table has no slot that returns the number.
enum ResultCode : int32_t {
  kUnknownCode = 0,
  kSuccess = 9,
  kNotImplemented = 10,
  kInvalidArgument = 15,
};

// The library's text for each documented code, in UTF-8 (Device::Text converts to it).
int32_t CodeForText(const std::string& text);

struct Target {
  std::string host = "127.0.0.1";
  int32_t port = 0;
  std::string user = "admin";
  std::string password = "admin";
  int32_t videoPort = 0;
};

// What one operation produced: whether it worked and its named values, in reading order.
struct Result {
  bool ok = false;
  nlohmann::ordered_json values = nlohmann::ordered_json::object();
  std::string note;
};

class Device {
 public:
  explicit Device(Target target);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  bool Created() const { return command_ != nullptr; }
  ICommand& Command() { return *command_; }

  // Points the object at the target again. Setting the target closes the link, which resets the
  // result code to success, so every operation starts from a known code.
  bool Begin();

  std::string Text() const;
  int32_t Code() const { return CodeForText(Text()); }

  // An operation with a bool result: the bool alone decides, because several operations keep
  // whatever code was there when they succeed.
  Result Act(bool ok) const;

  // A getter that sets code 9 when it succeeds and leaves the code alone when the transaction
  // breaks down. The code is primed with "not implemented" first, so that a getter that never
  // reached the device cannot pass for one that read a 0.
  Result Read(const char* name, const std::function<int32_t(ICommand&)>& get);

  // A getter that keeps the code on success: it starts from the code 9 of Begin(). A device
  // that could not be reached reads as 0 with code 9; the library offers no way to tell.
  Result ReadKeepingCode(const char* name, const std::function<int32_t(ICommand&)>& get);

 private:
  Target target_;
  ICommand* command_ = nullptr;
};

}  // namespace vmlctl
