#pragma once
// Runs brelona-calc with the given arguments and collects what it did.

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace cli_test {

struct Result {
  int exit_code = -1;
  std::string out, err;
};

inline std::string ReadAll(int fd) {
  std::string s;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
  return s;
}

// Runs the program with argv[0] = program and the arguments; stdin is empty.
inline Result Run(const std::string& program, const std::vector<std::string>& args) {
  int out[2], err[2];
  Result r;
  if (pipe(out) != 0 || pipe(err) != 0) return r;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    close(out[1]);
    close(err[1]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  // Outputs here are small: reading one pipe to its end before the other cannot block.
  r.out = ReadAll(out[0]);
  r.err = ReadAll(err[0]);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace cli_test
