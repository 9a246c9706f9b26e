#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "calc/cell_grid.h"

namespace {

using calc::CellGrid;

// A plain reference grid: a vector of columns of strings.
struct Naive {
  std::vector<std::vector<std::string>> cols;  // cols[c][r]
  int rows = 0;
  void SetColCount(int n) { cols.resize(static_cast<size_t>(std::max(n, 0)), std::vector<std::string>(static_cast<size_t>(rows))); }
  void SetRowCount(int n) {
    rows = std::max(n, 0);
    for (auto& c : cols) c.resize(static_cast<size_t>(rows));
  }
};

void ExpectSame(const CellGrid& g, const Naive& n, const std::string& where) {
  ASSERT_EQ(g.ColCount(), static_cast<int>(n.cols.size())) << where;
  ASSERT_EQ(g.RowCount(), n.rows) << where;
  for (int c = 0; c < g.ColCount(); ++c) {
    for (int r = 0; r < g.RowCount(); ++r) {
      ASSERT_EQ(g.Cell(c, r), n.cols[static_cast<size_t>(c)][static_cast<size_t>(r)])
          << where << " cell (" << c << ", " << r << ")";
    }
  }
}

CellGrid Numbered(int cols, int rows) {
  CellGrid g(cols, rows);
  for (int c = 0; c < cols; ++c) {
    for (int r = 0; r < rows; ++r) g.SetCell(c, r, std::to_string(c) + ":" + std::to_string(r));
  }
  return g;
}

TEST(CellGrid, ResizingKeepsTheCellsThatRemain) {
  struct Case {
    int cols, rows;
  };
  CellGrid g = Numbered(4, 3);
  for (const Case& c : std::vector<Case>{{6, 3}, {6, 5}, {2, 5}, {2, 2}, {5, 4}, {0, 4}, {3, 0}, {-1, -1}}) {
    g.SetColCount(c.cols);
    g.SetRowCount(c.rows);
    EXPECT_EQ(g.ColCount(), std::max(c.cols, 0));
    EXPECT_EQ(g.RowCount(), std::max(c.rows, 0));
  }
  // Shrink, then grow again: cells that were dropped come back empty.
  CellGrid h = Numbered(4, 3);
  h.SetColCount(2);
  h.SetRowCount(2);
  h.SetColCount(4);
  h.SetRowCount(3);
  for (int col = 0; col < 4; ++col) {
    for (int row = 0; row < 3; ++row) {
      const std::string expected = (col < 2 && row < 2) ? std::to_string(col) + ":" + std::to_string(row) : "";
      EXPECT_EQ(h.Cell(col, row), expected) << col << "," << row;
    }
  }
}

TEST(CellGrid, OutsideTheGrid) {
  CellGrid g = Numbered(3, 2);
  EXPECT_EQ(g.Cell(3, 0), "");
  EXPECT_EQ(g.Cell(0, 2), "");
  EXPECT_EQ(g.Cell(-1, 0), "");
  EXPECT_TRUE(g.CellEmpty(5, 5));
  EXPECT_THROW(g.SetCell(3, 0, "x"), std::out_of_range);
  EXPECT_THROW(g.SetCell(0, -1, "x"), std::out_of_range);
  EXPECT_THROW(g.DeleteColumn(3), std::out_of_range);
  EXPECT_THROW(g.DeleteColumn(-1), std::out_of_range);
}

TEST(CellGrid, DeleteColumnShiftsEveryRowIncludingTheHeader) {
  CellGrid g = Numbered(4, 3);
  g.DeleteColumn(1);
  ASSERT_EQ(g.ColCount(), 3);
  const std::vector<std::vector<std::string>> expected = {
      {"0:0", "2:0", "3:0"}, {"0:1", "2:1", "3:1"}, {"0:2", "2:2", "3:2"}};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(g.Cell(c, r), expected[static_cast<size_t>(r)][static_cast<size_t>(c)]);
  }
  g.DeleteColumn(2);
  EXPECT_EQ(g.ColCount(), 2);
  EXPECT_EQ(g.Cell(1, 2), "2:2");
}

TEST(CellGrid, CurrentCellStaysInside) {
  CellGrid g(5, 5);
  g.SetCurrent(3, 4);
  EXPECT_EQ(g.Col(), 3);
  EXPECT_EQ(g.Row(), 4);
  g.SetRowCount(2);
  EXPECT_EQ(g.Row(), 1);
  g.DeleteColumn(0);
  g.DeleteColumn(0);
  EXPECT_EQ(g.Col(), 2);
  g.SetColCount(2);
  EXPECT_EQ(g.Col(), 1);
  g.SetCurrent(-3, 99);
  EXPECT_EQ(g.Col(), 0);
  EXPECT_EQ(g.Row(), 1);
}

TEST(CellGrid, GenerationsTellContentFromShape) {
  CellGrid g(3, 3);
  struct Step {
    const char* name;
    std::function<void(CellGrid&)> op;
    bool content, shape;
  };
  const std::vector<Step> steps = {
      {"set a cell", [](CellGrid& x) { x.SetCell(1, 1, "L"); }, true, false},
      {"same text again", [](CellGrid& x) { x.SetCell(1, 1, "L"); }, false, false},
      {"other text", [](CellGrid& x) { x.SetCell(1, 1, "S"); }, true, false},
      {"empty it", [](CellGrid& x) { x.SetCell(1, 1, ""); }, true, false},
      {"more rows", [](CellGrid& x) { x.SetRowCount(4); }, true, true},
      {"same row count", [](CellGrid& x) { x.SetRowCount(4); }, false, false},
      {"fewer columns", [](CellGrid& x) { x.SetColCount(2); }, true, true},
      {"delete a column", [](CellGrid& x) { x.DeleteColumn(1); }, true, true},
      {"delete nothing", [](CellGrid& x) { x.DeleteColumns({}); }, false, false},
      {"move current", [](CellGrid& x) { x.SetCurrent(0, 1); }, false, false},
      {"clear", [](CellGrid& x) { x.Clear(); }, true, true},
  };
  for (const Step& s : steps) {
    const uint64_t gen = g.Generation(), shape = g.StructureGeneration();
    s.op(g);
    EXPECT_EQ(g.Generation() != gen, s.content) << s.name;
    EXPECT_EQ(g.StructureGeneration() != shape, s.shape) << s.name;
  }
}

TEST(CellGrid, RandomOperationsAgreeWithAPlainGrid) {
  std::mt19937 rng(99);
  CellGrid g;
  Naive n;
  const std::vector<std::string> pool = {"", "L", "S", "C", "l", "S1", " Y/X", "0.5", "1234.5"};
  for (int step = 0; step < 20000; ++step) {
    const int op = static_cast<int>(rng() % 100);
    if (op < 3) {
      const int c = static_cast<int>(rng() % 9);
      g.SetColCount(c);
      n.SetColCount(c);
    } else if (op < 6) {
      const int r = static_cast<int>(rng() % 9);
      g.SetRowCount(r);
      n.SetRowCount(r);
    } else if (op < 8 && g.ColCount() > 0) {
      const int c = static_cast<int>(rng() % static_cast<unsigned>(g.ColCount()));
      g.DeleteColumn(c);
      n.cols.erase(n.cols.begin() + c);
    } else if (op < 9 && g.ColCount() > 0) {
      std::vector<int> del;
      for (int k = 0; k < 3; ++k) del.push_back(static_cast<int>(rng() % static_cast<unsigned>(g.ColCount())));
      g.DeleteColumns(del);
      std::sort(del.begin(), del.end());
      del.erase(std::unique(del.begin(), del.end()), del.end());
      for (auto it = del.rbegin(); it != del.rend(); ++it) n.cols.erase(n.cols.begin() + *it);
    } else if (op < 10) {
      g.Clear();
      for (auto& c : n.cols) std::fill(c.begin(), c.end(), std::string());
    } else if (g.ColCount() > 0 && g.RowCount() > 0) {
      const int c = static_cast<int>(rng() % static_cast<unsigned>(g.ColCount()));
      const int r = static_cast<int>(rng() % static_cast<unsigned>(g.RowCount()));
      // Mostly a few codes, sometimes a fresh text, so the string table has to clean up.
      const std::string text = rng() % 4 == 0 ? "t" + std::to_string(step) : pool[rng() % pool.size()];
      g.SetCell(c, r, text);
      n.cols[static_cast<size_t>(c)][static_cast<size_t>(r)] = text;
    }
    if (step % 97 == 0) ExpectSame(g, n, "step " + std::to_string(step));
  }
  ExpectSame(g, n, "end");
  // Fresh texts that were overwritten are not kept for ever.
  EXPECT_LT(g.TextCount(), 4096u + 100u);
}

TEST(CellGrid, OverwrittenTextsAreDroppedAndLiveOnesKept) {
  CellGrid g(3, 2);
  g.SetCell(0, 0, "keep me");
  g.SetCell(2, 1, "L");
  for (int i = 0; i < 20000; ++i) g.SetCell(1, 1, "edit " + std::to_string(i));
  EXPECT_LT(g.TextCount(), 4100u);
  EXPECT_EQ(g.Cell(0, 0), "keep me");
  EXPECT_EQ(g.Cell(1, 1), "edit 19999");
  EXPECT_EQ(g.Cell(2, 1), "L");
  g.SetCell(1, 0, "L");  // an existing text is found again after the clean-ups
  EXPECT_EQ(g.Cell(1, 0), "L");
}

TEST(CellGrid, SweepSizedGridStaysSmall) {
  // A 2001 x 2001 run: unique headers, phase codes and empty two-phase cells.
  const int n = 2001;
  CellGrid g;
  g.SetColCount(n);
  g.SetRowCount(2);
  g.SetCell(0, 0, " Y/X");
  for (int c = 1; c < n; ++c) g.SetCell(c, 0, "0." + std::to_string(c));
  for (int r = 1; r < n; ++r) {
    g.SetRowCount(r + 1);
    g.SetCell(0, r, std::to_string(2000 - r) + ".5");
    for (int c = 1; c < n; ++c) {
      const char* code = c < r / 2 ? "S" : (c < r ? "" : "L");
      g.SetCell(c, r, code);
    }
  }
  EXPECT_EQ(g.Cell(1, 2000), "S");
  EXPECT_EQ(g.Cell(1500, 2000), "");
  EXPECT_EQ(g.Cell(2000, 1), "L");
  EXPECT_EQ(g.Cell(0, 2000), "0.5");
  EXPECT_LT(g.MemoryBytes(), 40u * 1024 * 1024);
  EXPECT_LT(g.TextCount(), 4100u);
}

}  // namespace

namespace {

TEST(CellGrid, PhasesAndHeaderNumbersStayWithTheirCells) {
  CellGrid g(5, 3);
  g.SetPhaseCodes({"L", "S", "C", "C"});  // two compounds share the code "C"
  g.SetColumnHeader(1, 0.0, "0");
  g.SetColumnHeader(2, 0.25, "0.25");
  g.SetColumnHeader(3, 0.5, "0.5");
  g.SetColumnHeader(4, 1.0, "1");
  g.SetRowHeader(1, 1234.5, "1234.5");
  g.SetPhase(1, 1, 0);
  g.SetPhase(3, 1, 3);
  g.SetPhase(4, 1, 1);
  EXPECT_EQ(g.Cell(3, 1), "C");
  EXPECT_EQ(g.Phase(3, 1), 3) << "the compound itself, not the first with its code";
  EXPECT_EQ(g.Phase(2, 1), -1);
  // Typed texts: a code of one phase is that phase; a shared code or another text is none.
  g.SetCell(2, 1, "S");
  g.SetCell(2, 2, "C");
  g.SetCell(3, 2, "x");
  EXPECT_EQ(g.Phase(2, 1), 1);
  EXPECT_EQ(g.Phase(2, 2), -1);
  EXPECT_EQ(g.Cell(2, 2), "C");
  EXPECT_EQ(g.Phase(3, 2), -1);
  // Columns removed take their numbers along; a copy keeps phases, numbers and its own index.
  g.DeleteColumn(2);
  CellGrid copy = g;
  g.SetPhaseCodes({"V"});
  EXPECT_EQ(copy.ColumnX(2), 0.5);
  EXPECT_EQ(copy.ColumnX(3), 1.0);
  EXPECT_EQ(copy.Phase(2, 1), 3);
  EXPECT_EQ(copy.RowY(1), 1234.5);
  copy.SetCell(1, 2, "L");
  EXPECT_EQ(copy.Phase(1, 2), 0);
  // New codes empty every cell and header number; a header written as text has none.
  EXPECT_TRUE(g.CellEmpty(1, 1));
  EXPECT_TRUE(std::isnan(g.ColumnX(2)));
  copy.SetCell(2, 0, "0.5");
  EXPECT_TRUE(std::isnan(copy.ColumnX(2)));
  EXPECT_TRUE(std::isnan(copy.RowY(7)));
}

}  // namespace
