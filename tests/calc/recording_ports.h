#pragma once
// Recording versions of the engine's ports for the tests: every call is written to one event
// log as a short text, so that messages and their order can be asserted exactly.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "calc/ports.h"
#include "calc/problem.h"
#include "calc/results.h"

namespace calc::testing {

inline std::string TypeName(DialogType t) {
  switch (t) {
    case DialogType::Warning: return "warning";
    case DialogType::Error: return "error";
    case DialogType::Information: return "info";
    case DialogType::Confirmation: return "confirm";
  }
  return "?";
}

// The level port reports every level as the main window shows it: the status line, the working
// chart emptied and filled, the mosaic drawn on the results' raster (`results`, when set).
class RecordingPorts : public MessagePort,
                       public WorkingChartSink,
                       public RunHost,
                       public LevelPort {
 public:
  // --- what the host reports
  ProblemInput problem;
  bool post_ok = true;
  bool step_mode = false;
  char separator = '.';
  uint32_t mosaic_color = 12639424;
  std::pair<int, int> mosaic_size{200, 110};
  Results* results = nullptr;
  // Answers for confirmation dialogs, used in order; Yes when none is left.
  std::deque<DialogButton> answers;
  // Called after every level and from SweepCompleted when set.
  std::function<void()> on_process_events;
  std::function<void()> on_build_diagram;

  // --- what was seen
  std::vector<std::string> log;      // every call, in order
  std::vector<std::string> messages;  // "warning: text", "error: text", "message: text", ...
  std::vector<std::string> status;
  std::vector<std::vector<std::string>> rebuilt_series;
  std::vector<std::vector<ChartPoint>> series;  // current contents, by index
  int clear_series_calls = 0;
  int set_series_calls = 0;
  double axis_increment = -1;
  int process_events_calls = 0;
  int build_diagram_calls = 0;

  // MessagePort
  DialogButton MessageDlg(const std::string& text, DialogType type,
                          const std::vector<DialogButton>& buttons) override {
    std::string b;
    for (DialogButton x : buttons) {
      b += x == DialogButton::OK ? "O" : x == DialogButton::Yes ? "Y" : x == DialogButton::No ? "N" : "C";
    }
    messages.push_back(TypeName(type) + "[" + b + "]: " + text);
    log.push_back("dialog " + TypeName(type) + ": " + text);
    if (type != DialogType::Confirmation) return DialogButton::OK;
    if (answers.empty()) return DialogButton::Yes;
    const DialogButton a = answers.front();
    answers.pop_front();
    return a;
  }
  void ShowMessage(const std::string& text) override {
    messages.push_back("message: " + text);
    log.push_back("message: " + text);
  }

  // WorkingChartSink
  void RebuildSeries(const std::vector<std::string>& titles) override {
    rebuilt_series.push_back(titles);
    series.assign(titles.size(), {});
    log.push_back("rebuild series");
  }
  void ClearSeries() override {
    for (auto& s : series) s.clear();
    ++clear_series_calls;
  }
  void SetSeriesPoints(int index, const std::vector<ChartPoint>& points) override {
    series.at(static_cast<size_t>(index)) = points;
    ++set_series_calls;
  }
  void SetBottomAxisIncrement(double increment) override { axis_increment = increment; }

  // RunHost
  std::optional<ProblemInput> CurrentProblem() override {
    log.push_back("post");
    if (!post_ok) return std::nullopt;
    return problem;
  }
  RunSettings Settings() override {
    RunSettings s;
    s.decimal_separator = separator;
    s.step_mode = step_mode;
    s.mosaic_width = mosaic_size.first;
    s.mosaic_height = mosaic_size.second;
    s.mosaic_color = mosaic_color;
    return s;
  }
  void SweepCompleted() override {
    ++build_diagram_calls;
    log.push_back("diagram");
    if (on_build_diagram) on_build_diagram();
  }

  // LevelPort
  void PostLevel(PostedLevel level) override {
    if (!level.status.empty()) status.push_back(level.status);
    ClearSeries();
    for (size_t k = 0; level.chart && k < level.series.size(); ++k)
      SetSeriesPoints(static_cast<int>(k), level.series[k]);
    if (results)
      for (const MosaicMark& mark : level.mosaic) mark.DrawOn(results->Mosaic);
    for (const std::string& text : level.messages) ShowMessage(text);
    ++process_events_calls;
    if (on_process_events) on_process_events();
  }
  bool ShowChart() const override { return problem.ShowChart; }
  // This as the level port of an engine writing into `r`.
  LevelPort* LevelsInto(Results& r) {
    results = &r;
    return this;
  }
  bool ShowMosaic() const override { return problem.ShowMosaicDiagram; }
};

}  // namespace calc::testing
