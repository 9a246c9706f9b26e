// Pb-30 wt% Sn of the sample database (the assessed Pb-Sn system): the equilibrium path ends in
// (Pb) + (Sn) after crossing the liquidus and the eutectic where the diagram's exact
// refinement puts it, and the Scheil path ends at that eutectic with the amount of liquid an
// independent integration over the diagram's own exact tie lines gives.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "calc/engine.h"
#include "calc/equilibrium.h"
#include "calc/masses.h"
#include "calc/path.h"
#include "calc/phase_sheet.h"
#include "calc/scheil.h"
#include "problem/problem_reader.h"
#include "recording_ports.h"

namespace calc {
namespace {

TEST(PathSamples, PbSnScheilAndEquilibriumAgainstTheDiagramsExactTieLines) {
  ProblemInput problem;
  for (const ProblemInput& p :
       problem::ReadProblemTable(std::string(BRELONA_SOURCE_DIR) + "/data/Problems.d")) {
    if (p.ProblemName.rfind("Pb-Sn", 0) == 0) problem = p;
  }
  ASSERT_FALSE(problem.Functs.empty());
  const ComponentMasses masses = ReadComponentMasses(problem.Functs);
  ASSERT_TRUE(masses.Known());
  const double x0 = MoleFractionB(0.3, masses);

  // The diagram, with the tie lines of every level solved exactly: ten levels a kelvin.
  testing::RecordingPorts ports;
  Results results;
  Engine engine(ports, ports, results, &ports, ports.LevelsInto(results));
  ports.problem = problem;
  ports.problem.YPoints = 3700;
  ports.on_build_diagram = [&] { engine.FindSpecialPoints(YParameterText(problem.Yparameter)); };
  engine.Run();
  ASSERT_TRUE(results.Refined.Ran);
  ASSERT_EQ(results.Refined.Invariants.size(), 1u);
  const Invariant& eutectic = results.Refined.Invariants[0];
  ASSERT_EQ(eutectic.Phases[1].Name, "LIQUID");

  // The Scheil equation d ln fL = dxL / (xS - xL) along the FCC_A1 + LIQUID tie lines from
  // the liquidus (xL = x0) down to the eutectic's liquid, by the trapezoid rule.
  double lnFL = 0, xL = x0, g = 0;
  bool started = false;
  double xPrev = 0, sPrev = 0;
  for (const BoundaryEnd& b : results.Refined.Boundaries) {
    if (b.PhaseLeft != "FCC_A1" || b.PhaseRight != "LIQUID" || b.Y <= eutectic.Y) continue;
    if (b.XRight < x0) {
      xPrev = b.XRight;
      sPrev = b.XLeft;
      continue;
    }
    if (!started) {
      // The liquidus lies between the last level whose liquid was leaner than x0 and this one.
      const double xS = sPrev + (b.XLeft - sPrev) * (x0 - xPrev) / (b.XRight - xPrev);
      g = 1 / (xS - x0);
      started = true;
    }
    const double gNext = 1 / (b.XLeft - b.XRight);
    lnFL += 0.5 * (g + gNext) * (b.XRight - xL);
    xL = b.XRight;
    g = gNext;
  }
  ASSERT_TRUE(started);
  const double gEnd = 1 / (eutectic.Phases[0].X - eutectic.Phases[1].X);
  lnFL += 0.5 * (g + gEnd) * (eutectic.Phases[1].X - xL);
  const double lastLiquid = std::exp(lnFL);

  PhaseSheet sheet(ports);
  ASSERT_TRUE(sheet.Compile(problem.Functs, '.'));
  ScheilRequest request;
  request.X = x0;
  request.From = problem.Ymax;
  request.To = problem.Ymin;
  request.Points = 1000;
  const ScheilResult scheil = Scheil(sheet, request);
  ASSERT_EQ(scheil.Error, "");
  EXPECT_EQ(scheil.End, ScheilEnd::Eutectic);
  EXPECT_NEAR(scheil.EndT, eutectic.Y, 1e-4);
  EXPECT_NEAR(scheil.EndT, 455, 1);
  EXPECT_NEAR(scheil.LastLiquid, lastLiquid, 1e-6);
  EXPECT_EQ(scheil.Solids, (std::vector<std::string>{"FCC_A1", "BCT_A5"}));

  PathRequest step;
  step.X = x0;
  step.From = problem.Ymax;
  step.To = problem.Ymin;
  step.Points = 371;
  const PathResult path = StepPath(sheet, step);
  ASSERT_EQ(path.Error, "");
  ASSERT_EQ(path.Crossings.size(), 2u);
  EXPECT_NEAR(path.Crossings[0].At, scheil.LiquidusT, 1e-6);
  EXPECT_NEAR(path.Crossings[1].At, eutectic.Y, 1e-4);
  for (const PathPoint& p : path.Points) EXPECT_FALSE(p.Approximate) << p.T;
  ASSERT_EQ(path.Points.back().Phases.size(), 2u);
  EXPECT_EQ(path.Points.back().Phases[0].Name, "FCC_A1");
  EXPECT_EQ(path.Points.back().Phases[1].Name, "BCT_A5");
  // Equilibrium freezing leaves less liquid at the eutectic than Scheil's.
  EXPECT_LT(path.Crossings[1].Before.Phases[1].Amount, scheil.LastLiquid);
}

// Cu-Mg's Laves phase Cu2Mg is nearly stoichiometric at 586 K, its energy a sharp V at X = 1/3:
// the equilibrium at a point in (Cu) + Cu2Mg is exact there, on the tangent that a separate
// 40-digit solve (the Laves minimum by bisection of its site fraction, slopes by differences)
// confirms: both slopes and the chord agree within 4e-8 J/mol at these ends.
TEST(PathSamples, APointBesideANearlyStoichiometricLavesPhaseIsExact) {
  ProblemInput problem;
  for (const ProblemInput& p :
       problem::ReadProblemTable(std::string(BRELONA_SOURCE_DIR) + "/data/Problems.d")) {
    if (p.ProblemName.rfind("Cu-Mg", 0) == 0) problem = p;
  }
  testing::RecordingPorts ports;
  PhaseSheet sheet(ports);
  ASSERT_TRUE(sheet.Compile(problem.Functs, '.'));
  const Equilibrium eq = SolveEquilibrium(sheet, 586, 1, 0.2);
  EXPECT_FALSE(eq.Approximate);
  ASSERT_EQ(eq.Phases.size(), 2u);
  EXPECT_EQ(eq.Phases[0].Name, "FCC_A1");
  EXPECT_NEAR(eq.Phases[0].X, 0.0231305304873, 1e-9);
  EXPECT_NEAR(eq.Phases[1].X, 0.3330462941105, 1e-9);
}

}  // namespace
}  // namespace calc
