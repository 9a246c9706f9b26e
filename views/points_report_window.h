#pragma once
// The window "Special points coordinates" (TfmSpecPoints): the table of nodes (three-phase tie
// lines) with their level and three compositions, and the memo of the other special points
// that the last finder pass wrote. Below them, when the run was refined, the exact values: the
// invariant reactions and a table of transitions, congruent points and critical points.

#include <QWidget>
#include <functional>
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
  // The same from the finder's lines and their points: with temperatures in °C (SetCelsius) the
  // lines of a temperature diagram are written from the points ("T(X = 0) = 706.85 °C"),
  // otherwise they are the finder's own.
  void SetMemo(const std::vector<std::string>& lines, const std::vector<calc::SpecialPoint>& points,
               calc::YParameter yParameter);

  // Temperatures in °C instead of K in the tables and the memo filled from here on (the diagram's
  // look decides). Off, the window is as designed.
  void SetCelsius(bool celsius) { celsius_ = celsius; }
  bool Celsius() const { return celsius_; }

  // The table as the grid it stands for: row 0 is the header row.
  int RowCount() const;
  QString Cell(int col, int row) const;

  void SetDecimalSeparator(char separator) { separator_ = separator; }

  // Fills the exact-value tables from the refinement of the last run (X with 6 significant
  // digits, Y to 0.001; a feature the grid alone fixed is marked approximate). Without refined
  // results (refinement off, or no complete run) the group is hidden and the window is as
  // without refinement. The phases are named as `label`, the results they belong to, shows them
  // to the user (a point phase by its line's key, see calc::RunPhase::Label); without it a point
  // phase shows as C(x).
  void SetRefined(const calc::RefinedResults& refined, calc::YParameter yParameter,
                  const calc::Results* label = nullptr);
  QGroupBox* ExactGroup() const { return exact_; }
  // Type, reaction, Y, X left, X middle, X right.
  QTableWidget* InvariantsTable() const { return invariants_; }
  // Kind, phases, X, Y: transitions, then congruent points, then critical points.
  QTableWidget* PointsTable() const { return points_; }

  QTableWidget* sgSpecPoints() const { return table_; }
  QPlainTextEdit* Memo1() const { return memo_; }
  QPushButton* CloseButton() const { return close_; }

 private:
  // What a temperature of the run loses to be shown in the unit chosen: 273.15 in °C, else 0.
  double CelsiusOffset(calc::YParameter yParameter) const;

  QGroupBox* nodes_ = nullptr;
  QGroupBox* others_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
  QPushButton* close_ = nullptr;
  QGroupBox* exact_ = nullptr;
  QTableWidget* invariants_ = nullptr;
  QTableWidget* points_ = nullptr;
  char separator_ = '.';
  bool celsius_ = false;
};

}  // namespace views
