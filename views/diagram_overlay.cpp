#include "views/diagram_overlay.h"

#include <QChart>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace views {

namespace {

constexpr double kLabelPad = 2;

QPen LinePen(const LineLook& look) {
  QPen pen(look.colour, look.width, look.style);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

}  // namespace

DiagramOverlay::DiagramOverlay(QChart* chart, QValueAxis* bottom, QValueAxis* left)
    : QGraphicsItem(chart),
      chart_(chart),
      bottom_(bottom),
      left_(left),
      look_(DesignedDiagramLook()) {
  setZValue(8);  // over the series, under the chart's own title texts
  setAcceptedMouseButtons(Qt::NoButton);
}

void DiagramOverlay::SetLayers(DiagramLayers layers) {
  layers_ = std::move(layers);
  Relayout();
}

void DiagramOverlay::SetLook(const DiagramLook& look) {
  look_ = look;
  Relayout();
}

void DiagramOverlay::SetHeading(const QString& text) {
  heading_ = text;
  update();
}

void DiagramOverlay::SetOwnPoints(std::vector<std::pair<QList<QPointF>, SeriesLook>> sets,
                                  double pixel) {
  ownPoints_ = std::move(sets);
  ownPixel_ = pixel > 0 ? pixel : 1;
  update();
}

void DiagramOverlay::SetOwnPixel(double pixel) {
  ownPixel_ = pixel > 0 ? pixel : 1;
  update();
}

QPointF DiagramOverlay::ToPixel(double x, double y) const {
  const QRectF plot = chart_->plotArea();
  const double xs = bottom_->max() - bottom_->min(), ys = left_->max() - left_->min();
  return {plot.left() + (x - bottom_->min()) / (xs != 0 ? xs : 1) * plot.width(),
          plot.top() + (left_->max() - y) / (ys != 0 ? ys : 1) * plot.height()};
}

QFont DiagramOverlay::LabelFont(double scale) const {
  QFont f = look_.labelFont;
  f.setPixelSize(std::max(6, static_cast<int>(std::lround(std::max(1, f.pixelSize()) * scale))));
  return f;
}

QFont DiagramOverlay::ReactionFont() const {
  QFont f = look_.labelFont;
  f.setPixelSize(std::max(6, f.pixelSize() - 2));
  f.setItalic(true);
  f.setBold(false);
  return f;
}

std::vector<std::vector<QPointF>> DiagramOverlay::LinePixels() const {
  std::vector<std::vector<QPointF>> out;
  if (look_.boundaries.visible) {
    for (const BoundaryLine& line : layers_.boundaries) {
      std::vector<QPointF> px;
      px.reserve(line.points.size());
      for (const QPointF& p : line.points) px.push_back(ToPixel(p.x(), p.y()));
      out.push_back(ThinToPixels(px, 0.5));
    }
  }
  if (look_.invariants.visible) {
    for (const InvariantLine& inv : layers_.invariants) {
      out.push_back({ToPixel(inv.xLeft, inv.y), ToPixel(inv.xRight, inv.y)});
    }
  }
  return out;
}

std::vector<QRectF> DiagramOverlay::ReactionBoxes() const {
  std::vector<QRectF> out;
  if (!look_.invariants.visible || !look_.reactionTypes) return out;
  const QFontMetricsF fm(ReactionFont());
  std::vector<QLineF> lines;
  std::vector<QSizeF> sizes;
  for (const InvariantLine& inv : layers_.invariants) {
    if (inv.type.isEmpty()) continue;
    lines.emplace_back(ToPixel(inv.xLeft, inv.y), ToPixel(inv.xRight, inv.y));
    sizes.emplace_back(fm.horizontalAdvance(inv.type) + 2 * kLabelPad, fm.height());
  }
  return PlaceReactionBoxes(lines, sizes);
}

void DiagramOverlay::Relayout() {
  prepareGeometryChange();
  labelsStale_ = true;
  update();
}

const std::vector<FieldLabel>& DiagramOverlay::Labels() const {
  const QRectF plot = chart_->plotArea();
  const std::array<double, 8> placedFor{plot.x(),       plot.y(),       plot.width(), plot.height(),
                                        bottom_->min(), bottom_->max(), left_->min(), left_->max()};
  if (!labelsStale_ && placedFor == labelsPlacedFor_) return labels_;
  labelsStale_ = false;
  labelsPlacedFor_ = placedFor;
  labels_.clear();
  if (look_.fieldLabels && chart_->plotArea().width() > 1 && chart_->plotArea().height() > 1) {
    std::vector<std::vector<QPointF>> obstacles = LinePixels();
    for (const QRectF& r : ReactionBoxes()) {
      if (r.isEmpty()) continue;
      obstacles.push_back(
          {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft(), r.topLeft()});
    }
    for (const DiagramMark& m : layers_.marks) {
      if (!look_.marks) break;
      const QPointF p = ToPixel(m.at.x(), m.at.y());
      const QRectF r(p.x() - 5, p.y() - 5, 10, 10);
      obstacles.push_back(
          {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft(), r.topLeft()});
    }
    labels_ = PlaceFieldLabels(
        *layers_.fields, [this](double x, double y) { return ToPixel(x, y); },
        [this](const QString& text, double scale) {
          const QFontMetricsF fm(LabelFont(scale));
          return QSizeF(fm.horizontalAdvance(text) + 2 * kLabelPad, fm.height());
        },
        obstacles);
  }
  return labels_;
}

QRectF DiagramOverlay::boundingRect() const {
  return chart_->rect();
}

void DiagramOverlay::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
  const QRectF plot = chart_->plotArea();
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  if (!heading_.isEmpty() && look_.heading.visible) {
    painter->setFont(look_.heading.font);
    painter->setPen(look_.heading.colour);
    const QFontMetricsF fm(look_.heading.font);
    const double w = fm.horizontalAdvance(heading_);
    double x = plot.center().x() - w / 2;
    if (look_.heading.align == TextAlign::Left) x = plot.left();
    if (look_.heading.align == TextAlign::Right) x = plot.right() - w;
    painter->drawText(QPointF(x, chart_->rect().top() + 2 + fm.ascent()), heading_);
  }
  painter->setClipRect(plot.adjusted(-3, -3, 3, 3));

  for (const auto& [points, look] : ownPoints_) {
    if (!look.visible || !look.markersVisible) continue;
    // One marker per pixel the picture has.
    QSet<quint64> seen;
    painter->setPen(QPen(look.penColour, 0.8));
    painter->setBrush(look.colour);
    const double r = look.markerSize / 2;
    for (const QPointF& v : points) {
      const QPointF p = ToPixel(v.x(), v.y());
      if (!plot.adjusted(-r, -r, r, r).contains(p)) continue;
      const quint64 key =
          (static_cast<quint64>(static_cast<quint32>(std::floor(p.x() / ownPixel_))) << 32) |
          static_cast<quint32>(std::floor(p.y() / ownPixel_));
      if (seen.contains(key)) continue;
      seen.insert(key);
      painter->drawEllipse(p, r, r);
    }
  }

  painter->setBrush(Qt::NoBrush);
  if (look_.boundaries.visible) {
    painter->setPen(LinePen(look_.boundaries));
    for (const BoundaryLine& line : layers_.boundaries) {
      std::vector<QPointF> px;
      px.reserve(line.points.size());
      for (const QPointF& p : line.points) px.push_back(ToPixel(p.x(), p.y()));
      // Points closer than a tenth of a pixel to the line without them change nothing a
      // picture shows, and each costs a join to draw.
      const std::vector<QPointF> thin =
          SimplifyPolyline(ThinToPixels(px, ownPixel_ / 2), ownPixel_ / 10);
      painter->drawPolyline(thin.data(), static_cast<int>(thin.size()));
    }
  }
  if (look_.invariants.visible) {
    painter->setPen(LinePen(look_.invariants));
    for (const InvariantLine& inv : layers_.invariants) {
      painter->drawLine(ToPixel(inv.xLeft, inv.y), ToPixel(inv.xRight, inv.y));
    }
    if (look_.reactionTypes) {
      painter->setFont(ReactionFont());
      const std::vector<QRectF> boxes = ReactionBoxes();
      size_t k = 0;
      for (const InvariantLine& inv : layers_.invariants) {
        if (inv.type.isEmpty() || k >= boxes.size()) continue;
        if (!boxes[k].isEmpty()) painter->drawText(boxes[k], Qt::AlignCenter, inv.type);
        ++k;
      }
    }
  }
  if (look_.marks) {
    painter->setPen(QPen(Qt::black, 1));
    painter->setBrush(look_.markColour);
    for (const DiagramMark& m : layers_.marks) {
      const QPointF p = ToPixel(m.at.x(), m.at.y());
      const QPointF diamond[4] = {
          {p.x(), p.y() - 5}, {p.x() + 5, p.y()}, {p.x(), p.y() + 5}, {p.x() - 5, p.y()}};
      painter->drawPolygon(diamond, 4);
    }
    painter->setBrush(Qt::NoBrush);
  }
  if (look_.fieldLabels) {
    painter->setPen(look_.labelColour);
    for (const FieldLabel& label : Labels()) {
      if (label.leader) {
        painter->setPen(QPen(QColor(96, 96, 96), 0.8));
        const QRectF b = label.box;
        const QPointF from(std::clamp(label.anchor.x(), b.left(), b.right()),
                           std::clamp(label.anchor.y(), b.top(), b.bottom()));
        painter->drawLine(from, label.anchor);
        painter->setPen(look_.labelColour);
      }
      painter->setFont(LabelFont(label.scale));
      painter->drawText(label.box, Qt::AlignCenter, label.text);
    }
  }
  // Last, over everything the plot holds.
  painter->setClipping(false);
  if (!layers_.notices.isEmpty()) {
    QFont font = look_.heading.font;
    font.setPointSizeF(std::max(6.0, font.pointSizeF() * 0.8));
    font.setBold(false);
    painter->setFont(font);
    painter->setPen(QColor(160, 0, 0));
    const QFontMetricsF fm(font);
    QStringList lines;
    double width = 0;
    for (const QString& line : layers_.notices) {
      lines << fm.elidedText(line, Qt::ElideRight, plot.width() - 12);
      width = std::max(width, fm.horizontalAdvance(lines.back()));
    }
    // On a pale box, so that it reads over the lines and points beneath.
    const QRectF box(plot.left() + 2, plot.top() + 2, width + 6,
                     fm.lineSpacing() * static_cast<double>(lines.size()) + 4);
    painter->fillRect(box, QColor(255, 255, 255, 220));
    double y = box.top() + 2 + fm.ascent();
    for (const QString& line : lines) {
      painter->drawText(QPointF(box.left() + 3, y), line);
      y += fm.lineSpacing();
    }
  }
  painter->restore();
}

}  // namespace views
