#pragma once
// The working G(X) chart of the main window: one line series per solution phase and the lower
// hull "Convex" as the last series, redrawn at every level of a run. It is the result windows'
// chart widget, so the shared appearance editor works on it too.

#include <QElapsedTimer>
#include <QList>
#include <QPointF>
#include <QTimer>
#include <string>
#include <vector>

#include "calc/ports.h"
#include "views/chart_view.h"

namespace app {

class TWorkingChart : public views::ChartView, public calc::WorkingChartSink {
  Q_OBJECT
 public:
  explicit TWorkingChart(QWidget* parent = nullptr);

  void RebuildSeries(const std::vector<std::string>& titles) override;
  void ClearSeries() override;
  void SetSeriesPoints(int index, const std::vector<calc::ChartPoint>& points) override;
  void SetBottomAxisIncrement(double increment) override;

  // Draws the series handed over since the last drawing. A sweep hands over every level's
  // series, many times faster than a chart can draw them; the chart draws at most every
  // kRedrawInterval ms while a sweep runs and catches up through a timer or this call.
  void Flush();
  bool HasPendingSeries() const { return pending_; }
  static constexpr int kRedrawInterval = 50;

  // While on (a sweep running), a series is drawn with the few points that look the same on the
  // plot, at most four per pixel column; a chart redrawn at every level of a 3000-point grid
  // would hold up the window. Turned off, the series are drawn again with all their points at
  // the next Flush.
  void SetThinned(bool on);

  // The shared appearance editor on this chart, modal, first page.
  void EditAppearance(QWidget* parent);

  // The look of a phase's series (index in the sheet's order) and of "Convex".
  static views::SeriesLook PhaseLook(int index);
  static views::SeriesLook ConvexLook();

 protected:
  // The mouse over the working chart does nothing: no zoom, no read-out.
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  void FitLeftAxisLabels();

  std::vector<QList<QPointF>> next_;  // per series, what is to be drawn
  std::vector<bool> changed_;
  bool pending_ = false;
  bool thinned_ = false;
  QElapsedTimer sinceDrawn_;
  QTimer catchUp_;
};

}  // namespace app
