#pragma once
// The equilibrium of one alloy followed from point to point: the set of stable phases (an
// assemblage) is carried over from the last point, solved again where it is (the common
// tangent from the last compositions), and kept while it stays stable: while no phase dips
// below its tangent line and, at the alloy's composition, no amount is negative. Where it stops
// being stable, the point where it does is found by bisection on that test, which is exact to
// the precision of the energies: the phase boundaries of a path come out at their own
// temperatures (or compositions), not at a step of the path. Shared by the equilibrium path
// and the Scheil path.

#include <functional>
#include <string>
#include <vector>

#include "calc/equilibrium.h"
#include "calc/phase_sheet.h"

namespace calc {

// No phase (phases are numbered from -(point phases) to solution phases - 1).
inline constexpr int kNoPhase = -2147483647 - 1;

// A phase of an assemblage at its composition; `phase` is numbered as EquilibriumPhase::Index
// (a solution phase's index, or -(index + 1) of a point phase).
struct Member {
  int phase = 0;
  double x = 0;
};

// Temperature (K), pressure (bar) and the overall composition (mole fraction of B).
struct PathState {
  double T = 0, p = 1, x = 0;
};

// An assemblage solved at one state: its members in ascending X, the tangent line through
// them, G(x) = MuA (1 - x) + MuB x, and the amounts at the state's composition (lever rule).
struct Assemblage {
  std::vector<Member> members;
  double MuA = 0, MuB = 0;
  std::vector<double> amounts;
  bool solved = false;
  bool SamePhases(const Assemblage& other) const;
};

class PathSolver {
 public:
  explicit PathSolver(PhaseSheet& sheet);

  // G of a phase at x (a point phase: at its composition); NaN where it has none. An evaluator
  // error gives NaN and is kept in Error() (the first one).
  double G(int phase, double x, double T, double p);
  const std::string& Error() const { return error_; }
  std::string Name(int phase) const;
  double PointX(int phase) const;

  // Solves the members of `a` at state s from their present compositions (a single solution
  // phase takes the state's composition). False when the tangent cannot be solved or an
  // energy is missing; a.solved says the same.
  bool Continue(Assemblage& a, const PathState& s);

  // Whether the solved assemblage is the stable one at s: no phase below its tangent line
  // (each phase's lowest point above it, members away from their own compositions too) and,
  // when `amounts` is set, no negative amount at s.x. `worst`, when given, gets the phase and
  // composition that lie lowest below the line (kNoPhase when none does).
  bool Stable(const Assemblage& a, const PathState& s, bool amounts, Member* worst = nullptr);

  // The stable assemblage at s from scratch: the sampled lower hull, its tangent solved, then
  // checked and repaired against every phase's lowest point under the line. `approximate` is
  // set when no stable assemblage was found (the best one found is returned).
  Assemblage Solve(const PathState& s, bool* approximate);

  // Continue then Stable.
  bool StillStable(Assemblage& a, const PathState& s, bool amounts) {
    return Continue(a, s) && Stable(a, s, amounts);
  }

  // Where `a`, stable at state(from), stops being stable on the way to state(to): bisection
  // down to the last bits of the path variable. On return `a` is solved at `lo`, the last place
  // found where it is stable, and `hi` is the first where it is not. False (nothing changed)
  // when it is stable at `to` too.
  bool Boundary(const std::function<PathState(double)>& state, Assemblage& a, double from,
                double to, bool amounts, double& lo, double& hi);

  // The equilibrium of a solved assemblage as the point inspection gives it.
  std::vector<EquilibriumPhase> Phases(const Assemblage& a, const PathState& s);

  // G of the assemblage at s.x, and H = G - T dG/dT and Cp = -T d2G/dT2 with the members
  // followed to T +- a small step (NaN where they cannot be).
  void Thermo(const Assemblage& a, const PathState& s, double& G, double& H, double& Cp);

  // The gas constant of the sheet's entropy of mixing (Sid = -R (x ln x + (1-x) ln(1-x))),
  // or kGasConstant when the sheet's Sid is not of that form.
  double GasConstant();

  // The Gibbs energy of pure A (`atB` false) or pure B in the phase called `name` (a solution
  // phase, or a point phase at that end), or in the lowest phase there when the name is empty.
  // NaN when there is none.
  double PureEnergy(bool atB, const std::string& name, double T, double p);

 private:
  double Sid(double x);
  double Depth(int phase, const Assemblage& a, double T, double p, double* at);

  PhaseSheet& sheet_;
  std::string error_;
  std::vector<double> samples_;
};

}  // namespace calc
