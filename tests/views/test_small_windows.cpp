#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include "views/mosaic_window.h"
#include "views/points_report_window.h"

namespace views {
namespace {

QStringList Row(const TfmSpecPoints& w, int row) {
  QStringList cells;
  for (int c = 0; c < 4; ++c) cells << w.Cell(c, row);
  return cells;
}

TEST(SpecialPointsTable, RowsForNoneOneAndThreeNodes) {
  const std::vector<calc::TNode> three = {
      {1234.5, 0.5, 0.25, 0.75}, {1100.0, 0.3333333, 0.125, 0.6666666}, {900.25, 0.9, 0.85, 0.95}};
  const struct {
    std::vector<calc::TNode> nodes;
    std::vector<QStringList> rows;  // data rows
  } cases[] = {
      {{}, {{"", "", "", ""}}},
      {{three[0]}, {{" 1234.5", " 0.25", " 0.5", " 0.75"}}},
      {three,
       {{" 1234.5", " 0.25", " 0.5", " 0.75"},
        {" 1100", " 0.125", " 0.333", " 0.667"},
        {" 900.25", " 0.85", " 0.9", " 0.95"}}},
  };
  TfmSpecPoints w;
  w.SetDecimalSeparator('.');
  for (const auto& c : cases) {
    w.ShowSpecialPoints(c.nodes, calc::YParameter::Temperature, false);
    ASSERT_EQ(w.RowCount(), static_cast<int>(c.rows.size()) + 1);
    EXPECT_EQ(Row(w, 0), (QStringList{" T, K", " X(лев.)", " X", " X(прав.)"}));
    for (size_t r = 0; r < c.rows.size(); ++r) EXPECT_EQ(Row(w, static_cast<int>(r) + 1), c.rows[r]) << r;
  }
  // Going back from three nodes to one leaves no stale row behind.
  w.ShowSpecialPoints({three[2]}, calc::YParameter::Temperature, false);
  EXPECT_EQ(w.RowCount(), 2);
  EXPECT_EQ(Row(w, 1), (QStringList{" 900.25", " 0.85", " 0.9", " 0.95"}));
}

TEST(SpecialPointsTable, PressureChangesOnlyTheFirstHeaderAndTheSeparatorIsTheLocales) {
  TfmSpecPoints w;
  w.SetDecimalSeparator(',');
  const std::vector<calc::TNode> nodes = {{12.5, 0.5, 0.25, 0.75}};
  w.ShowSpecialPoints(nodes, calc::YParameter::Temperature, false);
  const QStringList temperatureRow = Row(w, 1);
  w.ShowSpecialPoints(nodes, calc::YParameter::Pressure, false);
  EXPECT_EQ(w.Cell(0, 0), QStringLiteral(" P, бар"));
  EXPECT_EQ(Row(w, 1), temperatureRow);
  EXPECT_EQ(Row(w, 1), (QStringList{" 12,5", " 0,25", " 0,5", " 0,75"}));
}

QStringList TableRow(const QTableWidget* t, int r) {
  QStringList cells;
  for (int c = 0; c < t->columnCount(); ++c) cells << (t->item(r, c) ? t->item(r, c)->text() : QString());
  return cells;
}

TEST(SpecialPointsWindow, ExactValuesOnlyForARefinedRun) {
  TfmSpecPoints w;
  w.SetDecimalSeparator(',');
  calc::RefinedResults r;
  r.Ran = true;
  r.Invariants.push_back({"eutectic", "L(0.4059) → S(0.0092) + S(0.9908)", 631.34306,
                          {{"S", 0.00924355}, {"L", 0.405884}, {"S", 0.99075645}}, false});
  r.Invariants.push_back({"peritectic", "", 832.1, {{"S", 0.4}, {"S", 0.6}, {"L", 0.9}}, true});
  r.Transitions.push_back({0, 900, "L", "S", false});
  r.CongruentPoints.push_back({"congruent melting", {"L", "0.5"}, 0.5, 1249.98627, false});
  r.CriticalPoints.push_back({"S", 0.5, 781.7752553, false});
  w.SetRefined(r, calc::YParameter::Temperature);
  EXPECT_FALSE(w.ExactGroup()->isHidden());
  ASSERT_EQ(w.InvariantsTable()->rowCount(), 2);
  EXPECT_EQ(TableRow(w.InvariantsTable(), 0),
            (QStringList{"eutectic", "L(0.4059) → S(0.0092) + S(0.9908)", "631,343", "S 0,00924355",
                         "L 0,405884", "S 0,990756"}));
  EXPECT_EQ(w.InvariantsTable()->item(1, 0)->text(), QStringLiteral("peritectic (approximate)"));
  ASSERT_EQ(w.PointsTable()->rowCount(), 3);
  EXPECT_EQ(TableRow(w.PointsTable(), 0), (QStringList{"transition", "L → S", "0", "900"}));
  EXPECT_EQ(TableRow(w.PointsTable(), 1), (QStringList{"congruent melting", "L / 0.5", "0,5", "1249,986"}));
  EXPECT_EQ(TableRow(w.PointsTable(), 2), (QStringList{"critical point", "S", "0,5", "781,775"}));
  // A run without refinement empties and hides them again.
  w.SetRefined(calc::RefinedResults(), calc::YParameter::Temperature);
  EXPECT_TRUE(w.ExactGroup()->isHidden());
  EXPECT_EQ(w.InvariantsTable()->rowCount(), 0);
  EXPECT_EQ(w.PointsTable()->rowCount(), 0);
}

TEST(SpecialPointsWindow, MemoCommandAndClose) {
  TfmSpecPoints w;
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Special points coordinates"));
  w.SetMemoLines({"T(X = 0) = 1234.5 K", "T(X = 1) = 933.25 K"});
  EXPECT_EQ(w.Memo1()->toPlainText(), QStringLiteral("T(X = 0) = 1234.5 K\nT(X = 1) = 933.25 K"));
  // The command rebuilds the table but leaves the memo alone.
  w.ShowSpecialPoints({}, calc::YParameter::Temperature, true);
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.Memo1()->toPlainText().count('\n'), 1);
  EXPECT_TRUE(QFontInfo(w.Memo1()->font()).fixedPitch());
  EXPECT_EQ(QFontInfo(w.Memo1()->font()).pixelSize(), 13);
  const auto groups = w.findChildren<QGroupBox*>();
  QStringList captions;
  for (const QGroupBox* g : groups) captions << g->title();
  EXPECT_TRUE(captions.contains(QStringLiteral(" Ноды ")));
  EXPECT_TRUE(captions.contains(QStringLiteral(" Прочие особые точки  ")));
  w.CloseButton()->click();
  EXPECT_FALSE(w.isVisible());
}

TEST(MosaicWindow, ShowsTheRasterStretchedWithoutCopyingIt) {
  calc::MosaicRaster raster;
  raster.Reset(40, 20);
  raster.HorizontalRun(0, 19, 5, calc::Rgb{0, 0, 255});  // left half of row 5 blue
  TfmMDiagram w;
  w.SetRaster(&raster);
  w.resize(400, 300);
  w.show();
  QApplication::processEvents();
  // The image shares the raster's bytes, so a pixel drawn later shows without new wrapping.
  EXPECT_EQ(w.Image1()->Image().constBits(), raster.Bits());
  raster.SetPixel(39, 19, calc::Rgb{0, 255, 0});
  w.Refresh();
  const QImage shot = w.Image1()->grab().toImage();
  const double sx = shot.width() / 40.0, sy = shot.height() / 20.0;
  auto at = [&](double x, double y) { return shot.pixelColor(int((x + 0.5) * sx), int((y + 0.5) * sy)); };
  EXPECT_EQ(at(5, 5), QColor(0, 0, 255));
  EXPECT_EQ(at(30, 5), QColor(Qt::white));
  EXPECT_EQ(at(39, 19), QColor(0, 255, 0));
  EXPECT_GT(shot.width(), 300);  // stretched to the window, not 40 pixels wide

  // A run's set-up replaces the raster's bytes; the window follows.
  raster.Reset(80, 60);
  EXPECT_EQ(w.Image1()->Image().constBits(), raster.Bits());
  EXPECT_EQ(w.Image1()->Image().width(), 80);

  w.close();  // closing hides, the window stays
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Mosaic diagram"));
  EXPECT_GE(w.ClientSize().width(), 300);
}

}  // namespace
}  // namespace views
