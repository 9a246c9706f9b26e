#pragma once
// Recording versions of the engine's ports for the tests: every call is written to one event
// log as a short text, so that messages and their order can be asserted exactly.

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "calc/ports.h"
#include "calc/problem.h"

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

class RecordingPorts : public MessagePort, public WorkingChartSink, public CalcHost {
 public:
  // --- what the host reports
  ProblemInput problem;
  bool post_ok = true;
  bool step_mode = false;
  bool special_points_visible = false;
  char separator = '.';
  uint32_t mosaic_color = 12639424;
  std::pair<int, int> mosaic_size{200, 110};
  // Answers for confirmation dialogs, used in order; Yes when none is left.
  std::deque<DialogButton> answers;
  // Called from ProcessEvents and BuildDiagram when set.
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
  bool problem_list_enabled = true;

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

  // CalcHost
  void ProcessEvents() override {
    ++process_events_calls;
    if (on_process_events) on_process_events();
  }
  void SetStatusText(const std::string& text) override { status.push_back(text); }
  std::pair<int, int> MosaicSize() override { return mosaic_size; }
  bool PostPendingEdit() override {
    log.push_back("post");
    return post_ok;
  }
  ProblemInput CurrentProblem() override { return problem; }
  bool ShowChart() override { return problem.ShowChart; }
  bool ShowMosaic() override { return problem.ShowMosaicDiagram; }
  bool StepMode() override { return step_mode; }
  char DecimalSeparator() override { return separator; }
  uint32_t MosaicColor() override { return mosaic_color; }
  void FocusZValue() override { log.push_back("focus z"); }
  void SetCaptions(const std::string& name) override { log.push_back("captions " + name); }
  void HideMosaicWindow() override { log.push_back("hide mosaic"); }
  void ShowMosaicWindow(bool keep_main_in_front) override {
    log.push_back(keep_main_in_front ? "show mosaic, main in front" : "show mosaic");
  }
  void MosaicReplaced() override { log.push_back("mosaic replaced"); }
  void SetProblemListEnabled(bool enabled) override {
    problem_list_enabled = enabled;
    log.push_back(enabled ? "list enabled" : "list disabled");
  }
  void EnableResultCommands() override { log.push_back("result commands"); }
  void BuildDiagram() override {
    ++build_diagram_calls;
    log.push_back("diagram");
    if (on_build_diagram) on_build_diagram();
  }
  bool SpecialPointsWindowVisible() override { return special_points_visible; }
  void ShowSpecialPoints() override { log.push_back("special points"); }
};

}  // namespace calc::testing
