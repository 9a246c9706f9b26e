#include "views/chart_look.h"

#include <QFontDatabase>
#include <algorithm>
#include <iterator>

namespace views {

bool operator==(const TextLook& a, const TextLook& b) {
  return a.text == b.text && a.font.family() == b.font.family() &&
         a.font.pixelSize() == b.font.pixelSize() && a.font.bold() == b.font.bold() &&
         a.font.italic() == b.font.italic() && a.align == b.align && a.colour == b.colour &&
         a.visible == b.visible;
}

bool operator==(const AxisLook& a, const AxisLook& b) {
  return a.automatic == b.automatic && a.min == b.min && a.max == b.max &&
         a.increment == b.increment && a.minorTicks == b.minorTicks &&
         a.gridVisible == b.gridVisible && a.gridStyle == b.gridStyle &&
         a.gridColour == b.gridColour && a.labelsVisible == b.labelsVisible &&
         a.labelFormat == b.labelFormat;
}

bool operator==(const SeriesLook& a, const SeriesLook& b) {
  return a.colour == b.colour && a.marker == b.marker && a.markerSize == b.markerSize &&
         a.markersVisible == b.markersVisible && a.penColour == b.penColour &&
         a.penWidth == b.penWidth && a.penStyle == b.penStyle && a.visible == b.visible;
}

bool operator==(const SeriesData& a, const SeriesData& b) {
  return a.kind == b.kind && a.title == b.title && a.look == b.look && a.points == b.points;
}

bool operator==(const ChartLook& a, const ChartLook& b) {
  return a.title == b.title && a.foot == b.foot && a.background == b.background &&
         a.plotArea == b.plotArea && a.legendVisible == b.legendVisible &&
         a.bottom == b.bottom && a.left == b.left;
}

QString FamilyWithCyrillic(const QStringList& preferred, bool fixedPitch) {
  const QStringList installed = QFontDatabase::families(QFontDatabase::Cyrillic);
  for (const QString& want : preferred) {
    for (const QString& have : installed) {
      if (have.compare(want, Qt::CaseInsensitive) == 0) return have;
    }
  }
  // Metric-compatible and common families first, then anything of the right pitch.
  const QStringList fallbacks =
      fixedPitch ? QStringList{"Liberation Mono", "DejaVu Sans Mono", "Noto Mono"}
                 : QStringList{"Liberation Sans", "DejaVu Sans", "Noto Sans"};
  for (const QString& want : fallbacks) {
    if (installed.contains(want)) return want;
  }
  for (const QString& have : installed) {
    if (QFontDatabase::isFixedPitch(have) == fixedPitch) return have;
  }
  return preferred.isEmpty() ? QString() : preferred.front();
}

QFont CyrillicFont(const QStringList& preferred, int pixelSize, bool fixedPitch) {
  QFont font(FamilyWithCyrillic(preferred, fixedPitch));
  font.setPixelSize(pixelSize);
  if (fixedPitch) font.setStyleHint(QFont::Monospace);
  return font;
}

QColor PhaseColour(int index) {
  // The first two phases take the designed liquid and solid colours; further ones a palette
  // that stays readable on white.
  static const QColor palette[] = {QColor(0, 128, 255), QColor(Qt::black),   QColor(0, 128, 0),
                                   QColor(128, 0, 128), QColor(0, 128, 128), QColor(128, 128, 0)};
  const int n = static_cast<int>(std::size(palette));
  if (index >= 0 && index < n) return palette[index];
  // Sheets with more phases (assessed systems): hues a golden angle apart never repeat, dark
  // enough to read on white.
  const int hue = static_cast<int>((std::max(index, 0) * 137.508) + 20) % 360;
  return QColor::fromHsv(hue, 255, 170);
}

}  // namespace views
