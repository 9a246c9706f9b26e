#include "views/equilibrium_panel.h"

#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QStringList>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <exception>

#include "calc/phase_sheet.h"
#include "views/chart_look.h"

namespace views {

namespace {

QString Num(double v, int decimals) {
  if (std::isinf(v)) return v < 0 ? QStringLiteral("−∞") : QStringLiteral("∞");
  return QString::number(v, 'f', decimals);
}

}  // namespace

struct EquilibriumPanel::Sheet {
  calc::KeepLastMessage messages;
  calc::PhaseSheet sheet{messages};
  bool compiled = false;
};

EquilibriumPanel::EquilibriumPanel(QWidget* parent)
    : QDockWidget(tr("Equilibrium at a point"), parent), sheet_(std::make_unique<Sheet>()) {
  setObjectName(QStringLiteral("equilibriumPanel"));
  auto* body = new QWidget;
  auto* layout = new QVBoxLayout(body);
  chart_ = new QChartView(new QChart);
  chart_->setRenderHint(QPainter::Antialiasing);
  chart_->setMinimumSize(320, 260);
  // The legend is a line of text under the plot: it wraps where the chart's own legend cut the
  // names of a narrow panel short.
  chart_->chart()->legend()->hide();
  legend_ = new QLabel;
  legend_->setObjectName(QStringLiteral("equilibriumLegend"));
  legend_->setTextFormat(Qt::RichText);
  legend_->setWordWrap(true);
  summary_ = new QLabel;
  summary_->setObjectName(QStringLiteral("equilibriumSummary"));
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  summary_->setWordWrap(true);
  layout->addWidget(chart_, 1);
  layout->addWidget(legend_);
  layout->addWidget(summary_);
  setWidget(body);
}

EquilibriumPanel::~EquilibriumPanel() = default;

bool EquilibriumPanel::SetProblem(const calc::ProblemInput& problem, char decimalSeparator) {
  problem_ = problem;
  sheet_->compiled = false;
  try {
    sheet_->compiled =
        sheet_->sheet.Compile(problem.Functs, decimalSeparator) && !sheet_->sheet.Phases.empty();
  } catch (const std::exception& e) {
    sheet_->messages.last = e.what();
  }
  if (!sheet_->compiled) {
    summary_->setText(tr("The problem's phase sheet cannot be used here: %1")
                          .arg(QString::fromStdString(sheet_->messages.last)));
  }
  return sheet_->compiled;
}

void EquilibriumPanel::Clear(const QString& text) {
  QChart* c = chart_->chart();
  c->removeAllSeries();
  for (QAbstractAxis* a : c->axes()) {
    c->removeAxis(a);
    delete a;
  }
  current_ = {};
  legend_->clear();
  summary_->setText(text);
}

void EquilibriumPanel::Inspect(double x, double y) {
  if (!sheet_->compiled) return;
  const bool temperature = problem_.Yparameter != calc::YParameter::Pressure;
  const double T = temperature ? y : problem_.Zvalue;
  double p = temperature ? problem_.Zvalue : y;
  if (!(p > 0)) p = 1;
  current_ = calc::SolveEquilibrium(sheet_->sheet, T, p, x, 401);
  const calc::Equilibrium& eq = current_;

  QChart* c = chart_->chart();
  c->removeAllSeries();
  for (QAbstractAxis* a : c->axes()) {
    c->removeAxis(a);
    delete a;
  }
  legend_->clear();
  auto* ax = new QValueAxis;
  auto* ay = new QValueAxis;
  const calc::ComponentNames names = calc::ReadComponentNames(problem_.Functs);
  const QString a = names.Named() ? QString::fromStdString(names.A) : QStringLiteral("A");
  const QString b = names.Named() ? QString::fromStdString(names.B) : QStringLiteral("B");
  ax->setRange(0, 1);
  ax->setTickCount(6);
  ax->setLabelFormat(QStringLiteral("%.1f"));
  ax->setTitleText(names.Named() ? tr("X(%1)").arg(b) : tr("X"));
  ay->setTitleText(tr("G, J/mol"));
  c->addAxis(ax, Qt::AlignBottom);
  c->addAxis(ay, Qt::AlignLeft);
  auto attach = [&](QXYSeries* s) {
    c->addSeries(s);
    s->attachAxis(ax);
    s->attachAxis(ay);
  };
  if (!eq.Error.empty()) {
    summary_->setText(QString::fromStdString(eq.Error));
    return;
  }
  // The energy range around the hull, so the curves that matter fill the plot.
  const auto [lo, hi] = std::minmax_element(eq.HullG.begin(), eq.HullG.end());
  const double span = std::max(*hi - *lo, 1.0);
  const double gmin = *lo - 0.15 * span, gmax = *hi + 0.6 * span;
  QStringList legend;
  auto entry = [&](const QColor& colour, const QString& mark, const QString& name) {
    legend << QStringLiteral("<span style=\"color:%1\">%2</span>&nbsp;%3")
                  .arg(colour.name(), mark, name.toHtmlEscaped().replace(' ', "&nbsp;"));
  };
  // Each phase in its colour of the working chart.
  const int solutions = static_cast<int>(sheet_->sheet.Phases.size());
  for (const calc::PhaseCurve& curve : eq.Curves) {
    const QColor colour = PhaseColour(curve.Index >= 0 ? curve.Index : solutions - curve.Index - 1);
    QXYSeries* s;
    if (curve.PointPhase) {
      auto* dot = new QScatterSeries;
      dot->setMarkerSize(9);
      dot->setBorderColor(colour);
      s = dot;
      s->setColor(colour);
    } else {
      s = new QLineSeries;
      s->setPen(QPen(colour, 2));
    }
    s->setName(QString::fromStdString(curve.Name));
    for (size_t i = 0; i < curve.X.size(); ++i) {
      if (curve.G[i] <= gmax + span) s->append(curve.X[i], curve.G[i]);
    }
    attach(s);
    entry(colour, curve.PointPhase ? QStringLiteral("●") : QStringLiteral("▬"), s->name());
  }
  entry(Qt::darkGray, QStringLiteral("╌"), tr("lower hull"));
  entry(Qt::red, QStringLiteral("▬"), tr("tangent"));
  entry(Qt::black, QStringLiteral("●"), tr("equilibrium"));
  legend_->setText(legend.join(QStringLiteral(" &nbsp; ")));
  auto* hull = new QLineSeries;
  hull->setName(tr("lower hull"));
  hull->setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
  for (size_t i = 0; i < eq.HullX.size(); ++i) hull->append(eq.HullX[i], eq.HullG[i]);
  attach(hull);
  auto* tangent = new QLineSeries;
  tangent->setName(tr("tangent"));
  tangent->setPen(QPen(Qt::red, 1.5));
  // At a pure component with an infinite potential the tangent is vertical: not drawn.
  if (std::isfinite(eq.MuA) && std::isfinite(eq.MuB)) {
    tangent->append(0, eq.MuA);
    tangent->append(1, eq.MuB);
  }
  attach(tangent);
  auto* ends = new QScatterSeries;
  ends->setName(tr("equilibrium"));
  ends->setColor(Qt::black);
  ends->setMarkerSize(8);
  for (const calc::EquilibriumPhase& ph : eq.Phases) ends->append(ph.X, ph.G);
  attach(ends);
  const double muA = std::isfinite(eq.MuA) ? eq.MuA : gmin;
  const double muB = std::isfinite(eq.MuB) ? eq.MuB : gmin;
  ay->setRange(std::min({gmin, muA, muB}),
               std::max({gmax, std::min(muA, gmax), std::min(muB, gmax)}));
  // Round numbers at the ticks.
  ay->applyNiceNumbers();
  ay->setLabelFormat(QStringLiteral("%.6g"));

  QString text;
  if (celsius_) {
    const QString t = Num(T - 273.15, 2);
    text = temperature ? tr("T = %1 °C, p = %2 bar, X(%3) = %4").arg(t, Num(p, 4), b, Num(eq.X, 4))
                       : tr("p = %1 bar, T = %2 °C, X(%3) = %4").arg(Num(p, 4), t, b, Num(eq.X, 4));
  } else {
    text = temperature
               ? tr("T = %1 K, p = %2 bar, X(%3) = %4").arg(Num(T, 2), Num(p, 4), b, Num(eq.X, 4))
               : tr("p = %1 bar, T = %2 K, X(%3) = %4").arg(Num(p, 4), Num(T, 2), b, Num(eq.X, 4));
  }
  text += QStringLiteral("<table cellspacing=4><tr><th align=left>") + tr("Phase") +
          QStringLiteral("</th><th>") + tr("X(%1)").arg(b) + QStringLiteral("</th><th>") +
          tr("Amount") + QStringLiteral("</th></tr>");
  // The two sides of a miscibility gap as the diagram names them: S′ on the left, S″ on the
  // right.
  const bool gap = eq.Phases.size() == 2 && eq.Phases[0].Name == eq.Phases[1].Name;
  for (size_t k = 0; k < eq.Phases.size(); ++k) {
    const calc::EquilibriumPhase& ph = eq.Phases[k];
    QString name = QString::fromStdString(ph.Name);
    if (gap) name += k == 0 ? QStringLiteral("′") : QStringLiteral("″");
    text += QStringLiteral("<tr><td>%1</td><td align=right>%2</td><td align=right>%3</td></tr>")
                .arg(name.toHtmlEscaped(), Num(ph.X, 6), Num(ph.Amount, 6));
  }
  text += QStringLiteral("</table>");
  text += tr("μ(%1) = %2 J/mol, μ(%3) = %4 J/mol").arg(a, Num(eq.MuA, 1), b, Num(eq.MuB, 1));
  if (eq.Approximate)
    text += QStringLiteral("<br>") +
            tr("The common tangent did not converge: values of the sampled hull.");
  summary_->setText(text);
  show();
  raise();
}

}  // namespace views
