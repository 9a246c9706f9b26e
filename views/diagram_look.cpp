#include "views/diagram_look.h"

namespace views {

DiagramLook DesignedDiagramLook() {
  DiagramLook look;
  look.labelFont = CyrillicFont({QStringLiteral("Arial")}, 13);
  look.heading.font = CyrillicFont({QStringLiteral("Arial")}, 13);
  look.heading.font.setBold(true);
  look.heading.align = TextAlign::Center;
  return look;
}

bool operator==(const LineLook& a, const LineLook& b) {
  return a.visible == b.visible && a.colour == b.colour && a.width == b.width && a.style == b.style;
}

bool operator==(const DiagramLook& a, const DiagramLook& b) {
  return a.boundaries == b.boundaries && a.invariants == b.invariants &&
         a.reactionTypes == b.reactionTypes && a.marks == b.marks && a.markColour == b.markColour &&
         a.fieldLabels == b.fieldLabels && a.labelFont.family() == b.labelFont.family() &&
         a.labelFont.pixelSize() == b.labelFont.pixelSize() &&
         a.labelFont.bold() == b.labelFont.bold() && a.labelFont.italic() == b.labelFont.italic() &&
         a.labelColour == b.labelColour && a.celsius == b.celsius &&
         a.weightPercent == b.weightPercent && a.heading == b.heading;
}

}  // namespace views
