#pragma once
// The window of one alloy along a path ("Cooling path at X = …" in the diagram's context menu):
// the phase fractions against T with the boundaries crossed marked and Scheil solidification
// beside the equilibrium, or the activities; what was found in words below the plot; export
// and copy like the diagram.

#include <QString>
#include <QWidget>
#include <memory>

#include "calc/path.h"
#include "calc/problem.h"
#include "calc/scheil.h"
#include "views/path_plot.h"

QT_BEGIN_NAMESPACE
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
QT_END_NAMESPACE

namespace views {

class PathPlotWindow : public QWidget {
  Q_OBJECT

 public:
  explicit PathPlotWindow(QWidget* parent = nullptr);
  ~PathPlotWindow() override;

  // Follows the alloy x (mole fraction of B) of the problem from its Ymax down to Ymin, and its
  // Scheil path when the problem runs along temperature and its sheet has a liquid; shows the
  // window. False with `error` set when the sheet cannot be compiled or the path not computed.
  bool ShowPath(const calc::ProblemInput& problem, double x, const PathPlotOptions& look,
                QString* error = nullptr);

  // Temperatures in °C or K from now on (the diagram's unit changed).
  void SetCelsius(bool celsius);
  // Compositions in weight percent and amounts by mass from now on, or mole fractions (when
  // the components' masses are known).
  void SetWeightPercent(bool on);

  // The text below the plot: the boundaries crossed, how the Scheil path ended.
  QString Summary() const;

  PathPlotWidget* Plot() const { return plot_; }
  QComboBox* ViewBox() const { return view_; }
  QCheckBox* ScheilBox() const { return scheilBox_; }
  QPushButton* ExportButton() const { return export_; }
  const calc::PathResult& Path() const { return path_; }
  const calc::ScheilResult& ScheilPath() const { return scheil_; }

  // Asks for the format, size and resolution, then the file, and writes the plot shown.
  void ExportInteractively();
  void CopyPicture();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Refresh();

  PathPlotWidget* plot_ = nullptr;
  QComboBox* view_ = nullptr;
  QCheckBox* scheilBox_ = nullptr;
  QPushButton* export_ = nullptr;
  QLabel* summary_ = nullptr;
  calc::PathRequest request_;
  calc::PathResult path_;
  calc::ScheilResult scheil_;
  bool hasScheil_ = false;
  PathPlotOptions look_;
};

}  // namespace views
