#include "calc/engine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "calc/cell_grid.h"
#include "calc/closer_look.h"
#include "calc/level_work.h"
#include "calc/limits.h"
#include "calc/notices.h"
#include "calc/point_finder.h"
#include "calc/refine.h"
#include "numeric/format.h"
#include "numeric/vector_state.h"

namespace calc {

namespace {

// Resets a flag when the scope ends, also by an exception.
class FlagGuard {
 public:
  explicit FlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagGuard() { flag_ = keep_; }
  FlagGuard(const FlagGuard&) = delete;
  FlagGuard& operator=(const FlagGuard&) = delete;
  // Leaves the flag set at the end of the scope.
  void Keep(bool keep) { keep_ = keep; }

 private:
  bool& flag_;
  bool keep_ = false;
};

// The sweep has reached Ymin: within 1e-11 of it, or equal to it (an infinite Ymin from a
// damaged record would otherwise never count as reached).
bool AtYmin(const SweepState& st) { return std::abs(st.Y - st.Ymin) < 1e-11 || st.Y == st.Ymin; }

// The text with its %1 replaced by arg.
std::string WithArgument(std::string_view text, const std::string& arg) {
  std::string out(text);
  const size_t at = out.find("%1");
  if (at != std::string::npos) out.replace(at, 2, arg);
  return out;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

}  // namespace

Engine::Engine(MessagePort& messages, RunHost& host, Results& results, WorkingChartSink* chart,
               LevelPort* levels)
    : messages_(messages),
      host_(host),
      results_(results),
      chart_(chart),
      levels_(levels),
      sheet_(messages) {
  root1_.SetUseMethod(numeric::TKindOfMethod::Brent);
  qsort1_.SetOnCompare([this](numeric::TQSort&, int32_t i, int32_t j, int32_t& result) {
    const TDPoint& a = results_.HullList[static_cast<size_t>(i)];
    const TDPoint& b = results_.HullList[static_cast<size_t>(j)];
    // X descending; on equal X the lower energy first.
    if (a.X > b.X) {
      result = -1;
    } else if (a.X < b.X) {
      result = 1;
    } else if (a.G < b.G) {
      result = -1;
    } else if (a.G > b.G) {
      result = 1;
    } else {
      result = 0;
    }
  });
  qsort1_.SetOnSwap([this](numeric::TQSort&, int32_t i, int32_t j) {
    std::swap(results_.HullList[static_cast<size_t>(i)], results_.HullList[static_cast<size_t>(j)]);
  });
}

Engine::~Engine() = default;

bool Engine::SweepComplete() const {
  return results_.State.LevelIndex >= 0 && AtYmin(results_.State) && !level_abandoned_ &&
         !ahead_stopped_;
}

void Engine::SetYRange(double ymin, double ymax) {
  results_.State.Ymin = ymin;
  results_.State.Ymax = ymax;
  results_.State.Y = ymax;
}

double Engine::EndMemberDifference(double y) {
  SweepState& st = results_.State;
  *sheet_.SidX() = st.EndMemberX;
  const double sid = sheet_.sidParser().Value();
  double g[2] = {0, 0};
  for (size_t k = 0; k < 2; ++k) {
    SolutionPhase& ph = sheet_.Phases[k];
    const bool temperature = st.Yparameter == YParameter::Temperature;
    g[k] = ph.Energy(st.EndMemberX, temperature ? y : st.T, temperature ? st.p : y, sid);
  }
  return g[0] - g[1];
}

bool Engine::SearchEndMember(double x) {
  SweepState& st = results_.State;
  st.EndMemberX = x;
  // An evaluator error inside the search would leave the root finder's error code at 0 and
  // pass for a found root; it counts as a failed search instead.
  bool evaluator_failed = false;
  root1_.SetOnUserFunc([this, &evaluator_failed](double y, double& f) {
    try {
      f = EndMemberDifference(y);
    } catch (...) {
      evaluator_failed = true;
      throw;
    }
  });
  try {
    root1_.FindRoot(st.Ymin, st.Ymax, 1e-6, 1000);
  } catch (const std::exception&) {
    // Absorbed: the outcome is read from the error code.
  }
  root1_.SetOnUserFunc(nullptr);
  return root1_.ErrorCode() == 0 && !evaluator_failed;
}

void Engine::EndMemberCheck() {
  if (!SearchEndMember(0)) {
    messages_.MessageDlg("Ymin value is out of given interval", DialogType::Warning,
                         {DialogButton::OK});
    return;
  }
  if (!SearchEndMember(1)) {
    messages_.MessageDlg("Ymax value is out of given interval", DialogType::Warning,
                         {DialogButton::OK});
  }
}

bool Engine::WithinLimits() {
  auto refuse = [this](const std::string& text) {
    messages_.MessageDlg(text, DialogType::Error, {DialogButton::OK});
    return false;
  };
  const int64_t xpoints = problem_.XPoints, ypoints = problem_.YPoints;
  if (xpoints > kMaxXPoints) {
    return refuse(FormatLimitText(kXPointsTooLargeText, {xpoints, kMaxXPoints}));
  }
  if (ypoints > kMaxYPoints) {
    return refuse(FormatLimitText(kYPointsTooLargeText, {ypoints, kMaxYPoints}));
  }
  // The grid as the run will make it: a header row, YPoints + 1 levels and the extra level
  // rounding can add; a header column, the grid nodes and at most one point-phase column
  // between two nodes.
  const int64_t intervals = std::max<int64_t>(xpoints, 2);
  const int64_t rows = std::max<int64_t>(ypoints, 1) + 3;
  const int64_t cols =
      1 + (intervals + 1) +
      std::min<int64_t>(static_cast<int64_t>(sheet_.PointPhases.size()), intervals);
  if (rows * cols > kMaxGridCells) {
    return refuse(FormatLimitText(kGridTooLargeText, {rows, cols, kMaxGridCells}));
  }
  return true;
}

bool Engine::CheckProblem() {
  SweepState& st = results_.State;
  st.CheckFailed = 1;
  z_unassigned_ = false;
  std::optional<ProblemInput> current = host_.CurrentProblem();
  if (!current) return false;
  problem_ = std::move(*current);
  st.DecimalSeparator = host_.Settings().decimal_separator;
  if (!sheet_.Compile(problem_.Functs, st.DecimalSeparator)) return false;
  ReportIgnoredLines();
  if (sheet_.Phases.empty()) {
    messages_.MessageDlg("Gibbs energy can not be computed", DialogType::Error,
                         {DialogButton::OK});
    return false;
  }
  if (!WithinLimits()) return false;
  st.Ymin = problem_.Ymin;
  st.Ymax = problem_.Ymax;
  if (st.Ymax < st.Ymin) {
    messages_.MessageDlg("Ymax must be more that Ymin", DialogType::Warning, {DialogButton::OK});
    return false;
  }
  switch (problem_.Yparameter) {
    case YParameter::Temperature:
      st.p = problem_.Zvalue;
      break;
    case YParameter::Pressure:
      st.T = problem_.Zvalue;
      break;
    default:
      messages_.MessageDlg(problem_.Zparameter + " is not assigned", DialogType::Error,
                           {DialogButton::OK});
      z_unassigned_ = true;
      return false;
  }
  st.Yparameter = problem_.Yparameter;
  if (!(st.p > 0)) st.p = 1;
  if (sheet_.Phases.size() == 2) EndMemberCheck();
  *sheet_.SidP() = st.p;
  for (SolutionPhase& ph : sheet_.Phases) {
    if (ph.HasExpression()) *ph.p = st.p;
  }
  st.Y = st.Ymax;
  st.Xmin = 0;
  st.Xmax = 1;
  st.YPoints = std::max(problem_.YPoints, 1);
  st.XPointsM1 = std::max(problem_.XPoints, 2) - 1;
  st.XStep = (st.Xmax - st.Xmin) / (st.XPointsM1 + 1);
  const double increment = std::nearbyint(1000 * (st.Xmax - st.Xmin)) / 10000;
  if (chart_) chart_->SetBottomAxisIncrement(increment < 0 ? 0 : increment);
  st.YStep = (st.Ymax - st.Ymin) / st.YPoints;
  st.MosaicRow = 0;
  st.LevelIndex = -1;
  results_.ZPoints.Reset(static_cast<int>(std::min<int64_t>(int64_t{st.YPoints} + 1, INT32_MAX)),
                         static_cast<int>(std::min<int64_t>(int64_t{st.XPointsM1} + 1, INT32_MAX)));
  st.CheckFailed = 0;
  return true;
}

void Engine::BuildXLevels() {
  const SweepState& st = results_.State;
  std::vector<XLevel>& levels = results_.XLevels;
  levels.clear();
  // The point phases by composition, so that each interval looks only at those near it
  // instead of all of them (thousands of compounds at a fine grid made this quadratic).
  std::vector<std::pair<double, size_t>> by_x;
  by_x.reserve(sheet_.PointPhases.size());
  for (size_t j = 0; j < sheet_.PointPhases.size(); ++j) {
    by_x.emplace_back(sheet_.PointPhases[j].Composition, j);
  }
  std::sort(by_x.begin(), by_x.end());
  // Where a phase on sublattices ends inside 0..1 (Mg2Y, (Mg)2(Mg,Y)1, at X = 1/3), its
  // energy rises steeply towards the nearest grid node inside its range: the end, where a tie
  // line to it ends a hair inside, gets a column of its own unless a point phase's takes that
  // interval.
  std::vector<double> ends;
  for (const SolutionPhase& ph : sheet_.Phases) {
    if (!ph.Model) continue;
    for (const double e : {ph.XMin(), ph.XMax()})
      if (e > st.Xmin && e < st.Xmax) ends.push_back(e);
  }
  std::sort(ends.begin(), ends.end());
  double x = st.Xmin;
  while (x <= st.Xmax) {
    levels.push_back({numeric::FormatFloatPattern(x, 8, st.DecimalSeparator), x});
    if (x >= st.Xmax || std::abs(st.Xmax - x) < 1e-12) break;
    x += st.XStep;
    if (std::abs(st.Xmax - x) < 1e-12) x = st.Xmax;
    if (x > st.Xmax) x = st.Xmax;
    // At most one point-phase column between two grid nodes, the first phase of the sheet
    // that lies strictly inside the interval; it precedes the node x, appended next. Only
    // compositions a little beyond the interval's ends need the exact test.
    const double lo = x - st.XStep;
    auto it = std::lower_bound(by_x.begin(), by_x.end(), std::make_pair(lo - 1e-9, size_t{0}));
    size_t first = SIZE_MAX;
    for (; it != by_x.end() && it->first <= x + 1e-9; ++it) {
      const double xp = it->first;
      if (std::abs(x - xp) < 1e-10 || std::abs(lo - xp) < 1e-10 || x <= xp || lo >= xp) {
        continue;
      }
      first = std::min(first, it->second);
    }
    if (first != SIZE_MAX) {
      const double xp = sheet_.PointPhases[first].Composition;
      levels.push_back({numeric::FormatFloatPattern(xp, 8, st.DecimalSeparator), xp});
    } else {
      auto e = std::upper_bound(ends.begin(), ends.end(), lo + 1e-10);
      if (e != ends.end() && *e < x - 1e-10)
        levels.push_back({numeric::FormatFloatPattern(*e, 8, st.DecimalSeparator), *e});
    }
  }
}

void Engine::SetUp() {
  SweepState& st = results_.State;
  results_.Nodes.clear();
  results_.ChartTitles.clear();
  for (const SolutionPhase& ph : sheet_.Phases) results_.ChartTitles.push_back(ph.Name);
  results_.ChartTitles.push_back("Convex");
  results_.RunPhases.clear();
  std::vector<std::string> codes;
  for (const SolutionPhase& ph : sheet_.Phases)
    results_.RunPhases.push_back({ph.Name, {}, false, 0});
  for (const PointPhase& pp : sheet_.PointPhases)
    results_.RunPhases.push_back({pp.Text, pp.Name, true, pp.Composition});
  for (const RunPhase& ph : results_.RunPhases) codes.push_back(ph.Code());
  results_.ChartSeries.assign(results_.ChartTitles.size(), {});
  if (chart_) chart_->RebuildSeries(results_.ChartTitles);

  CellGrid& cells = results_.Cells();
  BuildXLevels();
  cells.SetColCount(static_cast<int>(results_.XLevels.size()) + 1);
  cells.SetRowCount(2);
  cells.SetPhaseCodes(codes);
  cells.SetCell(0, 0, " Y/X");
  for (size_t c = 0; c < results_.XLevels.size(); ++c) {
    const XLevel& level = results_.XLevels[c];
    cells.SetColumnHeader(static_cast<int>(c) + 1, numeric::PatternValue(level.X, 8), level.Text);
  }

  if (!work_) work_ = std::make_unique<LevelWork>();
  work_->sid_cached = false;
  work_->records_offered = 0;
  level_abandoned_ = false;
  work_->skip.clear();
  work_->twins_found = false;
  for (SolutionPhase& ph : sheet_.Phases)
    if (ph.Model) ph.Model->ResetStarts();
  // The special points of the last run belong to its grid.
  results_.SpecialPoints.clear();
  results_.PointSet.clear();
  // A level offers at most one record per X level and one per point phase.
  results_.PointSet.reserve(sheet_.PointPhases.size() + results_.XLevels.size());
  results_.HullList.clear();

  const RunSettings settings = host_.Settings();
  results_.Mosaic.Reset(settings.mosaic_width, settings.mosaic_height);
  st.MosaicColor = RgbFromColorValue(settings.mosaic_color);
}

void Engine::FindSpecialPoints(const std::string& y_parameter_text) {
  if (std::exchange(ahead_found_, false) && ahead_text_ == y_parameter_text) return;
  FindSpecialPointsNow(y_parameter_text, nullptr);
}

void Engine::FindSpecialPointsAhead(const std::string& y_parameter_text) {
  ahead_found_ = false;
  if (!SweepComplete()) return;
  ahead_text_ = y_parameter_text;
  ahead_found_ = FindSpecialPointsNow(y_parameter_text, &stop_);
  ahead_stopped_ = !ahead_found_;
}

bool Engine::FindSpecialPointsNow(const std::string& y_parameter_text,
                                  const std::atomic<bool>* stop) {
  results_.SpecialPoints.clear();
  ::calc::FindSpecialPoints(results_.Cells(), y_parameter_text, results_.Nodes, results_.MemoLines,
                            results_.SpecialPoints, results_.MemoPoints);
  // Exact answers need the evaluators of the sweep that made the grid: only after a complete
  // sweep, never from a grid left by an earlier run or a sweep stopped on the way.
  results_.Refined.Clear();
  const SweepState& st = results_.State;
  if (problem_.Refine && st.CheckFailed == 0 && SweepComplete()) {
    RefineResults(sheet_, results_, stop);
    if (!results_.Refined.Ran) return false;
    if (look_closer_ && !LookCloser(problem_, results_, y_parameter_text, stop)) return false;
  }
  return true;
}

void Engine::SweepCompleted() {
  host_.SweepCompleted();
  ExplainBlankDiagram();
}

void Engine::ReportIgnoredLines() {
  const auto& lines = sheet_.IgnoredLines;
  if (lines.empty()) return;
  std::string text = kIgnoredLinesText;
  const size_t listed = std::min<size_t>(lines.size(), kIgnoredLinesListed);
  for (size_t i = 0; i < listed; ++i) {
    text += "\nline " + std::to_string(lines[i].Number) + ": " + lines[i].Text;
  }
  if (lines.size() > listed) {
    text += "\n" + WithArgument(kMoreIgnoredLinesText, std::to_string(lines.size() - listed));
  }
  messages_.MessageDlg(text, DialogType::Warning, {DialogButton::OK});
}

void Engine::ExplainBlankDiagram() {
  // The diagram shows the tie-line ends above Y = 0 and the special points.
  if (!results_.SpecialPoints.empty()) return;
  bool any_end = false;
  for (int r = 0; r < results_.ZPoints.RowCount(); ++r) {
    for (const TZPoint& p : results_.ZPoints.Row(r)) {
      if (p.Y > 0) return;
      any_end = true;
    }
  }
  std::vector<std::string> empty_lines;
  size_t with_expression = 0;
  for (const SolutionPhase& ph : sheet_.Phases) {
    if (ph.HasExpression()) {
      ++with_expression;
    } else {
      empty_lines.push_back(ph.Name);
    }
  }
  std::string reason;
  if (sheet_.Phases.size() < 2) {
    reason = WithArgument(kBlankOneSolutionPhaseText,
                          sheet_.Phases.empty() ? std::string() : sheet_.Phases[0].Name);
  } else if (with_expression < 2) {
    reason = WithArgument(kBlankNoExpressionText, JoinNames(empty_lines));
  } else if (work_ == nullptr || work_->records_offered == 0) {
    reason = kBlankNoEnergyText;
  } else if (any_end) {
    reason = kBlankAtOrBelowZeroText;
  } else {
    // The solution phases the cells hold, in the order of the sheet.
    const CellGrid& cells = results_.Cells();
    std::vector<char> seen(sheet_.Phases.size(), 0);
    for (int r = 1; r < cells.RowCount(); ++r) {
      for (int c = 1; c < cells.ColCount(); ++c) {
        const PhaseIndex k = cells.Phase(c, r);
        if (k >= 0 && static_cast<size_t>(k) < seen.size()) seen[static_cast<size_t>(k)] = 1;
      }
    }
    std::vector<std::string> names;
    for (size_t k = 0; k < seen.size(); ++k) {
      if (seen[k]) names.push_back(sheet_.Phases[k].Name);
    }
    reason = WithArgument(kBlankSingleFieldText, JoinNames(names));
  }
  messages_.MessageDlg(WithArgument(kBlankDiagramText, reason), DialogType::Information,
                       {DialogButton::OK});
}

void Engine::Run() {
  if (running_) return;
  numeric::ClearUpperVectorState();
  if (!BeginRun()) return;
  std::exception_ptr error;
  try {
    Sweep();
  } catch (...) {
    error = std::current_exception();
  }
  EndRun(error);
}

bool Engine::BeginRun() {
  if (running_) return false;
  // The run stays on from here to EndRun, unless it ends here (also by an exception).
  FlagGuard guard(running_);
  stop_.store(false, std::memory_order_relaxed);
  ahead_found_ = false;
  ahead_stopped_ = false;
  SweepState& st = results_.State;

  const bool step = host_.Settings().step_mode;
  step_mode_ = step;
  // A step-mode sweep continues only after a successful check: a failed one (which has
  // emptied the phase lists) makes this command start over.
  const bool continues =
      step && st.CheckFailed == 0 && (!AtYmin(st) || level_abandoned_) && st.Y < st.Ymax;
  if (!continues) {
    if (step && AtYmin(st)) {
      if (messages_.MessageDlg("Restart the problem?", DialogType::Confirmation,
                               {DialogButton::Yes, DialogButton::No}) != DialogButton::Yes) {
        return false;
      }
    }
    if (!CheckProblem()) return false;
    SetUp();
  }

  // With Ymax = Ymin the single level goes to row 0.
  st.MosaicScale = st.Ymax > st.Ymin ? (results_.Mosaic.Height() - 10) / (st.Ymax - st.Ymin) : 0.0;
  guard.Keep(true);
  return true;
}

void Engine::Sweep(LevelPort* port) {
  SweepState& st = results_.State;
  port_ = port ? port : levels_;
  struct PortReset {
    LevelPort*& port;
    ~PortReset() { port = nullptr; }
  } reset{port_};
  while (st.Y >= st.Ymin) {
    bool stepped = false;
    try {
      stepped = !StopRequested() && LevelStep();
    } catch (const numeric::EMathError& e) {
      ThrowAtGridPoint(e);
    }
    if (!stepped) break;
    if (AtYmin(st)) break;
    double next = st.Y - st.YStep;
    if (next < st.Ymin) next = st.Ymin;
    // A step too small to change Y would never reach Ymin: go there at once.
    if (!(next < st.Y)) next = st.Ymin;
    st.Y = next;
    if (step_mode_) break;
  }
}

void Engine::ThrowAtGridPoint(const std::exception& e) {
  const SweepState& st = results_.State;
  const std::string y_name = st.Yparameter == YParameter::Temperature ? "T" : "p";
  auto fail = [&](const std::string& phase, int line, double x) {
    throw EGridPointError(e.what(), phase, line, x, y_name, st.Y);
  };
  auto fails = [](auto&& evaluate) {
    try {
      evaluate();
      return false;
    } catch (const std::exception&) {
      return true;
    }
  };
  numeric::TParser& sid_parser = sheet_.sidParser();
  double sid = 0;
  for (const XLevel& level : results_.XLevels) {
    *sheet_.SidX() = level.X;
    if (fails([&] { sid = sid_parser.Value(); })) fail("SID", 0, level.X);
    for (SolutionPhase& ph : sheet_.Phases) {
      if (ph.HasExpression() && fails([&] { ph.Energy(level.X, st.T, st.p, sid); }))
        fail(ph.Name, ph.Line, level.X);
    }
  }
  for (PointPhase& pp : sheet_.PointPhases) {
    *sheet_.SidX() = pp.Composition;
    if (fails([&] { sid = sid_parser.Value(); })) fail("SID", 0, pp.Composition);
    if (pp.HasExpression() && fails([&] { pp.Energy(st.T, st.p, sid); }))
      fail(sheet_.Label(pp.Text), pp.Line, pp.Composition);
  }
  throw;
}

void Engine::EndRun(std::exception_ptr sweep_error) {
  FlagGuard guard(running_);
  if (sweep_error) std::rethrow_exception(sweep_error);
  // A stop asked for after the last level leaves a complete sweep, diagram and all, unless it
  // ended the special points' search on the sweep's thread.
  if (SweepComplete()) SweepCompleted();
}

}  // namespace calc
