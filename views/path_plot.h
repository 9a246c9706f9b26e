#pragma once
// Line plots of one alloy along a path: the phase fractions against T (or p, or X) with the
// boundaries crossed marked, the Scheil path beside the equilibrium one, the activities. One
// painter draws them on the screen (PathPlotWidget) and into PNG, SVG and PDF files of a chosen
// size and resolution, as the diagram's pictures are written.

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QSize>
#include <QString>
#include <QWidget>
#include <vector>

#include "calc/masses.h"
#include "calc/path.h"
#include "calc/phase_sheet.h"
#include "calc/scheil.h"
#include "views/diagram_export.h"

QT_BEGIN_NAMESPACE
class QPainter;
QT_END_NAMESPACE

namespace views {

struct PlotCurve {
  QString name;                 // the legend's text
  std::vector<QPointF> points;  // a point with a NaN coordinate breaks the line
  QColor colour;
  Qt::PenStyle style = Qt::SolidLine;
  double width = 1.8;
};

// A boundary crossed: a dashed line across the plot at x with its label at the top.
struct PlotMark {
  double x = 0;
  QString label;
};

// A labelled stretch of the x axis (a phase region of an activity plot).
struct PlotRegion {
  double from = 0, to = 0;
  QString label;
};

struct PlotData {
  QString title, xTitle, yTitle;
  std::vector<PlotCurve> curves;
  std::vector<PlotMark> marks;
  std::vector<PlotRegion> regions;
  // The axes' ranges; taken from the points where lo >= hi.
  double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
  bool logY = false;  // a logarithmic y axis (points at or below 0 are left out)
};

// Draws the plot into `size` (logical pixels of the painter) with fonts of the designed size.
void DrawPlot(QPainter& painter, QSizeF size, const PlotData& plot);

// The phases of an equilibrium as the diagram names its fields, left first: "S + L", and
// "S′ + S″" for the two sides of a miscibility gap.
QString PhaseNames(const std::vector<calc::EquilibriumPhase>& phases);

// The plot as an image of `size` pixels at `dpi` (fonts and lines scale with dpi / 96 and with
// `zoom`).
QImage PlotPicture(const PlotData& plot, QSize size, int dpi = 96, double zoom = 1.0);

// Writes the plot as PNG, SVG or PDF (options.format); false with `error` set when it could
// not. Needs a QGuiApplication; EnsureGuiApplication makes one on the offscreen platform for a
// command-line program.
bool WritePlot(const PlotData& plot, const QString& path, const PictureOptions& options,
               QString* error = nullptr);
void EnsureGuiApplication();

// How a path is shown: temperatures in K or °C, compositions as mole fractions or weight
// percent (with the components' masses), the components' names.
struct PathPlotOptions {
  QString title;  // the problem's name
  bool celsius = false;
  bool weightPercent = false;
  calc::ComponentMasses masses;
  calc::ComponentNames names;
};

// The variable of a path as the plot shows it: T in K or °C, p in bar, X as a mole fraction or
// in weight percent of B; and the axis title for it.
double ShownPathValue(const calc::PathRequest& request, double at, const PathPlotOptions& o);
QString PathAxisTitle(const calc::PathRequest& request, const PathPlotOptions& o);

// Phase fractions along the path, one curve per phase, every crossing marked; with a Scheil
// path, its fraction solid beside the equilibrium one. With weight percent the fractions are
// mass fractions of the phases.
PlotData PhaseFractionPlot(const calc::PathRequest& request, const calc::PathResult& path,
                           const calc::ScheilResult* scheil, const PathPlotOptions& o);
// The activities of A and B along the path (log scale), the phase regions marked.
PlotData ActivityPlot(const calc::PathRequest& request, const calc::PathResult& path,
                      const PathPlotOptions& o);

// A widget that shows a plot, scaled to its size.
class PathPlotWidget : public QWidget {
 public:
  explicit PathPlotWidget(QWidget* parent = nullptr);
  void SetPlot(PlotData plot);
  const PlotData& Plot() const { return plot_; }
  QSize sizeHint() const override { return {696, 482}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PlotData plot_;
};

}  // namespace views
