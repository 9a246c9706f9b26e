#pragma once
// The calculation engine: the problem check, the sweep driver (the Run command) and the level
// step. It owns the compiled phase sheet, the root finder and the sorter; it writes the Results
// it is given and talks to the user only through the ports. The main window and brelona-calc
// run the very same code.

#include <atomic>
#include <exception>
#include <memory>
#include <string>

#include "calc/phase_sheet.h"
#include "calc/ports.h"
#include "calc/problem.h"
#include "calc/results.h"
#include "numeric/qsort.h"
#include "numeric/roots.h"

namespace calc {

inline constexpr double kNoEnergy = 1e10;

class Engine {
 public:
  // `chart`: the working chart shown beside the run, if any. `levels`: where a sweep on the
  // caller's thread reports each level (Run, Sweep without a port of their own); without one the
  // mosaic is drawn at once, no working chart is computed and no status line written.
  Engine(MessagePort& messages, RunHost& host, Results& results, WorkingChartSink* chart = nullptr,
         LevelPort* levels = nullptr);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The Run command: check and set-up unless a step-mode sweep continues, then one level
  // (step mode) or every level down to Ymin; at the end of a complete sweep the host builds
  // the diagram. Evaluator errors propagate to the caller (the sweep stays where it was); a
  // Run started while one is running (from a level's report) returns at once.
  void Run();

  // The Run command in three parts, so that the levels can be computed on a thread of their
  // own. BeginRun, on the user interface's thread, asks and checks what Run asks and checks and
  // sets the sweep up; it returns false when there is nothing to sweep (refused, or the user
  // declined a restart). Sweep computes the levels on any one thread: with a port, it talks
  // only to the port (no other port is called), without one to the engine's own level port,
  // if any. EndRun, back
  // on the user interface's thread, ends the run: after a complete sweep the host builds the
  // diagram; the error Sweep ended with, if any, is thrown from here instead, as Run throws it.
  bool BeginRun();
  void Sweep(LevelPort* port = nullptr);
  void EndRun(std::exception_ptr sweep_error = nullptr);

  // Asks a sweep to stop, from any thread: it stops inside the level it is computing, which is
  // then left out as if never begun, and keeps the levels before it. BeginRun clears the request.
  void RequestStop() { stop_.store(true, std::memory_order_relaxed); }
  bool StopRequested() const {
    return stop_.load(std::memory_order_relaxed) ||
           (stop_also_ && stop_also_->load(std::memory_order_relaxed));
  }
  // Another engine's stop request that this one's sweeps also obey (a closer look's sweeps obey
  // the run's).
  void StopWith(const std::atomic<bool>* also) { stop_also_ = also; }

  // The problem check: compiles the sheet, reads the range and grid, runs the end-member check
  // and prepares the sweep state and the diagram-point table. Returns true on success
  // (Results().State.CheckFailed == 0). Evaluator errors of the compilation propagate.
  bool CheckProblem();
  // The last check failed because the problem's fixed parameter (Z) has no name: its value's
  // edit box is where the user goes next.
  bool ZParameterUnassigned() const { return z_unassigned_; }

  // Another problem became current: its range becomes the sweep's, Y = Ymax, so a step-mode
  // sweep never continues across a change of problem.
  void SetYRange(double ymin, double ymax);

  // The special-point finder over the cell grid: fills Nodes, MemoLines, MemoPoints and
  // SpecialPoints of the results (SpecialPoints emptied first). y_parameter_text is the shown text of the Y parameter ("Temperature, K" or
  // "Pressure, bar").
  void FindSpecialPoints(const std::string& y_parameter_text);
  // The same on the sweep's thread, right after a complete sweep (between Sweep and EndRun), so
  // that the user interface's thread need not wait for the refinement: the next
  // FindSpecialPoints with the same text keeps what it found. A stop request ends it; the run
  // then ends as a stopped one (not SweepComplete; EndRun builds no diagram).
  void FindSpecialPointsAhead(const std::string& y_parameter_text);
  // Whether FindSpecialPoints looks again, on a finer grid, at what the run's grid could not
  // resolve (calc/closer_look.h); on unless the engine itself makes such a look.
  void SetLookCloser(bool on) { look_closer_ = on; }
  // Whether the phases on sublattices of different models are minimised on two threads at once
  // (the default, where the machine has two processors); the results are the same either way.
  void SetModelThreads(bool on) { model_threads_ = on; }

  bool Running() const { return running_; }
  // The sweep has written its last level, at Ymin (a stop did not leave that level unfinished,
  // nor the special points' search on the sweep's thread).
  bool SweepComplete() const;
  // A stop ended FindSpecialPointsAhead after the sweep's last level: the grid is whole, its
  // exact answers are not; FindSpecialPoints then finds the grid's own answers only.
  bool SpecialPointsStopped() const { return ahead_stopped_; }
  // The problem as read by the last check.
  const ProblemInput& Problem() const { return problem_; }
  PhaseSheet& Sheet() { return sheet_; }
  const PhaseSheet& Sheet() const { return sheet_; }
  Results& results() { return results_; }

  // The parts of a run, public for the tests.
  void SetUp();
  void BuildXLevels();
  // One level; false when a stop request left it unfinished (nothing of it is written).
  bool LevelStep();
  // The root finder's function: G of the first phase minus G of the second at the end-member
  // composition, with the swept variable = y.
  double EndMemberDifference(double y);

 private:
  // The steps of LevelStep, in order (calc/level_step.cpp).
  void BeginLevel();
  void OfferRecords(bool show_chart);
  void OfferSolutionRecords(bool show_chart, bool use_cache);
  void OfferPointPhaseRecords(bool use_cache);
  void FindTwins();
  void KeepLowestPointPhasePerComposition();
  void PreferPointPhasesAtEnds();
  void KeepRecordsBelowChord();
  void MinimiseModels(bool may_skip);
  void BuildHullList();
  void WriteLevelRow();
  void WriteSegments(bool show_chart, bool show_mosaic);
  void HandOverLevel(bool show_chart, bool show_mosaic);
  // The grid sizes of the problem against the limits of calc/limits.h; a refusal shows its
  // error message.
  bool WithinLimits();
  // A warning that lists the sheet lines the compilation skipped, when there are any.
  void ReportIgnoredLines();
  // After a complete sweep whose diagram shows nothing: one information message saying why.
  void ExplainBlankDiagram();
  void EndMemberCheck();
  bool SearchEndMember(double x);
  void SweepCompleted();
  // Called while an evaluator error of a level is handled: throws it again as an
  // EGridPointError naming the first phase and X of the level that fail (as the level step
  // meets them), or as it was when none does.
  [[noreturn]] void ThrowAtGridPoint(const std::exception& e);
  Rgb SegmentColor(const TDPoint& p, const TDPoint& q) const;

  MessagePort& messages_;
  RunHost& host_;
  Results& results_;
  WorkingChartSink* chart_;
  LevelPort* levels_;
  PhaseSheet sheet_;
  numeric::TRoot root1_;
  numeric::TQSort qsort1_;
  ProblemInput problem_;
  bool running_ = false;
  bool z_unassigned_ = false;
  // The step mode of the run, as BeginRun read it.
  bool step_mode_ = false;
  bool look_closer_ = true;
  bool model_threads_ = true;
  std::atomic<bool> stop_{false};
  const std::atomic<bool>* stop_also_ = nullptr;
  // FindSpecialPointsAhead found the special points of this run for this text, or was stopped.
  bool ahead_found_ = false;
  bool ahead_stopped_ = false;
  std::string ahead_text_;
  // The special points and their refinement; false when `stop` ended it.
  bool FindSpecialPointsNow(const std::string& y_parameter_text, const std::atomic<bool>* stop);
  // The last level begun was left unfinished by a stop.
  bool level_abandoned_ = false;
  // While Sweep runs with a port: the port, and the output of the level being computed.
  LevelPort* port_ = nullptr;
  PostedLevel posted_;
  // A mosaic drawing of the level: drawn now, or kept for the port.
  void Mark(const MosaicMark& mark);
  // Work arrays of the level step (hull input and marks, the level's segments), kept from
  // level to level so that a level allocates nothing new.
  struct LevelWork;
  std::unique_ptr<LevelWork> work_;
};

}  // namespace calc
