#pragma once
// The window "Grid representation" (TfmCells): the run's cell grid, shown through a model that
// reads calc::CellGrid directly (nothing is copied, so a 2001 x 2001 grid opens at once).
// Row 0 of the grid (compositions) is the column header, column 0 (levels) the row header and
// cell (0, 0) " Y/X" the corner; data cell (c, r) of the grid is model index (r - 1, c - 1).

#include <QAbstractTableModel>
#include <QWidget>
#include <cstdint>

#include "calc/cell_grid.h"

QT_BEGIN_NAMESPACE
class QCheckBox;
class QPushButton;
class QTableView;
QT_END_NAMESPACE

namespace views {

class CellGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit CellGridModel(calc::CellGrid* grid, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Brings the views up to date after the grid was changed behind the model's back: rows
  // added or removed at the end (a run's new level) are inserted or removed, any other new
  // shape resets the model, new contents repaint it. Cheap when nothing changed.
  void Refresh();

  calc::CellGrid* Grid() const { return grid_; }

  // While the grid is written on another thread the model shows nothing and reads nothing;
  // afterwards it shows the grid as it then is.
  void SetDetached(bool detached);

 private:
  calc::CellGrid* grid_;
  bool detached_ = false;
  uint64_t seen_ = 0;
  uint64_t seenStructure_ = 0;
  // The shape the views know; follows the grid in Refresh only.
  int rows_ = 0;
  int cols_ = 0;
};

class TfmCells : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWideColumn = 64;
  static constexpr int kNarrowColumn = 15;
  static constexpr int kRowHeight = 18;

  explicit TfmCells(calc::CellGrid* grid, QWidget* parent = nullptr);

  // Shows what the grid holds now and scrolls to its current cell (after a level, a finder
  // pass, or anything else that changed the grid).
  void Refresh();
  // Scrolls to the grid's current cell and makes it the view's current cell.
  void ShowCurrentCell();

  // Removes the data columns that are empty in every data row ("Compact the grid").
  void sbCompactClick();

  // A sweep writes the grid on another thread: the window shows it empty and disabled until
  // the sweep has ended, then the grid as it was left.
  void SetSweeping(bool sweeping);

  QTableView* sgCells() const { return view_; }
  CellGridModel* Model() const { return model_; }
  QCheckBox* chbNarrowCells() const { return narrow_; }
  QPushButton* sbCompact() const { return compact_; }
  QPushButton* sbSpecialPoints() const { return specialPoints_; }
  QPushButton* CloseButton() const { return close_; }
  // Width of data column c of the grid (c >= 1).
  int ColumnWidth(int col) const;

 signals:
  // "Find special points" was pressed: the owner runs the finder (through the diagram build).
  void specialPointsRequested();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void chbNarrowCellsClick(bool checked);

  calc::CellGrid* grid_;
  CellGridModel* model_ = nullptr;
  QTableView* view_ = nullptr;
  QCheckBox* narrow_ = nullptr;
  QPushButton* compact_ = nullptr;
  QPushButton* specialPoints_ = nullptr;
  QPushButton* close_ = nullptr;
  bool syncing_ = false;
  bool sweeping_ = false;
};

}  // namespace views
