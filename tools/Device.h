// The command object of one run and the rules for telling success from failure through the
// public table only.
#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "VmlCmd/ICommand.h"
#include "VmlCmd/vmlcmd.h"

namespace vmlctl {

// The result codes the library documents; the tool reads them from each operation's outcome.
enum ResultCode : int32_t {
  kUnknownCode = 0,
  kSuccess = 9,
  kNotImplemented = 10,
  kInvalidArgument = 15,
  kUnknownNapiError = 16,  // also what the library makes of a status it does not name
};

// The library's text for each documented code, in UTF-8 whatever the host's code page. An
// unknown code has an empty text.
const char* TextForCode(int32_t code);

struct Target {
  std::string host = "127.0.0.1";
  int32_t port = 0;
  std::string user = "admin";
  std::string password = "admin";
  int32_t videoPort = 0;
  // The code page the device keeps its texts in (vmlcmd_text_encoding); every text typed here is
  // UTF-8 and converted to it, every text read is converted from it.
  int32_t textEncoding = VMLCMD_TEXT_ENCODING_CP936;
};

// --text-encoding's and the inventory column's name of an encoding, for messages.
std::string EncodingName(int32_t encoding);
// A UTF-8 text as device bytes in the encoding; false for a character it cannot carry.
bool ToDeviceText(int32_t encoding, const std::string& utf8, std::string* bytes);

// What one entry produced: whether it worked and its named values, in reading order.
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
  const Target& GetTarget() const { return target_; }

  // Points the object at the target again and forgets the outcomes of earlier entries. Setting
  // the target closes the link, which resets the result code to success.
  bool Begin();

  // An operation with a bool result, called just before: the bool decides (several operations
  // keep whatever code was there when they succeed), and the object's outcome is kept.
  Result Act(bool ok);
  // An operation that never reaches the device and records no outcome.
  Result Local(bool ok) const;
  // A getter: it returns 0 both for a value of 0 and for a failure, so its outcome decides.
  Result Read(const char* name, const std::function<int32_t(ICommand&)>& get);

  // A UTF-8 text as the device's bytes; false for a character its encoding cannot carry.
  bool ToDevice(const std::string& utf8, std::string* bytes) const;
  // Device bytes as the document and --json show them: their text, or {"hex": ...} for bytes
  // that are not text in the device's encoding.
  nlohmann::ordered_json FromDevice(const char* bytes) const;

  // The outcome of every library operation since Begin(), in order; the last one decides a
  // failed entry.
  const std::vector<VmlCmdOutcome>& Operations() const { return operations_; }

 private:
  const VmlCmdOutcome& Capture();

  Target target_;
  ICommand* command_ = nullptr;
  std::vector<VmlCmdOutcome> operations_;
};

}  // namespace vmlctl
