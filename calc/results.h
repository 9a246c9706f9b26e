#pragma once
// The results of a run and the sweep state that carries a sweep between commands. One Results
// object lives as long as the main window (or the headless runner); every run replaces its
// contents, never the object. Readers (cell-grid window, diagram, special points, brelona-calc)
// only read it, on the user-interface thread, between levels or after a run.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "calc/mosaic.h"
#include "calc/ports.h"
#include "calc/refined.h"

namespace calc {

class CellGrid;

// One column of the cell grid: a composition and its header text (pattern "0.########").
struct XLevel {
  std::string Text;
  double X = 0;
};

// A phase of a run as its results name it.
struct RunPhase {
  // The solution phase's name ("L"); a point phase's composition text ("0.5"), the name the
  // diagram points and the files give it.
  std::string Name;
  // A point phase's line key without its "G" ("CUMG2"; "C" for a line GC); empty for a
  // solution phase.
  std::string Key;
  bool IsPoint = false;
  double X = 0;  // a point phase's composition
  // Its cell code: the solution phase's name, "C" for every point phase.
  const std::string& Code() const;
  // How the user sees it: the solution phase's name; a point phase's key, or C(0.5) for a
  // line GC, whose key names no compound.
  std::string Label() const;
};

// One diagram point: an end of a two-phase segment at one level.
struct TZPoint {
  double X = 0;
  double Y = 0;
  // The point's grid column (1-based), 0 for a point phase.
  int32_t Column = 0;
  // The phase whose end this is (its name is Results::RunPhases[Phase].Name).
  PhaseIndex Phase = kNoRunPhase;
};

// The diagram-point table: one row per level index, each with room for RowSize() entries. A
// row holds only the entries written so far; every entry past them reads as X = 0, Y = 0, i.e.
// empty. An entry whose Y is not greater than 0 counts as empty.
class ZPointTable {
 public:
  // rows rows of row_size empty entries each. Storage grows only with the entries written.
  void Reset(int rows, int row_size);
  int RowCount() const { return row_count_; }
  int RowSize() const { return row_size_; }
  // Adds empty rows until row `index` exists (the extra level a sweep can reach).
  void EnsureRow(int index);
  // The entries written into row r, in order (at most RowSize(); none for a row not written).
  const std::vector<TZPoint>& Row(int r) const;
  // Entry i of row r (an empty entry when not written).
  TZPoint Entry(int r, int i) const;
  // Appends an entry to row r (which must exist); false, nothing written, when it is full.
  bool Append(int r, TZPoint p);

 private:
  int row_count_ = 0;
  int row_size_ = 0;
  std::vector<std::vector<TZPoint>> rows_;  // only up to the last row written
};

// A working record of one level: a point (X, G) offered to the hull.
struct TDPoint {
  bool IsPointPhase = false;
  bool AboveChord = false;
  double X = 0;
  double G = 0;
  double XStep = 0;
  PhaseIndex Phase = kNoRunPhase;
  // 1-based grid column of the X level the record was computed for; 0 for a point phase.
  int32_t Column = 0;
};
using TaTpoint = std::vector<TDPoint>;

// A three-phase tie line found by the special-point finder.
struct TNode {
  double Y = 0;
  double X = 0;
  double XLeft = 0;
  double XRight = 0;
};

// A point of the diagram's "Special points" series.
struct SpecialPoint {
  double X = 0;
  double Y = 0;
};

// The values that carry a sweep from the problem check through the levels and between
// commands.
struct SweepState {
  // The level to compute next; after a complete sweep the last one computed. It starts off the
  // (empty) range, so that a first Run in step mode is not taken for the end of a sweep.
  double Y = 1;
  double Ymin = 0, Ymax = 0;
  double YStep = 0, XStep = 0;
  double Xmin = 0, Xmax = 1;
  double T = 0, p = 0;  // the fixed one holds the problem's Z value, the swept one follows Y
  YParameter Yparameter = YParameter::Temperature;
  int32_t YPoints = 1;
  int32_t XPointsM1 = 1;    // max(XPoints - 1, 1)
  int32_t LevelIndex = -1;  // -1 after the check, then the index of the last level computed
  int32_t MosaicRow = 0;
  int32_t CheckFailed = 1;  // 1 while the check runs and after it fails, 0 after success
  double MosaicScale = 0;   // (H - 10) / (Ymax - Ymin), 0 when Ymax = Ymin
  double EndMemberX = 0;
  Rgb MosaicColor{192, 220, 192};
  char DecimalSeparator = '.';
};

struct Results {
  Results();
  ~Results();
  Results(const Results&) = delete;
  Results& operator=(const Results&) = delete;

  // Grid columns in ascending X: the regular grid nodes plus inserted point-phase columns.
  std::vector<XLevel> XLevels;
  // The cell grid: header row and column, one row per level (row k + 1 = level index k).
  CellGrid& Cells() { return *cells_; }
  const CellGrid& Cells() const { return *cells_; }
  ZPointTable ZPoints;
  // The point set and the hull list of the last level computed.
  TaTpoint PointSet;
  TaTpoint HullList;
  // Working chart of the last level: series titles (phases, then "Convex") and contents.
  std::vector<std::string> ChartTitles;
  std::vector<std::vector<ChartPoint>> ChartSeries;
  MosaicRaster Mosaic;
  // Filled by the special-point finder, in order of discovery.
  std::vector<TNode> Nodes;
  // Lines of the memo of other special points, e.g. "T(X = 0) = 1234.5 K", and the point
  // (X of the column, Y of the row) of each line, in the same order.
  std::vector<std::string> MemoLines;
  std::vector<SpecialPoint> MemoPoints;
  // The points of the diagram's "Special points" series, in the order appended.
  std::vector<SpecialPoint> SpecialPoints;
  // The exact answers of the refinement stage (empty until it runs).
  RefinedResults Refined;
  // The phases of the run, as its set-up found them in the sheet: every solution phase, then
  // every point phase. Cells, diagram points and exact answers refer to them by index.
  std::vector<RunPhase> RunPhases;
  // The name of a phase of the run (empty for kNoRunPhase or an index from another run).
  const std::string& PhaseName(PhaseIndex phase) const;
  // How the user sees a phase of the run (RunPhase::Label); `fallback` (the text the grid
  // showed) when it is none.
  std::string PhaseLabel(PhaseIndex phase, const std::string& fallback) const {
    const RunPhase* p = Phase(phase);
    return p ? p->Label() : fallback;
  }
  const RunPhase* Phase(PhaseIndex phase) const {
    return phase >= 0 && static_cast<size_t>(phase) < RunPhases.size()
               ? &RunPhases[static_cast<size_t>(phase)]
               : nullptr;
  }
  SweepState State;

 private:
  std::unique_ptr<CellGrid> cells_;
};

}  // namespace calc
