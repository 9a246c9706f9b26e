#pragma once
// A host without windows: every port of the engine in one object, each member doing nothing
// or giving the answer a run without a user needs (confirmations answered with their first
// button, the mosaic drawn, no step mode, '.' as decimal separator, money-green mosaic).
// Batch runners and benchmarks derive from it and override only what they use.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "calc/ports.h"
#include "calc/problem.h"

namespace calc {

class HeadlessHost : public MessagePort, public WorkingChartSink, public CalcHost {
 public:
  // The problem handed to the engine as the current record.
  ProblemInput problem;

  DialogButton MessageDlg(const std::string&, DialogType,
                          const std::vector<DialogButton>& buttons) override {
    return buttons.empty() ? DialogButton::OK : buttons.front();
  }
  void ShowMessage(const std::string&) override {}

  void RebuildSeries(const std::vector<std::string>&) override {}
  void ClearSeries() override {}
  void SetSeriesPoints(int, const std::vector<ChartPoint>&) override {}
  void SetBottomAxisIncrement(double) override {}

  void ProcessEvents() override {}
  void SetStatusText(const std::string&) override {}
  std::pair<int, int> MosaicSize() override { return {400, 500}; }
  bool PostPendingEdit() override { return true; }
  ProblemInput CurrentProblem() override { return problem; }
  // Nothing shows a working chart here: its series are not built.
  bool ShowChart() override { return false; }
  bool ShowMosaic() override { return true; }
  bool StepMode() override { return false; }
  char DecimalSeparator() override { return '.'; }
  uint32_t MosaicColor() override { return 12639424; }
  void FocusZValue() override {}
  void SetCaptions(const std::string&) override {}
  void HideMosaicWindow() override {}
  void ShowMosaicWindow(bool) override {}
  void MosaicReplaced() override {}
  void SetProblemListEnabled(bool) override {}
  void EnableResultCommands() override {}
  void BuildDiagram() override {}
  bool SpecialPointsWindowVisible() override { return false; }
  void ShowSpecialPoints() override {}
};

}  // namespace calc
