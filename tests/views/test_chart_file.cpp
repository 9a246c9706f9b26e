#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "views/chart_file.h"

namespace views {
namespace {

// A file whose every member differs from the defaults, so a member lost on the way shows.
ChartFile Sample() {
  ChartFile f;
  ChartLook& l = f.look;
  l.title.text = QStringLiteral("P, бар\nsecond line");
  l.title.font = QFont(QStringLiteral("DejaVu Sans"));
  l.title.font.setPixelSize(17);
  l.title.font.setBold(true);
  l.title.align = TextAlign::Center;
  l.title.colour = QColor(0x12, 0x34, 0x56);
  l.foot.text = QStringLiteral("Мольная доля (X) компонента B в системе A-B");
  l.foot.font = QFont(QStringLiteral("Liberation Serif"));
  l.foot.font.setPixelSize(9);
  l.foot.font.setItalic(true);
  l.foot.align = TextAlign::Right;
  l.foot.visible = false;
  l.background = QColor(0xfe, 0xfd, 0xfc);
  l.plotArea = QColor(0x01, 0x02, 0x03);
  l.legendVisible = true;
  l.bottom = AxisLook{false, -0.25, 1.75, 0.125, 9, false, Qt::DashDotLine, QColor(1, 2, 3), false, "%.3f"};
  l.left = AxisLook{true, 300, 1500.5, 0, 4, true, Qt::SolidLine, QColor(9, 8, 7), true, ""};
  SeriesData points;
  points.kind = SeriesKind::Points;
  points.title = QStringLiteral("Ordinary points");
  points.look = SeriesLook{Qt::red, MarkerShape::Star, 7.5, true, Qt::blue, 2.5, Qt::DotLine, false};
  points.points = {{0.0, 1234.5}, {0.333333333333333, 1e-300}, {1.0, -7.25}};
  SeriesData line;
  line.kind = SeriesKind::Line;
  line.title = QStringLiteral("Node at 1234.5K");
  line.look = SeriesLook{Qt::green, MarkerShape::Circle, 3, false, Qt::green, 1, Qt::SolidLine, true};
  line.points = {{0.1, 1234.5}, {0.9, 1234.5}};
  f.series = {points, line, SeriesData{}};
  return f;
}

TEST(ChartFile, RoundTripKeepsEveryMember) {
  const ChartFile in = Sample();
  QString error;
  const auto out = ChartFileFromJson(ChartFileToJson(in), &error);
  ASSERT_TRUE(out.has_value()) << error.toStdString();
  EXPECT_TRUE(out->look == in.look);
  ASSERT_EQ(out->series.size(), in.series.size());
  for (qsizetype i = 0; i < in.series.size(); ++i) {
    EXPECT_TRUE(out->series[i] == in.series[i]) << "series " << i;
  }
}

TEST(ChartFile, SaveAndLoadThroughTheFileSystem) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Chart.cfg"));
  QString error;
  EXPECT_FALSE(LoadChartFile(path, &error).has_value());  // missing file
  ASSERT_TRUE(SaveChartFile(path, Sample(), &error)) << error.toStdString();
  const auto loaded = LoadChartFile(path, &error);
  ASSERT_TRUE(loaded.has_value()) << error.toStdString();
  EXPECT_TRUE(loaded->look == Sample().look);
  // Saving again replaces the file rather than appending to it.
  ChartFile second = Sample();
  second.series.clear();
  ASSERT_TRUE(SaveChartFile(path, second, &error));
  EXPECT_TRUE(LoadChartFile(path)->series.isEmpty());
  // A folder that does not exist cannot take the file, and says so.
  EXPECT_FALSE(SaveChartFile(dir.filePath(QStringLiteral("no/such/Chart.cfg")), second, &error));
  EXPECT_FALSE(error.isEmpty());
}

// Replaces the first occurrence of `from` in the sample's JSON by `to`.
QByteArray Damaged(const char* from, const char* to) {
  QByteArray json = ChartFileToJson(Sample());
  const qsizetype at = json.indexOf(from);
  EXPECT_GE(at, 0) << "sample has no " << from;
  return json.replace(at, qstrlen(from), to);
}

TEST(ChartFile, FilesThatAreNoChartFileAreRefusedWithAReason) {
  const QByteArray good = ChartFileToJson(Sample());
  const struct {
    const char* what;
    QByteArray json;
  } cases[] = {
      {"empty", QByteArray()},
      {"cut short", good.left(good.size() / 2)},
      {"binary", QByteArray("\x00\xff\x13garbage", 10)},
      {"an array", QByteArray("[1, 2, 3]")},
      {"another format", Damaged("\"brelona-chart\"", "\"other\"")},
      {"a future version", Damaged("\"version\": 1", "\"version\": 2")},
  };
  for (const auto& c : cases) {
    QString error;
    EXPECT_FALSE(ChartFileFromJson(c.json, &error).has_value()) << c.what;
    EXPECT_FALSE(error.isEmpty()) << c.what;
  }
}

// One bad member costs only itself: it keeps the caller's value and is named with its place;
// every other member of the file is read.
TEST(ChartFile, ABadMemberKeepsTheBaseValueAndEveryOtherMember) {
  const ChartFile sample = Sample();
  ChartFile base;
  base.look.legendVisible = false;
  base.look.background = QColor(0x11, 0x22, 0x33);
  const struct {
    const char* what;
    QByteArray json;
    const char* named;
  } cases[] = {
      {"missing member", Damaged("\"legend\"", "\"legendX\""), "\"legend\""},
      {"wrong type", Damaged("\"legend\": true", "\"legend\": 1"), "\"legend\""},
      {"bad colour", Damaged("\"#fefdfc\"", "\"#zzzzzz\""), "\"background\""},
      {"colour name", Damaged("\"#fefdfc\"", "\"red\""), "\"background\""},
      {"unknown alignment", Damaged("\"center\"", "\"middle\""), "title: unknown alignment"},
      {"unknown marker", Damaged("\"star\"", "\"moon\""), "series[0]: unknown marker"},
      {"unknown pen style", Damaged("\"dashdot\"", "\"wavy\""), "bottomAxis: unknown pen"},
      {"reversed range", Damaged("\"max\": 1.75", "\"max\": -1"), "bottomAxis: axis minimum"},
      {"negative marker", Damaged("\"markerSize\": 7.5", "\"markerSize\": -3"),
       "series[0]: \"markerSize\""},
      {"fractional tick count", Damaged("\"minorTicks\": 9", "\"minorTicks\": 2.5"),
       "bottomAxis: \"minorTicks\""},
      {"zero font size", Damaged("\"pixelSize\": 17", "\"pixelSize\": 0"),
       "title.font: \"pixelSize\""},
      {"point of three numbers",
       Damaged("[\n                    0.1,", "[\n                    7, 0.1,"),
       "series[1]: a point is not [x, y]"},
      {"point as text", Damaged("\"points\": [", "\"points\": [\"x\","), "series[0]: a point"},
      {"series not a list", Damaged("\"series\": [", "\"series\": 5, \"x\": ["),
       "\"series\" is not a list"},
      {"endless label format", Damaged("\"%.3f\"", "\"%.99999f\""),
       "bottomAxis: \"labelFormat\" has a precision above 17"},
      {"blank label format", Damaged("\"%.3f\"", "\"0.0\""), "bottomAxis: \"labelFormat\""},
  };
  for (const auto& c : cases) {
    QString error;
    QStringList refused;
    const auto read = ChartFileFromJson(c.json, &error, &refused, base);
    ASSERT_TRUE(read.has_value()) << c.what << ": " << error.toStdString();
    ASSERT_EQ(refused.size(), 1) << c.what << ": " << refused.join(" | ").toStdString();
    EXPECT_TRUE(refused[0].contains(QString::fromUtf8(c.named)))
        << c.what << ": " << refused[0].toStdString();
    // The members beside the refused one are the file's.
    EXPECT_EQ(read->look.title.text, sample.look.title.text) << c.what;
    EXPECT_EQ(read->look.left.max, sample.look.left.max) << c.what;
    EXPECT_EQ(read->look.plotArea, sample.look.plotArea) << c.what;
  }
  // The refused members are the base's.
  QStringList refused;
  auto read =
      ChartFileFromJson(Damaged("\"legend\": true", "\"legend\": 1"), nullptr, &refused, base);
  EXPECT_FALSE(read->look.legendVisible);
  read = ChartFileFromJson(Damaged("\"#fefdfc\"", "\"red\""), nullptr, &refused, base);
  EXPECT_EQ(read->look.background, base.look.background);
  read = ChartFileFromJson(Damaged("\"%.3f\"", "\"%.99999f\""), nullptr, &refused, base);
  EXPECT_EQ(read->look.bottom.labelFormat, QString());
  EXPECT_EQ(read->look.bottom.increment, sample.look.bottom.increment);
  EXPECT_EQ(read->series, sample.series);
}

// The formats the chart can draw are checked against the chart itself in test_chart_view.
TEST(ChartFile, HostileLabelFormatsAreRefused) {
  for (const char* bad : {"%.99999f", "%.18f", "%.f", "%-.2f", "%.2lf", "%n", "%.1d %s", "%%",
                          "abcdefghijklmnopqrstuvwxyzabcdefghijklm%.2f"}) {
    EXPECT_NE(LabelFormatProblem(QString::fromUtf8(bad)), QString()) << bad;
  }
}

}  // namespace
}  // namespace views
