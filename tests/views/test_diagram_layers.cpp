// The phase diagram's layer: boundaries joined level by level, one readable label per phase
// field of every sample, the temperature unit, component names, and the chart file's diagram
// members.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QStringList>
#include <QValueAxis>
#include <QXYSeries>
#include <cmath>
#include <map>
#include <set>

#include "calc/cell_grid.h"
#include "calc/masses.h"
#include "sample_results.h"
#include "sample_run.h"
#include "views/chart_file.h"
#include "views/chart_view.h"
#include "views/diagram_layers.h"
#include "views/diagram_overlay.h"
#include "views/diagram_renderer.h"
#include "views/diagram_window.h"
#include "views/translation.h"

namespace views {
namespace {

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

TEST(DiagramLayers, BoundariesJoinTheTieLineEndsLevelByLevel) {
  calc::Results r;
  testing::FillEutectic(r, 40, 10);
  const std::vector<BoundaryLine> lines = BoundaryLines(r);
  // Liquidus and solidus on both sides above the eutectic, both solvus lines below it.
  std::set<std::string> keys;
  for (const BoundaryLine& l : lines) keys.insert(l.key);
  EXPECT_EQ(keys, (std::set<std::string>{"SA|SA + L", "SA + L|L", "L|L + SB", "L + SB|SB",
                                         "SA|SA + SB", "SA + SB|SB"}));
  EXPECT_EQ(lines.size(), keys.size());
  // Every end of every tie line is on exactly one boundary, and a boundary goes down one
  // level at a time without jumping across the diagram.
  std::multiset<std::pair<double, double>> ends, onLines;
  for (int row = 0; row < r.ZPoints.RowCount(); ++row) {
    for (const calc::TZPoint& p : r.ZPoints.Row(row)) ends.insert({p.X, p.Y});
  }
  for (const BoundaryLine& l : lines) {
    for (size_t i = 0; i < l.points.size(); ++i) {
      onLines.insert({l.points[i].x(), l.points[i].y()});
      if (i == 0) continue;
      EXPECT_NEAR(l.points[i - 1].y() - l.points[i].y(), 10, 1e-9) << l.key;
      EXPECT_LE(std::abs(l.points[i - 1].x() - l.points[i].x()), 0.051) << l.key;
    }
  }
  EXPECT_EQ(ends, onLines);

  // Refined ends replace the grid's when refinement ran.
  r.Refined.Ran = true;
  const calc::PhaseIndex S = 0, L = 1, T = 2;  // the exact points name the phases by index
  r.Refined.Boundaries = {{0, 1200, "S", 0.1, "L", 0.3, false, S, L},
                          {1, 1190, "S", 0.12, "L", 0.33, false, S, L},
                          {2, 1180, "S", 0.14, "L", 0.36, false, S, L}};
  const std::vector<BoundaryLine> refined = BoundaryLines(r);
  ASSERT_EQ(refined.size(), 2u);
  EXPECT_EQ(refined[0].points, (std::vector<QPointF>{{0.1, 1200}, {0.12, 1190}, {0.14, 1180}}));
  EXPECT_EQ(refined[1].points, (std::vector<QPointF>{{0.3, 1200}, {0.33, 1190}, {0.36, 1180}}));

  // Exact points of a line's phase a little beyond its ends are joined on: the invariant below
  // (both lines), the melting point above the solidus (near enough), not above the liquidus
  // (too far off its course); an approximate point never.
  r.State.YStep = 10;
  r.State.XStep = 0.025;
  r.Refined.Invariants = {
      {"eutectic", "", 1175, {{"S", 0.15, S}, {"L", 0.4, L}, {"T", 0.9, T}}, false},
      {"eutectic", "", 1178, {{"S", 0.145, S}, {"L", 0.37, L}, {"T", 0.9, T}}, true}};
  r.Refined.Transitions = {{0, 1205, "L", "S", false, L, S}};
  const std::vector<BoundaryLine> met = BoundaryLines(r);
  ASSERT_EQ(met.size(), 2u);
  EXPECT_EQ(met[0].points, (std::vector<QPointF>{
                               {0, 1205}, {0.1, 1200}, {0.12, 1190}, {0.14, 1180}, {0.15, 1175}}));
  EXPECT_EQ(met[1].points,
            (std::vector<QPointF>{{0.3, 1200}, {0.33, 1190}, {0.36, 1180}, {0.4, 1175}}));
}

// The phases the cell grid gives at a cell, read straight from the grid: the cell's own
// name, or the names of the nearest named cells of its row on either side.
QString PhasesAt(const calc::Results& r, int col, int row) {
  const calc::CellGrid& g = r.Cells();
  if (!g.Cell(col, row).empty()) return QString::fromStdString(g.Cell(col, row));
  int lo = col, hi = col;
  while (lo > 1 && g.Cell(lo, row).empty()) --lo;
  while (hi < g.ColCount() - 1 && g.Cell(hi, row).empty()) ++hi;
  const QString a = QString::fromStdString(g.Cell(lo, row)),
                b = QString::fromStdString(g.Cell(hi, row));
  return a == b ? a + QStringLiteral("′ + ") + b + QStringLiteral("″")
                : a + QStringLiteral(" + ") + b;
}

TEST(DiagramLayers, EverySampleFieldHasOneLabelClearOfLinesAndOtherLabels) {
  const QStringList samples = {QStringLiteral("Ideal lens"),
                               QStringLiteral("Simple eutectic"),
                               QStringLiteral("Peritectic"),
                               QStringLiteral("Solid miscibility gap under a lens"),
                               QStringLiteral("Congruent compound AB with two eutectics"),
                               QStringLiteral("Incongruent compound AB"),
                               QStringLiteral("Lens with a minimum"),
                               QStringLiteral("Liquid-vapour at 350 K (pressure diagram)")};
  for (const QString& name : samples) {
    SCOPED_TRACE(name.toStdString());
    const auto problem = testing::SampleProblem(name);
    ASSERT_TRUE(problem.has_value());
    testing::SampleRun run(*problem);
    run.diagram.resize(696, 525);
    run.Run();
    Settle();
    const DiagramOverlay* overlay = run.diagram.Overlay();
    const FieldMap& fields = *overlay->Layers().fields;
    const std::vector<FieldLabel>& labels = overlay->Labels();
    ASSERT_GE(fields.fields.size(), 2u);
    std::map<int, int> perField;
    for (const FieldLabel& l : labels) ++perField[l.field];
    for (size_t f = 0; f < fields.fields.size(); ++f)
      EXPECT_EQ(perField[static_cast<int>(f)], 1) << f;
    EXPECT_EQ(labels.size(), fields.fields.size());

    const auto lines = overlay->LinePixels();
    for (size_t i = 0; i < labels.size(); ++i) {
      const FieldLabel& l = labels[i];
      EXPECT_TRUE(l.fits) << l.text.toStdString();
      // The label names the phases of the grid cell it points at.
      const QPointF at = l.leader ? l.anchor : l.box.center();
      int col = 0, row = 0;
      double best = 1e300;
      for (int c = 0; c < fields.cols; ++c) {
        for (int rr = 0; rr < fields.rows; ++rr) {
          if (fields.At(c, rr) != l.field) continue;
          const QPointF p = overlay->ToPixel(fields.x[c], fields.y[rr]);
          const double d = std::hypot(p.x() - at.x(), p.y() - at.y());
          if (d < best) best = d, col = c, row = rr;
        }
      }
      EXPECT_LT(best, 12) << l.text.toStdString();
      EXPECT_EQ(l.text, PhasesAt(run.results, col + 1, row + 1));
      for (size_t j = i + 1; j < labels.size(); ++j) {
        EXPECT_FALSE(l.box.intersects(labels[j].box))
            << l.text.toStdString() << " / " << labels[j].text.toStdString();
      }
      for (const auto& line : lines) {
        for (size_t k = 1; k < line.size(); ++k) {
          ASSERT_FALSE(SegmentMeetsRect(line[k - 1], line[k], l.box))
              << l.text.toStdString() << " " << l.box.x() << "," << l.box.y() << " "
              << l.box.width() << "x" << l.box.height() << " leader " << l.leader << " seg "
              << line[k - 1].x() << "," << line[k - 1].y() << " " << line[k].x() << ","
              << line[k].y();
        }
      }
    }
  }
}

TEST(DiagramLayers, CelsiusShiftsEveryTemperatureAndComponentNamesTitleTheAxis) {
  calc::Results r;
  testing::FillEutectic(r, 40, 10);
  TfmDiagram2 window{QString()};
  window.resize(696, 525);
  window.BuildDiagram(r, calc::YParameter::Temperature, nullptr, false);
  const QList<QPointF> kelvin = window.Chart1()->SeriesAt(0)->points();
  const QPointF kelvinBoundary = window.Overlay()->Layers().boundaries.at(0).points.at(0);
  const QString designedFoot = window.Chart1()->Look().foot.text;

  DiagramLook look = window.GetDiagramLook();
  look.celsius = true;
  window.SetComponentNames({"PB", "SN"});
  window.SetDiagramLook(look);
  EXPECT_EQ(window.Chart1()->TitleText(), QStringLiteral("T, °C"));
  const QList<QPointF> celsius = window.Chart1()->SeriesAt(0)->points();
  ASSERT_EQ(celsius.size(), kelvin.size());
  for (qsizetype i = 0; i < celsius.size(); ++i)
    EXPECT_DOUBLE_EQ(celsius[i].y(), kelvin[i].y() - 273.15);
  EXPECT_DOUBLE_EQ(window.Overlay()->Layers().boundaries.at(0).points.at(0).y(),
                   kelvinBoundary.y() - 273.15);
  // The automatic axis follows: it still holds every point, now in °C.
  double lo = 1e300, hi = -1e300;
  for (const QPointF& p : kelvin) lo = std::min(lo, p.y()), hi = std::max(hi, p.y());
  EXPECT_LE(window.Chart1()->LeftAxis()->min(), lo - 273.15);
  EXPECT_GT(window.Chart1()->LeftAxis()->min(), lo - 273.15 - 100);
  EXPECT_GE(window.Chart1()->LeftAxis()->max(), hi - 273.15);
  EXPECT_LT(window.Chart1()->LeftAxis()->max(), hi - 273.15 + 100);
  EXPECT_TRUE(window.Chart1()->Look().foot.text.startsWith(QStringLiteral("X(SN)")));
  // A sheet without names gives the designed title back; a title the user wrote is kept.
  window.SetComponentNames({});
  window.BuildDiagram(r, calc::YParameter::Temperature, nullptr, false);
  EXPECT_EQ(window.Chart1()->Look().foot.text, designedFoot);
  ChartLook chart = window.Chart1()->Look();
  chart.foot.text = QStringLiteral("my own");
  window.Chart1()->SetLook(chart);
  window.SetComponentNames({"PB", "SN"});
  window.BuildDiagram(r, calc::YParameter::Temperature, nullptr, false);
  EXPECT_EQ(window.Chart1()->Look().foot.text, QStringLiteral("my own"));

  // In English as well: the designed title there is the English one (the names were never
  // written over it), and a sheet without names gives that one back, not the Russian.
  ASSERT_TRUE(InstallLanguage(QStringLiteral("en")));
  TfmDiagram2 english{QString()};
  const QString englishFoot = english.Chart1()->Look().foot.text;
  english.SetComponentNames({"PB", "SN"});
  english.BuildDiagram(r, calc::YParameter::Temperature, nullptr, false);
  EXPECT_EQ(english.Chart1()->Look().foot.text,
            QStringLiteral("X(SN), mole fraction of SN in the system PB-SN"));
  english.SetComponentNames({});
  english.BuildDiagram(r, calc::YParameter::Temperature, nullptr, false);
  EXPECT_EQ(english.Chart1()->Look().foot.text, englishFoot);
  EXPECT_TRUE(englishFoot.startsWith(QStringLiteral("Mole fraction"))) << englishFoot.toStdString();
  InstallLanguage(QStringLiteral("ru"));
}

// Compositions by mass: every point, line, label column and the axis in weight percent of B,
// the read-out and the context menu's path in it, the click mapped back to a mole fraction; a
// sheet without masses stays in mole fractions and says why on the plot.
TEST(DiagramLayers, WeightPercentMapsEveryCompositionAndMapsClicksBack) {
  calc::Results r;
  testing::FillEutectic(r, 40, 10);
  r.Nodes.push_back({500, 0.6, 0.2, 0.9});
  TfmDiagram2 window{QString()};
  window.resize(696, 525);
  window.SetComponentNames({"PB", "SN"});
  const calc::ComponentMasses masses{207.2, 118.71};
  window.SetComponentMasses(masses);
  window.BuildDiagram(r, calc::YParameter::Temperature, nullptr, false);
  const QList<QPointF> mole = window.Chart1()->SeriesAt(0)->points();
  const DiagramLayers moleLayers = window.Overlay()->Layers();

  DiagramLook look = window.GetDiagramLook();
  look.weightPercent = true;
  window.SetDiagramLook(look);
  window.show();
  Settle();
  ASSERT_TRUE(window.ShowsWeightPercent());
  auto wt = [&](double x) { return 100 * calc::MassFractionB(x, masses); };
  const QList<QPointF> byMass = window.Chart1()->SeriesAt(0)->points();
  ASSERT_EQ(byMass.size(), mole.size());
  for (qsizetype i = 0; i < mole.size(); ++i) {
    EXPECT_NEAR(byMass[i].x(), wt(mole[i].x()), 1e-9);
    EXPECT_EQ(byMass[i].y(), mole[i].y());
  }
  const DiagramLayers& shown = window.Overlay()->Layers();
  ASSERT_EQ(window.Chart1()->SeriesCount(), 3);  // the node line
  EXPECT_NEAR(window.Chart1()->SeriesAt(2)->at(1).x(), wt(0.9), 1e-9);
  EXPECT_NEAR(shown.boundaries[0].points[0].x(), wt(moleLayers.boundaries[0].points[0].x()), 1e-9);
  EXPECT_NEAR(shown.fields->x.back(), wt(moleLayers.fields->x.back()), 1e-9);
  EXPECT_GE(window.Chart1()->BottomAxis()->max(), 99.9);
  EXPECT_TRUE(window.Chart1()->Look().foot.text.startsWith(QStringLiteral("SN, weight percent")))
      << window.Chart1()->Look().foot.text.toStdString();

  const QPointF at = window.Chart1()->PixelOf(QPointF(30, 500));
  EXPECT_NEAR(window.ResultValueAt(at).x(), calc::MoleFractionB(0.3, masses), 0.003);
  EXPECT_NEAR(window.ResultValueAt(at).y(), 500, 1);
  window.SetDecimalSeparator(',');  // the menu writes the composition as the read-out does
  window.ShowReadout(at);
  EXPECT_TRUE(window.Label1()->text().startsWith(QStringLiteral("wt% SN = 30,")))
      << window.Label1()->text().toStdString();
  QWidget* viewport = window.Chart1()->viewport();
  QContextMenuEvent event(QContextMenuEvent::Mouse, at.toPoint(),
                          viewport->mapToGlobal(at.toPoint()));
  QApplication::sendEvent(viewport, &event);
  Settle();
  QStringList texts;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) {
      texts << m->actions().last()->text();
      m->close();
    }
  }
  ASSERT_EQ(texts.size(), 1);
  const QString prefix = QStringLiteral("Cooling path at "), suffix = QStringLiteral(" wt% SN");
  ASSERT_TRUE(texts[0].startsWith(prefix) && texts[0].endsWith(suffix)) << texts[0].toStdString();
  const QString number = texts[0].mid(prefix.size()).chopped(suffix.size());
  EXPECT_TRUE(number.contains(QLatin1Char(','))) << number.toStdString();
  EXPECT_NEAR(QString(number).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(), 30, 0.3);

  window.SetComponentMasses({});
  window.BuildDiagram(r, calc::YParameter::Temperature, nullptr, false);
  EXPECT_FALSE(window.ShowsWeightPercent());
  EXPECT_EQ(window.Chart1()->SeriesAt(0)->points(), mole);
  EXPECT_TRUE(window.Overlay()->Layers().notices.join(' ').contains(
      QStringLiteral("weight percent needs the masses")));
}

TEST(DiagramLayers, ChartFileKeepsTheDiagramLookAndOlderFilesStillLoad) {
  ChartFile file;
  QByteArray older = ChartFileToJson(file);
  ASSERT_FALSE(older.contains("\"diagram\""));
  const auto loadedOlder = ChartFileFromJson(older);
  ASSERT_TRUE(loadedOlder.has_value());
  EXPECT_FALSE(loadedOlder->diagram.has_value());

  DiagramLook look = DesignedDiagramLook();
  look.celsius = true;
  look.boundaries = {false, QColor(1, 2, 3), 2.5, Qt::DashLine};
  look.labelColour = QColor(9, 8, 7);
  look.heading.text = QStringLiteral("Pb-Sn");
  look.weightPercent = true;
  file.diagram = look;
  const QByteArray json = ChartFileToJson(file);
  const auto loaded = ChartFileFromJson(json);
  ASSERT_TRUE(loaded.has_value());
  ASSERT_TRUE(loaded->diagram.has_value());
  EXPECT_TRUE(*loaded->diagram == look);
  QByteArray damaged = json;
  damaged.replace("\"celsius\": true", "\"celsius\": 1");
  QStringList refused;
  const auto partly = ChartFileFromJson(damaged, nullptr, &refused);
  ASSERT_TRUE(partly.has_value());
  EXPECT_EQ(refused, QStringList{QStringLiteral("diagram: \"celsius\" is not true or false")});
  EXPECT_FALSE(partly->diagram->celsius);
  EXPECT_EQ(partly->diagram->labelColour, look.labelColour);
  // A file from before weight percent has no such member and loads whole, in mole fractions.
  QJsonObject top = QJsonDocument::fromJson(json).object();
  QJsonObject diagram = top.value(QStringLiteral("diagram")).toObject();
  ASSERT_TRUE(diagram.contains(QStringLiteral("weightPercent")));
  diagram.remove(QStringLiteral("weightPercent"));
  top.insert(QStringLiteral("diagram"), diagram);
  const QByteArray before = QJsonDocument(top).toJson();
  refused.clear();
  const auto old = ChartFileFromJson(before, nullptr, &refused);
  ASSERT_TRUE(old.has_value() && old->diagram.has_value());
  EXPECT_TRUE(refused.isEmpty()) << refused.join(' ').toStdString();
  EXPECT_FALSE(old->diagram->weightPercent);
}

// The cells call every stable compound "C"; the fields beside one are named after it, so two
// compounds side by side are not taken for the two sides of one phase's gap.
TEST(DiagramLayers, FieldsBesideCompoundsNameThem) {
  const auto problem =
      testing::SampleProblem(QStringLiteral("Cu-Mg (assessed, imported from TDB)"));
  ASSERT_TRUE(problem.has_value());
  testing::SampleRun run(*problem);
  run.Run();
  std::set<QString> texts;
  for (const PhaseField& f : FindFields(run.results).fields) texts.insert(f.text);
  EXPECT_TRUE(texts.count(QStringLiteral("CUMG2 + HCP_A3"))) << texts.size();
  EXPECT_TRUE(texts.count(QStringLiteral("LIQUID + CUMG2")));
  EXPECT_FALSE(texts.count(QStringLiteral("C′ + C″")));

  // Two compounds of one composition: the fields beside it name the one the run found stable
  // (the second of the sheet), not the first listed there.
  calc::ProblemInput shared = *problem;
  shared.Functs =
      "GL = 8.31441*T*(X*Ln(X)+(1-X)*Ln(1-X))\nGS = 5000 + 8.31441*T*(X*Ln(X)+(1-X)*Ln(1-X))\n"
      "X=0.5; GAB = -3000\nX=0.5; GBETA = -4000";
  shared.XPoints = 40;
  shared.YPoints = 10;
  shared.Ymin = 300;
  shared.Ymax = 400;
  shared.Refine = false;
  testing::SampleRun compounds(shared);
  compounds.Run();
  texts.clear();
  for (const PhaseField& f : FindFields(compounds.results).fields) texts.insert(f.text);
  EXPECT_EQ(texts, (std::set<QString>{QStringLiteral("L"), QStringLiteral("L + BETA"),
                                      QStringLiteral("BETA + L")}));
}

TEST(DiagramLayers, SimplifiedPolylinesStayWithinTheTolerance) {
  // A wiggly curve sampled far finer than a pixel, and a straight one.
  std::vector<QPointF> curve, straight;
  for (int i = 0; i <= 4000; ++i) {
    const double t = i / 4000.0;
    curve.push_back({600 * t, 200 + 150 * std::sin(9 * t) + 3 * std::sin(400 * t)});
    straight.push_back({1 + 2 * t, 5 - 7 * t});
  }
  EXPECT_EQ(SimplifyPolyline(straight, 0.01).size(), 2u);
  for (double tolerance : {0.05, 0.5, 4.0}) {
    const std::vector<QPointF> kept = SimplifyPolyline(curve, tolerance);
    ASSERT_GE(kept.size(), 2u);
    EXPECT_LT(kept.size(), curve.size());
    EXPECT_EQ(kept.front(), curve.front());
    EXPECT_EQ(kept.back(), curve.back());
    // Every original point lies within the tolerance of the kept segment spanning it.
    size_t k = 0;
    for (const QPointF& p : curve) {
      while (k + 2 < kept.size() && p.x() > kept[k + 1].x()) ++k;
      const QPointF a = kept[k], d = kept[k + 1] - a, v = p - a;
      const double dist = std::abs(d.x() * v.y() - d.y() * v.x()) / std::hypot(d.x(), d.y());
      ASSERT_LE(dist, tolerance + 1e-9) << "tolerance " << tolerance << " at x " << p.x();
    }
  }
}

}  // namespace
}  // namespace views

namespace views {
namespace {

// One level (Ymin = Ymax) or a span too small for a pixel: the label placement thinned a
// one-row map into itself without end. The diagram now shows each field's label on its row.
TEST(DiagramLayers, OneLevelAndATinySpanGetTheirLabels) {
  auto problem = testing::SampleProblem(QStringLiteral("Simple eutectic"));
  ASSERT_TRUE(problem.has_value());
  for (const double span : {0.0, 1e-13}) {
    problem->Ymin = 700;
    problem->Ymax = 700 + span;
    testing::SampleRun run(*problem);
    run.Run();
    QApplication::processEvents();
    const std::vector<FieldLabel>& labels = run.diagram.Overlay()->Labels();
    QStringList texts;
    for (const FieldLabel& l : labels) texts << l.text;
    EXPECT_GE(labels.size(), 3u) << span << ": " << texts.join(", ").toStdString();
  }
}

}  // namespace
}  // namespace views

namespace views {
namespace {

// Every invariant was drawn twice: the grid's node line a level off (635 K) and the exact
// invariant line (631.3 K). With exact values the node line stands where the invariant is.
TEST(DiagramLayers, TheNodeLineIsTheExactInvariant) {
  auto problem = testing::SampleProblem(QStringLiteral("Simple eutectic"));
  ASSERT_TRUE(problem.has_value());
  testing::SampleRun run(*problem);
  run.Run();
  const calc::Results& r = run.results;
  ASSERT_TRUE(r.Refined.Ran);
  ASSERT_EQ(r.Nodes.size(), 1u);
  ASSERT_EQ(r.Refined.Invariants.size(), 1u);
  const calc::Invariant& inv = r.Refined.Invariants[0];
  ASSERT_NE(r.Nodes[0].Y, inv.Y);
  ChartView* chart = run.diagram.Chart1();
  ASSERT_EQ(chart->SeriesCount(), 3);
  const QList<QPointF> line = chart->SeriesAt(2)->points();
  ASSERT_EQ(line.size(), 2);
  EXPECT_DOUBLE_EQ(line[0].y(), inv.Y);
  EXPECT_DOUBLE_EQ(line[0].x(), inv.Phases.front().X);
  EXPECT_DOUBLE_EQ(line[1].x(), inv.Phases.back().X);

  // Answers the refinement adds after the nodes' own (a closer look's) leave the node exact; a
  // node that is a critical end point is drawn as the point where the ordering line ends.
  const calc::Invariant exact = inv;
  calc::Results& more = run.results;
  more.Refined.Invariants.push_back(exact);
  more.Refined.Invariants.back().Y += 50;
  std::vector<calc::TNode> nodes = DiagramRenderer::NodesToDraw(more);
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].Y, exact.Y);
  EXPECT_EQ(nodes[0].XRight, exact.Phases.back().X);
  calc::Invariant& end = more.Refined.Invariants[0];
  end.Type = calc::kCriticalEndPoint;
  end.Phases[2].X = end.Phases[1].X;
  nodes = DiagramRenderer::NodesToDraw(more);
  EXPECT_EQ(nodes[0].XLeft, end.Phases[1].X);
  EXPECT_EQ(nodes[0].XRight, end.Phases[1].X);
  const std::vector<InvariantLine> lines = InvariantLines(more);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].xLeft, lines[0].xRight);
  EXPECT_LT(lines[1].xLeft, lines[1].xRight);
}

}  // namespace
}  // namespace views

namespace views {
namespace {

// Pb melts at 600.65 K, above the grid's last two-phase level (600 K): the axis, scaled to the
// grid's points alone, cut the boundary drawn on to it. It takes in the exact points now.
TEST(DiagramLayers, TheAxesTakeInTheExactPoints) {
  auto problem = testing::SampleProblem(QStringLiteral("Pb-Sn (assessed, imported from TDB)"));
  ASSERT_TRUE(problem.has_value());
  problem->XPoints = 100;
  testing::SampleRun run(*problem);
  run.Run();
  double top = 0;
  for (const calc::Transition& t : run.results.Refined.Transitions) top = std::max(top, t.Y);
  ASSERT_GT(top, 600.6);
  EXPECT_GE(run.diagram.Chart1()->LeftAxis()->max(), top);
}

// Labels ran into each other: the reaction types of two invariants a kelvin apart, and the
// pieces of one narrow two-phase band each repeating its label.
TEST(DiagramLayers, LabelsDoNotRunIntoEachOtherNorRepeat) {
  const std::vector<QLineF> lines = {QLineF(400, 100, 520, 100), QLineF(380, 101, 500, 101),
                                     QLineF(100, 300, 200, 300)};
  const std::vector<QSizeF> sizes(3, QSizeF(60, 14));
  const std::vector<QRectF> boxes = PlaceReactionBoxes(lines, sizes);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_FALSE(boxes[0].intersects(boxes[1]));
  EXPECT_EQ(boxes[2], QRectF(120, 285, 60, 14));  // alone: centred above its line

  // A big "L + S" field, a piece of it cut off beside it, another big one far away.
  FieldMap map;
  map.cols = map.rows = 40;
  for (int k = 0; k < 40; ++k) {
    map.x.push_back(k / 39.0);
    map.y.push_back(1000 - 10 * k);
  }
  map.fields = {{QStringLiteral("L"), 0},
                {QStringLiteral("L + S"), 0},
                {QStringLiteral("L + S"), 0},
                {QStringLiteral("L + S"), 0}};
  map.id.assign(40 * 40, 0);
  for (int r = 0; r < 40; ++r)
    for (int c = 0; c < 40; ++c) {
      int& f = map.id[static_cast<size_t>(r) * 40 + c];
      if (r >= 20 && r < 26 && c < 10) f = 1;
      if (r >= 20 && c >= 25) f = 3;
      if (r == 19 && c >= 4 && c < 6) f = 2;
      ++map.fields[static_cast<size_t>(f)].cells;
    }
  const auto labels = PlaceFieldLabels(
      map, [](double x, double y) { return QPointF(x * 600, (1000 - y) * 1.5); },
      [](const QString& text, double scale) { return QSizeF(7 * text.size() * scale, 12 * scale); },
      {});
  std::vector<int> labelled;
  for (const FieldLabel& l : labels) labelled.push_back(l.field);
  std::sort(labelled.begin(), labelled.end());
  EXPECT_EQ(labelled, (std::vector<int>{0, 1, 3}));
}

}  // namespace
}  // namespace views
