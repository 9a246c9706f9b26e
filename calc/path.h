#pragma once
// One alloy along a path: the equilibrium at a fixed composition from one temperature (or
// pressure) to another, or at a fixed level from one composition to another. At every point:
// the stable phases with their compositions and amounts (lever rule on the hull), the chemical
// potentials, G, H = G - T dG/dT and the heat capacity; between the points, every phase
// boundary the path crosses, at its exact place.

#include <string>
#include <vector>

#include "calc/equilibrium.h"
#include "calc/phase_sheet.h"
#include "calc/problem.h"

namespace calc {

enum class PathAxis {
  Y,  // along the level (temperature or pressure) at a fixed composition
  X,  // along the composition at a fixed level
};

struct PathRequest {
  PathAxis Along = PathAxis::Y;
  // What the level is: a temperature in K (then Z is the pressure in bar) or a pressure in bar
  // (then Z is the temperature in K).
  YParameter Yparameter = YParameter::Temperature;
  double Z = 1;
  double X = 0.5;  // along Y: the composition (mole fraction of B)
  double Y = 0;    // along X: the level
  // The path's ends in its own variable (the level, or X), From first, and how many points
  // evenly between them, both ends included.
  double From = 0, To = 0;
  int Points = 201;
  // The phases the activities are referred to, by name ("LIQUID", a compound's key); empty:
  // the stable phase of the pure component at each point.
  std::string ReferenceA, ReferenceB;
};

// What makes a path unfit to run, in words for the user ("the path needs at least 2 points");
// empty when nothing does. Names of reference phases are checked against the sheet in
// StepPath.
std::string CheckPathRequest(const PathRequest& request);

struct PathPoint {
  double At = 0;  // the path's variable here
  double T = 0, p = 0, X = 0;
  std::vector<EquilibriumPhase> Phases;  // the stable phases in ascending X
  double MuA = 0, MuB = 0;               // J/mol; -infinity for an absent component
  double G = 0, H = 0, Cp = 0;           // J/mol, J/(mol K); NaN where not defined
  double ActivityA = 0, ActivityB = 0;   // referred to PathResult::Reference*
  // No stable assemblage was found that every phase lies above (the hull's answer is given).
  bool Approximate = false;
};

// A phase boundary crossed: where the phases stable before (towards From) give way to others.
// Before and After are the two equilibria at that very place.
struct PathCrossing {
  double At = 0;
  PathPoint Before, After;
  bool Approximate = false;
};

struct PathResult {
  std::vector<PathPoint> Points;        // From to To
  std::vector<PathCrossing> Crossings;  // in path order
  // The gas constant of the activities: that of the sheet's entropy of mixing.
  double GasConstant = kGasConstant;
  // Not empty when the path ended early: an evaluator error or no phase with an energy. The
  // points before it are kept.
  std::string Error;
};

// The path on a compiled sheet. Reference phases that the sheet does not have at that end
// give an Error before any point is computed.
PathResult StepPath(PhaseSheet& sheet, const PathRequest& request);

// Per phase along a path: its amount (0 where absent) and composition (NaN where absent). A
// phase present twice at one point (both sides of a miscibility gap) has its second part as
// "NAME#2". Names in the order they first appear.
struct PhaseTrack {
  std::string Name;
  bool PointPhase = false;
  std::vector<double> Amount, X;
};
std::vector<PhaseTrack> TrackPhases(const std::vector<const PathPoint*>& points);
std::vector<PhaseTrack> TrackPhases(const std::vector<PathPoint>& points);

// The points and both sides of every crossing, in path order: what a plot draws, so each
// boundary is a corner at its exact place and an invariant a vertical step.
std::vector<const PathPoint*> PointsWithCrossings(const PathResult& path);

}  // namespace calc
