#include "app/working_chart.h"

#include <QLineSeries>
#include <QList>
#include <QMouseEvent>
#include <QPointF>

#include "app/colors.h"
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

}  // namespace

views::SeriesLook TWorkingChart::PhaseLook(int index) {
  // The first two phases take the designed liquid and solid colours; further ones a palette
  // that stays readable on white.
  static const QColor palette[] = {ColorFromValue(16744448), QColor(Qt::black),
                                   QColor(0, 128, 0),        QColor(128, 0, 128),
                                   QColor(0, 128, 128),      QColor(128, 128, 0)};
  const int n = static_cast<int>(std::size(palette));
  return LineLook(palette[((index % n) + n) % n], 2, Qt::SolidLine);
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
  setRubberBand(QChartView::NoRubberBand);
  setRenderHint(QPainter::Antialiasing, false);

  // The designed series until the first run replaces them.
  AddSeries(views::SeriesKind::Line, "Liquid", PhaseLook(0));
  AddSeries(views::SeriesKind::Line, "Solid", PhaseLook(1));
  AddSeries(views::SeriesKind::Line, "Convex", ConvexLook());
}

void TWorkingChart::RebuildSeries(const std::vector<std::string>& titles) {
  RemoveAllSeries();
  for (size_t i = 0; i < titles.size(); ++i) {
    const QString t = QString::fromStdString(titles[i]);
    const bool convex = i + 1 == titles.size() && t == "Convex";
    AddSeries(views::SeriesKind::Line, t,
              convex ? ConvexLook() : PhaseLook(static_cast<int>(i)));
  }
}

void TWorkingChart::ClearSeries() {
  for (int i = 0; i < SeriesCount(); ++i) SeriesAt(i)->clear();
  Rescale();
}

void TWorkingChart::SetSeriesPoints(int index, const std::vector<calc::ChartPoint>& points) {
  if (index < 0 || index >= SeriesCount()) return;
  QList<QPointF> list;
  list.reserve(static_cast<qsizetype>(points.size()));
  for (const calc::ChartPoint& p : points) list.append(QPointF(p.x, p.g));
  SeriesAt(index)->replace(list);
  // A sweep hands the series over one after the other; the axes follow after the last.
  if (index == SeriesCount() - 1) Rescale();
}

void TWorkingChart::SetBottomAxisIncrement(double increment) {
  views::ChartLook look = Look();
  if (look.bottom.increment == increment) return;
  look.bottom.increment = increment;
  SetLook(look);
}

void TWorkingChart::EditAppearance(QWidget* parent) { views::EditChart(this, parent); }

void TWorkingChart::mousePressEvent(QMouseEvent* e) { e->ignore(); }
void TWorkingChart::mouseMoveEvent(QMouseEvent* e) { e->ignore(); }
void TWorkingChart::mouseReleaseEvent(QMouseEvent* e) { e->ignore(); }

}  // namespace app
