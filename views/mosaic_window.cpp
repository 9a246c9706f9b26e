#include "views/mosaic_window.h"

#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace views {

MosaicImage::MosaicImage(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(40, 120);
}

void MosaicImage::SetRaster(const calc::MosaicRaster* raster) {
  raster_ = raster;
  Wrap();
  update();
}

void MosaicImage::Wrap() {
  const uint8_t* bits = raster_ ? raster_->Bits() : nullptr;
  const QSize size = raster_ ? QSize(raster_->Width(), raster_->Height()) : QSize();
  if (bits == wrappedBits_ && size == wrappedSize_) return;
  wrappedBits_ = bits;
  wrappedSize_ = size;
  if (!bits || size.isEmpty()) {
    image_ = QImage();
    return;
  }
  // The const-pointer constructor shares the bytes read-only; the raster outlives the image.
  image_ = QImage(bits, size.width(), size.height(), raster_->BytesPerLine(), QImage::Format_RGB888);
}

const QImage& MosaicImage::Image() {
  Wrap();  // the raster may have been replaced by a run's set-up
  return image_;
}

void MosaicImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QImage& image = Image();
  if (image.isNull()) {
    painter.fillRect(rect(), Qt::white);
    return;
  }
  painter.drawImage(rect(), image);
}

TfmMDiagram::TfmMDiagram(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(tr("Mosaic diagram"));
  setObjectName(QStringLiteral("fmMDiagram"));
  resize(410, 527);
  move(569, 71);
  image_ = new MosaicImage;
  image_->setObjectName(QStringLiteral("Image1"));
  scroll_ = new QScrollArea;
  scroll_->setWidget(image_);
  scroll_->setWidgetResizable(true);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  scroll_->verticalScrollBar()->setTracking(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll_);
}

void TfmMDiagram::SetRaster(const calc::MosaicRaster* raster) { image_->SetRaster(raster); }

void TfmMDiagram::Refresh() { image_->update(); }

QSize TfmMDiagram::ClientSize() const {
  QSize size = scroll_->viewport()->size();
  if (!isVisible()) size = this->size();  // before the first show the layout has not run
  return size;
}

}  // namespace views
