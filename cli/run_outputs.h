#pragma once
// The files brelona-calc run writes into a problem's folder, and its one-line report.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "calc/problem.h"
#include "cli/run_host.h"

namespace cli {

// Seconds spent on each output, in the order written (for the benchmark).
using OutputTimes = std::vector<std::pair<std::string, double>>;

// Writes every output file of a finished (or stopped) run into dir, creating it. Each file is
// tried; throws std::runtime_error with one line for every file that could not be written
// ("cannot write PATH: WHY"), which is then not there at all.
void WriteRunOutputs(const std::filesystem::path& dir, const calc::ProblemInput& problem,
                     const RunHost& host, double seconds, OutputTimes* times = nullptr);

// "<name>: N levels, N nodes, S s", the line printed on stdout for a completed problem.
std::string RunSummaryLine(const calc::ProblemInput& problem, const RunHost& host, double seconds);

// The answers of a run, one indented line each: with the exact values the invariants, congruent
// points, critical points and transitions of the pure components, else the grid's special
// points.
std::string RunAnswerLines(const calc::ProblemInput& problem, const RunHost& host);

}  // namespace cli
