#pragma once
// The diagram window "Diagram" (TfmDiagram2): the phase diagram of the last run in X-Y
// coordinates, with a mouse read-out, rubber-band zoom, the appearance editor and the chart
// file "Chart.cfg" that keeps the appearance from one start of the program to the next. What it
// shows is drawn by its DiagramRenderer (diagram_renderer.h: the series, in order, and the layer),
// the same that the command line draws into pictures without a window.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "calc/masses.h"
#include "calc/phase_sheet.h"
#include "calc/problem.h"
#include "calc/results.h"
#include "views/chart_look.h"
#include "views/diagram_look.h"
#include "views/diagram_overlay.h"
#include "views/diagram_renderer.h"

QT_BEGIN_NAMESPACE
class QLabel;
class QMenu;
class QPushButton;
QT_END_NAMESPACE

namespace views {

class ChartView;
class DiagramOverlay;

class TfmDiagram2 : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kChartFile = "Chart.cfg";

  // Creates the hidden window with the designed look, then loads `chartFile` over it when
  // that file exists (an empty path loads nothing). Settings of the file that cannot be taken
  // keep the designed ones; LoadError() then names them, and the file as it was is copied
  // beside it (Chart.cfg.bak) before it is saved over.
  explicit TfmDiagram2(const QString& chartFile = QString::fromLatin1(kChartFile),
                       QWidget* parent = nullptr);
  // Undoes the zoom, sets both axes back to automatic and saves the chart file (if any).
  ~TfmDiagram2() override;

  // The renderer's build (DiagramRenderer::Build), then the window shown when `show` is set. An
  // exception from the finder ends the build before the window is shown.
  void BuildDiagram(const calc::Results& results, calc::YParameter yParameter,
                    const std::function<void()>& findSpecialPoints, bool show = true);

  // The nodes whose lines a build draws: the grid's nodes, each where the refinement solved its
  // invariant when it did (its exact Y and compositions), so the node line and the invariant
  // line are one line, the exact answer, instead of two a level apart.
  static std::vector<calc::TNode> NodesToDraw(const calc::Results& results) {
    return DiagramRenderer::NodesToDraw(results);
  }

  // The node-line step: one line series per node, titled "Node at " + Y ("0.###") + unit,
  // unit "K" when `yParameterText` begins with "T", else "bar"; both points in the colour of
  // series 0.
  void AddNodeLines(const std::vector<calc::TNode>& nodes, const std::string& yParameterText) {
    renderer_->AddNodeLines(nodes, yParameterText);
  }

  // The problem a run draws: the window's caption names it and the window ("NAME — Diagram"),
  // and the plot's heading shows it. Without one (a window captioned directly), the caption is
  // taken as the problem's name.
  void SetProblemName(const QString& name);
  QString ProblemName() const { return renderer_->ProblemName(); }

  // The decimal separator of the read-out and of the node-line titles (the user's locale's by
  // default).
  void SetDecimalSeparator(char separator) {
    separator_ = separator;
    renderer_->SetDecimalSeparator(separator);
  }

  // The mouse read-out for a position in chart-widget pixels (what a mouse move does).
  void ShowReadout(const QPointF& chartPos);

  // The components named by the problem's sheet (the X axis title then names them); unnamed
  // components keep the designed axis title. Takes effect at the next build.
  void SetComponentNames(const calc::ComponentNames& names) { renderer_->SetComponentNames(names); }
  // The masses of the components, for compositions shown in weight percent (DiagramLook::
  // weightPercent); unknown masses leave them mole fractions and say so on the plot. Takes
  // effect at the next build.
  void SetComponentMasses(const calc::ComponentMasses& masses) {
    renderer_->SetComponentMasses(masses);
  }
  // Whether the last build shows compositions in weight percent of B.
  bool ShowsWeightPercent() const { return renderer_->ShowsWeightPercent(); }
  // The phases left out of the sheet's import, said on the plot (none: nothing said).
  void SetLeftOut(const std::vector<calc::LeftOutPhase>& phases) { renderer_->SetLeftOut(phases); }
  // While on, BuildDiagram keeps the zoom the user chose (live mode).
  void SetKeepZoom(bool on) { renderer_->SetKeepZoom(on); }
  // A note over the diagram that it no longer matches the sheet, with the reason; empty: none.
  void SetStale(const QString& why) { renderer_->SetStale(why); }
  // The layer over the series: boundaries, invariant lines, marks, field labels, heading.
  DiagramOverlay* Overlay() const { return renderer_->Overlay(); }
  // What draws the diagram, on the screen and into pictures.
  DiagramRenderer& Renderer() const { return *renderer_; }
  DiagramLook GetDiagramLook() const { return renderer_->GetDiagramLook(); }
  // Applies a look; a change of the temperature or composition unit rebuilds the last diagram.
  void SetDiagramLook(const DiagramLook& look);
  // The appearance editor with the "Diagram" page (what "Ред. график" opens).
  bool EditLook();
  // The value the axes show for a temperature or pressure of the results (°C when asked).
  double ShownY(double y) const { return renderer_->ShownY(y); }
  // The value the X axis shows for a mole fraction of B (weight percent when asked).
  double ShownX(double x) const { return renderer_->ShownX(x); }
  // The composition (mole fraction of B) and the temperature or pressure of the results under
  // a chart-widget pixel.
  QPointF ResultValueAt(const QPointF& chartPos) const;

  // True once a build has drawn a run's diagram (the chart file's points of an earlier session
  // are no diagram to export).
  bool HasDiagram() const { return renderer_->HasDiagram(); }

  // The chart's context menu: "Export diagram…", "Copy" (both only with a diagram), and "Undo
  // zoom" when zoomed; over the plot of a built diagram also "Cooling path at X = …" for the
  // composition under the click (`contextX_`, set by the right click). A right click opens it
  // (and no longer zooms out).
  QMenu* MakeContextMenu();

  // The designed appearance and the designed looks of series 0 and 1.
  static ChartLook DesignedLook() { return DiagramRenderer::DesignedLook(); }
  static SeriesLook OrdinaryPointsLook() { return DiagramRenderer::OrdinaryPointsLook(); }
  static SeriesLook SpecialPointsLook() { return DiagramRenderer::SpecialPointsLook(); }

  ChartView* Chart1() const { return chart_; }
  QLabel* Label1() const { return label1_; }
  QPushButton* sbUndoZoom() const { return undoZoom_; }
  QPushButton* EditButton() const { return edit_; }
  QPushButton* CloseButton() const { return close_; }
  const QString& ChartFilePath() const { return chartFile_; }
  // What of the chart file was not loaded, for the user (empty when all of it was, or when
  // there was none).
  const QString& LoadError() const { return loadError_; }

 signals:
  // The build ran the special-point finder (its memo lines are in the results now).
  void specialPointsFound();
  // A click on the plot (without dragging), or a mouse move over it with Ctrl held: the point
  // under the mouse in the results' units (composition, K or bar).
  void pointPicked(double x, double y);
  // The look's temperature unit (K or °C) or composition unit (mole fraction or weight
  // percent) changed: windows that show the run's temperatures and compositions follow it.
  void unitChanged();
  // "Cooling path at X = …" of the context menu: the composition as a mole fraction of B.
  void pathRequested(double x);

 protected:
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The chart view shows the renderer's chart: the destructor deletes the view first.
  std::unique_ptr<DiagramRenderer> renderer_;
  ChartView* chart_ = nullptr;
  QLabel* label1_ = nullptr;
  QPushButton* undoZoom_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* close_ = nullptr;
  QString chartFile_;
  QString loadError_;
  bool keepFile_ = false;  // the chart file could be neither read nor copied: not saved over
  char separator_ = '.';
  QPointF pressedAt_{-1e9, -1e9};
  double contextX_ = -1;  // the composition under the last right click in the plot, else -1
  void LoadLook();
  void SaveLook();
};

}  // namespace views
