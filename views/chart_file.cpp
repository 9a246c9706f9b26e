#include "views/chart_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cmath>
#include <stdexcept>

namespace views {

namespace {

constexpr int kVersion = 1;
constexpr qsizetype kMaxPoints = 10'000'000;
constexpr qsizetype kMaxSeries = 100'000;
constexpr qsizetype kMaxText = 10'000;

// Thrown while reading; caught at the top and turned into a refusal.
struct Refused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Refuse(const QString& why) { throw Refused(why.toStdString()); }

template <typename E>
struct Names {
  E value;
  const char* name;
};

constexpr Names<TextAlign> kAligns[] = {
    {TextAlign::Left, "left"}, {TextAlign::Center, "center"}, {TextAlign::Right, "right"}};
constexpr Names<Qt::PenStyle> kPenStyles[] = {
    {Qt::SolidLine, "solid"},     {Qt::DashLine, "dash"},
    {Qt::DotLine, "dot"},         {Qt::DashDotLine, "dashdot"},
    {Qt::DashDotDotLine, "dashdotdot"}, {Qt::NoPen, "none"}};
constexpr Names<MarkerShape> kMarkers[] = {
    {MarkerShape::Circle, "circle"},     {MarkerShape::Rectangle, "rectangle"},
    {MarkerShape::Diamond, "diamond"},   {MarkerShape::Triangle, "triangle"},
    {MarkerShape::Star, "star"},         {MarkerShape::Pentagon, "pentagon"}};
constexpr Names<SeriesKind> kKinds[] = {{SeriesKind::Points, "points"},
                                        {SeriesKind::Line, "line"}};

template <typename E, std::size_t N>
QString NameOf(const Names<E> (&table)[N], E value) {
  for (const auto& n : table) {
    if (n.value == value) return QString::fromLatin1(n.name);
  }
  return QString::fromLatin1(table[0].name);
}

template <typename E, std::size_t N>
E ValueOf(const Names<E> (&table)[N], const QString& name, const char* what) {
  for (const auto& n : table) {
    if (name == QLatin1String(n.name)) return n.value;
  }
  Refuse(QStringLiteral("unknown %1 \"%2\"").arg(QLatin1String(what), name));
}

// --- writing

QJsonObject FontToJson(const QFont& f) {
  return QJsonObject{{"family", f.family()},
                     {"pixelSize", f.pixelSize() > 0 ? f.pixelSize() : 11},
                     {"bold", f.bold()},
                     {"italic", f.italic()}};
}

QJsonObject TextToJson(const TextLook& t) {
  return QJsonObject{{"text", t.text},
                     {"font", FontToJson(t.font)},
                     {"align", NameOf(kAligns, t.align)},
                     {"colour", t.colour.name()},
                     {"visible", t.visible}};
}

QJsonObject AxisToJson(const AxisLook& a) {
  return QJsonObject{{"automatic", a.automatic},
                     {"min", a.min},
                     {"max", a.max},
                     {"increment", a.increment},
                     {"minorTicks", a.minorTicks},
                     {"grid", a.gridVisible},
                     {"gridStyle", NameOf(kPenStyles, a.gridStyle)},
                     {"gridColour", a.gridColour.name()},
                     {"labels", a.labelsVisible},
                     {"labelFormat", a.labelFormat}};
}

QJsonObject SeriesToJson(const SeriesData& s) {
  QJsonArray points;
  for (const QPointF& p : s.points) points.append(QJsonArray{p.x(), p.y()});
  const SeriesLook& l = s.look;
  return QJsonObject{
      {"type", NameOf(kKinds, s.kind)},
      {"title", s.title},
      {"colour", l.colour.name()},
      {"marker", NameOf(kMarkers, l.marker)},
      {"markerSize", l.markerSize},
      {"markers", l.markersVisible},
      {"pen", QJsonObject{{"colour", l.penColour.name()},
                          {"width", l.penWidth},
                          {"style", NameOf(kPenStyles, l.penStyle)}}},
      {"visible", l.visible},
      {"points", points}};
}

QJsonObject LineToJson(const LineLook& l) {
  return QJsonObject{{"visible", l.visible},
                     {"colour", l.colour.name()},
                     {"width", l.width},
                     {"style", NameOf(kPenStyles, l.style)}};
}

QJsonObject DiagramToJson(const DiagramLook& d) {
  return QJsonObject{{"boundaries", LineToJson(d.boundaries)},
                     {"invariants", LineToJson(d.invariants)},
                     {"reactionTypes", d.reactionTypes},
                     {"marks", d.marks},
                     {"markColour", d.markColour.name()},
                     {"fieldLabels", d.fieldLabels},
                     {"labelFont", FontToJson(d.labelFont)},
                     {"labelColour", d.labelColour.name()},
                     {"celsius", d.celsius},
                     {"heading", TextToJson(d.heading)}};
}

// --- reading

QJsonValue Member(const QJsonObject& o, const char* key) {
  const auto it = o.constFind(QLatin1String(key));
  if (it == o.constEnd()) Refuse(QStringLiteral("missing \"%1\"").arg(QLatin1String(key)));
  return *it;
}

QJsonObject Object(const QJsonObject& o, const char* key) {
  const QJsonValue v = Member(o, key);
  if (!v.isObject()) Refuse(QStringLiteral("\"%1\" is not an object").arg(QLatin1String(key)));
  return v.toObject();
}

bool Bool(const QJsonObject& o, const char* key) {
  const QJsonValue v = Member(o, key);
  if (!v.isBool()) Refuse(QStringLiteral("\"%1\" is not true or false").arg(QLatin1String(key)));
  return v.toBool();
}

double Number(const QJsonValue& v, const char* key, double lo, double hi) {
  if (!v.isDouble() || !std::isfinite(v.toDouble()) || v.toDouble() < lo || v.toDouble() > hi) {
    Refuse(QStringLiteral("\"%1\" is not a number in range").arg(QLatin1String(key)));
  }
  return v.toDouble();
}

double Number(const QJsonObject& o, const char* key, double lo, double hi) {
  return Number(Member(o, key), key, lo, hi);
}

int Integer(const QJsonObject& o, const char* key, int lo, int hi) {
  const double d = Number(o, key, lo, hi);
  if (d != std::floor(d)) Refuse(QStringLiteral("\"%1\" is not whole").arg(QLatin1String(key)));
  return static_cast<int>(d);
}

QString String(const QJsonObject& o, const char* key) {
  const QJsonValue v = Member(o, key);
  if (!v.isString() || v.toString().size() > kMaxText) {
    Refuse(QStringLiteral("\"%1\" is not a text").arg(QLatin1String(key)));
  }
  return v.toString();
}

QColor Colour(const QJsonObject& o, const char* key) {
  const QString s = String(o, key);
  const QColor c = QColor::fromString(s);
  if (!c.isValid() || !s.startsWith('#')) {
    Refuse(QStringLiteral("\"%1\" is not a colour").arg(QLatin1String(key)));
  }
  return c;
}

QFont FontFromJson(const QJsonObject& o) {
  QFont f(String(o, "family"));
  f.setPixelSize(Integer(o, "pixelSize", 1, 500));
  f.setBold(Bool(o, "bold"));
  f.setItalic(Bool(o, "italic"));
  return f;
}

TextLook TextFromJson(const QJsonObject& o) {
  TextLook t;
  t.text = String(o, "text");
  t.font = FontFromJson(Object(o, "font"));
  t.align = ValueOf(kAligns, String(o, "align"), "alignment");
  t.colour = Colour(o, "colour");
  t.visible = Bool(o, "visible");
  return t;
}

AxisLook AxisFromJson(const QJsonObject& o) {
  AxisLook a;
  constexpr double kBig = 1e300;
  a.automatic = Bool(o, "automatic");
  a.min = Number(o, "min", -kBig, kBig);
  a.max = Number(o, "max", -kBig, kBig);
  if (!(a.min < a.max)) Refuse(QStringLiteral("axis minimum is not below its maximum"));
  a.increment = Number(o, "increment", 0, kBig);
  a.minorTicks = Integer(o, "minorTicks", 0, 100);
  a.gridVisible = Bool(o, "grid");
  a.gridStyle = ValueOf(kPenStyles, String(o, "gridStyle"), "pen style");
  a.gridColour = Colour(o, "gridColour");
  a.labelsVisible = Bool(o, "labels");
  a.labelFormat = String(o, "labelFormat");
  if (const QString why = LabelFormatProblem(a.labelFormat); !why.isEmpty()) {
    Refuse(QStringLiteral("\"labelFormat\" ") + why);
  }
  return a;
}

SeriesData SeriesFromJson(const QJsonObject& o) {
  SeriesData s;
  s.kind = ValueOf(kKinds, String(o, "type"), "series type");
  s.title = String(o, "title");
  SeriesLook& l = s.look;
  l.colour = Colour(o, "colour");
  l.marker = ValueOf(kMarkers, String(o, "marker"), "marker");
  l.markerSize = Number(o, "markerSize", 0, 100);
  l.markersVisible = Bool(o, "markers");
  const QJsonObject pen = Object(o, "pen");
  l.penColour = Colour(pen, "colour");
  l.penWidth = Number(pen, "width", 0, 50);
  l.penStyle = ValueOf(kPenStyles, String(pen, "style"), "pen style");
  l.visible = Bool(o, "visible");
  const QJsonValue points = Member(o, "points");
  if (!points.isArray()) Refuse(QStringLiteral("\"points\" is not a list"));
  const QJsonArray list = points.toArray();
  if (list.size() > kMaxPoints) Refuse(QStringLiteral("too many points"));
  s.points.reserve(list.size());
  for (const QJsonValue& p : list) {
    const QJsonArray xy = p.toArray();
    if (!p.isArray() || xy.size() != 2) Refuse(QStringLiteral("a point is not [x, y]"));
    s.points.append(QPointF(Number(xy[0], "x", -1e300, 1e300), Number(xy[1], "y", -1e300, 1e300)));
  }
  return s;
}

LineLook LineFromJson(const QJsonObject& o) {
  LineLook l;
  l.visible = Bool(o, "visible");
  l.colour = Colour(o, "colour");
  l.width = Number(o, "width", 0, 50);
  l.style = ValueOf(kPenStyles, String(o, "style"), "pen style");
  return l;
}

DiagramLook DiagramFromJson(const QJsonObject& o) {
  DiagramLook d;
  d.boundaries = LineFromJson(Object(o, "boundaries"));
  d.invariants = LineFromJson(Object(o, "invariants"));
  d.reactionTypes = Bool(o, "reactionTypes");
  d.marks = Bool(o, "marks");
  d.markColour = Colour(o, "markColour");
  d.fieldLabels = Bool(o, "fieldLabels");
  d.labelFont = FontFromJson(Object(o, "labelFont"));
  d.labelColour = Colour(o, "labelColour");
  d.celsius = Bool(o, "celsius");
  d.heading = TextFromJson(Object(o, "heading"));
  return d;
}

}  // namespace

namespace {

constexpr qsizetype kMaxLabelFormat = 40;
constexpr int kMaxLabelPrecision = 17;  // every digit a double holds

// The texts are marked where they stand, so the translation tools find them.
QString Tr(const char* text) {
  return QCoreApplication::translate("views::LabelFormat", text);
}

}  // namespace

QString LabelFormatProblem(const QString& format) {
  if (format.isEmpty()) return {};
  if (format.size() > kMaxLabelFormat) {
    return Tr(QT_TRANSLATE_NOOP("views::LabelFormat", "is longer than %1 characters"))
        .arg(kMaxLabelFormat);
  }
  const qsizetype percent = format.indexOf(u'%');
  if (percent < 0)
    return Tr(QT_TRANSLATE_NOOP("views::LabelFormat", "has no number conversion such as %.2f"));
  if (format.indexOf(u'%', percent + 1) >= 0)
    return Tr(QT_TRANSLATE_NOOP("views::LabelFormat", "holds more than one %"));
  qsizetype i = percent + 1;
  const auto digit = [&format](qsizetype k) {
    return k < format.size() && format[k] >= u'0' && format[k] <= u'9';
  };
  // The chart writes numbers in the user's locale, and then reads only this one shape.
  if (i >= format.size() || format[i] != u'.')
    return Tr(QT_TRANSLATE_NOOP("views::LabelFormat", "needs a point and a precision after the %"));
  const qsizetype first = ++i;
  while (digit(i)) ++i;
  if (i == first)
    return Tr(QT_TRANSLATE_NOOP("views::LabelFormat", "has no precision after the point"));
  if (i - first > 2 || format.mid(first, i - first).toInt() > kMaxLabelPrecision) {
    return Tr(QT_TRANSLATE_NOOP("views::LabelFormat", "has a precision above %1"))
        .arg(kMaxLabelPrecision);
  }
  if (i >= format.size() || !QStringLiteral("fegEGdi").contains(format[i])) {
    return Tr(QT_TRANSLATE_NOOP("views::LabelFormat",
                                "needs one of f, e, g, E, G, d, i after the precision"));
  }
  return {};
}

QString LabelFormatHint() {
  return Tr(QT_TRANSLATE_NOOP("views::LabelFormat",
                              "Empty for automatic labels, or one number format %.Nf, %.Ne or "
                              "%.Ng (N digits, 0 to 17) with optional text around it, e.g. "
                              "\"%.1f K\"."));
}

QByteArray ChartFileToJson(const ChartFile& file) {
  const ChartLook& l = file.look;
  QJsonArray series;
  for (const SeriesData& s : file.series) series.append(SeriesToJson(s));
  QJsonObject root{{"format", "brelona-chart"},         {"version", kVersion},
                   {"title", TextToJson(l.title)},      {"foot", TextToJson(l.foot)},
                   {"background", l.background.name()}, {"plotArea", l.plotArea.name()},
                   {"legend", l.legendVisible},         {"bottomAxis", AxisToJson(l.bottom)},
                   {"leftAxis", AxisToJson(l.left)},    {"series", series}};
  if (file.diagram) root.insert(QStringLiteral("diagram"), DiagramToJson(*file.diagram));
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<ChartFile> ChartFileFromJson(const QByteArray& json, QString* error) {
  QJsonParseError parseError;
  const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    if (error) *error = parseError.errorString();
    return std::nullopt;
  }
  try {
    if (!doc.isObject()) Refuse(QStringLiteral("not a JSON object"));
    const QJsonObject root = doc.object();
    if (String(root, "format") != QLatin1String("brelona-chart")) {
      Refuse(QStringLiteral("not a chart file"));
    }
    if (Integer(root, "version", 1, 1000) != kVersion) Refuse(QStringLiteral("unknown version"));
    ChartFile file;
    ChartLook& l = file.look;
    l.title = TextFromJson(Object(root, "title"));
    l.foot = TextFromJson(Object(root, "foot"));
    l.background = Colour(root, "background");
    l.plotArea = Colour(root, "plotArea");
    l.legendVisible = Bool(root, "legend");
    l.bottom = AxisFromJson(Object(root, "bottomAxis"));
    l.left = AxisFromJson(Object(root, "leftAxis"));
    const QJsonValue series = Member(root, "series");
    if (!series.isArray()) Refuse(QStringLiteral("\"series\" is not a list"));
    if (series.toArray().size() > kMaxSeries) Refuse(QStringLiteral("too many series"));
    for (const QJsonValue& s : series.toArray()) {
      if (!s.isObject()) Refuse(QStringLiteral("a series is not an object"));
      file.series.append(SeriesFromJson(s.toObject()));
    }
    if (root.contains(QLatin1String("diagram")))
      file.diagram = DiagramFromJson(Object(root, "diagram"));
    return file;
  } catch (const Refused& e) {
    if (error) *error = QString::fromStdString(e.what());
    return std::nullopt;
  }
}

std::optional<ChartFile> LoadChartFile(const QString& path, QString* error) {
  QFile f(path);
  if (!f.exists()) {
    if (error) *error = QStringLiteral("no such file");
    return std::nullopt;
  }
  if (!f.open(QIODevice::ReadOnly)) {
    if (error) *error = f.errorString();
    return std::nullopt;
  }
  return ChartFileFromJson(f.readAll(), error);
}

bool SaveChartFile(const QString& path, const ChartFile& file, QString* error) {
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly)) {
    if (error) *error = f.errorString();
    return false;
  }
  const QByteArray json = ChartFileToJson(file);
  if (f.write(json) != json.size() || !f.commit()) {
    if (error) *error = f.errorString();
    return false;
  }
  return true;
}

}  // namespace views
