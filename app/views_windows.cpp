#include "app/views_windows.h"

#include <QCheckBox>
#include <QComboBox>

#include "app/main_window.h"
#include "app/working_chart.h"

namespace app {

TViewsWindows::TViewsWindows(TfmMain& main, const QString& chartFile)
    : main_(main), diagram_(chartFile), cells_(&main.Results().Cells()) {
  const char separator = main.DecimalSeparator();
  diagram_.SetDecimalSeparator(separator);
  specPoints_.SetDecimalSeparator(separator);
  mosaic_.SetRaster(&main.Results().Mosaic);
  // "Find special points" in the cell-grid window runs the diagram build, which runs the finder.
  QObject::connect(&cells_, &views::TfmCells::specialPointsRequested, &main,
                   [this] { main_.sbDiagramClick(); });
}

TViewsWindows::~TViewsWindows() = default;

calc::YParameter TViewsWindows::YParameter() const {
  return static_cast<calc::YParameter>(main_.dbcbY()->currentIndex());
}

void TViewsWindows::SetCaptions(const QString& problemName) {
  mosaic_.setWindowTitle(problemName);
  diagram_.setWindowTitle(problemName);
  cells_.setWindowTitle(problemName);
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

void TViewsWindows::RunEnded() {
  if (mosaic_.isVisible()) mosaic_.Refresh();
  if (cells_.isVisible()) cells_.Refresh();
  sinceRefresh_.start();
}

void TViewsWindows::BuildDiagram() {
  calc::Results& results = main_.Results();
  const std::string yText = main_.dbcbY()->currentText().toStdString();
  diagram_.BuildDiagram(results, YParameter(), [&] {
    main_.Engine().FindSpecialPoints(yText);
    specPoints_.SetMemoLines(results.MemoLines);
    specPoints_.SetRefined(results.Refined, YParameter());
  });
  if (cells_.isVisible()) cells_.Refresh();
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
