#pragma once
// The result windows of the program (mosaic, diagram, cell grid, special points), created in
// this order after the main window and destroyed in the reverse order: the diagram window
// saves its chart file when it goes.

#include <QElapsedTimer>
#include <QPointF>
#include <QString>
#include <memory>
#include <optional>

#include "app/result_windows.h"
#include "views/cells_window.h"
#include "views/diagram_window.h"
#include "views/equilibrium_panel.h"
#include "views/mosaic_window.h"
#include "views/path_plot_window.h"
#include "views/points_report_window.h"

namespace app {

class TfmMain;

class TViewsWindows : public TResultWindows {
 public:
  explicit TViewsWindows(TfmMain& main,
                         const QString& chartFile = QString::fromLatin1(views::TfmDiagram2::kChartFile));
  ~TViewsWindows() override;

  void SetCaptions(const QString& problemName) override;
  QSize MosaicClientSize() override;
  void HideMosaic() override;
  void ShowMosaic() override;
  void MosaicReplaced() override;
  void LevelDone() override;
  void RunEnded() override;
  void SweepStarted() override;
  void SweepEnded() override;
  void BuildDiagram() override;
  void SetLive(bool on) override;
  void MarkStale(const QString& why) override;
  bool SpecialPointsVisible() override;
  void ShowSpecialPoints() override;
  void ShowGrid() override;
  bool MosaicVisible() override;
  void ExportDiagram() override;

  views::TfmMDiagram& fmMDiagram() { return mosaic_; }
  views::TfmDiagram2& fmDiagram2() { return diagram_; }
  views::TfmCells& fmCells() { return cells_; }
  views::TfmSpecPoints& fmSpecPoints() { return specPoints_; }
  views::EquilibriumPanel* Equilibrium() { return equilibrium_; }
  // The equilibrium at (x, y) of the last run's problem, in the docked panel.
  void Inspect(double x, double y);
  // The last run's problem's alloy x along its Y range, in the path window.
  void ShowPath(double x);
  views::PathPlotWindow* PathWindow() { return path_.get(); }

 private:
  calc::YParameter YParameter() const;
  // The special points window and the equilibrium panel show temperatures in the diagram's unit.
  void FollowUnit();

  TfmMain& main_;
  QElapsedTimer sinceRefresh_;
  // Members are destroyed in the reverse order of their declaration.
  views::TfmMDiagram mosaic_;
  views::TfmDiagram2 diagram_;
  views::TfmCells cells_;
  views::TfmSpecPoints specPoints_;
  views::EquilibriumPanel* equilibrium_ = nullptr;  // owned by the main window
  std::string inspectedSheet_;
  std::optional<QPointF> inspected_;  // the panel's point, in the results' units
  bool live_ = false;
  std::unique_ptr<views::PathPlotWindow> path_;  // made on first use
};

}  // namespace app
