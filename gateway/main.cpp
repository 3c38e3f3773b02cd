// vmlcmd-gateway: every device of an inventory over HTTP/JSON, with an OpenAPI description and
// a web console, or with --demo a simulated fleet of eight devices started in this process.
//
// Exit status: 0 stopped by SIGINT or SIGTERM (on Windows Ctrl+C, Ctrl+Break or the console
// closing), 1 the server could not start, 2 usage error.
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "Gateway.h"
#include "HttpServer.h"
#include "Inventory.h"
#include "TextEncodingOption.h"
#include "napisim/Simulator.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kDemoDevices = 8;

const bool kHaveTls = gateway::HttpServer::HasTls();

bool SplitListen(const std::string& text, std::string* host, int* port) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  *host = text.substr(0, colon);
  const std::string digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
    return false;
  *port = std::stoi(digits);
  return *port <= 65535;
}

#ifdef _WIN32
// The console's stop events arrive on a thread of their own, which stops the server; the
// server is set before the handler is installed and outlives it.
gateway::HttpServer* stopTarget = nullptr;

BOOL WINAPI OnConsoleStop(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      stopTarget->Stop();
      return TRUE;
    default:
      return FALSE;
  }
}
#endif

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vmlcmd-gateway: video servers over HTTP/JSON (/api/v1, /openapi.json) and a web console (/)"};
  std::string inventoryPath, tokensPath, listen = "127.0.0.1:8080", certPath, keyPath;
  bool demo = false, quiet = false, listRoutes = false;
  gateway::Options options;
  gateway::HttpLimits limits;
  app.add_option("--inventory", inventoryPath,
                 "CSV of devices: a header naming "
                 "host,port[,user,password,video-port,name,text-encoding,group,desired], one "
                 "device a line; devices added or removed through the API are written back to it");
  app.add_option(
      "--tokens", tokensPath,
      "File of bearer tokens, one a line: \"ROLE NAME TOKEN\" (or \"ROLE TOKEN\"), ROLE read, write "
      "or metrics; the name stands for the caller in the audit trail");
  app.add_option("--listen", listen, "ADDRESS:PORT to listen on (port 0: any free one)")
      ->capture_default_str();
  app.add_option("--tls-cert", certPath,
                 kHaveTls ? "PEM certificate: serve HTTPS (with --tls-key)"
                          : "PEM certificate: refused, this build has no TLS (serve it behind a TLS proxy)");
  app.add_option("--tls-key", keyPath, "PEM private key of --tls-cert");
  app.add_flag("--demo", demo,
               "Start 8 simulated devices in this process and serve them (tokens made up and printed unless "
               "--tokens is given)");
  app.add_option("--concurrency", options.concurrentCalls, "Device calls at once, all devices together")
      ->capture_default_str()
      ->check(CLI::Range(1, 1024));
  app.add_option("--queue", options.queuePerDevice, "Calls one device may have waiting before 503 Busy")
      ->capture_default_str()
      ->check(CLI::Range(1, 1024));
  app.add_option("--threads", limits.workers,
                 "Requests answered at once (a waiting connection holds no thread; PTZ stops have their own)")
      ->capture_default_str()
      ->check(CLI::Range(2, 4096));
  app.add_option("--max-connections", limits.connections,
                 "Client connections open at once; more are answered 503")
      ->capture_default_str()
      ->check(CLI::Range(8, 65536));
  std::string textEncoding = "cp936";
  vmlctl::AddTextEncodingOption(
      app, &textEncoding,
      "Code page the devices keep their texts in (cp936, utf-8 or cpN), for every device whose "
      "inventory row or POST names none; the API's texts are UTF-8");
  std::string movesFile;
  app.add_option(
      "--moves-file", movesFile,
      "File of the PTZ moves in flight, whose heads a restart stops first (default: the inventory's "
      "path with .moves appended; none without an inventory)");
  double probeSeconds = 30;
  app.add_option("--probe-interval", probeSeconds,
                 "Seconds between health probes of each device (jittered; 0: none in the background)")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 86400.0));
  app.add_flag("--metrics-public", options.metricsPublic,
               "Serve /metrics and /probe without a token (for a Prometheus on a trusted network)");
  app.add_option("--audit", options.auditFile,
                 "File the audit trail is appended to, one JSON line a change (who, what, before, after); "
                 "without it the newest changes are kept in memory only");
  double driftSeconds = 600;
  app.add_option("--drift-interval", driftSeconds,
                 "Seconds between plans of each device's desired configuration against it (reported, never "
                 "applied); 0: only when one is registered")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 604800.0));
  app.add_flag("--quiet", quiet, "No request log on the error stream");
  app.add_flag("--list-routes", listRoutes, "Print every route as METHOD PATH ROLE and exit");
  app.set_version_flag("--version", std::string("vmlcmd-gateway ") + VMLCMD_VERSION_TEXT);
  app.footer(
      "Requests carry \"Authorization: Bearer TOKEN\". A read token may list devices, read and plan "
      "configurations; changing a device or the device list needs a write token; a metrics token may read "
      "/metrics and /probe only. GET /healthz needs none. Device passwords come from the inventory and are "
      "never sent back.");
  CLI11_PARSE(app, argc, argv);

  if (listRoutes) {
    for (const auto& route : gateway::Gateway::Routes()) {
      std::cout << route.method << ' ' << route.path << ' ' << gateway::RoleName(route.role) << '\n';
    }
    return 0;
  }
  std::string host;
  int port = 0;
  if (!SplitListen(listen, &host, &port)) {
    std::cerr << "vmlcmd-gateway: --listen expects ADDRESS:PORT, got \"" << listen << "\"\n";
    return kExitUsage;
  }
  if (certPath.empty() != keyPath.empty()) {
    std::cerr << "vmlcmd-gateway: --tls-cert and --tls-key go together\n";
    return kExitUsage;
  }
  if (!kHaveTls && !certPath.empty()) {
    std::cerr << "vmlcmd-gateway: TLS is not in this build (its HTTP library has no OpenSSL); serve plain "
                 "HTTP on 127.0.0.1 behind a TLS proxy\n";
    return kExitUsage;
  }
  if (!demo && (inventoryPath.empty() || tokensPath.empty())) {
    std::cerr << "vmlcmd-gateway: give --inventory and --tokens, or --demo\n";
    return kExitUsage;
  }

  gateway::Tokens tokens;
  std::string demoWrite, demoRead;
  if (!tokensPath.empty()) {
    std::ifstream in(tokensPath);
    gateway::TokenError error;
    if (!in) {
      std::cerr << "vmlcmd-gateway: cannot read " << tokensPath << '\n';
      return kExitUsage;
    }
    if (!tokens.Parse(in, &error)) {
      std::cerr << "vmlcmd-gateway: " << tokensPath;
      if (error.line > 0) std::cerr << ':' << error.line;
      std::cerr << ": " << error.message << '\n';
      return kExitUsage;
    }
  } else {
    demoWrite = gateway::NewToken();
    demoRead = gateway::NewToken();
    tokens.Add(gateway::Role::kWrite, demoWrite);
    tokens.Add(gateway::Role::kRead, demoRead);
  }

  std::vector<vmlctl::InventoryRow> rows;
  if (!inventoryPath.empty()) {
    std::ifstream in(inventoryPath);
    vmlctl::InventoryError error;
    if (!in) {
      std::cerr << "vmlcmd-gateway: cannot read " << inventoryPath << '\n';
      return kExitUsage;
    }
    vmlctl::Target defaults;
    defaults.textEncoding = vmlcmd_text_encoding(textEncoding.c_str());
    if (!vmlctl::ParseInventory(in, defaults, &rows, &error)) {
      std::cerr << "vmlcmd-gateway: " << inventoryPath;
      if (error.line > 0) std::cerr << ':' << error.line;
      std::cerr << ": " << error.message << '\n';
      return kExitUsage;
    }
  }

#ifndef _WIN32
  // Signals go to one thread that stops the server; the others never see them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  // A closed terminal or a stopped service manager must not leave a head moving either.
  sigaddset(&stopSignals, SIGHUP);
  sigaddset(&stopSignals, SIGQUIT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
#endif

  std::unique_ptr<napisim::Simulator> simulator;
  if (demo) {
    napisim::Options simOptions;
    simOptions.devices = kDemoDevices;
    simulator = std::make_unique<napisim::Simulator>(simOptions);
    try {
      simulator->Start();
    } catch (const std::exception& e) {
      std::cerr << "vmlcmd-gateway: the simulated fleet did not start: " << e.what() << '\n';
      return kExitFailed;
    }
  }

  options.log = quiet ? nullptr : &std::cerr;
  options.probeInterval = std::chrono::milliseconds(static_cast<long long>(probeSeconds * 1000));
  options.driftInterval = std::chrono::milliseconds(static_cast<long long>(driftSeconds * 1000));
  if (!inventoryPath.empty()) options.desiredFile = inventoryPath + ".desired.json";
  options.textEncoding = vmlcmd_text_encoding(textEncoding.c_str());
  options.movesFile = !movesFile.empty()      ? movesFile
                      : inventoryPath.empty() ? std::string()
                                              : inventoryPath + ".moves";
  if (!inventoryPath.empty()) {
    // Devices added through the API are written back; a file that cannot be written is said
    // now, and such changes are refused rather than lost at the next start.
    options.inventoryFile = inventoryPath;
    std::ofstream probe(inventoryPath + ".new", std::ios::binary | std::ios::trunc);
    std::ofstream existing(inventoryPath, std::ios::binary | std::ios::app);
    options.inventoryWritable = probe.good() && existing.good();
    probe.close();
    std::remove((inventoryPath + ".new").c_str());
    if (!options.inventoryWritable) {
      std::cerr << "vmlcmd-gateway: " << inventoryPath
                << " cannot be written: devices cannot be added or removed through the API\n";
    }
  }
  gateway::Gateway gateway(tokens, options);
  for (const auto& row : rows) {
    if (!row.name.empty() && !gateway::ValidId(row.name)) {
      std::cerr << "vmlcmd-gateway: " << inventoryPath << ':' << row.line
                << ": a name may hold only letters, digits and - _ . : ~ (it is the device's id)\n";
      return kExitUsage;
    }
    if (!row.name.empty() && gateway.Devices().Find(row.name)) {
      std::cerr << "vmlcmd-gateway: " << inventoryPath << ':' << row.line << ": the name \"" << row.name
                << "\" is used twice\n";
      return kExitUsage;
    }
    gateway.AddDevice(row.name, row.name, row.target, row.group);
    if (!row.group.empty() && !gateway::ValidId(row.group)) {
      std::cerr << "vmlcmd-gateway: " << inventoryPath << ':' << row.line
                << ": a group may hold only letters, digits and - _ . : ~\n";
      return kExitUsage;
    }
  }
  // The desired configurations the rows name, relative to the inventory's folder.
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& row = rows[i];
    if (row.desired.empty()) continue;
    const auto path = std::filesystem::path(inventoryPath).parent_path() / row.desired;
    const std::string id = row.name.empty() ? gateway.Devices().All()[i]->Id() : row.name;
    std::string problem;
    if (!gateway.DesiredFromFile(id, path.string(), row.desired, &problem)) {
      std::cerr << "vmlcmd-gateway: " << inventoryPath << ':' << row.line << ": " << problem << '\n';
      return kExitUsage;
    }
  }
  if (simulator) {
    for (std::size_t i = 0; i < simulator->DeviceCount(); ++i) {
      vmlctl::Target target;
      target.port = simulator->Port(i);
      gateway.AddDevice("cam" + std::to_string(i + 1), "Camera " + std::to_string(i + 1), target);
    }
  }

  // Heads an earlier run left moving (it crashed, or was killed) are stopped before anything else.
  for (const std::string& id : gateway.StopLeftoverMoves()) {
    std::cerr << "vmlcmd-gateway: " << options.movesFile << " lists \"" << id
              << "\", a device of an earlier run that is not in this one: its head may still be moving\n";
  }

  std::vector<std::string> strangers;
  std::string desiredProblem;
  if (!gateway.LoadDesired(&strangers, &desiredProblem)) {
    std::cerr << "vmlcmd-gateway: " << options.desiredFile << ": " << desiredProblem << '\n';
    return kExitUsage;
  }
  for (const std::string& id : strangers) {
    std::cerr << "vmlcmd-gateway: " << options.desiredFile << " holds a desired configuration of \"" << id
              << "\", which is no device of this run\n";
  }
  std::string auditProblem;
  if (!gateway.OpenAudit(&auditProblem)) {
    std::cerr << "vmlcmd-gateway: --audit " << options.auditFile << ": " << auditProblem << '\n';
    return kExitFailed;
  }
  gateway.StartProbes();

  gateway::HttpServer server(
      limits, [&gateway](const gateway::HttpRequest& r, gateway::HttpResponse& w) { gateway.Handle(r, w); },
      [&gateway](const gateway::HttpRequest& r, int status, const std::string& message,
                 gateway::HttpResponse& w) { gateway.Refuse(r, status, message, w); },
      &gateway::Gateway::IsStop);
  std::string problem;
  if (!certPath.empty() && !server.UseTls(certPath, keyPath, &problem)) {
    std::cerr << "vmlcmd-gateway: the TLS certificate or key could not be loaded: " << problem << '\n';
    return kExitUsage;
  }
  port = server.Bind(host, port, &problem);
  if (port < 0) {
    std::cerr << "vmlcmd-gateway: cannot listen on " << listen << ": " << problem << '\n';
    return kExitFailed;
  }
  const std::string base =
      std::string(certPath.empty() ? "http" : "https") + "://" + host + ":" + std::to_string(port);
  std::cout << "vmlcmd-gateway listening on " << base << "/ (" << gateway.Devices().All().size()
            << " devices)" << std::endl;
  if (demo) {
    std::cout << "console: " << base << "/#token=" << (demoWrite.empty() ? "<your write token>" : demoWrite)
              << std::endl;
    if (!demoRead.empty()) std::cout << "read-only token: " << demoRead << std::endl;
  }

#ifdef _WIN32
  stopTarget = &server;
  SetConsoleCtrlHandler(OnConsoleStop, TRUE);
  const bool served = server.Run();
  SetConsoleCtrlHandler(OnConsoleStop, FALSE);
#else
  std::thread signalWaiter([&] {
    int received = 0;
    sigwait(&stopSignals, &received);
    server.Stop();
  });
  const bool served = server.Run();
  // A stop that did not come from a signal still has to release the waiter.
  pthread_kill(signalWaiter.native_handle(), SIGTERM);
  signalWaiter.join();
#endif
  return served ? 0 : kExitFailed;
}
