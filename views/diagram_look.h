#pragma once
// The appearance of what the phase diagram draws over its points: boundaries, invariant
// lines, marked points, field labels, the heading, and the unit of temperature. Edited on the
// "Diagram" page of the chart editor and kept in the chart file.

#include <QColor>
#include <QFont>

#include "views/chart_look.h"

namespace views {

struct LineLook {
  bool visible = true;
  QColor colour = Qt::black;
  double width = 1.5;
  Qt::PenStyle style = Qt::SolidLine;
};

struct DiagramLook {
  LineLook boundaries{true, QColor(0, 0, 160), 1.5, Qt::SolidLine};
  LineLook invariants{true, Qt::black, 1.5, Qt::SolidLine};
  bool reactionTypes = true;  // the reaction type written on each invariant line
  bool marks = true;          // congruent and critical points
  QColor markColour = QColor(0, 128, 0);
  bool fieldLabels = true;
  QFont labelFont;  // pixel size set by DesignedDiagramLook
  QColor labelColour = Qt::black;
  bool celsius = false;  // temperatures in °C instead of K
  // Compositions in weight percent of B instead of its mole fraction (for sheets whose
  // components' masses are known).
  bool weightPercent = false;
  // The heading above the plot; an empty text shows the problem's name.
  TextLook heading;
};

DiagramLook DesignedDiagramLook();

bool operator==(const LineLook& a, const LineLook& b);
bool operator==(const DiagramLook& a, const DiagramLook& b);

}  // namespace views
