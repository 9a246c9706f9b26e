#pragma once
// The cell grid of a run: header row 0 (compositions), header column 0 (levels), one row per
// level and one column per X level, each data cell a short code ("L", "S", "C" or empty).
//
// Cells are stored compactly: every distinct text is kept once in a string table and a cell is
// one 32-bit index into it, row after row. A 2001 x 2001 grid takes about 16 MB. Arguments
// are in (col, row) order throughout, as in the grid views.
//
// The grid holds numbers beside its texts. A run registers the cell code of each of its phases
// (SetPhaseCodes): entry k of the string table after the empty text is phase k's code, so a
// cell written with SetPhase knows its phase (Phase), every compound its own although all show
// "C". A text typed into a cell is a phase only when it is the code of exactly one phase. The
// headers carry the level's Y and the column's composition as the numbers their texts show
// (RowY, ColumnX), so no reader turns a header text back into a number.
//
// Change tracking for views: Generation() grows on every change of content or shape, and
// StructureGeneration() only when the shape changes (row or column count, a deleted column,
// Clear), so a model can tell "refresh the cells" from "reset the layout" without copying.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace calc {

class CellGrid {
 public:
  CellGrid() = default;
  CellGrid(int col_count, int row_count);
  CellGrid(const CellGrid& other);
  CellGrid& operator=(const CellGrid& other);

  int ColCount() const { return col_count_; }
  int RowCount() const { return row_count_; }
  // Growing adds empty cells, shrinking drops the last columns (rows); the other cells keep
  // their texts. Negative counts are taken as 0.
  void SetColCount(int n);
  void SetRowCount(int n);

  // The text of a cell; the empty text outside the grid. The reference is valid until the
  // next change of the grid.
  const std::string& Cell(int col, int row) const;
  // Throws std::out_of_range outside the grid.
  void SetCell(int col, int row, std::string_view text);
  bool CellEmpty(int col, int row) const { return Id(col, row) == 0; }

  // Registers the cell codes of a run's phases, phase k's at position k, and empties every cell
  // (the phases of earlier cells are no longer known). Counts and current cell are kept.
  void SetPhaseCodes(const std::vector<std::string>& codes);
  int PhaseCount() const { return phase_count_; }
  // Writes phase `phase`'s code into a cell; a phase outside the registered ones empties it.
  // Throws std::out_of_range outside the grid.
  void SetPhase(int col, int row, int32_t phase);
  // The phase of a cell, -1 for an empty cell or a text that is no phase's code.
  int32_t Phase(int col, int row) const {
    const uint32_t id = Id(col, row);
    return id >= 1 && id <= static_cast<uint32_t>(phase_count_) ? static_cast<int32_t>(id) - 1 : -1;
  }

  // A header cell with its number: column col's composition x and its text, row row's level y
  // and its text. Throws std::out_of_range outside the grid.
  void SetColumnHeader(int col, double x, std::string_view text);
  void SetRowHeader(int row, double y, std::string_view text);
  // The number of a header cell (NaN when its cell was written without one, or outside).
  double ColumnX(int col) const;
  double RowY(int row) const;
  // The number of a cell's text among the grid's distinct texts (0 for the empty text, and
  // outside the grid), and the text of a number below TextCount(): for readers of a whole grid
  // that look at each distinct text once. Valid until the next change of the grid.
  uint32_t TextId(int col, int row) const { return Id(col, row); }
  const std::string& Text(uint32_t id) const { return texts_[id]; }

  // The current cell (the one a view scrolls to and highlights). Kept inside the grid when the
  // grid shrinks; SetCurrent clamps to the grid.
  int Col() const { return cur_col_; }
  int Row() const { return cur_row_; }
  void SetCurrent(int col, int row);

  // Removes column col: every later column, all rows including row 0, moves one place left
  // and the column count drops by one. Throws std::out_of_range outside the grid.
  void DeleteColumn(int col);
  // Removes all the given columns (any order, repeats allowed) in one pass; the result is the
  // same as deleting them one by one from the right.
  void DeleteColumns(std::span<const int> cols);

  // Every cell empty; counts and current cell kept.
  void Clear();

  uint64_t Generation() const { return generation_; }
  uint64_t StructureGeneration() const { return structure_generation_; }

  // Approximate heap use of the grid, in bytes.
  size_t MemoryBytes() const;
  // Distinct texts currently held (the empty text included).
  size_t TextCount() const { return texts_.size(); }

 private:
  uint32_t Id(int col, int row) const {
    if (col < 0 || row < 0 || col >= col_count_ || row >= row_count_) return 0;
    return ids_[static_cast<size_t>(row) * static_cast<size_t>(col_count_) + static_cast<size_t>(col)];
  }
  uint32_t Intern(std::string_view text);
  // Drops texts no cell uses any more and renumbers the cells.
  void CompactTexts();
  void ClampCurrent();
  void StructureChanged() {
    ++generation_;
    ++structure_generation_;
  }

  // Builds the text index from texts_ (after a copy: the index keys on views of the texts).
  void RebuildIndex();

  int col_count_ = 0;
  int row_count_ = 0;
  std::vector<uint32_t> ids_;  // row_count_ rows of col_count_ ids
  std::vector<double> col_x_;  // the number of each column's header (NaN: none)
  std::vector<double> row_y_;  // the number of each row's header
  // Texts 1 .. phase_count_ are the registered phase codes; they stay while the grid lives.
  int phase_count_ = 0;
  // Id 0 is the empty text. A deque keeps the texts in place while it grows, so the index can
  // key on views of them.
  std::deque<std::string> texts_{std::string()};
  // Every text but the phase codes; a phase code that no other phase shares is keyed to its
  // phase.
  std::unordered_map<std::string_view, uint32_t> index_{{std::string_view(), 0u}};
  size_t compact_at_ = 4096;
  int cur_col_ = 0;
  int cur_row_ = 0;
  uint64_t generation_ = 0;
  uint64_t structure_generation_ = 0;
};

}  // namespace calc
