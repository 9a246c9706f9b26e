#pragma once
// The ionic two-sublattice liquid (Hillert, Jansson, Sundman and Agren, 1985) in a binary
// system: cations C_i of charge v_i on the first sublattice, one anion U of charge -v_U and
// vacancies on the second. The numbers of sites follow the fractions so that the liquid stays
// neutral,
//
//   P = v_U y_U + Q y_Va,   Q = sum_i v_i y_i,
//
// and per formula unit (C_i)_P (U, Va)_Q
//
//   G = sum_i y_i y_U G(i:U) + Q y_Va sum_i y_i G(i:Va)
//     + R T (P sum_i y_i ln y_i + Q (y_U ln y_U + y_Va ln y_Va)) + excess,
//
// where an excess term is its parameter times the fractions it names, times (y_a - y_b)^v for
// an interaction of order v between a and b as written; the terms over vacancies alone carry Q
// as the end members do, and an interaction of two cations over vacancies y_Va Q besides:
// y_i1 y_i2 y_Va^2 Q L. The atoms per formula unit are P m + Q y_U n_U (m the atoms per
// cation, n_U per anion), those of the anion's component Q y_U n_U.
//
// At given X the anion fraction follows from the cation fractions in closed form: with
// x the anion component's fraction, W = sum_i y_i (v_i n_U (1 - x) - x v_U n_i) and
// m = sum_i y_i n_i,
//
//   y_U = x m Q / (x m Q + W),
//
// which lies below 1 where W > 0 (a half-space of the cation fractions). The phase's minimum
// at X is therefore one over the cation fractions alone, found by Newton's method on their
// simplex with exact derivatives.
//
// Handled: cations of one component, one anion of the other and VA on the second sublattice;
// other forms (neutral species, two anions, no vacancies) are refused with the reason.

#include <cstdint>
#include <vector>

#include "calc/sublattice.h"

namespace calc {

class IonicLiquid {
 public:
  // Reads the owner's two sublattices and its parameters (kept by pointer: the owner must not
  // change them afterwards) and checks them; throws std::runtime_error with the reason for a
  // form that is not handled. `stats` counts the work (may be null).
  void Prepare(SublatticeModel& owner, SublatticeModel::Stats* stats);

  void SetLevel(double T, double p);

  // The composition range.
  double XMin() const { return x_min_; }
  double XMax() const { return x_max_; }
  // How many cation fractions vary at given X (at least 1: X itself varies with the anion's).
  size_t FreeCount() const { return cations_.size(); }

  // The lowest Gm at composition x (J per mole of atoms), NaN outside the range. `slot` is a
  // grid column during a sweep (its constitution is kept for the next level), -1 outside one.
  // The constitution found goes to `constitution` (flattened as the owner's sublattices are).
  double Minimum(double x, int slot, std::vector<double>& constitution);

  // Gm and X at a given constitution (cation fractions, then the second sublattice's in the
  // order declared); no derivatives are given (`gradient` and `hessian` are emptied).
  double EnergyAt(const std::vector<double>& y, std::vector<double>* gradient = nullptr,
                  std::vector<double>* hessian = nullptr) const;
  double CompositionAt(const std::vector<double>& y) const;

  void ResetStarts();
  void ReserveSlots(size_t n) { slots_.resize(n); }

  // Most cations handled.
  static constexpr int kMaxCations = 6;

 private:
  struct Cation {
    double charge = 0, atoms = 1;
  };
  // A term: the level's value of a parameter times the named fractions, times a difference
  // to a power, times Q (and y_Va) for the terms over vacancies alone.
  struct Term {
    int value = 0;
    int cat[2] = {-1, -1};  // cation indices named (-1: none)
    int an[2] = {-1, -1};   // second sublattice: 0 the anion, 1 vacancies (-1: none)
    int diff_side = -1;     // 0: (y_cat0 - y_cat1)^order, 1: (y_an0 - y_an1)^order
    int order = 0;
    bool times_q = false, times_va = false;
  };
  struct Kept {
    double x = 0;
    std::vector<double> y;  // cation fractions; empty: none kept
    bool face = false;      // on the face of no vacancies
    int64_t searched = -1;  // the level of the last search beyond the kept start
  };

  template <class S>
  S Energy(const S* y, const S& t, S* atoms, const double* mixing = nullptr) const;
  // Gm at cation fractions y for the anion's component fraction xa (the anion fraction from
  // the closed form); +inf where y gives none below 1. `mixing`: sum y ln y when known.
  double EnergyOfCations(const double* y, double xa, const double* mixing = nullptr,
                         bool face = false) const;
  // Newton's method from y (in place); returns Gm at the minimum found or +inf. A sweep's
  // ends a little earlier. With `face`, on the face of no vacancies (y(U) = 1, W = 0);
  // without, it stops where the vacancies' fraction comes below what W resolves, and says so
  // in *at_face.
  double Newton(double xa, std::vector<double>& y, bool sweep, bool face, bool* at_face);
  // y moved onto the face W = 0 (empty where the face holds none of its cations).
  std::vector<double> OntoFace(std::vector<double> y, double xa) const;
  // W's coefficient of a cation.
  double Margin(const Cation& c, double xa) const;
  std::vector<double> Flattened(const std::vector<double>& y, double xa, bool face) const;
  double AnionFraction(const double* y, double xa) const;

  std::vector<Cation> cations_;
  double anion_charge_ = 0, anion_atoms_ = 1;
  bool anion_is_b_ = true;  // the anion is of component B (X counts the anion's atoms)
  int anion_pos_ = 0, va_pos_ = 1;
  std::vector<Term> terms_;
  std::vector<SublatticeModel::Parameter*> sources_;
  std::vector<double> values_;
  double RT_ = 0, T_ = 0, p_ = 0;
  bool has_level_ = false;
  int64_t level_ = 0;
  double x_min_ = 0, x_max_ = 1, xa_max_ = 1;
  int top_cation_ = 0;                      // the cation alone at the top of the range
  std::vector<std::vector<double>> cloud_;  // start points over the cation simplex
  std::vector<double> cloud_mixing_;        // their sums y ln y
  std::vector<Kept> slots_;
  Kept last_;
  SublatticeModel::Stats* stats_ = nullptr;
};

}  // namespace calc
