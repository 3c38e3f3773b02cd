#include "Discover.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <thread>
#include <utility>

#include "ExitStatus.h"
#include "Files.h"
#include "Output.h"
#include "Reason.h"
#include "inventory/Inventory.h"

namespace vmlctl {

namespace {

using Clock = std::chrono::steady_clock;

struct Block {
  uint32_t first = 0;
  uint32_t last = 0;
};

// Digits only, at most maxDigits of them, no leading zero (as in an address); false otherwise.
bool ParseDecimal(const std::string& text, std::size_t maxDigits, uint32_t* value) {
  if (text.empty() || text.size() > maxDigits || (text.size() > 1 && text[0] == '0')) return false;
  uint32_t parsed = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + static_cast<uint32_t>(c - '0');
  }
  *value = parsed;
  return true;
}

bool ParseAddress(const std::string& text, uint32_t* address) {
  if (!vml::inventory::IsDottedQuad(text)) return false;
  uint32_t value = 0;
  std::size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = text.find('.', start);
    uint32_t octet = 0;
    ParseDecimal(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start), 3, &octet);
    value = value << 8 | octet;
    start = dot + 1;
  }
  *address = value;
  return true;
}

bool ParseTarget(const std::string& text, Block* block, std::string* problem) {
  const std::string quoted = "target \"" + text + "\"";
  if (const std::size_t slash = text.find('/'); slash != std::string::npos) {
    uint32_t address = 0;
    uint32_t prefix = 0;
    if (!ParseAddress(text.substr(0, slash), &address) || !ParseDecimal(text.substr(slash + 1), 2, &prefix) ||
        prefix > 32) {
      *problem = quoted + " is not a CIDR block such as 127.0.0.0/28 (a dotted-quad address, a prefix 0..32)";
      return false;
    }
    const uint32_t hostBits = prefix == 0 ? 0xFFFFFFFFu : (1u << (32 - prefix)) - 1;
    block->first = address & ~hostBits;
    block->last = block->first | hostBits;
    return true;
  }
  if (const std::size_t dash = text.find('-'); dash != std::string::npos) {
    const std::string end = text.substr(dash + 1);
    uint32_t last = 0;
    uint32_t octet = 0;
    bool parsed = ParseAddress(text.substr(0, dash), &block->first);
    if (parsed && ParseAddress(end, &last)) {
      block->last = last;
    } else if (parsed && ParseDecimal(end, 3, &octet) && octet <= 255) {
      block->last = (block->first & 0xFFFFFF00u) | octet;  // "127.0.0.1-40": the last octet alone
    } else {
      parsed = false;
    }
    if (!parsed) {
      *problem = quoted + " is not a range such as 127.0.0.1-127.0.0.40 or 127.0.0.1-40";
      return false;
    }
    if (block->last < block->first) {
      *problem = quoted + " ends before it starts";
      return false;
    }
    return true;
  }
  if (!ParseAddress(text, &block->first)) {
    *problem = quoted +
               " is not an IPv4 address (dotted quad, no host names), a CIDR block such as 127.0.0.0/28 or a "
               "range such as 127.0.0.1-40";
    return false;
  }
  block->last = block->first;
  return true;
}

std::string TooMany(uint64_t endpoints, const std::string& what) {
  return "the scan covers " + Thousands(endpoints) + " endpoints (" + what + "); one run takes at most " +
         Thousands(kMostEndpoints) + ": scan a smaller block or fewer ports per run";
}

std::string StatusText(int32_t status) {
  return "status " + std::to_string(status) + " (" + TextForCode(CodeForStatus(status)) + ")";
}

const char* FindingName(Finding finding) {
  switch (finding) {
    case Finding::kDevice:
      return "device";
    case Finding::kLoginRefused:
      return "login-refused";
    case Finding::kNotNapi:
      return "not-napi";
    case Finding::kSilent:
      break;
  }
  return "silent";
}

// "\r[#######.......] 1,024/4,096  devices 3  2.1 s", redrawn in place on a terminal.
std::string ScanBar(std::size_t done, std::size_t total, std::size_t devices, Clock::duration elapsed) {
  constexpr std::size_t kWidth = 30;
  const std::size_t filled = total == 0 ? kWidth : done * kWidth / total;
  char seconds[32];
  std::snprintf(
      seconds, sizeof seconds, "%.1f s",
      static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()) / 1e3);
  return "\r[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " + Thousands(done) + "/" +
         Thousands(total) + "  devices " + Thousands(devices) + "  " + seconds + "\x1b[K";
}

// Scans every endpoint on jobs threads, each with one command object of its own, until all are
// done or stop is set, drawing a bar on progress meanwhile (none when null). Returns how many
// were probed; done marks which.
std::size_t Scan(const std::vector<Endpoint>& endpoints, const std::string& user, const std::string& password,
                 int jobs, const std::atomic<bool>* stop, std::ostream* progress, std::vector<Probe>* probes,
                 std::vector<char>* done, bool* noObject) {
  const auto start = Clock::now();
  probes->assign(endpoints.size(), Probe{});
  done->assign(endpoints.size(), 0);
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> probed{0};
  std::atomic<std::size_t> answered{0};
  std::atomic<std::size_t> created{0};
  std::mutex mutex;
  std::condition_variable ended;
  const std::size_t count = std::min(endpoints.size(), static_cast<std::size_t>(std::max(1, jobs)));
  std::size_t running = count;
  std::vector<std::thread> workers;
  for (std::size_t w = 0; w < count; ++w) {
    workers.emplace_back([&] {
      if (ICommand* command = CreateICommand()) {
        ++created;
        while (stop == nullptr || !stop->load()) {
          const std::size_t i = next.fetch_add(1);
          if (i >= endpoints.size()) break;
          // Each worker writes only the slots it took; the join below publishes them.
          (*probes)[i] = ProbeEndpoint(*command, endpoints[i], user, password);
          (*done)[i] = 1;
          ++probed;
          if ((*probes)[i].finding == Finding::kDevice || (*probes)[i].finding == Finding::kLoginRefused)
            ++answered;
        }
        command->Release();
      }
      std::lock_guard<std::mutex> lock(mutex);
      --running;
      ended.notify_one();
    });
  }
  if (progress != nullptr) {
    std::unique_lock<std::mutex> lock(mutex);
    while (!ended.wait_for(lock, std::chrono::milliseconds(100), [&] { return running == 0; }))
      *progress << ScanBar(probed, endpoints.size(), answered, Clock::now() - start) << std::flush;
    *progress << "\r\x1b[K" << std::flush;
  }
  for (std::thread& worker : workers) worker.join();
  *noObject = created == 0 && !endpoints.empty();
  return probed;
}

}  // namespace

std::string AddressText(uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

bool ParseTargets(const std::vector<std::string>& targets, std::vector<uint32_t>* addresses,
                  std::string* problem) {
  addresses->clear();
  if (targets.empty()) {
    *problem =
        "no target given: an address, a CIDR block such as 127.0.0.0/28 or a range such as 127.0.0.1-40";
    return false;
  }
  std::vector<Block> blocks;
  for (const std::string& text : targets) {
    Block block;
    if (!ParseTarget(text, &block, problem)) return false;
    blocks.push_back(block);
  }
  // Overlapping targets are merged first, so that each address counts once against the bound.
  std::sort(blocks.begin(), blocks.end(), [](const Block& a, const Block& b) { return a.first < b.first; });
  std::vector<Block> merged;
  for (const Block& block : blocks) {
    if (!merged.empty() &&
        static_cast<uint64_t>(block.first) <= static_cast<uint64_t>(merged.back().last) + 1) {
      merged.back().last = std::max(merged.back().last, block.last);
    } else {
      merged.push_back(block);
    }
  }
  uint64_t total = 0;
  for (const Block& block : merged) total += static_cast<uint64_t>(block.last) - block.first + 1;
  if (total > kMostEndpoints) {
    *problem = TooMany(total, Thousands(total) + " addresses");
    return false;
  }
  for (const Block& block : merged) {
    for (uint64_t a = block.first; a <= block.last; ++a) addresses->push_back(static_cast<uint32_t>(a));
  }
  return true;
}

bool ParsePortList(const std::string& text, std::vector<uint16_t>* ports, std::string* problem) {
  ports->clear();
  std::vector<bool> chosen(65536, false);
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string item =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const std::size_t dash = item.find('-');
    uint32_t first = 0;
    uint32_t last = 0;
    bool ok = ParseDecimal(item.substr(0, dash), 5, &first);
    last = first;
    if (ok && dash != std::string::npos) ok = ParseDecimal(item.substr(dash + 1), 5, &last);
    if (!ok || first < 1 || last > 65535 || last < first) {
      *problem = "--ports \"" + text + "\": \"" + item +
                 "\" is not a port 1..65535 or a range of them (a list such as 8000,8001,9000-9010)";
      return false;
    }
    for (uint32_t port = first; port <= last; ++port) chosen[port] = true;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  for (uint32_t port = 1; port < chosen.size(); ++port) {
    if (chosen[port]) ports->push_back(static_cast<uint16_t>(port));
  }
  return true;
}

bool Endpoints(const std::vector<uint32_t>& addresses, const std::vector<uint16_t>& ports,
               std::vector<Endpoint>* endpoints, std::string* problem) {
  endpoints->clear();
  const uint64_t total = static_cast<uint64_t>(addresses.size()) * ports.size();
  if (total > kMostEndpoints) {
    *problem =
        TooMany(total, Thousands(addresses.size()) + " addresses x " + Thousands(ports.size()) + " ports");
    return false;
  }
  endpoints->reserve(static_cast<std::size_t>(total));
  for (uint32_t address : addresses) {
    for (uint16_t port : ports) endpoints->push_back({address, port});
  }
  return true;
}

Finding Classify(const VmlCmdOutcome& outcome) {
  switch (outcome.stage) {
    case VmlCmdStageSuccess:
    case VmlCmdStageReplyStatus:
    case VmlCmdStageValueMissing:
      // The login was answered with status 0; only the version request failed.
      return Finding::kDevice;
    case VmlCmdStageLoginRefused:
      // The status is read from where a reply keeps it, whatever the peer sent; one the mapping
      // does not name is bytes of some other service. The outcome's result code cannot say so:
      // a refused login leaves the module-wide code as it was, which other workers change.
      return CodeForStatus(outcome.status) == kUnknownNapiError ? Finding::kNotNapi : Finding::kLoginRefused;
    case VmlCmdStageNotNapiDevice:
      return Finding::kNotNapi;
    case VmlCmdStageReplyTimedOut:
      // Without a byte to the login the peer is silent. A peer that took the login and then
      // kept the connection without answering the version request within its second is a
      // device, a slow one.
      return outcome.exchange == VmlCmdExchangeLogin ? Finding::kSilent : Finding::kDevice;
    case VmlCmdStageSendFailed:
    case VmlCmdStageClosedByDevice:
    case VmlCmdStageReceiveFailed:
      // After a login "answered" the peer hung up before the request: a device keeps the
      // connection for the request its login announces, while a service that writes a short
      // banner and closes has its bytes read as a login reply, since a reply shorter than its
      // header counts as received and the status it never sent reads as 0.
      return outcome.exchange == VmlCmdExchangeLogin ? Finding::kSilent : Finding::kNotNapi;
    default:
      return Finding::kSilent;
  }
}

Probe ProbeEndpoint(ICommand& command, const Endpoint& endpoint, const std::string& user,
                    const std::string& password) {
  Probe probe;
  probe.outcome.size = sizeof probe.outcome;
  const std::string host = AddressText(endpoint.address);
  if (!command.SetNetworkTarget(host.c_str(), endpoint.port, user.c_str(), password.c_str())) return probe;
  probe.version = VmlCmdQueryBspVersion(&command);
  if (!VmlCmdGetLastOutcome(&command, &probe.outcome)) probe.outcome.stage = VmlCmdStageNone;
  probe.finding = Classify(probe.outcome);
  probe.versionKnown = probe.outcome.stage == VmlCmdStageSuccess;
  return probe;
}

std::string Thousands(uint64_t count) {
  std::string digits = std::to_string(count);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

int RunDiscover(const DiscoverOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<uint32_t> addresses;
  std::vector<uint16_t> ports;
  std::vector<Endpoint> endpoints;
  std::string problem;
  if (!ParseTargets(options.targets, &addresses, &problem) ||
      !ParsePortList(options.ports, &ports, &problem) || !Endpoints(addresses, ports, &endpoints, &problem)) {
    err << "vmlctl: " << problem << "; nothing was sent\n";
    return kExitUsage;
  }
  const Target& login = options.login;
  std::string user;
  std::string password;
  if (!ToDeviceText(login.textEncoding, login.user, &user) ||
      !ToDeviceText(login.textEncoding, login.password, &password)) {
    err << "vmlctl: the user name or password holds a character " << EncodingName(login.textEncoding)
        << " cannot carry; nothing was sent\n";
    return kExitUsage;
  }
  // The rows written must read back: a user name or password the inventory refuses would make
  // the whole file unusable after the scan.
  vml::inventory::Entry row;
  row.host = "127.0.0.1";
  row.port = 1;
  row.user = login.user;
  row.password = login.password;
  row.videoPort = login.videoPort;
  if (login.textEncoding != VMLCMD_TEXT_ENCODING_CP936) row.textEncoding = EncodingName(login.textEncoding);
  {
    std::ostringstream sample;
    vml::inventory::Write(sample, {row});
    std::istringstream back(sample.str());
    std::vector<vml::inventory::Entry> read;
    vml::inventory::Error error;
    if (!vml::inventory::Read(back, {}, &read, &error)) {
      err << "vmlctl: " << error.message << ", which no inventory row can hold; nothing was sent\n";
      return kExitUsage;
    }
  }
  if (!options.output.empty()) {
    if (const std::string unusable = WriteProblem(options.output); !unusable.empty()) {
      err << "vmlctl: " << unusable << "; nothing was sent\n";
      return kExitUsage;
    }
  }

  const auto start = Clock::now();
  std::vector<Probe> probes;
  std::vector<char> done;
  bool noObject = false;
  const std::size_t scanned = Scan(endpoints, user, password, options.jobs, options.stop,
                                   options.progress ? &err : nullptr, &probes, &done, &noObject);
  const auto wall = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  if (noObject) {
    err << "vmlctl: CreateICommand returned no object\n";
    return kExitFailed;
  }

  std::size_t counts[4] = {};
  std::vector<vml::inventory::Entry> rows;
  for (std::size_t i = 0; i < endpoints.size(); ++i) {
    if (done[i] == 0) continue;
    const Probe& probe = probes[i];
    ++counts[static_cast<int>(probe.finding)];
    Target target = login;
    target.host = AddressText(endpoints[i].address);
    target.port = endpoints[i].port;
    if (options.json && probe.finding != Finding::kSilent) {
      nlohmann::ordered_json line;
      line["host"] = target.host;
      line["port"] = target.port;
      line["found"] = FindingName(probe.finding);
      if (probe.versionKnown) {
        // The one reply carries both numbers, as vmlctl versions reads them.
        line["bsp"] = probe.version;
        line["napi"] = probe.version;
      } else {
        line["reason"] = Describe(probe.outcome, target);
      }
      line["outcome"] = OutcomeJson(probe.outcome);
      out << Dump(line) << '\n';
    }
    if (probe.finding != Finding::kDevice && probe.finding != Finding::kLoginRefused) continue;
    vml::inventory::Entry entry = row;
    entry.host = target.host;
    entry.port = target.port;
    if (probe.finding == Finding::kLoginRefused) {
      entry.comments.push_back("refused the login: " + StatusText(probe.outcome.status) +
                               "; give this row the device's user and password");
    } else if (probe.versionKnown) {
      entry.comments.push_back("versions: bsp " + std::to_string(probe.version) + ", napi " +
                               std::to_string(probe.version));
    } else {
      entry.comments.push_back("versions unknown: " + Describe(probe.outcome, target));
    }
    rows.push_back(std::move(entry));
  }

  const bool interrupted = scanned < endpoints.size();
  const std::size_t devices = counts[static_cast<int>(Finding::kDevice)];
  const std::size_t refused = counts[static_cast<int>(Finding::kLoginRefused)];
  const std::size_t notNapi = counts[static_cast<int>(Finding::kNotNapi)];
  const std::size_t silent = counts[static_cast<int>(Finding::kSilent)];
  if (options.json) {
    nlohmann::ordered_json summary;
    summary["endpoints"] = endpoints.size();
    summary["scanned"] = scanned;
    summary["devices"] = devices;
    summary["login_refused"] = refused;
    summary["not_napi"] = notNapi;
    summary["silent"] = silent;
    summary["interrupted"] = interrupted;
    summary["jobs"] = options.jobs;
    summary["wall_us"] = wall;
    out << Dump({{"summary", summary}}) << '\n';
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", static_cast<double>(wall) / 1e6);
  err << "scanned " << Thousands(scanned);
  if (interrupted) err << " of " << Thousands(endpoints.size());
  err << " endpoints" << (interrupted ? " (interrupted)" : "") << ": " << Thousands(devices) << " devices, "
      << Thousands(refused) << " refused the login, " << Thousands(notNapi) << " not NAPI, "
      << Thousands(silent) << " silent; " << seconds << '\n';

  if (interrupted) {
    if (!options.json || !options.output.empty()) err << "vmlctl: interrupted; no inventory written\n";
    return kExitInterrupted;
  }
  if (rows.empty()) {
    // An inventory without a row is one no tool reads; nothing is written in its place.
    if (!options.output.empty()) err << "vmlctl: no device answered; " << options.output << " not written\n";
    return kExitFailed;
  }
  if (options.json && options.output.empty()) return kExitOk;
  std::ostringstream inventory;
  inventory << "# vmlctl discover";
  for (const std::string& target : options.targets) inventory << ' ' << target;
  inventory << " --ports " << options.ports << ": " << Thousands(devices) << " devices, "
            << Thousands(refused) << " refused the login\n";
  vml::inventory::Write(inventory, rows);
  if (options.output.empty()) {
    out << inventory.str() << std::flush;
    return kExitOk;
  }
  if (!WriteText(options.output, inventory.str(), &problem)) {
    err << "vmlctl: " << problem << '\n';
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace vmlctl
