#include "views/diagram_image.h"

#include <QApplication>
#include <QChart>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <future>

#include "views/chart_file.h"
#include "views/chart_view.h"
#include "views/diagram_export.h"
#include "views/diagram_window.h"
#include "views/translation.h"

namespace views {

bool CanWriteSvg() {
#ifdef BRELONA_HAVE_SVG
  return true;
#else
  return false;
#endif
}

namespace {

QtMessageHandler previousHandler = nullptr;

// The offscreen platform says for every hidden window that it cannot pass on size hints; that
// says nothing to the user of a command-line program.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support")) ||
      message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) {
    return;
  }
  if (previousHandler) previousHandler(type, context, message);
}

bool Render(const calc::Results& results, calc::YParameter yParameter,
            const std::function<void()>& findSpecialPoints, const DiagramImageOptions& options,
            QString* error) {
  TfmDiagram2 window{QString()};  // no chart file of its own: nothing is saved afterwards
  window.setAttribute(Qt::WA_DontShowOnScreen);
  // Nobody sees this window: its own painting would only cost time. The pictures are drawn
  // from the chart's scene, which does not depend on it.
  window.setUpdatesEnabled(false);
  window.SetPicturesOnly(true);
  if (!options.caption.isEmpty()) window.setWindowTitle(options.caption);
  window.SetDecimalSeparator(options.decimalSeparator);
  if (!options.chartFile.isEmpty()) {
    if (const auto file = LoadChartFile(options.chartFile)) window.Chart1()->SetLook(file->look);
  }
  // Axis labels written with the picture's decimal separator, whatever the machine's locale.
  window.Chart1()->chart()->setLocale(
      AxisNumberLocale(options.decimalSeparator == ',' ? QLocale(QLocale::Russian) : QLocale::c()));
  window.SetComponentNames(options.names);
  window.SetLeftOut(options.leftOut);
  window.SetComponentMasses(options.masses);
  if (options.celsius || options.weightPercent) {
    DiagramLook look = window.GetDiagramLook();
    look.celsius = options.celsius;
    look.weightPercent = options.weightPercent;
    window.SetDiagramLook(look);
  }
  window.BuildDiagram(results, yParameter, findSpecialPoints, /*show=*/false);
  ChartView* chart = window.Chart1();
  window.show();
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
  // The chart takes the window less the button panel; size the window so the chart gets
  // exactly the size asked for.
  window.resize(options.size.width(), options.size.height() + (window.height() - chart->height()));
  for (int i = 0; i < 3; ++i) QApplication::processEvents();

  // Each picture is drawn from the layer's polylines and one marker per pixel (see
  // diagram_export.h), so its size does not grow with the number of levels.
  PictureOptions picture;
  picture.size = options.size;
  picture.dpi = options.dpi;
  picture.title = options.caption.isEmpty() ? QStringLiteral("Phase diagram") : options.caption;
  // The window is closed after its pictures.
  PictureSession session(window, /*restore=*/false, options.gridPoints);
  // Every picture is tried; the errors of all that failed are given, one a line.
  QStringList errors;
  std::future<QString> pngWritten;
  const std::pair<const QString*, PictureFormat> outputs[] = {
      {&options.pngPath, PictureFormat::Png},
      {&options.svgPath, PictureFormat::Svg},
      {&options.pdfPath, PictureFormat::Pdf}};
  for (const auto& [path, format] : outputs) {
    if (path->isEmpty()) continue;
    if (format == PictureFormat::Svg && !CanWriteSvg()) {
      errors << QStringLiteral("this build cannot write SVG");
      continue;
    }
    picture.format = format;
    QString failed;
    if (format == PictureFormat::Png) {
      // Encoded on another thread while the other pictures are drawn (image writers are
      // reentrant; the drawing stays on this one).
      if (!CheckPictureOptions(picture, &failed)) {
        errors << failed;
        continue;
      }
      pngWritten =
          std::async(std::launch::async,
                     [image = DiagramPicture(window, picture.size, picture.dpi), path = *path] {
                       QString why;
                       WriteWholeFile(path, PngBytes(image), &why);
                       return why;
                     });
      continue;
    }
    if (!WriteDiagramPicture(window, *path, picture, &failed)) errors << failed;
  }
  if (pngWritten.valid()) {
    if (const QString why = pngWritten.get(); !why.isEmpty()) errors.prepend(why);
  }
  if (errors.isEmpty()) return true;
  if (error) *error = errors.join(QLatin1Char('\n'));
  return false;
}

}  // namespace

bool RenderDiagram(const calc::Results& results, calc::YParameter yParameter,
                   const std::function<void()>& findSpecialPoints, const DiagramImageOptions& options,
                   QString* error) {
  previousHandler = qInstallMessageHandler(QuietHandler);
  if (!QCoreApplication::instance()) {
    // Made once and kept for the rest of the process: a command-line run may draw many
    // diagrams, and Qt does not like its application made and destroyed over and over.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "brelona";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    FollowSystemLanguage();
  } else if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    if (error) *error = QStringLiteral("pictures need a widget application");
    qInstallMessageHandler(previousHandler);
    return false;
  }
  const bool ok = Render(results, yParameter, findSpecialPoints, options, error);
  qInstallMessageHandler(previousHandler);
  return ok;
}

}  // namespace views
