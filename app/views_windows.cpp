#include "app/views_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTableView>
#include <cmath>

#include "app/main_window.h"
#include "app/working_chart.h"
#include "views/diagram_export.h"

namespace app {

TViewsWindows::TViewsWindows(TfmMain& main, const QString& chartFile)
    : main_(main), diagram_(chartFile), cells_(&main.Results().Cells()) {
  const char separator = main.DecimalSeparator();
  diagram_.SetDecimalSeparator(separator);
  specPoints_.SetDecimalSeparator(separator);
  mosaic_.SetRaster(&main.Results().Mosaic);
  // What of the chart file could not be taken is said at once, before it is saved over at the
  // end (a copy of it is kept; the message says where).
  if (!diagram_.LoadError().isEmpty()) {
    main.Dialogs().MessageDlg(diagram_.LoadError().toStdString(), calc::DialogType::Warning,
                              {calc::DialogButton::OK});
  }
  // "Find special points" in the cell-grid window runs the diagram build, which runs the finder.
  QObject::connect(&cells_, &views::TfmCells::specialPointsRequested, &main,
                   [this] { main_.sbDiagramClick(); });
  // A click on the diagram or on a cell of the grid: the equilibrium at that point, in a panel
  // docked to the main window.
  equilibrium_ = new views::EquilibriumPanel(&main);
  main.addDockWidget(Qt::RightDockWidgetArea, equilibrium_);
  equilibrium_->hide();
  QObject::connect(&diagram_, &views::TfmDiagram2::pointPicked, &main,
                   [this](double x, double y) { Inspect(x, y); });
  FollowUnit();
  QObject::connect(&diagram_, &views::TfmDiagram2::unitChanged, &main, [this] {
    FollowUnit();
    const calc::Results& results = main_.Results();
    specPoints_.SetMemo(results.MemoLines, results.MemoPoints, YParameter());
    if (results.Refined.Ran) {
      specPoints_.SetRefined(results.Refined, YParameter(), &results);
    }
    if (specPoints_.isVisible()) specPoints_.ShowSpecialPoints(results.Nodes, YParameter(), false);
    if (inspected_ && !equilibrium_->Current().Phases.empty())
      equilibrium_->Inspect(inspected_->x(), inspected_->y());
  });
  QObject::connect(&diagram_, &views::TfmDiagram2::pathRequested, &main,
                   [this](double x) { ShowPath(x); });
  QObject::connect(cells_.sgCells(), &QTableView::clicked, &main, [this](const QModelIndex& index) {
    const calc::Results& r = main_.Results();
    const double y = r.Cells().RowY(index.row() + 1);
    if (index.column() < static_cast<int>(r.XLevels.size()) && !std::isnan(y)) {
      Inspect(r.XLevels[static_cast<size_t>(index.column())].X, y);
    }
  });
}

void TViewsWindows::ExportDiagram() {
  views::ExportDiagramInteractively(diagram_, &main_);
}

void TViewsWindows::Inspect(double x, double y) {
  const calc::ProblemInput& problem = main_.Engine().Problem();
  if (problem.Functs != inspectedSheet_) {
    equilibrium_->SetProblem(problem, main_.DecimalSeparator());
    inspectedSheet_ = problem.Functs;
  }
  inspected_ = QPointF(x, y);
  equilibrium_->Inspect(x, y);
}

void TViewsWindows::FollowUnit() {
  const bool celsius = diagram_.GetDiagramLook().celsius;
  specPoints_.SetCelsius(celsius);
  equilibrium_->SetCelsius(celsius);
  if (path_) {
    path_->SetCelsius(celsius);
    path_->SetWeightPercent(diagram_.GetDiagramLook().weightPercent);
  }
}

void TViewsWindows::ShowPath(double x) {
  const calc::ProblemInput& problem = main_.Engine().Problem();
  views::PathPlotOptions look;
  look.title = QString::fromStdString(problem.ProblemName);
  look.celsius = diagram_.GetDiagramLook().celsius;
  look.weightPercent = diagram_.GetDiagramLook().weightPercent;
  look.names = calc::ReadComponentNames(problem.Functs);
  look.masses = calc::ReadComponentMasses(problem.Functs);
  if (!path_) path_ = std::make_unique<views::PathPlotWindow>();
  QString error;
  if (!path_->ShowPath(problem, x, look, &error)) {
    main_.Dialogs().MessageDlg(error.toStdString(), calc::DialogType::Warning,
                               {calc::DialogButton::OK});
  }
}

TViewsWindows::~TViewsWindows() = default;

calc::YParameter TViewsWindows::YParameter() const {
  return static_cast<calc::YParameter>(main_.dbcbY()->currentIndex());
}

void TViewsWindows::SetCaptions(const QString& problemName) {
  // Each names the problem and itself, so the three are told apart in the task bar.
  const QString dash = QStringLiteral(" — ");
  mosaic_.setWindowTitle(problemName + dash + views::TfmMDiagram::tr("Mosaic diagram"));
  diagram_.SetProblemName(problemName);
  cells_.setWindowTitle(problemName + dash + views::TfmCells::tr("Grid representation"));
}

QSize TViewsWindows::MosaicClientSize() { return mosaic_.ClientSize(); }
void TViewsWindows::HideMosaic() { mosaic_.hide(); }
void TViewsWindows::ShowMosaic() { mosaic_.show(); }
bool TViewsWindows::MosaicVisible() { return mosaic_.isVisible(); }
void TViewsWindows::MosaicReplaced() { mosaic_.SetRaster(&main_.Results().Mosaic); }

void TViewsWindows::LevelDone() {
  if (sinceRefresh_.isValid() && sinceRefresh_.elapsed() < TWorkingChart::kRedrawInterval) return;
  RunEnded();
}

void TViewsWindows::SweepStarted() {
  cells_.SetSweeping(true);
}
void TViewsWindows::SweepEnded() {
  cells_.SetSweeping(false);
}

void TViewsWindows::RunEnded() {
  if (mosaic_.isVisible()) mosaic_.Refresh();
  if (cells_.isVisible()) cells_.Refresh();
  sinceRefresh_.start();
}

void TViewsWindows::BuildDiagram() {
  calc::Results& results = main_.Results();
  const calc::ProblemInput& problem = main_.Engine().Problem();
  diagram_.SetComponentNames(calc::ReadComponentNames(problem.Functs));
  diagram_.SetComponentMasses(calc::ReadComponentMasses(problem.Functs));
  diagram_.SetLeftOut(calc::ReadLeftOutPhases(problem.Functs));
  inspectedSheet_.clear();
  // The panel's equilibrium belongs to the problem it was computed for; in live mode it follows
  // the sheet at its point.
  const calc::ProblemInput& shown = equilibrium_->Problem();
  const bool reinspect = live_ && inspected_ && !shown.Functs.empty();
  if (!reinspect && !shown.Functs.empty() &&
      (shown.Functs != problem.Functs || shown.Zvalue != problem.Zvalue ||
       shown.Yparameter != problem.Yparameter)) {
    equilibrium_->Clear(QObject::tr("Click the diagram of %1 for the equilibrium at a point.")
                            .arg(QString::fromStdString(problem.ProblemName)));
  }
  const std::string yText = main_.dbcbY()->currentText().toStdString();
  diagram_.BuildDiagram(results, YParameter(), [&] {
    main_.Engine().FindSpecialPoints(yText);
    specPoints_.SetMemo(results.MemoLines, results.MemoPoints, YParameter());
    specPoints_.SetRefined(results.Refined, YParameter(), &results);
  });
  if (cells_.isVisible()) cells_.Refresh();
  if (reinspect) Inspect(inspected_->x(), inspected_->y());
}

void TViewsWindows::SetLive(bool on) {
  live_ = on;
  diagram_.SetKeepZoom(on);
  if (!on) diagram_.SetStale(QString());
}

void TViewsWindows::MarkStale(const QString& why) {
  diagram_.SetStale(why);
}

bool TViewsWindows::SpecialPointsVisible() { return specPoints_.isVisible(); }

void TViewsWindows::ShowSpecialPoints() {
  specPoints_.ShowSpecialPoints(main_.Results().Nodes, YParameter());
}

void TViewsWindows::ShowGrid() {
  cells_.chbNarrowCells()->setChecked(false);
  cells_.Refresh();
  cells_.show();
}

}  // namespace app
