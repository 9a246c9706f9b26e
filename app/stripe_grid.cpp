#include "app/stripe_grid.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include "app/colors.h"

namespace app {

namespace {

class StripeDelegate : public QStyledItemDelegate {
 public:
  explicit StripeDelegate(TStripeGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    if (!grid_->Zebra()) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    // The view has already painted the selection behind the cell; cover it.
    QColor back = opt.palette.color(QPalette::Base);
    if (grid_->IsStripedRow(index.row())) {
      back = ColorFromValue(grid_->ZebraColor());
      opt.palette.setColor(QPalette::Text, grid_->ZebraFontColor());
    }
    painter->fillRect(opt.rect, back);
    opt.backgroundBrush = QBrush(back);
    const QWidget* w = opt.widget;
    QStyle* style = w ? w->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);
  }

 private:
  TStripeGrid* grid_;
};

}  // namespace

TStripeGrid::TStripeGrid(QWidget* parent)
    : QTableView(parent), zebraFontColor_(palette().color(QPalette::WindowText)) {
  setItemDelegate(new StripeDelegate(this));
  connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(),
          qOverload<>(&QWidget::update));
}

void TStripeGrid::SetZebra(bool on) {
  zebra_ = on;
  viewport()->update();
}

void TStripeGrid::SetZebraColor(std::int32_t value) {
  zebraColor_ = value;
  viewport()->update();
}

void TStripeGrid::SetZebraFontColor(const QColor& c) {
  zebraFontColor_ = c;
  viewport()->update();
}

bool TStripeGrid::IsStripedRow(int row) const {
  if (!zebra_) return false;
  const int top = rowAt(0);
  const int first = top < 0 ? 0 : top;
  return ((row - first) % 2 + 2) % 2 == 1;
}

}  // namespace app
