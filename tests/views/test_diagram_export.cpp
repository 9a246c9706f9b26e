// Pictures of the diagram window: PNG of the chosen size and resolution, SVG that parses, PDF
// that a PDF reader opens, the SVG of a 1000 x 1000 run kept small; the context menu and the
// picking of a point.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <QXYSeries>
#include <QXmlStreamReader>
#include <cmath>
#include <map>
#include <memory>

#include "sample_results.h"
#include "sample_run.h"
#include "views/chart_file.h"
#include "views/chart_look.h"
#include "views/chart_view.h"
#include "views/diagram_export.h"
#include "views/diagram_image.h"
#include "views/diagram_window.h"
#include "views/equilibrium_panel.h"

namespace views {
namespace {

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

struct Built {
  calc::Results results;
  TfmDiagram2 window{QString()};
  Built() {
    testing::FillEutectic(results, 40, 10);
    window.resize(696, 525);
    window.setWindowTitle(QStringLiteral("Eutectic"));
    window.BuildDiagram(results, calc::YParameter::Temperature, nullptr, true);
    Settle();
  }
};

TEST(DiagramExport, PngSvgAndPdfOpenAtTheChosenSize) {
  Built b;
  QTemporaryDir dir;
  const QSize chartBefore = b.window.Chart1()->size();

  PictureOptions png;
  png.size = QSize(1200, 800);
  png.dpi = 192;
  const QString pngPath = dir.filePath(QStringLiteral("d.png"));
  QString error;
  ASSERT_TRUE(WriteDiagramPicture(b.window, pngPath, png, &error)) << error.toStdString();
  const QImage image(pngPath);
  EXPECT_EQ(image.size(), QSize(1200, 800));
  EXPECT_NEAR(image.dotsPerMeterX() * 0.0254, 192, 1);
  // Something was drawn over the white page.
  int inked = 0;
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) inked += image.pixel(x, y) != 0xffffffffu;
  }
  EXPECT_GT(inked, image.width() * image.height() / 4 / 100);

  PictureOptions svg;
  svg.format = FormatOfPath(QStringLiteral("x.SVG"));
  ASSERT_EQ(svg.format, PictureFormat::Svg);
  const QString svgPath = dir.filePath(QStringLiteral("d.svg"));
  ASSERT_TRUE(WriteDiagramPicture(b.window, svgPath, svg, &error)) << error.toStdString();
  QFile svgFile(svgPath);
  ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&svgFile);
  int polylines = 0, texts = 0;
  while (!xml.atEnd()) {
    if (xml.readNext() == QXmlStreamReader::StartElement) {
      polylines += xml.name() == QLatin1String("polyline");
      texts += xml.name() == QLatin1String("text");
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_GE(polylines, 6);  // at least the six boundaries
  EXPECT_GE(texts, 5);

  PictureOptions pdf;
  pdf.format = PictureFormat::Pdf;
  pdf.size = QSize(960, 720);
  pdf.dpi = 144;
  const QString pdfPath = dir.filePath(QStringLiteral("d.pdf"));
  ASSERT_TRUE(WriteDiagramPicture(b.window, pdfPath, pdf, &error)) << error.toStdString();
  const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
  if (pdfinfo.isEmpty()) GTEST_SKIP() << "pdfinfo is not installed";
  QProcess info;
  info.start(pdfinfo, {pdfPath});
  ASSERT_TRUE(info.waitForFinished(20000));
  EXPECT_EQ(info.exitCode(), 0);
  const QString out = QString::fromUtf8(info.readAllStandardOutput());
  EXPECT_TRUE(out.contains(QStringLiteral("Pages:           1"))) << out.toStdString();
  // 960 x 720 pixels at 144 dpi are 480 x 360 points.
  EXPECT_TRUE(out.contains(QStringLiteral("480 x 360 pts"))) << out.toStdString();

  // The window is as it was: the picture was laid out apart from it.
  EXPECT_EQ(b.window.Chart1()->size(), chartBefore);
  EXPECT_TRUE(b.window.Chart1()->SeriesAt(0)->isVisible());
  // Refused sizes say why.
  png.size = QSize(5, 5);
  EXPECT_FALSE(WriteDiagramPicture(b.window, pngPath, png, &error));
  EXPECT_FALSE(error.isEmpty());
}

// Axis numbers carry no thousands separator in any locale ("1,300" and "1 300" read as two
// numbers on a temperature axis).
TEST(DiagramExport, AxisNumbersHaveNoThousandsSeparator) {
  if (!CanWriteSvg()) GTEST_SKIP() << "no SVG in this build";
  const QLocale before;
  for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates),
                                QLocale(QLocale::Russian, QLocale::Russia)}) {
    QLocale::setDefault(locale);
    Built b;
    QTemporaryDir dir;
    PictureOptions svg;
    svg.format = PictureFormat::Svg;
    const QString path = dir.filePath(QStringLiteral("t.svg"));
    ASSERT_TRUE(WriteDiagramPicture(b.window, path, svg));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral(">1200<"))) << locale.name().toStdString();
    EXPECT_FALSE(text.contains(locale.toString(1200))) << locale.name().toStdString();
  }
  QLocale::setDefault(before);
}

TEST(DiagramExport, SvgOfAThousandByThousandRunStaysSmall) {
  if (!CanWriteSvg()) GTEST_SKIP() << "no SVG in this build";
  auto problem = testing::SampleProblem(QStringLiteral("Simple eutectic"));
  ASSERT_TRUE(problem.has_value());
  problem->XPoints = 1000;
  problem->YPoints = 1000;
  testing::SampleRun run(*problem);
  run.Run();
  Settle();
  ASSERT_GT(run.diagram.Chart1()->SeriesAt(0)->count(), 2000);
  QTemporaryDir dir;
  PictureOptions svg;
  svg.format = PictureFormat::Svg;
  const QString path = dir.filePath(QStringLiteral("big.svg"));
  ASSERT_TRUE(WriteDiagramPicture(run.diagram, path, svg));
  EXPECT_LT(QFileInfo(path).size(), 200 * 1024);
}

// Records every event a widget gets that did not exist when it was made.
class NewWidgetEvents : public QObject {
 public:
  NewWidgetEvents() : known_(QApplication::allWidgets()) { qApp->installEventFilter(this); }
  ~NewWidgetEvents() override { qApp->removeEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent*) override {
    if (watched->isWidgetType() && !known_.contains(static_cast<QWidget*>(watched))) ++count;
    return false;
  }

 private:
  QWidgetList known_;
};

// The command line's pictures (RenderDiagram) are the window's export of the same run, byte for
// byte, drawn without making a widget.
TEST(DiagramExport, CommandLinePicturesAreTheWindowsExportWithoutAWidget) {
  const auto problem =
      testing::SampleProblem(QStringLiteral("Congruent compound AB with two eutectics"));
  ASSERT_TRUE(problem.has_value());
  testing::SampleRun run(*problem);
  run.Run();
  run.diagram.show();
  Settle();
  ASSERT_EQ(run.results.Nodes.size(), 2u);
  QTemporaryDir dir;
  auto bytes = [&](const char* name) {
    QFile file(dir.filePath(QString::fromLatin1(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  };
  DiagramImageOptions cli;
  cli.pngPath = dir.filePath(QStringLiteral("cli.png"));
  if (CanWriteSvg()) cli.svgPath = dir.filePath(QStringLiteral("cli.svg"));
  cli.caption = run.diagram.ProblemName();
  QString error;
  {
    NewWidgetEvents widgets;
    ASSERT_TRUE(RenderDiagram(run.results, problem->Yparameter, nullptr, cli, &error))
        << error.toStdString();
    EXPECT_EQ(widgets.count, 0);
  }
  PictureOptions window;
  window.gridPoints = false;  // as the command line draws by default
  window.title = cli.caption;
  ASSERT_TRUE(WriteDiagramPicture(run.diagram, dir.filePath(QStringLiteral("window.png")), window));
  EXPECT_FALSE(bytes("cli.png").isEmpty());
  EXPECT_EQ(bytes("cli.png"), bytes("window.png"));
  if (!CanWriteSvg()) return;
  window.format = PictureFormat::Svg;
  ASSERT_TRUE(WriteDiagramPicture(run.diagram, dir.filePath(QStringLiteral("window.svg")), window));
  EXPECT_EQ(bytes("cli.svg"), bytes("window.svg"));
}

// A chart file given to the pictures brings the diagram's look as well as the chart's.
TEST(DiagramExport, PicturesTakeTheChartFilesDiagramLook) {
  if (!CanWriteSvg()) GTEST_SKIP() << "no SVG in this build";
  QTemporaryDir dir;
  ChartFile file{TfmDiagram2::DesignedLook(), {}, DesignedDiagramLook()};
  file.diagram->heading.text = QStringLiteral("Heading of the file");
  file.diagram->celsius = true;
  DiagramImageOptions options;
  options.chartFile = dir.filePath(QStringLiteral("Chart.cfg"));
  ASSERT_TRUE(SaveChartFile(options.chartFile, file));
  calc::Results results;
  testing::FillEutectic(results, 40, 10);
  options.svgPath = dir.filePath(QStringLiteral("d.svg"));
  ASSERT_TRUE(RenderDiagram(results, calc::YParameter::Temperature, nullptr, options));
  QFile svg(options.svgPath);
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(svg.readAll());
  EXPECT_TRUE(text.contains(QStringLiteral("Heading of the file")));
  EXPECT_TRUE(text.contains(QStringLiteral("T, °C")));
}

// Opens the chart's context menu as a right click does and clicks its item `index`.
void ClickContextMenuItem(TfmDiagram2& window, int index) {
  QWidget* viewport = window.Chart1()->viewport();
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(60, 60),
                          viewport->mapToGlobal(QPoint(60, 60)));
  QApplication::sendEvent(viewport, &event);
  Settle();
  QMenu* menu = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) menu = m;
  }
  ASSERT_NE(menu, nullptr);
  QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                    menu->actionGeometry(menu->actions().at(index)).center());
  Settle();
}

TEST(DiagramExport, ContextMenuCopiesExportsAndAClickPicksThePoint) {
  Built b;
  b.window.show();
  Settle();
  QMenu* menu = b.window.MakeContextMenu();
  QStringList texts;
  for (QAction* a : menu->actions()) texts << a->text();
  EXPECT_EQ(texts, (QStringList{QStringLiteral("Export diagram…"), QStringLiteral("Copy")}));
  delete menu;
  // Clicked as a user does: the picture is taken after the menu is done with the click (taking
  // it during the click freed the menu under its own call).
  QApplication::clipboard()->clear();
  ClickContextMenuItem(b.window, 1);
  EXPECT_EQ(QApplication::clipboard()->image().size(), b.window.Chart1()->size());
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("menu.png"));
  QTimer answer;  // accepts the options, then names the file
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
      static_cast<QDialog*>(files)->accept();
    } else if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      dialog->accept();
    }
  });
  answer.start(20);
  ClickContextMenuItem(b.window, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(path); }, 10000));
  answer.stop();
  EXPECT_EQ(QImage(path).size(), b.window.Chart1()->size());
  Settle();

  QSignalSpy picked(&b.window, &TfmDiagram2::pointPicked);
  ChartView* chart = b.window.Chart1();
  const QPoint at = chart->PixelOf(QPointF(0.25, 1200)).toPoint();
  QTest::mouseClick(chart->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  ASSERT_EQ(picked.count(), 1);
  EXPECT_NEAR(picked.at(0).at(0).toDouble(), 0.25, 0.01);
  EXPECT_NEAR(picked.at(0).at(1).toDouble(), 1200, 5);
  EXPECT_FALSE(chart->IsZoomed());
  // Moving with Ctrl held follows the mouse; without it nothing is picked.
  QTest::mouseMove(chart->viewport(), at + QPoint(20, 0));
  QMouseEvent move(QEvent::MouseMove, at + QPoint(40, 0),
                   chart->viewport()->mapToGlobal(at + QPoint(40, 0)), Qt::NoButton, Qt::NoButton,
                   Qt::ControlModifier);
  QApplication::sendEvent(chart->viewport(), &move);
  ASSERT_EQ(picked.count(), 2);
  EXPECT_GT(picked.at(1).at(0).toDouble(), 0.25);
}

// The export dialog takes millimetres or inches and the size of the axis numbers in points: a
// picture is laid out as on a screen of its size in inches at any resolution (pixels at 600 dpi
// shrank the layout six-fold, "..." for every tick number), shown in a preview. Its values are
// remembered; before a run there is nothing to export.
TEST(DiagramExport, DialogInMillimetresWithTextInPointsRemembersAndNeedsARun) {
  Built b;
  auto layoutWidth = [](const PictureOptions& o) { return PictureLayoutSize(o).width(); };
  ExportChoices c;
  c.format = PictureFormat::Pdf;
  c.width = 100;
  c.height = 70;
  c.dpi = 600;
  c.textPoints = kShownTextPoints;
  {
    ExportDialog dialog(b.window, nullptr);
    dialog.SetChoices(c);
    EXPECT_EQ(dialog.Options().size, QSize(2362, 1654));
    EXPECT_NEAR(layoutWidth(dialog.Options()), 100 / 25.4 * 96, 0.5);
    dialog.UpdatePreview();
    const QImage preview = dialog.Preview()->pixmap().toImage();
    ASSERT_FALSE(preview.isNull());
    EXPECT_NEAR(double(preview.width()) / preview.height(), 100.0 / 70, 0.02);
    int inked = 0;
    for (int y = 0; y < preview.height(); ++y) {
      for (int x = 0; x < preview.width(); ++x) inked += preview.pixel(x, y) != 0xffffffffu;
    }
    EXPECT_GT(inked, preview.width() * preview.height() / 50);
    // Twice the text: laid out as on half the size. In inches: the same size.
    ExportChoices big = c;
    big.textPoints = 2 * kShownTextPoints;
    dialog.SetChoices(big);
    EXPECT_NEAR(layoutWidth(dialog.Options()), 50 / 25.4 * 96, 0.5);
    dialog.findChildren<QComboBox*>().at(1)->setCurrentIndex(1);
    EXPECT_NEAR(dialog.Choices().width, 100 / 25.4, 0.01);
    EXPECT_EQ(dialog.Options().size, QSize(2362, 1654));
  }

  // Accepted once, the values are the next dialog's, and go to the saver; they survive the
  // settings text (a value that cannot be read keeps its default).
  std::vector<ExportChoices> saved;
  SetExportChoicesSaver([&](const ExportChoices& s) { saved.push_back(s); });
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("mm.pdf"));
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
      static_cast<QDialog*>(files)->accept();
    } else if (auto* d = qobject_cast<ExportDialog*>(QApplication::activeModalWidget())) {
      d->SetChoices(c);
      d->accept();
    }
  });
  answer.start(20);
  ExportDiagramInteractively(b.window, nullptr);
  answer.stop();
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(ExportDialog(b.window, nullptr).Options().size, QSize(2362, 1654));
  std::map<std::string, std::string> keys;
  for (const auto& [k, v] : ExportChoicesToKeys(saved[0])) keys[k] = v;
  keys["Dpi"] = "many";
  const ExportChoices back = ExportChoicesFromKeys([&](const std::string& k) { return keys[k]; });
  EXPECT_EQ(back.format, PictureFormat::Pdf);
  EXPECT_EQ(back.width, 100);
  EXPECT_EQ(back.textPoints, kShownTextPoints);
  EXPECT_EQ(back.dpi, 96);
  SetExportChoicesSaver(nullptr);
  SetRememberedExportChoices({});

  // Before a run: the menu offers nothing, the command says why and asks nothing.
  TfmDiagram2 fresh{QString()};
  const std::unique_ptr<QMenu> menu(fresh.MakeContextMenu());
  for (QAction* a : menu->actions()) EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
  QStringList asked;
  QObject::disconnect(&answer, nullptr, nullptr, nullptr);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      asked << d->metaObject()->className();
      d->reject();
    }
  });
  answer.start(20);
  ExportDiagramInteractively(fresh, nullptr);
  answer.stop();
  EXPECT_EQ(asked, QStringList{QStringLiteral("QMessageBox")});

  const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
  if (pdfinfo.isEmpty()) GTEST_SKIP() << "pdfinfo is not installed";
  QProcess info;
  info.start(pdfinfo, {path});
  ASSERT_TRUE(info.waitForFinished(20000));
  // 100 x 70 mm are 283.46 x 198.43 points (the page is a whole number of points).
  const QString out = QString::fromUtf8(info.readAllStandardOutput());
  const auto m =
      QRegularExpression(QStringLiteral("Page size: *([0-9.]+) x ([0-9.]+) pts")).match(out);
  ASSERT_TRUE(m.hasMatch()) << out.toStdString();
  EXPECT_NEAR(m.captured(1).toDouble(), 283.46, 0.5);
  EXPECT_NEAR(m.captured(2).toDouble(), 198.43, 0.5);
}

TEST(EquilibriumPanel, ShowsThePhasesOfTheClickedPoint) {
  const auto problem = testing::SampleProblem(QStringLiteral("Simple eutectic"));
  ASSERT_TRUE(problem.has_value());
  EquilibriumPanel panel;
  ASSERT_TRUE(panel.SetProblem(*problem, '.'));
  panel.resize(420, 520);
  panel.Inspect(0.1, 800);
  ASSERT_EQ(panel.Current().Phases.size(), 2u);
  EXPECT_EQ(panel.Current().Phases[0].Name, "S");
  EXPECT_EQ(panel.Current().Phases[1].Name, "L");
  EXPECT_TRUE(panel.Summary()->text().contains(QStringLiteral("0.681")));  // the liquid's amount
  // Two curves, the hull, the tangent and the tie-line ends.
  EXPECT_EQ(panel.Chart()->chart()->series().size(), 5);
  // Each phase in its working-chart colour, named whole in the legend under the plot.
  for (QAbstractSeries* s : panel.Chart()->chart()->series().mid(0, 2)) {
    const int index = s->name() == QStringLiteral("L") ? 0 : 1;
    EXPECT_EQ(static_cast<QLineSeries*>(s)->pen().color(), PhaseColour(index)) << index;
    EXPECT_TRUE(panel.Legend()->text().contains(QStringLiteral("&nbsp;") + s->name()));
  }
  // G ticks at round numbers.
  const auto* g = static_cast<QValueAxis*>(panel.Chart()->chart()->axes(Qt::Vertical).at(0));
  const double step = (g->max() - g->min()) / (g->tickCount() - 1);
  const double mantissa = step / std::pow(10, std::floor(std::log10(step)));
  EXPECT_TRUE(mantissa == 1 || mantissa == 2 || mantissa == 2.5 || mantissa == 5) << step;
  EXPECT_NEAR(std::remainder(g->min(), step), 0, 1e-9 * step) << g->min();
  Settle();
  if (qEnvironmentVariableIsSet("BRELONA_SHOTS_DIR")) {
    panel.grab().save(qEnvironmentVariable("BRELONA_SHOTS_DIR") +
                      QStringLiteral("/equilibrium.png"));
  }
  panel.Inspect(0.5, 1000);
  ASSERT_EQ(panel.Current().Phases.size(), 1u);
  EXPECT_EQ(panel.Current().Phases[0].Amount, 1.0);
  EXPECT_TRUE(panel.Summary()->text().contains(QStringLiteral("1.000000")));
  EXPECT_EQ(panel.Chart()->chart()->axes(Qt::Horizontal).at(0)->titleText(), QStringLiteral("X"));
  // A sheet that names its components has them on the axis too.
  auto named = *problem;
  named.Functs = "% components: PB SN\n" + named.Functs;
  ASSERT_TRUE(panel.SetProblem(named, '.'));
  panel.Inspect(0.5, 1000);
  EXPECT_EQ(panel.Chart()->chart()->axes(Qt::Horizontal).at(0)->titleText(),
            QStringLiteral("X(SN)"));
  // The two sides of a miscibility gap are told apart as on the diagram.
  const auto gap = testing::SampleProblem(QStringLiteral("Solid miscibility gap under a lens"));
  ASSERT_TRUE(gap.has_value());
  ASSERT_TRUE(panel.SetProblem(*gap, '.'));
  panel.Inspect(0.5, 650);
  ASSERT_EQ(panel.Current().Phases.size(), 2u);
  EXPECT_TRUE(panel.Summary()->text().contains(QStringLiteral("S′")));
  EXPECT_TRUE(panel.Summary()->text().contains(QStringLiteral("S″")));
}

}  // namespace
}  // namespace views
