// The inventory of a fleet, one format for every tool: a CSV file whose header names its columns
// (host, port, user, password, video-port, an optional name shown beside a device's results, and
// an optional text-encoding for devices that keep their texts in another code page than 936),
// one device a row, blank lines and '#' lines ignored. vmlctl, napi-sim's
// --inventory-out, the Python package and its examples all read or write it through this code.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace vml::inventory {

// The header napi-sim writes; a file may order or omit the optional columns as it likes.
inline constexpr char kHeader[] = "name,host,port,user,password,video-port";

// What a row takes for a column its file leaves out.
struct Defaults {
  std::string user = "admin";
  std::string password = "admin";
  std::int32_t videoPort = 0;
  std::string textEncoding;  // empty: the tool's own default
};

struct Entry {
  int line = 0;      // in the file, counted from 1
  std::string name;  // empty without a name column (or an empty field)
  std::string host;
  std::int32_t port = 0;
  std::string user;
  std::string password;
  std::int32_t videoPort = 0;
  // As the file names it ("cp936", "utf-8", ...): the tools read the name, so that each refuses
  // one it cannot convert with the row's line. Empty: the defaults'.
  std::string textEncoding;
  // '#' lines Write puts just above the row (a note on the device, such as its versions); the
  // reader skips them like any comment.
  std::vector<std::string> comments;
  // For the gateway: a group the row belongs to, and a file (relative to the inventory's
  // folder) holding the configuration document the device should have. Other tools ignore
  // both.
  std::string group;
  std::string desired;
};

struct Error {
  int line = 0;  // 0 when the fault is the file as a whole
  std::string message;
};

// Reads every row, or stops at the first bad one: an unknown or repeated column, a host that is
// not a dotted-quad address, a port outside 1..65535, a negative video port, a user name or
// password the library would refuse (too long, or holding a hyphen), a row with the wrong number
// of fields. False with error filled; nothing is returned then.
bool Read(std::istream& in, const Defaults& defaults, std::vector<Entry>* entries, Error* error);

// Writes the header and one line per entry, quoting fields that need it, each entry's comments
// above it. The text-encoding column is written when an entry names one.
void Write(std::ostream& out, const std::vector<Entry>& entries);

// Four decimal numbers 0..255 separated by dots, without leading zeros: the one form of address
// that means the same to a person and to the library.
bool IsDottedQuad(const std::string& text);

}  // namespace vml::inventory
