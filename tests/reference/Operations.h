// The one description of every operation a host can call: the 92 slots of the table and the
// extensions outside it. docs/operations.md is generated from it (make_reference), and
// ReferenceTest runs every entry's example against the simulated device and through vmlctl,
// so a code, a format, a length rule or a success rule written here that the library does not
// follow fails a test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "VmlCmd/ICommand.h"

namespace vml::reference {

// How a request's text length is counted (the header's textLength field).
enum class Length {
  Plain,       // the characters of the text, no NUL sent
  CountedNul,  // the characters and the NUL, which is sent
  HeaderOnly,  // no text at all: the 16-byte header alone
};

// What a successful device operation does with the library-wide result code.
enum class Success {
  Sets9,     // sets 9
  KeepCode,  // leaves what an earlier operation left there
};

// What a non-zero reply status does to the result code.
enum class Status {
  Mapped,   // the status table: 1→18, 3→15, 5→14, 6→11, 7→12, 8→13, 9→17, others→16
  Ignored,  // the operation fails and the code is kept
  NoReply,  // the operation reads no reply, so no status can reach it
};

// What an operation that sends nothing does with the result code.
enum class Local {
  Keeps,           // never touches it
  Sets9,           // sets 9
  Sets10,          // "not implemented": sets 10 and returns false or 0
  Sets10InSerial,  // sets 10 when the serial link is chosen, else keeps it
};

struct Request {
  std::int32_t command;
  std::string format;  // the request text's printf format, "" for a header-only request
  Length length;
  std::string values;  // what fills the conversions, in order
};

struct Param {
  std::string name;
  std::string meaning;  // what it is and which values it takes
};

struct Operation {
  int slot;  // position in the table; -1 for a function outside it
  std::string name;
  std::ptrdiff_t tableSlot;  // the position the compiler gave the member (-1 outside the table)
  std::string family;
  std::string synopsis;  // the declaration as the header spells it, without "virtual" and "= 0"
  std::string summary;
  std::vector<Param> params;
  std::string result;

  // Device operations: the requests in the order sent, one login before them.
  std::vector<Request> requests;
  Success success = Success::Sets9;
  Status status = Status::Mapped;
  std::string reads = "";         // what the reply gives, "" when nothing is read
  bool missingValueFails = true;  // a reply without the values fails (code kept); else succeeds
  // Operations that send nothing.
  Local local = Local::Keeps;
  std::string refused = "";  // the arguments refused with code 15 before anything is sent

  // The example: with the object pointed at the device and its video port set to videoPort,
  // call(command) sends exactly the requests above filled with wireValues (one list per
  // request, one value per conversion), the device answering reply (when not empty) to the
  // last request, and returns expected (bools as 0 or 1).
  int videoPort = 0;
  std::vector<std::vector<std::string>> wireValues;
  std::string reply = "";
  std::int64_t expected = 1;
  std::string exampleText;  // the example as the reference shows it
  std::function<std::int64_t(ICommand&)> call;
  // The same operation with an argument it refuses (code 15, nothing sent); empty when none.
  std::function<std::int64_t(ICommand&)> refuse;
  // The call releases the object (Release): the test gives it an object of its own.
  bool consumesObject = false;

  // vmlctl arguments that run this operation (after the connection options), "" when the tool
  // has no command for it; vmlctlSends: the tool sends exactly the example's requests.
  std::string vmlctl = "";
  bool vmlctlSends = true;
  std::string vmlctlNote = "";
};

const std::vector<Operation>& Operations();

// The request text an example sends: format with each conversion replaced by its value.
std::string Fill(const std::string& format, const std::vector<std::string>& values);

}  // namespace vml::reference
