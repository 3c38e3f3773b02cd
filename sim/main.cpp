// napi-sim: runs the simulated video server until SIGINT or SIGTERM, optionally with its control
// channel (napisim/ControlServer.h) for test programs in other processes.
#if __has_include(<sys/resource.h>)
#include <sys/resource.h>
#endif

#include <CLI/CLI.hpp>
#include <asio.hpp>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "inventory/Inventory.h"
#include "napisim/ControlServer.h"
#include "napisim/Simulator.h"

namespace {

// The signal that asks for the state while the simulator runs: Windows has no SIGUSR1, and
// Ctrl+Break is the console's other signal besides Ctrl+C.
#if defined(SIGUSR1)
constexpr int kDumpSignal = SIGUSR1;
constexpr char kDumpSignalName[] = "SIGUSR1";
#else
constexpr int kDumpSignal = SIGBREAK;
constexpr char kDumpSignalName[] = "Ctrl+Break";
#endif

void PrintState(const napisim::Simulator& simulator) {
  if (simulator.DeviceCount() == 1) {
    std::cout << simulator.StateJson().dump(2) << std::endl;
    return;
  }
  nlohmann::json all = nlohmann::json::array();
  for (std::size_t i = 0; i < simulator.DeviceCount(); ++i) all.push_back(simulator.StateJson(i));
  std::cout << all.dump(2) << std::endl;
}

// A fleet needs a descriptor per listener besides those of its connections; the usual soft
// limit of 1024 is far below what the system allows.
void RaiseDescriptorLimit([[maybe_unused]] int devices) {
#if __has_include(<sys/resource.h>)
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    ::getrlimit(RLIMIT_NOFILE, &limit);
  }
  // Room for a connection per device at least; with less, clients wait in the backlog.
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < 2 * static_cast<rlim_t>(devices) + 16) {
    std::cerr << "napi-sim: warning: " << devices << " devices with a limit of " << limit.rlim_cur
              << " descriptors leave little room for connections\n";
  }
#endif  // Windows has no such per-process limit on sockets
}

// Written to a temporary name and renamed, so a program waiting for the file never reads half.
bool WriteInventory(const std::string& path, const napisim::Simulator& simulator,
                    const napisim::Options& options) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    const napisim::Account account =
        options.accounts.empty() ? napisim::Account{"admin", "admin"} : options.accounts.front();
    std::vector<vml::inventory::Entry> entries;
    for (std::size_t i = 0; i < simulator.DeviceCount(); ++i) {
      vml::inventory::Entry entry;
      entry.name = "sim-" + std::to_string(i + 1);
      entry.host = options.address;
      entry.port = simulator.Port(i);
      entry.user = account.user;
      entry.password = account.password;
      entries.push_back(entry);
    }
    vml::inventory::Write(out, entries);
    if (!out.flush()) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

constexpr const char* kFaultHelp = R"(
Faults are set per command code through the control channel (op "set-fault", see napi-sim(1)):
kinds normal, no-reply, close, reset, truncate, status, raw, text, ignore (status 0, state
kept: a write the device does not take); with delayMs before the
reply, closeAfter, and delivery fields for any replying kind: splitAfter (bytes in the first
write) with gapMs before the rest, oneByteAtATime (gapMs between bytes; splitAfter 20 sends the
header and the text apart), trailingNul (an undeclared NUL behind the reply).)";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Simulated NAPI video server on a loopback TCP port"};
  app.name("napi-sim");
  app.set_version_flag("--version", "napi-sim " VMLCMD_VERSION_TEXT, "Print the version and exit");
  napisim::Options options;
  std::vector<std::string> accounts;
  bool printState = false;
  int controlPort = -1;
  double idleTimeoutSeconds = 30;
  std::string inventoryOut;
  app.footer(kFaultHelp);
  app.add_option("--address", options.address, "IPv4 loopback address to listen on")->capture_default_str();
  app.add_option("--port", options.port, "TCP port, 0 for any free port")->capture_default_str();
  app.add_option("--account", accounts, "USER:PASSWORD accepted by login (repeatable; default admin:admin)");
  app.add_option("--video-ports", options.videoPorts, "Number of video ports")
      ->capture_default_str()
      ->check(CLI::Range(0, 64));
  app.add_flag("--log", options.log, "Log one line per request on stderr");
  app.add_option("--control-port", controlPort,
                 "TCP port on 127.0.0.1 for the JSON-lines control channel, 0 for any free port")
      ->check(CLI::Range(0, 65535));
  app.add_flag("--state", printState,
               std::string("Print the device state as JSON on ") + kDumpSignalName + " and at exit");
  app.add_option("--devices", options.devices,
                 "Number of independent devices, one port each (device i on PORT+i when --port is not 0)")
      ->capture_default_str()
      ->check(CLI::Range(1, 20000));
  app.add_option(
      "--inventory-out", inventoryOut,
      "Write the devices as an inventory CSV (name,host,port,user,password,video-port) once they listen");
  app.add_option("--request-log", options.requestLog,
                 "Requests kept for the control channel, shared among the devices")
      ->capture_default_str();
  app.add_option("--idle-timeout", idleTimeoutSeconds,
                 "Close a connection that sends no whole request for this many seconds, 0 for never")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 86400.0));
  std::string replyFields = napisim::ReplyFieldsName(options.replyFields);
  app.add_option("--reply-fields", replyFields,
                 "What replies carry in the fields the protocol leaves free (offsets 0, 8, 12): usual "
                 "(100, the command, 0), zero, or drawn (new values for every reply)")
      ->capture_default_str()
      ->check(CLI::IsMember({"usual", "zero", "drawn"}));
  CLI11_PARSE(app, argc, argv);
  napisim::ParseReplyFields(replyFields, &options.replyFields);
  options.idleTimeout = std::chrono::milliseconds(std::llround(idleTimeoutSeconds * 1000));
  RaiseDescriptorLimit(options.devices);

  if (!accounts.empty()) {
    options.accounts.clear();
    for (const auto& entry : accounts) {
      const auto colon = entry.find(':');
      if (colon == std::string::npos || colon == 0) {
        std::cerr << "napi-sim: --account expects USER:PASSWORD, got \"" << entry << "\"\n";
        return 2;
      }
      options.accounts.push_back({entry.substr(0, colon), entry.substr(colon + 1)});
    }
  }
  options.logStream = &std::cerr;

  try {
    napisim::Simulator simulator(options);
    simulator.Start();
    // Before the first line, so a script that waits for that line finds the file complete.
    if (!inventoryOut.empty() && !WriteInventory(inventoryOut, simulator, options)) {
      std::cerr << "napi-sim: cannot write the inventory " << inventoryOut << '\n';
      return 1;
    }
    std::cout << "napi-sim listening on " << options.address << ":" << simulator.Port() << std::endl;
    if (simulator.DeviceCount() > 1) {
      std::cout << "napi-sim devices: " << simulator.DeviceCount() << " on ports " << simulator.Port(0);
      for (std::size_t i = 1; i < simulator.DeviceCount(); ++i) std::cout << ',' << simulator.Port(i);
      std::cout << std::endl;
    }
    std::unique_ptr<napisim::ControlServer> control;
    if (controlPort >= 0) {
      control = std::make_unique<napisim::ControlServer>(simulator, static_cast<uint16_t>(controlPort));
      control->Start();
      std::cout << "napi-sim control on 127.0.0.1:" << control->Port() << std::endl;
    }

    asio::io_context signals_io(1);
    asio::signal_set stop_signals(signals_io, SIGINT, SIGTERM);
    asio::signal_set dump_signal(signals_io, kDumpSignal);
    stop_signals.async_wait([&](const asio::error_code& ec, int) {
      if (!ec) signals_io.stop();
    });
    std::function<void()> wait_dump = [&] {
      dump_signal.async_wait([&](const asio::error_code& ec, int) {
        if (ec) return;
        if (printState) PrintState(simulator);
        wait_dump();
      });
    };
    wait_dump();
    signals_io.run();

    if (control) control->Stop();
    simulator.Stop();
    if (printState) PrintState(simulator);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  return 0;
}
