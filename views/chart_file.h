#pragma once
// The chart file: a chart's appearance and its series with their points, as JSON.
//
//   {
//     "format": "brelona-chart", "version": 1,
//     "title": TEXT, "foot": TEXT,
//     "background": COLOUR, "plotArea": COLOUR, "legend": bool,
//     "bottomAxis": AXIS, "leftAxis": AXIS,
//     "series": [ SERIES, ... ]
//   }
//   TEXT   = { "text": str, "font": { "family": str, "pixelSize": int, "bold": bool,
//              "italic": bool }, "align": "left"|"center"|"right", "colour": COLOUR,
//              "visible": bool }
//   AXIS   = { "automatic": bool, "min": num, "max": num, "increment": num, "minorTicks": int,
//              "grid": bool, "gridStyle": PENSTYLE, "gridColour": COLOUR, "labels": bool,
//              "labelFormat": LABELFORMAT }
//   SERIES = { "type": "points"|"line", "title": str, "colour": COLOUR,
//              "marker": "circle"|"rectangle"|"diamond"|"triangle"|"star"|"pentagon",
//              "markerSize": num, "markers": bool,
//              "pen": { "colour": COLOUR, "width": num, "style": PENSTYLE },
//              "visible": bool, "points": [ [x, y], ... ] }
//   optional (files without it load with the designed diagram look):
//   "diagram": { "boundaries": LINE, "invariants": LINE, "reactionTypes": bool,
//                "marks": bool, "markColour": COLOUR, "fieldLabels": bool,
//                "labelFont": FONT, "labelColour": COLOUR, "celsius": bool, "heading": TEXT,
//                "weightPercent": bool (optional: false when missing) }
//   LINE   = { "visible": bool, "colour": COLOUR, "width": num, "style": PENSTYLE }
//   LABELFORMAT = "" (labels chosen from the increment) or a format LabelFormatProblem accepts
//   COLOUR = "#rrggbb";  PENSTYLE = "solid"|"dash"|"dot"|"dashdot"|"dashdotdot"|"none"
//
// Reading trusts nothing: every member must be present with the right type and a sane value.
// A file that is not JSON, not a chart file or of another version is refused whole; otherwise
// a member that fails keeps the caller's value and is named, and every other member is read.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "views/chart_look.h"
#include "views/diagram_look.h"

namespace views {

struct ChartFile {
  ChartLook look;
  QList<SeriesData> series;
  std::optional<DiagramLook> diagram =
      std::nullopt;  // the phase diagram's layer; absent in older files
};

// An axis label format the chart can draw: empty (the format follows the increment), or text
// around one number conversion "%." precision type, where the type is one of f e g E G d i, the
// precision 0..17, and the text holds no other "%". Anything else draws blank labels, or for a
// huge precision builds endless texts. Returns an empty text for a drawable
// format, else what is wrong with it.
QString LabelFormatProblem(const QString& format);
// The notation expected, as a hint for the user.
QString LabelFormatHint();

QByteArray ChartFileToJson(const ChartFile& file);

// The file parsed from JSON over `base`, or nothing with `error` saying why the whole file was
// refused. Each member that was refused keeps `base`'s value (series beyond `base`'s: a default
// series; a "diagram" member over the designed diagram look when `base` has none) and is named
// in `refused` with its place, e.g. "leftAxis: \"labelFormat\" has a precision above 17".
std::optional<ChartFile> ChartFileFromJson(const QByteArray& json, QString* error = nullptr,
                                           QStringList* refused = nullptr,
                                           const ChartFile& base = {});

// Reads `path`; nothing when the file is missing, unreadable or refused whole.
std::optional<ChartFile> LoadChartFile(const QString& path, QString* error = nullptr,
                                       QStringList* refused = nullptr, const ChartFile& base = {});

// Writes `path` whole through a temporary file, so a failed write leaves the old file intact.
bool SaveChartFile(const QString& path, const ChartFile& file, QString* error = nullptr);

}  // namespace views
