#pragma once
// A chart with the looks the result windows need and Qt Charts lacks: a title that can be
// aligned left, centre or right, a foot line under the plot, axes that either follow the data
// or keep a fixed range, and a zoom state that is reported when it changes.
//
// No widget: the chart lives in a graphics scene of its own until a ChartView shows it, so the
// same chart is drawn on the screen and, by the command line, straight into pictures.

#include <QHash>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <optional>

#include "views/chart_look.h"

QT_BEGIN_NAMESPACE
class QAbstractSeries;
class QChart;
class QGraphicsScene;
class QGraphicsSimpleTextItem;
class QValueAxis;
class QXYSeries;
QT_END_NAMESPACE

namespace views {

// `locale` for the numbers of chart axes: its decimal separator, no thousands separator
// ("1300", not "1,300" or "1 300").
QLocale AxisNumberLocale(QLocale locale);

class ChartCanvas : public QObject {
  Q_OBJECT

 public:
  explicit ChartCanvas(QObject* parent = nullptr);
  ~ChartCanvas() override;

  QChart* chart() const { return chart_; }

  // The whole appearance (titles, walls, axes); SetLook applies it at once and rescales.
  ChartLook Look() const;
  void SetLook(const ChartLook& look);
  // The distance of one axis' labels (0: chosen from the range) and a rescale; the rest of the
  // look stays as it is. Far cheaper than SetLook for a chart redrawn many times a second.
  void SetAxisIncrement(Qt::Orientation axis, double increment);

  // The title text (several lines separated by '\n').
  QString TitleText() const;
  void SetTitleText(const QString& text);

  // Series, in order. Every series is attached to both axes.
  int SeriesCount() const;
  QXYSeries* SeriesAt(int index) const;
  SeriesKind KindAt(int index) const;
  QString TitleAt(int index) const;
  int AddSeries(SeriesKind kind, const QString& title, const SeriesLook& look);
  void RemoveAllSeries();
  SeriesLook SeriesLookAt(int index) const;
  // Keeps a series out of the scene: its points (SetPoints) are kept aside, scale the axes and
  // go into pictures (PictureSession), but the chart makes no markers for them. For a chart that
  // is only drawn into pictures, where thousands of marker items would be made for nothing.
  void SetDrawnElsewhere(int index);
  bool DrawnElsewhere(int index) const;
  // A series' points, kept aside for a series drawn elsewhere.
  void SetPoints(int index, const QList<QPointF>& points);
  QList<QPointF> PointsAt(int index) const;
  void SetSeriesLook(int index, const SeriesLook& look);
  // All series with their points, and a replacement of all of them (the chart file).
  QList<SeriesData> AllSeries() const;
  void SetAllSeries(const QList<SeriesData>& series);

  // Sets every automatic axis to the range of the data of the visible series and those drawn
  // elsewhere (0..1 without data), widened to the labels around it, and applies the fixed
  // ranges of the others. A zoomed chart keeps its zoom.
  void Rescale();
  // Values the automatic axes take in besides the series' points (what is drawn over the series:
  // a diagram's exact points); nothing: none.
  void SetExtraRange(std::optional<QRectF> range) { extraRange_ = range; }

  bool IsZoomed() const;
  // Undoes any zoom and rescales; reports zoomChanged(false) if the chart was zoomed.
  void UndoZoom();
  // The ranges of the axes as shown (x: bottom, y: left), and a zoom to given ranges: the view of
  // a chart rebuilt under the user's zoom.
  QRectF ShownRange() const;
  void ZoomToRange(const QRectF& range);
  // Takes in a zoom made on the chart directly (a rubber band).
  void CheckZoom();

  // Places the title and the foot line for the chart's present size.
  void LayoutTexts();

  QValueAxis* BottomAxis() const { return bottom_; }
  QValueAxis* LeftAxis() const { return left_; }
  QGraphicsSimpleTextItem* TitleItem() const { return titleItem_; }
  QGraphicsSimpleTextItem* FootItem() const { return footItem_; }

 signals:
  // The zoom was taken (true) or undone (false).
  void zoomChanged(bool zoomed);

 private:
  void ApplyText(QGraphicsSimpleTextItem* item, const TextLook& look);
  void ApplyAxis(QValueAxis* axis, const AxisLook& look);
  void ScaleAxis(QValueAxis* axis, const AxisLook& look, double lo, double hi);

  // The scene the chart starts in; a view that shows the chart takes it into its own.
  QGraphicsScene* scene_ = nullptr;
  // The chart belongs to the scene it is in; it is deleted with the canvas unless that scene
  // went first.
  QPointer<QChart> chart_;
  ChartLook look_;
  QValueAxis* bottom_ = nullptr;
  QValueAxis* left_ = nullptr;
  QGraphicsSimpleTextItem* titleItem_ = nullptr;
  QGraphicsSimpleTextItem* footItem_ = nullptr;
  bool zoomed_ = false;
  QHash<const QAbstractSeries*, QList<QPointF>> drawnElsewhere_;
  std::optional<QRectF> extraRange_;
  bool rescaling_ = false;
};

// Applies a look to one series (exposed for the appearance editor's preview and the tests).
void ApplySeriesLook(QXYSeries* series, const SeriesLook& look);

// A label distance of about a tenth of `span`, rounded to 1, 2 or 5 times a power of ten.
double NiceStep(double span);

// "%.Nf" with just enough decimals to tell labels `step` apart.
QString LabelFormatFor(double step);

}  // namespace views
