// How an operation ended, in words a person can act on, built from the object's outcome: the
// result code alone cannot tell a dead device from a wrong password.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "Device.h"
#include "VmlCmd/ICommand.h"

namespace vmlctl {

// Names for JSON, stable across releases: "success", "connect-refused", "reply-status" ...
const char* StageName(int32_t stage);
// "none", "login", "request", "second"
const char* ExchangeName(int32_t exchange);

// The result code the library makes of a reply status.
int32_t CodeForStatus(int32_t status);

// "connection refused by 127.0.0.1:9", "login refused: status 7 (错误的口令)", "no reply within
// 1 s", "the reply has no value for b" ...
std::string Describe(const VmlCmdOutcome& outcome, const Target& target);

// The outcome's fields under their JSON names.
nlohmann::ordered_json OutcomeJson(const VmlCmdOutcome& outcome);

// "0.84 ms", "1.20 s"
std::string FormatElapsed(uint64_t microseconds);

// Four decimal numbers 0..255 separated by dots, without leading zeros: the one form of address
// that means the same to a person and to the library.
bool IsDottedQuad(const std::string& text);

}  // namespace vmlctl
