#include "calc/sublattice.h"

#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <stdexcept>
#include <tuple>

#include "calc/ionic_liquid.h"
#include "calc/magnetic.h"
#include "numeric/lattice.h"

namespace calc {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The most variables (site fractions) and linear constraints a phase may have: five
// sublattices of A, B and Va, and every sum, the composition and the equalities of a
// disordered form.
constexpr int kMaxVars = 16;
constexpr int kMaxRows = 24;

// A free site fraction never goes below this: the ideal mixing term keeps the minimum inside
// (its slope R T ln y runs to minus infinity), so only fractions whose minimum lies lower
// still (a vacancy fraction of 1e-30 under a large penalty) stop here, where what they add to
// Gm (about R T y ln y, 3e-10 J/mol) is below what the answers resolve.
constexpr double kYMin = 1e-15;
// A constitution counts as ordered when a merged sublattice differs from the first one by more
// than this in some site fraction. Solved to the end, the minimiser leaves the fractions about
// 1e-8 from the minimum (the predicted decrease 1e-12 J/mol over curvatures of 1e4 J/mol), so
// anything above it is real order; near a second-order transition (order growing as the square
// root of the distance) it puts the boundary within 1e-10 of a kelvin of the true one.
constexpr double kOrderTolerance = 1e-6;
// Below this order a sweep's early end of the iteration is not taken (see Newton).
constexpr double kRoughOrder = 1e-3;
// The Newton iteration stops when the decrease it predicts for the next step is below this
// (J/mol): the energy is then exact to about as much, far below the 1e-9 J/mol that the
// finite differences of the refinement need.
constexpr double kPredictedDecrease = 1e-12;
// During a sweep the grid needs less: a step whose predicted decrease is below this ends the
// iteration at once (Newton's convergence being quadratic, the next step would change Gm by
// some 1e-3 of its square: about 1e-9 J/mol), so that a start kept from the previous level
// costs one Hessian.
constexpr double kSweepPredictedDecrease = 1e-3;
// During a sweep a step predicted to lower Gm by less than this is taken without evaluating
// where it lands: the quadratic model is then off by its cubic term, about the predicted
// decrease times the step over the smallest fraction it moves, below 1e-10 J/mol. (At 1e-6 J/mol
// the Al-Ni sample's grid changed in four boundary cells of B2 with vacancies.) A start
// predicted from the column's last two levels usually lands here, so that it costs one
// evaluation.
constexpr double kSweepModelDecrease = 1e-8;
constexpr int kMaxIterations = 60;
// A reduced Hessian whose Cholesky pivots all exceed this part of the largest one is solved by
// them; others (curvatures near zero or negative, at saddles and flat directions) by their
// eigenvalues.
constexpr double kWellConditioned = 1e-8;
// Samples of the constitution space made once a level to seed the minimisations: each
// sublattice's simplex on a lattice of step 1/r, r chosen so the product stays near this.
constexpr size_t kCloudBudget = 400;
// During a sweep, how often (in levels) a grid column looks for minima beyond the one it keeps.
constexpr int64_t kSearchEvery = 8;
// Outside a sweep, how far (relative) the temperature or pressure may lie from the cloud's
// before the cloud is built again for a start (see Minimum).
constexpr double kCloudReach = 0.005;
// A phase whose every sublattice of atoms also holds vacancies (BCC_A2 as (Al,Ni,Va)1(Va)3)
// has, in the formalism, an energy per atom that falls without bound as it empties: R T ln y
// of the last atoms, a "phase" of vacancies. Its physical minimum is the one with its sites
// mostly filled; constitutions with fewer than this fraction of the most atoms per formula
// unit are left out, and a minimum that runs against that floor counts as none.
constexpr double kMinAtoms = 0.5;
// Outside a sweep, a start is extrapolated from the last two minima when both lie within this
// of the composition asked for (the stencils of the finite differences span up to 0.02).
constexpr double kPredictReach = 0.02;
// Below this a fraction is extrapolated in its logarithm.
constexpr double kSmallFraction = 0.01;
// Starts closer than this (in every site fraction) to a minimum already found lead to it again.
constexpr double kSameBasin = 0.02;
// A fraction within this factor of kYMin is one the minimisation holds at the floor.
constexpr double kHeldFloor = 2;

inline size_t U(int i) {
  return static_cast<size_t>(i);
}

using Vec = Eigen::Matrix<double, Eigen::Dynamic, 1, 0, kMaxVars, 1>;
using Mat = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, kMaxVars, kMaxVars>;
using RowsMat = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, kMaxVars, kMaxRows>;

// A basis Z of the null space of the equalities over the free fractions, for composition x,
// `rows` equalities and the fractions `held` (a bit each: pinned or at their floor).
struct Basis {
  double x = std::numeric_limits<double>::quiet_NaN();
  uint32_t held = 0;
  int rows = -1;
  Mat Z;
};

// A linear form c0 + sum c[k] y[idx[k]] raised to a power.
struct Factor {
  double c0 = 0;
  std::vector<std::pair<int, double>> c;
  int power = 1;
};

// value index (into the level's parameter values) * scale * product of the factors.
struct Term {
  int value = 0;
  double scale = 1;
  std::vector<Factor> factors;
};

// Sums of terms over the site fractions, laid out flat for the
// evaluation: the terms' factors and the factors' coefficients in contiguous arrays.
// The quantities a phase's terms sum to: G, and the magnetic TC and beta.
constexpr int kChannels = 3;
constexpr int kChannelG = 0, kChannelTC = 1, kChannelBeta = 2;

struct Poly {
  struct FlatFactor {
    double c0 = 0;
    int power = 1;
    int begin = 0, end = 0;  // its coefficients in idx / coef
  };
  struct FlatTerm {
    int begin = 0, end = 0;  // its factors
    bool linear = true;      // every factor of power 1
  };
  std::vector<FlatTerm> terms;
  std::vector<FlatFactor> factors;
  std::vector<int> idx;
  std::vector<double> coef;
  // One poly holds G, TC and beta at once (kChannels coefficients a term): the parameters of
  // the three often name one product, whose value and derivatives are then formed once.
  // Per term the parameters whose sum makes each coefficient: (channel, value index, scale).
  // Parameters of one product (the permutations of an ordered phase's end members seen at the
  // disordered state, for one) share a term.
  struct Source {
    int channel, value;
    double scale;
  };
  std::vector<std::vector<Source>> sources;
  // The terms' coefficients at the level (Level), kChannels a term.
  std::vector<double> level_coef;
  // Whether any term has a parameter of the channel.
  bool has[kChannels] = {false, false, false};
  bool empty() const { return terms.empty(); }

  // `one` marks the variables that are always 1 (a sublattice of one constituent): a factor
  // that is just such a variable is left out of the product.
  void Add(const Term& t, int channel, const std::vector<char>& one) {
    // A factor that is zero everywhere (a constituent the other form's sublattice lacks) makes
    // the whole term zero.
    for (const Factor& f : t.factors)
      if (f.c.empty() && f.c0 == 0) return;
    has[channel] = true;
    // The factors in one order, each with its coefficients sorted, so that equal products
    // compare equal.
    std::vector<Factor> kept;
    for (const Factor& f : t.factors) {
      if (f.c0 == 0 && f.power == 1 && f.c.size() == 1 && f.c[0].second == 1 &&
          one[U(f.c[0].first)])
        continue;
      Factor g = f;
      std::sort(g.c.begin(), g.c.end());
      kept.push_back(std::move(g));
    }
    auto key = [](const Factor& f) { return std::make_tuple(f.power, f.c0, f.c); };
    std::sort(kept.begin(), kept.end(),
              [&](const Factor& x, const Factor& y) { return key(x) < key(y); });
    for (size_t k = 0; k < terms.size(); ++k) {
      const FlatTerm& o = terms[k];
      if (o.end - o.begin != static_cast<int>(kept.size())) continue;
      bool same = true;
      for (size_t j = 0; j < kept.size() && same; ++j) {
        const FlatFactor& ff = factors[U(o.begin + static_cast<int>(j))];
        const Factor& f = kept[j];
        same = ff.c0 == f.c0 && ff.power == f.power &&
               ff.end - ff.begin == static_cast<int>(f.c.size());
        for (size_t q = 0; q < f.c.size() && same; ++q)
          same = idx[U(ff.begin + static_cast<int>(q))] == f.c[q].first &&
                 coef[U(ff.begin + static_cast<int>(q))] == f.c[q].second;
      }
      if (same) {
        sources[k].push_back({channel, t.value, t.scale});
        return;
      }
    }
    FlatTerm ft;
    ft.begin = static_cast<int>(factors.size());
    for (const Factor& f : kept) {
      FlatFactor ff;
      ff.c0 = f.c0;
      ff.power = f.power;
      ff.begin = static_cast<int>(idx.size());
      for (const auto& [i, c] : f.c) {
        idx.push_back(i);
        coef.push_back(c);
      }
      ff.end = static_cast<int>(idx.size());
      if (f.power != 1) ft.linear = false;
      factors.push_back(ff);
    }
    ft.end = static_cast<int>(factors.size());
    terms.push_back(ft);
    sources.push_back({{channel, t.value, t.scale}});
    level_coef.resize(level_coef.size() + kChannels, 0.0);
  }

  // The terms' coefficients from the parameters' values at a level.
  void Level(const std::vector<double>& values) {
    std::fill(level_coef.begin(), level_coef.end(), 0.0);
    for (size_t k = 0; k < terms.size(); ++k)
      for (const Source& src : sources[k])
        level_coef[k * kChannels + U(src.channel)] += src.scale * values[U(src.value)];
  }
};

// A linear map from the ordered phase's site fractions to another list of site fractions (the
// merged ones, or the disordered part's): row k is the linear form of target fraction k.
using LinearMap = std::vector<Factor>;

}  // namespace

struct SublatticeModel::Impl {
  int n = 0;                 // variables
  std::vector<int> var_sub;  // sublattice of each variable
  std::vector<Constituent> var_con;
  std::vector<std::vector<int>> sub_vars;
  std::vector<double> sites;   // a_s per sublattice
  std::vector<double> n_coef;  // N = sum n_coef[v] y[v]
  std::vector<double> b_coef;  // nB = sum b_coef[v] y[v]
  std::vector<char> fixed;     // a sublattice of one constituent: y = 1 always
  // G, TC and beta: the terms over the site fractions, and those over the mean fractions z
  // (an order-disorder phase's disordered part and its ordered part at the disordered state).
  Poly own, mean;
  // z = the merged sublattices' fractions at their mean (one per constituent of the first),
  // then the other sublattices' own: variable v adds z_weight[v] y[v] to z[z_of[v]].
  int nz = 0;
  std::vector<int> z_of;
  std::vector<double> z_weight;
  bool magnetic = false;
  double afm = 0, p_struct = 0;
  std::vector<double> values;  // the parameters' values at the level
  std::vector<Parameter*> value_sources;
  double T = kNaN, P = kNaN;
  // Counts the levels (changes of T or p) since the model was prepared.
  int64_t level = 0;
  double RT = 0;
  // The least atoms per formula unit a constitution may have (kMinAtoms of the most).
  double min_atoms = 0;
  int merged = 0;  // the leading sublattices that merge in the disordered form
  bool has_level = false;

  // Slots of constitutions kept between levels, per variant.
  struct Kept {
    double x = kNaN;
    std::vector<double> y;  // empty: no minimum of the variant was found there
    int64_t level = -1;     // the level it was found at
    int64_t searched = -1;  // the level of the last search beyond the kept start
    // The last null-space basis used at this column; made at its first use, since a basis is
    // large (a matrix of the largest size) and most columns of most variants never hold one.
    std::unique_ptr<calc::Basis> basis;
    double t = kNaN, p = kNaN;  // the level's temperature and pressure
    // The minimum of the level before, when there was one (for a start predicted from both).
    std::vector<double> y_before;
    int64_t level_before = -1;
    double t_before = kNaN, p_before = kNaN;
    calc::Basis* HeldBasis() {
      if (!basis) basis = std::make_unique<calc::Basis>();
      return basis.get();
    }
  };
  std::vector<Kept> slots[3];
  Kept last[3];
  // The minimum before the last one, per variant (for a start predicted from the two).
  Kept before_last[3];

  // The level's samples of the constitution space, per variant, sorted by X.
  struct Sample {
    double x, f;
    std::vector<double> y;
  };
  std::vector<Sample> cloud[3];
  // Where a sweep's search last went down from a sample, per variant (see Minimum).
  struct SearchMemo {
    const Sample* sample = nullptr;
    int64_t level = -1;
    double x = 0;
    std::vector<double> y;  // the minimum it ended at (empty: none)
  };
  SearchMemo search_memo[3];
  // The lattice step of each variant's samples.
  double cloud_step[3] = {1, 1, 1};
  // The level each variant's samples were last evaluated at (-1: never). They only pick
  // starting points, so energies a few levels old serve as well.
  int64_t cloud_level[3] = {-1, -1, -1};
  double cloud_t[3] = {0, 0, 0}, cloud_p[3] = {0, 0, 0};  // the T and p it was built at
  // The level where a call outside a sweep last tried the cloud's start (see Minimum).
  int64_t cloud_tried[3] = {-1, -1, -1};

  // Scratch of the evaluation.
  std::vector<double> grad, hess, tgrad, thess, bgrad, bhess;
  Stats* stats = nullptr;

  // --- evaluation -------------------------------------------------------------------------

  // Adds poly(y) to value[c] for the first `nc` channels c, and its gradient and Hessian
  // (nv x nv, row major; only the upper triangle, i <= j, is written: Symmetrise fills the
  // rest) to gr[c] and he[c] when gr (and he) are given.
  void AddPoly(const Poly& poly, const double* y, int nv, int nc, double* value, double* const* gr,
               double* const* he) const {
    // The channel count as a constant: the loops over the channels in the innermost loops
    // below unroll (one channel for most phases, three for the magnetic ones).
    if (nc == 1) {
      AddPolyOf<1>(poly, y, nv, value, gr, he);
    } else {
      AddPolyOf<kChannels>(poly, y, nv, value, gr, he);
    }
  }
  template <int nc>
  void AddPolyOf(const Poly& poly, const double* y, int nv, double* value, double* const* gr,
                 double* const* he) const {
    double pw[8], d1[8], d2[8], before[9], after[9];
    const int* idx = poly.idx.data();
    const double* cf = poly.coef.data();
    for (size_t ti = 0; ti < poly.terms.size(); ++ti) {
      const Poly::FlatTerm& t = poly.terms[ti];
      const double* cc = poly.level_coef.data() + ti * kChannels;
      bool any = false;
      for (int c = 0; c < nc; ++c) any = any || cc[c] != 0;
      if (!any) continue;
      const Poly::FlatFactor* fs = poly.factors.data() + t.begin;
      const size_t m = static_cast<size_t>(t.end - t.begin);
      for (size_t k = 0; k < m; ++k) {
        const Poly::FlatFactor& f = fs[k];
        double v = f.c0;
        for (int q = f.begin; q < f.end; ++q) v += cf[q] * y[idx[q]];
        const int e = f.power;
        if (e == 1) {
          pw[k] = v;
          d1[k] = 1;
          d2[k] = 0;
        } else {
          double a = 1;  // v^(e-2)
          for (int i = 2; i < e; ++i) a *= v;
          pw[k] = a * v * v;
          d1[k] = e * a * v;
          d2[k] = e * (e - 1) * a;
        }
      }
      // Products of the factors before k and after k: every "all but k" product without a
      // division by a factor that may be zero.
      before[0] = 1;
      for (size_t k = 0; k < m; ++k) before[k + 1] = before[k] * pw[k];
      after[m] = 1;
      for (size_t k = m; k-- > 0;) after[k] = after[k + 1] * pw[k];
      for (int c = 0; c < nc; ++c) value[c] += cc[c] * before[m];
      if (gr == nullptr) continue;
      // The derivatives of the bare product, added to each channel times its coefficient.
      // Most terms of a magnetic phase are of G alone.
      bool only_g = true;
      for (int c = 1; c < nc; ++c) only_g = only_g && cc[c] == 0;
      auto add = [&](double* const* to, size_t at, double d) {
        if (only_g) {
          to[0][at] += cc[0] * d;  // not zero: the term was skipped otherwise
        } else {
          for (int c = 0; c < nc; ++c)
            if (cc[c] != 0) to[c][at] += cc[c] * d;
        }
      };
      for (size_t k = 0; k < m; ++k) {
        const double others = before[k] * after[k + 1];
        const Poly::FlatFactor& fk = fs[k];
        const double gk = others * d1[k];
        for (int q = fk.begin; q < fk.end; ++q) add(gr, U(idx[q]), gk * cf[q]);
        if (he == nullptr) continue;
        if (!t.linear && d2[k] != 0) {
          const double hk = others * d2[k];
          for (int qi = fk.begin; qi < fk.end; ++qi)
            for (int qj = fk.begin; qj < fk.end; ++qj) {
              const int i = idx[qi], j = idx[qj];
              if (i <= j) add(he, U(i * nv + j), hk * cf[qi] * cf[qj]);
            }
        }
        // The pairs k < l: the product of the factors between them times those outside.
        double between = 1;
        for (size_t l = k + 1; l < m; ++l) {
          const double both = before[k] * between * after[l + 1] * d1[k] * d1[l];
          between *= pw[l];
          if (both == 0) continue;
          const Poly::FlatFactor& fl = fs[l];
          if (fk.end - fk.begin == 1 && fl.end - fl.begin == 1) {
            const int i = idx[fk.begin], j = idx[fl.begin];
            const double v = both * cf[fk.begin] * cf[fl.begin];
            add(he, U(std::min(i, j) * nv + std::max(i, j)), i == j ? 2 * v : v);
            continue;
          }
          for (int qi = fk.begin; qi < fk.end; ++qi)
            for (int qj = fl.begin; qj < fl.end; ++qj) {
              const int i = idx[qi], j = idx[qj];
              const double v = both * cf[qi] * cf[qj];
              add(he, U(std::min(i, j) * nv + std::max(i, j)), i == j ? 2 * v : v);
            }
        }
      }
    }
  }

  // Adds poly(z(y)) for a poly written over the mean fractions z (the merged sublattices at
  // their mean by sites, the others as they are), with its gradient and upper Hessian in y.
  void AddMeanPoly(const Poly& poly, const double* y, int nc, double* value, double* const* gr,
                   double* const* he) const {
    double z[kMaxVars];
    std::fill(z, z + nz, 0.0);
    for (int v = 0; v < n; ++v) z[z_of[U(v)]] += z_weight[U(v)] * y[v];
    if (gr == nullptr) {
      AddPoly(poly, z, nz, nc, value, nullptr, nullptr);
      return;
    }
    double zg[kChannels][kMaxVars];
    double zh[kChannels][kMaxVars * kMaxVars];
    double* zgp[kChannels] = {zg[0], zg[1], zg[2]};
    double* zhp[kChannels] = {zh[0], zh[1], zh[2]};
    for (int c = 0; c < nc; ++c) {
      std::fill(zg[c], zg[c] + nz, 0.0);
      if (he != nullptr) std::fill(zh[c], zh[c] + nz * nz, 0.0);
    }
    AddPoly(poly, z, nz, nc, value, zgp, he != nullptr ? zhp : nullptr);
    for (int c = 0; c < nc; ++c) {
      for (int v = 0; v < n; ++v) gr[c][v] += z_weight[U(v)] * zg[c][z_of[U(v)]];
      if (he == nullptr) continue;
      for (int i = 0; i < n; ++i)
        for (int j = i; j < n; ++j) {
          const int a = z_of[U(i)], b = z_of[U(j)];
          const double h = a <= b ? zh[c][a * nz + b] : zh[c][b * nz + a];
          if (h != 0) he[c][i * n + j] += z_weight[U(i)] * z_weight[U(j)] * h;
        }
    }
  }

  // The lower triangle of a Hessian from its upper one.
  void Symmetrise(double* he) const {
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < i; ++j) he[i * n + j] = he[j * n + i];
  }

  // G per mole of formula units at y, with gradient and Hessian into grad / hess when derivs.
  double G(const double* y, bool derivs) {
    if (stats) ++stats->evaluations;
    // G, TC and beta (the last two only for a magnetic phase) in one pass over the terms.
    const int nc = magnetic ? kChannels : 1;
    double values_at[kChannels] = {0, 0, 0};
    double* gr[kChannels] = {nullptr, nullptr, nullptr};
    double* he[kChannels] = {nullptr, nullptr, nullptr};
    if (derivs) {
      grad.assign(static_cast<size_t>(n), 0);
      hess.assign(static_cast<size_t>(n * n), 0);
      gr[kChannelG] = grad.data();
      he[kChannelG] = hess.data();
      if (magnetic) {
        tgrad.assign(static_cast<size_t>(n), 0);
        thess.assign(static_cast<size_t>(n * n), 0);
        bgrad.assign(static_cast<size_t>(n), 0);
        bhess.assign(static_cast<size_t>(n * n), 0);
        gr[kChannelTC] = tgrad.data();
        he[kChannelTC] = thess.data();
        gr[kChannelBeta] = bgrad.data();
        he[kChannelBeta] = bhess.data();
      }
    }
    AddPoly(own, y, n, nc, values_at, derivs ? gr : nullptr, derivs ? he : nullptr);
    if (!mean.empty())
      AddMeanPoly(mean, y, nc, values_at, derivs ? gr : nullptr, derivs ? he : nullptr);
    double value = values_at[kChannelG];
    // Ideal mixing on every sublattice.
    for (int v = 0; v < n; ++v) {
      if (fixed[static_cast<size_t>(var_sub[static_cast<size_t>(v)])]) continue;
      const double yv = y[v];
      if (!(yv > 0)) continue;
      const double a = sites[static_cast<size_t>(var_sub[static_cast<size_t>(v)])] * RT;
      const double l = std::log(yv);
      value += a * yv * l;
      if (derivs) {
        grad[U(v)] += a * (l + 1);
        hess[U(v * n + v)] += a / yv;
      }
    }
    if (magnetic) value += Magnetic(values_at[kChannelTC], values_at[kChannelBeta], derivs);
    if (derivs) Symmetrise(hess.data());
    return value;
  }

  // The magnetic contribution from TC and beta at y, whose gradients and upper Hessians G has
  // left in tgrad, thess, bgrad and bhess; adds its own derivatives to grad and hess.
  double Magnetic(double tcv, double bv, bool derivs) {
    const double* tg = tgrad.data();
    const double* th = thess.data();
    const double* bg = bgrad.data();
    const double* bh = bhess.data();
    // Anti-ferromagnetic values are divided by the lattice's factor.
    const double ts = tcv < 0 ? 1 / afm : 1, bs = bv < 0 ? 1 / afm : 1;
    const MagneticEnergy e =
        MagneticContribution(kDatabaseGasConstant, T, tcv * ts, bv * bs, p_struct);
    if (derivs && e.g != 0) {
      const double dt = e.d_tc * ts, db = e.d_beta * bs;
      const double dtt = e.d_tc_tc * ts * ts, dtb = e.d_tc_beta * ts * bs,
                   dbb = e.d_beta_beta * bs * bs;
      for (int i = 0; i < n; ++i) {
        grad[U(i)] += dt * tg[i] + db * bg[i];
        // The upper triangle only: G makes the lower one from it.
        for (int j = i; j < n; ++j) {
          const size_t ij = static_cast<size_t>(i * n + j);
          const double ti = tg[i], tj = tg[j], bi = bg[i], bj = bg[j];
          hess[ij] +=
              dt * th[ij] + db * bh[ij] + dtt * ti * tj + dbb * bi * bj + dtb * (ti * bj + bi * tj);
        }
      }
    }
    return e.g;
  }

  double Atoms(const double* y) const {
    double s = 0;
    for (int v = 0; v < n; ++v) s += n_coef[static_cast<size_t>(v)] * y[v];
    return s;
  }
  double BAtoms(const double* y) const {
    double s = 0;
    for (int v = 0; v < n; ++v) s += b_coef[static_cast<size_t>(v)] * y[v];
    return s;
  }

  // Gm = G / N, with gradient and Hessian in fg / fh when derivs. +inf without atoms.
  double F(const double* y, bool derivs, Vec* fg = nullptr, Mat* fh = nullptr) {
    const double N = Atoms(y);
    if (!(N > 1e-12)) return kInf;
    const double Gv = G(y, derivs);
    const double f = Gv / N;
    if (derivs) {
      fg->resize(n);
      fh->resize(n, n);
      for (int i = 0; i < n; ++i)
        (*fg)(i) = (grad[static_cast<size_t>(i)] - f * n_coef[static_cast<size_t>(i)]) / N;
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
          (*fh)(i, j) =
              (hess[static_cast<size_t>(i * n + j)] - (*fg)(i)*n_coef[static_cast<size_t>(j)] -
               n_coef[static_cast<size_t>(i)] * (*fg)(j)) /
              N;
    }
    return f;
  }

  // --- constraints --------------------------------------------------------------------------

  // The linear equalities at composition x for a variant, as rows of coefficients (their right
  // sides, 1 for a sublattice sum and 0 otherwise, are not needed: every step keeps them).
  // Variables pinned to a value (fixed sublattices, B at x = 0, A at x = 1) are in `pinned`.
  struct Equalities {
    int m = 0;
    int composition = -1;  // the row of the composition (none at x = 0 or 1)
    double rows[kMaxRows][kMaxVars];
    char pinned[kMaxVars];
  };
  void Constraints(double x, OrderVariant variant, Equalities& eq) const {
    eq.m = 0;
    auto row = [&]() -> double* {
      double* r = eq.rows[eq.m++];
      std::fill(r, r + n, 0.0);
      return r;
    };
    for (int v = 0; v < n; ++v) {
      const size_t s = static_cast<size_t>(var_sub[static_cast<size_t>(v)]);
      const Constituent c = var_con[static_cast<size_t>(v)];
      eq.pinned[v] = fixed[s] || (x == 0 && c.B > 0) || (x == 1 && c.A > 0) ? 1 : 0;
    }
    for (size_t s = 0; s < sub_vars.size(); ++s) {
      if (fixed[s]) continue;
      double* r = row();
      for (int v : sub_vars[s]) r[v] = 1;
    }
    eq.composition = -1;
    if (x > 0 && x < 1) {
      eq.composition = eq.m;
      double* r = row();
      for (int v = 0; v < n; ++v)
        r[v] = b_coef[static_cast<size_t>(v)] - x * n_coef[static_cast<size_t>(v)];
    }
    if (variant == OrderVariant::Disordered) {
      for (int s = 1; s < merged; ++s) {
        const auto& vs = sub_vars[static_cast<size_t>(s)];
        const auto& v0 = sub_vars[0];
        for (size_t k = 0; k + 1 < vs.size(); ++k) {
          double* r = row();
          r[vs[k]] = 1;
          r[v0[k]] = -1;
        }
      }
    }
  }

  // The composition row's value h(y) = nB - x N.
  double H(const double* y, double x) const {
    double h = 0;
    for (int v = 0; v < n; ++v)
      h += (b_coef[static_cast<size_t>(v)] - x * n_coef[static_cast<size_t>(v)]) * y[v];
    return h;
  }

  // Moves y (sublattice sums right) onto composition x by mixing it with the vertex that
  // changes h the most the other way; pins B at x = 0 and A at x = 1, and lifts free zero
  // fractions to kYMin. False when the phase cannot take x.
  bool MakeFeasible(double x, std::vector<double>& y) const {
    for (int pass = 0; pass < 2; ++pass) {
      for (int v = 0; v < n; ++v) {
        const size_t s = static_cast<size_t>(var_sub[static_cast<size_t>(v)]);
        const Constituent c = var_con[static_cast<size_t>(v)];
        if (fixed[s]) {
          y[static_cast<size_t>(v)] = 1;
        } else if ((x == 0 && c.B > 0) || (x == 1 && c.A > 0)) {
          y[static_cast<size_t>(v)] = 0;
        }
      }
      // Sublattice sums back to 1 after the pins.
      for (size_t s = 0; s < sub_vars.size(); ++s) {
        if (fixed[s]) continue;
        double sum = 0;
        for (int v : sub_vars[s]) sum += y[static_cast<size_t>(v)];
        if (!(sum > 0)) {
          // Everything pinned away: the first constituent that may be held takes the sublattice.
          for (int v : sub_vars[s]) {
            const Constituent c = var_con[static_cast<size_t>(v)];
            if (!((x == 0 && c.B > 0) || (x == 1 && c.A > 0))) {
              y[static_cast<size_t>(v)] = 1;
              sum = 1;
              break;
            }
          }
          if (!(sum > 0)) return false;
        }
        for (int v : sub_vars[s]) y[static_cast<size_t>(v)] /= sum;
      }
      if (x > 0 && x < 1) {
        const double h = H(y.data(), x);
        if (h != 0) {
          // The vertex of lowest (h > 0) or highest h: per sublattice the constituent whose
          // coefficient is smallest or largest.
          std::vector<double> e(static_cast<size_t>(n), 0);
          for (size_t s = 0; s < sub_vars.size(); ++s) {
            int best = -1;
            double bc = 0;
            for (int v : sub_vars[s]) {
              const double c = b_coef[static_cast<size_t>(v)] - x * n_coef[static_cast<size_t>(v)];
              if (best < 0 || (h > 0 ? c < bc : c > bc)) {
                best = v;
                bc = c;
              }
            }
            e[static_cast<size_t>(best)] = 1;
          }
          const double he = H(e.data(), x);
          if (h > 0 ? !(he < 0) : !(he > 0)) return false;
          const double t = h / (h - he);
          for (int v = 0; v < n; ++v)
            y[static_cast<size_t>(v)] =
                (1 - t) * y[static_cast<size_t>(v)] + t * e[static_cast<size_t>(v)];
        }
      }
      if (pass == 1) break;
      // Lift the free zeros (the vertex brought them) and go round once more: the second
      // mixing moves by about kYMin and leaves them positive.
      bool lifted = false;
      for (int v = 0; v < n; ++v) {
        const size_t s = static_cast<size_t>(var_sub[static_cast<size_t>(v)]);
        const Constituent c = var_con[static_cast<size_t>(v)];
        if (fixed[s] || (x == 0 && c.B > 0) || (x == 1 && c.A > 0)) continue;
        if (y[static_cast<size_t>(v)] < kYMin) {
          y[static_cast<size_t>(v)] = 10 * kYMin;
          lifted = true;
        }
      }
      if (!lifted) break;
    }
    return true;
  }

  // Sets the merged sublattices to their mean (by sites): the disordered form of y, with the
  // same sums and composition.
  void Disorder(std::vector<double>& y) const {
    for (size_t k = 0; k < sub_vars[0].size(); ++k) {
      double s = 0, w = 0;
      for (int t = 0; t < merged; ++t) {
        s += sites[U(t)] * y[U(sub_vars[U(t)][k])];
        w += sites[U(t)];
      }
      for (int t = 0; t < merged; ++t) y[U(sub_vars[U(t)][k])] = s / w;
    }
  }

  // The largest difference of a site fraction between a merged sublattice and the first one.
  double Order(const std::vector<double>& y) const {
    double d = 0;
    for (int s = 1; s < merged; ++s) {
      const auto& vs = sub_vars[U(s)];
      const auto& v0 = sub_vars[0];
      for (size_t k = 0; k < vs.size(); ++k) d = std::max(d, std::abs(y[U(vs[k])] - y[U(v0[k])]));
    }
    return d;
  }
  bool Ordered(const std::vector<double>& y) const { return Order(y) > kOrderTolerance; }

  // --- Newton iteration in the null space of the equalities ---------------------------------

  // Minimises Gm from y (feasible) at composition x. Returns Gm (NaN when it fails).
  //
  // Newton's method in the null space of the equalities (sublattice sums, the composition,
  // and for the disordered form the equal merged sublattices): the reduced Hessian is
  // diagonalised, negative or tiny curvatures are replaced by their size, so every step goes
  // down; at a saddle (a disordered state unstable to ordering) the step follows the most
  // negative curvature. A step never takes a fraction below a tenth of its value; a fraction
  // that would fall below kYMin is held there (an active bound) until its reduced slope says
  // that raising it lowers Gm.
  double Newton(double x, OrderVariant variant, std::vector<double>& y, bool sweep,
                Basis* kept_basis = nullptr) {
    if (stats) ++stats->newton_runs;
    Equalities eq;
    Constraints(x, variant, eq);
    const auto& rows = eq.rows;
    const char* pinned = eq.pinned;
    const int m = eq.m;
    std::array<char, kMaxVars> active{};
    for (int v = 0; v < n; ++v)
      if (!pinned[v] && y[U(v)] <= kYMin) active[U(v)] = 1;

    Vec fg;
    Mat fh;
    double f = F(y.data(), true, &fg, &fh);
    if (!std::isfinite(f)) return kNaN;
    std::vector<int> free_vars;
    free_vars.reserve(kMaxVars);
    Basis local;
    Basis& basis = kept_basis != nullptr ? *kept_basis : local;
    const Mat& Z = basis.Z;
    RowsMat A;
    Eigen::ColPivHouseholderQR<RowsMat> qr;
    bool basis_ready = false, qr_ready = false;
    // The equalities restricted to the free fractions, as the columns of A, and their QR
    // decomposition (for the multipliers of the fractions held at their floor).
    auto decompose = [&] {
      const int nf = static_cast<int>(free_vars.size());
      A.resize(nf, m);
      for (int r = 0; r < m; ++r)
        for (int k = 0; k < nf; ++k) A(k, r) = rows[r][free_vars[U(k)]];
      qr.compute(A);
      qr.setThreshold(1e-12);
      qr_ready = true;
    };
    std::array<double, kMaxVars> trial{}, dy{};
    for (int iter = 0; iter < kMaxIterations; ++iter) {
      if (stats) ++stats->iterations;
      if (!basis_ready) {
        free_vars.clear();
        uint32_t held = 0;
        for (int v = 0; v < n; ++v) {
          if (!pinned[v] && !active[U(v)]) {
            free_vars.push_back(v);
          } else {
            held |= 1u << v;
          }
        }
        const int nf = static_cast<int>(free_vars.size());
        qr_ready = false;
        // The null space's basis depends on x, the variant and which fractions are held only:
        // a grid column keeps it from one level to the next.
        if (!(basis.x == x && basis.held == held && basis.rows == m)) {
          if (nf > 0 && m > 0) {
            decompose();
            const int rank = static_cast<int>(qr.rank());
            Mat Q = qr.householderQ();
            basis.Z = Q.rightCols(nf - rank);
          } else {
            basis.Z = Mat::Identity(nf, nf);
          }
          basis.x = x;
          basis.held = held;
          basis.rows = m;
        }
        basis_ready = true;
      }
      const int nf = static_cast<int>(free_vars.size());
      const int dof = static_cast<int>(Z.cols());
      Vec gF(nf);
      Mat hF(nf, nf);
      for (int a = 0; a < nf; ++a) {
        gF(a) = fg(free_vars[U(a)]);
        for (int b = 0; b < nf; ++b) hF(a, b) = fh(free_vars[U(a)], free_vars[U(b)]);
      }
      Vec uv;
      Mat V;
      bool negative = false;
      double predicted = 0;
      bool solved = false;
      if (dof > 0) {
        const Vec r = Z.transpose() * gF;
        const Mat Hr = Z.transpose() * hF * Z;
        // Most steps meet a well-conditioned positive curvature: a Cholesky factorisation gives
        // the Newton step at a fraction of the eigenvalues' cost. A negative or nearly zero
        // curvature shows as a negative or small pivot, and goes to the eigenvalues below.
        Eigen::LDLT<Mat> ldlt(Hr);
        if (ldlt.info() == Eigen::Success) {
          const auto& d = ldlt.vectorD();
          const double scale = std::max(1.0, d.cwiseAbs().maxCoeff());
          if (d.minCoeff() > kWellConditioned * scale) {
            uv = -ldlt.solve(r);
            predicted = 0.5 * std::abs(r.dot(uv));
            V = Mat::Identity(dof, dof);
            solved = true;
          }
        }
      }
      if (dof > 0 && !solved) {
        const Vec r = Z.transpose() * gF;
        const Mat Hr = Z.transpose() * hF * Z;
        Eigen::SelfAdjointEigenSolver<Mat> eig(Hr);
        const Vec lam = eig.eigenvalues();
        V = eig.eigenvectors();
        // The eigenvalues are known to about eps times the largest (which a fraction near its
        // floor makes huge: R T a / y): smaller ones, of either sign, count as that much.
        const double resolution = 16 * kEpsilon * std::max(1.0, lam.cwiseAbs().maxCoeff());
        const Vec rv = V.transpose() * r;
        uv.resize(dof);
        for (int k = 0; k < dof; ++k) {
          double l = lam(k);
          if (l < -resolution) negative = true;
          l = std::max(std::abs(l), resolution);
          uv(k) = -rv(k) / l;
        }
        predicted = 0.5 * std::abs(rv.dot(uv));
        if (negative && predicted < 1e-9) {
          // Eigenvalues come in increasing order: the first is the most negative.
          uv.setZero();
          uv(0) = rv(0) > 0 ? -0.05 : 0.05;
          predicted = 1;
        }
      }
      // Below the rounding of Gm itself no step can show a decrease.
      const double floor = std::max(kPredictedDecrease, 8 * kEpsilon * std::abs(f));
      // A fraction held at its floor is to be let go when raising it (the others following
      // along the equalities) lowers Gm: its slope less what the equalities' multipliers
      // account for is negative. Marks them free; true when there were any.
      auto release = [&] {
        bool released = false;
        if (std::none_of(active.begin(), active.end(), [](char a) { return a != 0; })) return false;
        Eigen::Matrix<double, Eigen::Dynamic, 1, 0, kMaxRows, 1> lambda;
        if (nf > 0 && m > 0) {
          if (!qr_ready) decompose();
          lambda = qr.solve(gF);
        } else {
          lambda.setZero(m);
        }
        for (int v = 0; v < n; ++v) {
          if (!active[U(v)]) continue;
          double reduced = fg(v);
          for (int r = 0; r < m; ++r) reduced -= rows[r][v] * lambda(r);
          if (reduced < -1e-9 * std::max(1.0, std::abs(fg(v)))) {
            active[U(v)] = 0;
            released = true;
          }
        }
        return released;
      };
      if (dof == 0 || (!negative && predicted < floor)) {
        // Converged among the free fractions.
        if (!release()) return f;
        basis_ready = false;
        continue;
      }
      // In a sweep a small step ends the iteration (see kSweepPredictedDecrease) unless a
      // fraction at its floor is to be let go.
      const bool last_step = sweep && !negative && predicted < kSweepPredictedDecrease &&
                             (merged < 2 || Order(y) > kRoughOrder);
      if (last_step && release()) {
        basis_ready = false;
        continue;
      }
      const Vec uF = solved ? Vec(Z * uv) : Vec(Z * (V * uv));
      std::fill(dy.begin(), dy.end(), 0.0);
      for (int a = 0; a < nf; ++a) dy[U(free_vars[U(a)])] = uF(a);
      double amax = 1;
      for (int v = 0; v < n; ++v)
        if (dy[U(v)] < 0) amax = std::min(amax, 0.9 * y[U(v)] / -dy[U(v)]);
      // Atoms per formula unit stay above the floor (see kMinAtoms), approached by at most
      // nine tenths of the room left.
      const double dn = Atoms(dy.data()), room = Atoms(y.data()) - min_atoms;
      if (dn < 0) amax = std::min(amax, 0.9 * room / -dn);
      if (last_step && amax == 1 && predicted < kSweepModelDecrease) {
        bool inside = true;
        for (int v = 0; v < n && inside; ++v) inside = y[U(v)] + dy[U(v)] >= kYMin;
        if (inside) {
          for (int v = 0; v < n; ++v) y[U(v)] += dy[U(v)];
          return f - predicted;
        }
      }
      double alpha = amax;
      double ft = kInf;
      const double slope = std::min(gF.dot(uF), 0.0);
      bool clamped = false;
      for (int ls = 0; ls < 40; ++ls) {
        clamped = false;
        for (int v = 0; v < n; ++v) {
          trial[U(v)] = y[U(v)] + alpha * dy[U(v)];
          if (dy[U(v)] != 0 && trial[U(v)] < kYMin) {
            trial[U(v)] = kYMin;
            clamped = true;
          }
        }
        ft = F(trial.data(), false);
        if (ft < f && ft <= f + 1e-4 * alpha * slope) break;
        alpha *= 0.5;
      }
      // No descent left: as good as it gets.
      if (!(ft < f && ft <= f + 1e-4 * alpha * slope)) return f;
      std::copy(trial.begin(), trial.begin() + n, y.begin());
      // The early end leaves the fractions some 1e-4 from the minimum: too rough to tell a
      // slight order from none, so a nearly disordered constitution is solved to the end.
      if (last_step && alpha == 1 && !clamped) return ft;
      if (clamped) {
        for (int v = 0; v < n; ++v)
          if (dy[U(v)] != 0 && y[U(v)] <= kYMin) active[U(v)] = 1;
        basis_ready = false;
      }
      // Running against the floor of atoms: no physical minimum (see kMinAtoms).
      if (Atoms(y.data()) < 1.001 * min_atoms) return kNaN;
      f = F(y.data(), true, &fg, &fh);
      if (!std::isfinite(f)) return kNaN;
    }
    return f;
  }

  // --- symmetries ----------------------------------------------------------------------------

  // Permutations of the variables that leave Gm unchanged: an ordering's sublattices that are
  // alike (B2's two, the four of an ordering on four) and whose parameters the database gives
  // alike. The images of a minimum under them are minima of the same energy (an ordering's
  // variants: A on the first sublattice or on the second), so a search need not go down to
  // them again. Found when a search first asks, and again every kSearchEvery levels and past
  // every limit of the formulas' temperature ranges (where mirror parameters written with
  // different ranges may part).
  std::vector<std::array<int, kMaxVars>> symmetries;
  int64_t symmetry_level = -1;
  double symmetry_t = kNaN;
  std::vector<double> t_limits;  // sorted

  bool SymmetriesStale() const {
    return symmetry_level < 0 || level - symmetry_level >= kSearchEvery ||
           LimitBetween(t_limits, symmetry_t, T);
  }

  void FindSymmetries() {
    symmetry_level = level;
    symmetry_t = T;
    symmetries.clear();
    if (merged < 2) return;
    std::vector<int> perm(static_cast<size_t>(merged));
    for (int s = 0; s < merged; ++s) perm[U(s)] = s;
    // Two constitutions to compare each candidate at, spread over the inside of every
    // sublattice's simplex (a fixed sequence: the same at every run).
    uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state] {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      return 0.1 + 0.8 * static_cast<double>(state >> 11) / static_cast<double>(1ull << 53);
    };
    std::vector<double> probes[2];
    for (auto& y : probes) {
      y.assign(U(n), 1.0);
      for (size_t s = 0; s < sub_vars.size(); ++s) {
        if (fixed[s]) continue;
        double sum = 0;
        for (int v : sub_vars[s]) sum += (y[U(v)] = next());
        for (int v : sub_vars[s]) y[U(v)] /= sum;
      }
    }
    double f[2];
    for (int i = 0; i < 2; ++i) f[i] = F(probes[i].data(), false);
    if (!std::isfinite(f[0]) || !std::isfinite(f[1])) return;
    while (std::next_permutation(perm.begin(), perm.end())) {
      bool alike = true;
      for (int s = 0; s < merged && alike; ++s) {
        const int t = perm[U(s)];
        const auto& vs = sub_vars[U(s)];
        const auto& vt = sub_vars[U(t)];
        alike = sites[U(s)] == sites[U(t)] && vs.size() == vt.size();
        for (size_t k = 0; k < vs.size() && alike; ++k)
          alike = var_con[U(vs[k])] == var_con[U(vt[k])];
      }
      if (!alike) continue;
      std::array<int, kMaxVars> map{};
      for (int v = 0; v < n; ++v) map[U(v)] = v;
      for (int s = 0; s < merged; ++s) {
        const auto& vs = sub_vars[U(s)];
        const auto& vt = sub_vars[U(perm[U(s)])];
        for (size_t k = 0; k < vs.size(); ++k) map[U(vs[k])] = vt[k];
      }
      bool same = true;
      for (int i = 0; i < 2 && same; ++i) {
        std::vector<double> image(U(n));
        for (int v = 0; v < n; ++v) image[U(map[U(v)])] = probes[i][U(v)];
        const double g = F(image.data(), false);
        same = std::abs(g - f[i]) <= 1e-9 * std::max(1.0, std::abs(f[i]));
      }
      if (same) symmetries.push_back(map);
    }
  }

  // --- samples and starts ------------------------------------------------------------------

  void BuildCloud(OrderVariant variant) {
    auto& cl = cloud[static_cast<int>(variant)];
    cl.clear();
    // Which sublattices vary independently: all free ones, except that the disordered form
    // moves the merged ones together.
    std::vector<int> indep;
    for (size_t s = 0; s < sub_vars.size(); ++s) {
      if (fixed[s]) continue;
      if (variant == OrderVariant::Disordered && s > 0 && static_cast<int>(s) < merged) continue;
      indep.push_back(static_cast<int>(s));
    }
    // Lattice step 1/r on each simplex; r as large as the budget allows (at least 2).
    auto count = [&](int r) {
      double total = 1;
      for (int s : indep)
        total *= numeric::SimplexLatticeSize(
            static_cast<int>(sub_vars[static_cast<size_t>(s)].size()), r);
      return total;
    };
    int r = 24;
    while (r > 2 && count(r) > static_cast<double>(kCloudBudget)) --r;
    cloud_step[static_cast<int>(variant)] = 1.0 / r;
    // The points of each simplex.
    std::vector<std::vector<std::vector<double>>> points(indep.size());
    for (size_t q = 0; q < indep.size(); ++q) {
      const int k = static_cast<int>(sub_vars[static_cast<size_t>(indep[q])].size());
      for (const std::vector<int>& c : numeric::SimplexLattice(k, r)) {
        std::vector<double> p(static_cast<size_t>(k));
        for (int j = 0; j < k; ++j)
          p[static_cast<size_t>(j)] = static_cast<double>(c[static_cast<size_t>(j)]) / r;
        points[q].push_back(std::move(p));
      }
    }
    std::vector<size_t> idx(indep.size(), 0);
    std::vector<double> y(static_cast<size_t>(n), 0);
    for (;;) {
      for (int v = 0; v < n; ++v)
        if (fixed[static_cast<size_t>(var_sub[static_cast<size_t>(v)])])
          y[static_cast<size_t>(v)] = 1;
      for (size_t q = 0; q < indep.size(); ++q) {
        const int s = indep[q];
        const auto& p = points[q][idx[q]];
        const auto& vs = sub_vars[static_cast<size_t>(s)];
        for (size_t k = 0; k < vs.size(); ++k) y[static_cast<size_t>(vs[k])] = p[k];
        if (variant == OrderVariant::Disordered && s == 0) {
          for (int t = 1; t < merged; ++t) {
            const auto& vt = sub_vars[static_cast<size_t>(t)];
            for (size_t k = 0; k < vt.size(); ++k) y[static_cast<size_t>(vt[k])] = p[k];
          }
        }
      }
      const double N = Atoms(y.data());
      if (N > min_atoms) {
        const double f = F(y.data(), false);
        if (std::isfinite(f)) cl.push_back({BAtoms(y.data()) / N, f, y});
      }
      size_t q = 0;
      while (q < indep.size() && ++idx[q] == points[q].size()) idx[q++] = 0;
      if (q == indep.size()) break;
    }
    std::sort(cl.begin(), cl.end(), [](const Sample& a, const Sample& b) { return a.x < b.x; });
    cloud_level[static_cast<int>(variant)] = level;
    cloud_t[static_cast<int>(variant)] = T;
    cloud_p[static_cast<int>(variant)] = P;
  }

  // The best sample near x (within half the lattice's composition step, else the nearest).
  // `near_level`: a cloud of a temperature and pressure within kCloudReach of this level's,
  // whatever its age (a sweep's may be up to kSearchEvery levels old, however far).
  const Sample* CloudStart(double x, OrderVariant variant, bool want_ordered,
                           bool near_level = false) {
    const int vi = static_cast<int>(variant);
    const bool stale = near_level ? std::abs(T - cloud_t[vi]) > kCloudReach * T ||
                                        std::abs(P - cloud_p[vi]) > kCloudReach * std::abs(P)
                                  : level - cloud_level[vi] >= kSearchEvery;
    if (cloud_level[vi] < 0 || stale) BuildCloud(variant);
    const auto& cl = cloud[vi];
    if (cl.empty()) return nullptr;
    auto it = std::lower_bound(cl.begin(), cl.end(), x,
                               [](const Sample& s, double v) { return s.x < v; });
    const double w = 0.04;
    const Sample* best = nullptr;
    for (auto j = it; j != cl.end() && j->x <= x + w; ++j)
      if ((!want_ordered || Ordered(j->y)) && (best == nullptr || j->f < best->f)) best = &*j;
    for (auto j = it; j != cl.begin();) {
      --j;
      if (j->x < x - w) break;
      if ((!want_ordered || Ordered(j->y)) && (best == nullptr || j->f < best->f)) best = &*j;
    }
    if (best != nullptr) return best;
    if (want_ordered) return nullptr;
    if (it == cl.end()) return &cl.back();
    if (it == cl.begin()) return &*it;
    return (x - (it - 1)->x < it->x - x) ? &*(it - 1) : &*it;
  }
};

// --- the model ---------------------------------------------------------------------------------

namespace {

// The factors of a parameter over the site fractions given by `form` (form[s][k] is the linear
// form of the fraction of the k-th constituent of sublattice s).
bool BuildFactors(const SublatticeModel::Parameter& p,
                  const std::vector<std::vector<Constituent>>& cons,
                  const std::vector<std::vector<Factor>>& form, std::vector<Factor>& out,
                  std::string& why) {
  out.clear();
  if (p.On.size() != cons.size()) {
    why = "names " + std::to_string(p.On.size()) + " sublattices, the phase has " +
          std::to_string(cons.size());
    return false;
  }
  bool order_used = false;
  auto frac = [&](size_t s, Constituent c, Factor& f) {
    for (size_t k = 0; k < cons[s].size(); ++k)
      if (cons[s][k] == c) {
        f = form[s][k];
        return true;
      }
    return false;
  };
  for (size_t s = 0; s < p.On.size(); ++s) {
    const auto& on = p.On[s];
    std::vector<Factor> fs(on.size());
    for (size_t k = 0; k < on.size(); ++k) {
      if (!frac(s, on[k], fs[k])) {
        why = "names a constituent sublattice " + std::to_string(s + 1) + " does not hold";
        return false;
      }
      out.push_back(fs[k]);
    }
    if (on.size() == 2 && p.Order > 0 && !order_used) {
      Factor d = fs[0];
      d.c0 -= fs[1].c0;
      for (const auto& [i, c] : fs[1].c) {
        bool merged = false;
        for (auto& e : d.c)
          if (e.first == i) {
            e.second -= c;
            merged = true;
          }
        if (!merged) d.c.emplace_back(i, -c);
      }
      d.power = p.Order;
      out.push_back(std::move(d));
      order_used = true;
    } else if (on.size() == 3 && p.Order > 0 && !order_used) {
      if (p.Order > 2) {
        why = "an interaction of three constituents of order " + std::to_string(p.Order);
        return false;
      }
      // v_k = y_k + (1 - y_i - y_j - y_l) / 3.
      Factor v;
      v.c0 = 1.0 / 3;
      for (size_t k = 0; k < 3; ++k) {
        const double w = (static_cast<int>(k) == p.Order ? 1.0 : 0.0) - 1.0 / 3;
        v.c0 += w * fs[k].c0;
        for (const auto& [i, c] : fs[k].c) v.c.emplace_back(i, w * c);
      }
      out.push_back(std::move(v));
      order_used = true;
    } else if (on.size() > 3) {
      why = "an interaction of more than three constituents on one sublattice";
      return false;
    }
  }
  if (p.Order > 0 && !order_used) {
    why = "order " + std::to_string(p.Order) + " without an interaction";
    return false;
  }
  return true;
}

Factor Single(int v) {
  Factor f;
  f.c.emplace_back(v, 1.0);
  return f;
}

}  // namespace

void SublatticeModel::Prepare() {
  if (Ionic) {
    Ionic->Prepare(*this, &stats_);
    x_min_ = Ionic->XMin();
    x_max_ = Ionic->XMax();
    free_count_ = Ionic->FreeCount();
    return;
  }
  auto fail = [&](const std::string& why) { throw std::runtime_error(Name + ": " + why); };
  if (Sublattices.empty()) fail("no sublattice");
  impl_ = std::make_shared<Impl>();
  Impl& m = *impl_;
  m.stats = &stats_;
  int n = 0;
  for (size_t s = 0; s < Sublattices.size(); ++s) {
    const Sublattice& sl = Sublattices[s];
    if (!(sl.Sites > 0) || !std::isfinite(sl.Sites))
      fail("a sublattice without a positive number of sites");
    if (sl.Constituents.empty()) fail("a sublattice without constituents");
    std::vector<int> vs;
    for (size_t k = 0; k < sl.Constituents.size(); ++k) {
      for (size_t j = 0; j < k; ++j)
        if (sl.Constituents[j] == sl.Constituents[k])
          fail("a constituent named twice on one sublattice");
      m.var_sub.push_back(static_cast<int>(s));
      m.var_con.push_back(sl.Constituents[k]);
      vs.push_back(n++);
    }
    m.sub_vars.push_back(std::move(vs));
    m.sites.push_back(sl.Sites);
    m.fixed.push_back(sl.Constituents.size() == 1 ? 1 : 0);
  }
  if (n > kMaxVars) fail("more than " + std::to_string(kMaxVars) + " site fractions");
  m.n = n;
  for (int v = 0; v < n; ++v) {
    const double a = m.sites[static_cast<size_t>(m.var_sub[static_cast<size_t>(v)])];
    const Constituent c = m.var_con[static_cast<size_t>(v)];
    m.n_coef.push_back(a * (c.A + c.B));
    m.b_coef.push_back(a * c.B);
  }
  free_count_ = 0;
  for (size_t s = 0; s < m.fixed.size(); ++s)
    if (!m.fixed[s]) free_count_ += Sublattices[s].Constituents.size() - 1;

  // The leading sublattices that merge into the disordered form.
  merged_ = 0;
  if (DisorderedPart) {
    const size_t nd = DisorderedPart->Sublattices.size();
    if (nd == 0 || nd > Sublattices.size())
      fail("its disordered part has more sublattices than it");
    merged_ = static_cast<int>(Sublattices.size() - (nd - 1));
  } else if (!DisorderedName.empty()) {
    merged_ = 1;
    while (static_cast<size_t>(merged_) < Sublattices.size() &&
           Sublattices[static_cast<size_t>(merged_)].Constituents == Sublattices[0].Constituents)
      ++merged_;
  }
  for (int s = 1; s < merged_; ++s)
    if (Sublattices[static_cast<size_t>(s)].Constituents != Sublattices[0].Constituents)
      fail("the sublattices that merge in the disordered form hold different constituents");
  m.merged = merged_;
  if (!DisorderedName.empty() && merged_ < 2) fail("no two sublattices to order on");

  // Site fractions as linear forms: the phase's own over y, and over the mean fractions z
  // (the merged sublattices at their mean, weighted by sites; see Impl::nz).
  std::vector<std::vector<Constituent>> cons;
  std::vector<std::vector<Factor>> own, mean;
  double merged_sites = 0;
  for (int s = 0; s < merged_; ++s) merged_sites += Sublattices[static_cast<size_t>(s)].Sites;
  m.z_of.assign(U(n), 0);
  m.z_weight.assign(U(n), 1.0);
  m.nz = merged_ > 0 ? static_cast<int>(Sublattices[0].Constituents.size()) : 0;
  for (size_t s = 0; s < Sublattices.size(); ++s)
    for (size_t k = 0; k < Sublattices[s].Constituents.size(); ++k) {
      const int v = m.sub_vars[s][k];
      if (static_cast<int>(s) < merged_) {
        m.z_of[U(v)] = static_cast<int>(k);
        m.z_weight[U(v)] = Sublattices[s].Sites / merged_sites;
      } else {
        m.z_of[U(v)] = m.nz++;
      }
    }
  // The fractions that are always 1: those of sublattices of one constituent, in y and in z.
  std::vector<char> y_one(U(n), 0), z_one(U(m.nz), 0);
  for (int v = 0; v < n; ++v)
    if (m.fixed[U(m.var_sub[U(v)])]) {
      y_one[U(v)] = 1;
      if (m.var_sub[U(v)] >= merged_) z_one[U(m.z_of[U(v)])] = 1;
    }
  for (size_t s = 0; s < Sublattices.size(); ++s) {
    cons.push_back(Sublattices[s].Constituents);
    std::vector<Factor> o, me;
    for (size_t k = 0; k < Sublattices[s].Constituents.size(); ++k) {
      o.push_back(Single(m.sub_vars[s][k]));
      me.push_back(Single(m.z_of[U(m.sub_vars[s][k])]));
    }
    own.push_back(std::move(o));
    mean.push_back(std::move(me));
  }

  auto add = [&](const Parameter& p, int value, double scale,
                 const std::vector<std::vector<Constituent>>& c,
                 const std::vector<std::vector<Factor>>& form, bool on_mean) {
    Term t;
    t.value = value;
    t.scale = scale;
    std::string why;
    if (!BuildFactors(p, c, form, t.factors, why)) fail("a parameter " + why);
    if (t.factors.size() > 8) fail("a parameter of more than eight factors");
    Poly& poly = on_mean ? m.mean : m.own;
    const int channel = p.kind == Kind::G    ? kChannelG
                        : p.kind == Kind::TC ? kChannelTC
                                             : kChannelBeta;
    poly.Add(t, channel, on_mean ? z_one : y_one);
  };
  m.value_sources.clear();
  for (Parameter& p : Parameters) {
    const int value = static_cast<int>(m.value_sources.size());
    m.value_sources.push_back(&p);
    add(p, value, 1, cons, own, false);
    if (DisorderedPart) add(p, value, -1, cons, mean, true);
  }
  if (DisorderedPart) {
    SublatticeModel& d = *DisorderedPart;
    // The disordered part's fractions: its first sublattice is the merged mean, the others
    // are the ordered phase's remaining sublattices in order.
    std::vector<std::vector<Constituent>> dcons;
    std::vector<std::vector<Factor>> dform;
    for (size_t s = 0; s < d.Sublattices.size(); ++s) {
      dcons.push_back(d.Sublattices[s].Constituents);
      std::vector<Factor> fs;
      const size_t os = s == 0 ? 0 : static_cast<size_t>(merged_) + s - 1;
      for (Constituent c : d.Sublattices[s].Constituents) {
        Factor f;  // zero unless the ordered sublattice holds c
        const auto& oc = Sublattices[os].Constituents;
        for (size_t k = 0; k < oc.size(); ++k)
          if (oc[k] == c) f = mean[os][k];
        fs.push_back(std::move(f));
      }
      dform.push_back(std::move(fs));
    }
    // Per formula unit of the ordered phase.
    const double scale = merged_sites / d.Sublattices[0].Sites;
    for (Parameter& p : d.Parameters) {
      const int value = static_cast<int>(m.value_sources.size());
      m.value_sources.push_back(&p);
      add(p, value, scale, dcons, dform, true);
    }
  }
  m.afm = AfmFactor;
  m.p_struct = StructureFactor;
  if (m.afm == 0 && DisorderedPart) {
    m.afm = DisorderedPart->AfmFactor;
    m.p_struct = DisorderedPart->StructureFactor;
  }
  m.magnetic = m.afm != 0 && m.p_struct > 0 &&
               (m.own.has[kChannelTC] || m.own.has[kChannelBeta] || m.mean.has[kChannelTC] ||
                m.mean.has[kChannelBeta]);
  m.values.assign(m.value_sources.size(), 0);

  // The composition range: X is a ratio of linear forms, extreme at the vertices.
  x_min_ = kInf;
  x_max_ = -kInf;
  std::vector<size_t> pick(Sublattices.size(), 0);
  std::vector<double> y(static_cast<size_t>(n));
  for (;;) {
    std::fill(y.begin(), y.end(), 0.0);
    for (size_t s = 0; s < pick.size(); ++s) y[static_cast<size_t>(m.sub_vars[s][pick[s]])] = 1;
    const double N = m.Atoms(y.data());
    if (N > 0) {
      const double x = m.BAtoms(y.data()) / N;
      x_min_ = std::min(x_min_, x);
      x_max_ = std::max(x_max_, x);
    }
    size_t s = 0;
    while (s < pick.size() && ++pick[s] == Sublattices[s].Constituents.size()) pick[s++] = 0;
    if (s == pick.size()) break;
  }
  if (!(x_min_ <= x_max_)) fail("no constitution with atoms (vacancies only)");
  double most = 0;
  std::fill(pick.begin(), pick.end(), 0);
  for (;;) {
    std::fill(y.begin(), y.end(), 0.0);
    for (size_t s = 0; s < pick.size(); ++s) y[U(m.sub_vars[s][pick[s]])] = 1;
    most = std::max(most, m.Atoms(y.data()));
    size_t s = 0;
    while (s < pick.size() && ++pick[s] == Sublattices[s].Constituents.size()) pick[s++] = 0;
    if (s == pick.size()) break;
  }
  m.min_atoms = kMinAtoms * most;
  last_y_.assign(static_cast<size_t>(n), 0);
  m.t_limits.clear();
  TemperatureLimits(m.t_limits);
  std::sort(m.t_limits.begin(), m.t_limits.end());
}

void SublatticeModel::SetLevel(double T, double p) {
  if (Ionic) return Ionic->SetLevel(T, p);
  Impl& m = *impl_;
  if (m.has_level && T == m.T && p == m.P) return;
  for (size_t k = 0; k < m.value_sources.size(); ++k) {
    Parameter& par = *m.value_sources[k];
    *par.T = T;
    *par.p = p;
    m.values[k] = par.Value->Value();
  }
  for (Poly* poly : {&m.own, &m.mean}) poly->Level(m.values);
  m.T = T;
  m.P = p;
  ++m.level;
  m.RT = kDatabaseGasConstant * T;
  m.has_level = true;
}

void TemperatureLimitsIn(const std::string& text, std::vector<double>& out) {
  std::string s;
  s.reserve(text.size());
  for (const char c : text)
    if (!std::isspace(static_cast<unsigned char>(c)))
      s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string key = "HEAV(T-";
  for (size_t at = s.find(key); at != std::string::npos; at = s.find(key, at)) {
    at += key.size();
    const char* begin = s.c_str() + at;
    char* end = nullptr;
    const double limit = std::strtod(begin, &end);
    if (end != begin && *end == ')') out.push_back(limit);
  }
}

bool LimitBetween(const std::vector<double>& limits, double t0, double t1) {
  const auto it = std::lower_bound(limits.begin(), limits.end(), std::min(t0, t1));
  return it != limits.end() && *it <= std::max(t0, t1);
}

void SublatticeModel::TemperatureLimits(std::vector<double>& out) const {
  for (const Parameter& p : Parameters)
    if (p.Value) TemperatureLimitsIn(p.Value->Expression(), out);
  if (DisorderedPart) DisorderedPart->TemperatureLimits(out);
}

void SublatticeModel::ResetStarts() {
  if (Ionic) return Ionic->ResetStarts();
  Impl& m = *impl_;
  for (auto& s : m.slots)
    for (auto& k : s) k = {};
  for (auto& l : m.last) l = {};
  for (auto& memo : m.search_memo) memo = {};
}

void SublatticeModel::ReserveSlots(size_t n) {
  if (Ionic) return Ionic->ReserveSlots(n);
  for (auto& s : impl_->slots) s.resize(n);
}

double SublatticeModel::EnergyAt(const std::vector<double>& y, std::vector<double>* gradient,
                                 std::vector<double>* hessian) {
  if (Ionic) return Ionic->EnergyAt(y, gradient, hessian);
  if (gradient == nullptr) return impl_->F(y.data(), false);
  Vec g;
  Mat h;
  const double f = impl_->F(y.data(), true, &g, &h);
  const int n = impl_->n;
  gradient->assign(g.data(), g.data() + n);
  if (hessian != nullptr) {
    hessian->resize(U(n * n));
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) (*hessian)[U(i * n + j)] = h(i, j);
  }
  return f;
}

double SublatticeModel::CompositionAt(const std::vector<double>& y) const {
  if (Ionic) return Ionic->CompositionAt(y);
  const double N = impl_->Atoms(y.data());
  return impl_->BAtoms(y.data()) / N;
}

double SublatticeModel::CompoundEnergy() {
  std::vector<double> y(static_cast<size_t>(impl_->n), 1.0);
  last_y_ = y;
  return impl_->F(y.data(), false);
}

bool SublatticeModel::MinimumDerivatives(double x, OrderVariant variant, double& g, double& g1,
                                         double& g2) {
  if (Ionic || !(x > 0 && x < 1)) return false;
  if (variant != OrderVariant::Any && merged_ < 2) variant = OrderVariant::Any;
  g = Minimum(x, variant);
  if (!std::isfinite(g)) return false;
  Impl& m = *impl_;
  std::vector<double> y = last_y_;
  Impl::Equalities eq;
  m.Constraints(x, variant, eq);
  // Fractions at their floor are held there, as the minimisation left them.
  std::vector<int> free_vars;
  for (int v = 0; v < m.n; ++v)
    if (!eq.pinned[v] && y[U(v)] > kHeldFloor * kYMin) free_vars.push_back(v);
  const int nf = static_cast<int>(free_vars.size()), mr = eq.m;
  if (nf == 0 || eq.composition < 0) return false;
  Vec fg;
  Mat fh;
  m.F(y.data(), true, &fg, &fh);
  Vec gF(nf), nF(nf), e(mr);
  Mat hF(nf, nf);
  RowsMat A(nf, mr);  // the equalities as columns
  for (int a = 0; a < nf; ++a) {
    const int v = free_vars[U(a)];
    gF(a) = fg(v);
    nF(a) = m.n_coef[U(v)];
    for (int b = 0; b < nf; ++b) hF(a, b) = fh(v, free_vars[U(b)]);
    for (int r = 0; r < mr; ++r) A(a, r) = eq.rows[r][v];
  }
  Eigen::ColPivHouseholderQR<RowsMat> qr(A);
  qr.setThreshold(1e-12);
  const int rank = static_cast<int>(qr.rank());
  const Mat Q = qr.householderQ();
  const Mat Z = Q.rightCols(nf - rank);
  const Mat Hr = Z.transpose() * hF * Z;
  Eigen::LDLT<Mat> ldlt(Hr);
  if (Z.cols() > 0 && (ldlt.info() != Eigen::Success || !(ldlt.vectorD().minCoeff() > 0)))
    return false;
  // The minimisation stops some 1e-8 from the minimum, and a multiplier read from the
  // gradient there would be off by the curvature times that: the gradient is taken one Newton
  // step on, where it is off by the square of it.
  Vec step = Vec::Zero(nf);
  if (Z.cols() > 0) step = -Z * ldlt.solve(Z.transpose() * gF);
  const Vec lambda = qr.solve(Vec(gF + hF * step));
  const double lc = lambda(eq.composition);
  // How the constitution moves with x: the sums and equalities keep their values, the
  // composition row (nB - x N = 0) changes by N per unit of x, and the stationarity in the
  // null space holds on: Z^T (H y' + n lc) = 0.
  const double N = m.Atoms(y.data());
  e.setZero();
  e(eq.composition) = N;
  const Vec p = A.transpose().completeOrthogonalDecomposition().solve(e);
  if (!((A.transpose() * p - e).cwiseAbs().maxCoeff() < 1e-9 * std::max(1.0, N))) return false;
  Vec dy = p;
  if (Z.cols() > 0) dy -= Z * ldlt.solve(Z.transpose() * (hF * p + nF * lc));
  // Gm' = lc N (the envelope of the Lagrangian); Gm'' = y'^T H y' + 2 lc n.y' (the second
  // derivative of the composition row along the path is 2 n.y').
  g1 = lc * N;
  g2 = dy.dot(hF * dy) + 2 * lc * nF.dot(dy);
  return std::isfinite(g1) && std::isfinite(g2);
}

size_t SublatticeModel::Symmetries() {
  if (Ionic) return 0;
  impl_->FindSymmetries();
  return impl_->symmetries.size();
}

double SublatticeModel::OrderingCurvature(double x) {
  if (Ionic) return kNaN;
  Impl& m = *impl_;
  if (merged_ < 2 || !std::isfinite(Minimum(x, OrderVariant::Disordered))) return kNaN;
  const std::vector<double> y = last_y_;
  Impl::Equalities eq;
  m.Constraints(x, OrderVariant::Any, eq);
  // Fractions at their floor stay there (a change would take them below it).
  std::vector<int> free_vars;
  for (int v = 0; v < m.n; ++v)
    if (!eq.pinned[v] && y[U(v)] > kYMin) free_vars.push_back(v);
  const int nf = static_cast<int>(free_vars.size()), mr = eq.m;
  if (nf == 0) return kNaN;
  Vec fg;
  Mat fh;
  m.F(y.data(), true, &fg, &fh);
  Mat Z;
  if (mr > 0) {
    RowsMat A(nf, mr);
    for (int r = 0; r < mr; ++r)
      for (int k = 0; k < nf; ++k) A(k, r) = eq.rows[r][free_vars[U(k)]];
    Eigen::ColPivHouseholderQR<decltype(A)> qr(A);
    qr.setThreshold(1e-12);
    const Mat Q = qr.householderQ();
    Z = Q.rightCols(nf - static_cast<int>(qr.rank()));
  } else {
    Z = Mat::Identity(nf, nf);
  }
  if (Z.cols() == 0) return kNaN;
  Mat hF(nf, nf);
  for (int a = 0; a < nf; ++a)
    for (int b = 0; b < nf; ++b) hF(a, b) = fh(free_vars[U(a)], free_vars[U(b)]);
  const Mat Hr = Z.transpose() * hF * Z;
  return Eigen::SelfAdjointEigenSolver<Mat>(Hr, Eigen::EigenvaluesOnly).eigenvalues()(0);
}

namespace {

// The constitution t steps on from b, one step being the move from a to b. Small fractions
// change by factors (their slope goes as ln y): those are extrapolated in their logarithm.
std::vector<double> Extrapolate(const std::vector<double>& a, const std::vector<double>& b,
                                double t) {
  std::vector<double> y = b;
  for (size_t k = 0; k < y.size(); ++k)
    y[k] = a[k] > 0 && b[k] > 0 && std::min(a[k], b[k]) < kSmallFraction
               ? b[k] * std::pow(b[k] / a[k], t)
               : b[k] + t * (b[k] - a[k]);
  return y;
}

}  // namespace

double SublatticeModel::Minimum(double x, OrderVariant variant, int slot) {
  if (Ionic) return Ionic->Minimum(x, slot, last_y_);
  Impl& m = *impl_;
  ++stats_.minimisations;
  if (!(x >= x_min_ - 1e-12 && x <= x_max_ + 1e-12)) return kNaN;
  if (variant != OrderVariant::Any && merged_ < 2) variant = OrderVariant::Any;
  const int vi = static_cast<int>(variant);
  const bool want_ordered = variant == OrderVariant::Ordered;

  // The place a sweep keeps this column's minimum between levels.
  Impl::Kept* kept = nullptr;
  if (slot >= 0) {
    if (U(slot) >= m.slots[vi].size()) m.slots[vi].resize(U(slot) + 1);
    kept = &m.slots[vi][U(slot)];
  }
  double best = kNaN;
  std::vector<double> best_y;
  std::vector<std::vector<double>> tried;
  // A start next to a start already tried, or next to a minimum already found (within
  // kSameBasin in every fraction), leads to that minimum again: it is not tried.
  std::vector<std::vector<double>> found;
  auto near = [](const std::vector<std::vector<double>>& list, const std::vector<double>& y,
                 double tolerance) {
    for (const auto& t : list) {
      double d = 0;
      for (size_t k = 0; k < y.size(); ++k) d = std::max(d, std::abs(t[k] - y[k]));
      if (d < tolerance) return true;
    }
    return false;
  };
  // A search also leaves out starts next to the images of the minima found under the phase's
  // symmetries (the other variants of an ordering: a neighbouring column's minimum, often).
  // Only next to them (kSameBasin), not in a sample's wider basin: a sample that far from an
  // image may lead to another minimum (a B2 minimum with vacancies beside one with antisites).
  bool use_images = false;
  auto near_image = [&](const std::vector<double>& y, double tolerance) {
    if (!use_images) return false;
    for (const auto& map : m.symmetries)
      for (const auto& g : found) {
        double d = 0;
        for (size_t v = 0; v < y.size(); ++v) d = std::max(d, std::abs(g[v] - y[U(map[v])]));
        if (d < tolerance) return true;
      }
    return false;
  };
  // `basin`: how near a minimum found the start must be to count as in its basin.
  auto attempt = [&](std::vector<double> y, double basin = kSameBasin) {
    if (!m.MakeFeasible(x, y)) return;
    if (variant == OrderVariant::Disordered) m.Disorder(y);
    if (near(tried, y, 1e-9) || near(found, y, basin) || near_image(y, kSameBasin)) return;
    tried.push_back(y);
    const double f =
        m.Newton(x, variant, y, kept != nullptr, kept != nullptr ? kept->HeldBasis() : nullptr);
    if (!std::isfinite(f)) return;
    found.push_back(y);
    if (want_ordered && !m.Ordered(y)) return;
    if (!(f >= best)) {
      best = f;
      best_y = std::move(y);
    }
  };
  // Where to start. A sweep goes down level by level, and at each grid column the minimum
  // moves little from one level to the next: its constitution at the previous level is the
  // start, one or two Newton steps away. Every kSearchEvery levels, and where the kept start
  // fails or none is kept, other starts are tried too: the previous column's minimum at this
  // level and the best sample of the constitution space near x, so that a minimum of another
  // kind (an ordering that appears on cooling) is found within a few levels. Outside a sweep
  // (the exact stage, a point), every start is tried.
  const Impl::Kept& last = m.last[vi];
  if (kept != nullptr) {
    const bool had_start = !kept->y.empty();
    if (had_start) {
      // The minima of the last two levels: the start extrapolated from them along the swept
      // variable comes within the square of the level step of this one.
      double moved = kInf;
      if (kept->level == m.level - 1 && kept->level_before == kept->level - 1 &&
          m.Ordered(kept->y) == m.Ordered(kept->y_before)) {
        moved = 0;
        for (size_t k = 0; k < kept->y.size(); ++k)
          moved = std::max(moved, std::abs(kept->y[k] - kept->y_before[k]));
      }
      // Only along a track that moves little from level to level: a minimum that changed its
      // kind or jumped (to the mirror of an ordering, say) gives no line to go on.
      if (moved < kSameBasin) {
        const double ds =
            kept->t != kept->t_before ? kept->t - kept->t_before : kept->p - kept->p_before;
        const double dn = kept->t != kept->t_before ? m.T - kept->t : m.P - kept->p;
        if (ds != 0 && std::isfinite(dn / ds)) {
          attempt(Extrapolate(kept->y_before, kept->y, dn / ds));
          // Where the extrapolation ends on no minimum of the kind (an ordering near its
          // transition, overshot), the kept start is tried as if it had not been.
          if (!std::isfinite(best)) {
            tried.clear();
            found.clear();
          }
        }
      }
      if (!std::isfinite(best)) attempt(kept->y);
    } else {
      // No minimum of this kind here at the last level: where a neighbouring column has one
      // (an ordering spreading along X as the temperature falls), it starts one here.
      for (int side : {-1, 1}) {
        const int s = slot + side;
        if (s >= 0 && U(s) < m.slots[vi].size() && !m.slots[vi][U(s)].y.empty())
          attempt(m.slots[vi][U(s)].y);
      }
      // An ordering that sets in continuously (of second order) grows out of the disordered
      // minimum when that turns into a saddle: Newton's method started there goes down the
      // negative curvature, or comes back to disorder at once.
      const auto& dis = m.slots[static_cast<int>(OrderVariant::Disordered)];
      if (want_ordered && !std::isfinite(best) && U(slot) < dis.size() && !dis[U(slot)].y.empty())
        attempt(dis[U(slot)].y);
    }
    if (kept->searched < 0 || (had_start && !std::isfinite(best)) ||
        m.level - kept->searched >= kSearchEvery) {
      if (m.SymmetriesStale()) m.FindSymmetries();
      use_images = !m.symmetries.empty();
      if (!last.y.empty() && last.level == m.level && std::abs(last.x - x) < 0.05) attempt(last.y);
      // A sample within about a lattice step of the minimum kept is a coarse copy of it.
      // Neighbouring columns mostly pick the same sample: where the column before at this level
      // went down from it, this one starts where that one ended (the same basin, a Newton step
      // or two away instead of a dozen from the lattice point).
      if (const auto* s = m.CloudStart(x, variant, want_ordered)) {
        const double basin = std::max(kSameBasin, 1.5 * m.cloud_step[vi]);
        Impl::SearchMemo& memo = m.search_memo[vi];
        if (!near(found, s->y, basin)) {
          const bool follow = memo.sample == s && memo.level == m.level &&
                              std::abs(memo.x - x) < kPredictReach && !memo.y.empty();
          const size_t before = found.size();
          attempt(follow ? memo.y : s->y);
          memo = {s, m.level, x, found.size() > before ? found.back() : std::vector<double>{}};
        }
      }
      kept->searched = m.level;
    }
  } else {
    // Outside a sweep the calls come in runs at nearby points (the finite differences and the
    // iterations of the exact stage): the last minimum and the nearest column's from the sweep
    // start, the samples only when neither gives one. When the last two minima lie close by at
    // this level, the constitution extrapolated from them is tried first: along a stencil of
    // the finite differences it starts within the square of the step from the minimum, a
    // Newton step or two, where the last minimum itself takes three or four.
    const Impl::Kept& prev = m.before_last[vi];
    if (!last.y.empty() && !prev.y.empty() && last.level == m.level && prev.level == m.level &&
        last.x != prev.x && std::abs(last.x - x) < kPredictReach &&
        std::abs(prev.x - x) < kPredictReach) {
      attempt(Extrapolate(prev.y, last.y, (x - last.x) / (last.x - prev.x)));
    }
    if (!last.y.empty() && std::abs(last.x - x) < 0.05) attempt(last.y);
    if (!std::isfinite(best)) {
      const auto& sl = m.slots[vi];
      size_t near = sl.size();
      for (size_t k = 0; k < sl.size(); ++k)
        if (!sl[k].y.empty() &&
            (near == sl.size() || std::abs(sl[k].x - x) < std::abs(sl[near].x - x)))
          near = k;
      if (near < sl.size()) attempt(sl[near].y);
    }
    // Once per level, the best sample near x of this level's cloud as well, unless a minimum
    // found lies in its basin: the starts above come from other points, and a phase may have a
    // second, lower minimum here that they do not lead to (COST507 Sn-Ti's SnTi3 at X = 0.25
    // above 2000 K, its Ti:Sn end member below the Sn:(Sn,Ti) branch that a start from a cooler
    // level finds). The calls after it at this level start from its answer.
    if (!std::isfinite(best) || m.cloud_tried[vi] != m.level) {
      m.cloud_tried[vi] = m.level;
      if (const auto* s = m.CloudStart(x, variant, want_ordered, true))
        if (!std::isfinite(best) ||
            !near(found, s->y, std::max(kSameBasin, 1.5 * m.cloud_step[vi])))
          attempt(s->y);
    }
  }
  if (kept != nullptr) {
    if (!kept->y.empty()) {
      kept->y_before = std::move(kept->y);
      kept->level_before = kept->level;
      kept->t_before = kept->t;
      kept->p_before = kept->p;
    } else {
      kept->level_before = -1;
    }
    kept->x = x;
    kept->level = m.level;
    kept->y = best_y;
    kept->t = m.T;
    kept->p = m.P;
  }
  if (!std::isfinite(best)) return kNaN;
  last_y_ = best_y;
  last_ordered_ = m.Ordered(best_y);
  m.before_last[vi] = std::move(m.last[vi]);
  Impl::Kept& now = m.last[vi];
  now = Impl::Kept{};
  now.x = x;
  now.y = best_y;
  now.level = now.searched = m.level;
  return best;
}

}  // namespace calc
