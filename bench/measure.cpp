// Runs one command and prints its wall time and resource use:
//
//   measure [-m BYTES] STDOUT STDERR PROGRAM ARG...
//
// prints "wall_ns maxrss_kib user_us sys_us status" on standard output,
// status being the exit code, or 128 + the signal.
//
// It exists because the driver cannot measure peak memory itself: a child
// started with posix_spawn (vfork) or fork from the driver inherits the
// driver's resident-set high-water mark, which the kernel then reports as
// the child's ru_maxrss. Forked from this small process, the child starts
// from about one megabyte. -m caps the child's address space (RLIMIT_AS).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

long long now_ns() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

bool redirect(const char* path, int fd, int flags) {
  int opened = open(path, flags, 0644);
  if (opened < 0) {
    return false;
  }
  bool ok = dup2(opened, fd) >= 0;
  close(opened);
  return ok;
}

long long micros(const struct timeval& t) {
  return static_cast<long long>(t.tv_sec) * 1000000LL + t.tv_usec;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  long long limit = 0;
  if (argc > 2 && std::strcmp(argv[1], "-m") == 0) {
    limit = std::atoll(argv[2]);
    first = 3;
  }
  if (argc - first < 3) {
    std::fprintf(stderr,
                 "usage: measure [-m BYTES] STDOUT STDERR PROGRAM ARG...\n");
    return 125;
  }
  const char* out_path = argv[first];
  const char* err_path = argv[first + 1];
  char** command = argv + first + 2;
  std::fflush(stdout);
  long long start = now_ns();
  pid_t pid = fork();
  if (pid < 0) {
    std::perror("fork");
    return 125;
  }
  if (pid == 0) {
    const int write_flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    if (!redirect("/dev/null", 0, O_RDONLY) ||
        !redirect(out_path, 1, write_flags) ||
        !redirect(err_path, 2, write_flags)) {
      _exit(126);
    }
    if (limit > 0) {
      struct rlimit cap;
      cap.rlim_cur = cap.rlim_max = static_cast<rlim_t>(limit);
      setrlimit(RLIMIT_AS, &cap);
    }
    execvp(command[0], command);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  std::memset(&usage, 0, sizeof usage);
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("wait4");
      return 125;
    }
  }
  long long wall = now_ns() - start;
  int code = WIFEXITED(status)
                 ? WEXITSTATUS(status)
                 : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  std::printf("%lld %ld %lld %lld %d\n", wall, usage.ru_maxrss,
              micros(usage.ru_utime), micros(usage.ru_stime), code);
  return 0;
}
