// Runs one of the built tools as a process of its own, as a user would, and hands back what it
// printed, how it ended and what it cost: the benchmarks measure the tool, not a copy of its code.
#pragma once

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace vmlbench {

struct ToolProcess {
  bool started = false;
  int status = -1;  // the exit status, -1 when it did not exit
  rusage usage{};   // the tool's own, all its threads
  std::string output;
};

inline ToolProcess RunTool(std::vector<std::string> args) {
  ToolProcess run;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  char buffer[65536];
  for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
    run.output.append(buffer, static_cast<std::size_t>(got));
  ::close(pipeFds[0]);
  if (spawned != 0) return run;
  int status = 0;
  ::wait4(pid, &status, 0, &run.usage);
  run.started = true;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// A simulated fleet holds a listener a device, and the tool up to a connection a job.
inline void RaiseOpenFileLimit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

// The output's lines, one at a time.
template <typename OnLine>
void ForEachLine(const std::string& output, OnLine&& onLine) {
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    onLine(output.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace vmlbench
