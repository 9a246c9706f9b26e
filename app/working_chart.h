#pragma once
// The working G(X) chart of the main window: one line series per solution phase and the lower
// hull "Convex" as the last series, redrawn at every level of a run.

#include <QChartView>
#include <QList>
#include <QPointF>
#include <string>
#include <vector>

#include "calc/ports.h"

class QGraphicsSimpleTextItem;
class QLineSeries;
class QValueAxis;

namespace app {

class TWorkingChart : public QChartView, public calc::WorkingChartSink {
  Q_OBJECT
 public:
  explicit TWorkingChart(QWidget* parent = nullptr);

  void RebuildSeries(const std::vector<std::string>& titles) override;
  void ClearSeries() override;
  void SetSeriesPoints(int index, const std::vector<calc::ChartPoint>& points) override;
  void SetBottomAxisIncrement(double increment) override;

  int SeriesCount() const { return static_cast<int>(series_.size()); }
  QLineSeries* Series(int index) const { return series_.at(static_cast<size_t>(index)); }
  QValueAxis* AxisX() const { return axisX_; }
  QValueAxis* AxisY() const { return axisY_; }
  QString TitleText() const;
  QString FootText() const;

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  QLineSeries* AddSeries(const QString& title, const QColor& color, Qt::PenStyle style);
  void RescaleY();
  void PlaceTexts();

  std::vector<QLineSeries*> series_;
  QValueAxis* axisX_;
  QValueAxis* axisY_;
  QGraphicsSimpleTextItem* title_;
  QGraphicsSimpleTextItem* foot_;
};

}  // namespace app
