#include "app/working_chart.h"

#include <QChart>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

#include "app/colors.h"

namespace app {

namespace {

QFont ItalicArial(int pixels) {
  QFont f("Arial");
  f.setPixelSize(pixels);
  f.setItalic(true);
  return f;
}

// Series colours of a run: the first two phases as the designed liquid and solid, further
// phases from a palette that stays readable on white.
QColor PhaseColor(size_t i) {
  static const QColor palette[] = {ColorFromValue(16744448), QColor(Qt::black),
                                   QColor(0, 128, 0),        QColor(128, 0, 128),
                                   QColor(0, 128, 128),      QColor(128, 128, 0)};
  return palette[i % std::size(palette)];
}

}  // namespace

TWorkingChart::TWorkingChart(QWidget* parent) : QChartView(parent) {
  auto* chart = new QChart;
  chart->setBackgroundRoundness(0);
  // Room for the left-aligned title above and the right-aligned foot below the plot.
  chart->setMargins(QMargins(2, 14, 2, 12));
  chart->setPlotAreaBackgroundBrush(Qt::white);
  chart->setPlotAreaBackgroundVisible(true);
  chart->legend()->setAlignment(Qt::AlignRight);
  chart->legend()->setFont(ItalicArial(11));

  axisX_ = new QValueAxis;
  axisY_ = new QValueAxis;
  QPen grid(QColor(128, 128, 128));
  grid.setStyle(Qt::DotLine);
  for (QValueAxis* a : {axisX_, axisY_}) {
    a->setGridLinePen(grid);
    a->setLabelsFont(ItalicArial(10));
  }
  // Values like 0, 0.1, 0.25, 1: at most two decimals, no trailing zeros.
  axisX_->setLabelFormat("%.4g");
  axisX_->setRange(0, 1);
  axisX_->setTickType(QValueAxis::TicksDynamic);
  axisX_->setTickAnchor(0);
  axisX_->setTickInterval(0.1);
  axisY_->setLabelFormat("%.6g");
  chart->addAxis(axisX_, Qt::AlignBottom);
  chart->addAxis(axisY_, Qt::AlignLeft);
  setChart(chart);
  setRenderHint(QPainter::Antialiasing, false);
  // The mouse over the working chart does nothing.
  setInteractive(false);
  setRubberBand(QChartView::NoRubberBand);

  title_ = new QGraphicsSimpleTextItem("       G", chart);
  title_->setFont(ItalicArial(11));
  foot_ = new QGraphicsSimpleTextItem("x", chart);
  foot_->setFont(ItalicArial(12));

  // The designed look until the first run replaces the series.
  AddSeries("Liquid", ColorFromValue(16744448), Qt::SolidLine);
  AddSeries("Solid", Qt::black, Qt::SolidLine);
  AddSeries("Convex", Qt::red, Qt::DotLine);
}

QString TWorkingChart::TitleText() const { return title_->text(); }
QString TWorkingChart::FootText() const { return foot_->text(); }

QLineSeries* TWorkingChart::AddSeries(const QString& title, const QColor& color,
                                      Qt::PenStyle style) {
  auto* s = new QLineSeries;
  s->setName(title);
  QPen pen(color);
  pen.setWidth(style == Qt::DotLine ? 1 : 2);
  pen.setStyle(style);
  s->setPen(pen);
  // Every level replaces whole series; keep the scene from animating or caching them.
  s->setUseOpenGL(false);
  chart()->addSeries(s);
  s->attachAxis(axisX_);
  s->attachAxis(axisY_);
  series_.push_back(s);
  return s;
}

void TWorkingChart::RebuildSeries(const std::vector<std::string>& titles) {
  for (QLineSeries* s : series_) {
    chart()->removeSeries(s);
    delete s;
  }
  series_.clear();
  for (size_t i = 0; i < titles.size(); ++i) {
    const QString t = QString::fromStdString(titles[i]);
    const bool convex = i + 1 == titles.size() && t == "Convex";
    AddSeries(t, convex ? QColor(Qt::red) : PhaseColor(i), convex ? Qt::DotLine : Qt::SolidLine);
  }
}

void TWorkingChart::ClearSeries() {
  for (QLineSeries* s : series_) s->clear();
}

void TWorkingChart::SetSeriesPoints(int index, const std::vector<calc::ChartPoint>& points) {
  if (index < 0 || index >= SeriesCount()) return;
  QList<QPointF> list;
  list.reserve(static_cast<qsizetype>(points.size()));
  for (const calc::ChartPoint& p : points) list.append(QPointF(p.x, p.g));
  series_[static_cast<size_t>(index)]->replace(list);
  RescaleY();
}

void TWorkingChart::SetBottomAxisIncrement(double increment) {
  if (increment > 0) axisX_->setTickInterval(increment);
}

void TWorkingChart::RescaleY() {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (QLineSeries* s : series_)
    for (const QPointF& p : s->points()) {
      lo = std::min(lo, p.y());
      hi = std::max(hi, p.y());
    }
  if (!std::isfinite(lo) || !std::isfinite(hi)) return;
  if (hi - lo < 1e-9 * std::max(1.0, std::abs(hi))) {
    lo -= 1;
    hi += 1;
  }
  const double pad = (hi - lo) * 0.05;
  axisY_->setRange(lo - pad, hi + pad);
}

void TWorkingChart::PlaceTexts() {
  const QSizeF size = chart()->size();
  title_->setPos(4, 1);
  const QRectF box = foot_->boundingRect();
  foot_->setPos(size.width() - box.width() - 8, size.height() - box.height() - 1);
}

void TWorkingChart::resizeEvent(QResizeEvent* e) {
  QChartView::resizeEvent(e);
  PlaceTexts();
}

}  // namespace app
