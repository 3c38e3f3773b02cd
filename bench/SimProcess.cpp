#include "SimProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace bench {
namespace {

std::string ProcPath(pid_t pid, const char* file) {
  return "/proc/" + (pid == 0 ? std::string("self") : std::to_string(pid)) + "/" + file;
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& arguments) {
  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> all = {NAPI_SIM_PATH, "--port", "0"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int failed = ::posix_spawn(&pid_, NAPI_SIM_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (failed != 0) throw std::runtime_error("cannot start " NAPI_SIM_PATH);

  // "napi-sim listening on 127.0.0.1:PORT", then for a fleet "napi-sim devices: N on ports A,B,...".
  std::FILE* output = ::fdopen(out[0], "r");
  std::string line;
  int c;
  bool fleet = false;
  while ((c = std::fgetc(output)) != EOF) {
    if (c != '\n') {
      line.push_back(static_cast<char>(c));
      continue;
    }
    const auto colon = line.rfind(':');
    if (line.rfind("napi-sim listening on ", 0) == 0) {
      ports_.push_back(static_cast<uint16_t>(std::stoi(line.substr(colon + 1))));
      fleet = std::find(arguments.begin(), arguments.end(), "--devices") != arguments.end();
      if (!fleet) break;
    } else if (line.rfind("napi-sim devices: ", 0) == 0) {
      ports_.clear();
      std::istringstream list(line.substr(line.find("ports ") + 6));
      std::string port;
      while (std::getline(list, port, ',')) ports_.push_back(static_cast<uint16_t>(std::stoi(port)));
      break;
    }
    line.clear();
  }
  // Nothing more comes on standard output (no --state, no control channel), so the pipe can go.
  std::fclose(output);
  if (ports_.empty()) throw std::runtime_error("napi-sim did not start");
}

SimProcess::~SimProcess() {
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
}

double ResidentMegabytes(pid_t pid) {
  std::ifstream status(ProcPath(pid, "status"));
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

double CpuSeconds(pid_t pid) {
  std::ifstream stat(ProcPath(pid, "stat"));
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string skip;
  for (int i = 0; i < 11; ++i) fields >> skip;  // state ... cmajflt
  unsigned long long user = 0, system = 0;
  fields >> user >> system;
  return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count - 1;  // the directory being listed
}

}  // namespace bench
