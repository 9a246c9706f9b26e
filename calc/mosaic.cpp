#include "calc/mosaic.h"

#include <algorithm>

namespace calc {

void MosaicRaster::Reset(int w, int h) {
  width_ = std::max(w, 0);
  height_ = std::max(h, 0);
  bytes_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3, 255);
}

Rgb MosaicRaster::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return kWhite;
  const uint8_t* p = &bytes_[(static_cast<size_t>(y) * width_ + x) * 3];
  return Rgb{p[0], p[1], p[2]};
}

void MosaicRaster::SetPixel(int x, int y, Rgb c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t* p = &bytes_[(static_cast<size_t>(y) * width_ + x) * 3];
  p[0] = c.r;
  p[1] = c.g;
  p[2] = c.b;
}

void MosaicRaster::HorizontalRun(int x1, int x2, int y, Rgb c) {
  if (y < 0 || y >= height_) return;
  if (x1 > x2) std::swap(x1, x2);
  x1 = std::max(x1, 0);
  x2 = std::min(x2, width_ - 1);
  for (int x = x1; x <= x2; ++x) SetPixel(x, y, c);
}

void MosaicRaster::Ellipse(int x1, int y1, int x2, int y2, Rgb pen, Rgb brush) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const int w = x2 - x1;
  const int h = y2 - y1;
  if (w <= 0 || h <= 0) return;
  const double cx = x1 + (w - 1) / 2.0;
  const double cy = y1 + (h - 1) / 2.0;
  const double rx = w / 2.0;
  const double ry = h / 2.0;
  auto inside = [&](int x, int y) {
    if (x < x1 || x >= x2 || y < y1 || y >= y2) return false;
    const double dx = (x - cx) / rx;
    const double dy = (y - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
  };
  for (int y = y1; y < y2; ++y) {
    for (int x = x1; x < x2; ++x) {
      if (!inside(x, y)) continue;
      const bool edge =
          !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
      SetPixel(x, y, edge ? pen : brush);
    }
  }
}

}  // namespace calc
