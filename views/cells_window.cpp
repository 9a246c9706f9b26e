#include "views/cells_window.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QVBoxLayout>

#include "calc/point_finder.h"

namespace views {

namespace {

// Paints the grid's corner cell text (" Y/X") on the table's corner button.
class CornerPainter : public QObject {
 public:
  CornerPainter(QAbstractButton* corner, const calc::CellGrid* grid)
      : QObject(corner), corner_(corner), grid_(grid) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != corner_ || event->type() != QEvent::Paint) return false;
    QPainter painter(corner_);
    QStyleOptionHeader option;
    option.initFrom(corner_);
    option.rect = corner_->rect();
    option.position = QStyleOptionHeader::OnlyOneSection;
    option.text = QString::fromStdString(grid_->Cell(0, 0));
    option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    corner_->style()->drawControl(QStyle::CE_Header, &option, &painter, corner_);
    return true;
  }

 private:
  QAbstractButton* corner_;
  const calc::CellGrid* grid_;
};

}  // namespace

CellGridModel::CellGridModel(calc::CellGrid* grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {
  seen_ = grid_->Generation();
  seenStructure_ = grid_->StructureGeneration();
  rows_ = std::max(grid_->RowCount() - 1, 0);
  cols_ = std::max(grid_->ColCount() - 1, 0);
}

int CellGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int CellGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : cols_; }

QVariant CellGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
  return QString::fromStdString(grid_->Cell(index.column() + 1, index.row() + 1));
}

bool CellGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  // The grid may have shrunk since the views last heard of it; such a cell is gone.
  if (!index.isValid() || role != Qt::EditRole || index.row() >= rows_ || index.column() >= cols_ ||
      index.row() + 1 >= grid_->RowCount() || index.column() + 1 >= grid_->ColCount()) {
    return false;
  }
  grid_->SetCell(index.column() + 1, index.row() + 1, value.toString().toStdString());
  seen_ = grid_->Generation();
  emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
  return true;
}

QVariant CellGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  if (role != Qt::DisplayRole) return {};
  return orientation == Qt::Horizontal ? QString::fromStdString(grid_->Cell(section + 1, 0))
                                       : QString::fromStdString(grid_->Cell(0, section + 1));
}

Qt::ItemFlags CellGridModel::flags(const QModelIndex& index) const {
  return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

void CellGridModel::SetDetached(bool detached) {
  if (detached == detached_) return;
  beginResetModel();
  detached_ = detached;
  rows_ = detached ? 0 : std::max(grid_->RowCount() - 1, 0);
  cols_ = detached ? 0 : std::max(grid_->ColCount() - 1, 0);
  if (!detached) {
    seen_ = grid_->Generation();
    seenStructure_ = grid_->StructureGeneration();
  }
  endResetModel();
}

void CellGridModel::Refresh() {
  if (detached_) return;
  const int rows = std::max(grid_->RowCount() - 1, 0);
  const int cols = std::max(grid_->ColCount() - 1, 0);
  if (grid_->StructureGeneration() != seenStructure_) {
    seenStructure_ = grid_->StructureGeneration();
    if (cols != cols_ || cols == 0) {
      beginResetModel();
      rows_ = rows;
      cols_ = cols;
      seen_ = grid_->Generation();
      endResetModel();
      return;
    }
    if (rows > rows_) {
      beginInsertRows(QModelIndex(), rows_, rows - 1);
      rows_ = rows;
      endInsertRows();
    } else if (rows < rows_) {
      beginRemoveRows(QModelIndex(), rows, rows_ - 1);
      rows_ = rows;
      endRemoveRows();
    }
    seen_ = 0;  // the cells themselves may have changed as well (a cleared grid)
  }
  if (grid_->Generation() != seen_) {
    seen_ = grid_->Generation();
    if (rows_ > 0 && cols_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, cols_ - 1));
    if (cols_ > 0) emit headerDataChanged(Qt::Horizontal, 0, cols_ - 1);
    if (rows_ > 0) emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
  }
}

TfmCells::TfmCells(calc::CellGrid* grid, QWidget* parent)
    : QWidget(parent, Qt::Window), grid_(grid) {
  setWindowTitle(tr("Grid representation"));
  setObjectName(QStringLiteral("fmCells"));
  resize(696, 480);
  move(192, 114);

  model_ = new CellGridModel(grid_, this);
  view_ = new QTableView;
  view_->setObjectName(QStringLiteral("sgCells"));
  view_->setModel(model_);
  view_->setWordWrap(false);
  view_->setSelectionMode(QAbstractItemView::ContiguousSelection);
  view_->setSelectionBehavior(QAbstractItemView::SelectItems);
  view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  view_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  view_->setShowGrid(true);
  // Every row and every column has one size unless the user drags it: nothing is measured
  // per cell, which keeps large grids quick.
  QHeaderView* rows = view_->verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setMinimumSectionSize(kRowHeight);
  rows->setDefaultSectionSize(kRowHeight);
  rows->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  rows->setFixedWidth(kWideColumn);
  QHeaderView* cols = view_->horizontalHeader();
  cols->setSectionResizeMode(QHeaderView::Interactive);
  cols->setMinimumSectionSize(kNarrowColumn);
  cols->setDefaultSectionSize(kWideColumn);
  cols->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  cols->setFixedHeight(kRowHeight + 2);
  cols->setHighlightSections(false);
  rows->setHighlightSections(false);
  if (auto* corner = view_->findChild<QAbstractButton*>()) {
    corner->installEventFilter(new CornerPainter(corner, grid_));
  }

  narrow_ = new QCheckBox(tr("\"Узкие\" ячейки"));
  narrow_->setObjectName(QStringLiteral("chbNarrowCells"));
  compact_ = new QPushButton(tr("Compact the grid"));
  compact_->setObjectName(QStringLiteral("sbCompact"));
  compact_->setVisible(false);
  specialPoints_ = new QPushButton(tr("Find special points"));
  specialPoints_->setObjectName(QStringLiteral("sbSpecialPoints"));
  specialPoints_->setVisible(false);
  close_ = new QPushButton(tr("&Закрыть"));

  auto* panel = new QWidget;
  panel->setFixedHeight(41);
  auto* panelLayout = new QHBoxLayout(panel);
  panelLayout->setContentsMargins(8, 4, 8, 4);
  panelLayout->addWidget(narrow_);
  panelLayout->addWidget(compact_);
  panelLayout->addWidget(specialPoints_);
  panelLayout->addStretch(1);
  panelLayout->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(view_, 1);
  layout->addWidget(panel);

  connect(narrow_, &QCheckBox::toggled, this, &TfmCells::chbNarrowCellsClick);
  connect(compact_, &QPushButton::clicked, this, &TfmCells::sbCompactClick);
  connect(specialPoints_, &QPushButton::clicked, this, &TfmCells::specialPointsRequested);
  connect(close_, &QPushButton::clicked, this, &QWidget::close);
  // The view's current cell is the grid's current cell.
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (!syncing_ && current.isValid()) grid_->SetCurrent(current.column() + 1, current.row() + 1);
          });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    // A new shape: keep the columns at the width the check box asks for.
    view_->horizontalHeader()->setDefaultSectionSize(narrow_->isChecked() ? kNarrowColumn : kWideColumn);
  });
}

void TfmCells::chbNarrowCellsClick(bool checked) {
  // Sets every data column, also those the user resized; the row header keeps its width.
  view_->horizontalHeader()->setDefaultSectionSize(checked ? kNarrowColumn : kWideColumn);
}

int TfmCells::ColumnWidth(int col) const { return view_->columnWidth(col - 1); }

void TfmCells::SetSweeping(bool sweeping) {
  if (sweeping == sweeping_) return;
  sweeping_ = sweeping;
  model_->SetDetached(sweeping);
  setEnabled(!sweeping);
  if (!sweeping && isVisible()) Refresh();
}

void TfmCells::Refresh() {
  if (sweeping_) return;
  model_->Refresh();
  // The row header is as wide as a data column, or as its longest level text needs.
  const QFontMetrics metrics(view_->verticalHeader()->font());
  int width = kWideColumn;
  for (int row : {0, 1, grid_->RowCount() - 1}) {
    width = std::max(width, metrics.horizontalAdvance(QString::fromStdString(grid_->Cell(0, row))) + 10);
  }
  view_->verticalHeader()->setFixedWidth(width);
  view_->viewport()->update();
  ShowCurrentCell();
}

void TfmCells::ShowCurrentCell() {
  const QModelIndex index = model_->index(grid_->Row() - 1, grid_->Col() - 1);
  if (!index.isValid()) return;
  syncing_ = true;
  view_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  syncing_ = false;
  view_->scrollTo(index);
}

void TfmCells::sbCompactClick() {
  calc::CompactGrid(*grid_);
  Refresh();
}

void TfmCells::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
}

}  // namespace views
