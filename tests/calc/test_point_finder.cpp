#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "calc/cell_grid.h"
#include "calc/point_finder.h"

namespace {

using calc::CellGrid;
using calc::SpecialPoint;
using calc::TNode;

// Cells of one row written as words; "." stands for an empty cell.
std::vector<std::string> Words(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w == "." ? "" : w);
  return out;
}

// The number a header text of these tests stands for ("0,75" is 0.75).
double Number(std::string text) {
  std::replace(text.begin(), text.end(), ',', '.');
  return std::stod(text);
}

// A grid with the header row from `xs`, and one data row per (Y text, cells) pair; a header
// given as "." (or an empty level text) is an empty header without a number.
CellGrid Grid(const std::string& xs, const std::vector<std::pair<std::string, std::string>>& rows) {
  const std::vector<std::string> header = Words(xs);
  CellGrid g(static_cast<int>(header.size()) + 1, static_cast<int>(rows.size()) + 1);
  g.SetCell(0, 0, " Y/X");
  for (size_t c = 0; c < header.size(); ++c) {
    if (!header[c].empty())
      g.SetColumnHeader(static_cast<int>(c) + 1, Number(header[c]), header[c]);
  }
  for (size_t r = 0; r < rows.size(); ++r) {
    if (!rows[r].first.empty())
      g.SetRowHeader(static_cast<int>(r) + 1, Number(rows[r].first), rows[r].first);
    const std::vector<std::string> cells = Words(rows[r].second);
    EXPECT_EQ(cells.size(), header.size()) << "row " << r + 1;
    for (size_t c = 0; c < cells.size() && c < header.size(); ++c) {
      g.SetCell(static_cast<int>(c) + 1, static_cast<int>(r) + 1, cells[c]);
    }
  }
  return g;
}

struct Found {
  std::vector<TNode> nodes;
  std::vector<std::string> memo;
  std::vector<SpecialPoint> points;
};

Found Find(CellGrid& g, const std::string& y_param = "Temperature, K") {
  Found f;
  calc::FindSpecialPoints(g, y_param, f.nodes, f.memo, f.points);
  return f;
}

std::string Describe(const Found& f) {
  std::ostringstream o;
  for (const TNode& n : f.nodes) o << "node Y=" << n.Y << " X=" << n.X << " [" << n.XLeft << ", " << n.XRight << "]\n";
  for (const std::string& m : f.memo) o << "memo " << m << "\n";
  for (const SpecialPoint& p : f.points) o << "point (" << p.X << ", " << p.Y << ")\n";
  return o.str();
}

const char* kX9 = "0 0.125 0.25 0.375 0.5 0.625 0.75 0.875 1";

TEST(SpecialPoints, ScansOfHandBuiltGrids) {
  struct Case {
    std::string name;
    std::string xs;
    std::vector<std::pair<std::string, std::string>> rows;
    std::string expected;  // as Describe() writes it
  };
  const std::vector<Case> cases = {
      {"identical neighbouring rows", kX9,
       {{"1000", "S . . L L L . . S"}, {"990", "S . . L L L . . S"}}, ""},
      {"pure component melting", "0 0.25 0.5 0.75 1",
       {{"1250", "L L L L L"}, {"1234.5", "S . . L L"}},
       "memo T(X = 0) = 1234.5 K\npoint (0, 1234.5)\n"},
      {"eutectic, liquid row first", kX9,
       {{"1000", "S1 S1 . L L L . S2 S2"}, {"990", "S1 S1 . . . . . S2 S2"}},
       "node Y=1000 X=0.5 [0.125, 0.875]\npoint (0.125, 1000)\npoint (0.5, 1000)\npoint (0.875, 1000)\n"},
      {"eutectic, liquid row second", kX9,
       {{"1000", "S1 S1 . . . . . S2 S2"}, {"990", "S1 S1 . L L L . S2 S2"}},
       "node Y=990 X=0.5 [0.125, 0.875]\npoint (0.125, 990)\npoint (0.5, 990)\npoint (0.875, 990)\n"},
      {"middle column by integer halving", kX9,
       {{"1000", "S1 . L L L L . S2 S2"}, {"990", "S1 . . . . . . S2 S2"}},
       "node Y=1000 X=0.375 [0, 0.875]\npoint (0, 1000)\npoint (0.375, 1000)\npoint (0.875, 1000)\n"},
      {"middle X outside [XLeft, XRight] is discarded", "0 0.125 0.25 0.375 0.95 0.625 0.75 0.875 1",
       {{"1000", "S1 S1 . L L L . S2 S2"}, {"990", "S1 S1 . . . . . S2 S2"}}, ""},
      {"label in a single cell of the other row continues the field", "0 0.2 0.4 0.6 0.8 1 1.2",
       {{"1000", "S . . . L . S"}, {"990", "S . L L L . S"}}, ""},
      {"the same without that cell is a node", "0 0.2 0.4 0.6 0.8 1 1.2",
       {{"1000", "S . . . . . S"}, {"990", "S . L L L . S"}},
       "node Y=990 X=0.6 [0, 1.2]\npoint (0, 990)\npoint (0.6, 990)\npoint (1.2, 990)\n"},
      {"equal run counts: the later row is the pattern row", "0 0.25 0.5 0.75 1",
       {{"1000", "S T . S T"}, {"990", "S . L . S"}},
       "node Y=990 X=0.5 [0, 1]\nmemo T(X = 1) = 990 K\npoint (0, 990)\npoint (0.5, 990)\npoint (1, 990)\n"
       "point (1, 990)\n"},
      {"letter case: same field across levels", "0 0.5 1", {{"1000", "L L L"}, {"990", "L l L"}}, ""},
      {"letter case: different cells in a row", "0 0.5 1", {{"1000", "S S S"}, {"990", "S l S"}},
       "memo T(X = 0.5) = 990 K\npoint (0.5, 990)\n"},
      {"a label E matches the empty-cell marker", "0 0.25 0.5 0.75 1",
       {{"1000", "S . e . S"}, {"990", "S . . . S"}}, ""},
      {"stable point phase as the middle field", "0 0.25 0.5 0.75 1",
       {{"1000", "S . C . L"}, {"990", "S . . . L"}},
       "node Y=1000 X=0.5 [0, 1]\npoint (0, 1000)\npoint (0.5, 1000)\npoint (1, 1000)\n"},
      {"first labelled run after an empty stretch has no two runs on its left", "0 0.2 0.4 0.6 0.8 1",
       {{"1000", ". L . S . L"}, {"990", ". . . . . ."}},
       "node Y=1000 X=0.6 [0.2, 1]\npoint (0.2, 1000)\npoint (0.6, 1000)\npoint (1, 1000)\n"},
      {"several nodes in one pair of rows", "0 0.2 0.4 0.6 0.8 1 1.2",
       {{"1000", "Z . . . . . W"}, {"990", "Z . L . S . W"}},
       "node Y=990 X=0.4 [0, 0.8]\nnode Y=990 X=0.8 [0.4, 1.2]\npoint (0, 990)\npoint (0.4, 990)\n"
       "point (0.8, 990)\npoint (0.4, 990)\npoint (0.8, 990)\npoint (1.2, 990)\n"},
      {"a special point ends the pair: no node after it", "0 0.2 0.4 0.6 0.8 1 1.2",
       {{"1000", "Z . . . . . W"}, {"990", "V . L . S . W"}},
       "memo T(X = 0) = 990 K\npoint (0, 990)\n"},
      {"empty header of the middle column: no node", "0 0.25 . 0.75 1",
       {{"1000", "S . C . L"}, {"990", "S . . . L"}}, ""},
      {"empty header of the level: no node", "0 0.25 0.5 0.75 1",
       {{"", "S . C . L"}, {"990", "S . . . L"}}, ""},
      {"one data row", "0 0.5 1", {{"1000", "L L L"}}, ""},
      {"no data row", "0 0.5 1", {}, ""},
      {"nodes in order of discovery over three levels", kX9,
       {{"1010", "S1 S1 . L L L . S2 S2"},
        {"1000", "S1 S1 . . . . . S2 S2"},
        {"990", "S1 . C . . . . S2 S2"}},
       "node Y=1010 X=0.5 [0.125, 0.875]\nnode Y=990 X=0.25 [0, 0.875]\npoint (0.125, 1010)\n"
       "point (0.5, 1010)\npoint (0.875, 1010)\npoint (0, 990)\npoint (0.25, 990)\npoint (0.875, 990)\n"},
  };
  for (const Case& c : cases) {
    CellGrid g = Grid(c.xs, c.rows);
    const Found f = Find(g);
    // Describe lists nodes, then memo lines, then points; the expected text follows that order.
    EXPECT_EQ(Describe(f), c.expected) << c.name;
  }
}

TEST(SpecialPoints, OtherSpecialPointMovesTheCurrentCellAndUsesTheUnit) {
  struct Case {
    std::string y_param;
    std::string x_header, y_header;
    std::string memo;
    double x, y;
  };
  const std::vector<Case> cases = {
      {"Temperature, K", "0.75", "1234.5", "T(X = 0.75) = 1234.5 K", 0.75, 1234.5},
      {"Pressure, bar", "0,75", "10,5", "P(X = 0,75) = 10,5 bar", 0.75, 10.5},
      {"pressure", "0.75", "3", "p(X = 0.75) = 3 bar", 0.75, 3},
  };
  for (const Case& c : cases) {
    CellGrid g = Grid("0 0.25 0.5 " + c.x_header + " 1", {{"99", "L L L L L"}, {c.y_header, "L L . S S"}});
    g.SetCurrent(0, 0);
    const Found f = Find(g, c.y_param);
    ASSERT_EQ(f.memo.size(), 1u) << c.y_param;
    EXPECT_EQ(f.memo[0], c.memo);
    ASSERT_EQ(f.points.size(), 1u);
    EXPECT_DOUBLE_EQ(f.points[0].X, c.x);
    EXPECT_DOUBLE_EQ(f.points[0].Y, c.y);
    EXPECT_EQ(g.Col(), 4);
    EXPECT_EQ(g.Row(), 2);
    EXPECT_TRUE(f.nodes.empty());
  }
}

TEST(SpecialPoints, EachPassStartsAfreshButAppendsToTheSeries) {
  CellGrid g = Grid(kX9, {{"1000", "S1 S1 . L L L . S2 S2"}, {"990", "S1 S1 . . . . . S2 S2"}});
  Found f;
  f.nodes.push_back({1, 2, 3, 4});
  f.memo.push_back("old line");
  calc::FindSpecialPoints(g, "Temperature, K", f.nodes, f.memo, f.points);
  calc::FindSpecialPoints(g, "Temperature, K", f.nodes, f.memo, f.points);
  EXPECT_EQ(f.nodes.size(), 1u);
  EXPECT_TRUE(f.memo.empty());
  EXPECT_EQ(f.points.size(), 6u);
}

TEST(SpecialPoints, MemoPointsFollowTheMemoLinesAmongNodePoints) {
  // A node (1010/1000), then a change of field at X = 1 (1000/990), then nothing (990/980).
  CellGrid g = Grid(kX9, {{"1010", "S1 S1 . L L L . S2 S2"},
                          {"1000", "S1 S1 . . . . . S2 S2"},
                          {"990", "S1 S1 . . . . . S2 V"},
                          {"980", "S1 S1 . . . . . S2 V"}});
  Found f;
  std::vector<SpecialPoint> memo_points = {{7, 7}};
  calc::FindSpecialPoints(g, "Temperature, K", f.nodes, f.memo, f.points, memo_points);
  ASSERT_EQ(f.memo, (std::vector<std::string>{"T(X = 1) = 990 K"}));
  ASSERT_EQ(memo_points.size(), 1u);
  EXPECT_EQ(memo_points[0].X, 1);
  EXPECT_EQ(memo_points[0].Y, 990);
  EXPECT_EQ(f.nodes.size(), 1u);
  EXPECT_EQ(f.points.size(), 4u);
  // Without the extra output the pass finds the same.
  Found plain = Find(g);
  EXPECT_EQ(Describe(plain), Describe(f));
}

TEST(SpecialPoints, Failures) {
  CellGrid g = Grid(kX9, {{"1000", "S1 S1 . L L L . S2 S2"}, {"990", "S1 S1 . . . . . S2 S2"}});
  Found f;
  f.nodes.push_back({1, 2, 3, 4});
  f.memo.push_back("kept");
  EXPECT_THROW(calc::FindSpecialPoints(g, "", f.nodes, f.memo, f.points), std::invalid_argument);
  EXPECT_TRUE(f.nodes.empty()) << "the node list is emptied before the check";
  EXPECT_TRUE(f.points.empty()) << "nothing was scanned";

  // The numbers are the headers' own, never their texts read back: a header written as text
  // alone gives the node no place.
  EXPECT_EQ(Find(g).nodes.size(), 1u);
  g.SetCell(5, 0, "0.5");
  EXPECT_TRUE(Find(g).nodes.empty());
}

TEST(SpecialPoints, RunsCoverTheDataColumns) {
  CellGrid g = Grid("0 0.25 0.5 0.75 1", {{"1", "L L . l l"}, {"2", ". . . . ."}});
  const auto runs = calc::BuildRuns(g, 1);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].First, 1);
  EXPECT_EQ(runs[0].Last, 2);
  EXPECT_EQ(runs[0].Label, "L");
  EXPECT_EQ(runs[1].First, 3);
  EXPECT_EQ(runs[1].Last, 3);
  EXPECT_EQ(runs[1].Label, "");
  EXPECT_EQ(runs[2].First, 4);
  EXPECT_EQ(runs[2].Last, 5);
  EXPECT_EQ(runs[2].Label, "l");
  EXPECT_EQ(calc::BuildRuns(g, 2).size(), 1u);
  CellGrid bare(1, 3);
  EXPECT_TRUE(calc::BuildRuns(bare, 1).empty());
}

TEST(CompactGrid, RemovesColumnsEmptyInEveryDataRow) {
  struct Case {
    std::string name;
    std::string xs;
    std::vector<std::pair<std::string, std::string>> rows;
    std::string kept_headers;
  };
  const std::vector<Case> cases = {
      {"two-phase columns go, headers move with their columns", "0 0.25 0.5 0.75 1",
       {{"1000", "L . . . L"}, {"990", "S . . L L"}}, "0 0.75 1"},
      {"nothing to remove", "0 0.5 1", {{"1000", "L S L"}}, "0 0.5 1"},
      {"no data rows: every data column goes", "0 0.5 1", {}, ""},
      {"all empty", "0 0.5 1", {{"1", ". . ."}, {"2", ". . ."}}, ""},
  };
  for (const Case& c : cases) {
    CellGrid g = Grid(c.xs, c.rows);
    calc::CompactGrid(g);
    std::string headers;
    for (int col = 1; col < g.ColCount(); ++col) headers += (headers.empty() ? "" : " ") + g.Cell(col, 0);
    EXPECT_EQ(headers, c.kept_headers) << c.name;
    EXPECT_EQ(g.Cell(0, 0), " Y/X") << c.name;
    for (size_t r = 0; r < c.rows.size(); ++r) {
      EXPECT_EQ(g.Cell(0, static_cast<int>(r) + 1), c.rows[r].first) << c.name;
    }
  }
}

TEST(CompactGrid, SameAsDeletingOneByOneFromTheRight) {
  std::mt19937 rng(3);
  for (int trial = 0; trial < 200; ++trial) {
    const int cols = 1 + static_cast<int>(rng() % 12), rows = 1 + static_cast<int>(rng() % 5);
    CellGrid a(cols, rows);
    for (int c = 0; c < cols; ++c) {
      for (int r = 0; r < rows; ++r) {
        if (rng() % 3 == 0 || r == 0) a.SetCell(c, r, std::to_string(c) + "/" + std::to_string(r));
      }
    }
    CellGrid b = a;
    calc::CompactGrid(a);
    for (int c = b.ColCount() - 1; c >= 1; --c) {
      bool empty = true;
      for (int r = 1; r < b.RowCount(); ++r) empty = empty && b.Cell(c, r).empty();
      if (empty) b.DeleteColumn(c);
    }
    ASSERT_EQ(a.ColCount(), b.ColCount()) << "trial " << trial;
    for (int c = 0; c < a.ColCount(); ++c) {
      for (int r = 0; r < a.RowCount(); ++r) ASSERT_EQ(a.Cell(c, r), b.Cell(c, r)) << "trial " << trial;
    }
  }
}

}  // namespace
