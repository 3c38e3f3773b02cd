// The configuration engine: a device's settings as one document, read with few transactions,
// compared with a wanted document, changed only where they differ, read back, and restored from
// a snapshot when a change does not hold. It works through the public table and the outcome
// extension only, like any host; it knows nothing of command lines or files, so every front end
// (vmlctl config, the Python package) is a thin layer over the same code.
//
// The document ("format": "vmlcmd-config 1"):
//   network {ip, subnet_mask, gateway}, serial {baud},
//   video_ports {"N": {encoder {bitrate, frame_rate, iframe_interval, quant_step, param_r},
//                      picture {brightness, contrast, saturation, hue},      (0..255 scale)
//                      privacy_mask {enabled, left, top, width, height},
//                      motion {enabled, left, top, width, height, sensitivity},
//                      caption {show, position, caption}, clock_overlay {show, position}}}
// A caption is UTF-8 text, or {"hex": ...} for device bytes that are not text in the device's
// encoding, so that a backup restores them exactly.
// Every section and field is optional on input; a document touches only what it names.
//
// Threads: every call works on the command object it is given and on nothing shared, so one
// object per device and thread is safe, as for the library itself. The engine changes the
// object's video port; the caller sets its own again afterwards.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Schema.h"
#include "Texts.h"
#include "VmlCmd/ICommand.h"

namespace vmlcmd::config {

using Json = nlohmann::ordered_json;

constexpr const char* kFormat = "vmlcmd-config 1";
// The most a document may hold, in bytes, and how deep it may nest: whoever sends one chooses
// both, and a document nests five levels.
constexpr std::size_t kLongestDocument = 1 << 20;
constexpr int kDeepestDocument = 32;

// Where a device is reached; the engine needs it only to look for the device at its new
// address after a change of address.
struct Target {
  std::string host;
  int32_t port = 0;
  std::string user;
  std::string password;
};

// What the device was asked: library operations (each one connection and login) and the
// requests they sent (GetVideoSettings and SetVideoSettings send two).
struct Cost {
  unsigned operations = 0;
  unsigned requests = 0;
};

struct Change {
  std::string path;  // "video_ports.0.encoder.bitrate"
  Json from;         // null when the device's value is unknown
  Json to;
};

// Parses a document's text and checks it against the schema. False with the refusals (each
// with its line) or a parse error as one refusal of the whole document; a text longer than
// kLongestDocument or nesting deeper than kDeepestDocument is refused before it is built.
bool Load(const std::string& text, Json* document, std::vector<Refusal>* refusals);
// Checks a document already parsed (from Python, say); empty when it conforms.
std::vector<Refusal> Check(const Json& document);

// The same keys in the same order whatever order they came in, so files of a fleet under
// version control differ only where the devices do.
Json Canonical(const Json& document);

// "0", "0-3", "0,2,5-6" -> sorted ports without repeats; false for anything else.
bool ParsePorts(const std::string& text, std::vector<int32_t>* ports);

struct ReadResult {
  Json document;                    // what was read, in canonical order
  std::vector<std::string> errors;  // one line per operation that failed or was skipped
  Cost cost;
  bool Ok() const { return errors.empty(); }
};

// Reads the network, serial and the given video ports' sections. A device that cannot be
// reached at all stops the reading at its first failure instead of timing out on every read.
// Device texts are read in textEncoding (a code page, see vmlcmd_text_encoding), and bytes that
// are not text in it are kept as {"hex": ...} (Texts.h).
ReadResult Read(ICommand& command, const std::vector<int32_t>& ports,
                int textEncoding = kDefaultTextEncoding);

struct PlanResult {
  std::vector<Change> changes;
  std::vector<std::string> errors;
  Cost cost;
  bool Ok() const { return errors.empty(); }
};

// Reads only what the wanted document names and lists every field that differs. The document
// must have passed Check().
PlanResult Plan(ICommand& command, const Json& wanted, int textEncoding = kDefaultTextEncoding);

struct ApplyOptions {
  bool check = false;                       // plan only, write nothing
  bool rollback = true;                     // restore the snapshot when a write fails or does not hold
  bool allowAddressChange = false;          // the network section is written only with this
  const Target* target = nullptr;           // to find the device again at a new address
  int textEncoding = kDefaultTextEncoding;  // of the device's texts
};

struct ApplyResult {
  std::vector<Change> changes;        // what differed before anything was written
  std::vector<std::string> verified;  // paths read back with the wanted value
  std::vector<std::string> failed;    // one line per failure, in words
  bool rollbackTried = false;
  bool rolledBack = false;  // the snapshot was written back and read back unchanged
  Cost cost;
  bool Ok() const { return failed.empty(); }
};

// Plans, then writes only what differs in as few operations as the table allows, reads every
// written field back, and restores the snapshot of the fields it changed when a write fails or
// a field does not hold. The network section goes last, once everything else has held.
ApplyResult Apply(ICommand& command, const Json& wanted, const ApplyOptions& options);

Json ToJson(const Change& change);
Json ToJson(const PlanResult& plan);
Json ToJson(const ApplyResult& result);
// "video_ports.0.encoder.bitrate: 512 -> 1024"
std::string ChangeLine(const Change& change);

}  // namespace vmlcmd::config
