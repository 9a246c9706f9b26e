#include "views/diagram_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QChart>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGraphicsScene>
#include <QMessageBox>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSet>
#include <QSpinBox>
#include <QXYSeries>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#ifdef BRELONA_HAVE_SVG
#include <QSvgGenerator>
#endif

#include "views/chart_view.h"
#include "views/diagram_overlay.h"
#include "views/diagram_window.h"

namespace views {

namespace {

constexpr int kMaxSide = 20000;

// Windows whose chart is laid out for pictures now (see PictureSession).
QSet<const TfmDiagram2*>& Sessions() {
  static QSet<const TfmDiagram2*> sessions;
  return sessions;
}

// Lays the chart out at `logical` size with its point series drawn by the layer (one marker per
// `pixel`), runs `paint` with the scene and the chart's rectangle. Outside a session, one is
// opened for this picture alone, so everything is put back afterwards.
template <typename Paint>
void WithPictureLayout(TfmDiagram2& window, QSizeF logical, double pixel, Paint paint) {
  std::optional<PictureSession> own;
  if (!Sessions().contains(&window)) own.emplace(window);
  QChart* chart = window.Chart1()->chart();
  window.Overlay()->SetOwnPixel(pixel);
  chart->resize(logical);
  QCoreApplication::sendPostedEvents();
  paint(chart->scene(), QRectF(chart->scenePos(), logical));
}

}  // namespace

bool CheckPictureOptions(const PictureOptions& o, QString* error) {
  if (o.size.width() < 16 || o.size.height() < 16 || o.size.width() > kMaxSide ||
      o.size.height() > kMaxSide) {
    if (error)
      *error = QObject::tr("The picture size must be 16 to %1 pixels a side.").arg(kMaxSide);
    return false;
  }
  if (o.dpi < 24 || o.dpi > 2400) {
    if (error) *error = QObject::tr("The resolution must be 24 to 2400 dpi.");
    return false;
  }
  return true;
}

namespace {

void Draw(TfmDiagram2& window, QPainter& painter, QSize size, int dpi) {
  const double scale = dpi / 96.0;
  const QSizeF logical(size.width() / scale, size.height() / scale);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.scale(scale, scale);
  WithPictureLayout(window, logical, 1 / scale, [&](QGraphicsScene* scene, const QRectF& source) {
    scene->render(&painter, QRectF(QPointF(0, 0), logical), source, Qt::IgnoreAspectRatio);
  });
}

}  // namespace

PictureSession::PictureSession(TfmDiagram2& window, bool restore)
    : window_(window), restore_(restore), outer_(!Sessions().contains(&window)) {
  if (!outer_) return;
  Sessions().insert(&window);
  ChartView* view = window.Chart1();
  oldSize_ = view->chart()->size();
  std::vector<std::pair<QList<QPointF>, SeriesLook>> sets;
  for (int i = 0; i < view->SeriesCount(); ++i) {
    QXYSeries* s = view->SeriesAt(i);
    if (view->KindAt(i) != SeriesKind::Points) continue;
    if (view->DrawnElsewhere(i)) {
      sets.push_back({view->PointsAt(i), view->SeriesLookAt(i)});
      continue;
    }
    if (!s->isVisible()) continue;
    sets.push_back({s->points(), view->SeriesLookAt(i)});
    s->setVisible(false);
    hidden_.push_back(i);
  }
  window.Overlay()->SetOwnPoints(std::move(sets), 1);
}

PictureSession::~PictureSession() {
  if (!outer_) return;
  Sessions().remove(&window_);
  if (!restore_) return;
  window_.Overlay()->SetOwnPoints({}, 1);
  ChartView* view = window_.Chart1();
  for (int i : hidden_) view->SeriesAt(i)->setVisible(true);
  view->chart()->resize(oldSize_);
  QCoreApplication::sendPostedEvents();
  window_.Overlay()->Relayout();
}

PictureFormat FormatOfPath(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("svg")) return PictureFormat::Svg;
  if (suffix == QLatin1String("pdf")) return PictureFormat::Pdf;
  return PictureFormat::Png;
}

QImage DiagramPicture(TfmDiagram2& window, QSize size, int dpi) {
  // Opaque: the picture has a white ground, so its PNG needs no alpha channel (a tenth smaller,
  // and quicker to write).
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  const int dotsPerMeter = static_cast<int>(std::lround(dpi / 0.0254));
  image.setDotsPerMeterX(dotsPerMeter);
  image.setDotsPerMeterY(dotsPerMeter);
  QPainter painter(&image);
  Draw(window, painter, size, dpi);
  painter.end();
  return image;
}

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error) {
  // Through a temporary file renamed at the end: a failed write (a full disk) leaves neither
  // an empty nor a cut file under the name, and says why.
  static std::atomic<int> made{0};
  const QByteArray name = QFile::encodeName(path);
  QByteArray temp;
  int fd = -1;
  for (int tries = 0; fd < 0 && tries < 100; ++tries) {
    temp = name + '.' + QByteArray::number(::getpid()) + '-' + QByteArray::number(made++) + ".tmp";
    fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  int err = fd < 0 ? errno : 0;
  for (qsizetype done = 0; !err && done < bytes.size();) {
    const ssize_t n =
        ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (n < 0 && errno != EINTR) err = errno;
    if (n > 0) done += n;
  }
  if (fd >= 0 && ::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(temp.constData(), name.constData()) != 0) err = errno;
  if (!err) return true;
  if (fd >= 0) ::unlink(temp.constData());
  if (error)
    *error =
        QObject::tr("Cannot write %1: %2.").arg(path, QString::fromLocal8Bit(std::strerror(err)));
  return false;
}

QByteArray PngBytes(const QImage& image) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return buffer.data();
}

bool WriteDiagramPicture(TfmDiagram2& window, const QString& path, const PictureOptions& options,
                         QString* error) {
  if (!CheckPictureOptions(options, error)) return false;
  const QString title = options.title.isEmpty() ? window.windowTitle() : options.title;
  auto cannot = [&] {
    if (error) *error = QObject::tr("Cannot write %1.").arg(path);
    return false;
  };
  switch (options.format) {
    case PictureFormat::Png:
      return WriteWholeFile(path, PngBytes(DiagramPicture(window, options.size, options.dpi)),
                            error);
    case PictureFormat::Svg: {
#ifdef BRELONA_HAVE_SVG
      // Written to memory first: the generator opens a group for every change of pen, brush or
      // transform, and the chart leaves hundreds of them empty; they are dropped.
      QBuffer buffer;
      QSvgGenerator svg;
      svg.setOutputDevice(&buffer);
      svg.setSize(options.size);
      svg.setViewBox(QRect(QPoint(0, 0), options.size));
      svg.setResolution(options.dpi);
      svg.setTitle(title);
      QPainter painter;
      if (!painter.begin(&svg)) return cannot();
      Draw(window, painter, options.size, options.dpi);
      if (!painter.end()) return cannot();
      static const QRegularExpression emptyGroup(QStringLiteral("<g [^>]*>\\s*</g>\\s*"));
      return WriteWholeFile(path, QString::fromUtf8(buffer.data()).remove(emptyGroup).toUtf8(),
                            error);
#else
      if (error) *error = QObject::tr("This build cannot write SVG.");
      return false;
#endif
    }
    case PictureFormat::Pdf: {
      QBuffer buffer;
      buffer.open(QIODevice::WriteOnly);
      QPdfWriter pdf(&buffer);
      pdf.setResolution(options.dpi);
      pdf.setPageSize(QPageSize(QSizeF(options.size.width() * 72.0 / options.dpi,
                                       options.size.height() * 72.0 / options.dpi),
                                QPageSize::Point, QString(), QPageSize::ExactMatch));
      pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
      pdf.setTitle(title);
      pdf.setCreator(QStringLiteral("Brelona"));
      QPainter painter;
      if (!painter.begin(&pdf)) return cannot();
      Draw(window, painter, options.size, options.dpi);
      if (!painter.end()) return cannot();
      return WriteWholeFile(path, buffer.data(), error);
    }
  }
  return cannot();
}

void CopyDiagram(TfmDiagram2& window) {
  const QSize size = window.Chart1()->size();
  QApplication::clipboard()->setImage(DiagramPicture(window, size.expandedTo(QSize(16, 16))));
}

void ExportDiagramInteractively(TfmDiagram2& window, QWidget* parent) {
  QDialog dialog(parent ? parent : &window);
  dialog.setWindowTitle(QObject::tr("Export diagram"));
  auto* form = new QFormLayout(&dialog);
  auto* format = new QComboBox;
  format->addItems(
      {QObject::tr("PNG picture"), QObject::tr("SVG drawing"), QObject::tr("PDF document")});
  auto spin = [](int lo, int hi, int value) {
    auto* box = new QSpinBox;
    box->setRange(lo, hi);
    box->setValue(value);
    return box;
  };
  const QSize shown = window.Chart1()->size();
  QSpinBox* width = spin(16, kMaxSide, std::max(16, shown.width()));
  QSpinBox* height = spin(16, kMaxSide, std::max(16, shown.height()));
  QSpinBox* dpi = spin(24, 2400, 96);
  form->addRow(QObject::tr("Format"), format);
  form->addRow(QObject::tr("Width, pixels"), width);
  form->addRow(QObject::tr("Height, pixels"), height);
  form->addRow(QObject::tr("Resolution, dpi"), dpi);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return;

  PictureOptions options;
  options.format = static_cast<PictureFormat>(format->currentIndex());
  options.size = QSize(width->value(), height->value());
  options.dpi = dpi->value();
  const char* const suffixes[] = {"png", "svg", "pdf"};
  const QString suffix = QString::fromLatin1(suffixes[format->currentIndex()]);
  QString name = window.windowTitle().isEmpty() ? QStringLiteral("diagram") : window.windowTitle();
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  QString path = QFileDialog::getSaveFileName(
      parent ? parent : &window, QObject::tr("Export diagram"), name + QLatin1Char('.') + suffix,
      format->currentText() + QStringLiteral(" (*.") + suffix + QLatin1Char(')'));
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QLatin1Char('.') + suffix;
  QString error;
  if (!WriteDiagramPicture(window, path, options, &error)) {
    QMessageBox::warning(parent ? parent : &window, QObject::tr("Export diagram"), error);
  }
}

}  // namespace views
