#pragma once
// A phase on sublattices (the compound energy formalism) in a binary system A-B: each
// sublattice s has a number of sites a_s and holds some of A, B and vacancies (Va); the
// constitution is the set of site fractions y[s][i], each sublattice's summing to 1. Per mole
// of formula units
//
//   G(y) = sum over parameters P(T, p) * product of the site fractions it names
//          (times (y_i - y_j)^v for an interaction of order v)
//        + R T sum_s a_s sum_i y ln y  +  the magnetic contribution,
//
// and per mole of atoms Gm = G / N with N = sum_s a_s (1 - y[s][Va]); the phase's composition is
// X = sum_s a_s y[s][B] / N. At given X and level the phase takes the constitution of lowest Gm:
// its internal variables are minimised away. An order-disorder phase adds its disordered part
// at the mole fractions of the merged sublattices and takes off its own ordered part there:
//
//   G = G_dis(x(y)) + G_ord(y) - G_ord(y with the merged sublattices at x(y)).
//
// Parameters are given per mole of formula units, as assessed databases give them; R is the
// gas constant of those databases, 8.31451 J/(mol K).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "numeric/parser.h"

namespace calc {

inline constexpr double kDatabaseGasConstant = 8.31451;

// A constituent of a sublattice, by the atoms of A and of B one of it brings: A (1, 0), B (0, 1),
// a vacancy (0, 0), a molecule such as CU2 (2, 0); and its charge, for the ions of an ionic
// liquid (CU+2: A 1, charge 2).
struct Constituent {
  double A = 0, B = 0;
  double Charge = 0;
  bool operator==(const Constituent&) const = default;
};

// Which minima of a phase with an ordered and a disordered form are wanted.
enum class OrderVariant : uint8_t {
  Any,         // the lowest constitution, ordered or not
  Disordered,  // the merged sublattices kept equal
  Ordered,     // the lowest ordered constitution; none where it falls back to disorder
};

class IonicLiquid;

// Appends the limits c of every HEAV(T-c) in a formula (spaces and case as written): where
// the importer joins a database function's temperature ranges, and the energy may jump.
void TemperatureLimitsIn(const std::string& text, std::vector<double>& out);
// Whether one of the limits (sorted) lies between the temperatures t0 and t1, either included.
bool LimitBetween(const std::vector<double>& limits, double t0, double t1);

class SublatticeModel {
 public:
  struct Sublattice {
    double Sites = 1;
    std::vector<Constituent> Constituents;  // each at most once, in the order written
  };
  enum class Kind : uint8_t { G, TC, BMAGN };
  struct Parameter {
    Kind kind = Kind::G;
    // Per sublattice the constituents the parameter names; empty for "*" (whatever it holds).
    std::vector<std::vector<Constituent>> On;
    int Order = 0;
    std::unique_ptr<numeric::TParser> Value;  // an expression of T and p
    double* T = nullptr;
    double* p = nullptr;
  };

  std::string Name;
  std::vector<Sublattice> Sublattices;
  // Appends the temperature limits where its parameters' ranges meet (see TemperatureLimitsIn),
  // its disordered part's included.
  void TemperatureLimits(std::vector<double>& out) const;
  std::vector<Parameter> Parameters;
  // The lattice's anti-ferromagnetic factor (-1 for bcc, -3 for fcc and hcp) and structure
  // factor p; 0 and 0 when the phase has no magnetic contribution.
  double AfmFactor = 0, StructureFactor = 0;
  // An ordered phase's disordered part (its own model, not offered on its own), and the name
  // its disordered form goes by ("" when it is not an ordered phase).
  std::shared_ptr<SublatticeModel> DisorderedPart;
  std::string DisorderedName;
  // Set (before Prepare) for an ionic two-sublattice liquid: the model of calc/ionic_liquid.h
  // then does the work of the methods below, from the same sublattices and parameters.
  std::shared_ptr<IonicLiquid> Ionic;

  // Checks the declaration and builds the evaluation tables; throws std::runtime_error with a
  // reason for an unusable one (no sublattice, a parameter naming a constituent the sublattice
  // does not hold, ...). Call once after filling the members above.
  void Prepare();

  // Evaluates the parameters at T and p (skipped when they are those of the last call).
  // Evaluator errors propagate.
  void SetLevel(double T, double p);

  // True when the constitution is fixed (one constituent on every sublattice): a compound.
  bool Fixed() const { return free_count_ == 0; }
  // The composition range the phase can take.
  double XMin() const { return x_min_; }
  double XMax() const { return x_max_; }
  // Whether the phase has an ordered form (merged sublattices).
  bool HasOrder() const { return merged_ > 1; }

  // The lowest Gm at composition x for the variant at the level of the last SetLevel, or NaN
  // when the phase cannot take x (or, for Ordered, has no ordered minimum there). `slot` names a
  // place for the constitution found (a grid column), so that the next level starts from it;
  // -1 keeps none and starts from the nearest one kept.
  double Minimum(double x, OrderVariant variant, int slot = -1);
  // Gm's lowest value at 0 < x < 1 (as Minimum gives it, outside a sweep) with its first and
  // second derivatives in x along the minimum: from the Lagrange multiplier of the composition
  // and the constitution's sensitivity to x, one minimisation where differences of the energy
  // take several. False (and the derivatives unset) where the phase cannot take x, its
  // composition is fixed there, or the minimum is not a strict one.
  bool MinimumDerivatives(double x, OrderVariant variant, double& g, double& g1, double& g2);
  // Gm of the fixed constitution of a compound (Fixed()).
  double CompoundEnergy();
  // For a phase with an ordered form: at composition x and the level of the last SetLevel,
  // the lowest curvature of Gm at the disordered minimum over every change of the site
  // fractions that keeps the sublattice sums and x (orderings included). Negative where the
  // disordered form is unstable to a continuous ordering: the sign changes on a second-order
  // transition. NaN where there is no disordered minimum.
  double OrderingCurvature(double x);
  // How many permutations of the ordered form's sublattices leave Gm unchanged at the level of
  // the last SetLevel (the images of a minimum under them are minima of the same energy, which
  // a sweep's search does not go down to again).
  size_t Symmetries();
  double CompoundX() const { return x_min_; }

  // The constitution of the last Minimum (site fractions per sublattice, flattened in the
  // order of Sublattices and their Constituents) and whether it was ordered.
  const std::vector<double>& LastConstitution() const { return last_y_; }
  bool LastOrdered() const { return last_ordered_; }

  // Gm and X at a given constitution (flattened as above), for checks; with its gradient and
  // Hessian (row major) in the site fractions when asked. The fractions of a sublattice of one
  // constituent are always 1: their derivatives are not formed.
  double EnergyAt(const std::vector<double>& y, std::vector<double>* gradient = nullptr,
                  std::vector<double>* hessian = nullptr);
  double CompositionAt(const std::vector<double>& y) const;

  // Forgets the constitutions kept between levels (a new run).
  void ResetStarts();
  // How many slots to keep.
  void ReserveSlots(size_t n);

  // Counters of the work done, for benchmarks.
  struct Stats {
    int64_t minimisations = 0, newton_runs = 0, iterations = 0, evaluations = 0;
  };
  const Stats& stats() const { return stats_; }

 private:
  struct Impl;
  friend struct Impl;
  std::shared_ptr<Impl> impl_;
  size_t free_count_ = 0;
  double x_min_ = 0, x_max_ = 1;
  int merged_ = 0;
  std::vector<double> last_y_;
  bool last_ordered_ = false;
  Stats stats_;
};

}  // namespace calc
