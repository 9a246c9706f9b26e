// A run of a sample problem through the real engine with every result window attached; the
// windows are saved as pictures (to BRELONA_SHOTS_DIR, or "shots" under the current folder) to
// look at whenever the windows change.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QTabWidget>
#include <QTableWidget>
#include <QXYSeries>

#include "sample_run.h"
#include "views/chart_editor.h"
#include "views/chart_view.h"
#include "views/diagram_image.h"

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

// A real run of a sample problem with every window attached; the pictures are the ones to look
// at when the windows change.
TEST(SampleRunShots, CongruentCompoundWithTwoEutectics) {
  const auto problem = testing::SampleProblem(QStringLiteral("Congruent compound AB with two eutectics"));
  ASSERT_TRUE(problem.has_value());
  testing::SampleRun run(*problem);
  run.Run();
  Settle();
  EXPECT_TRUE(run.messages.empty()) << run.messages.front();
  EXPECT_GT(run.levels, problem->YPoints);
  // Two eutectics: two nodes, two node lines, the diagram shown with the problem's name.
  ASSERT_EQ(run.results.Nodes.size(), 2u);
  ASSERT_EQ(run.diagram.Chart1()->SeriesCount(), 4);
  EXPECT_TRUE(run.diagram.isVisible());
  EXPECT_EQ(run.diagram.windowTitle(), QStringLiteral("Congruent compound AB with two eutectics"));
  EXPECT_TRUE(run.diagram.Chart1()->TitleAt(2).startsWith(QStringLiteral("Node at ")));
  EXPECT_EQ(run.cells.Model()->rowCount(), run.results.Cells().RowCount() - 1);
  EXPECT_EQ(run.mosaic.Image1()->Image().constBits(), run.results.Mosaic.Bits());

  const QString dir = ShotsDir();
  auto save = [&dir](QWidget& w, const char* name) {
    w.show();
    Settle();
    EXPECT_TRUE(w.grab().save(QDir(dir).filePath(QString::fromLatin1(name)))) << name;
  };
  save(run.diagram, "diagram_window.png");
  run.ShowSpecialPoints();
  save(run.specialPoints, "special_points_window.png");
  EXPECT_EQ(run.specialPoints.RowCount(), 3);
  // The exact values of the same run: the two eutectics, the melting points and AB's.
  EXPECT_EQ(run.specialPoints.InvariantsTable()->rowCount(), 2);
  EXPECT_EQ(run.specialPoints.PointsTable()->rowCount(), 3);
  save(run.cells, "cells_window.png");
  run.cells.chbNarrowCells()->setChecked(true);
  save(run.cells, "cells_window_narrow.png");
  save(run.mosaic, "mosaic_window.png");

  // The appearance editor of the diagram, each of its pages.
  QList<SeriesData> series = run.diagram.Chart1()->AllSeries();
  ChartEditor editor(run.diagram.Chart1()->Look(), series);
  for (int page = 0; page < editor.Pages()->count(); ++page) {
    editor.Pages()->setCurrentIndex(page);
    save(editor, QStringLiteral("chart_editor_%1.png").arg(page).toLatin1().constData());
  }
  editor.hide();

  DiagramImageOptions options;
  options.pngPath = QDir(dir).filePath(QStringLiteral("diagram.png"));
  QString error;
  EXPECT_TRUE(RenderDiagram(run.results, problem->Yparameter, nullptr, options, &error)) << error.toStdString();
}

}  // namespace
}  // namespace views
