#pragma once
// The window "Mosaic diagram" (TfmMDiagram): the run's mosaic raster, stretched over the
// window's client area. The window draws straight from the raster's bytes (no copy), so a
// repaint after a level shows that level at once. Closing the window hides it.

#include <QImage>
#include <QSize>
#include <QWidget>

#include "calc/mosaic.h"

QT_BEGIN_NAMESPACE
class QScrollArea;
QT_END_NAMESPACE

namespace views {

// Paints a raster stretched to its own size.
class MosaicImage : public QWidget {
  Q_OBJECT
 public:
  explicit MosaicImage(QWidget* parent = nullptr);
  void SetRaster(const calc::MosaicRaster* raster);
  // The image that wraps the raster's bytes (null without a raster or with an empty one).
  const QImage& Image();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Wrap();
  const calc::MosaicRaster* raster_ = nullptr;
  const uint8_t* wrappedBits_ = nullptr;
  QSize wrappedSize_;
  QImage image_;
};

class TfmMDiagram : public QWidget {
  Q_OBJECT

 public:
  explicit TfmMDiagram(QWidget* parent = nullptr);

  // Shows `raster` from now on; call again after the raster was replaced (a run's set-up).
  void SetRaster(const calc::MosaicRaster* raster);
  // Repaints from the raster (after every level).
  void Refresh();
  // Width and height of the client area, the size a new raster is made with.
  QSize ClientSize() const;

  MosaicImage* Image1() const { return image_; }

 private:
  QScrollArea* scroll_ = nullptr;
  MosaicImage* image_ = nullptr;
};

}  // namespace views
