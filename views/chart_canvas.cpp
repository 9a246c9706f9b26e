#include "views/chart_canvas.h"

#include <QChart>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

namespace views {

namespace {

constexpr int kTextGap = 4;  // pixels between the chart's edge, the texts and the plot
constexpr double kMaxLabels = 200;

QScatterSeries::MarkerShape QtShape(MarkerShape shape) {
  switch (shape) {
    case MarkerShape::Circle:
      return QScatterSeries::MarkerShapeCircle;
    case MarkerShape::Rectangle:
      return QScatterSeries::MarkerShapeRectangle;
    case MarkerShape::Diamond:
      return QScatterSeries::MarkerShapeRotatedRectangle;
    case MarkerShape::Triangle:
      return QScatterSeries::MarkerShapeTriangle;
    case MarkerShape::Star:
      return QScatterSeries::MarkerShapeStar;
    case MarkerShape::Pentagon:
      return QScatterSeries::MarkerShapePentagon;
  }
  return QScatterSeries::MarkerShapeCircle;
}

MarkerShape OurShape(QScatterSeries::MarkerShape shape) {
  switch (shape) {
    case QScatterSeries::MarkerShapeRectangle:
      return MarkerShape::Rectangle;
    case QScatterSeries::MarkerShapeRotatedRectangle:
      return MarkerShape::Diamond;
    case QScatterSeries::MarkerShapeTriangle:
      return MarkerShape::Triangle;
    case QScatterSeries::MarkerShapeStar:
      return MarkerShape::Star;
    case QScatterSeries::MarkerShapePentagon:
      return MarkerShape::Pentagon;
    default:
      return MarkerShape::Circle;
  }
}

bool IsPoints(const QAbstractSeries* s) {
  return s->type() == QAbstractSeries::SeriesTypeScatter;
}

}  // namespace

double NiceStep(double span) {
  if (!(span > 0) || !std::isfinite(span)) return 1.0;
  const double raw = span / 10.0;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / power;
  const double nice = f <= 1.0 ? 1.0 : f <= 2.0 ? 2.0 : f <= 5.0 ? 5.0 : 10.0;
  return nice * power;
}

QString LabelFormatFor(double step) {
  if (!(step > 0) || !std::isfinite(step)) return QStringLiteral("%.0f");
  for (int decimals = 0; decimals <= 10; ++decimals) {
    const double scaled = step * std::pow(10.0, decimals);
    if (std::fabs(scaled - std::round(scaled)) <= 1e-6 * std::max(1.0, scaled)) {
      return QStringLiteral("%.%1f").arg(decimals);
    }
  }
  return QStringLiteral("%.10g");
}

void ApplySeriesLook(QXYSeries* series, const SeriesLook& look) {
  series->setVisible(look.visible);
  series->setMarkerSize(look.markerSize);
  if (auto* points = qobject_cast<QScatterSeries*>(series)) {
    points->setMarkerShape(QtShape(look.marker));
    points->setBrush(look.colour);
    QPen outline(look.penColour, look.penWidth, look.penStyle);
    outline.setCosmetic(true);
    points->setPen(outline);
  } else {
    QPen pen(look.colour, look.penWidth, look.penStyle);
    pen.setCosmetic(true);
    series->setPen(pen);
    series->setPointsVisible(look.markersVisible);
  }
}

QLocale AxisNumberLocale(QLocale locale) {
  locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
  return locale;
}

ChartCanvas::ChartCanvas(QObject* parent) : QObject(parent) {
  auto* c = new QChart();
  chart_ = c;
  c->setAnimationOptions(QChart::NoAnimation);
  c->setBackgroundRoundness(0);
  c->setDropShadowEnabled(false);
  c->layout()->setContentsMargins(0, 0, 0, 0);
  c->setLocalizeNumbers(true);
  c->setLocale(AxisNumberLocale(QLocale()));
  scene_ = new QGraphicsScene(this);
  scene_->addItem(c);

  bottom_ = new QValueAxis(c);
  left_ = new QValueAxis(c);
  c->addAxis(bottom_, Qt::AlignBottom);
  c->addAxis(left_, Qt::AlignLeft);
  titleItem_ = new QGraphicsSimpleTextItem(c);
  footItem_ = new QGraphicsSimpleTextItem(c);
  titleItem_->setZValue(10);
  footItem_->setZValue(10);

  connect(bottom_, &QValueAxis::rangeChanged, this, [this] { CheckZoom(); });
  connect(left_, &QValueAxis::rangeChanged, this, [this] { CheckZoom(); });
  connect(c, &QChart::plotAreaChanged, this, [this] { LayoutTexts(); });

  ChartLook look;
  look.title.font = CyrillicFont({"Arial"}, 11);
  look.foot = look.title;
  look.foot.align = TextAlign::Right;
  SetLook(look);
}

ChartCanvas::~ChartCanvas() {
  if (!chart_) return;  // its scene went first
  // Nothing of the chart calls back while it goes.
  chart_->disconnect(this);
  bottom_->disconnect(this);
  left_->disconnect(this);
  delete chart_.data();
}

ChartLook ChartCanvas::Look() const {
  return look_;
}

void ChartCanvas::SetLook(const ChartLook& look) {
  look_ = look;
  QChart* c = chart_;
  c->setBackgroundBrush(look.background);
  c->setBackgroundPen(Qt::NoPen);
  c->setPlotAreaBackgroundBrush(look.plotArea);
  c->setPlotAreaBackgroundPen(QPen(Qt::black, 0));
  c->setPlotAreaBackgroundVisible(true);
  c->legend()->setVisible(look.legendVisible);
  ApplyText(titleItem_, look.title);
  ApplyText(footItem_, look.foot);
  ApplyAxis(bottom_, look.bottom);
  ApplyAxis(left_, look.left);
  LayoutTexts();
  Rescale();
}

void ChartCanvas::SetAxisIncrement(Qt::Orientation axis, double increment) {
  (axis == Qt::Horizontal ? look_.bottom : look_.left).increment = increment;
  Rescale();
}

QString ChartCanvas::TitleText() const {
  return look_.title.text;
}

void ChartCanvas::SetTitleText(const QString& text) {
  look_.title.text = text;
  ApplyText(titleItem_, look_.title);
  LayoutTexts();
}

void ChartCanvas::ApplyText(QGraphicsSimpleTextItem* item, const TextLook& look) {
  item->setText(look.text);
  item->setFont(look.font);
  item->setBrush(look.colour);
  item->setVisible(look.visible && !look.text.isEmpty());
}

void ChartCanvas::ApplyAxis(QValueAxis* axis, const AxisLook& look) {
  axis->setMinorTickCount(look.minorTicks);
  axis->setGridLineVisible(look.gridVisible);
  QPen grid(look.gridColour, 0, look.gridStyle);
  grid.setCosmetic(true);
  axis->setGridLinePen(grid);
  axis->setMinorGridLineVisible(false);
  axis->setLabelsVisible(look.labelsVisible);
  axis->setLinePen(QPen(Qt::black, 0));
  axis->setLabelsColor(Qt::black);
  axis->setLabelsFont(CyrillicFont({"Arial"}, 11));
}

void ChartCanvas::ScaleAxis(QValueAxis* axis, const AxisLook& look, double lo, double hi) {
  if (!look.automatic) {
    lo = look.min;
    hi = look.max;
  }
  if (!(lo < hi)) {
    const double pad = lo == 0 ? 1.0 : std::fabs(lo) * 0.05;
    lo -= pad;
    hi += pad;
  }
  double step = look.increment > 0 ? look.increment : NiceStep(hi - lo);
  // Qt Charts makes one label item per tick: an increment far too small for the range would
  // bury the window under millions of labels, so it gives way to a chosen one.
  if ((hi - lo) / step > kMaxLabels) step = NiceStep(hi - lo);
  if (look.automatic) {
    // Out to the next labels, so the extreme points are not cut by the frame and both ends
    // carry a label.
    lo = std::floor(lo / step + 1e-9) * step;
    hi = std::ceil(hi / step - 1e-9) * step;
  }
  const QString format = look.labelFormat.isEmpty() ? LabelFormatFor(step) : look.labelFormat;
  // Every change below lays the chart out and maps every series again: an axis that already
  // shows this range and these labels is left alone.
  if (axis->tickType() == QValueAxis::TicksDynamic && axis->min() == lo && axis->max() == hi &&
      axis->tickAnchor() == 0.0 && axis->tickInterval() == step && axis->labelFormat() == format)
    return;
  // Range and interval change one after the other; in between, fixed ticks keep the old
  // interval from meeting the new range.
  axis->setTickType(QValueAxis::TicksFixed);
  axis->setRange(lo, hi);
  axis->setTickAnchor(0.0);
  axis->setTickInterval(step);
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setLabelFormat(format);
}

void ChartCanvas::Rescale() {
  if (zoomed_) return;
  double xlo = std::numeric_limits<double>::infinity(), xhi = -xlo;
  double ylo = xlo, yhi = -xlo;
  for (QAbstractSeries* s : chart_->series()) {
    const auto kept = drawnElsewhere_.constFind(s);
    if (!s->isVisible() && kept == drawnElsewhere_.cend()) continue;
    for (const QPointF& p :
         kept != drawnElsewhere_.cend() ? *kept : static_cast<QXYSeries*>(s)->points()) {
      xlo = std::min(xlo, p.x());
      xhi = std::max(xhi, p.x());
      ylo = std::min(ylo, p.y());
      yhi = std::max(yhi, p.y());
    }
  }
  if (!(xlo <= xhi)) {
    xlo = ylo = 0.0;
    xhi = yhi = 1.0;
  }
  if (extraRange_) {
    xlo = std::min(xlo, extraRange_->left());
    xhi = std::max(xhi, extraRange_->right());
    ylo = std::min(ylo, extraRange_->top());
    yhi = std::max(yhi, extraRange_->bottom());
  }
  rescaling_ = true;
  ScaleAxis(bottom_, look_.bottom, xlo, xhi);
  ScaleAxis(left_, look_.left, ylo, yhi);
  rescaling_ = false;
}

int ChartCanvas::SeriesCount() const {
  return static_cast<int>(chart_->series().size());
}

QXYSeries* ChartCanvas::SeriesAt(int index) const {
  const auto all = chart_->series();
  if (index < 0 || index >= all.size()) return nullptr;
  return static_cast<QXYSeries*>(all[index]);
}

SeriesKind ChartCanvas::KindAt(int index) const {
  return IsPoints(SeriesAt(index)) ? SeriesKind::Points : SeriesKind::Line;
}

QString ChartCanvas::TitleAt(int index) const {
  return SeriesAt(index)->name();
}

int ChartCanvas::AddSeries(SeriesKind kind, const QString& title, const SeriesLook& look) {
  QXYSeries* s = kind == SeriesKind::Points ? static_cast<QXYSeries*>(new QScatterSeries)
                                            : static_cast<QXYSeries*>(new QLineSeries);
  s->setName(title);
  chart_->addSeries(s);
  s->attachAxis(bottom_);
  s->attachAxis(left_);
  ApplySeriesLook(s, look);
  return SeriesCount() - 1;
}

void ChartCanvas::RemoveAllSeries() {
  UndoZoom();
  drawnElsewhere_.clear();
  chart_->removeAllSeries();
}

void ChartCanvas::SetDrawnElsewhere(int index) {
  QXYSeries* s = SeriesAt(index);
  if (!s || drawnElsewhere_.contains(s)) return;
  drawnElsewhere_.insert(s, s->points());
  s->clear();
  s->setVisible(false);
}

bool ChartCanvas::DrawnElsewhere(int index) const {
  const QXYSeries* s = SeriesAt(index);
  return s && drawnElsewhere_.contains(s);
}

void ChartCanvas::SetPoints(int index, const QList<QPointF>& points) {
  QXYSeries* s = SeriesAt(index);
  if (!s) return;
  if (const auto kept = drawnElsewhere_.find(s); kept != drawnElsewhere_.end()) {
    *kept = points;
  } else {
    s->replace(points);
  }
}

QList<QPointF> ChartCanvas::PointsAt(int index) const {
  const QXYSeries* s = SeriesAt(index);
  if (!s) return {};
  const auto kept = drawnElsewhere_.constFind(s);
  return kept != drawnElsewhere_.cend() ? *kept : s->points();
}

SeriesLook ChartCanvas::SeriesLookAt(int index) const {
  const QXYSeries* s = SeriesAt(index);
  SeriesLook look;
  look.visible = s->isVisible() || drawnElsewhere_.contains(s);
  look.markerSize = s->markerSize();
  if (const auto* points = qobject_cast<const QScatterSeries*>(s)) {
    look.marker = OurShape(points->markerShape());
    look.colour = points->brush().color();
    look.penColour = points->pen().color();
    look.penWidth = points->pen().widthF();
    look.penStyle = points->pen().style();
    look.markersVisible = true;
  } else {
    look.colour = s->pen().color();
    look.penColour = s->pen().color();
    look.penWidth = s->pen().widthF();
    look.penStyle = s->pen().style();
    look.markersVisible = s->pointsVisible();
  }
  return look;
}

void ChartCanvas::SetSeriesLook(int index, const SeriesLook& look) {
  ApplySeriesLook(SeriesAt(index), look);
}

QList<SeriesData> ChartCanvas::AllSeries() const {
  QList<SeriesData> all;
  for (int i = 0; i < SeriesCount(); ++i) {
    all.append(SeriesData{KindAt(i), TitleAt(i), SeriesLookAt(i), PointsAt(i)});
  }
  return all;
}

void ChartCanvas::SetAllSeries(const QList<SeriesData>& series) {
  RemoveAllSeries();
  for (const SeriesData& s : series) {
    SeriesAt(AddSeries(s.kind, s.title, s.look))->replace(s.points);
  }
  Rescale();
}

bool ChartCanvas::IsZoomed() const {
  return zoomed_;
}

void ChartCanvas::UndoZoom() {
  if (chart_->isZoomed()) chart_->zoomReset();
  CheckZoom();
  Rescale();
}

QRectF ChartCanvas::ShownRange() const {
  return QRectF(QPointF(bottom_->min(), left_->min()), QPointF(bottom_->max(), left_->max()));
}

void ChartCanvas::ZoomToRange(const QRectF& range) {
  const QPointF a = chart_->mapToPosition(range.topLeft());
  const QPointF b = chart_->mapToPosition(range.bottomRight());
  chart_->zoomIn(QRectF(a, b).normalized());
  CheckZoom();
}

void ChartCanvas::CheckZoom() {
  if (rescaling_) return;
  const bool zoomed = chart_->isZoomed();
  if (zoomed != zoomed_) {
    zoomed_ = zoomed;
    emit zoomChanged(zoomed);
  }
}

void ChartCanvas::LayoutTexts() {
  QChart* c = chart_;
  const double titleH = titleItem_->isVisible() ? titleItem_->boundingRect().height() : 0.0;
  const double footH = footItem_->isVisible() ? footItem_->boundingRect().height() : 0.0;
  const QMargins wanted(kTextGap * 2, static_cast<int>(std::ceil(titleH)) + kTextGap * 2,
                        kTextGap * 4, static_cast<int>(std::ceil(footH)) + kTextGap * 2);
  if (c->margins() != wanted) c->setMargins(wanted);  // relayout calls us again

  const QRectF area = c->rect();
  const QRectF plot = c->plotArea();
  auto place = [&](QGraphicsSimpleTextItem* item, TextAlign align, double y) {
    const double w = item->boundingRect().width();
    double x = area.left() + kTextGap * 2;
    if (align == TextAlign::Center) x = plot.center().x() - w / 2;
    if (align == TextAlign::Right) x = plot.right() - w;
    item->setPos(std::max(area.left(), x), y);
  };
  place(titleItem_, look_.title.align, area.top() + kTextGap);
  place(footItem_, look_.foot.align, area.bottom() - kTextGap - footH);
}

}  // namespace views
