#pragma once
// The special-point finder over the cell grid, and "Compact the grid".
//
// The finder compares every data row of the grid with the row before it, run by run (a run is
// a maximal stretch of equal cells), and finds
//  - nodes: a single-phase field of one level that lies wholly over a two-phase stretch of the
//    neighbouring level (a eutectic or peritectic line), stored as TNode;
//  - other special points: a single-phase field that turns directly into a different one
//    between two neighbouring levels (the melting point of a pure component), written as a
//    memo line such as "T(X = 0) = 1234.5 K".
// The texts of the memo lines are the header texts; the numbers of nodes and points are the
// numbers of the header cells (CellGrid::ColumnX, RowY).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "calc/cell_grid.h"
#include "calc/results.h"

namespace calc {

// One run: a maximal stretch of equal cells (byte for byte) within one grid row.
struct TR {
  int32_t First = 0;  // grid column of the first cell (>= 1)
  int32_t Last = 0;   // grid column of the last cell
  std::string Label;  // the common text; empty for a stretch of empty cells
};

// The runs of data columns 1 .. ColCount-1 of `row`, in column order. Empty when the grid has
// no data column.
std::vector<TR> BuildRuns(const CellGrid& grid, int row);

// One pass of the finder. Empties `nodes`, then `memo_lines`, and appends to `series_points`
// (the diagram's "Special points" series, which the caller empties when it rebuilds the
// series): each other special point as one point, each node as its three points (XLeft, Y),
// (X, Y), (XRight, Y). The grid's current cell moves to every other special point found.
//
// y_parameter_text is the shown text of the Y parameter ("Temperature, K" or "Pressure,
// bar"); its first character is the letter of the memo lines, and the unit is "K" for "T",
// otherwise "bar". An empty text raises std::invalid_argument before anything is scanned
// (the node list is already empty then). A node needs the numbers of its level and of its
// three columns: where a header has none, the candidate is passed over.
void FindSpecialPoints(CellGrid& grid, std::string_view y_parameter_text, std::vector<TNode>& nodes,
                       std::vector<std::string>& memo_lines,
                       std::vector<SpecialPoint>& series_points);

// The same, and memo_points receives the point of each memo line, in memo-line order (it is
// emptied together with memo_lines), so a caller need not pick them out of the series.
void FindSpecialPoints(CellGrid& grid, std::string_view y_parameter_text, std::vector<TNode>& nodes,
                       std::vector<std::string>& memo_lines,
                       std::vector<SpecialPoint>& series_points,
                       std::vector<SpecialPoint>& memo_points);

// Removes every data column whose cells in rows 1 .. RowCount-1 are all empty (its header is
// not looked at), moving later columns left. With no data rows every data column goes.
void CompactGrid(CellGrid& grid);

}  // namespace calc
