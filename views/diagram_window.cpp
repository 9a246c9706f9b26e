#include "views/diagram_window.h"

#include <QChart>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTranslator>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QXYSeries>
#include <algorithm>
#include <future>
#include <limits>

#include "numeric/format.h"
#include "views/chart_editor.h"
#include "views/chart_file.h"
#include "views/chart_view.h"
#include "views/diagram_export.h"
#include "views/readout.h"

namespace views {

namespace {

char LocaleSeparator() {
  const QString point = QLocale().decimalPoint();
  return point.size() == 1 && point[0].unicode() < 128 ? static_cast<char>(point[0].unicode())
                                                       : '.';
}

}  // namespace

TfmDiagram2::TfmDiagram2(const QString& chartFile, QWidget* parent)
    : QWidget(parent, Qt::Window),
      renderer_(std::make_unique<DiagramRenderer>()),
      chartFile_(chartFile),
      separator_(LocaleSeparator()) {
  renderer_->SetDecimalSeparator(separator_);
  setWindowTitle(tr("Diagram"));
  setObjectName(QStringLiteral("fmDiagram2"));
  resize(696, 525);
  move(19, 8);

  chart_ = new ChartView(renderer_->Canvas());
  chart_->setObjectName(QStringLiteral("Chart1"));
  label1_ = new QLabel;
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  undoZoom_ = new QPushButton(tr("Восстановить масштаб"));
  undoZoom_->setObjectName(QStringLiteral("sbUndoZoom"));
  undoZoom_->setVisible(false);
  edit_ = new QPushButton(tr("Ред. график"));
  close_ = new QPushButton(tr("Закрыть"));

  auto* panel = new QWidget;
  panel->setFixedHeight(43);
  auto* buttons = new QHBoxLayout(panel);
  buttons->setContentsMargins(8, 4, 8, 4);
  buttons->addWidget(label1_);
  buttons->addStretch(1);
  buttons->addWidget(undoZoom_);
  buttons->addWidget(edit_);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(chart_, 1);
  layout->addWidget(panel);

  connect(chart_, &ChartView::mouseMoved, this, &TfmDiagram2::ShowReadout);
  connect(chart_, &ChartView::zoomChanged, undoZoom_, &QWidget::setVisible);
  connect(undoZoom_, &QPushButton::clicked, chart_, &ChartView::UndoZoom);
  connect(edit_, &QPushButton::clicked, this, [this] { EditLook(); });
  connect(close_, &QPushButton::clicked, this, &QWidget::close);

  chart_->viewport()->installEventFilter(this);
  connect(renderer_.get(), &DiagramRenderer::specialPointsFound, this,
          &TfmDiagram2::specialPointsFound);
  if (!chartFile_.isEmpty() && QFile::exists(chartFile_)) LoadLook();
}

void TfmDiagram2::LoadLook() {
  ChartFile base{DesignedLook(), {}, Overlay()->Look()};
  QString error;
  QStringList refused;
  if (const auto file = LoadChartFile(chartFile_, &error, &refused, base)) {
    renderer_->ApplyChartFile(*file);
    chart_->SetAllSeries(file->series);
  }
  if (error.isEmpty() && refused.isEmpty()) return;
  const QString name = QFileInfo(chartFile_).fileName();
  loadError_ = error.isEmpty()
                   ? tr("%1: these settings were refused and the designed ones are used instead: "
                        "%2.")
                         .arg(name, refused.join(QStringLiteral("; ")))
                   : tr("%1 was not read (%2); the designed look is used.").arg(name, error);
  // The file is saved over when the window goes; what could not be read is kept beside it.
  QString copy = chartFile_ + QStringLiteral(".bak");
  for (int n = 2; QFile::exists(copy) && n < 100; ++n)
    copy = chartFile_ + QStringLiteral(".bak%1").arg(n);
  if (QFile::copy(chartFile_, copy)) {
    loadError_ += QLatin1Char(' ') + tr("The file as it was is kept as %1.").arg(copy);
  } else {
    keepFile_ = true;
    loadError_ += QLatin1Char(' ') + tr("It could not be copied, so it will not be saved over.");
  }
}

void TfmDiagram2::SetDiagramLook(const DiagramLook& look) {
  const bool wasBuilt = renderer_->HasDiagram();
  if (!renderer_->SetDiagramLook(look)) return;
  if (wasBuilt) undoZoom_->setVisible(false);  // drawn again in the new unit, zoom undone
  emit unitChanged();
}

bool TfmDiagram2::EditLook() {
  DiagramLook look = Overlay()->Look();
  if (!EditChart(chart_, this, &look)) return false;
  SetDiagramLook(look);
  return true;
}

QPointF TfmDiagram2::ResultValueAt(const QPointF& chartPos) const {
  const QPointF v = chart_->ValueAt(chartPos);
  return {renderer_->ResultX(v.x()), renderer_->ResultY(v.y())};
}

TfmDiagram2::~TfmDiagram2() {
  SaveLook();
  // The view goes before the renderer whose chart it shows.
  delete chart_;
}

void TfmDiagram2::SaveLook() {
  if (chartFile_.isEmpty() || keepFile_) return;
  chart_->UndoZoom();
  ChartFile file;
  file.look = chart_->Look();
  file.look.bottom.automatic = true;
  file.look.left.automatic = true;
  // A title written from the last problem's component names is not kept for the next one.
  const QString autoFoot = renderer_->AutoFoot();
  if (!autoFoot.isEmpty() && file.look.foot.text == autoFoot)
    file.look.foot.text = DiagramRenderer::DesignedFoot();
  chart_->SetLook(file.look);
  file.series = chart_->AllSeries();
  file.diagram = Overlay()->Look();
  QString error;
  if (!SaveChartFile(chartFile_, file, &error)) {
    qWarning("%s: %s", qPrintable(chartFile_), qPrintable(error));
  }
}

void TfmDiagram2::BuildDiagram(const calc::Results& results, calc::YParameter yParameter,
                               const std::function<void()>& findSpecialPoints, bool show) {
  undoZoom_->setVisible(false);
  renderer_->Build(results, yParameter, findSpecialPoints);
  if (show) {
    this->show();
    raise();
  }
}

void TfmDiagram2::ShowReadout(const QPointF& chartPos) {
  if (!chart_->InPlot(chartPos)) {
    label1_->hide();
    return;
  }
  const QPointF v = chart_->ValueAt(chartPos);
  const std::string title = FirstLine(chart_->TitleText().toStdString());
  QString text = QString::fromStdString(ReadoutText(v.x(), v.y(), title, separator_));
  // In weight percent the value is named by the component ("wt% SN = 30.000").
  const calc::ComponentNames& names = renderer_->ComponentNames();
  if (renderer_->ShowsWeightPercent())
    text.replace(0, 1,
                 QStringLiteral("wt% ") +
                     (names.Named() ? QString::fromStdString(names.B) : QStringLiteral("B")));
  label1_->setText(text);
  label1_->show();
}

void TfmDiagram2::SetProblemName(const QString& name) {
  renderer_->SetProblemName(name);
  setWindowTitle(name + QStringLiteral(" — ") + tr("Diagram"));
}

QMenu* TfmDiagram2::MakeContextMenu() {
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  // The commands run after the menu has finished with its click: the export dialog runs an event
  // loop of its own, which would delete the menu under its own call.
  auto add = [&](const QString& text, auto command) {
    QAction* action = menu->addAction(text);
    connect(action, &QAction::triggered, this, command, Qt::QueuedConnection);
    return action;
  };
  add(tr("Export diagram…"), [this] {
    ExportDiagramInteractively(*this, this);
  })->setEnabled(HasDiagram());
  add(tr("Copy"), [this] { CopyDiagram(*this); })->setEnabled(HasDiagram());
  if (chart_->IsZoomed()) {
    menu->addSeparator();
    add(tr("Undo zoom"), [this] { chart_->UndoZoom(); });
  }
  if (HasDiagram() && contextX_ >= 0 && contextX_ <= 1) {
    menu->addSeparator();
    const double x = contextX_;
    const bool temperature = renderer_->BuiltY() == calc::YParameter::Temperature;
    // The composition written with the read-out's decimal separator.
    auto number = [this](double v, int decimals) {
      return QString::number(v, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(separator_));
    };
    QString text;
    if (ShowsWeightPercent()) {
      const QString at = number(ShownX(x), 2);
      const calc::ComponentNames& names = renderer_->ComponentNames();
      const QString b = names.Named() ? QString::fromStdString(names.B) : QStringLiteral("B");
      text = temperature ? tr("Cooling path at %1 wt% %2").arg(at, b)
                         : tr("Path in pressure at %1 wt% %2").arg(at, b);
    } else {
      const QString at = number(x, 4);
      text = temperature ? tr("Cooling path at X = %1").arg(at)
                         : tr("Path in pressure at X = %1").arg(at);
    }
    add(text, [this, x] { emit pathRequested(x); });
  }
  return menu;
}

bool TfmDiagram2::eventFilter(QObject* watched, QEvent* event) {
  if (watched != chart_->viewport()) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::ContextMenu: {
      auto* e = static_cast<QContextMenuEvent*>(event);
      contextX_ = chart_->InPlot(e->pos()) ? std::clamp(ResultValueAt(e->pos()).x(), 0.0, 1.0) : -1;
      MakeContextMenu()->popup(e->globalPos());
      return true;
    }
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (e->button() == Qt::LeftButton) pressedAt_ = e->position();
      // The right button is the context menu's, not the chart's zoom-out.
      return e->button() == Qt::RightButton;
    }
    case QEvent::MouseButtonRelease: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (e->button() == Qt::RightButton) return true;
      if (e->button() == Qt::LeftButton && (e->position() - pressedAt_).manhattanLength() < 3 &&
          chart_->InPlot(e->position()) && HasDiagram()) {
        const QPointF v = ResultValueAt(e->position());
        emit pointPicked(v.x(), v.y());
      }
      pressedAt_ = QPointF(-1e9, -1e9);
      break;
    }
    case QEvent::MouseMove: {
      auto* e = static_cast<QMouseEvent*>(event);
      if ((e->modifiers() & Qt::ControlModifier) && e->buttons() == Qt::NoButton &&
          chart_->InPlot(e->position()) && HasDiagram()) {
        const QPointF v = ResultValueAt(e->position());
        emit pointPicked(v.x(), v.y());
      }
      break;
    }
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void TfmDiagram2::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) label1_->clear();
  // Without a problem's name the caption is the plot's heading.
  if (event->type() == QEvent::WindowTitleChange) renderer_->SetFallbackName(windowTitle());
  QWidget::changeEvent(event);
}

}  // namespace views
