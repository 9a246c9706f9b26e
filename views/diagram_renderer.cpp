#include "views/diagram_renderer.h"

#include <QChart>
#include <QLocale>
#include <QTranslator>
#include <QValueAxis>
#include <QXYSeries>
#include <algorithm>
#include <cmath>
#include <future>
#include <limits>
#include <optional>

#include "numeric/format.h"
#include "views/chart_canvas.h"

namespace views {

namespace {

const char* const kFoot =
    QT_TRANSLATE_NOOP("views::DiagramRenderer", "Мольная доля (X) компонента B в системе A-B");

// At most three phases by name and reason; the rest counted.
QStringList LeftOutNotices(const std::vector<calc::LeftOutPhase>& phases) {
  QStringList lines;
  if (phases.empty()) return lines;
  lines << DiagramRenderer::tr("Incomplete: phases left out of the import");
  for (size_t i = 0; i < phases.size() && i < 3; ++i)
    lines << QStringLiteral("%1 (%2)").arg(QString::fromStdString(phases[i].Phase),
                                           QString::fromStdString(phases[i].Reason));
  if (phases.size() > 3)
    lines << DiagramRenderer::tr("and %n more", nullptr, static_cast<int>(phases.size() - 3));
  return lines;
}

}  // namespace

QString DiagramRenderer::DesignedFoot() {
  return QString::fromUtf8(kFoot);
}

QString DiagramRenderer::ShownDesignedFoot() {
  return tr(kFoot);
}

bool DiagramRenderer::IsDesignedFoot(const QString& text) {
  if (text == QString::fromUtf8(kFoot)) return true;
  QTranslator english;
  return english.load(QStringLiteral(":/i18n/brelona_en.qm")) &&
         text == english.translate("views::DiagramRenderer", kFoot);
}

ChartLook DiagramRenderer::DesignedLook() {
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

SeriesLook DiagramRenderer::OrdinaryPointsLook() {
  SeriesLook look;
  look.colour = Qt::red;
  look.marker = MarkerShape::Circle;
  look.markerSize = 5;  // a pointer of 2 pixels either side of the point
  look.penColour = Qt::red;
  look.penStyle = Qt::SolidLine;
  return look;
}

SeriesLook DiagramRenderer::SpecialPointsLook() {
  SeriesLook look = OrdinaryPointsLook();
  look.colour = QColor(255, 0, 0);
  look.penColour = QColor(255, 0, 0);
  look.penStyle = Qt::DotLine;
  return look;
}

DiagramRenderer::DiagramRenderer(QObject* parent)
    : QObject(parent), canvas_(new ChartCanvas(this)), fallbackName_(tr("Diagram")) {
  QChart* chart = canvas_->chart();
  overlay_ = new DiagramOverlay(chart, canvas_->BottomAxis(), canvas_->LeftAxis());
  connect(chart, &QChart::plotAreaChanged, this, [this] { overlay_->Relayout(); });
  connect(canvas_->BottomAxis(), &QValueAxis::rangeChanged, this, [this] { overlay_->Relayout(); });
  connect(canvas_->LeftAxis(), &QValueAxis::rangeChanged, this, [this] { overlay_->Relayout(); });
  canvas_->SetLook(DesignedLook());
}

DiagramRenderer::~DiagramRenderer() {
  // The layer is the chart's child item and goes with it; nothing of the chart calls back here.
  if (QChart* chart = canvas_->chart()) {
    chart->disconnect(this);
    canvas_->BottomAxis()->disconnect(this);
    canvas_->LeftAxis()->disconnect(this);
  }
}

void DiagramRenderer::ApplyChartFile(const ChartFile& file) {
  ChartLook look = file.look;
  if (IsDesignedFoot(look.foot.text)) look.foot.text = ShownDesignedFoot();
  canvas_->SetLook(look);
  if (file.diagram) SetDiagramLook(*file.diagram);
}

DiagramLook DiagramRenderer::GetDiagramLook() const {
  return overlay_->Look();
}

bool DiagramRenderer::SetDiagramLook(const DiagramLook& look) {
  const bool unitChanged = look.celsius != overlay_->Look().celsius ||
                           look.weightPercent != overlay_->Look().weightPercent;
  overlay_->SetLook(look);
  if (unitChanged && built_) ShowBuild();
  return unitChanged;
}

double DiagramRenderer::ShownX(double x) const {
  return byMass_ ? 100 * calc::MassFractionB(x, masses_) : x;
}

double DiagramRenderer::ResultX(double shownX) const {
  return byMass_ ? calc::MoleFractionB(std::clamp(shownX / 100, 0.0, 1.0), masses_) : shownX;
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

void DiagramRenderer::ShowBuild() {
  yOffset_ = overlay_->Look().celsius && builtY_ == calc::YParameter::Temperature ? 273.15 : 0;
  byMass_ = overlay_->Look().weightPercent && masses_.Known();
  canvas_->SetTitleText(builtY_ == calc::YParameter::Temperature
                            ? (yOffset_ != 0 ? QStringLiteral("T, °C") : QStringLiteral("T, K"))
                            : QStringLiteral("P, бар"));
  const SeriesLook ordinaryLook =
      canvas_->SeriesCount() > 0 ? canvas_->SeriesLookAt(0) : OrdinaryPointsLook();
  const SeriesLook specialLook =
      canvas_->SeriesCount() > 1 ? canvas_->SeriesLookAt(1) : SpecialPointsLook();
  canvas_->RemoveAllSeries();
  canvas_->AddSeries(SeriesKind::Points, QStringLiteral("Ordinary points"), ordinaryLook);
  canvas_->AddSeries(SeriesKind::Points, QStringLiteral("Special points"), specialLook);
  canvas_->UndoZoom();
  const XMap x = byMass_ ? XMap([this](double v) { return ShownX(v); }) : XMap();
  canvas_->SetPoints(0, Shifted(ordinary_, yOffset_, x));
  canvas_->SetPoints(1, Shifted(special_, yOffset_, x));
  AddNodeLines(nodes_, calc::YParameterText(builtY_));
  ShowLayers();
}

void DiagramRenderer::ShowLayers() {
  // The X axis title names the components when the sheet does; a title the user wrote stays.
  const QString foot = canvas_->Look().foot.text;
  QString wanted = tr(kFoot);
  if (names_.Named()) {
    const QString a = QString::fromStdString(names_.A), b = QString::fromStdString(names_.B);
    wanted = byMass_ ? tr("%1, weight percent in the system %2-%1").arg(b, a)
                     : tr("X(%1), mole fraction of %1 in the system %2-%1").arg(b, a);
  } else if (byMass_) {
    wanted = tr("Weight percent of component B in the system A-B");
  }
  if (IsDesignedFoot(foot) || (!autoFoot_.isEmpty() && foot == autoFoot_)) {
    ChartLook look = canvas_->Look();
    look.foot.text = wanted;
    canvas_->SetLook(look);
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
  canvas_->SetExtraRange(x0 <= x1 ? std::optional<QRectF>(QRectF(QPointF(x0, y0), QPointF(x1, y1)))
                                  : std::nullopt);
  overlay_->SetLayers(std::move(shown));
  canvas_->Rescale();
}

void DiagramRenderer::SetStale(const QString& why) {
  if (why == stale_) return;
  stale_ = why;
  if (built_) ShowLayers();
}

void DiagramRenderer::Build(const calc::Results& results, calc::YParameter yParameter,
                            const std::function<void()>& findSpecialPoints) {
  // The user's zoom, kept in live mode (taking the series away undoes it).
  std::optional<QRectF> zoom;
  if (keepZoom_ && canvas_->IsZoomed()) zoom = canvas_->ShownRange();
  builtY_ = yParameter;
  built_ = false;
  yOffset_ = overlay_->Look().celsius && yParameter == calc::YParameter::Temperature ? 273.15 : 0;
  byMass_ = overlay_->Look().weightPercent && masses_.Known();
  canvas_->SetTitleText(yParameter == calc::YParameter::Temperature
                            ? (yOffset_ != 0 ? QStringLiteral("T, °C") : QStringLiteral("T, K"))
                            : tr("P, бар"));
  canvas_->RemoveAllSeries();
  canvas_->AddSeries(SeriesKind::Points, QStringLiteral("Ordinary points"), OrdinaryPointsLook());
  canvas_->AddSeries(SeriesKind::Points, QStringLiteral("Special points"), SpecialPointsLook());
  if (picturesOnly_) {
    for (int i : {0, 1}) {
      if (canvas_->SeriesAt(i)->isVisible()) canvas_->SetDrawnElsewhere(i);
    }
  }
  canvas_->UndoZoom();
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
  canvas_->SetPoints(0, Shifted(ordinary_, yOffset_, x));
  canvas_->Rescale();

  if (findSpecialPoints) {
    findSpecialPoints();
    emit specialPointsFound();
  }
  if (!fields.valid()) findFields();
  special_.clear();
  special_.reserve(static_cast<qsizetype>(results.SpecialPoints.size()));
  for (const calc::SpecialPoint& p : results.SpecialPoints) special_.append(QPointF(p.X, p.Y));
  canvas_->SetPoints(1, Shifted(special_, yOffset_, x));
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
  if (zoom) canvas_->ZoomToRange(*zoom);
}

std::vector<calc::TNode> DiagramRenderer::NodesToDraw(const calc::Results& results) {
  std::vector<calc::TNode> nodes = results.Nodes;
  const std::vector<calc::Invariant>& exact = results.Refined.Invariants;
  // The refinement solves one invariant per node, in the nodes' order, before any other it
  // adds (a critical end point where no node is, what a closer look finds).
  if (!results.Refined.Ran || exact.size() < nodes.size()) return nodes;
  for (size_t i = 0; i < nodes.size(); ++i) {
    const calc::Invariant& inv = exact[i];
    if (inv.Approximate || inv.Phases.size() < 3) continue;
    nodes[i].Y = inv.Y;
    nodes[i].XLeft = inv.Phases.front().X;
    nodes[i].X = inv.Phases[1].X;
    nodes[i].XRight = inv.Phases.back().X;
    if (const double x = calc::CriticalEndPointX(inv); !std::isnan(x))
      nodes[i].XLeft = nodes[i].X = nodes[i].XRight = x;
  }
  return nodes;
}

void DiagramRenderer::AddNodeLines(const std::vector<calc::TNode>& nodes,
                                   const std::string& yParameterText) {
  const bool temperature = !yParameterText.empty() && yParameterText[0] == 'T';
  const std::string unit = temperature ? (yOffset_ != 0 ? "°C" : "K") : "bar";
  SeriesLook look = canvas_->SeriesCount() > 0 ? canvas_->SeriesLookAt(0) : OrdinaryPointsLook();
  look.penColour = look.colour;
  look.penWidth = 1;
  look.penStyle = Qt::SolidLine;
  look.markersVisible = false;
  for (const calc::TNode& node : nodes) {
    const double y = node.Y - yOffset_;
    const std::string title = "Node at " + numeric::FormatFloatPattern(y, 3, separator_) + unit;
    const int s = canvas_->AddSeries(SeriesKind::Line, QString::fromStdString(title), look);
    canvas_->SeriesAt(s)->replace(
        QList<QPointF>{{ShownX(node.XLeft), y}, {ShownX(node.XRight), y}});
  }
  canvas_->Rescale();
}

}  // namespace views
