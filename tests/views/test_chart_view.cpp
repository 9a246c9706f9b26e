#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <QXYSeries>
#include <cmath>

#include "views/chart_editor.h"
#include "views/chart_file.h"
#include "views/chart_view.h"

namespace views {
namespace {

// A shown 600 x 400 chart with one point series spanning X 0..1 and Y 300..1500.
class ChartViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view.resize(600, 400);
    view.show();
    const int s = view.AddSeries(SeriesKind::Points, QStringLiteral("points"), SeriesLook{});
    view.SeriesAt(s)->replace(QList<QPointF>{{0.0, 300.0}, {0.5, 900.0}, {1.0, 1500.0}});
    view.Rescale();
    Settle();
  }
  static void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }
  ChartView view;
};

TEST_F(ChartViewTest, AutomaticAxesFollowTheDataAndFixedOnesKeepTheirRange) {
  EXPECT_DOUBLE_EQ(view.BottomAxis()->min(), 0.0);
  EXPECT_DOUBLE_EQ(view.BottomAxis()->max(), 1.0);
  // 300..1500 widened to the labels every 200 around it.
  EXPECT_DOUBLE_EQ(view.LeftAxis()->min(), 200.0);
  EXPECT_DOUBLE_EQ(view.LeftAxis()->max(), 1600.0);
  EXPECT_DOUBLE_EQ(view.LeftAxis()->tickInterval(), 200.0);

  ChartLook look = view.Look();
  // An increment far too fine for the range gives way to a chosen one.
  look.left.increment = 1e-9;
  view.SetLook(look);
  EXPECT_DOUBLE_EQ(view.LeftAxis()->tickInterval(), 200.0);
  look.left.increment = 0;
  look.left.automatic = false;
  look.left.min = 200;
  look.left.max = 400;
  look.bottom.increment = 0.25;
  view.SetLook(look);
  EXPECT_DOUBLE_EQ(view.LeftAxis()->min(), 200.0);
  EXPECT_DOUBLE_EQ(view.LeftAxis()->max(), 400.0);
  EXPECT_DOUBLE_EQ(view.BottomAxis()->tickInterval(), 0.25);
  EXPECT_EQ(view.BottomAxis()->labelFormat(), QStringLiteral("%.2f"));

  // Without data an automatic axis shows 0..1; a single value gets room around it.
  view.RemoveAllSeries();
  look.left.automatic = true;
  view.SetLook(look);
  EXPECT_DOUBLE_EQ(view.BottomAxis()->min(), 0.0);
  EXPECT_DOUBLE_EQ(view.BottomAxis()->max(), 1.0);
  const int s = view.AddSeries(SeriesKind::Line, QStringLiteral("flat"), SeriesLook{});
  view.SeriesAt(s)->replace(QList<QPointF>{{0.2, 1000.0}, {0.8, 1000.0}});
  view.Rescale();
  EXPECT_LT(view.BottomAxis()->min(), 0.2 + 1e-12);
  EXPECT_LT(view.LeftAxis()->min(), 1000.0);
  EXPECT_GT(view.LeftAxis()->max(), 1000.0);
}

TEST(NiceSteps, StepsAndLabelFormats) {
  const struct {
    double span, step;
    const char* format;
  } cases[] = {{1.0, 0.1, "%.1f"},   {1200.0, 200.0, "%.0f"}, {0.003, 0.0005, "%.4f"},
               {17.0, 2.0, "%.0f"},  {45.0, 5.0, "%.0f"},     {1e6, 1e5, "%.0f"}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(NiceStep(c.span), c.step) << c.span;
    EXPECT_EQ(LabelFormatFor(c.step), QString::fromLatin1(c.format)) << c.step;
  }
  EXPECT_EQ(LabelFormatFor(0.125), QStringLiteral("%.3f"));
  EXPECT_DOUBLE_EQ(NiceStep(0.0), 1.0);
}

TEST_F(ChartViewTest, PixelsAndValuesMapBothWaysAndTheBorderIsInside) {
  const QRectF plot = view.PlotRect();
  ASSERT_GT(plot.width(), 100);
  ASSERT_GT(plot.height(), 100);
  for (const QPointF value : {QPointF(0.5, 900.0), QPointF(0.1, 1400.0), QPointF(1.0, 300.0)}) {
    const QPointF back = view.ValueAt(view.PixelOf(value));
    EXPECT_NEAR(back.x(), value.x(), 1.0 / plot.width()) << value.x();
    EXPECT_NEAR(back.y(), value.y(), 1200.0 / plot.height()) << value.y();
  }
  const QPointF topLeft(std::round(plot.left()), std::round(plot.top()));
  const QPointF bottomRight(std::round(plot.right()), std::round(plot.bottom()));
  EXPECT_TRUE(view.InPlot(topLeft));
  EXPECT_TRUE(view.InPlot(bottomRight));
  EXPECT_FALSE(view.InPlot(topLeft - QPointF(2, 0)));
  EXPECT_FALSE(view.InPlot(topLeft - QPointF(0, 2)));
  EXPECT_FALSE(view.InPlot(bottomRight + QPointF(2, 0)));
  EXPECT_FALSE(view.InPlot(bottomRight + QPointF(0, 2)));
}

TEST_F(ChartViewTest, RubberBandZoomIsReportedAndUndone) {
  QSignalSpy spy(&view, &ChartView::zoomChanged);
  const QRectF plot = view.PlotRect();
  const QPoint from = plot.topLeft().toPoint() + QPoint(20, 20);
  const QPoint to = from + QPoint(100, 80);
  QTest::mousePress(view.viewport(), Qt::LeftButton, {}, from);
  QTest::mouseMove(view.viewport(), from + QPoint(50, 40));
  QTest::mouseMove(view.viewport(), to);
  QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, to);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_TRUE(spy.at(0).at(0).toBool());
  EXPECT_TRUE(view.IsZoomed());
  EXPECT_LT(view.BottomAxis()->max() - view.BottomAxis()->min(), 0.5);

  // Rescaling a zoomed chart keeps the zoom.
  view.Rescale();
  EXPECT_LT(view.BottomAxis()->max() - view.BottomAxis()->min(), 0.5);

  view.UndoZoom();
  ASSERT_EQ(spy.count(), 2);
  EXPECT_FALSE(spy.at(1).at(0).toBool());
  EXPECT_FALSE(view.IsZoomed());
  EXPECT_DOUBLE_EQ(view.BottomAxis()->min(), 0.0);
  EXPECT_DOUBLE_EQ(view.BottomAxis()->max(), 1.0);

  // Undoing an unzoomed chart reports nothing.
  view.UndoZoom();
  EXPECT_EQ(spy.count(), 2);
}

TEST_F(ChartViewTest, TitleAndFootSitAboveAndBelowThePlotAsAligned) {
  ChartLook look = view.Look();
  look.title.text = QStringLiteral("T, K");
  look.title.align = TextAlign::Left;
  look.foot.text = QStringLiteral("Мольная доля (X) компонента B в системе A-B");
  look.foot.align = TextAlign::Right;
  view.SetLook(look);
  Settle();
  const QRectF plot = view.chart()->plotArea();
  const QRectF title = view.TitleItem()->sceneBoundingRect();
  const QRectF foot = view.FootItem()->sceneBoundingRect();
  EXPECT_TRUE(view.TitleItem()->isVisible());
  EXPECT_LT(title.bottom(), plot.top());
  EXPECT_LT(title.left(), plot.left());
  EXPECT_GT(foot.top(), plot.bottom());
  EXPECT_NEAR(foot.right(), plot.right(), 1.0);
  EXPECT_LE(foot.bottom(), view.height());

  look.foot.align = TextAlign::Center;
  look.title.visible = false;
  view.SetLook(look);
  Settle();
  EXPECT_FALSE(view.TitleItem()->isVisible());
  EXPECT_NEAR(view.FootItem()->sceneBoundingRect().center().x(), view.chart()->plotArea().center().x(), 1.0);
}

TEST_F(ChartViewTest, SeriesLooksRoundTripThroughTheChart) {
  const SeriesLook looks[] = {
      SeriesLook{Qt::blue, MarkerShape::Rectangle, 9, true, Qt::green, 2, Qt::DotLine, true},
      SeriesLook{Qt::red, MarkerShape::Triangle, 3, true, Qt::red, 1, Qt::SolidLine, false},
  };
  for (const SeriesLook& look : looks) {
    view.SetSeriesLook(0, look);
    EXPECT_TRUE(view.SeriesLookAt(0) == look);
  }
  const int line = view.AddSeries(SeriesKind::Line, QStringLiteral("line"),
                                  SeriesLook{Qt::magenta, MarkerShape::Circle, 4, false, Qt::magenta, 3, Qt::DashLine, true});
  EXPECT_EQ(view.KindAt(line), SeriesKind::Line);
  EXPECT_EQ(view.SeriesLookAt(line).colour, QColor(Qt::magenta));
  EXPECT_EQ(view.SeriesLookAt(line).penStyle, Qt::DashLine);
  EXPECT_FALSE(view.SeriesLookAt(line).markersVisible);

  // All series out and back in again.
  const QList<SeriesData> all = view.AllSeries();
  view.SetAllSeries(all);
  ASSERT_EQ(view.SeriesCount(), 2);
  EXPECT_TRUE(view.AllSeries()[0] == all[0]);
  EXPECT_TRUE(view.AllSeries()[1] == all[1]);
}

// Runs `edit` on the modal editor once it is open, then closes it with `accept`.
void AnswerEditor(std::function<void(ChartEditor*)> edit, bool accept) {
  QTimer::singleShot(0, [edit, accept] {
    auto* editor = qobject_cast<ChartEditor*>(QApplication::activeModalWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Pages()->currentIndex(), 0);  // opens on its first page
    edit(editor);
    accept ? editor->accept() : editor->reject();
  });
}

TEST_F(ChartViewTest, EditorAppliesItsChangesOnOkOnly) {
  const ChartLook before = view.Look();
  auto edit = [](ChartEditor* e) {
    // The automatic left axis offers the range it shows (200..1600) as a start.
    EXPECT_DOUBLE_EQ(e->findChild<QDoubleSpinBox*>(QStringLiteral("leftMax"))->value(), 1600.0);
    e->findChild<QPlainTextEdit*>(QStringLiteral("titleText"))->setPlainText(QStringLiteral("P, бар"));
    e->findChild<QComboBox*>(QStringLiteral("titleAlign"))->setCurrentIndex(2);
    e->findChild<ColourButton*>(QStringLiteral("plotArea"))->SetColour(QColor(0xee, 0xee, 0xff));
    e->findChild<QCheckBox*>(QStringLiteral("leftAutomatic"))->setChecked(false);
    e->findChild<QDoubleSpinBox*>(QStringLiteral("leftMin"))->setValue(100);
    e->findChild<QDoubleSpinBox*>(QStringLiteral("leftMax"))->setValue(2000);
    e->findChild<QDoubleSpinBox*>(QStringLiteral("bottomIncrement"))->setValue(0.2);
    e->findChild<QSpinBox*>(QStringLiteral("bottomMinorTicks"))->setValue(3);
    e->findChild<QCheckBox*>(QStringLiteral("leftGrid"))->setChecked(false);
    e->findChild<QLineEdit*>(QStringLiteral("leftFormat"))->setText(QStringLiteral("%.1f"));
    e->findChild<ColourButton*>(QStringLiteral("seriesColour"))->SetColour(Qt::darkGreen);
    e->findChild<QComboBox*>(QStringLiteral("marker"))->setCurrentIndex(1);
    e->findChild<QDoubleSpinBox*>(QStringLiteral("markerSize"))->setValue(8);
  };

  AnswerEditor(edit, /*accept=*/false);
  EXPECT_FALSE(EditChart(&view));
  EXPECT_TRUE(view.Look() == before);
  EXPECT_DOUBLE_EQ(view.LeftAxis()->max(), 1600.0);
  EXPECT_EQ(view.SeriesLookAt(0).colour, SeriesLook{}.colour);

  AnswerEditor(edit, /*accept=*/true);
  EXPECT_TRUE(EditChart(&view));
  const ChartLook after = view.Look();
  EXPECT_EQ(after.title.text, QStringLiteral("P, бар"));
  EXPECT_EQ(after.title.align, TextAlign::Right);
  EXPECT_EQ(view.TitleItem()->text(), QStringLiteral("P, бар"));
  EXPECT_EQ(after.plotArea, QColor(0xee, 0xee, 0xff));
  EXPECT_EQ(view.chart()->plotAreaBackgroundBrush().color(), QColor(0xee, 0xee, 0xff));
  EXPECT_DOUBLE_EQ(view.LeftAxis()->min(), 100.0);
  EXPECT_DOUBLE_EQ(view.LeftAxis()->max(), 2000.0);
  EXPECT_DOUBLE_EQ(view.BottomAxis()->tickInterval(), 0.2);
  EXPECT_EQ(view.BottomAxis()->minorTickCount(), 3);
  EXPECT_FALSE(view.LeftAxis()->isGridLineVisible());
  EXPECT_EQ(view.LeftAxis()->labelFormat(), QStringLiteral("%.1f"));
  EXPECT_EQ(view.SeriesLookAt(0).colour, QColor(Qt::darkGreen));
  EXPECT_EQ(view.SeriesLookAt(0).marker, MarkerShape::Rectangle);
  EXPECT_DOUBLE_EQ(view.SeriesLookAt(0).markerSize, 8.0);
  // Untouched members stay as they were.
  EXPECT_TRUE(after.foot == before.foot);
  EXPECT_TRUE(after.bottom.automatic);
}

// The left axis drawn with `format`, labels shown.
QImage WithLabelFormat(ChartView& view, const QString& format) {
  ChartLook look = view.Look();
  look.left.labelFormat = format;
  view.SetLook(look);
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
  return view.grab().toImage();
}

// What the checker accepts is drawn; the formats it refuses that Qt does not choke on draw
// blank labels, like the baseline "0.0".
TEST_F(ChartViewTest, AcceptedLabelFormatsDrawLabelsAndRefusedOnesWouldNot) {
  const QImage blank = WithLabelFormat(view, QStringLiteral("0.0"));
  for (const char* accepted : {"%.2f K", "%.0d", "%.3e", "%.3g", "%.17g", "T = %.0f"}) {
    ASSERT_EQ(LabelFormatProblem(QString::fromUtf8(accepted)), QString()) << accepted;
    EXPECT_NE(WithLabelFormat(view, QString::fromUtf8(accepted)), blank) << accepted;
  }
  for (const char* refused : {"%5.2f", "%s", "%.1x", "%.1F", "0.00", "%g", "%d"}) {
    ASSERT_NE(LabelFormatProblem(QString::fromUtf8(refused)), QString()) << refused;
    EXPECT_EQ(WithLabelFormat(view, QString::fromUtf8(refused)), blank) << refused;
  }
}

TEST(ChartEditorLabelFormat, OkOnlyWhileBothFormatsCanBeDrawn) {
  ChartEditor editor(ChartLook{}, {});
  auto* ok = editor.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
  auto* problem = editor.findChild<QLabel*>(QStringLiteral("formatProblem"));
  auto* bottom = editor.findChild<QLineEdit*>(QStringLiteral("bottomFormat"));
  auto* left = editor.findChild<QLineEdit*>(QStringLiteral("leftFormat"));
  bottom->setText(QStringLiteral("%.99999f"));
  left->setText(QStringLiteral("0.0"));
  EXPECT_FALSE(ok->isEnabled());
  EXPECT_TRUE(problem->text().contains(QStringLiteral("%.1f K"))) << "the hint of the notation";
  bottom->setText(QStringLiteral(" %.2f "));
  EXPECT_FALSE(ok->isEnabled()) << "the left one is still wrong";
  left->clear();
  EXPECT_TRUE(ok->isEnabled());
  EXPECT_TRUE(problem->isHidden());
  EXPECT_EQ(editor.Look().bottom.labelFormat, QStringLiteral("%.2f"));
}

TEST(ChartEditorSeries, EachSeriesKeepsItsOwnEdits) {
  QList<SeriesData> series(2);
  series[0].title = QStringLiteral("a");
  series[1].title = QStringLiteral("b");
  series[1].kind = SeriesKind::Line;
  ChartEditor editor(ChartLook{}, series);
  auto* list = editor.findChild<QListWidget*>(QStringLiteral("seriesList"));
  auto* colour = editor.findChild<ColourButton*>(QStringLiteral("seriesColour"));
  auto* width = editor.findChild<QDoubleSpinBox*>(QStringLiteral("penWidth"));
  colour->SetColour(Qt::blue);
  list->setCurrentRow(1);
  colour->SetColour(Qt::yellow);
  width->setValue(4);
  list->setCurrentRow(0);
  EXPECT_EQ(colour->Colour(), QColor(Qt::blue));  // series a shown again with its own colour
  const QList<SeriesLook> looks = editor.SeriesLooks();
  ASSERT_EQ(looks.size(), 2);
  EXPECT_EQ(looks[0].colour, QColor(Qt::blue));
  EXPECT_EQ(looks[1].colour, QColor(Qt::yellow));
  EXPECT_EQ(looks[1].penColour, QColor(Qt::yellow));  // a line is drawn in its colour
  EXPECT_DOUBLE_EQ(looks[1].penWidth, 4.0);
  EXPECT_DOUBLE_EQ(looks[0].penWidth, 1.0);
}

}  // namespace
}  // namespace views
