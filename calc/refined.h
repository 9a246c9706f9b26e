#pragma once
// Exact answers: what the refinement stage solves from the Gibbs energies after the sweep and
// the special-point finder. Every feature starts from what the grid found; a feature whose
// solve failed or left the grid cell it started from keeps the grid value and says so in
// `Approximate`. The grid results (cells, nodes, memo lines) are never changed by it.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace calc {

// A phase of a run: its place in Results::RunPhases (the sheet's solution phases, then its point
// phases, in the order of the sheet the run compiled); kNoRunPhase for none.
using PhaseIndex = int32_t;
inline constexpr PhaseIndex kNoRunPhase = -1;

// A phase taking part in a feature: a solution phase by its name ("L", "S", "LIQUID"), a point
// phase by its line key or composition text; X its mole fraction of B.
struct RefinedPhase {
  std::string Name;
  double X = 0;
  PhaseIndex Phase = kNoRunPhase;
};

// A three-phase equilibrium: the reaction type ("eutectic", "peritectic", "monotectic",
// "eutectoid", "peritectoid", "monotectoid", "syntectic", "metatectic", "catatectic"), the
// reaction text (phases stable above → phases stable below, e.g. "L → S(0.0092) + S(0.9908)"),
// the level and the three phases in ascending X.
//
// Where the second-order line between the two forms of one phase on sublattices meets a
// two-phase field of that phase, the grid shows a node too, but no three phases are in
// equilibrium there: Type is then kCriticalEndPoint, the phases are the other phase of the
// field and the two forms (disordered, then ordered) at one composition, and the reaction
// names the field's two phases above and below (see CriticalEndPointX).
inline constexpr const char* kCriticalEndPoint = "critical end point";
struct Invariant {
  std::string Type;
  std::string Reaction;
  double Y = 0;
  std::vector<RefinedPhase> Phases;
  bool Approximate = false;
};

// The composition of the two forms at a critical end point, where the second-order line ends
// (a point on the diagram, not a line across the field); NaN for any other invariant.
inline double CriticalEndPointX(const Invariant& inv) {
  if (inv.Type != kCriticalEndPoint || inv.Phases.size() != 3) return std::nan("");
  return inv.Phases[0].X == inv.Phases[1].X ? inv.Phases[0].X : inv.Phases[1].X;
}

// A transition of a pure component (X = 0 or X = 1): the level where the phases stable above
// and below it have equal energy.
struct Transition {
  double X = 0;
  double Y = 0;
  std::string Above;
  std::string Below;
  bool Approximate = false;
  PhaseIndex AbovePhase = kNoRunPhase, BelowPhase = kNoRunPhase;
};

// The top (or bottom) of a miscibility gap of one phase.
struct CriticalPoint {
  std::string Phase;
  double X = 0;
  double Y = 0;
  bool Approximate = false;
  PhaseIndex Index = kNoRunPhase;
};

// A two-phase region closing at one composition: "congruent melting", "lens minimum",
// "lens maximum", "congruent transformation", or for the disordered and the ordered form of
// one phase the highest (or lowest) point of their second-order line, "ordering maximum"
// ("ordering minimum"); the two phases that meet there.
struct CongruentPoint {
  std::string Type;
  std::vector<std::string> Phases;
  double X = 0;
  double Y = 0;
  bool Approximate = false;
  std::vector<PhaseIndex> Indices = {};  // of Phases, kNoRunPhase where the grid named no phase
};

// One tie line of one level solved from the common-tangent conditions: the phases at its
// left and right ends and their compositions. Level is the level index (row of the cell grid
// minus one). A transition of second order between the disordered and the ordered form of a
// phase (no two-phase field between them) is a tie line of no length: XLeft == XRight, where
// the disordered form becomes unstable to the ordering.
struct BoundaryEnd {
  int Level = 0;
  double Y = 0;
  std::string PhaseLeft;
  double XLeft = 0;
  std::string PhaseRight;
  double XRight = 0;
  bool Approximate = false;
  PhaseIndex Left = kNoRunPhase, Right = kNoRunPhase;
  bool SecondOrder = false;
  // A two-phase field narrower than a column at its level: the grid shows its two phases in
  // neighbouring cells with no two-phase cell between them, and the tie line is solved from the
  // energies alone (a lens close to a melting point, a thin gamma loop).
  bool Narrow = false;
};

// Something the grid cannot resolve: a two-phase band crossed between two neighbouring levels
// (a column changes from one phase straight to another, with no congruent or second-order point
// to explain it), or two invariants within one level step of each other. The grid's answers
// there may miss a field; a grid with more points shows it.
struct FinerFeature {
  // FieldEnds: a field of one phase (Above: it is there above, not below; Below: the other
  // way round) ends between two levels where no answer names the phase.
  enum class Kind { ThinBand, CloseInvariants, FieldEnds };
  Kind What = Kind::ThinBand;
  double XLeft = 0, XRight = 0;  // the columns (or the invariants' compositions) it spans
  double YLow = 0, YHigh = 0;    // the two levels (or the two invariants) it lies between
  // A band's phase above and below it.
  PhaseIndex Above = kNoRunPhase, Below = kNoRunPhase;
};

// A band of levels swept again on a finer grid after the run (calc/closer_look.h), because
// the grid could not resolve something there or left an answer approximate.
struct CloserLook {
  double YLow = 0, YHigh = 0;
  int XPoints = 0, YPoints = 0;
};

// The kind as the run's files and the Python module name it.
inline const char* FinerKindText(FinerFeature::Kind kind) {
  switch (kind) {
    case FinerFeature::Kind::ThinBand:
      return "two-phase band thinner than a level step";
    case FinerFeature::Kind::CloseInvariants:
      return "invariants closer than a level step";
    case FinerFeature::Kind::FieldEnds:
      break;
  }
  return "field ending between two levels";
}

struct RefinedResults {
  // False when refinement is off or has not run for the current results.
  bool Ran = false;
  std::vector<Invariant> Invariants;
  std::vector<Transition> Transitions;
  std::vector<CriticalPoint> CriticalPoints;
  std::vector<CongruentPoint> CongruentPoints;
  // In level order, each level's tie lines in ascending X.
  std::vector<BoundaryEnd> Boundaries;
  std::vector<FinerFeature> BelowResolution;
  std::vector<CloserLook> CloserLooks;

  void Clear() { *this = RefinedResults(); }
};

}  // namespace calc
