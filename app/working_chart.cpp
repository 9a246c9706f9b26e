#include "app/working_chart.h"

#include <QLineSeries>
#include <QList>
#include <QMouseEvent>
#include <QPointF>
#include <algorithm>
#include <cmath>
#include <limits>

#include "views/chart_editor.h"

namespace app {

namespace {

views::SeriesLook LineLook(const QColor& colour, double width, Qt::PenStyle style) {
  views::SeriesLook look;
  look.colour = colour;
  look.penColour = colour;
  look.penWidth = width;
  look.penStyle = style;
  look.markersVisible = false;
  return look;
}

// The points of a line that draw the same to within a pixel on a plot `columns` pixels wide: of
// the points falling into one pixel column one after the other, the first, the lowest, the
// highest and the last.
QList<QPointF> Thinned(const QList<QPointF>& points, double columns) {
  const qsizetype n = points.size();
  if (columns < 1 || n <= 4 * columns) return points;
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const QPointF& p : points) {
    lo = std::min(lo, p.x());
    hi = std::max(hi, p.x());
  }
  if (!(hi > lo) || !std::isfinite(hi - lo)) return points;
  const double scale = columns / (hi - lo);
  const auto column = [&](qsizetype k) { return std::floor((points[k].x() - lo) * scale); };
  QList<QPointF> out;
  out.reserve(static_cast<qsizetype>(4 * columns) + 4);
  for (qsizetype k = 0; k < n;) {
    const double c = column(k);
    qsizetype last = k, lowest = k, highest = k;
    while (last + 1 < n && column(last + 1) == c) {
      ++last;
      if (points[last].y() < points[lowest].y()) lowest = last;
      if (points[last].y() > points[highest].y()) highest = last;
    }
    const qsizetype keep[] = {k, std::min(lowest, highest), std::max(lowest, highest), last};
    for (int i = 0; i < 4; ++i)
      if (i == 0 || keep[i] != keep[i - 1]) out.push_back(points[keep[i]]);
    k = last + 1;
  }
  return out;
}

}  // namespace

views::SeriesLook TWorkingChart::PhaseLook(int index) {
  return LineLook(views::PhaseColour(index), 2, Qt::SolidLine);
}

views::SeriesLook TWorkingChart::ConvexLook() { return LineLook(Qt::red, 1, Qt::DotLine); }

TWorkingChart::TWorkingChart(QWidget* parent) : views::ChartView(parent) {
  views::ChartLook look = Look();
  look.title.text = "       G";
  look.title.font = views::CyrillicFont({"Arial"}, 11);
  look.title.font.setItalic(true);
  look.title.align = views::TextAlign::Left;
  look.foot.text = "x";
  look.foot.font = views::CyrillicFont({"Arial"}, 12);
  look.foot.font.setItalic(true);
  look.foot.align = views::TextAlign::Right;
  look.background = Qt::white;
  look.plotArea = Qt::white;
  look.legendVisible = true;
  look.bottom.gridStyle = Qt::DotLine;
  look.left.gridStyle = Qt::DotLine;
  look.bottom.increment = 0.1;
  SetLook(look);
  // The legend stands right of the plot, which keeps the low chart's plot as high as it can be.
  chart()->legend()->setAlignment(Qt::AlignRight);
  setRubberBand(QChartView::NoRubberBand);
  setRenderHint(QPainter::Antialiasing, false);

  // The designed series until the first run replaces them.
  AddSeries(views::SeriesKind::Line, "Liquid", PhaseLook(0));
  AddSeries(views::SeriesKind::Line, "Solid", PhaseLook(1));
  AddSeries(views::SeriesKind::Line, "Convex", ConvexLook());

  FitLeftAxisLabels();
  catchUp_.setSingleShot(true);
  catchUp_.setInterval(kRedrawInterval);
  connect(&catchUp_, &QTimer::timeout, this, [this] { Flush(); });
}

void TWorkingChart::RebuildSeries(const std::vector<std::string>& titles) {
  catchUp_.stop();
  pending_ = false;
  next_.assign(titles.size(), {});
  changed_.assign(titles.size(), false);
  RemoveAllSeries();
  for (size_t i = 0; i < titles.size(); ++i) {
    const QString t = QString::fromStdString(titles[i]);
    const bool convex = i + 1 == titles.size() && t == "Convex";
    AddSeries(views::SeriesKind::Line, t,
              convex ? ConvexLook() : PhaseLook(static_cast<int>(i)));
  }
}

void TWorkingChart::ClearSeries() {
  // Every level starts by emptying the series; what is drawn changes with the level's new
  // series (or with the next Flush, when none follow).
  const auto n = static_cast<size_t>(SeriesCount());
  next_.resize(n);
  changed_.assign(n, true);
  for (QList<QPointF>& list : next_) list.clear();
  pending_ = n > 0;
}

void TWorkingChart::SetSeriesPoints(int index, const std::vector<calc::ChartPoint>& points) {
  if (index < 0 || index >= SeriesCount()) return;
  const auto i = static_cast<size_t>(index);
  if (next_.size() < static_cast<size_t>(SeriesCount())) {
    next_.resize(static_cast<size_t>(SeriesCount()));
    changed_.resize(static_cast<size_t>(SeriesCount()), false);
  }
  QList<QPointF>& list = next_[i];
  list.resize(static_cast<qsizetype>(points.size()));
  for (size_t k = 0; k < points.size(); ++k)
    list[static_cast<qsizetype>(k)] = QPointF(points[k].x, points[k].g);
  changed_[i] = true;
  pending_ = true;
  // A sweep hands the series over one after the other; draw after the last one of a level.
  if (index != SeriesCount() - 1) return;
  if (!sinceDrawn_.isValid() || sinceDrawn_.elapsed() >= kRedrawInterval)
    Flush();
  else if (!catchUp_.isActive())
    catchUp_.start();
}

void TWorkingChart::Flush() {
  catchUp_.stop();
  if (!pending_) return;
  pending_ = false;
  for (size_t i = 0; i < changed_.size() && static_cast<int>(i) < SeriesCount(); ++i) {
    if (!changed_[i]) continue;
    changed_[i] = false;
    SeriesAt(static_cast<int>(i))
        ->replace(thinned_ ? Thinned(next_[i], PlotRect().width()) : next_[i]);
  }
  FitLeftAxisLabels();
  Rescale();
  sinceDrawn_.start();
}

void TWorkingChart::SetThinned(bool on) {
  if (thinned_ == on) return;
  thinned_ = on;
  // What is shown was drawn the other way: every series is drawn again at the next Flush.
  changed_.assign(next_.size(), true);
  pending_ = !next_.empty();
}

void TWorkingChart::FitLeftAxisLabels() {
  // The chart is low: choose the distance of the G labels so that they stay readable (about
  // 24 px apart) instead of a tenth of the range.
  views::ChartLook look = Look();
  if (!look.left.automatic) return;
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (int i = 0; i < SeriesCount(); ++i)
    for (const QPointF& p : SeriesAt(i)->points()) {
      lo = std::min(lo, p.y());
      hi = std::max(hi, p.y());
    }
  if (!(hi > lo)) {
    // No data yet: the axes show 0 to 1.
    lo = 0;
    hi = 1;
  }
  double step = 0;
  const double height = std::max(40.0, PlotRect().height());
  const double labels = std::max(2.0, std::floor(height / 24.0));
  if (hi > lo && std::isfinite(hi - lo)) {
    const double raw = (hi - lo) / labels;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / power;
    step = (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10) * power;
  }
  if (step == look.left.increment) return;
  SetAxisIncrement(Qt::Vertical, step);
}

void TWorkingChart::SetBottomAxisIncrement(double increment) {
  if (Look().bottom.increment == increment) return;
  SetAxisIncrement(Qt::Horizontal, increment);
}

void TWorkingChart::EditAppearance(QWidget* parent) { views::EditChart(this, parent); }

void TWorkingChart::mousePressEvent(QMouseEvent* e) { e->ignore(); }
void TWorkingChart::mouseMoveEvent(QMouseEvent* e) { e->ignore(); }
void TWorkingChart::mouseReleaseEvent(QMouseEvent* e) { e->ignore(); }

}  // namespace app
