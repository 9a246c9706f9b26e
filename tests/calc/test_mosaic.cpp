#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calc/mosaic.h"

namespace calc {
namespace {

// The picture as text, one string per row: '.' white, '#' the pen, 'o' any other colour.
std::vector<std::string> Picture(const MosaicRaster& m, Rgb pen) {
  std::vector<std::string> rows;
  for (int y = 0; y < m.Height(); ++y) {
    std::string row;
    for (int x = 0; x < m.Width(); ++x) {
      const Rgb c = m.Pixel(x, y);
      row += c == kWhite ? '.' : c == pen ? '#' : 'o';
    }
    rows.push_back(row);
  }
  return rows;
}

TEST(MosaicRaster, ResetFillsWhiteAndKeepsRowsUnpadded) {
  MosaicRaster m;
  m.Reset(5, 3);
  EXPECT_EQ(m.Width(), 5);
  EXPECT_EQ(m.Height(), 3);
  EXPECT_EQ(m.BytesPerLine(), 15);
  for (int i = 0; i < 45; ++i) EXPECT_EQ(m.Bits()[i], 255) << i;
  m.SetPixel(4, 2, kRed);
  EXPECT_EQ(m.Bits()[2 * 15 + 4 * 3], 255);
  EXPECT_EQ(m.Bits()[2 * 15 + 4 * 3 + 1], 0);
  m.Reset(-2, 4);
  EXPECT_EQ(m.Width(), 0);
  EXPECT_EQ(m.Pixel(0, 0), kWhite);
}

TEST(MosaicRaster, RunsIncludeBothEndsAndClip) {
  struct Case {
    int x1, x2, y;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {1, 3, 0, {".###..", "......"}},
      {3, 1, 1, {"......", ".###.."}},
      {-4, 1, 0, {"##....", "......"}},
      {4, 9, 1, {"......", "....##"}},
      {2, 2, 0, {"..#...", "......"}},
      {0, 5, 2, {"......", "......"}},   // below the picture
      {0, 5, -1, {"......", "......"}},  // above it
  };
  const Rgb green{192, 220, 192};
  for (const Case& c : cases) {
    MosaicRaster m;
    m.Reset(6, 2);
    m.HorizontalRun(c.x1, c.x2, c.y, green);
    EXPECT_EQ(Picture(m, green), c.expected) << c.x1 << ".." << c.x2 << " row " << c.y;
  }
}

TEST(MosaicRaster, SmallCircleIsARingWithWhiteInside) {
  MosaicRaster m;
  m.Reset(8, 7);
  m.HorizontalRun(0, 7, 3, Rgb{0, 0, 255});  // the inside is painted over with white
  m.Ellipse(2, 1, 6, 5, kRed, kWhite);
  const std::vector<std::string> expected = {
      "........",  //
      "...##...",  //
      "..#..#..",  //
      "oo#..#oo",  //
      "...##...",  //
      "........",  //
      "........",
  };
  EXPECT_EQ(Picture(m, kRed), expected);
}

TEST(MosaicRaster, CircleAtTheBorderIsClipped) {
  MosaicRaster m;
  m.Reset(3, 3);
  // The ring of the box (-2, -2)..(2, 2) covers x, y = -2 .. 1: only its lower-right quarter
  // falls inside the picture.
  m.Ellipse(-2, -2, 2, 2, kRed, kWhite);
  const std::vector<std::string> expected = {".#.", "#..", "..."};
  EXPECT_EQ(Picture(m, kRed), expected);
}

TEST(MosaicRaster, ColorValueHasRedInTheLowestByte) {
  EXPECT_EQ(RgbFromColorValue(12639424), (Rgb{0xC0, 0xDC, 0xC0}));
  EXPECT_EQ(RgbFromColorValue(0x0000FF), kRed);
  EXPECT_EQ(RgbFromColorValue(0xA4D9A5), (Rgb{0xA5, 0xD9, 0xA4}));
}

}  // namespace
}  // namespace calc
