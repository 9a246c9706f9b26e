#pragma once
// Runs many independent jobs (one problem each) on several cores. Each job runs in a child
// process forked from this one, so the jobs share nothing (the diagram pictures are drawn with
// Qt, which must not be used from several threads at once) and every job gives exactly the
// files it gives when run alone. The children's stdout and stderr are collected and passed on
// whole, in job order, so the output of a batch does not depend on which job ended first.
//
// The caller must not have created any Qt object (nor started a thread) before calling it.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace cli {

struct BatchOptions {
  // Jobs running at once (at least 1).
  int jobs = 1;
  // Keep a one-line progress report on stderr (meant for a terminal).
  bool progress = false;
};

// The number of processors this process may run on.
int DefaultJobs();

// Runs job(0) .. job(count - 1), each in a child process, at most options.jobs at a time, and
// returns each job's exit code (1 for a job that could not start or ended by a signal, with
// a message on stderr). name(i) names job i in the progress line and in those messages.
std::vector<int> RunBatch(size_t count, const std::function<std::string(size_t)>& name,
                          const std::function<int(size_t)>& job, const BatchOptions& options);

}  // namespace cli
