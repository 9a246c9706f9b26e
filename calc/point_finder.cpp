#include "calc/point_finder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

namespace calc {

namespace {

// The marker that stands for an empty cell in the continuation test.
constexpr std::string_view kEmptyMarker = "E";

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

// A cell as it enters the continuation lists: its text, or the marker when empty.
std::string_view Entry(const CellGrid& grid, int col, int row) {
  const std::string& text = grid.Cell(col, row);
  return text.empty() ? kEmptyMarker : std::string_view(text);
}

void Find(CellGrid& grid, std::string_view y_parameter_text, std::vector<TNode>& nodes,
          std::vector<std::string>& memo_lines, std::vector<SpecialPoint>& series_points,
          std::vector<SpecialPoint>* memo_points);

}  // namespace

std::vector<TR> BuildRuns(const CellGrid& grid, int row) {
  std::vector<TR> runs;
  const int cols = grid.ColCount();
  if (cols < 2) return runs;
  TR cur{1, 1, grid.Cell(1, row)};
  for (int c = 2; c < cols; ++c) {
    const std::string& text = grid.Cell(c, row);
    if (text != cur.Label) {
      cur.Last = c - 1;
      runs.push_back(std::move(cur));
      cur = TR{c, c, text};
    }
  }
  cur.Last = cols - 1;
  runs.push_back(std::move(cur));
  return runs;
}

void FindSpecialPoints(CellGrid& grid, std::string_view y_parameter_text, std::vector<TNode>& nodes,
                       std::vector<std::string>& memo_lines,
                       std::vector<SpecialPoint>& series_points) {
  Find(grid, y_parameter_text, nodes, memo_lines, series_points, nullptr);
}

void FindSpecialPoints(CellGrid& grid, std::string_view y_parameter_text, std::vector<TNode>& nodes,
                       std::vector<std::string>& memo_lines,
                       std::vector<SpecialPoint>& series_points,
                       std::vector<SpecialPoint>& memo_points) {
  Find(grid, y_parameter_text, nodes, memo_lines, series_points, &memo_points);
}

namespace {

void Find(CellGrid& grid, std::string_view y_parameter_text, std::vector<TNode>& nodes,
          std::vector<std::string>& memo_lines, std::vector<SpecialPoint>& series_points,
          std::vector<SpecialPoint>* memo_points) {
  nodes.clear();
  if (y_parameter_text.empty()) {
    throw std::invalid_argument(
        "The Y parameter of the problem is not set; special points cannot be named");
  }
  const std::string letter(1, y_parameter_text[0]);
  const std::string unit = letter == "T" ? "K" : "bar";
  memo_lines.clear();
  if (memo_points != nullptr) memo_points->clear();

  std::vector<TR> prev_runs;
  for (int r = 1; r < grid.RowCount(); ++r) {
    std::vector<TR> runs = BuildRuns(grid, r);
    if (r > 1) {
      // The row with more runs is the pattern row A; on a tie, row r.
      const bool a_is_r = runs.size() >= prev_runs.size();
      const std::vector<TR>& a_runs = a_is_r ? runs : prev_runs;
      const int row_a = a_is_r ? r : r - 1;
      const int row_b = a_is_r ? r - 1 : r;
      const int n = static_cast<int>(a_runs.size());
      for (int k = 0; k < n; ++k) {
        const TR& run = a_runs[static_cast<size_t>(k)];
        if (run.Label.empty()) continue;
        // Does the field continue across the two levels? It does when some cell of row B
        // under the run matches the run's cells, letter case ignored, an empty cell entering
        // as the marker "E". Every cell of row A in the run holds the run's (non-empty) label,
        // so one comparison per column of row B settles it.
        bool continues = false;
        bool b_has_label = false;
        for (int c = run.First; c <= run.Last; ++c) {
          if (SameIgnoringCase(run.Label, Entry(grid, c, row_b))) {
            continues = true;
            break;
          }
        }
        if (continues) continue;
        for (int c = run.First; c <= run.Last; ++c) {
          if (Entry(grid, c, row_b) != kEmptyMarker) {
            b_has_label = true;
            break;
          }
        }
        if (b_has_label) {
          // Another single-phase field: a special point at the later level; this pair of rows
          // is done.
          grid.SetCurrent(run.First, r);
          const std::string& x_text = grid.Cell(run.First, 0);
          const std::string& y_text = grid.Cell(0, r);
          memo_lines.push_back(letter + "(X = " + x_text + ") = " + y_text + " " + unit);
          const SpecialPoint point{grid.ColumnX(run.First), grid.RowY(r)};
          series_points.push_back(point);
          if (memo_points != nullptr) memo_points->push_back(point);
          break;
        }
        // Row B is empty under the whole run: the middle field of a node candidate.
        if (k < 2 || k + 2 >= n) continue;
        const int left_col = a_runs[static_cast<size_t>(k - 2)].Last;
        const int right_col = a_runs[static_cast<size_t>(k + 2)].First;
        const int mid_col = (run.First + run.Last) / 2;
        TNode node;
        node.Y = grid.RowY(row_a);
        node.XLeft = grid.ColumnX(left_col);
        node.XRight = grid.ColumnX(right_col);
        node.X = grid.ColumnX(mid_col);
        // A header without a number (none written) makes no node.
        if (std::isnan(node.Y) || std::isnan(node.XLeft) || std::isnan(node.XRight) ||
            std::isnan(node.X)) {
          continue;
        }
        if (node.XLeft > node.X || node.X > node.XRight) continue;
        nodes.push_back(node);
        series_points.push_back({node.XLeft, node.Y});
        series_points.push_back({node.X, node.Y});
        series_points.push_back({node.XRight, node.Y});
      }
    }
    prev_runs = std::move(runs);
  }
}

}  // namespace

void CompactGrid(CellGrid& grid) {
  std::vector<int> empty_cols;
  const int cols = grid.ColCount(), rows = grid.RowCount();
  std::vector<char> filled(static_cast<size_t>(std::max(cols, 0)), 0);
  for (int r = 1; r < rows; ++r) {
    for (int c = 1; c < cols; ++c) {
      if (!grid.CellEmpty(c, r)) filled[static_cast<size_t>(c)] = 1;
    }
  }
  // Each column is tested once; removing an empty column moves the others intact, so taking
  // them all out at once gives the same grid as removing them one by one from the right.
  for (int c = cols - 1; c >= 1; --c) {
    if (!filled[static_cast<size_t>(c)]) empty_cols.push_back(c);
  }
  grid.DeleteColumns(empty_cols);
}

}  // namespace calc
