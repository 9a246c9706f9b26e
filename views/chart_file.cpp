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
                     {"weightPercent", d.weightPercent},
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

// Reads the members of one object. A member that cannot be taken keeps the value the target
// had, and is noted under the object's place in the file; the rest of the object is read all
// the same, so one bad member costs only itself.
class Reader {
 public:
  explicit Reader(QStringList* refused) : refused_(refused) {}

  template <typename Read>
  void Keep(const QString& at, Read read) {
    try {
      read();
    } catch (const Refused& e) {
      if (refused_)
        refused_->append(at.isEmpty() ? QString::fromStdString(e.what())
                                      : at + QStringLiteral(": ") + e.what());
    }
  }

 private:
  QStringList* refused_;
};

QString Place(const QString& at, const char* key) {
  return at.isEmpty() ? QLatin1String(key) : at + QLatin1Char('.') + QLatin1String(key);
}

void FontFromJson(const QJsonObject& o, QFont& f, Reader& r, const QString& at) {
  r.Keep(at, [&] { f.setFamily(String(o, "family")); });
  r.Keep(at, [&] { f.setPixelSize(Integer(o, "pixelSize", 1, 500)); });
  r.Keep(at, [&] { f.setBold(Bool(o, "bold")); });
  r.Keep(at, [&] { f.setItalic(Bool(o, "italic")); });
}

void TextFromJson(const QJsonObject& o, TextLook& t, Reader& r, const QString& at) {
  r.Keep(at, [&] { t.text = String(o, "text"); });
  r.Keep(at, [&] { FontFromJson(Object(o, "font"), t.font, r, Place(at, "font")); });
  r.Keep(at, [&] { t.align = ValueOf(kAligns, String(o, "align"), "alignment"); });
  r.Keep(at, [&] { t.colour = Colour(o, "colour"); });
  r.Keep(at, [&] { t.visible = Bool(o, "visible"); });
}

void AxisFromJson(const QJsonObject& o, AxisLook& a, Reader& r, const QString& at) {
  constexpr double kBig = 1e300;
  r.Keep(at, [&] { a.automatic = Bool(o, "automatic"); });
  r.Keep(at, [&] {
    const double min = Number(o, "min", -kBig, kBig), max = Number(o, "max", -kBig, kBig);
    if (!(min < max)) Refuse(QStringLiteral("axis minimum is not below its maximum"));
    a.min = min;
    a.max = max;
  });
  r.Keep(at, [&] { a.increment = Number(o, "increment", 0, kBig); });
  r.Keep(at, [&] { a.minorTicks = Integer(o, "minorTicks", 0, 100); });
  r.Keep(at, [&] { a.gridVisible = Bool(o, "grid"); });
  r.Keep(at, [&] { a.gridStyle = ValueOf(kPenStyles, String(o, "gridStyle"), "pen style"); });
  r.Keep(at, [&] { a.gridColour = Colour(o, "gridColour"); });
  r.Keep(at, [&] { a.labelsVisible = Bool(o, "labels"); });
  r.Keep(at, [&] {
    const QString format = String(o, "labelFormat");
    if (const QString why = LabelFormatProblem(format); !why.isEmpty()) {
      Refuse(QStringLiteral("\"labelFormat\" ") + why);
    }
    a.labelFormat = format;
  });
}

void SeriesFromJson(const QJsonObject& o, SeriesData& s, Reader& r, const QString& at) {
  r.Keep(at, [&] { s.kind = ValueOf(kKinds, String(o, "type"), "series type"); });
  r.Keep(at, [&] { s.title = String(o, "title"); });
  SeriesLook& l = s.look;
  r.Keep(at, [&] { l.colour = Colour(o, "colour"); });
  r.Keep(at, [&] { l.marker = ValueOf(kMarkers, String(o, "marker"), "marker"); });
  r.Keep(at, [&] { l.markerSize = Number(o, "markerSize", 0, 100); });
  r.Keep(at, [&] { l.markersVisible = Bool(o, "markers"); });
  r.Keep(at, [&] {
    const QJsonObject pen = Object(o, "pen");
    const QString penAt = Place(at, "pen");
    r.Keep(penAt, [&] { l.penColour = Colour(pen, "colour"); });
    r.Keep(penAt, [&] { l.penWidth = Number(pen, "width", 0, 50); });
    r.Keep(penAt, [&] { l.penStyle = ValueOf(kPenStyles, String(pen, "style"), "pen style"); });
  });
  r.Keep(at, [&] { l.visible = Bool(o, "visible"); });
  r.Keep(at, [&] {
    const QJsonValue points = Member(o, "points");
    if (!points.isArray()) Refuse(QStringLiteral("\"points\" is not a list"));
    const QJsonArray list = points.toArray();
    if (list.size() > kMaxPoints) Refuse(QStringLiteral("too many points"));
    QList<QPointF> read;
    read.reserve(list.size());
    for (const QJsonValue& p : list) {
      const QJsonArray xy = p.toArray();
      if (!p.isArray() || xy.size() != 2) Refuse(QStringLiteral("a point is not [x, y]"));
      read.append(QPointF(Number(xy[0], "x", -1e300, 1e300), Number(xy[1], "y", -1e300, 1e300)));
    }
    s.points = std::move(read);
  });
}

void LineFromJson(const QJsonObject& o, LineLook& l, Reader& r, const QString& at) {
  r.Keep(at, [&] { l.visible = Bool(o, "visible"); });
  r.Keep(at, [&] { l.colour = Colour(o, "colour"); });
  r.Keep(at, [&] { l.width = Number(o, "width", 0, 50); });
  r.Keep(at, [&] { l.style = ValueOf(kPenStyles, String(o, "style"), "pen style"); });
}

void DiagramFromJson(const QJsonObject& o, DiagramLook& d, Reader& r, const QString& at) {
  r.Keep(at,
         [&] { LineFromJson(Object(o, "boundaries"), d.boundaries, r, Place(at, "boundaries")); });
  r.Keep(at,
         [&] { LineFromJson(Object(o, "invariants"), d.invariants, r, Place(at, "invariants")); });
  r.Keep(at, [&] { d.reactionTypes = Bool(o, "reactionTypes"); });
  r.Keep(at, [&] { d.marks = Bool(o, "marks"); });
  r.Keep(at, [&] { d.markColour = Colour(o, "markColour"); });
  r.Keep(at, [&] { d.fieldLabels = Bool(o, "fieldLabels"); });
  r.Keep(at, [&] { FontFromJson(Object(o, "labelFont"), d.labelFont, r, Place(at, "labelFont")); });
  r.Keep(at, [&] { d.labelColour = Colour(o, "labelColour"); });
  r.Keep(at, [&] { d.celsius = Bool(o, "celsius"); });
  // Files written before compositions could be shown by mass have no such member.
  if (o.contains(QLatin1String("weightPercent")))
    r.Keep(at, [&] { d.weightPercent = Bool(o, "weightPercent"); });
  r.Keep(at, [&] { TextFromJson(Object(o, "heading"), d.heading, r, Place(at, "heading")); });
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

std::optional<ChartFile> ChartFileFromJson(const QByteArray& json, QString* error,
                                           QStringList* refused, const ChartFile& base) {
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
  } catch (const Refused& e) {
    if (error) *error = QString::fromStdString(e.what());
    return std::nullopt;
  }
  const QJsonObject root = doc.object();
  Reader r(refused);
  ChartFile file = base;
  ChartLook& l = file.look;
  r.Keep({}, [&] { TextFromJson(Object(root, "title"), l.title, r, QStringLiteral("title")); });
  r.Keep({}, [&] { TextFromJson(Object(root, "foot"), l.foot, r, QStringLiteral("foot")); });
  r.Keep({}, [&] { l.background = Colour(root, "background"); });
  r.Keep({}, [&] { l.plotArea = Colour(root, "plotArea"); });
  r.Keep({}, [&] { l.legendVisible = Bool(root, "legend"); });
  r.Keep({}, [&] {
    AxisFromJson(Object(root, "bottomAxis"), l.bottom, r, QStringLiteral("bottomAxis"));
  });
  r.Keep({},
         [&] { AxisFromJson(Object(root, "leftAxis"), l.left, r, QStringLiteral("leftAxis")); });
  r.Keep({}, [&] {
    const QJsonValue series = Member(root, "series");
    if (!series.isArray()) Refuse(QStringLiteral("\"series\" is not a list"));
    const QJsonArray list = series.toArray();
    if (list.size() > kMaxSeries) Refuse(QStringLiteral("too many series"));
    file.series.clear();
    for (qsizetype i = 0; i < list.size(); ++i) {
      // A series keeps its place, so the looks the diagram takes from series 0 and 1 stay theirs.
      SeriesData s = i < base.series.size() ? base.series[i] : SeriesData{};
      const QString at = QStringLiteral("series[%1]").arg(i);
      if (list[i].isObject()) {
        SeriesFromJson(list[i].toObject(), s, r, at);
      } else {
        r.Keep(at, [] { Refuse(QStringLiteral("a series is not an object")); });
      }
      file.series.append(std::move(s));
    }
  });
  if (root.contains(QLatin1String("diagram"))) {
    if (!file.diagram) file.diagram = DesignedDiagramLook();
    r.Keep({}, [&] {
      DiagramFromJson(Object(root, "diagram"), *file.diagram, r, QStringLiteral("diagram"));
    });
  }
  return file;
}

std::optional<ChartFile> LoadChartFile(const QString& path, QString* error, QStringList* refused,
                                       const ChartFile& base) {
  QFile f(path);
  if (!f.exists()) {
    if (error) *error = QStringLiteral("no such file");
    return std::nullopt;
  }
  if (!f.open(QIODevice::ReadOnly)) {
    if (error) *error = f.errorString();
    return std::nullopt;
  }
  return ChartFileFromJson(f.readAll(), error, refused, base);
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
