// Renders every result window after a complete set of results to PNG (for looking at them and
// for the README) and checks what the pictures must hold. The pictures go to the folder named
// by BRELONA_SHOTS_DIR, or to "shots" under the current folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTableView>
#include <QXYSeries>

#include "calc/point_finder.h"
#include "sample_results.h"
#include "views/cells_window.h"
#include "views/chart_view.h"
#include "views/diagram_image.h"
#include "views/diagram_window.h"
#include "views/mosaic_window.h"
#include "views/points_report_window.h"

namespace views {
namespace {

QString ShotsDir() {
  const QString dir = qEnvironmentVariableIsEmpty("BRELONA_SHOTS_DIR")
                          ? QDir::current().filePath(QStringLiteral("shots"))
                          : qEnvironmentVariable("BRELONA_SHOTS_DIR");
  QDir().mkpath(dir);
  return dir;
}

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// Pixels of the picture that are pure enough red to be diagram points or node lines.
int RedPixels(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 200 && c.green() < 90 && c.blue() < 90) ++n;
    }
  }
  return n;
}

class WindowShots : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::FillEutectic(r);
    // The mosaic as a run draws it: every two-phase segment a run of pixels.
    r.Mosaic.Reset(410, 527);
    for (int k = 0; k < r.ZPoints.RowCount(); ++k) {
      const auto& row = r.ZPoints.Row(k);
      const int y = static_cast<int>(k * 10.0 * (527 - 10) / 600.0);
      for (size_t i = 0; i + 1 < row.size(); i += 2) {
        r.Mosaic.HorizontalRun(static_cast<int>(std::lround(410 * row[i + 1].X)),
                               static_cast<int>(std::lround(410 * row[i].X)), y, calc::Rgb{192, 220, 192});
      }
    }
  }
  std::function<void()> Finder() {
    return [this] {
      r.SpecialPoints.clear();
      calc::FindSpecialPoints(r.Cells(), "Temperature, K", r.Nodes, r.MemoLines, r.SpecialPoints);
    };
  }
  calc::Results r;
};

TEST_F(WindowShots, EveryWindowShowsAHandMadeEutectic) {
  TfmDiagram2 diagram{QString()};
  diagram.SetDecimalSeparator('.');
  diagram.BuildDiagram(r, calc::YParameter::Temperature, Finder(), true);
  Settle();
  ASSERT_EQ(r.Nodes.size(), 1u);  // the eutectic
  EXPECT_NEAR(r.Nodes[0].XLeft, 0.05, 1e-9);
  EXPECT_NEAR(r.Nodes[0].XRight, 0.95, 1e-9);
  ASSERT_EQ(diagram.Chart1()->SeriesCount(), 3);
  const QImage diagramShot = diagram.grab().toImage();
  EXPECT_EQ(diagramShot.size(), QSize(696, 525));
  EXPECT_GT(RedPixels(diagramShot), 500);

  TfmSpecPoints special;
  special.SetDecimalSeparator('.');
  special.SetMemoLines(r.MemoLines);
  special.ShowSpecialPoints(r.Nodes, calc::YParameter::Temperature, true);
  Settle();
  EXPECT_EQ(special.RowCount(), 2);
  EXPECT_FALSE(special.grab().isNull());

  TfmCells cells(&r.Cells());
  cells.show();
  Settle();
  EXPECT_FALSE(cells.grab().isNull());
  cells.chbNarrowCells()->setChecked(true);
  Settle();
  EXPECT_FALSE(cells.grab().isNull());

  TfmMDiagram mosaic;
  mosaic.SetRaster(&r.Mosaic);
  mosaic.show();
  Settle();
  EXPECT_FALSE(mosaic.grab().isNull());
}

TEST_F(WindowShots, DiagramPicturesForReports) {
  const QString dir = ShotsDir();
  DiagramImageOptions options;
  options.pngPath = QDir(dir).filePath(QStringLiteral("hand_made_diagram.png"));
  options.svgPath = CanWriteSvg() ? QDir(dir).filePath(QStringLiteral("hand_made_diagram.svg")) : QString();
  QFile::remove(options.pngPath);
  QFile::remove(options.svgPath);
  QString error;
  ASSERT_TRUE(RenderDiagram(r, calc::YParameter::Temperature, Finder(), options, &error))
      << error.toStdString();
  const QImage png(options.pngPath);
  ASSERT_FALSE(png.isNull());
  EXPECT_EQ(png.size(), options.size);
  // The grid's red points only when asked for: on a fine grid they bury the boundaries.
  EXPECT_LT(RedPixels(png), 200);
  options.gridPoints = true;
  ASSERT_TRUE(RenderDiagram(r, calc::YParameter::Temperature, Finder(), options, &error));
  EXPECT_GT(RedPixels(QImage(options.pngPath)), 500);
  if (CanWriteSvg()) {
    QFile svg(options.svgPath);
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(svg.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("<svg")));
    EXPECT_TRUE(text.contains(QStringLiteral("Phase diagram")));
  }
  // A folder that does not exist takes no picture, and the caller hears of it.
  options.pngPath = QDir(dir).filePath(QStringLiteral("no/such/folder/diagram.png"));
  options.svgPath.clear();
  EXPECT_FALSE(RenderDiagram(r, calc::YParameter::Temperature, nullptr, options, &error));
  EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace views
