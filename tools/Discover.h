// vmlctl discover: finds the devices of a site by trying every address and port of some ranges
// through the public library, one command object per worker, and writes what answered as an
// inventory (inventory/Inventory.h) that every tool reads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "Device.h"
#include "VmlCmd/ICommand.h"

namespace vmlctl {

// A scan is refused above this many endpoints (addresses times ports). A /16 on one port takes,
// when nothing answers and every connection attempt is dropped, 65,536 x 100 ms / 64 jobs, close
// to two minutes; the next step up is a mistyped prefix (a /8 is sixteen million addresses,
// seven hours), which is better refused at once than found out after a coffee. A larger site is
// scanned in several runs, one block each.
constexpr std::size_t kMostEndpoints = 65536;
constexpr int kDefaultDiscoverJobs = 64;
// Each worker holds one socket at a time; the usual limit of 1,024 open files per process
// leaves room for this many and the tool's own.
constexpr int kMostDiscoverJobs = 256;

struct Endpoint {
  uint32_t address = 0;  // host order: 127.0.0.1 is 0x7F000001
  uint16_t port = 0;
};

std::string AddressText(uint32_t address);

// The addresses of the targets in ascending order, each once: an IPv4 address, a CIDR block
// ("127.0.0.0/28", every address of it, those with host bits all zero or all one too), or a
// range "first-last" ("127.0.0.1-127.0.0.40", or "127.0.0.1-40" with the last octet alone).
// False with problem naming the argument and what is wrong with it. Blocks past kMostEndpoints
// are refused without being listed.
bool ParseTargets(const std::vector<std::string>& targets, std::vector<uint32_t>* addresses,
                  std::string* problem);

// "8000,8001,9000-9010": ports 1..65535, ascending, each once.
bool ParsePortList(const std::string& text, std::vector<uint16_t>* ports, std::string* problem);

// Every address on every port, address by address; false with problem when there are more than
// kMostEndpoints.
bool Endpoints(const std::vector<uint32_t>& addresses, const std::vector<uint16_t>& ports,
               std::vector<Endpoint>* endpoints, std::string* problem);

enum class Finding {
  kDevice,        // answered as a device (versions read, or not: see Probe::versionKnown)
  kLoginRefused,  // a device that refused the scan's user name or password
  kNotNapi,       // answered, but not as the protocol's replies read
  kSilent,        // refused, dropped or closed the connection, or never sent a byte
};

struct Probe {
  Finding finding = Finding::kSilent;
  bool versionKnown = false;
  int32_t version = 0;  // the one number the version request returns
  VmlCmdOutcome outcome{};
};

// What the outcome of the version query says of the peer. A peer is a device when its answer
// reads as a reply of the protocol: a status of 0, or one the library's status mapping names.
// A login "refused" with a status it does not name comes from a peer that sent something else,
// and so does a login "answered" by a peer that then hangs up before the version request.
Finding Classify(const VmlCmdOutcome& outcome);

// Probes one endpoint with a command object of the caller's: a login and the version request
// (VmlCmdQueryBspVersion), within the library's own bounds.
Probe ProbeEndpoint(ICommand& command, const Endpoint& endpoint, const std::string& user,
                    const std::string& password);

// "1,019"
std::string Thousands(uint64_t count);

struct DiscoverOptions {
  std::vector<std::string> targets;
  std::string ports = "8000";
  int jobs = kDefaultDiscoverJobs;
  std::string output;  // empty: standard output
  bool json = false;   // JSON lines of what answered, then a summary, instead of the inventory
  // The login and the rows: the command line's --user, --password, --video-port, --text-encoding.
  Target login;
  bool progress = false;  // a bar on the error stream while the scan runs (only for a terminal)
  // Set from outside (Ctrl-C) to stop starting endpoints; those running finish.
  const std::atomic<bool>* stop = nullptr;
};

// Parses, scans and writes. Returns the exit status: kExitOk when some endpoint answered as a
// device (its login refused or not), kExitFailed when none did, kExitUsage for a bad argument or
// an -o that cannot be written (then nothing was sent), kExitInterrupted after Ctrl-C (then
// nothing is written: a partial scan never replaces an inventory).
int RunDiscover(const DiscoverOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vmlctl
