// Runs a tool as a user does, with its standard output and error in files, for the tests that
// check its exit status and what it prints; and the small helpers those tests share.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "napisim/Simulator.h"

extern char** environ;

namespace tooltest {

struct ToolRun {
  int status = -1;
  std::string output;  // stdout
  std::string errors;  // stderr
};

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs tool with args; whileRunning gets the process id before the wait.
inline ToolRun RunTool(const std::string& tool, std::vector<std::string> args,
                       const std::function<void(pid_t)>& whileRunning = {}) {
  char outPath[] = "/tmp/tool-test-out-XXXXXX";
  char errPath[] = "/tmp/tool-test-err-XXXXXX";
  const int out = mkstemp(outPath);
  const int err = mkstemp(errPath);
  args.insert(args.begin(), tool);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
  pid_t pid = -1;
  ToolRun run;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    if (whileRunning) whileRunning(pid);
    int raw = 0;
    waitpid(pid, &raw, 0);
    if (WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(out);
  close(err);
  run.output = Slurp(outPath);
  run.errors = Slurp(errPath);
  unlink(outPath);
  unlink(errPath);
  return run;
}

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A port where nothing listens: one the system just gave out and took back.
inline uint16_t ClosedPort() {
  napisim::Simulator gone;
  gone.Start();
  const uint16_t port = gone.Port();
  gone.Stop();
  return port;
}

}  // namespace tooltest
