#pragma once
// A data grid whose odd visible rows are striped: with Zebra on, every row whose index counted
// from the first visible row is odd is painted with ZebraColor behind ZebraFontColor text, and
// the current cell is not painted in the selection colours (the row indicator in the vertical
// header shows it instead). The stripes belong to the screen rows, so the grid repaints as a
// whole whenever it scrolls.

#include <QColor>
#include <QTableView>
#include <cstdint>

namespace app {

class TStripeGrid : public QTableView {
  Q_OBJECT
 public:
  // Aqua.
  static constexpr std::int32_t kDefaultZebraColor = 16776960;

  explicit TStripeGrid(QWidget* parent = nullptr);

  bool Zebra() const { return zebra_; }
  void SetZebra(bool on);
  // The stripe colour as a colour value (red in the lowest byte).
  std::int32_t ZebraColor() const { return zebraColor_; }
  void SetZebraColor(std::int32_t value);
  QColor ZebraFontColor() const { return zebraFontColor_; }
  void SetZebraFontColor(const QColor& c);

  // True when row `row` of the model is painted striped at the current scroll position.
  bool IsStripedRow(int row) const;

 private:
  bool zebra_ = false;
  std::int32_t zebraColor_ = kDefaultZebraColor;
  QColor zebraFontColor_;
};

}  // namespace app
