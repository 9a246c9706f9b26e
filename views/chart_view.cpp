#include "views/chart_view.h"

#include <QChart>
#include <QGraphicsScene>
#include <QMouseEvent>
#include <QValueAxis>

namespace views {

ChartView::ChartView(QWidget* parent) : ChartView(nullptr, parent) {}

ChartView::ChartView(ChartCanvas* canvas, QWidget* parent)
    : QChartView(parent), canvas_(canvas ? canvas : new ChartCanvas(this)) {
  setChart(canvas_->chart());
  setRenderHint(QPainter::Antialiasing);
  setRubberBand(QChartView::RectangleRubberBand);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
  connect(canvas_, &ChartCanvas::zoomChanged, this, &ChartView::zoomChanged);
}

ChartView::~ChartView() {
  if (canvas_->parent() == this) {
    // Gone before the view's scene, which would otherwise delete the chart under the canvas.
    delete canvas_;
  } else if (scene() && canvas_->chart()) {
    // A canvas of another owner keeps its chart: it is taken out of this view's scene, which
    // would delete it.
    scene()->removeItem(canvas_->chart());
  }
}

void ChartView::ZoomToPixels(const QRectF& rect) {
  chart()->zoomIn(mapToScene(rect.toAlignedRect()).boundingRect());
  canvas_->CheckZoom();
}

QRectF ChartView::PlotRect() const {
  return viewportTransform().mapRect(chart()->plotArea());
}

bool ChartView::InPlot(const QPointF& widgetPos) const {
  // Pixels are whole numbers and the plot's edges need not be; the pixel rows and columns the
  // border is drawn on belong to the plot.
  const QRectF plot = chart()->plotArea().adjusted(-0.5, -0.5, 0.5, 0.5);
  return plot.contains(viewportTransform().inverted().map(widgetPos));
}

QPointF ChartView::ValueAt(const QPointF& widgetPos) const {
  const QRectF plot = chart()->plotArea();
  const QPointF p = viewportTransform().inverted().map(widgetPos);
  const QValueAxis* bottom = BottomAxis();
  const QValueAxis* left = LeftAxis();
  const double x =
      bottom->min() + (p.x() - plot.left()) / plot.width() * (bottom->max() - bottom->min());
  const double y = left->max() - (p.y() - plot.top()) / plot.height() * (left->max() - left->min());
  return {x, y};
}

QPointF ChartView::PixelOf(const QPointF& value) const {
  const QRectF plot = chart()->plotArea();
  const QValueAxis* bottom = BottomAxis();
  const QValueAxis* left = LeftAxis();
  const double px =
      plot.left() + (value.x() - bottom->min()) / (bottom->max() - bottom->min()) * plot.width();
  const double py =
      plot.top() + (left->max() - value.y()) / (left->max() - left->min()) * plot.height();
  return viewportTransform().map(QPointF(px, py));
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
  emit mouseMoved(event->position());
  QChartView::mouseMoveEvent(event);
}

void ChartView::mouseReleaseEvent(QMouseEvent* event) {
  QChartView::mouseReleaseEvent(event);
  canvas_->CheckZoom();
}

void ChartView::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  canvas_->LayoutTexts();
}

}  // namespace views
