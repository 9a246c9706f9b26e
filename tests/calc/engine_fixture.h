#pragma once
// A ready engine with recording ports and helpers to read its results as plain texts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calc/cell_grid.h"
#include "calc/engine.h"
#include "calc/results.h"
#include "recording_ports.h"

namespace calc::testing {

inline ProblemInput MakeProblem(const std::string& functs, double ymin, double ymax,
                                int xpoints, int ypoints) {
  ProblemInput p;
  p.ProblemName = "Test";
  p.Functs = functs;
  p.Yparameter = YParameter::Temperature;
  p.Ymin = ymin;
  p.Ymax = ymax;
  p.Zparameter = "P, bar";
  p.Zvalue = 1;
  p.XPoints = xpoints;
  p.YPoints = ypoints;
  p.ShowMosaicDiagram = true;
  p.ShowChart = true;
  return p;
}

class EngineTest : public ::testing::Test {
 protected:
  RecordingPorts ports;
  Results results;
  Engine engine{ports, ports, results, &ports, ports.LevelsInto(results)};

  // Cells 1 .. ColCount-1 of a grid row.
  std::vector<std::string> RowCells(int row) const {
    std::vector<std::string> out;
    for (int c = 1; c < results.Cells().ColCount(); ++c) out.push_back(results.Cells().Cell(c, row));
    return out;
  }
  std::vector<std::string> HeaderRow() const {
    std::vector<std::string> out;
    for (int c = 0; c < results.Cells().ColCount(); ++c) out.push_back(results.Cells().Cell(c, 0));
    return out;
  }
  std::vector<std::string> HeaderColumn() const {
    std::vector<std::string> out;
    for (int r = 1; r < results.Cells().RowCount(); ++r) out.push_back(results.Cells().Cell(0, r));
    return out;
  }
  // The written entries of a ZPoints row as "X|Y|Column|Name" with X and Y rounded to 1e-9.
  std::vector<std::string> ZRow(int row) const {
    std::vector<std::string> out;
    for (const TZPoint& p : results.ZPoints.Row(row)) {
      char buf[128];
      std::snprintf(buf, sizeof buf, "%.9g|%.9g|%d|", p.X, p.Y, p.Column);
      out.push_back(buf + results.PhaseName(p.Phase));
    }
    return out;
  }
  // A mosaic row as text: '.' white, 'o' the mosaic colour, '#' red, '?' anything else.
  std::string MosaicRow(int y) const {
    const Rgb mc = results.State.MosaicColor;
    std::string s;
    for (int x = 0; x < results.Mosaic.Width(); ++x) {
      const Rgb c = results.Mosaic.Pixel(x, y);
      s += c == kWhite ? '.' : c == mc ? 'o' : c == kRed ? '#' : '?';
    }
    return s;
  }
  int CountMosaicPixels(Rgb c) const {
    int n = 0;
    for (int y = 0; y < results.Mosaic.Height(); ++y) {
      for (int x = 0; x < results.Mosaic.Width(); ++x) n += results.Mosaic.Pixel(x, y) == c;
    }
    return n;
  }
  int Levels() const { return results.State.LevelIndex + 1; }
};

}  // namespace calc::testing
