#include "views/diagram_window.h"

#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>
#include <QVBoxLayout>
#include <QXYSeries>

#include "numeric/format.h"
#include "views/chart_editor.h"
#include "views/chart_file.h"
#include "views/chart_view.h"
#include "views/readout.h"

namespace views {

namespace {

const char* const kFoot =
    QT_TRANSLATE_NOOP("views::TfmDiagram2", "Мольная доля (X) компонента B в системе A-B");

// Whether a chart caption is the designed axis caption in Russian or in English (a chart file
// keeps the caption in the language it was written in).
bool IsDesignedFoot(const QString& text) {
  if (text == QString::fromUtf8(kFoot)) return true;
  QTranslator english;
  return english.load(QStringLiteral(":/i18n/brelona_en.qm")) &&
         text == english.translate("views::TfmDiagram2", kFoot);
}

char LocaleSeparator() {
  const QString point = QLocale().decimalPoint();
  return point.size() == 1 && point[0].unicode() < 128 ? static_cast<char>(point[0].unicode()) : '.';
}

}  // namespace

ChartLook TfmDiagram2::DesignedLook() {
  ChartLook look;
  look.title.text = QStringLiteral("       T, K");
  look.title.font = CyrillicFont({QStringLiteral("Arial")}, 11);
  look.title.align = TextAlign::Left;
  look.foot.text = tr(kFoot);
  look.foot.font = look.title.font;
  look.foot.align = TextAlign::Right;
  look.background = Qt::white;
  look.plotArea = Qt::white;
  look.legendVisible = false;
  look.bottom.increment = 0.1;
  look.bottom.minorTicks = 9;
  look.bottom.gridStyle = Qt::DotLine;
  look.left.minorTicks = 4;
  look.left.gridStyle = Qt::DotLine;
  return look;
}

SeriesLook TfmDiagram2::OrdinaryPointsLook() {
  SeriesLook look;
  look.colour = Qt::red;
  look.marker = MarkerShape::Circle;
  look.markerSize = 5;  // a pointer of 2 pixels either side of the point
  look.penColour = Qt::red;
  look.penStyle = Qt::SolidLine;
  return look;
}

SeriesLook TfmDiagram2::SpecialPointsLook() {
  SeriesLook look = OrdinaryPointsLook();
  look.colour = QColor(255, 0, 0);
  look.penColour = QColor(255, 0, 0);
  look.penStyle = Qt::DotLine;
  return look;
}

TfmDiagram2::TfmDiagram2(const QString& chartFile, QWidget* parent)
    : QWidget(parent, Qt::Window), chartFile_(chartFile), separator_(LocaleSeparator()) {
  setWindowTitle(tr("Diagram"));
  setObjectName(QStringLiteral("fmDiagram2"));
  resize(696, 525);
  move(19, 8);

  chart_ = new ChartView;
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
  connect(edit_, &QPushButton::clicked, this, [this] { EditChart(chart_, this); });
  connect(close_, &QPushButton::clicked, this, &QWidget::close);

  chart_->SetLook(DesignedLook());
  if (!chartFile_.isEmpty() && QFile::exists(chartFile_)) {
    if (const auto file = LoadChartFile(chartFile_, &loadError_)) {
      ChartLook look = file->look;
      // A chart file written in the other language keeps the designed axis caption in the
      // shown language.
      if (IsDesignedFoot(look.foot.text)) look.foot.text = tr(kFoot);
      chart_->SetLook(look);
      chart_->SetAllSeries(file->series);
      loadError_.clear();
    }
  }
}

TfmDiagram2::~TfmDiagram2() {
  if (chartFile_.isEmpty()) return;
  chart_->UndoZoom();
  ChartFile file;
  file.look = chart_->Look();
  file.look.bottom.automatic = true;
  file.look.left.automatic = true;
  chart_->SetLook(file.look);
  file.series = chart_->AllSeries();
  QString error;
  if (!SaveChartFile(chartFile_, file, &error)) {
    qWarning("%s: %s", qPrintable(chartFile_), qPrintable(error));
  }
}

void TfmDiagram2::BuildDiagram(const calc::Results& results, calc::YParameter yParameter,
                               const std::function<void()>& findSpecialPoints, bool show) {
  chart_->SetTitleText(yParameter == calc::YParameter::Temperature ? QStringLiteral("T, K")
                                                                   : tr("P, бар"));
  chart_->RemoveAllSeries();
  chart_->AddSeries(SeriesKind::Points, QStringLiteral("Ordinary points"), OrdinaryPointsLook());
  chart_->AddSeries(SeriesKind::Points, QStringLiteral("Special points"), SpecialPointsLook());
  chart_->UndoZoom();
  undoZoom_->setVisible(false);

  QList<QPointF> ordinary;
  for (int r = 0; r < results.ZPoints.RowCount(); ++r) {
    for (const calc::TZPoint& p : results.ZPoints.Row(r)) {
      if (p.Y > 0) ordinary.append(QPointF(p.X, p.Y));
    }
  }
  chart_->SeriesAt(0)->replace(ordinary);
  chart_->Rescale();

  if (findSpecialPoints) {
    findSpecialPoints();
    emit specialPointsFound();
  }
  QList<QPointF> special;
  special.reserve(static_cast<qsizetype>(results.SpecialPoints.size()));
  for (const calc::SpecialPoint& p : results.SpecialPoints) special.append(QPointF(p.X, p.Y));
  chart_->SeriesAt(1)->replace(special);
  AddNodeLines(results.Nodes, calc::YParameterText(yParameter));
  chart_->Rescale();
  if (show) {
    this->show();
    raise();
  }
}

void TfmDiagram2::AddNodeLines(const std::vector<calc::TNode>& nodes,
                               const std::string& yParameterText) {
  const std::string unit = !yParameterText.empty() && yParameterText[0] == 'T' ? "K" : "bar";
  SeriesLook look = chart_->SeriesCount() > 0 ? chart_->SeriesLookAt(0) : OrdinaryPointsLook();
  look.penColour = look.colour;
  look.penWidth = 1;
  look.penStyle = Qt::SolidLine;
  look.markersVisible = false;
  for (const calc::TNode& node : nodes) {
    const std::string title = "Node at " + numeric::FormatFloatPattern(node.Y, 3, separator_) + unit;
    const int s = chart_->AddSeries(SeriesKind::Line, QString::fromStdString(title), look);
    chart_->SeriesAt(s)->replace(QList<QPointF>{{node.XLeft, node.Y}, {node.XRight, node.Y}});
  }
  chart_->Rescale();
}

void TfmDiagram2::ShowReadout(const QPointF& chartPos) {
  if (!chart_->InPlot(chartPos)) {
    label1_->hide();
    return;
  }
  const QPointF v = chart_->ValueAt(chartPos);
  const std::string title = FirstLine(chart_->TitleText().toStdString());
  label1_->setText(QString::fromStdString(ReadoutText(v.x(), v.y(), title, separator_)));
  label1_->show();
}

void TfmDiagram2::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) label1_->clear();
  QWidget::changeEvent(event);
}

}  // namespace views
