#pragma once
// Pictures of the diagram as its renderer stands (zoom, look, layer), whether a window shows it
// or not: PNG of a chosen size and resolution, SVG and PDF, and the picture on the clipboard. The
// chart is laid out afresh for the picture's size, so labels are placed for it, and the diagram
// points are drawn by the layer one per pixel of the picture: a picture's size does not grow with
// the number of levels beyond what its pixels can show.

#include <QDialog>
#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <functional>
#include <string>
#include <utility>
#include <vector>

QT_BEGIN_NAMESPACE
class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QPainter;
class QSpinBox;
class QTimer;
class QWidget;
QT_END_NAMESPACE

namespace views {

class DiagramRenderer;
class TfmDiagram2;

enum class PictureFormat { Png, Svg, Pdf };

struct PictureOptions {
  PictureFormat format = PictureFormat::Png;
  QSize size{696, 482};  // in pixels of the picture
  int dpi = 96;          // fonts and lines scale with dpi / 96
  QString title;         // the SVG's or PDF's title
  double zoom = 1.0;     // texts, lines and marks drawn this much larger (the layout as on a
                         // screen 1/zoom times the picture's size)
  bool gridPoints = true;  // the grid's points ("Ordinary points"), when the window shows them
};

// The chart's size in screen pixels (1/96 inch) that a picture is laid out at: its size in
// inches times 96, divided by the zoom. Texts keep their size in points at any resolution.
QSizeF PictureLayoutSize(const PictureOptions& options);

// What the export dialog asks, kept from one export to the next (and by the desktop program
// from one start to the next).
struct ExportChoices {
  PictureFormat format = PictureFormat::Png;
  bool inches = false;  // width and height in inches, else in millimetres
  double width = 0;     // 0: the size the chart is shown at
  double height = 0;
  int dpi = 96;
  double textPoints = 0;    // the size of the axis numbers; 0: as shown (8.25 pt)
  bool gridPoints = false;  // the grid's points in the picture

  // The picture these choices give; `shown` is the chart's size on the screen, for a width or
  // height of 0.
  PictureOptions Options(QSize shown) const;
};
// The size of the axis numbers on the screen, in points (11 pixels at 96 dpi).
inline constexpr double kShownTextPoints = 8.25;

const ExportChoices& RememberedExportChoices();
// Replaces the remembered choices (what the desktop program read from its settings).
void SetRememberedExportChoices(const ExportChoices& choices);
// Called with the choices each time the dialog is accepted (the desktop program writes them to
// its settings).
void SetExportChoicesSaver(std::function<void(const ExportChoices&)> saver);
// The choices as "key=value" lines and back; ExportChoicesFromText keeps the defaults for a key
// that is missing or cannot be read.
std::vector<std::pair<std::string, std::string>> ExportChoicesToKeys(const ExportChoices& c);
ExportChoices ExportChoicesFromKeys(const std::function<std::string(const std::string&)>& read);

// The format named by a file's extension (png, svg, pdf; any case); Png for any other.
PictureFormat FormatOfPath(const QString& path);

// While it lives, the diagram's chart stays laid out for pictures: its point series are handed to
// the diagram's layer once, so several pictures in a row (a run's PNG, SVG and PDF) do not rebuild
// the chart's markers each time. Afterwards the chart is put back as it was, unless `restore` is
// false (a diagram drawn only for its pictures and dropped next). Pictures taken outside a session
// open one of their own.
class PictureSession {
 public:
  // Without `gridPoints` the pictures leave out the grid's points (series 0), which make thick
  // bands on a fine grid; the boundaries drawn through them stay.
  explicit PictureSession(DiagramRenderer& diagram, bool restore = true, bool gridPoints = true);
  explicit PictureSession(TfmDiagram2& window, bool restore = true, bool gridPoints = true);
  ~PictureSession();
  PictureSession(const PictureSession&) = delete;
  PictureSession& operator=(const PictureSession&) = delete;

 private:
  DiagramRenderer& diagram_;
  bool restore_;
  bool outer_;  // false inside another session of the same window: that one restores
  QSizeF oldSize_;
  std::vector<int> hidden_;
};

// False with `error` set when the size or resolution cannot be drawn.
bool CheckPictureOptions(const PictureOptions& options, QString* error = nullptr);

// Draws the diagram laid out for the picture `options` give, filling the painter's device (the
// one drawing of the diagram's pictures: files, clipboard, previews, the command line's).
void DrawDiagram(DiagramRenderer& diagram, QPainter& painter, const PictureOptions& options);

// Writes the picture; false with `error` set when it could not be written.
bool WriteDiagramPicture(DiagramRenderer& diagram, const QString& path,
                         const PictureOptions& options, QString* error = nullptr);
bool WriteDiagramPicture(TfmDiagram2& window, const QString& path, const PictureOptions& options,
                         QString* error = nullptr);

// Writes `bytes` as the whole file `path`, or nothing under that name; false with `error`
// ("Cannot write PATH: WHY.") when it could not.
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);
// An image as PNG file bytes.
QByteArray PngBytes(const QImage& image);

// The picture as an image (what PNG files and the clipboard get).
QImage DiagramPicture(DiagramRenderer& diagram, const PictureOptions& options);
QImage DiagramPicture(TfmDiagram2& window, QSize size, int dpi = 96, double zoom = 1.0);
QImage DiagramPicture(TfmDiagram2& window, const PictureOptions& options);
// The picture `options` give, drawn small enough to fit in `box` (the export dialog's preview):
// the same layout, fewer pixels.
QImage DiagramPreview(TfmDiagram2& window, const PictureOptions& options, QSize box);

// Puts the picture of the chart at its shown size on the clipboard.
void CopyDiagram(TfmDiagram2& window);

// Asks for the format, size (millimetres or inches), resolution and text size with a preview,
// then the file, and writes it; messages on failure. Before the window has a diagram of a run
// it says so and writes nothing.
void ExportDiagramInteractively(TfmDiagram2& window, QWidget* parent);

// What the export dialog exports: the picture's size on the screen (for a width or height
// left at 0), its preview drawn into a box, and whether the grid's points are a choice.
struct ExportSource {
  QSize shown;
  std::function<QImage(const PictureOptions&, QSize box)> preview;
  bool gridPoints = true;
};

// The dialog of ExportDiagramInteractively (and of the path window's plots), starting from the
// remembered choices; accepting it remembers them (and has them saved).
class ExportDialog : public QDialog {
  Q_OBJECT

 public:
  ExportDialog(TfmDiagram2& window, QWidget* parent);
  ExportDialog(ExportSource source, QWidget* parent);
  void accept() override;
  ExportChoices Choices() const;
  void SetChoices(const ExportChoices& choices);
  // The picture the dialog's values give, and why it cannot be drawn (empty when it can).
  PictureOptions Options() const;
  QString Problem() const;
  QLabel* Preview() const { return preview_; }
  // Draws the preview now (it is drawn a moment after the last change).
  void UpdatePreview();

 private:
  ExportSource source_;
  QComboBox* format_;
  QComboBox* unit_;
  QDoubleSpinBox* width_;
  QDoubleSpinBox* height_;
  QSpinBox* dpi_;
  QDoubleSpinBox* text_;
  QCheckBox* gridPoints_;
  QLabel* pixels_;
  QLabel* preview_;
  QDialogButtonBox* buttons_;
  QTimer* timer_;
  bool inches_ = false;
  void Changed();
};

}  // namespace views
