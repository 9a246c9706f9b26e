#include "views/path_plot_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>

#include "calc/phase_sheet.h"
#include "views/diagram_export.h"

namespace views {

namespace {

QString Phases(const std::vector<calc::EquilibriumPhase>& phases) {
  return PhaseNames(phases);
}

}  // namespace

PathPlotWindow::PathPlotWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("pathPlotWindow"));
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  view_ = new QComboBox;
  view_->addItems({tr("Phase fractions"), tr("Activities")});
  scheilBox_ = new QCheckBox(tr("Scheil solidification"));
  scheilBox_->setChecked(true);
  export_ = new QPushButton(tr("Export…"));
  auto* close = new QPushButton(tr("Close"));
  bar->addWidget(view_);
  bar->addWidget(scheilBox_);
  bar->addStretch(1);
  bar->addWidget(export_);
  bar->addWidget(close);
  plot_ = new PathPlotWidget;
  summary_ = new QLabel;
  summary_->setObjectName(QStringLiteral("pathSummary"));
  summary_->setWordWrap(true);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addLayout(bar);
  layout->addWidget(plot_, 1);
  layout->addWidget(summary_);
  connect(view_, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  connect(scheilBox_, &QCheckBox::toggled, this, [this] { Refresh(); });
  connect(export_, &QPushButton::clicked, this, [this] { ExportInteractively(); });
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  resize(760, 600);
}

PathPlotWindow::~PathPlotWindow() = default;

bool PathPlotWindow::ShowPath(const calc::ProblemInput& problem, double x,
                              const PathPlotOptions& look, QString* error) {
  calc::KeepLastMessage messages;
  calc::PhaseSheet sheet(messages);
  try {
    if (!sheet.Compile(problem.Functs, '.') || sheet.Phases.empty()) {
      if (error)
        *error = tr("The problem's phase sheet cannot be used here: %1")
                     .arg(QString::fromStdString(messages.last));
      return false;
    }
  } catch (const std::exception& e) {
    if (error)
      *error =
          tr("The problem's phase sheet cannot be used here: %1").arg(QString::fromUtf8(e.what()));
    return false;
  }
  const bool temperature = problem.Yparameter != calc::YParameter::Pressure;
  calc::PathRequest request;
  request.Yparameter = temperature ? calc::YParameter::Temperature : calc::YParameter::Pressure;
  request.Z = temperature && !(problem.Zvalue > 0) ? 1 : problem.Zvalue;
  request.X = x;
  request.From = problem.Ymax;
  request.To = problem.Ymin;
  request.Points = 501;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  calc::PathResult path = calc::StepPath(sheet, request);
  calc::ScheilResult scheil;
  bool hasScheil = false;
  if (temperature && !path.Points.empty() && !calc::FindLiquid(sheet, "").empty()) {
    calc::ScheilRequest s;
    s.X = x;
    s.From = request.From;
    s.To = request.To;
    s.Points = request.Points;
    s.P = request.Z;
    scheil = calc::Scheil(sheet, s);
    hasScheil = true;
  }
  QApplication::restoreOverrideCursor();
  if (path.Points.empty()) {
    if (error) *error = QString::fromStdString(path.Error);
    return false;
  }
  request_ = request;
  path_ = std::move(path);
  scheil_ = std::move(scheil);
  hasScheil_ = hasScheil;
  look_ = look;
  scheilBox_->setEnabled(hasScheil_);
  setWindowTitle((temperature ? tr("Cooling path") : tr("Path in pressure")) +
                 QStringLiteral(" — ") + QString::fromStdString(problem.ProblemName));
  Refresh();
  show();
  raise();
  return true;
}

void PathPlotWindow::SetCelsius(bool celsius) {
  if (look_.celsius == celsius) return;
  look_.celsius = celsius;
  if (!path_.Points.empty()) Refresh();
}

void PathPlotWindow::SetWeightPercent(bool on) {
  if (look_.weightPercent == on) return;
  look_.weightPercent = on;
  if (!path_.Points.empty()) Refresh();
}

QString PathPlotWindow::Summary() const {
  QStringList lines;
  const bool temperature = request_.Yparameter != calc::YParameter::Pressure;
  auto level = [&](double y) {
    if (!temperature) return QString::number(y, 'f', 4) + QStringLiteral(" bar");
    return look_.celsius ? QString::number(y - 273.15, 'f', 3) + QStringLiteral(" °C")
                         : QString::number(y, 'f', 3) + QStringLiteral(" K");
  };
  for (const calc::PathCrossing& c : path_.Crossings) {
    QString line = level(c.At) + QStringLiteral(": ") + Phases(c.Before.Phases) +
                   QStringLiteral(" → ") + Phases(c.After.Phases);
    if (c.Approximate) line += QStringLiteral(" (") + tr("approximate") + QStringLiteral(")");
    lines << line;
  }
  if (lines.isEmpty()) lines << tr("No phase boundary is crossed.");
  if (hasScheil_) {
    if (!scheil_.Error.empty()) {
      lines << tr("Scheil: %1").arg(QString::fromStdString(scheil_.Error));
    } else {
      const bool byMass = look_.weightPercent && look_.masses.Known();
      const double last = byMass ? calc::ScheilByMass(scheil_, request_.X, look_.masses).LastLiquid
                                 : scheil_.LastLiquid;
      QString end;
      switch (scheil_.End) {
        case calc::ScheilEnd::Eutectic:
          end = (byMass ? tr("the last liquid (%1 of the alloy's mass) freezes as a eutectic at %2")
                        : tr("the last liquid (%1 of the alloy) freezes as a eutectic at %2"))
                    .arg(QString::number(last, 'f', 4), level(scheil_.EndT));
          break;
        case calc::ScheilEnd::LowestLevel:
          end = (byMass ? tr("liquid (%1 of the alloy's mass) is left at %2")
                        : tr("liquid (%1 of the alloy) is left at %2"))
                    .arg(QString::number(last, 'f', 4), level(scheil_.EndT));
          break;
        case calc::ScheilEnd::LiquidGone:
        case calc::ScheilEnd::AtOnce:
          end = tr("the last liquid freezes at %1").arg(level(scheil_.EndT));
          break;
        case calc::ScheilEnd::Stopped:
          end = QString::fromStdString(scheil_.Note);
          break;
      }
      lines << tr("Scheil: first solid at %1; %2")
                   .arg(std::isnan(scheil_.LiquidusT) ? QStringLiteral("—")
                                                      : level(scheil_.LiquidusT),
                        end);
    }
  }
  if (!path_.Error.empty())
    lines << tr("The path ended early: %1").arg(QString::fromStdString(path_.Error));
  return lines.join(QLatin1Char('\n'));
}

void PathPlotWindow::Refresh() {
  const bool activities = view_->currentIndex() == 1;
  scheilBox_->setVisible(!activities);
  const calc::ScheilResult* scheil =
      hasScheil_ && scheilBox_->isChecked() && scheil_.Error.empty() ? &scheil_ : nullptr;
  plot_->SetPlot(activities ? ActivityPlot(request_, path_, look_)
                            : PhaseFractionPlot(request_, path_, scheil, look_));
  summary_->setText(Summary());
}

void PathPlotWindow::ExportInteractively() {
  // The diagram's dialog: size in millimetres or inches, text in points, a preview, the
  // choices remembered.
  const PlotData plot = plot_->Plot();
  ExportSource source;
  source.shown = plot_->size();
  source.gridPoints = false;
  source.preview = [plot](const PictureOptions& o, QSize box) {
    const double f = std::min(
        {1.0, box.width() / double(o.size.width()), box.height() / double(o.size.height())});
    const QSize small(std::max(1, int(o.size.width() * f)), std::max(1, int(o.size.height() * f)));
    return PlotPicture(plot, small, 96, o.dpi / 96.0 * o.zoom * f);
  };
  ExportDialog dialog(source, this);
  dialog.setWindowTitle(tr("Export plot"));
  if (dialog.exec() != QDialog::Accepted) return;

  const PictureOptions options = dialog.Options();
  const int index = static_cast<int>(options.format);
  const char* const suffixes[] = {"png", "svg", "pdf"};
  const QString suffix = QString::fromLatin1(suffixes[index]);
  const QStringList kinds{QObject::tr("PNG picture"), QObject::tr("SVG drawing"),
                          QObject::tr("PDF document")};
  QString name = view_->currentIndex() == 1 ? QStringLiteral("activities") : QStringLiteral("path");
  QString path = QFileDialog::getSaveFileName(
      this, tr("Export plot"), name + QLatin1Char('.') + suffix,
      kinds.at(index) + QStringLiteral(" (*.") + suffix + QLatin1Char(')'));
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QLatin1Char('.') + suffix;
  QString error;
  if (!WritePlot(plot, path, options, &error)) QMessageBox::warning(this, tr("Export plot"), error);
}

void PathPlotWindow::CopyPicture() {
  QApplication::clipboard()->setImage(
      PlotPicture(plot_->Plot(), plot_->size().expandedTo({16, 16})));
}

void PathPlotWindow::contextMenuEvent(QContextMenuEvent* event) {
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  // Run after the menu is done with its click, as the diagram's commands do.
  connect(
      menu->addAction(tr("Export plot…")), &QAction::triggered, this,
      [this] { ExportInteractively(); }, Qt::QueuedConnection);
  connect(
      menu->addAction(tr("Copy")), &QAction::triggered, this, [this] { CopyPicture(); },
      Qt::QueuedConnection);
  menu->popup(event->globalPos());
}

}  // namespace views
