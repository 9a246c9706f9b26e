#pragma once
// A run of a sample problem through the real engine with the result windows attached the way
// the main window attaches them: the mosaic window shows the raster and repaints after every
// level, the cell-grid window follows the grid, the sweep's end builds the diagram (running the
// special-point finder) and fills the special points window.

#include <QApplication>
#include <exception>
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

class SampleRun : public calc::MessagePort, public calc::RunHost, public calc::LevelPort {
 public:
  explicit SampleRun(const calc::ProblemInput& problem)
      : problem_(problem), cells(&results.Cells()), engine(*this, *this, results, nullptr, this) {
    diagram.SetDecimalSeparator('.');
    specialPoints.SetDecimalSeparator('.');
    mosaic.show();
    QApplication::processEvents();
  }

  // The Run command; messages of the run are collected in `messages`.
  void Run() {
    mosaic.hide();
    mosaic.show();
    if (!engine.BeginRun()) return;
    const QString caption = QString::fromStdString(problem_.ProblemName);
    mosaic.setWindowTitle(caption);
    diagram.setWindowTitle(caption);
    cells.setWindowTitle(caption);
    mosaic.SetRaster(&results.Mosaic);
    std::exception_ptr error;
    try {
      engine.Sweep();
    } catch (...) {
      error = std::current_exception();
    }
    engine.EndRun(error);
  }

  calc::DialogButton MessageDlg(const std::string& text, calc::DialogType,
                                const std::vector<calc::DialogButton>& buttons) override {
    messages.push_back(text);
    return buttons.empty() ? calc::DialogButton::OK : buttons.front();
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  void PostLevel(calc::PostedLevel level) override {
    ++levels;
    for (const calc::MosaicMark& mark : level.mosaic) mark.DrawOn(results.Mosaic);
    for (const std::string& text : level.messages) ShowMessage(text);
    mosaic.Refresh();
    cells.Refresh();
    QApplication::processEvents();
  }
  bool ShowChart() const override { return false; }
  bool ShowMosaic() const override { return true; }

  std::optional<calc::ProblemInput> CurrentProblem() override { return problem_; }
  calc::RunSettings Settings() override {
    calc::RunSettings s;
    const QSize size = mosaic.ClientSize();
    s.mosaic_width = size.width();
    s.mosaic_height = size.height();
    s.mosaic_color = 0xC0DCC0;
    return s;
  }
  void SweepCompleted() override {
    const calc::YParameter y = problem_.Yparameter;
    diagram.BuildDiagram(results, y, [this, y] { engine.FindSpecialPoints(calc::YParameterText(y)); });
    specialPoints.SetMemoLines(results.MemoLines);
    specialPoints.SetRefined(results.Refined, y);
    cells.Refresh();
    if (specialPoints.isVisible()) ShowSpecialPoints();
  }
  void ShowSpecialPoints() { specialPoints.ShowSpecialPoints(results.Nodes, problem_.Yparameter); }

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
