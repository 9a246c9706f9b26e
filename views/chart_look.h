#pragma once
// The appearance of a chart as plain values, apart from the Qt Charts objects that show it:
// what the appearance editor edits and what the chart file ("Chart.cfg") keeps.

#include <QColor>
#include <QFont>
#include <QList>
#include <QPointF>
#include <QString>

namespace views {

enum class TextAlign { Left, Center, Right };

// The colour of the sheet's phase `index` (solution phases first, then point phases) wherever
// phases are drawn as curves: the working chart and the equilibrium panel.
QColor PhaseColour(int index);

// The chart title or the foot line under the plot.
struct TextLook {
  QString text;  // may hold several lines separated by '\n'
  QFont font;
  TextAlign align = TextAlign::Left;
  QColor colour = Qt::black;
  bool visible = true;
};

// One axis. With `automatic` the range follows the data and `min`/`max` are ignored.
struct AxisLook {
  bool automatic = true;
  double min = 0.0;
  double max = 1.0;
  double increment = 0.0;  // distance between labels; 0 = chosen from the range
  int minorTicks = 0;      // minor ticks between two labels
  bool gridVisible = true;
  Qt::PenStyle gridStyle = Qt::DotLine;
  QColor gridColour = QColor(0x80, 0x80, 0x80);
  bool labelsVisible = true;
  QString labelFormat;     // printf-like ("%.2f"); empty = chosen from the increment
};

enum class SeriesKind { Points, Line };
enum class MarkerShape { Circle, Rectangle, Diamond, Triangle, Star, Pentagon };

// The look of one series. For point series `colour` fills the markers and the pen draws their
// outline; for line series the pen colour is `colour` and markers are drawn when `markersVisible`.
struct SeriesLook {
  QColor colour = Qt::red;
  MarkerShape marker = MarkerShape::Circle;
  double markerSize = 5.0;  // marker diameter in pixels
  bool markersVisible = true;
  QColor penColour = Qt::red;
  double penWidth = 1.0;
  Qt::PenStyle penStyle = Qt::SolidLine;
  bool visible = true;
};

// A series with its data, as kept in the chart file.
struct SeriesData {
  SeriesKind kind = SeriesKind::Points;
  QString title;
  SeriesLook look;
  QList<QPointF> points;
};

struct ChartLook {
  TextLook title;
  TextLook foot;
  QColor background = Qt::white;  // the whole chart
  QColor plotArea = Qt::white;    // the back wall behind the plot
  bool legendVisible = false;
  AxisLook bottom;
  AxisLook left;
};

bool operator==(const TextLook& a, const TextLook& b);
bool operator==(const AxisLook& a, const AxisLook& b);
bool operator==(const SeriesLook& a, const SeriesLook& b);
bool operator==(const SeriesData& a, const SeriesData& b);
bool operator==(const ChartLook& a, const ChartLook& b);

// The first installed family of `preferred` (in order) that holds Cyrillic letters; when none
// is installed, the first installed family with Cyrillic of the same kind (fixed pitch or not).
QString FamilyWithCyrillic(const QStringList& preferred, bool fixedPitch);

// A font of the given pixel size from FamilyWithCyrillic.
QFont CyrillicFont(const QStringList& preferred, int pixelSize, bool fixedPitch = false);

}  // namespace views
