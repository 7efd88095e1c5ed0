// Runs commands a few times in turn and prints their median wall and CPU times and peak memory.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Run {
  double seconds = 0;
  double cpuSeconds = 0;  // user and system time together
  long peakKiB = 0;
  int status = 0;
};

// The child's output goes to /dev/null, so writing it costs only the system call.
Run RunOnce(char** command) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) {
    std::perror("quillshade_measure: fork");
    std::exit(1);
  }
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    execvp(command[0], command);
    std::fprintf(stderr, "quillshade_measure: %s: %s\n", command[0], std::strerror(errno));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const auto cpu = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return Run{elapsed.count(), cpu(usage.ru_utime) + cpu(usage.ru_stime), usage.ru_maxrss, status};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t half = values.size() / 2;
  return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--runs") == 0) {
    runs = std::max(1, std::atoi(argv[2]));
    first = 3;
  }
  // The commands, each after its own "--"; the arguments stay in argv, each command's
  // list ended by a null pointer where its next "--" stood.
  std::vector<char**> commands;
  for (int i = first; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") != 0) continue;
    argv[i] = nullptr;
    if (i + 1 < argc && std::strcmp(argv[i + 1], "--") != 0) commands.push_back(argv + i + 1);
  }
  if (commands.empty()) {
    std::fprintf(stderr, "usage: quillshade_measure [--runs N] -- COMMAND [ARGS...] [-- COMMAND [ARGS...]]...\n"
                         "prints a line per command: median wall seconds, peak resident KiB, median CPU seconds\n");
    return 2;
  }
  // The commands take turns, so that a machine busy with other work slows each alike.
  std::vector<std::vector<Run>> results(commands.size());
  for (int i = 0; i < runs; ++i) {
    for (std::size_t c = 0; c < commands.size(); ++c) {
      const Run run = RunOnce(commands[c]);
      if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        std::fprintf(stderr, "quillshade_measure: %s failed\n", commands[c][0]);
        return 1;
      }
      results[c].push_back(run);
    }
  }
  for (const std::vector<Run>& command : results) {
    std::vector<double> seconds;
    std::vector<double> cpuSeconds;
    long peakKiB = 0;
    for (const Run& run : command) {
      seconds.push_back(run.seconds);
      cpuSeconds.push_back(run.cpuSeconds);
      peakKiB = std::max(peakKiB, run.peakKiB);
    }
    std::printf("%.4f %ld %.4f\n", Median(seconds), peakKiB, Median(cpuSeconds));
  }
  return 0;
}
