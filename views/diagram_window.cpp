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

const char* const kFoot =
    QT_TRANSLATE_NOOP("views::TfmDiagram2", "Мольная доля (X) компонента B в системе A-B");

// Whether a chart caption is the designed axis caption in Russian or in English (a chart file
// keeps the caption in the language it was written in).
// At most three phases by name and reason; the rest counted.
QStringList LeftOutNotices(const std::vector<calc::LeftOutPhase>& phases) {
  QStringList lines;
  if (phases.empty()) return lines;
  lines << TfmDiagram2::tr("Incomplete: phases left out of the import");
  for (size_t i = 0; i < phases.size() && i < 3; ++i)
    lines << QStringLiteral("%1 (%2)").arg(QString::fromStdString(phases[i].Phase),
                                           QString::fromStdString(phases[i].Reason));
  if (phases.size() > 3)
    lines << TfmDiagram2::tr("and %n more", nullptr, static_cast<int>(phases.size() - 3));
  return lines;
}

bool IsDesignedFoot(const QString& text) {
  if (text == QString::fromUtf8(kFoot)) return true;
  QTranslator english;
  return english.load(QStringLiteral(":/i18n/brelona_en.qm")) &&
         text == english.translate("views::TfmDiagram2", kFoot);
}

char LocaleSeparator() {
  const QString point = QLocale().decimalPoint();
  return point.size() == 1 && point[0].unicode() < 128 ? static_cast<char>(point[0].unicode())
                                                       : '.';
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
  connect(edit_, &QPushButton::clicked, this, [this] { EditLook(); });
  connect(close_, &QPushButton::clicked, this, &QWidget::close);

  overlay_ = new DiagramOverlay(chart_->chart(), chart_->BottomAxis(), chart_->LeftAxis());
  chart_->viewport()->installEventFilter(this);
  connect(chart_->chart(), &QChart::plotAreaChanged, this, [this] { overlay_->Relayout(); });
  connect(chart_->BottomAxis(), &QValueAxis::rangeChanged, this, [this] { overlay_->Relayout(); });
  connect(chart_->LeftAxis(), &QValueAxis::rangeChanged, this, [this] { overlay_->Relayout(); });

  chart_->SetLook(DesignedLook());
  if (!chartFile_.isEmpty() && QFile::exists(chartFile_)) LoadLook();
}

void TfmDiagram2::LoadLook() {
  ChartFile base{DesignedLook(), {}, overlay_->Look()};
  QString error;
  QStringList refused;
  if (const auto file = LoadChartFile(chartFile_, &error, &refused, base)) {
    ChartLook look = file->look;
    // A chart file written in the other language keeps the designed axis caption in the
    // shown language.
    if (IsDesignedFoot(look.foot.text)) look.foot.text = tr(kFoot);
    chart_->SetLook(look);
    chart_->SetAllSeries(file->series);
    if (file->diagram) overlay_->SetLook(*file->diagram);
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

DiagramLook TfmDiagram2::GetDiagramLook() const {
  return overlay_->Look();
}

void TfmDiagram2::SetDiagramLook(const DiagramLook& look) {
  const bool unitChanged = look.celsius != overlay_->Look().celsius ||
                           look.weightPercent != overlay_->Look().weightPercent;
  overlay_->SetLook(look);
  if (unitChanged && built_) ShowBuild();
  if (unitChanged) emit this->unitChanged();
}

bool TfmDiagram2::EditLook() {
  DiagramLook look = overlay_->Look();
  if (!EditChart(chart_, this, &look)) return false;
  SetDiagramLook(look);
  return true;
}

QPointF TfmDiagram2::ResultValueAt(const QPointF& chartPos) const {
  const QPointF v = chart_->ValueAt(chartPos);
  const double x =
      byMass_ ? calc::MoleFractionB(std::clamp(v.x() / 100, 0.0, 1.0), masses_) : v.x();
  return {x, v.y() + yOffset_};
}

double TfmDiagram2::ShownX(double x) const {
  return byMass_ ? 100 * calc::MassFractionB(x, masses_) : x;
}

namespace {

// The results' points as the axes show them: Y less `dy` (°C), X through `x` (weight percent)
// when given.
using XMap = std::function<double(double)>;

QList<QPointF> Shifted(const QList<QPointF>& points, double dy, const XMap& x) {
  QList<QPointF> out = points;
  for (QPointF& p : out) {
    p.ry() -= dy;
    if (x) p.rx() = x(p.x());
  }
  return out;
}

DiagramLayers ShiftedLayers(const DiagramLayers& layers, double dy, const XMap& x) {
  DiagramLayers out = layers;
  if (dy == 0 && !x) return out;
  auto mapX = [&](double v) { return x ? x(v) : v; };
  for (BoundaryLine& line : out.boundaries) {
    for (QPointF& p : line.points) p = QPointF(mapX(p.x()), p.y() - dy);
  }
  for (InvariantLine& inv : out.invariants) {
    inv.y -= dy;
    inv.xLeft = mapX(inv.xLeft);
    inv.xMiddle = mapX(inv.xMiddle);
    inv.xRight = mapX(inv.xRight);
  }
  for (DiagramMark& m : out.marks) m.at = QPointF(mapX(m.at.x()), m.at.y() - dy);
  if (out.fields) {
    auto fields = std::make_shared<FieldMap>(*out.fields);
    for (double& y : fields->y) y -= dy;
    for (double& v : fields->x) v = mapX(v);
    out.fields = std::move(fields);
  }
  return out;
}

}  // namespace

void TfmDiagram2::ShowBuild() {
  yOffset_ = overlay_->Look().celsius && builtY_ == calc::YParameter::Temperature ? 273.15 : 0;
  byMass_ = overlay_->Look().weightPercent && masses_.Known();
  chart_->SetTitleText(builtY_ == calc::YParameter::Temperature
                           ? (yOffset_ != 0 ? QStringLiteral("T, °C") : QStringLiteral("T, K"))
                           : QStringLiteral("P, бар"));
  const SeriesLook ordinaryLook =
      chart_->SeriesCount() > 0 ? chart_->SeriesLookAt(0) : OrdinaryPointsLook();
  const SeriesLook specialLook =
      chart_->SeriesCount() > 1 ? chart_->SeriesLookAt(1) : SpecialPointsLook();
  chart_->RemoveAllSeries();
  chart_->AddSeries(SeriesKind::Points, QStringLiteral("Ordinary points"), ordinaryLook);
  chart_->AddSeries(SeriesKind::Points, QStringLiteral("Special points"), specialLook);
  chart_->UndoZoom();
  undoZoom_->setVisible(false);
  const XMap x = byMass_ ? XMap([this](double v) { return ShownX(v); }) : XMap();
  chart_->SetPoints(0, Shifted(ordinary_, yOffset_, x));
  chart_->SetPoints(1, Shifted(special_, yOffset_, x));
  AddNodeLines(nodes_, calc::YParameterText(builtY_));
  ShowLayers();
}

void TfmDiagram2::ShowLayers() {
  // The X axis title names the components when the sheet does; a title the user wrote stays.
  const QString foot = chart_->Look().foot.text;
  QString wanted = tr(kFoot);
  if (names_.Named()) {
    const QString a = QString::fromStdString(names_.A), b = QString::fromStdString(names_.B);
    wanted = byMass_ ? tr("%1, weight percent in the system %2-%1").arg(b, a)
                     : tr("X(%1), mole fraction of %1 in the system %2-%1").arg(b, a);
  } else if (byMass_) {
    wanted = tr("Weight percent of component B in the system A-B");
  }
  if (IsDesignedFoot(foot) || (!autoFoot_.isEmpty() && foot == autoFoot_)) {
    ChartLook look = chart_->Look();
    look.foot.text = wanted;
    chart_->SetLook(look);
  }
  autoFoot_ = wanted;
  overlay_->SetHeading(overlay_->Look().heading.text.isEmpty() ? ProblemName()
                                                               : overlay_->Look().heading.text);
  DiagramLayers shown = ShiftedLayers(
      layers_, yOffset_, byMass_ ? XMap([this](double v) { return ShownX(v); }) : XMap());
  shown.notices = LeftOutNotices(leftOut_);
  if (!stale_.isEmpty()) shown.notices.prepend(tr("Stale: the sheet has an error. %1").arg(stale_));
  if (!finer_.empty()) {
    // At most three places by name; the rest counted.
    shown.notices << tr("Finer than the grid (more points show it):");
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    auto num = [&](double v, int decimals) { return locale.toString(v, 'f', decimals); };
    for (size_t i = 0; i < finer_.size() && i < 3; ++i) {
      const calc::FinerFeature& f = finer_[i];
      const QString x0 = num(ShownX(f.XLeft), 3), x1 = num(ShownX(f.XRight), 3);
      const QString y0 = num(ShownY(f.YLow), 1), y1 = num(ShownY(f.YHigh), 1);
      switch (f.What) {
        case calc::FinerFeature::Kind::ThinBand:
          shown.notices << tr("a two-phase band at X %1–%2 between %3 and %4").arg(x0, x1, y0, y1);
          break;
        case calc::FinerFeature::Kind::CloseInvariants:
          shown.notices << tr("two invariants at %1 and %2").arg(y0, y1);
          break;
        case calc::FinerFeature::Kind::FieldEnds:
          shown.notices << tr("the field of %1 at X %2–%3 ends between %4 and %5")
                               .arg(finerPhases_.value(static_cast<qsizetype>(i)), x0, x1, y0, y1);
          break;
      }
    }
    if (finer_.size() > 3)
      shown.notices << tr("and %n more", nullptr, static_cast<int>(finer_.size() - 3));
  }
  if (overlay_->Look().weightPercent && !byMass_)
    shown.notices << tr(
        "Mole fractions: weight percent needs the masses of the components "
        "('% masses:' or element names in '% components:')");
  // The axes take in the exact points drawn over the grid's (a melting point of 600.65 K above
  // the top level of 600 K was cut off).
  double x0 = std::numeric_limits<double>::infinity(), x1 = -x0, y0 = x0, y1 = -x0;
  auto takeIn = [&](double x, double y) {
    x0 = std::min(x0, x);
    x1 = std::max(x1, x);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
  };
  for (const BoundaryLine& line : shown.boundaries)
    for (const QPointF& p : line.points) takeIn(p.x(), p.y());
  for (const InvariantLine& inv : shown.invariants) takeIn(inv.xLeft, inv.y);
  for (const DiagramMark& m : shown.marks) takeIn(m.at.x(), m.at.y());
  chart_->SetExtraRange(x0 <= x1 ? std::optional<QRectF>(QRectF(QPointF(x0, y0), QPointF(x1, y1)))
                                 : std::nullopt);
  overlay_->SetLayers(std::move(shown));
  chart_->Rescale();
}

TfmDiagram2::~TfmDiagram2() {
  if (chartFile_.isEmpty() || keepFile_) return;
  chart_->UndoZoom();
  ChartFile file;
  file.look = chart_->Look();
  file.look.bottom.automatic = true;
  file.look.left.automatic = true;
  // A title written from the last problem's component names is not kept for the next one.
  if (!autoFoot_.isEmpty() && file.look.foot.text == autoFoot_)
    file.look.foot.text = QString::fromUtf8(kFoot);
  chart_->SetLook(file.look);
  file.series = chart_->AllSeries();
  file.diagram = overlay_->Look();
  QString error;
  if (!SaveChartFile(chartFile_, file, &error)) {
    qWarning("%s: %s", qPrintable(chartFile_), qPrintable(error));
  }
}

void TfmDiagram2::SetStale(const QString& why) {
  if (why == stale_) return;
  stale_ = why;
  if (built_) ShowLayers();
}

void TfmDiagram2::BuildDiagram(const calc::Results& results, calc::YParameter yParameter,
                               const std::function<void()>& findSpecialPoints, bool show) {
  // The user's zoom, kept in live mode (taking the series away undoes it).
  std::optional<QRectF> zoom;
  if (keepZoom_ && chart_->IsZoomed()) zoom = chart_->ShownRange();
  builtY_ = yParameter;
  built_ = false;
  yOffset_ = overlay_->Look().celsius && yParameter == calc::YParameter::Temperature ? 273.15 : 0;
  byMass_ = overlay_->Look().weightPercent && masses_.Known();
  chart_->SetTitleText(yParameter == calc::YParameter::Temperature
                           ? (yOffset_ != 0 ? QStringLiteral("T, °C") : QStringLiteral("T, K"))
                           : tr("P, бар"));
  chart_->RemoveAllSeries();
  chart_->AddSeries(SeriesKind::Points, QStringLiteral("Ordinary points"), OrdinaryPointsLook());
  chart_->AddSeries(SeriesKind::Points, QStringLiteral("Special points"), SpecialPointsLook());
  if (picturesOnly_) {
    for (int i : {0, 1}) {
      if (chart_->SeriesAt(i)->isVisible()) chart_->SetDrawnElsewhere(i);
    }
  }
  chart_->UndoZoom();
  undoZoom_->setVisible(false);
  overlay_->SetLayers({});

  // The phase fields are found on another thread while the chart is filled: they only read the
  // grid. Special points move the grid's current cell, so when they are looked for here, that
  // comes first.
  std::future<FieldMap> fields;
  auto findFields = [&] {
    fields = std::async(std::launch::async, [&results] { return FindFields(results); });
  };
  if (!findSpecialPoints) findFields();

  ordinary_.clear();
  for (int r = 0; r < results.ZPoints.RowCount(); ++r) {
    for (const calc::TZPoint& p : results.ZPoints.Row(r)) {
      if (p.Y > 0) ordinary_.append(QPointF(p.X, p.Y));
    }
  }
  const XMap x = byMass_ ? XMap([this](double v) { return ShownX(v); }) : XMap();
  chart_->SetPoints(0, Shifted(ordinary_, yOffset_, x));
  chart_->Rescale();

  if (findSpecialPoints) {
    findSpecialPoints();
    emit specialPointsFound();
  }
  if (!fields.valid()) findFields();
  special_.clear();
  special_.reserve(static_cast<qsizetype>(results.SpecialPoints.size()));
  for (const calc::SpecialPoint& p : results.SpecialPoints) special_.append(QPointF(p.X, p.Y));
  chart_->SetPoints(1, Shifted(special_, yOffset_, x));
  nodes_ = NodesToDraw(results);
  AddNodeLines(nodes_, calc::YParameterText(yParameter));
  finer_ =
      results.Refined.Ran ? results.Refined.BelowResolution : std::vector<calc::FinerFeature>();
  finerPhases_.clear();
  for (const calc::FinerFeature& f : finer_)
    finerPhases_ << QString::fromStdString(
        results.PhaseLabel(f.Above != calc::kNoRunPhase ? f.Above : f.Below, ""));
  layers_ = DiagramLayers{BoundaryLines(results),
                          InvariantLines(results),
                          DiagramMarks(results),
                          std::make_shared<const FieldMap>(fields.get()),
                          {}};
  built_ = true;
  stale_.clear();
  ShowLayers();
  if (zoom) chart_->ZoomToRange(*zoom);
  if (show) {
    this->show();
    raise();
  }
}

std::vector<calc::TNode> TfmDiagram2::NodesToDraw(const calc::Results& results) {
  std::vector<calc::TNode> nodes = results.Nodes;
  const std::vector<calc::Invariant>& exact = results.Refined.Invariants;
  // The refinement solves one invariant per node, in the nodes' order.
  if (!results.Refined.Ran || exact.size() != nodes.size()) return nodes;
  for (size_t i = 0; i < nodes.size(); ++i) {
    const calc::Invariant& inv = exact[i];
    if (inv.Approximate || inv.Phases.size() < 3) continue;
    nodes[i].Y = inv.Y;
    nodes[i].XLeft = inv.Phases.front().X;
    nodes[i].X = inv.Phases[1].X;
    nodes[i].XRight = inv.Phases.back().X;
  }
  return nodes;
}

void TfmDiagram2::AddNodeLines(const std::vector<calc::TNode>& nodes,
                               const std::string& yParameterText) {
  const bool temperature = !yParameterText.empty() && yParameterText[0] == 'T';
  const std::string unit = temperature ? (yOffset_ != 0 ? "°C" : "K") : "bar";
  SeriesLook look = chart_->SeriesCount() > 0 ? chart_->SeriesLookAt(0) : OrdinaryPointsLook();
  look.penColour = look.colour;
  look.penWidth = 1;
  look.penStyle = Qt::SolidLine;
  look.markersVisible = false;
  for (const calc::TNode& node : nodes) {
    const double y = node.Y - yOffset_;
    const std::string title = "Node at " + numeric::FormatFloatPattern(y, 3, separator_) + unit;
    const int s = chart_->AddSeries(SeriesKind::Line, QString::fromStdString(title), look);
    chart_->SeriesAt(s)->replace(QList<QPointF>{{ShownX(node.XLeft), y}, {ShownX(node.XRight), y}});
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
  QString text = QString::fromStdString(ReadoutText(v.x(), v.y(), title, separator_));
  // In weight percent the value is named by the component ("wt% SN = 30.000").
  if (byMass_)
    text.replace(0, 1,
                 QStringLiteral("wt% ") +
                     (names_.Named() ? QString::fromStdString(names_.B) : QStringLiteral("B")));
  label1_->setText(text);
  label1_->show();
}

void TfmDiagram2::SetProblemName(const QString& name) {
  problemName_ = name;
  setWindowTitle(name + QStringLiteral(" — ") + tr("Diagram"));
}

QMenu* TfmDiagram2::MakeContextMenu() {
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  // The commands run after the menu has finished with its click: a picture lays the chart out
  // and delivers the posted events, the menu's own deletion among them, and the export dialog
  // runs an event loop of its own. Either would delete the menu under its own call.
  auto add = [&](const QString& text, auto command) {
    QAction* action = menu->addAction(text);
    connect(action, &QAction::triggered, this, command, Qt::QueuedConnection);
    return action;
  };
  add(tr("Export diagram…"), [this] {
    ExportDiagramInteractively(*this, this);
  })->setEnabled(built_);
  add(tr("Copy"), [this] { CopyDiagram(*this); })->setEnabled(built_);
  if (chart_->IsZoomed()) {
    menu->addSeparator();
    add(tr("Undo zoom"), [this] { chart_->UndoZoom(); });
  }
  if (built_ && contextX_ >= 0 && contextX_ <= 1) {
    menu->addSeparator();
    const double x = contextX_;
    const bool temperature = builtY_ == calc::YParameter::Temperature;
    // The composition written with the read-out's decimal separator.
    auto number = [this](double v, int decimals) {
      return QString::number(v, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(separator_));
    };
    QString text;
    if (byMass_) {
      const QString at = number(ShownX(x), 2);
      const QString b = names_.Named() ? QString::fromStdString(names_.B) : QStringLiteral("B");
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
          chart_->InPlot(e->position()) && built_) {
        const QPointF v = ResultValueAt(e->position());
        emit pointPicked(v.x(), v.y());
      }
      pressedAt_ = QPointF(-1e9, -1e9);
      break;
    }
    case QEvent::MouseMove: {
      auto* e = static_cast<QMouseEvent*>(event);
      if ((e->modifiers() & Qt::ControlModifier) && e->buttons() == Qt::NoButton &&
          chart_->InPlot(e->position()) && built_) {
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
  QWidget::changeEvent(event);
}

}  // namespace views
