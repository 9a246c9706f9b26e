#pragma once
// The window "Special points coordinates" (TfmSpecPoints): the table of nodes (three-phase tie
// lines) with their level and three compositions, and the memo of the other special points
// that the last finder pass wrote.

#include <QWidget>
#include <string>
#include <vector>

#include "calc/problem.h"
#include "calc/results.h"

QT_BEGIN_NAMESPACE
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
QT_END_NAMESPACE

namespace views {

class TfmSpecPoints : public QWidget {
  Q_OBJECT

 public:
  explicit TfmSpecPoints(QWidget* parent = nullptr);

  // The special points command: the table gets one row per node under its header (one empty
  // row when there is no node), headers " T, K" (temperature; " P, бар" otherwise), " X(лев.)",
  // " X", " X(прав.)", every number written as " " + "0.###"; then the window is shown when
  // `show` is set. The memo is not touched.
  void ShowSpecialPoints(const std::vector<calc::TNode>& nodes, calc::YParameter yParameter,
                         bool show = true);

  // Replaces the memo by the lines of the last finder pass.
  void SetMemoLines(const std::vector<std::string>& lines);

  // The table as the grid it stands for: row 0 is the header row.
  int RowCount() const;
  QString Cell(int col, int row) const;

  void SetDecimalSeparator(char separator) { separator_ = separator; }

  QTableWidget* sgSpecPoints() const { return table_; }
  QPlainTextEdit* Memo1() const { return memo_; }
  QPushButton* CloseButton() const { return close_; }

 private:
  QGroupBox* nodes_ = nullptr;
  QGroupBox* others_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
  QPushButton* close_ = nullptr;
  char separator_ = '.';
};

}  // namespace views
