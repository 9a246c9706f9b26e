// The path of one alloy in the program: the diagram's context menu asks for it at the
// composition under the click, the window shows the phase fractions with Scheil beside them or
// the activities, says what was crossed, and exports the plot.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "sample_run.h"
#include "views/chart_view.h"
#include "views/diagram_export.h"
#include "views/path_plot_window.h"

namespace views {
namespace {

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

TEST(PathPlot, TheDiagramsContextMenuAsksForThePathUnderTheClick) {
  auto problem = testing::SampleProblem(QStringLiteral("Simple eutectic"));
  ASSERT_TRUE(problem.has_value());
  testing::SampleRun run(*problem);
  run.Run();
  run.diagram.show();
  Settle();
  QSignalSpy asked(&run.diagram, &TfmDiagram2::pathRequested);
  QWidget* viewport = run.diagram.Chart1()->viewport();
  const QPoint at = run.diagram.Chart1()->PixelOf(QPointF(0.3, 800)).toPoint();
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
  QApplication::sendEvent(viewport, &event);
  Settle();
  QMenu* menu = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) menu = m;
  }
  ASSERT_NE(menu, nullptr);
  QAction* path = menu->actions().last();
  EXPECT_TRUE(path->text().startsWith(QStringLiteral("Cooling path at X = 0.3")))
      << path->text().toStdString();
  QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(path).center());
  Settle();
  ASSERT_EQ(asked.count(), 1);
  EXPECT_NEAR(asked.at(0).at(0).toDouble(), 0.3, 0.01);
}

TEST(PathPlot, TheWindowShowsThePathScheilAndActivitiesAndExports) {
  auto problem = testing::SampleProblem(QStringLiteral("Simple eutectic"));
  ASSERT_TRUE(problem.has_value());
  PathPlotWindow window;
  PathPlotOptions look;
  look.title = QStringLiteral("Simple eutectic");
  look.masses = {10, 30};  // for weight percent, once asked for
  QString error;
  ASSERT_TRUE(window.ShowPath(*problem, 0.2, look, &error)) << error.toStdString();
  Settle();
  // Both boundaries, the eutectic where the diagram's exact values put it, and Scheil's end.
  const QStringList lines = window.Summary().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 3) << window.Summary().toStdString();
  EXPECT_TRUE(lines[1].startsWith(QStringLiteral("631.343 K: S + L → S′ + S″")))
      << lines[1].toStdString();
  EXPECT_TRUE(lines[2].contains(QStringLiteral("freezes as a eutectic at 631.343 K")))
      << lines[2].toStdString();
  QStringList curves;
  for (const PlotCurve& c : window.Plot()->Plot().curves) curves << c.name;
  EXPECT_EQ(curves, (QStringList{"L", "S′", "S″", "solid, equilibrium", "solid, Scheil"}));
  EXPECT_EQ(window.Plot()->Plot().marks.size(), 2u);
  window.ScheilBox()->setChecked(false);
  EXPECT_EQ(window.Plot()->Plot().curves.size(), 3u);
  window.ViewBox()->setCurrentIndex(1);
  EXPECT_TRUE(window.Plot()->Plot().title.contains(QStringLiteral("activities")));
  EXPECT_EQ(window.Plot()->Plot().regions.size(), 3u);

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("activities.png"));
  // The diagram's export dialog: a size in inches at a resolution, remembered for the next.
  QTimer answer;  // sets the size, accepts the options, then names the file
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
      static_cast<QDialog*>(files)->accept();
    } else if (auto* dialog = qobject_cast<ExportDialog*>(QApplication::activeModalWidget())) {
      ExportChoices c;
      c.inches = true;
      c.width = 9;
      c.height = 5;
      c.dpi = 100;
      dialog->SetChoices(c);
      dialog->UpdatePreview();
      EXPECT_FALSE(dialog->Preview()->pixmap().isNull());
      dialog->accept();
    }
  });
  answer.start(20);
  window.ExportInteractively();
  answer.stop();
  const QImage written(path);
  EXPECT_EQ(written.size(), QSize(900, 500));
  EXPECT_EQ(written.dotsPerMeterX(), std::lround(100 / 0.0254));
  EXPECT_EQ(RememberedExportChoices().width, 9);

  // The diagram's composition unit switched to weight percent: the window follows.
  window.ViewBox()->setCurrentIndex(0);
  window.SetWeightPercent(true);
  EXPECT_EQ(window.Plot()->Plot().yTitle, QStringLiteral("Phase fraction (by mass)"));
  EXPECT_TRUE(window.Plot()->Plot().title.contains(QStringLiteral("wt%")));
  EXPECT_TRUE(window.Summary().contains(QStringLiteral("of the alloy's mass) freezes")))
      << window.Summary().toStdString();

  // A sheet that cannot be compiled says so instead of showing a path.
  calc::ProblemInput bad = *problem;
  bad.Functs = "GL = (1-X";
  EXPECT_FALSE(window.ShowPath(bad, 0.2, look, &error));
  EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace views
