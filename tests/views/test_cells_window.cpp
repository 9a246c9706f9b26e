#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include "views/cells_window.h"

namespace views {
namespace {

void Settle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// A grid as a run leaves it: header row of compositions, header column of levels.
//            0     0.25  0.5   0.75  1
//   1500     L     L     L     L     L
//   1400     S     ""    L     ""    S
//   1300     S     ""    ""    ""    S
calc::CellGrid SampleGrid() {
  calc::CellGrid g(6, 4);
  const char* header[] = {" Y/X", "0", "0.25", "0.5", "0.75", "1"};
  for (int c = 0; c < 6; ++c) g.SetCell(c, 0, header[c]);
  const char* rows[3][6] = {{"1500", "L", "L", "L", "L", "L"},
                            {"1400", "S", "", "L", "", "S"},
                            {"1300", "S", "", "", "", "S"}};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 6; ++c) g.SetCell(c, r + 1, rows[r][c]);
  }
  return g;
}

TEST(CellGridModel, HeadersAndCellsComeStraightFromTheGrid) {
  calc::CellGrid g = SampleGrid();
  CellGridModel m(&g);
  EXPECT_EQ(m.rowCount(), 3);
  EXPECT_EQ(m.columnCount(), 5);
  EXPECT_EQ(m.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("0"));
  EXPECT_EQ(m.headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("1"));
  EXPECT_EQ(m.headerData(2, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("1300"));
  EXPECT_EQ(m.data(m.index(1, 0), Qt::DisplayRole).toString(), QStringLiteral("S"));
  EXPECT_EQ(m.data(m.index(1, 1), Qt::DisplayRole).toString(), QString());
  EXPECT_TRUE(m.flags(m.index(0, 0)) & Qt::ItemIsEditable);

  // Editing writes into the grid; changes made behind the model's back show after Refresh.
  EXPECT_TRUE(m.setData(m.index(2, 2), QStringLiteral("Ж"), Qt::EditRole));
  EXPECT_EQ(g.Cell(3, 3), "Ж");
  QSignalSpy reset(&m, &QAbstractItemModel::modelReset);
  QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
  m.Refresh();
  EXPECT_EQ(reset.count() + changed.count(), 0);  // nothing new
  g.SetCell(1, 1, "V");
  m.Refresh();
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(reset.count(), 0);
  // New levels at the end are inserted rows; the model keeps its shape until told.
  QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
  QSignalSpy removed(&m, &QAbstractItemModel::rowsRemoved);
  g.SetRowCount(6);
  EXPECT_EQ(m.rowCount(), 3);
  m.Refresh();
  EXPECT_EQ(reset.count(), 0);
  ASSERT_EQ(inserted.count(), 1);
  EXPECT_EQ(inserted.at(0).at(1).toInt(), 3);
  EXPECT_EQ(inserted.at(0).at(2).toInt(), 4);
  EXPECT_EQ(m.rowCount(), 5);
  g.SetRowCount(2);
  m.Refresh();
  EXPECT_EQ(removed.count(), 1);
  EXPECT_EQ(m.rowCount(), 1);
  // A new number of columns is a new shape: the model is reset.
  g.SetColCount(3);
  m.Refresh();
  EXPECT_EQ(reset.count(), 1);
  EXPECT_EQ(m.columnCount(), 2);
  // A cell of rows the grid has dropped, before the model heard of it, takes no edit.
  const QModelIndex last = m.index(m.rowCount() - 1, 0);
  g.SetRowCount(1);
  EXPECT_FALSE(m.setData(last, QStringLiteral("L"), Qt::EditRole));
  g.SetRowCount(2);
  m.Refresh();
  // A cleared grid keeps its shape and shows empty cells.
  g.Clear();
  const int changedBefore = static_cast<int>(changed.count());
  m.Refresh();
  EXPECT_EQ(reset.count(), 1);
  EXPECT_GT(changed.count(), changedBefore);
  EXPECT_EQ(m.data(m.index(0, 0), Qt::DisplayRole).toString(), QString());
  // A grid with only its header row has no data rows; an empty grid nothing at all.
  calc::CellGrid empty;
  CellGridModel e(&empty);
  EXPECT_EQ(e.rowCount(), 0);
  EXPECT_EQ(e.columnCount(), 0);
}

class CellsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    w.show();
    Settle();
  }
  calc::CellGrid g = SampleGrid();
  TfmCells w{&g};
};

TEST_F(CellsWindow, DesignedControls) {
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Grid representation"));
  EXPECT_EQ(w.chbNarrowCells()->text(), QStringLiteral("\"Узкие\" ячейки"));
  EXPECT_FALSE(w.sbCompact()->isVisibleTo(&w));
  EXPECT_FALSE(w.sbSpecialPoints()->isVisibleTo(&w));
  EXPECT_EQ(w.sbCompact()->text(), QStringLiteral("Compact the grid"));
  EXPECT_EQ(w.sbSpecialPoints()->text(), QStringLiteral("Find special points"));
  EXPECT_EQ(w.CloseButton()->text(), QStringLiteral("&Закрыть"));
  EXPECT_EQ(w.sgCells()->verticalHeader()->defaultSectionSize(), 18);
  EXPECT_EQ(w.sgCells()->rowHeight(2), 18);
  QSignalSpy spy(&w, &TfmCells::specialPointsRequested);
  w.sbSpecialPoints()->click();
  EXPECT_EQ(spy.count(), 1);
  w.CloseButton()->click();
  EXPECT_FALSE(w.isVisible());
}

TEST_F(CellsWindow, NarrowCellsSetsEveryDataColumnAndSparesTheHeaderColumn) {
  QTableView* v = w.sgCells();
  v->horizontalHeader()->resizeSection(2, 100);  // a column the user dragged wider
  const int rowHeaderWidth = v->verticalHeader()->width();
  w.chbNarrowCells()->setChecked(true);
  for (int c = 1; c <= 5; ++c) EXPECT_EQ(w.ColumnWidth(c), 15) << c;
  EXPECT_EQ(v->verticalHeader()->width(), rowHeaderWidth);
  w.chbNarrowCells()->setChecked(false);
  for (int c = 1; c <= 5; ++c) EXPECT_EQ(w.ColumnWidth(c), 64) << c;

  // Narrow columns stay narrow when a new run reshapes the grid.
  w.chbNarrowCells()->setChecked(true);
  g.SetColCount(9);
  w.Refresh();
  for (int c = 1; c <= 8; ++c) EXPECT_EQ(w.ColumnWidth(c), 15) << c;
}

TEST_F(CellsWindow, CompactingRemovesTheEmptyColumnsAndTheViewFollows) {
  // Columns 0.25 and 0.75 are empty below the levels' first row... but not in it: nothing goes.
  w.sbCompactClick();
  EXPECT_EQ(g.ColCount(), 6);
  // With the first level row emptied there, they go, headers and all.
  g.SetCell(2, 1, "");
  g.SetCell(4, 1, "");
  w.sbCompactClick();
  ASSERT_EQ(g.ColCount(), 4);
  ASSERT_EQ(w.Model()->columnCount(), 3);
  QStringList headers;
  for (int c = 0; c < 3; ++c) headers << w.Model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  EXPECT_EQ(headers, (QStringList{"0", "0.5", "1"}));
  EXPECT_EQ(w.Model()->data(w.Model()->index(1, 1), Qt::DisplayRole).toString(), QStringLiteral("L"));
  // Without data rows every data column goes.
  g.SetRowCount(1);
  w.sbCompactClick();
  EXPECT_EQ(g.ColCount(), 1);
  EXPECT_EQ(w.Model()->columnCount(), 0);
}

TEST_F(CellsWindow, EditingInPlaceWritesTheGrid) {
  QTableView* v = w.sgCells();
  const QModelIndex index = w.Model()->index(0, 1);
  v->setCurrentIndex(index);
  v->edit(index);
  Settle();
  auto* editor = v->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, QStringLiteral("S2"));
  QTest::keyClick(editor, Qt::Key_Return);
  Settle();
  EXPECT_EQ(g.Cell(2, 1), "S2");
}

TEST_F(CellsWindow, CurrentCellMovesBothWaysAndScrolls) {
  // Clicking a cell makes it the grid's current cell.
  QTableView* v = w.sgCells();
  QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(w.Model()->index(2, 3)).center());
  EXPECT_EQ(g.Col(), 4);
  EXPECT_EQ(g.Row(), 3);
  // A range selected with the mouse.
  QTest::mouseClick(v->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                    v->visualRect(w.Model()->index(0, 1)).center());
  EXPECT_EQ(v->selectionModel()->selectedIndexes().size(), 9);

  // A big grid: moving the grid's current cell to its far corner scrolls there.
  calc::CellGrid big(2001, 2001);
  big.SetCell(2000, 2000, "L");
  TfmCells large(&big);
  large.show();
  Settle();
  big.SetCurrent(2000, 2000);
  large.Refresh();
  Settle();
  const QModelIndex corner = large.Model()->index(1999, 1999);
  EXPECT_EQ(large.sgCells()->currentIndex(), corner);
  EXPECT_TRUE(large.sgCells()->viewport()->rect().intersects(large.sgCells()->visualRect(corner)));
}

}  // namespace
}  // namespace views
