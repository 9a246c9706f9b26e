#pragma once
// The dockable "Equilibrium at a point" panel: for a point (X, Y) of the diagram, the G(X)
// curves of every phase at that level, their lower hull, the tangent through the equilibrium
// at X, the stable phases with their compositions and amounts, and the chemical potentials of
// A and B. It compiles the problem's sheet for itself, apart from the engine's.

#include <QDockWidget>
#include <memory>

#include "calc/equilibrium.h"
#include "calc/problem.h"

QT_BEGIN_NAMESPACE
class QChartView;
class QLabel;
QT_END_NAMESPACE

namespace views {

class EquilibriumPanel : public QDockWidget {
  Q_OBJECT

 public:
  explicit EquilibriumPanel(QWidget* parent = nullptr);
  ~EquilibriumPanel() override;

  // The problem whose sheet to use; false (and a message in the panel) when it does not compile.
  bool SetProblem(const calc::ProblemInput& problem, char decimalSeparator);
  // Computes and shows the equilibrium at (x, y), y in the problem's units (K or bar).
  void Inspect(double x, double y);
  // Shows nothing but `text` (another problem was run: what is shown is not its equilibrium).
  void Clear(const QString& text);
  // Temperatures shown in °C instead of K from the next Inspect on (the diagram's look decides).
  void SetCelsius(bool celsius) { celsius_ = celsius; }
  // The problem the panel shows.
  const calc::ProblemInput& Problem() const { return problem_; }

  const calc::Equilibrium& Current() const { return current_; }
  QLabel* Summary() const { return summary_; }
  QLabel* Legend() const { return legend_; }
  QChartView* Chart() const { return chart_; }

 private:
  struct Sheet;
  std::unique_ptr<Sheet> sheet_;
  calc::ProblemInput problem_;
  calc::Equilibrium current_;
  QChartView* chart_ = nullptr;
  QLabel* legend_ = nullptr;
  QLabel* summary_ = nullptr;
  bool celsius_ = false;
};

}  // namespace views
