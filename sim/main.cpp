// napi-sim: runs the simulated video server until SIGINT or SIGTERM, optionally with its control
// channel (napisim/ControlServer.h) for test programs in other processes.
#include <CLI/CLI.hpp>
#include <asio.hpp>
#include <csignal>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

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
  std::cout << simulator.StateJson().dump(2) << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Simulated NAPI video server on a loopback TCP port"};
  app.set_version_flag("--version", std::string("napi-sim ") + NAPISIM_VERSION);
  napisim::Options options;
  std::vector<std::string> accounts;
  bool printState = false;
  int controlPort = -1;
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
  CLI11_PARSE(app, argc, argv);

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
    std::cout << "napi-sim listening on " << options.address << ":" << simulator.Port() << std::endl;
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
