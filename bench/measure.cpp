// Runs a command a few times and prints its best wall and CPU times and its peak memory.
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

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--runs") == 0) {
    runs = std::max(1, std::atoi(argv[2]));
    first = 3;
  }
  if (first < argc && std::strcmp(argv[first], "--") == 0) ++first;
  if (first >= argc) {
    std::fprintf(stderr, "usage: quillshade_measure [--runs N] [--] COMMAND [ARGS...]\n"
                         "prints: best wall seconds, peak resident KiB, best CPU seconds\n");
    return 2;
  }
  Run best;
  for (int i = 0; i < runs; ++i) {
    const Run run = RunOnce(argv + first);
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
      std::fprintf(stderr, "quillshade_measure: %s failed\n", argv[first]);
      return 1;
    }
    best.seconds = i == 0 ? run.seconds : std::min(best.seconds, run.seconds);
    best.cpuSeconds = i == 0 ? run.cpuSeconds : std::min(best.cpuSeconds, run.cpuSeconds);
    best.peakKiB = std::max(best.peakKiB, run.peakKiB);
  }
  std::printf("%.4f %ld %.4f\n", best.seconds, best.peakKiB, best.cpuSeconds);
  return 0;
}
