#pragma once
// The mosaic picture: a plain RGB raster, 3 bytes per pixel, rows top to bottom without padding.
// The mosaic window wraps it for display without copying; nothing here knows about windows.

#include <cstdint>
#include <vector>

namespace calc {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kRed{255, 0, 0};

// A colour value with red in the lowest byte, then green, then blue (the settings file's form).
inline Rgb RgbFromColorValue(uint32_t c) {
  return Rgb{static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>((c >> 8) & 0xFF),
             static_cast<uint8_t>((c >> 16) & 0xFF)};
}

class MosaicRaster {
 public:
  // Makes a new w x h picture filled white (negative sizes count as 0).
  void Reset(int w, int h);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Row-major pixel bytes r, g, b; BytesPerLine() = 3 * Width().
  const uint8_t* Bits() const { return bytes_.data(); }
  int BytesPerLine() const { return 3 * width_; }

  // Reading outside the picture gives white; writing outside it does nothing.
  Rgb Pixel(int x, int y) const;
  void SetPixel(int x, int y, Rgb c);
  // Pixels x1 .. x2 (both included) of row y.
  void HorizontalRun(int x1, int x2, int y, Rgb c);
  // The ellipse inscribed in the box whose corners are (x1, y1) and (x2, y2), the right and
  // bottom edges excluded: outline in `pen`, inside in `brush`. A 4 x 4 box gives the ring
  //   .##.
  //   #..#
  //   #..#
  //   .##.
  void Ellipse(int x1, int y1, int x2, int y2, Rgb pen, Rgb brush);

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> bytes_;
};

// One drawing of a level on the mosaic, kept so that a level computed on another thread is
// drawn by the thread that shows the picture: a run of pixels x1 .. x2 of row y1 in `pen`, or
// the ellipse of MosaicRaster::Ellipse.
struct MosaicMark {
  bool ellipse = false;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  Rgb pen, brush;

  void DrawOn(MosaicRaster& raster) const {
    if (ellipse) {
      raster.Ellipse(x1, y1, x2, y2, pen, brush);
    } else {
      raster.HorizontalRun(x1, x2, y1, pen);
    }
  }
};

}  // namespace calc
