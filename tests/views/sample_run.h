#pragma once
// A run of a sample problem through the real engine with the result windows attached the way
// the main window attaches them: the mosaic window shows the raster and repaints after every
// level, the cell-grid window follows the grid, the sweep's end builds the diagram (running the
// special-point finder) and fills the special points window.

#include <QApplication>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "calc/engine.h"
#include "problem/problem_reader.h"
#include "views/cells_window.h"
#include "views/diagram_window.h"
#include "views/mosaic_window.h"
#include "views/points_report_window.h"

namespace views::testing {

// The problem named `name` in the sample problems file (JSON of brelona-calc db-export), with
// the mosaic shown.
inline std::optional<calc::ProblemInput> SampleProblem(const QString& name) {
  for (calc::ProblemInput& p :
       problem::ReadProblemsJson(BRELONA_SOURCE_DIR "/data/problems.json")) {
    if (p.ProblemName != name.toStdString()) continue;
    p.ShowMosaicDiagram = true;
    return p;
  }
  return std::nullopt;
}

class SampleRun : public calc::MessagePort, public calc::WorkingChartSink, public calc::CalcHost {
 public:
  explicit SampleRun(const calc::ProblemInput& problem)
      : problem_(problem), cells(&results.Cells()), engine(*this, *this, *this, results) {
    diagram.SetDecimalSeparator('.');
    specialPoints.SetDecimalSeparator('.');
    mosaic.show();
    QApplication::processEvents();
  }

  // The Run command; messages of the run are collected in `messages`.
  void Run() { engine.Run(); }

  calc::DialogButton MessageDlg(const std::string& text, calc::DialogType,
                                const std::vector<calc::DialogButton>& buttons) override {
    messages.push_back(text);
    return buttons.empty() ? calc::DialogButton::OK : buttons.front();
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  void RebuildSeries(const std::vector<std::string>&) override {}
  void ClearSeries() override {}
  void SetSeriesPoints(int, const std::vector<calc::ChartPoint>&) override {}
  void SetBottomAxisIncrement(double) override {}

  void ProcessEvents() override {
    ++levels;
    mosaic.Refresh();
    cells.Refresh();
    QApplication::processEvents();
  }
  void SetStatusText(const std::string&) override {}
  std::pair<int, int> MosaicSize() override {
    const QSize s = mosaic.ClientSize();
    return {s.width(), s.height()};
  }
  bool PostPendingEdit() override { return true; }
  calc::ProblemInput CurrentProblem() override { return problem_; }
  bool ShowChart() override { return false; }
  bool ShowMosaic() override { return true; }
  bool StepMode() override { return false; }
  char DecimalSeparator() override { return '.'; }
  uint32_t MosaicColor() override { return 0xC0DCC0; }
  void FocusZValue() override {}
  void SetCaptions(const std::string& name) override {
    const QString caption = QString::fromStdString(name);
    mosaic.setWindowTitle(caption);
    diagram.setWindowTitle(caption);
    cells.setWindowTitle(caption);
  }
  void HideMosaicWindow() override { mosaic.hide(); }
  void ShowMosaicWindow(bool) override { mosaic.show(); }
  void MosaicReplaced() override { mosaic.SetRaster(&results.Mosaic); }
  void SetProblemListEnabled(bool) override {}
  void EnableResultCommands() override {}
  void BuildDiagram() override {
    const calc::YParameter y = problem_.Yparameter;
    diagram.BuildDiagram(results, y, [this, y] { engine.FindSpecialPoints(calc::YParameterText(y)); });
    specialPoints.SetMemoLines(results.MemoLines);
    specialPoints.SetRefined(results.Refined, y);
    cells.Refresh();
  }
  bool SpecialPointsWindowVisible() override { return specialPoints.isVisible(); }
  void ShowSpecialPoints() override {
    specialPoints.ShowSpecialPoints(results.Nodes, problem_.Yparameter);
  }

  calc::ProblemInput problem_;
  calc::Results results;
  std::vector<std::string> messages;
  int levels = 0;
  TfmMDiagram mosaic;
  TfmDiagram2 diagram{QString()};
  TfmCells cells;
  TfmSpecPoints specialPoints;
  calc::Engine engine;
};

}  // namespace views::testing
