#pragma once
// The layer of the phase diagram drawn over the chart's series: boundaries, invariant lines
// with their reaction types, marked points, field labels and the heading. It lives in the
// chart's scene, follows the axes (zoom, resize) and is drawn with the chart into pictures.
// For pictures written to files it can also draw the diagram points itself, thinned to the
// picture's pixels.

#include <QGraphicsItem>
#include <QList>
#include <array>
#include <memory>
#include <vector>

#include "views/diagram_layers.h"
#include "views/diagram_look.h"

QT_BEGIN_NAMESPACE
class QChart;
class QValueAxis;
QT_END_NAMESPACE

namespace views {

struct DiagramLayers {
  std::vector<BoundaryLine> boundaries;
  std::vector<InvariantLine> invariants;
  std::vector<DiagramMark> marks;
  // Shared: a million-cell map is not copied between the window and its layer.
  std::shared_ptr<const FieldMap> fields = std::make_shared<const FieldMap>();
  // Lines said on the plot itself, at its top left: what the diagram may lack (the phases an
  // import left out).
  QStringList notices;
};

class DiagramOverlay : public QGraphicsItem {
 public:
  DiagramOverlay(QChart* chart, QValueAxis* bottom, QValueAxis* left);

  void SetLayers(DiagramLayers layers);
  const DiagramLayers& Layers() const { return layers_; }
  void SetLook(const DiagramLook& look);
  const DiagramLook& Look() const { return look_; }
  void SetHeading(const QString& text);
  const QString& Heading() const { return heading_; }

  // Point series drawn by the layer itself (for pictures written to files), each merged to one
  // marker per `pixel` of the plot; nothing when `sets` is empty.
  void SetOwnPoints(std::vector<std::pair<QList<QPointF>, SeriesLook>> sets, double pixel);
  void SetOwnPixel(double pixel);

  // Places the field labels anew for the current plot and axes: marks them for placing when
  // next drawn or asked for (a chart being built changes its plot and axes many times).
  void Relayout();
  const std::vector<FieldLabel>& Labels() const;
  // The shown boundaries and invariant lines in chart pixels (what the labels keep clear of).
  std::vector<std::vector<QPointF>> LinePixels() const;
  // The boxes of the reaction-type texts in chart pixels.
  std::vector<QRectF> ReactionBoxes() const;

  QPointF ToPixel(double x, double y) const;

  QRectF boundingRect() const override;
  void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

 private:
  QFont LabelFont(double scale) const;
  QFont ReactionFont() const;

  QChart* chart_;
  QValueAxis* bottom_;
  QValueAxis* left_;
  DiagramLayers layers_;
  DiagramLook look_;
  QString heading_;
  mutable std::vector<FieldLabel> labels_;
  mutable bool labelsStale_ = true;
  // The plot and axis ranges the labels were placed for: pictures of one size in a row share them.
  mutable std::array<double, 8> labelsPlacedFor_{};
  std::vector<std::pair<QList<QPointF>, SeriesLook>> ownPoints_;
  double ownPixel_ = 1;
};

}  // namespace views
