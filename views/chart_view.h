#pragma once
// A chart widget with the looks the result windows need and Qt Charts lacks: a title that can
// be aligned left, centre or right, a foot line under the plot, axes that either follow the
// data or keep a fixed range, and a zoom state that is reported when it changes.
//
// The chart itself, its look, series and axes, is a ChartCanvas (no widget); this widget shows it
// and adds what needs the screen: the mouse, the rubber band, pixels. Used by the diagram window
// and by the main window's working chart, and edited by the same appearance editor
// (chart_editor.h).

#include <QChartView>
#include <QList>
#include <QPointF>
#include <QString>
#include <optional>

#include "views/chart_canvas.h"

namespace views {

class ChartView : public QChartView {
  Q_OBJECT

 public:
  // A chart of its own.
  explicit ChartView(QWidget* parent = nullptr);
  // Shows `canvas`'s chart, which stays the canvas' (a diagram drawn also without a window).
  explicit ChartView(ChartCanvas* canvas, QWidget* parent = nullptr);
  ~ChartView() override;

  ChartCanvas* Canvas() const { return canvas_; }

  // The whole appearance (titles, walls, axes); SetLook applies it at once and rescales.
  ChartLook Look() const { return canvas_->Look(); }
  void SetLook(const ChartLook& look) { canvas_->SetLook(look); }
  // See ChartCanvas.
  void SetAxisIncrement(Qt::Orientation axis, double increment) {
    canvas_->SetAxisIncrement(axis, increment);
  }
  QString TitleText() const { return canvas_->TitleText(); }
  void SetTitleText(const QString& text) { canvas_->SetTitleText(text); }
  int SeriesCount() const { return canvas_->SeriesCount(); }
  QXYSeries* SeriesAt(int index) const { return canvas_->SeriesAt(index); }
  SeriesKind KindAt(int index) const { return canvas_->KindAt(index); }
  QString TitleAt(int index) const { return canvas_->TitleAt(index); }
  int AddSeries(SeriesKind kind, const QString& title, const SeriesLook& look) {
    return canvas_->AddSeries(kind, title, look);
  }
  void RemoveAllSeries() { canvas_->RemoveAllSeries(); }
  SeriesLook SeriesLookAt(int index) const { return canvas_->SeriesLookAt(index); }
  void SetDrawnElsewhere(int index) { canvas_->SetDrawnElsewhere(index); }
  bool DrawnElsewhere(int index) const { return canvas_->DrawnElsewhere(index); }
  void SetPoints(int index, const QList<QPointF>& points) { canvas_->SetPoints(index, points); }
  QList<QPointF> PointsAt(int index) const { return canvas_->PointsAt(index); }
  void SetSeriesLook(int index, const SeriesLook& look) { canvas_->SetSeriesLook(index, look); }
  QList<SeriesData> AllSeries() const { return canvas_->AllSeries(); }
  void SetAllSeries(const QList<SeriesData>& series) { canvas_->SetAllSeries(series); }
  void Rescale() { canvas_->Rescale(); }
  void SetExtraRange(std::optional<QRectF> range) { canvas_->SetExtraRange(range); }

  bool IsZoomed() const { return canvas_->IsZoomed(); }
  void UndoZoom() { canvas_->UndoZoom(); }
  QRectF ShownRange() const { return canvas_->ShownRange(); }
  void ZoomToRange(const QRectF& range) { canvas_->ZoomToRange(range); }
  // Zooms into the rectangle given in widget pixels (what the rubber band does).
  void ZoomToPixels(const QRectF& rect);

  // The plotting rectangle in widget pixels.
  QRectF PlotRect() const;
  // Whether a widget pixel lies in the plotting rectangle; its border counts as inside.
  bool InPlot(const QPointF& widgetPos) const;
  // Diagram values under a widget pixel, through the axes, and back.
  QPointF ValueAt(const QPointF& widgetPos) const;
  QPointF PixelOf(const QPointF& value) const;

  QValueAxis* BottomAxis() const { return canvas_->BottomAxis(); }
  QValueAxis* LeftAxis() const { return canvas_->LeftAxis(); }
  QGraphicsSimpleTextItem* TitleItem() const { return canvas_->TitleItem(); }
  QGraphicsSimpleTextItem* FootItem() const { return canvas_->FootItem(); }

 signals:
  // The zoom was taken (true) or undone (false), by the mouse or by code.
  void zoomChanged(bool zoomed);
  // The mouse moved over the chart, in widget pixels.
  void mouseMoved(QPointF widgetPos);

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  ChartCanvas* canvas_;
};

}  // namespace views
