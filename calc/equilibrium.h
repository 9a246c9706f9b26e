#pragma once
// The equilibrium at one point (Y, X) of a diagram: the Gibbs energy curve of every phase at
// that level, their lower convex hull, and what the hull says at X: one phase, or two phases
// on a common tangent with their compositions and amounts (lever rule), and the chemical
// potentials of A and B (the tangent's values at X = 0 and X = 1). Shared by the diagram's
// inspection panel and brelona-calc point.

#include <string>
#include <vector>

#include "calc/phase_sheet.h"

namespace calc {

// G(X) of one phase sampled over 0..1 (a point phase: its one point). Samples where the
// phase has no energy (evaluator error or at least 1e10) are left out.
struct PhaseCurve {
  std::string Name;
  bool PointPhase = false;
  std::vector<double> X, G;
  // Which phase of the sheet, as EquilibriumPhase::Index.
  int Index = 0;
};

struct EquilibriumPhase {
  std::string Name;
  bool PointPhase = false;
  double X = 0;       // composition (mole fraction of B)
  double Amount = 0;  // mole fraction of the whole that is this phase
  double G = 0;       // its Gibbs energy at X
  // Which phase of the sheet: the index of a solution phase, or -(index + 1) of a point phase.
  int Index = 0;
};

struct Equilibrium {
  double T = 0, p = 0, X = 0;
  std::vector<PhaseCurve> Curves;
  // Lower hull vertices in ascending X (from the samples and the point phases).
  std::vector<double> HullX, HullG;
  // The stable phases in ascending X: one, or two on a common tangent.
  std::vector<EquilibriumPhase> Phases;
  // The tangent through the equilibrium: G(x) = MuA * (1 - x) + MuB * x. At a pure component
  // in a phase with ideal mixing the other component's potential is -infinity.
  double MuA = 0, MuB = 0;
  double G = 0;  // the hull's energy at X
  // True when the common tangent could not be solved and the sampled hull's values are given.
  bool Approximate = false;
  // Not empty when no phase has an energy at this level (then nothing else is set).
  std::string Error;
};

// The sheet must be compiled. T and p are the level's temperature and pressure; x is clamped
// to 0..1. `samples` points over 0..1 give the curves and the starting hull. Evaluator errors
// at single samples are skipped; the compositions of a two-phase equilibrium are then solved
// from the common-tangent conditions to about 1e-10.
Equilibrium SolveEquilibrium(PhaseSheet& sheet, double T, double p, double x, int samples = 1001);

// The common tangent of two phases at one level (T, p), solved from the starting compositions
// xa < xb; phases are numbered as EquilibriumPhase::Index. True with xa < xb on the tangent,
// false when it does not converge there (xa and xb are then left where the solve stopped).
bool SolveCommonTangent(PhaseSheet& sheet, double T, double p, int phaseA, double& xa, int phaseB,
                        double& xb);

}  // namespace calc
