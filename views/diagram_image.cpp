#include "views/diagram_image.h"

#include <QApplication>
#include <QChart>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <future>

#include "views/chart_canvas.h"
#include "views/chart_file.h"
#include "views/diagram_export.h"
#include "views/diagram_renderer.h"
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

// Messages of the offscreen platform that say nothing to the user of a command-line program.
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
  DiagramRenderer diagram;
  // Its diagram points are left to the pictures' own drawing: no marker items for them.
  diagram.SetPicturesOnly(true);
  if (!options.caption.isEmpty()) diagram.SetProblemName(options.caption);
  diagram.SetDecimalSeparator(options.decimalSeparator);
  ChartCanvas* canvas = diagram.Canvas();
  if (!options.chartFile.isEmpty()) {
    const ChartFile base{DiagramRenderer::DesignedLook(), {}, diagram.GetDiagramLook()};
    if (const auto file = LoadChartFile(options.chartFile, nullptr, nullptr, base))
      diagram.ApplyChartFile(*file);
  }
  // Axis labels written with the picture's decimal separator, whatever the machine's locale.
  canvas->chart()->setLocale(
      AxisNumberLocale(options.decimalSeparator == ',' ? QLocale(QLocale::Russian) : QLocale::c()));
  diagram.SetComponentNames(options.names);
  diagram.SetLeftOut(options.leftOut);
  diagram.SetComponentMasses(options.masses);
  if (options.celsius || options.weightPercent) {
    DiagramLook look = diagram.GetDiagramLook();
    look.celsius = options.celsius;
    look.weightPercent = options.weightPercent;
    diagram.SetDiagramLook(look);
  }
  diagram.Build(results, yParameter, findSpecialPoints);
  canvas->chart()->resize(options.size);

  // Each picture is drawn from the layer's polylines and one marker per pixel (see
  // diagram_export.h), so its size does not grow with the number of levels.
  PictureOptions picture;
  picture.size = options.size;
  picture.dpi = options.dpi;
  picture.title = options.caption.isEmpty() ? QStringLiteral("Phase diagram") : options.caption;
  // The diagram is dropped after its pictures.
  PictureSession session(diagram, /*restore=*/false, options.gridPoints);
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
          std::async(std::launch::async, [image = DiagramPicture(diagram, picture), path = *path] {
            QString why;
            WriteWholeFile(path, PngBytes(image), &why);
            return why;
          });
      continue;
    }
    if (!WriteDiagramPicture(diagram, *path, picture, &failed)) errors << failed;
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
