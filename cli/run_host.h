#pragma once
// The host of a headless run of brelona-calc: messages are collected (and echoed to stderr),
// confirmations are answered with their first button (Yes), nothing is shown, the mosaic is
// always drawn (it is one of the outputs).

#include <string>
#include <utility>
#include <vector>

#include "calc/engine.h"
#include "calc/headless_host.h"
#include "calc/problem.h"
#include "calc/results.h"

namespace cli {

struct RunOptions {
  std::string database;
  std::string problem;
  bool all = false;
  std::string out;
  int xpoints = 0;  // 0: the problem's own
  int ypoints = 0;
  char separator = '.';
  int mosaic_w = 400;
  int mosaic_h = 500;
  // The diagram pictures: which formats, their size in pixels, resolution, temperature unit.
  bool png = true, svg = true, pdf = false;
  int picture_w = 696, picture_h = 482;
  int dpi = 96;
  bool celsius = false;
  bool wt = false;          // compositions in weight percent of B on the diagram
  bool gridPoints = false;  // the grid's points in the diagram pictures
  bool refine = true;  // --no-refine: the grid's answers only
  int jobs = 0;        // problems run at once by --all; 0: one per processor
  bool quiet = false;  // no summary line, no progress line
  bool print = false;  // the answers found (invariants, congruent and critical points) printed
  // The problems come from a JSON file: their range and grid are checked as the options are.
  bool check_range = false;
};

struct Message {
  std::string type;  // "info", "warning" or "error"
  std::string text;  // exactly as the engine gave it
  std::string place;  // where an evaluator error struck in the grid ("phase L at X = 0.5, T = 600")
};

class RunHost : public calc::HeadlessHost {
 public:
  RunHost(const calc::ProblemInput& p, const RunOptions& options);

  calc::Engine& engine() { return engine_; }
  const calc::Engine& engine() const { return engine_; }
  const calc::Results& results() const { return results_; }
  const std::vector<Message>& messages() const { return messages_; }
  const RunOptions& options() const { return options_; }
  // Keeps the message and prints it to stderr as "type: text", or "type: text (place)".
  void Record(const std::string& type, const std::string& text, const std::string& place = {});

  calc::DialogButton MessageDlg(const std::string& text, calc::DialogType type,
                                const std::vector<calc::DialogButton>& buttons) override;
  void ShowMessage(const std::string& text) override { Record("info", text); }

  // The sweep is complete: the special points are found.
  void SweepCompleted() override;

  bool completed() const { return completed_; }

 private:
  const RunOptions& options_;
  calc::Results results_;
  calc::Engine engine_;
  std::vector<Message> messages_;
  bool completed_ = false;
};

}  // namespace cli
