#pragma once
// A host without windows: the problem and the settings it is given, confirmations answered with
// their first button, the last message kept, and a note of whether a sweep completed. Batch
// runners and benchmarks derive from it to keep every message or do more at the end of a sweep.

#include <optional>

#include "calc/ports.h"
#include "calc/problem.h"

namespace calc {

class HeadlessHost : public KeepLastMessage, public RunHost {
 public:
  // The problem handed to the engine as the current record, and how it is run.
  ProblemInput problem;
  RunSettings settings;
  // A sweep reached Ymin.
  bool sweep_completed = false;

  std::optional<ProblemInput> CurrentProblem() override { return problem; }
  RunSettings Settings() override { return settings; }
  void SweepCompleted() override { sweep_completed = true; }
};

}  // namespace calc
