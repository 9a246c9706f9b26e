#include "views/diagram_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QChart>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
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
#include "views/diagram_renderer.h"
#include "views/diagram_window.h"

namespace views {

namespace {

constexpr int kMaxSide = 20000;

// Diagrams whose chart is laid out for pictures now (see PictureSession).
QSet<const DiagramRenderer*>& Sessions() {
  static QSet<const DiagramRenderer*> sessions;
  return sessions;
}

// Lays the chart out at `logical` size with its point series drawn by the layer (one marker per
// `pixel`), runs `paint` with the scene and the chart's rectangle. Outside a session, one is
// opened for this picture alone, so everything is put back afterwards.
template <typename Paint>
void WithPictureLayout(DiagramRenderer& diagram, QSizeF logical, double pixel, bool gridPoints,
                       Paint paint) {
  std::optional<PictureSession> own;
  if (!Sessions().contains(&diagram)) own.emplace(diagram, true, gridPoints);
  QChart* chart = diagram.Canvas()->chart();
  diagram.Overlay()->SetOwnPixel(pixel);
  chart->resize(logical);
  // The chart lays itself out on a posted request; only that is delivered here, so a picture
  // runs nothing else that was queued (no event loop, no other object's events).
  QCoreApplication::sendPostedEvents(chart, QEvent::LayoutRequest);
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
  const QSizeF layout = PictureLayoutSize(o);
  if (!(o.zoom >= 0.1 && o.zoom <= 20) || layout.width() < 16 || layout.height() < 16) {
    if (error) *error = QObject::tr("The texts are too large for the picture's size.");
    return false;
  }
  return true;
}

namespace {

// Draws the chart laid out at `logical` screen pixels, `scale` picture pixels to each.
void Draw(DiagramRenderer& diagram, QPainter& painter, QSizeF logical, double scale,
          bool gridPoints) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.scale(scale, scale);
  WithPictureLayout(
      diagram, logical, 1 / scale, gridPoints, [&](QGraphicsScene* scene, const QRectF& source) {
        scene->render(&painter, QRectF(QPointF(0, 0), logical), source, Qt::IgnoreAspectRatio);
      });
}

}  // namespace

void DrawDiagram(DiagramRenderer& diagram, QPainter& painter, const PictureOptions& o) {
  const QSizeF logical = PictureLayoutSize(o);
  Draw(diagram, painter, logical, o.size.width() / logical.width(), o.gridPoints);
}

namespace {

QImage WhiteImage(QSize size, int dpi) {
  // Opaque: the picture has a white ground, so its PNG needs no alpha channel (a tenth smaller,
  // and quicker to write).
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  const int dotsPerMeter = static_cast<int>(std::lround(dpi / 0.0254));
  image.setDotsPerMeterX(dotsPerMeter);
  image.setDotsPerMeterY(dotsPerMeter);
  return image;
}

}  // namespace

PictureSession::PictureSession(TfmDiagram2& window, bool restore, bool gridPoints)
    : PictureSession(window.Renderer(), restore, gridPoints) {}

PictureSession::PictureSession(DiagramRenderer& diagram, bool restore, bool gridPoints)
    : diagram_(diagram), restore_(restore), outer_(!Sessions().contains(&diagram)) {
  if (!outer_) return;
  Sessions().insert(&diagram);
  ChartCanvas* view = diagram.Canvas();
  oldSize_ = view->chart()->size();
  std::vector<std::pair<QList<QPointF>, SeriesLook>> sets;
  for (int i = 0; i < view->SeriesCount(); ++i) {
    QXYSeries* s = view->SeriesAt(i);
    if (view->KindAt(i) != SeriesKind::Points) continue;
    const bool left = i == 0 && !gridPoints;  // series 0: the grid's points
    if (view->DrawnElsewhere(i)) {
      if (left) continue;
      sets.push_back({view->PointsAt(i), view->SeriesLookAt(i)});
      continue;
    }
    if (!s->isVisible()) continue;
    if (!left) sets.push_back({s->points(), view->SeriesLookAt(i)});
    s->setVisible(false);
    hidden_.push_back(i);
  }
  diagram.Overlay()->SetOwnPoints(std::move(sets), 1);
}

PictureSession::~PictureSession() {
  if (!outer_) return;
  Sessions().remove(&diagram_);
  if (!restore_) return;
  diagram_.Overlay()->SetOwnPoints({}, 1);
  ChartCanvas* view = diagram_.Canvas();
  for (int i : hidden_) view->SeriesAt(i)->setVisible(true);
  view->chart()->resize(oldSize_);
  QCoreApplication::sendPostedEvents(view->chart(), QEvent::LayoutRequest);
  diagram_.Overlay()->Relayout();
}

PictureFormat FormatOfPath(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("svg")) return PictureFormat::Svg;
  if (suffix == QLatin1String("pdf")) return PictureFormat::Pdf;
  return PictureFormat::Png;
}

QSizeF PictureLayoutSize(const PictureOptions& o) {
  const double scale = o.dpi / 96.0 * (o.zoom > 0 ? o.zoom : 1.0);
  return QSizeF(o.size.width() / scale, o.size.height() / scale);
}

QImage DiagramPicture(TfmDiagram2& window, QSize size, int dpi, double zoom) {
  PictureOptions o;
  o.size = size;
  o.dpi = dpi;
  o.zoom = zoom;
  return DiagramPicture(window, o);
}

QImage DiagramPicture(TfmDiagram2& window, const PictureOptions& o) {
  return DiagramPicture(window.Renderer(), o);
}

QImage DiagramPicture(DiagramRenderer& diagram, const PictureOptions& o) {
  const QSize size = o.size;
  QImage image = WhiteImage(size, o.dpi);
  QPainter painter(&image);
  DrawDiagram(diagram, painter, o);
  painter.end();
  return image;
}

QImage DiagramPreview(TfmDiagram2& window, const PictureOptions& options, QSize box) {
  const QSizeF logical = PictureLayoutSize(options);
  const double scale = std::min(box.width() / logical.width(), box.height() / logical.height());
  const QSize size(std::max(1, static_cast<int>(logical.width() * scale)),
                   std::max(1, static_cast<int>(logical.height() * scale)));
  QImage image = WhiteImage(size, 96);
  QPainter painter(&image);
  Draw(window.Renderer(), painter, logical, scale, options.gridPoints);
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
  return WriteDiagramPicture(window.Renderer(), path, options, error);
}

bool WriteDiagramPicture(DiagramRenderer& diagram, const QString& path,
                         const PictureOptions& options, QString* error) {
  if (!CheckPictureOptions(options, error)) return false;
  const QString title = options.title.isEmpty() ? diagram.ProblemName() : options.title;
  auto cannot = [&] {
    if (error) *error = QObject::tr("Cannot write %1.").arg(path);
    return false;
  };
  switch (options.format) {
    case PictureFormat::Png:
      return WriteWholeFile(path, PngBytes(DiagramPicture(diagram, options)), error);
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
      DrawDiagram(diagram, painter, options);
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
      DrawDiagram(diagram, painter, options);
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

namespace {

ExportChoices& Remembered() {
  static ExportChoices choices;
  return choices;
}

std::function<void(const ExportChoices&)>& Saver() {
  static std::function<void(const ExportChoices&)> saver;
  return saver;
}

constexpr double kMmPerInch = 25.4;
const char* const kFormatNames[] = {"png", "svg", "pdf"};

}  // namespace

PictureOptions ExportChoices::Options(QSize shown) const {
  PictureOptions o;
  o.format = format;
  o.dpi = dpi;
  const double perUnit = inches ? 1.0 : 1.0 / kMmPerInch;  // inches per unit
  auto pixels = [&](double side, int shownSide) {
    return side > 0 ? static_cast<int>(std::lround(side * perUnit * dpi))
                    : static_cast<int>(std::lround(shownSide * dpi / 96.0));
  };
  o.size = QSize(pixels(width, shown.width()), pixels(height, shown.height()));
  o.zoom = textPoints > 0 ? textPoints / kShownTextPoints : 1.0;
  o.gridPoints = gridPoints;
  return o;
}

const ExportChoices& RememberedExportChoices() {
  return Remembered();
}

void SetRememberedExportChoices(const ExportChoices& choices) {
  Remembered() = choices;
}

void SetExportChoicesSaver(std::function<void(const ExportChoices&)> saver) {
  Saver() = std::move(saver);
}

std::vector<std::pair<std::string, std::string>> ExportChoicesToKeys(const ExportChoices& c) {
  auto number = [](double v) { return QString::number(v, 'g', 10).toStdString(); };
  return {{"Format", kFormatNames[static_cast<int>(c.format)]},
          {"Unit", c.inches ? "in" : "mm"},
          {"Width", number(c.width)},
          {"Height", number(c.height)},
          {"Dpi", std::to_string(c.dpi)},
          {"TextPoints", number(c.textPoints)},
          {"GridPoints", c.gridPoints ? "1" : "0"}};
}

ExportChoices ExportChoicesFromKeys(const std::function<std::string(const std::string&)>& read) {
  ExportChoices c;
  const std::string format = QString::fromStdString(read("Format")).toLower().toStdString();
  for (int i = 0; i < 3; ++i) {
    if (format == kFormatNames[i]) c.format = static_cast<PictureFormat>(i);
  }
  c.inches = read("Unit") == "in";
  auto number = [&](const char* key, double lo, double hi, double fallback) {
    bool ok = false;
    const double v = QString::fromStdString(read(key)).toDouble(&ok);
    return ok && v >= lo && v <= hi ? v : fallback;
  };
  c.width = number("Width", 0, 1e5, 0);
  c.height = number("Height", 0, 1e5, 0);
  c.dpi = static_cast<int>(number("Dpi", 24, 2400, 96));
  c.textPoints = number("TextPoints", 0, 200, 0);
  c.gridPoints = read("GridPoints") == "1";
  return c;
}

ExportDialog::ExportDialog(TfmDiagram2& window, QWidget* parent)
    : ExportDialog(ExportSource{window.Chart1()->size(),
                                [&window](const PictureOptions& options, QSize box) {
                                  return DiagramPreview(window, options, box);
                                }},
                   parent) {}

ExportDialog::ExportDialog(ExportSource source, QWidget* parent)
    : QDialog(parent), source_(std::move(source)) {
  setWindowTitle(tr("Export diagram"));
  auto* form = new QFormLayout;
  format_ = new QComboBox;
  format_->addItems({tr("PNG picture"), tr("SVG drawing"), tr("PDF document")});
  unit_ = new QComboBox;
  unit_->addItems({tr("millimetres"), tr("inches")});
  auto side = [] {
    auto* box = new QDoubleSpinBox;
    box->setRange(1, 99999);
    box->setDecimals(3);
    return box;
  };
  width_ = side();
  height_ = side();
  dpi_ = new QSpinBox;
  dpi_->setRange(24, 2400);
  text_ = new QDoubleSpinBox;
  text_->setRange(2, 96);
  text_->setDecimals(2);
  text_->setSingleStep(0.5);
  gridPoints_ = new QCheckBox(tr("Grid points"));
  gridPoints_->setVisible(source_.gridPoints);
  pixels_ = new QLabel;
  form->addRow(tr("Format"), format_);
  form->addRow(tr("Unit"), unit_);
  form->addRow(tr("Width"), width_);
  form->addRow(tr("Height"), height_);
  form->addRow(tr("Resolution, dpi"), dpi_);
  form->addRow(tr("Axis numbers, pt"), text_);
  form->addRow(QString(), gridPoints_);
  form->addRow(QString(), pixels_);
  preview_ = new QLabel;
  preview_->setFixedSize(360, 260);
  preview_->setAlignment(Qt::AlignCenter);
  preview_->setFrameShape(QFrame::StyledPanel);
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* sides = new QHBoxLayout;
  sides->addLayout(form);
  sides->addWidget(preview_);
  auto* whole = new QVBoxLayout(this);
  whole->addLayout(sides);
  whole->addWidget(buttons_);
  timer_ = new QTimer(this);
  timer_->setSingleShot(true);
  timer_->setInterval(150);
  connect(timer_, &QTimer::timeout, this, &ExportDialog::UpdatePreview);

  SetChoices(Remembered());
  connect(format_, &QComboBox::currentIndexChanged, this, &ExportDialog::Changed);
  connect(unit_, &QComboBox::currentIndexChanged, this, [this](int index) {
    // The same size in the other unit.
    const double factor = index == 1 ? 1 / kMmPerInch : kMmPerInch;
    if (inches_ == (index == 1)) return;
    inches_ = index == 1;
    const QSignalBlocker w(width_), h(height_);
    width_->setValue(width_->value() * factor);
    height_->setValue(height_->value() * factor);
    Changed();
  });
  for (QDoubleSpinBox* box : {width_, height_, text_}) {
    connect(box, &QDoubleSpinBox::valueChanged, this, &ExportDialog::Changed);
  }
  connect(dpi_, &QSpinBox::valueChanged, this, &ExportDialog::Changed);
  connect(gridPoints_, &QCheckBox::toggled, this, &ExportDialog::Changed);
  Changed();
}

void ExportDialog::SetChoices(const ExportChoices& c) {
  const QSignalBlocker blockers[] = {QSignalBlocker(format_),    QSignalBlocker(unit_),
                                     QSignalBlocker(width_),     QSignalBlocker(height_),
                                     QSignalBlocker(dpi_),       QSignalBlocker(text_),
                                     QSignalBlocker(gridPoints_)};
  format_->setCurrentIndex(static_cast<int>(c.format));
  inches_ = c.inches;
  unit_->setCurrentIndex(c.inches ? 1 : 0);
  const QSize shown = source_.shown.expandedTo(QSize(16, 16));
  const double perInch = c.inches ? 1.0 : kMmPerInch;
  width_->setValue(c.width > 0 ? c.width : shown.width() / 96.0 * perInch);
  height_->setValue(c.height > 0 ? c.height : shown.height() / 96.0 * perInch);
  dpi_->setValue(c.dpi);
  text_->setValue(c.textPoints > 0 ? c.textPoints : kShownTextPoints);
  gridPoints_->setChecked(c.gridPoints);
  Changed();
}

ExportChoices ExportDialog::Choices() const {
  ExportChoices c;
  c.format = static_cast<PictureFormat>(format_->currentIndex());
  c.inches = inches_;
  c.width = width_->value();
  c.height = height_->value();
  c.dpi = dpi_->value();
  c.textPoints = text_->value();
  c.gridPoints = gridPoints_->isChecked();
  return c;
}

PictureOptions ExportDialog::Options() const {
  return Choices().Options(source_.shown);
}

QString ExportDialog::Problem() const {
  QString error;
  CheckPictureOptions(Options(), &error);
  return error;
}

void ExportDialog::Changed() {
  const PictureOptions o = Options();
  const QString problem = Problem();
  pixels_->setText(problem.isEmpty() ? tr("%1 × %2 pixels").arg(o.size.width()).arg(o.size.height())
                                     : problem);
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(problem.isEmpty());
  timer_->start();
}

void ExportDialog::UpdatePreview() {
  timer_->stop();
  if (!Problem().isEmpty()) {
    preview_->setPixmap(QPixmap());
    return;
  }
  preview_->setPixmap(QPixmap::fromImage(source_.preview(Options(), preview_->size())));
}

void ExportDialog::accept() {
  Remembered() = Choices();
  if (Saver()) Saver()(Remembered());
  QDialog::accept();
}

void ExportDiagramInteractively(TfmDiagram2& window, QWidget* parent) {
  QWidget* owner = parent ? parent : &window;
  if (!window.HasDiagram()) {
    QMessageBox::information(
        owner, QObject::tr("Export diagram"),
        QObject::tr("There is no diagram to export yet: run a problem first."));
    return;
  }
  ExportDialog dialog(window, owner);
  if (dialog.exec() != QDialog::Accepted) return;

  const PictureOptions options = dialog.Options();
  const int index = static_cast<int>(options.format);
  const QString suffix = QString::fromLatin1(kFormatNames[index]);
  QString name = window.ProblemName().isEmpty() ? QStringLiteral("diagram") : window.ProblemName();
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  const QStringList kinds{QObject::tr("PNG picture"), QObject::tr("SVG drawing"),
                          QObject::tr("PDF document")};
  QString path = QFileDialog::getSaveFileName(
      owner, QObject::tr("Export diagram"), name + QLatin1Char('.') + suffix,
      kinds.at(index) + QStringLiteral(" (*.") + suffix + QLatin1Char(')'));
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QLatin1Char('.') + suffix;
  QString error;
  if (!WriteDiagramPicture(window, path, options, &error)) {
    QMessageBox::warning(owner, QObject::tr("Export diagram"), error);
  }
}

}  // namespace views
