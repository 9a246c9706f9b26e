#include "cli/run_batch.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <thread>

namespace cli {

namespace {

struct Child {
  pid_t pid = -1;
  int out = -1;  // read ends of the child's stdout and stderr
  int err = -1;
  int exit_fd = -1;  // readable when the child has ended (pidfd), -1 when not available
  std::string out_text, err_text;
  bool reaped = false;
  int code = 0;
  bool started = false;
  bool passed_on = false;
};

void WriteAll(int fd, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Reads what is there; closes the descriptor at end of file.
void Drain(int& fd, std::string& into) {
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      into.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    ::close(fd);
    fd = -1;
    return;
  }
}

int TerminalWidth() {
  winsize ws{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 10) return ws.ws_col;
  return 80;
}

// Starts job i in a child whose stdout and stderr go to pipes. Returns false when it could
// not be started.
bool Start(Child& c, size_t i, const std::function<int(size_t)>& job) {
  int out[2], err[2];
  if (::pipe(out) != 0) return false;
  if (::pipe(err) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return false;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
    return false;
  }
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
    int code = 1;
    try {
      code = job(i);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "error: %s\n", e.what());
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // No destructors or exit handlers: they belong to the parent.
    ::_exit(code);
  }
  ::close(out[1]);
  ::close(err[1]);
  c.pid = pid;
  c.out = out[0];
  c.err = err[0];
  c.started = true;
#ifdef SYS_pidfd_open
  c.exit_fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#endif
  for (int fd : {c.out, c.err}) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  return true;
}

}  // namespace

int DefaultJobs() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

std::vector<int> RunBatch(size_t count, const std::function<std::string(size_t)>& name,
                          const std::function<int(size_t)>& job, const BatchOptions& options) {
  std::vector<Child> children(count);
  std::vector<int> codes(count, 1);
  const size_t jobs = static_cast<size_t>(std::max(1, options.jobs));
  size_t next = 0;       // next job to start
  size_t passed_on = 0;  // jobs whose output has been passed on, in order
  size_t finished = 0;
  std::string progress_shown;

  auto show_progress = [&](bool on) {
    if (!options.progress) return;
    std::string line;
    if (on && passed_on < count) {
      line = "[" + std::to_string(finished) + "/" + std::to_string(count) + "] ";
      std::string running;
      for (size_t i = passed_on; i < next; ++i) {
        if (children[i].started && !children[i].reaped)
          running += (running.empty() ? "" : ", ") + name(i);
      }
      line += running;
      const size_t width = static_cast<size_t>(TerminalWidth() - 1);
      if (line.size() > width) line = line.substr(0, width - 3) + "...";
    }
    if (line == progress_shown) return;
    WriteAll(STDERR_FILENO, "\r\033[K" + line);
    progress_shown = line;
  };

  auto running = [&] {
    size_t n = 0;
    for (size_t i = 0; i < next; ++i)
      n += children[i].started &&
           !(children[i].reaped && children[i].out < 0 && children[i].err < 0);
    return n;
  };

  while (passed_on < count) {
    // Start as many as may run.
    while (next < count && running() < jobs) {
      Child& c = children[next];
      if (!Start(c, next, job)) {
        c.err_text = "error: problem '" + name(next) +
                     "' could not be started: " + std::strerror(errno) + "\n";
        c.reaped = true;
        c.code = 1;
        ++finished;
      }
      ++next;
    }

    // Wait for output or a child's end.
    std::vector<pollfd> fds;
    bool all_exit_fds = true;
    for (size_t i = passed_on; i < next; ++i) {
      const Child& c = children[i];
      for (int fd : {c.out, c.err}) {
        if (fd >= 0) fds.push_back({fd, POLLIN, 0});
      }
      if (c.started && !c.reaped) {
        if (c.exit_fd >= 0) {
          fds.push_back({c.exit_fd, POLLIN, 0});
        } else {
          all_exit_fds = false;
        }
      }
    }
    // Without a descriptor for a child's end, look again soon.
    if (!fds.empty()) ::poll(fds.data(), fds.size(), all_exit_fds ? 1000 : 10);
    for (size_t i = passed_on; i < next; ++i) {
      Child& c = children[i];
      if (c.out >= 0) Drain(c.out, c.out_text);
      if (c.err >= 0) Drain(c.err, c.err_text);
      if (c.started && !c.reaped) {
        int status = 0;
        const pid_t r = ::waitpid(c.pid, &status, fds.empty() ? 0 : WNOHANG);
        if (r == c.pid) {
          c.reaped = true;
          if (c.exit_fd >= 0) ::close(c.exit_fd);
          c.exit_fd = -1;
          ++finished;
          if (WIFEXITED(status)) {
            c.code = WEXITSTATUS(status);
          } else {
            c.code = 1;
            const int sig = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            c.err_text += "error: problem '" + name(i) + "' ended by signal " +
                          std::to_string(sig) + " (" + ::strsignal(sig) + ")\n";
          }
        }
      }
    }

    // Pass on, in job order, the output of every job that has ended completely.
    bool cleared = false;
    while (passed_on < count && passed_on < next) {
      Child& c = children[passed_on];
      if (!(c.reaped && c.out < 0 && c.err < 0)) break;
      if (!cleared) {
        show_progress(false);
        cleared = true;
      }
      WriteAll(STDERR_FILENO, c.err_text);
      WriteAll(STDOUT_FILENO, c.out_text);
      codes[passed_on] = c.code;
      c.passed_on = true;
      c.out_text.clear();
      c.err_text.clear();
      ++passed_on;
    }
    show_progress(true);
  }
  show_progress(false);
  return codes;
}

}  // namespace cli
