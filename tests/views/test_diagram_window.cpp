#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGraphicsSimpleTextItem>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>
#include <QXYSeries>
#include <stdexcept>

#include "views/chart_editor.h"
#include "views/chart_file.h"
#include "views/chart_view.h"
#include "views/diagram_window.h"

namespace views {
namespace {

void Settle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// Diagram points of three levels (1500, 1400, 0): the level at Y = 0 leaves nothing visible.
void FillPoints(calc::Results& r) {
  r.RunPhases = {{"L", {}, false, 0}, {"S", {}, false, 0}};
  const calc::PhaseIndex L = 0, S = 1;
  r.ZPoints.Reset(3, 4);
  r.ZPoints.Append(0, {0.8, 1500, 9, L});
  r.ZPoints.Append(0, {0.2, 1500, 3, S});
  r.ZPoints.Append(1, {0.9, 1400, 10, L});
  r.ZPoints.Append(1, {0.1, 1400, 2, S});
  r.ZPoints.Append(1, {0.6, -5, 7, L});  // not above 0: an empty slot
  r.ZPoints.Append(2, {0.5, 0, 6, L});
}

// A stand-in for the special-point finder: fills the results as a finder pass would.
struct FakeFinder {
  calc::Results* r;
  std::vector<calc::TNode> nodes;
  int calls = 0;
  void operator()() {
    ++calls;
    r->Nodes = nodes;
    r->MemoLines = {"T(X = 0) = 1234.5 K"};
    r->SpecialPoints.clear();
    r->SpecialPoints.push_back({0.0, 1450.0});
    for (const calc::TNode& n : nodes) {
      r->SpecialPoints.push_back({n.XLeft, n.Y});
      r->SpecialPoints.push_back({n.X, n.Y});
      r->SpecialPoints.push_back({n.XRight, n.Y});
    }
  }
};

QStringList Titles(const ChartView* chart) {
  QStringList titles;
  for (int i = 0; i < chart->SeriesCount(); ++i) titles << chart->TitleAt(i);
  return titles;
}

TEST(DiagramBuild, SeriesTheirOrderTitlesAndPoints) {
  TfmDiagram2 w(QString{});
  calc::Results r;
  FillPoints(r);
  FakeFinder finder{&r, {{1234.5, 0.5, 0.25, 0.75}, {1100.0, 0.3, 0.2, 0.4}}};
  w.BuildDiagram(r, calc::YParameter::Temperature, std::ref(finder), /*show=*/false);
  EXPECT_EQ(finder.calls, 1);
  ChartView* chart = w.Chart1();
  EXPECT_EQ(chart->TitleText(), QStringLiteral("T, K"));
  EXPECT_EQ(Titles(chart), (QStringList{"Ordinary points", "Special points", "Node at 1234.5K",
                                        "Node at 1100K"}));
  EXPECT_EQ(chart->KindAt(0), SeriesKind::Points);
  EXPECT_EQ(chart->KindAt(1), SeriesKind::Points);
  EXPECT_EQ(chart->KindAt(2), SeriesKind::Line);
  EXPECT_EQ(chart->SeriesAt(0)->points(),
            (QList<QPointF>{{0.8, 1500}, {0.2, 1500}, {0.9, 1400}, {0.1, 1400}}));
  EXPECT_EQ(chart->SeriesAt(1)->points().size(), 7);
  EXPECT_EQ(chart->SeriesAt(2)->points(), (QList<QPointF>{{0.25, 1234.5}, {0.75, 1234.5}}));
  // The looks: special points red with a dotted outline, node lines in the colour of series 0.
  EXPECT_EQ(chart->SeriesLookAt(1).colour, QColor(255, 0, 0));
  EXPECT_EQ(chart->SeriesLookAt(1).penStyle, Qt::DotLine);
  EXPECT_EQ(chart->SeriesLookAt(1).marker, MarkerShape::Circle);
  EXPECT_EQ(chart->SeriesLookAt(2).colour, chart->SeriesLookAt(0).colour);
  EXPECT_EQ(chart->SeriesLookAt(3).colour, chart->SeriesLookAt(0).colour);
  EXPECT_FALSE(w.isVisible());

  // Building again gives the very same series.
  const QList<SeriesData> first = chart->AllSeries();
  w.BuildDiagram(r, calc::YParameter::Temperature, std::ref(finder), false);
  const QList<SeriesData> second = chart->AllSeries();
  ASSERT_EQ(second.size(), first.size());
  for (qsizetype i = 0; i < first.size(); ++i) EXPECT_TRUE(second[i] == first[i]) << i;
}

TEST(DiagramBuild, TitlesAndUnitsFollowTheYParameterAndTheSeparator) {
  const struct {
    calc::YParameter y;
    char sep;
    double level;
    const char* title;
    const char* node;
  } cases[] = {
      {calc::YParameter::Temperature, '.', 1234.5, "T, K", "Node at 1234.5K"},
      {calc::YParameter::Temperature, ',', 1234.5, "T, K", "Node at 1234,5K"},
      {calc::YParameter::Temperature, '.', 1234.56789, "T, K", "Node at 1234.568K"},
      {calc::YParameter::Pressure, '.', 12.25, "P, бар", "Node at 12.25bar"},
      {calc::YParameter::Pressure, '.', 100.0, "P, бар", "Node at 100bar"},
  };
  for (const auto& c : cases) {
    TfmDiagram2 w(QString{});
    w.SetDecimalSeparator(c.sep);
    calc::Results r;
    r.Nodes = {{c.level, 0.5, 0.4, 0.6}};
    w.BuildDiagram(r, c.y, nullptr, false);
    EXPECT_EQ(w.Chart1()->TitleText(), QString::fromUtf8(c.title));
    ASSERT_EQ(w.Chart1()->SeriesCount(), 3);
    EXPECT_EQ(w.Chart1()->TitleAt(2), QString::fromUtf8(c.node));
  }
  // Without a selected Y parameter the title is the pressure's and the finder cannot run.
  TfmDiagram2 w(QString{});
  calc::Results r;
  w.BuildDiagram(r, calc::YParameter::None, nullptr, false);
  EXPECT_EQ(w.Chart1()->TitleText(), QStringLiteral("P, бар"));
}

TEST(DiagramBuild, AFailingFinderEndsTheBuildUnshown) {
  TfmDiagram2 w(QString{});
  calc::Results r;
  FillPoints(r);
  r.SpecialPoints = {{0.5, 1000}};
  auto failing = [] { throw std::invalid_argument("no Y parameter"); };
  EXPECT_THROW(w.BuildDiagram(r, calc::YParameter::Temperature, failing, true), std::invalid_argument);
  EXPECT_FALSE(w.isVisible());
  ASSERT_EQ(w.Chart1()->SeriesCount(), 2);
  EXPECT_EQ(w.Chart1()->SeriesAt(0)->points().size(), 4);  // plotted before the finder
  EXPECT_TRUE(w.Chart1()->SeriesAt(1)->points().isEmpty());

  w.BuildDiagram(r, calc::YParameter::Temperature, nullptr, true);
  EXPECT_TRUE(w.isVisible());
  w.CloseButton()->click();  // closing only hides
  EXPECT_FALSE(w.isVisible());
}

// A shown, built diagram for the mouse tests.
class DiagramMouse : public ::testing::Test {
 protected:
  void SetUp() override {
    FillPoints(r);
    w.SetDecimalSeparator('.');
    w.BuildDiagram(r, calc::YParameter::Temperature, nullptr, true);
    Settle();
  }
  QWidget* Viewport() { return w.Chart1()->viewport(); }
  void MoveTo(QPointF p) { QTest::mouseMove(Viewport(), p.toPoint()); }
  calc::Results r;
  TfmDiagram2 w{QString{}};
};

TEST_F(DiagramMouse, ReadoutShowsTheValuesUnderThePointer) {
  ChartView* chart = w.Chart1();
  const QRegularExpression form(
      QStringLiteral("^X = (\\S+) +    T, K = (\\S+) *$"));
  const QPointF values[] = {{0.5, 1434.5678}, {0.15, 1490.0}, {0.85, 1410.0}};
  for (const QPointF& v : values) {
    const QPointF pixel = chart->PixelOf(v);
    MoveTo(QPointF(2, 2));  // outside the plot: hidden
    ASSERT_FALSE(w.Label1()->isVisibleTo(&w));
    MoveTo(pixel);
    ASSERT_TRUE(w.Label1()->isVisibleTo(&w)) << v.x();
    const QString text = w.Label1()->text();
    const auto m = form.match(text);
    ASSERT_TRUE(m.hasMatch()) << "[" << text.toStdString() << "]";
    // Both values are 12 characters wide; compositions below 1 read in scientific notation.
    EXPECT_EQ(text.indexOf(QStringLiteral("T, K")), 4 + 12 + 4) << text.toStdString();
    EXPECT_TRUE(m.captured(1).contains(QRegularExpression("^\\d\\.\\d{4}E-\\d{3}$"))) << text.toStdString();
    EXPECT_TRUE(m.captured(2).contains(QRegularExpression("^\\d+\\.\\d{3}$"))) << text.toStdString();
    // One pixel of the plot in each direction is as close as a pointer can get.
    const double xPixel = 1.0 / chart->PlotRect().width();
    const double yPixel = (chart->LeftAxis()->max() - chart->LeftAxis()->min()) / chart->PlotRect().height();
    EXPECT_NEAR(m.captured(1).toDouble(), v.x(), xPixel);
    EXPECT_NEAR(m.captured(2).toDouble(), v.y(), yPixel);
  }
}

TEST_F(DiagramMouse, ReadoutHidesOutsideThePlotAndKeepsToItsBorder) {
  const QRectF plot = w.Chart1()->PlotRect();
  const QPointF corners[] = {plot.topLeft(), plot.bottomRight(), plot.topRight(), plot.bottomLeft()};
  for (const QPointF& corner : corners) {
    const QPointF pixel(std::round(corner.x()), std::round(corner.y()));
    MoveTo(QPointF(2, 2));
    ASSERT_FALSE(w.Label1()->isVisibleTo(&w));
    MoveTo(pixel);
    EXPECT_TRUE(w.Label1()->isVisibleTo(&w)) << pixel.x() << "," << pixel.y();
    EXPECT_TRUE(w.Label1()->text().startsWith(QStringLiteral("X = "))) << pixel.x() << "," << pixel.y();
  }
  MoveTo(plot.center());
  MoveTo(QPointF(plot.left() - 3, plot.center().y()));
  EXPECT_FALSE(w.Label1()->isVisibleTo(&w));
  MoveTo(plot.center());
  MoveTo(QPointF(plot.center().x(), plot.bottom() + 3));
  EXPECT_FALSE(w.Label1()->isVisibleTo(&w));
}

TEST_F(DiagramMouse, ActivatingTheWindowEmptiesTheReadout) {
  MoveTo(w.Chart1()->PlotRect().center());
  ASSERT_FALSE(w.Label1()->text().isEmpty());
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other, 1000));
  w.activateWindow();
  if (!QTest::qWaitForWindowActive(&w, 1000)) GTEST_SKIP() << "no window activation here";
  EXPECT_TRUE(w.Label1()->text().isEmpty());
}

TEST_F(DiagramMouse, RubberBandZoomShowsTheRestoreButtonUntilUndone) {
  ChartView* chart = w.Chart1();
  EXPECT_FALSE(w.sbUndoZoom()->isVisibleTo(&w));
  const QPoint from = chart->PixelOf({0.2, 1480}).toPoint();
  const QPoint to = chart->PixelOf({0.6, 1420}).toPoint();
  QTest::mousePress(Viewport(), Qt::LeftButton, {}, from);
  QTest::mouseMove(Viewport(), (from + to) / 2);
  QTest::mouseMove(Viewport(), to);
  QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, to);
  EXPECT_TRUE(w.sbUndoZoom()->isVisibleTo(&w));
  EXPECT_NEAR(chart->BottomAxis()->min(), 0.2, 0.02);
  EXPECT_NEAR(chart->BottomAxis()->max(), 0.6, 0.02);

  w.sbUndoZoom()->click();
  EXPECT_FALSE(w.sbUndoZoom()->isVisibleTo(&w));
  EXPECT_DOUBLE_EQ(chart->BottomAxis()->min(), 0.1);
  EXPECT_DOUBLE_EQ(chart->BottomAxis()->max(), 0.9);

  // A build undoes a zoom as well.
  QTest::mousePress(Viewport(), Qt::LeftButton, {}, from);
  QTest::mouseMove(Viewport(), to);
  QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, to);
  ASSERT_TRUE(w.sbUndoZoom()->isVisibleTo(&w));
  w.BuildDiagram(r, calc::YParameter::Temperature, nullptr, true);
  EXPECT_FALSE(w.sbUndoZoom()->isVisibleTo(&w));
  EXPECT_FALSE(chart->IsZoomed());
}

TEST_F(DiagramMouse, EditChartOpensTheModalEditorAndAppliesOnOk) {
  bool opened = false;
  QTimer::singleShot(0, [&opened] {
    auto* editor = qobject_cast<ChartEditor*>(QApplication::activeModalWidget());
    ASSERT_NE(editor, nullptr);
    opened = true;
    EXPECT_EQ(editor->Pages()->currentIndex(), 0);
    editor->findChild<QPlainTextEdit*>(QStringLiteral("footText"))->setPlainText(QStringLiteral("X(B)"));
    editor->accept();
  });
  w.EditButton()->click();
  EXPECT_TRUE(opened);
  EXPECT_EQ(w.Chart1()->Look().foot.text, QStringLiteral("X(B)"));
  EXPECT_EQ(w.Chart1()->FootItem()->text(), QStringLiteral("X(B)"));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // the editor is gone
}

TEST(DiagramChartFile, MissingFileGivesTheDesignedLook) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Chart.cfg"));
  {
    TfmDiagram2 w(path);
    EXPECT_TRUE(w.Chart1()->Look() == TfmDiagram2::DesignedLook());
    EXPECT_TRUE(w.LoadError().isEmpty());
    EXPECT_EQ(w.Chart1()->TitleText(), QStringLiteral("       T, K"));
    EXPECT_FALSE(w.Chart1()->Look().legendVisible);
    EXPECT_EQ(w.Chart1()->Look().foot.text, QStringLiteral("Мольная доля (X) компонента B в системе A-B"));
  }
  EXPECT_TRUE(QFile::exists(path));  // saved when the window went away
}

TEST(DiagramChartFile, RoundTripUnzoomedWithAutomaticAxes) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Chart.cfg"));
  ChartLook changed;
  QList<SeriesData> series;
  {
    TfmDiagram2 w(path);
    calc::Results r;
    FillPoints(r);
    r.Nodes = {{1450, 0.5, 0.3, 0.7}};
    w.BuildDiagram(r, calc::YParameter::Pressure, nullptr, true);
    Settle();
    ChartLook look = w.Chart1()->Look();
    look.plotArea = QColor(0xf0, 0xf0, 0xe0);
    look.foot.align = TextAlign::Center;
    look.title.font.setPixelSize(15);
    look.left.automatic = false;  // a fixed range is not kept...
    look.left.min = 0;
    look.left.max = 5000;
    w.Chart1()->SetLook(look);
    w.Chart1()->ZoomToPixels(QRectF(w.Chart1()->PlotRect().center(), QSizeF(60, 40)));
    ASSERT_TRUE(w.Chart1()->IsZoomed());  // ...nor is a zoom
    changed = look;
    changed.left.automatic = true;
    series = w.Chart1()->AllSeries();
  }
  const auto saved = LoadChartFile(path);
  ASSERT_TRUE(saved.has_value());
  EXPECT_TRUE(saved->look == changed);
  ASSERT_EQ(saved->series.size(), 3);
  EXPECT_EQ(saved->series[2].title, QStringLiteral("Node at 1450bar"));

  TfmDiagram2 again(path);
  EXPECT_TRUE(again.LoadError().isEmpty()) << again.LoadError().toStdString();
  EXPECT_TRUE(again.Chart1()->Look() == changed);
  EXPECT_FALSE(again.Chart1()->IsZoomed());
  EXPECT_EQ(again.Chart1()->TitleText(), QStringLiteral("P, бар"));
  ASSERT_EQ(again.Chart1()->SeriesCount(), 3);  // kept until the next build
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(again.Chart1()->AllSeries()[i] == series[i]) << i;
  // The automatic left axis follows the data again, not the old fixed range.
  EXPECT_DOUBLE_EQ(again.Chart1()->LeftAxis()->max(), 1500.0);
}

TEST(DiagramChartFile, DamagedFileLeavesTheDesignedLookAndIsKeptBeside) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Chart.cfg"));
  const QByteArray damaged[] = {
      QByteArray("{\"format\": \"brelona-chart\", \"version\": 1, \"title\": "),
      QByteArray("\xff\xfe garbage", 10), QByteArray()};
  for (const QByteArray& bytes : damaged) {
    QFile::remove(path + QStringLiteral(".bak"));
    {
      QFile f(path);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
      f.write(bytes);
    }
    {
      TfmDiagram2 w(path);
      EXPECT_TRUE(w.LoadError().startsWith(QStringLiteral("Chart.cfg was not read")))
          << w.LoadError().toStdString();
      EXPECT_TRUE(w.Chart1()->Look() == TfmDiagram2::DesignedLook());
      EXPECT_EQ(w.Chart1()->SeriesCount(), 0);
    }
    // The window replaced the damaged file by a sound one, and kept the damaged one beside it.
    EXPECT_TRUE(LoadChartFile(path).has_value());
    QFile kept(path + QStringLiteral(".bak"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), bytes);
  }
}

// A label format that would build endless texts (freezing the program at start-up) is refused
// alone: the title colour, the °C and the other settings of the same file stay.
TEST(DiagramChartFile, OneBadSettingKeepsEveryGoodOneAndIsNamed) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Chart.cfg"));
  ChartFile file{TfmDiagram2::DesignedLook(), {}, DesignedDiagramLook()};
  file.look.title.colour = QColor(0x12, 0x34, 0x56);
  file.look.left.labelFormat = QStringLiteral("%.99999f");
  file.diagram->celsius = true;
  const QByteArray bytes = ChartFileToJson(file);
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  {
    TfmDiagram2 w(path);
    EXPECT_EQ(w.LoadError().toStdString(),
              "Chart.cfg: these settings were refused and the designed ones are used instead: "
              "leftAxis: \"labelFormat\" has a precision above 17. The file as it was is kept as " +
                  (path + QStringLiteral(".bak")).toStdString() + ".");
    EXPECT_EQ(w.Chart1()->Look().title.colour, QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(w.Chart1()->Look().left.labelFormat, QString());
    EXPECT_TRUE(w.GetDiagramLook().celsius);
  }
  QFile kept(path + QStringLiteral(".bak"));
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), bytes);
  QStringList refused;
  const auto saved = LoadChartFile(path, nullptr, &refused);
  ASSERT_TRUE(saved.has_value());
  EXPECT_TRUE(refused.isEmpty());
  EXPECT_EQ(saved->look.title.colour, QColor(0x12, 0x34, 0x56));
  EXPECT_TRUE(saved->diagram->celsius);
}

}  // namespace
}  // namespace views
