#pragma once
// Pictures of the diagram window's chart as it stands (zoom, look, layer): PNG of a chosen size
// and resolution, SVG and PDF, and the picture on the clipboard. The chart is laid out afresh
// for the picture's size, so labels are placed for it, and the diagram points are drawn by the
// layer one per pixel of the picture: a picture's size does not grow with the number of
// levels beyond what its pixels can show.

#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <vector>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace views {

class TfmDiagram2;

enum class PictureFormat { Png, Svg, Pdf };

struct PictureOptions {
  PictureFormat format = PictureFormat::Png;
  QSize size{696, 482};  // in pixels of the picture
  int dpi = 96;          // fonts and lines scale with dpi / 96
  QString title;         // the SVG's or PDF's title
};

// The format named by a file's extension (png, svg, pdf; any case); Png for any other.
PictureFormat FormatOfPath(const QString& path);

// While it lives, the window's chart stays laid out for pictures: its point series are handed to
// the diagram's layer once, so several pictures in a row (a run's PNG, SVG and PDF) do not rebuild
// the chart's markers each time. Afterwards the window is put back as it was, unless `restore` is
// false (a window drawn only for its pictures and closed next). Pictures taken outside a session
// open one of their own.
class PictureSession {
 public:
  explicit PictureSession(TfmDiagram2& window, bool restore = true);
  ~PictureSession();
  PictureSession(const PictureSession&) = delete;
  PictureSession& operator=(const PictureSession&) = delete;

 private:
  TfmDiagram2& window_;
  bool restore_;
  bool outer_;  // false inside another session of the same window: that one restores
  QSizeF oldSize_;
  std::vector<int> hidden_;
};

// False with `error` set when the size or resolution cannot be drawn.
bool CheckPictureOptions(const PictureOptions& options, QString* error = nullptr);

// Writes the picture; false with `error` set when it could not be written.
bool WriteDiagramPicture(TfmDiagram2& window, const QString& path, const PictureOptions& options,
                         QString* error = nullptr);

// Writes `bytes` as the whole file `path`, or nothing under that name; false with `error`
// ("Cannot write PATH: WHY.") when it could not.
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);
// An image as PNG file bytes.
QByteArray PngBytes(const QImage& image);

// The picture as an image (what PNG files and the clipboard get).
QImage DiagramPicture(TfmDiagram2& window, QSize size, int dpi = 96);

// Puts the picture of the chart at its shown size on the clipboard.
void CopyDiagram(TfmDiagram2& window);

// Asks for the format, size and resolution, then the file, and writes it; messages on failure.
void ExportDiagramInteractively(TfmDiagram2& window, QWidget* parent);

}  // namespace views
