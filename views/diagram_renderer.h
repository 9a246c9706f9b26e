#pragma once
// The phase diagram's picture, built from a run's results and a look, without a window: the
// chart (ChartCanvas) with its series, and the layer over it (DiagramOverlay). The diagram window
// shows it and exports it; the command line draws it straight into pictures (diagram_image.h),
// with no widget and no event loop.
//
// Series, in this order (other code relies on the indexes):
//   0  "Ordinary points"  the ends of every two-phase segment of every level
//   1  "Special points"   what the special-point finder found
//   2… "Node at …"        one line per node, from XLeft to XRight at the node's Y

#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "calc/masses.h"
#include "calc/phase_sheet.h"
#include "calc/problem.h"
#include "calc/results.h"
#include "views/chart_file.h"
#include "views/chart_look.h"
#include "views/diagram_look.h"
#include "views/diagram_overlay.h"

namespace views {

class ChartCanvas;

class DiagramRenderer : public QObject {
  Q_OBJECT

 public:
  explicit DiagramRenderer(QObject* parent = nullptr);
  ~DiagramRenderer() override;

  ChartCanvas* Canvas() const { return canvas_; }
  // The layer over the series: boundaries, invariant lines, marks, field labels, heading.
  DiagramOverlay* Overlay() const { return overlay_; }

  // The diagram build: title "T, K" (temperature) or "P, бар" (anything else), every series
  // removed, series 0 and 1 made anew, zoom undone, the points of `results.ZPoints` whose Y is
  // above 0 into series 0; then `findSpecialPoints` (the special-point finder; it fills
  // results.Nodes, MemoLines and SpecialPoints), the special points into series 1, one node
  // line per node, and the layer. The finder works on the same results object, which the build
  // reads again afterwards. Without a finder the nodes and special points already in `results`
  // are drawn. An exception from the finder ends the build before anything of the finder is
  // drawn.
  void Build(const calc::Results& results, calc::YParameter yParameter,
             const std::function<void()>& findSpecialPoints);

  // The nodes whose lines a build draws: the grid's nodes, each where the refinement solved its
  // invariant when it did (its exact Y and compositions), so the node line and the invariant
  // line are one line, the exact answer, instead of two a level apart.
  static std::vector<calc::TNode> NodesToDraw(const calc::Results& results);

  // The node-line step: one line series per node, titled "Node at " + Y ("0.###") + unit,
  // unit "K" when `yParameterText` begins with "T", else "bar"; both points in the colour of
  // series 0.
  void AddNodeLines(const std::vector<calc::TNode>& nodes, const std::string& yParameterText);

  // The problem drawn, shown as the plot's heading (unless the look has a heading of its own);
  // without one, `fallback` (the diagram window's caption).
  void SetProblemName(const QString& name) { problemName_ = name; }
  void SetFallbackName(const QString& name) { fallbackName_ = name; }
  QString ProblemName() const { return problemName_.isEmpty() ? fallbackName_ : problemName_; }

  // The decimal separator of the node-line titles.
  void SetDecimalSeparator(char separator) { separator_ = separator; }
  char DecimalSeparator() const { return separator_; }
  // The components named by the problem's sheet (the X axis title then names them). Takes
  // effect at the next build.
  void SetComponentNames(const calc::ComponentNames& names) { names_ = names; }
  const calc::ComponentNames& ComponentNames() const { return names_; }
  // The masses of the components, for compositions in weight percent. Takes effect at the next
  // build.
  void SetComponentMasses(const calc::ComponentMasses& masses) { masses_ = masses; }
  // The phases left out of the sheet's import, said on the plot.
  void SetLeftOut(const std::vector<calc::LeftOutPhase>& phases) { leftOut_ = phases; }
  // While on, Build keeps the zoom of the chart (live mode).
  void SetKeepZoom(bool on) { keepZoom_ = on; }
  // A note over the diagram that it no longer matches the sheet, with the reason; empty: none.
  void SetStale(const QString& why);
  // Only drawn into pictures: the diagram points are left to the pictures' own drawing and get
  // no marker items in the chart. Takes effect at the next build.
  void SetPicturesOnly(bool on) { picturesOnly_ = on; }

  // A chart file's appearance: the chart's look and the diagram's (when the file has one). The
  // designed X axis title, in whichever language the file keeps it, is shown in the program's.
  // The file's series are not taken: a build makes its own.
  void ApplyChartFile(const ChartFile& file);

  DiagramLook GetDiagramLook() const;
  // Applies a look; a change of the temperature or composition unit draws the last build again
  // in the new unit. True when the unit changed.
  bool SetDiagramLook(const DiagramLook& look);

  // Whether the last build shows compositions in weight percent of B.
  bool ShowsWeightPercent() const { return byMass_; }
  // The value the axes show for a temperature or pressure of the results (°C when asked).
  double ShownY(double y) const { return y - yOffset_; }
  // The value the X axis shows for a mole fraction of B (weight percent when asked).
  double ShownX(double x) const;
  // A value the X axis shows back as a mole fraction of B.
  double ResultX(double shownX) const;
  double ResultY(double shownY) const { return shownY + yOffset_; }

  // True once a build has drawn a run's diagram.
  bool HasDiagram() const { return built_; }
  calc::YParameter BuiltY() const { return builtY_; }
  // The X axis title the last build wrote (replaced by the next one), empty before any.
  const QString& AutoFoot() const { return autoFoot_; }

  // The designed appearance and the designed looks of series 0 and 1.
  static ChartLook DesignedLook();
  static SeriesLook OrdinaryPointsLook();
  static SeriesLook SpecialPointsLook();
  // The designed X axis title, as written in the sources (Russian), and whether a title is it in
  // either language (a chart file keeps the title in the language it was written in).
  static QString DesignedFoot();
  static QString ShownDesignedFoot();
  static bool IsDesignedFoot(const QString& text);

 signals:
  // The build ran the special-point finder (its memo lines are in the results now).
  void specialPointsFound();

 private:
  void ShowBuild();
  void ShowLayers();

  ChartCanvas* canvas_ = nullptr;
  DiagramOverlay* overlay_ = nullptr;
  char separator_ = '.';
  calc::ComponentNames names_;
  calc::ComponentMasses masses_;
  bool byMass_ = false;  // the last build shows weight percent
  std::vector<calc::LeftOutPhase> leftOut_;
  bool keepZoom_ = false;
  QString stale_;
  QString problemName_, fallbackName_;
  // What the grid of the shown results cannot resolve: said on the plot.
  std::vector<calc::FinerFeature> finer_;
  // The phase each of finer_ names (a field that ends between two levels), as the user sees it.
  QStringList finerPhases_;
  QString autoFoot_;
  double yOffset_ = 0;
  // The last build in the results' own units, so a change of unit can draw it again.
  bool built_ = false;
  bool picturesOnly_ = false;
  calc::YParameter builtY_ = calc::YParameter::Temperature;
  QList<QPointF> ordinary_, special_;
  std::vector<calc::TNode> nodes_;
  DiagramLayers layers_;
};

}  // namespace views
