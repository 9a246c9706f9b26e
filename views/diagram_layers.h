#pragma once
// What the phase diagram draws over its points: the phase boundaries (the ends of the tie
// lines joined level by level), the invariant lines with their reaction type, the congruent
// and critical points, and one label inside every phase field. Everything here is computed
// from a run's results in diagram values (X, Y); the placement of the labels also needs the
// pixel geometry of the plot, given as a mapping.

#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "calc/results.h"

namespace views {

// One phase boundary: its points in level order. Key names the fields on its two sides,
// "left|right" (e.g. "L|L + S").
struct BoundaryLine {
  std::string key;
  std::vector<QPointF> points;
  std::string phase;  // the phase whose compositions the points are
  calc::PhaseIndex phaseIndex = calc::kNoRunPhase;
};

// The ends of the two-phase tie lines of every level joined into boundaries: the refined ends
// when refinement ran and gave any, else the diagram points of the grid. An end continues the
// boundary with the same key that ended nearest to it on the level before (within 0.15 in X);
// otherwise it starts a new one. With refined results, a boundary that ends within a few levels
// of an exact point of its phase (an invariant's end, a melting point, the top of a gap, a
// congruent point) is drawn on to it, so the lines meet there instead of stopping a level
// short.
std::vector<BoundaryLine> BoundaryLines(const calc::Results& results);

// A horizontal three-phase line with its reaction type ("eutectic", ...; may be empty).
struct InvariantLine {
  double y = 0;
  double xLeft = 0, xMiddle = 0, xRight = 0;
  QString type;
};

// The refined invariants when refinement ran, else the nodes of the special-point finder with
// the type read from the cell grid (one phase above the middle of the line: eutectic-like; one
// phase below it: peritectic-like).
std::vector<InvariantLine> InvariantLines(const calc::Results& results);

// A marked point: congruent points and critical points of miscibility gaps.
struct DiagramMark {
  QPointF at;
  QString text;  // what the point is, e.g. "congruent melting", "critical point"
};
std::vector<DiagramMark> DiagramMarks(const calc::Results& results);

// The phase fields of the cell grid: a one-phase cell holds its phase's name; an empty cell
// between two named cells of its row lies in the two-phase field of those two phases. A field
// is a 4-connected region of cells of the same phases. Columns of point phases ("C") and empty
// cells at the ends of a row belong to no field.
struct PhaseField {
  QString text;  // "L", "L + S", "S′ + S″" for the two sides of a miscibility gap
  int cells = 0;
};
struct FieldMap {
  int cols = 0, rows = 0;  // data columns and levels of the grid
  std::vector<double> x;   // composition of each column
  std::vector<double> y;   // level value of each row
  std::vector<int> id;     // rows * cols, field index or -1
  std::vector<PhaseField> fields;
  int At(int c, int r) const { return id[static_cast<size_t>(r) * static_cast<size_t>(cols) + c]; }
};
FieldMap FindFields(const calc::Results& results);

// A placed field label: its field, text and box in the mapped (pixel) coordinates.
struct FieldLabel {
  int field = -1;
  QString text;
  QRectF box;
  double scale = 1;  // of the font it was measured with (smaller when the field is narrow)
  bool fits = true;  // false: no free place was found; the label sits at the field's pole
  // A label beside a field too narrow for it points at the field with a leader line from
  // `anchor` (the field's pole).
  bool leader = false;
  QPointF anchor;
};

// One label per field of more than one cell, at the point of the field farthest from its
// border (its pole of inaccessibility, measured in pixels) where the label box lies wholly in
// the field and crosses no line in `obstacles` (pixel polylines) and no label placed before.
// Larger fields are placed first. A field too narrow for its label gets it beside it, in
// the nearest free place of the plot, with a leader line. `toPixel` maps a diagram value to pixels,
// `measure` gives a text's size at a font scale.
std::vector<FieldLabel> PlaceFieldLabels(
    const FieldMap& map, const std::function<QPointF(double, double)>& toPixel,
    const std::function<QSizeF(const QString&, double)>& measure,
    const std::vector<std::vector<QPointF>>& obstacles);

// Whether the segment a-b meets the rectangle.
bool SegmentMeetsRect(const QPointF& a, const QPointF& b, const QRectF& rect);

// The boxes of the invariants' reaction types (`lines` in pixels, the texts' `sizes`), in
// order: each centred above its line, else in the first place that meets no box placed before
// (below the line, then at either end of it, above and below); an empty box where none is free
// (that type is not written).
std::vector<QRectF> PlaceReactionBoxes(const std::vector<QLineF>& lines,
                                       const std::vector<QSizeF>& sizes);

// The polyline with consecutive points that fall into the same pixel (of `pixel` size) merged,
// keeping the first and the last point: what a picture of that resolution can show.
std::vector<QPointF> ThinToPixels(const std::vector<QPointF>& pixels, double pixel = 1.0);

// The polyline with the points dropped that lie within `tolerance` of the line drawn without
// them (Douglas-Peucker); the first and the last point are kept. No point of the original lies
// farther than `tolerance` from the result.
std::vector<QPointF> SimplifyPolyline(const std::vector<QPointF>& points, double tolerance);

}  // namespace views
