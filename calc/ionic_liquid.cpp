#include "calc/ionic_liquid.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "numeric/lattice.h"

namespace calc {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kMax = IonicLiquid::kMaxCations;
// The Newton iteration ends when the decrease it predicts is below this (J/mol), as for the
// phases on sublattices: far below what the finite differences of the exact stage need.
constexpr double kPredictedDecrease = 1e-12;
// During a sweep the grid needs less: a step that predicts less than this is the last one
// (Newton's convergence being quadratic, the next would change Gm by about 1e-9 J/mol).
constexpr double kSweepPredictedDecrease = 1e-3;
constexpr int kMaxIterations = 100;
// Start points over the cation simplex: a lattice of about this many points.
constexpr size_t kCloudBudget = 70;
// During a sweep, how often (in levels) a column looks beyond the start it keeps.
constexpr int64_t kSearchEvery = 8;

using Vec = Eigen::Matrix<double, Eigen::Dynamic, 1, 0, kMax, 1>;
using Mat = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, kMax, kMax>;

// A value with its gradient and Hessian in the cation fractions (forward differentiation of
// second order; n variables, at most kMax).
struct Dual {
  int n = 0;
  double v = 0;
  double g[kMax] = {};
  double h[kMax * kMax] = {};

  static Dual Constant(int n, double v) {
    Dual d;
    d.n = n;
    d.v = v;
    return d;
  }
  static Dual Variable(int n, double v, int i) {
    Dual d = Constant(n, v);
    d.g[i] = 1;
    return d;
  }
  // f(this) given f, f' and f'' at v.
  Dual Chain(double f, double f1, double f2) const {
    Dual r = Constant(n, f);
    for (int i = 0; i < n; ++i) r.g[i] = f1 * g[i];
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) r.h[i * n + j] = f1 * h[i * n + j] + f2 * g[i] * g[j];
    return r;
  }
  Dual& operator+=(const Dual& o) {
    v += o.v;
    for (int i = 0; i < n; ++i) g[i] += o.g[i];
    for (int k = 0; k < n * n; ++k) h[k] += o.h[k];
    return *this;
  }
  Dual& operator-=(const Dual& o) {
    v -= o.v;
    for (int i = 0; i < n; ++i) g[i] -= o.g[i];
    for (int k = 0; k < n * n; ++k) h[k] -= o.h[k];
    return *this;
  }
  Dual& operator*=(double s) {
    v *= s;
    for (int i = 0; i < n; ++i) g[i] *= s;
    for (int k = 0; k < n * n; ++k) h[k] *= s;
    return *this;
  }
  Dual& operator+=(double s) {
    v += s;
    return *this;
  }
};

Dual operator+(Dual a, const Dual& b) {
  return a += b;
}
Dual operator-(Dual a, const Dual& b) {
  return a -= b;
}
Dual operator*(Dual a, double s) {
  return a *= s;
}
Dual operator*(double s, Dual a) {
  return a *= s;
}
Dual operator+(Dual a, double s) {
  return a += s;
}
Dual operator-(double s, Dual a) {
  a *= -1;
  return a += s;
}
Dual operator*(const Dual& a, const Dual& b) {
  const int n = a.n;
  Dual r = Dual::Constant(n, a.v * b.v);
  for (int i = 0; i < n; ++i) r.g[i] = a.v * b.g[i] + b.v * a.g[i];
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      r.h[i * n + j] =
          a.v * b.h[i * n + j] + b.v * a.h[i * n + j] + a.g[i] * b.g[j] + b.g[i] * a.g[j];
  return r;
}
Dual operator/(const Dual& a, const Dual& b) {
  const double inv = 1 / b.v;
  return a * b.Chain(inv, -inv * inv, 2 * inv * inv * inv);
}
Dual Log(const Dual& a) {
  return a.Chain(std::log(a.v), 1 / a.v, -1 / (a.v * a.v));
}
double Log(double a) {
  return std::log(a);
}
double ValueOf(const Dual& d) {
  return d.v;
}
double ValueOf(double d) {
  return d;
}
// s ln s, 0 at 0.
template <class S>
S XLogX(const S& s) {
  if (ValueOf(s) <= 0) return s * 0.0;
  return s * Log(s);
}

template <class S>
S Power(const S& s, int k) {
  S r = s * 0.0 + 1.0;
  for (int i = 0; i < k; ++i) r = r * s;
  return r;
}

}  // namespace

void IonicLiquid::Prepare(SublatticeModel& owner, SublatticeModel::Stats* stats) {
  auto fail = [&](const std::string& why) {
    throw std::runtime_error(owner.Name + ": an ionic liquid " + why);
  };
  stats_ = stats;
  if (owner.Sublattices.size() != 2) fail("needs two sublattices, of cations and of anions");
  cations_.clear();
  const auto& first = owner.Sublattices[0].Constituents;
  const auto& second = owner.Sublattices[1].Constituents;
  if (first.empty()) fail("needs a cation");
  if (static_cast<int>(first.size()) > kMax)
    fail("of more than " + std::to_string(kMax) + " cations is not handled");
  bool cation_b = false;
  for (size_t i = 0; i < first.size(); ++i) {
    const Constituent& c = first[i];
    if (!(c.Charge > 0)) fail("holds only cations (charge above 0) on its first sublattice");
    if ((c.A > 0) == (c.B > 0)) fail("with cations of both components is not handled");
    if (i == 0) cation_b = c.B > 0;
    if ((c.B > 0) != cation_b) fail("with cations of both components is not handled");
    for (size_t j = 0; j < i; ++j)
      if (first[j] == c) fail("names a cation twice");
    cations_.push_back({c.Charge, c.A + c.B});
  }
  anion_pos_ = va_pos_ = -1;
  for (size_t j = 0; j < second.size(); ++j) {
    const Constituent& c = second[j];
    if (c.A == 0 && c.B == 0 && c.Charge == 0) {
      if (va_pos_ >= 0) fail("names VA twice");
      va_pos_ = static_cast<int>(j);
    } else if (c.Charge < 0) {
      if (anion_pos_ >= 0) fail("with two anions is not handled");
      if ((c.A > 0) == (c.B > 0) || (c.B > 0) == cation_b)
        fail("needs an anion of the other component than its cations");
      anion_pos_ = static_cast<int>(j);
      anion_charge_ = -c.Charge;
      anion_atoms_ = c.A + c.B;
    } else {
      fail("with neutral species or cations on its second sublattice is not handled");
    }
  }
  if (anion_pos_ < 0 || va_pos_ < 0) fail("needs an anion and VA on its second sublattice");
  anion_is_b_ = !cation_b;

  const int nc = static_cast<int>(cations_.size());
  auto cation_of = [&](const Constituent& c) {
    for (int i = 0; i < nc; ++i)
      if (first[static_cast<size_t>(i)] == c) return i;
    fail("has a parameter naming a constituent its first sublattice does not hold");
    return -1;
  };
  auto anion_side_of = [&](const Constituent& c) {
    for (size_t j = 0; j < second.size(); ++j)
      if (second[j] == c) return static_cast<int>(j) == anion_pos_ ? 0 : 1;
    fail("has a parameter naming a constituent its second sublattice does not hold");
    return -1;
  };
  terms_.clear();
  sources_.clear();
  for (SublatticeModel::Parameter& p : owner.Parameters) {
    if (p.kind != SublatticeModel::Kind::G) fail("has no magnetic terms");
    if (p.On.size() != 2) fail("has a parameter without its two sublattices");
    if (p.On[0].size() > 2 || p.On[1].size() > 2)
      fail("has a parameter of three constituents on a sublattice (not handled)");
    if (p.On[0].size() == 2 && p.On[1].size() == 2)
      fail("has a reciprocal parameter (not handled)");
    Term t;
    t.value = static_cast<int>(sources_.size());
    for (size_t k = 0; k < p.On[0].size(); ++k) t.cat[k] = cation_of(p.On[0][k]);
    for (size_t k = 0; k < p.On[1].size(); ++k) t.an[k] = anion_side_of(p.On[1][k]);
    t.order = p.Order;
    if (p.On[0].size() == 2)
      t.diff_side = 0;
    else if (p.On[1].size() == 2)
      t.diff_side = 1;
    else if (p.Order != 0)
      fail("has an order on a parameter that names no interaction");
    t.times_q = p.On[1].size() == 1 && t.an[0] == 1;
    t.times_va = t.times_q && p.On[0].size() == 2;
    terms_.push_back(t);
    sources_.push_back(&p);
  }
  values_.assign(sources_.size(), 0);

  // The range: from the cations alone (x = 0 in the anion's component) to the cation whose
  // neutral compound with the anion holds the most of it.
  xa_max_ = 0;
  for (int i = 0; i < nc; ++i) {
    const Cation& c = cations_[static_cast<size_t>(i)];
    const double xa = c.charge * anion_atoms_ / (anion_charge_ * c.atoms + c.charge * anion_atoms_);
    if (xa > xa_max_) {
      xa_max_ = xa;
      top_cation_ = i;
    }
  }
  x_min_ = anion_is_b_ ? 0 : 1 - xa_max_;
  x_max_ = anion_is_b_ ? xa_max_ : 1;

  // Start points inside the simplex: (k_i + 1/2) / (r + nc/2) with sum k_i = r.
  cloud_.clear();
  int r = 1;
  while (nc > 1 && numeric::SimplexLatticeSize(nc, r + 1) <= static_cast<double>(kCloudBudget)) ++r;
  for (const std::vector<int>& k : numeric::SimplexLattice(nc, nc > 1 ? r : 0)) {
    std::vector<double> y(static_cast<size_t>(nc));
    for (int j = 0; j < nc; ++j)
      y[static_cast<size_t>(j)] = (k[static_cast<size_t>(j)] + 0.5) / (r + nc / 2.0);
    cloud_.push_back(std::move(y));
  }
  cloud_mixing_.clear();
  for (const auto& y : cloud_) {
    double mix = 0;
    for (double v : y) mix += XLogX(v);
    cloud_mixing_.push_back(mix);
  }
  ResetStarts();
}

void IonicLiquid::SetLevel(double T, double p) {
  if (has_level_ && T == T_ && p == p_) return;
  for (size_t k = 0; k < sources_.size(); ++k) {
    SublatticeModel::Parameter& par = *sources_[k];
    *par.T = T;
    *par.p = p;
    values_[k] = par.Value->Value();
  }
  T_ = T;
  p_ = p;
  RT_ = kDatabaseGasConstant * T;
  has_level_ = true;
  ++level_;
}

void IonicLiquid::ResetStarts() {
  for (Kept& k : slots_) k = {};
  last_ = {};
}

// G per formula unit at cation fractions y and anion fraction t; the atoms per formula unit
// into *atoms.
template <class S>
S IonicLiquid::Energy(const S* y, const S& t, S* atoms, const double* mixing) const {
  const int nc = static_cast<int>(cations_.size());
  const S va = 1.0 - t;
  S q = y[0] * 0.0, m = q, mix = q;
  for (int i = 0; i < nc; ++i) {
    const Cation& c = cations_[static_cast<size_t>(i)];
    q = q + y[i] * c.charge;
    m = m + y[i] * c.atoms;
    if (mixing == nullptr) mix = mix + XLogX(y[i]);
  }
  if (mixing != nullptr) mix = mix + *mixing;
  const S p = t * anion_charge_ + q * va;
  S g = RT_ * (p * mix + q * (XLogX(t) + XLogX(va)));
  for (const Term& term : terms_) {
    const double value = values_[static_cast<size_t>(term.value)];
    if (value == 0) continue;
    S f = y[0] * 0.0 + value;
    for (int c : term.cat)
      if (c >= 0) f = f * y[c];
    for (int a : term.an)
      if (a >= 0) f = f * (a == 0 ? t : va);
    if (term.order > 0 && term.diff_side == 0)
      f = f * Power(y[term.cat[0]] - y[term.cat[1]], term.order);
    if (term.order > 0 && term.diff_side == 1) {
      const S d = term.an[0] == 0 ? t - va : va - t;
      f = f * Power(d, term.order);
    }
    if (term.times_q) f = f * q;
    if (term.times_va) f = f * va;
    g = g + f;
  }
  *atoms = p * m + q * t * anion_atoms_;
  return g;
}

double IonicLiquid::AnionFraction(const double* y, double xa) const {
  double q = 0, m = 0, w = 0;
  for (size_t i = 0; i < cations_.size(); ++i) {
    const Cation& c = cations_[i];
    q += y[i] * c.charge;
    m += y[i] * c.atoms;
    w += y[i] * Margin(c, xa);
  }
  if (xa == 0) return 0;
  if (!(w > 0)) return kInf;
  return xa * m * q / (xa * m * q + w);
}

double IonicLiquid::Margin(const Cation& c, double xa) const {
  return c.charge * anion_atoms_ * (1 - xa) - xa * anion_charge_ * c.atoms;
}

double IonicLiquid::EnergyOfCations(const double* y, double xa, const double* mixing,
                                    bool face) const {
  for (size_t i = 0; i < cations_.size(); ++i)
    if (!(y[i] > 0)) return kInf;
  const double t = face ? 1 : AnionFraction(y, xa);
  if (!(t < 1) && !face) return kInf;
  double atoms = 0;
  const double g = Energy(y, t, &atoms, mixing);
  return g / atoms;
}

double IonicLiquid::EnergyAt(const std::vector<double>& y, std::vector<double>* gradient,
                             std::vector<double>* hessian) const {
  if (gradient) gradient->clear();
  if (hessian) hessian->clear();
  const size_t nc = cations_.size();
  double atoms = 0;
  const double g = Energy(y.data(), y[nc + static_cast<size_t>(anion_pos_)], &atoms);
  return g / atoms;
}

double IonicLiquid::CompositionAt(const std::vector<double>& y) const {
  const size_t nc = cations_.size();
  const double t = y[nc + static_cast<size_t>(anion_pos_)];
  double q = 0, m = 0;
  for (size_t i = 0; i < nc; ++i) {
    q += y[i] * cations_[i].charge;
    m += y[i] * cations_[i].atoms;
  }
  const double p = t * anion_charge_ + q * (1 - t);
  const double an = q * t * anion_atoms_, all = p * m + an;
  return anion_is_b_ ? an / all : (all - an) / all;
}

std::vector<double> IonicLiquid::Flattened(const std::vector<double>& y, double xa,
                                           bool face) const {
  std::vector<double> out = y;
  const double t = face ? 1 : AnionFraction(y.data(), xa);
  out.resize(cations_.size() + 2);
  out[cations_.size() + static_cast<size_t>(anion_pos_)] = t;
  out[cations_.size() + static_cast<size_t>(va_pos_)] = 1 - t;
  return out;
}

double IonicLiquid::Newton(double xa, std::vector<double>& y, bool sweep, bool face,
                           bool* at_face) {
  const int n = static_cast<int>(cations_.size());
  if (stats_) ++stats_->newton_runs;
  double f = EnergyOfCations(y.data(), xa, nullptr, face);
  if (!std::isfinite(f)) return kInf;
  const int rows = face ? 2 : 1;
  if (n <= rows) return f;
  // An orthonormal basis of the changes that keep the fractions' sum (and on the face W).
  Mat A = Mat::Ones(n, rows);
  if (face)
    for (int i = 0; i < n; ++i) A(i, 1) = Margin(cations_[static_cast<size_t>(i)], xa);
  const Mat Q = Eigen::HouseholderQR<Mat>(A).householderQ();
  const Mat B = Q.rightCols(n - rows);
  std::vector<double> trial(static_cast<size_t>(n));
  for (int it = 0; it < kMaxIterations; ++it) {
    if (stats_) ++stats_->iterations;
    // The anion fraction as a function of the cation fractions, then Gm.
    Dual yd[kMax];
    for (int i = 0; i < n; ++i) yd[i] = Dual::Variable(n, y[static_cast<size_t>(i)], i);
    Dual q = Dual::Constant(n, 0), m = q, w = q;
    for (int i = 0; i < n; ++i) {
      const Cation& c = cations_[static_cast<size_t>(i)];
      q += yd[i] * c.charge;
      m += yd[i] * c.atoms;
      w += yd[i] * Margin(c, xa);
    }
    // Against the face the vacancies' fraction falls below what W resolves (its terms cancel):
    // the face's own minimum takes over.
    double scale = 0;
    for (int i = 0; i < n; ++i)
      scale += std::abs(y[static_cast<size_t>(i)] * Margin(cations_[static_cast<size_t>(i)], xa));
    if (!face && w.v < 1e-11 * scale) {
      if (at_face) *at_face = true;
      break;
    }
    Dual t = Dual::Constant(n, face ? 1 : 0);
    if (xa > 0 && !face) {
      const Dual num = (m * q) * xa;
      t = num / (num + w);
    }
    Dual atoms;
    const Dual g = Energy(yd, t, &atoms);
    const Dual F = g / atoms;
    if (stats_) ++stats_->evaluations;
    Vec grad(n);
    Mat hess(n, n);
    for (int i = 0; i < n; ++i) {
      grad(i) = F.g[i];
      for (int j = 0; j < n; ++j) hess(i, j) = F.h[i * n + j];
    }
    const Vec gr = B.transpose() * grad;
    const Mat hr = B.transpose() * hess * B;
    Eigen::SelfAdjointEigenSolver<Mat> es(hr);
    Vec lam = es.eigenvalues();
    const double top = std::max(1e-300, lam.cwiseAbs().maxCoeff());
    for (int k = 0; k < lam.size(); ++k) lam(k) = std::max(std::abs(lam(k)), 1e-10 * top);
    const Vec s = -es.eigenvectors() * (es.eigenvectors().transpose() * gr).cwiseQuotient(lam);
    const double decrease = -0.5 * gr.dot(s);
    if (!(decrease > kPredictedDecrease)) break;
    const Vec d = B * s;
    const bool last = sweep && decrease < kSweepPredictedDecrease;
    // Stay inside: no fraction below a hundredth of its value in one step, nor W (the margin
    // of the vacancies, linear in the cation fractions).
    double alpha = 1;
    for (int i = 0; i < n; ++i)
      if (d(i) < 0) alpha = std::min(alpha, 0.99 * y[static_cast<size_t>(i)] / -d(i));
    double wd = 0;
    for (int i = 0; i < n; ++i) wd += d(i) * w.g[i];
    if (wd < 0 && !face) alpha = std::min(alpha, 0.99 * w.v / -wd);
    bool moved = false;
    for (int tries = 0; tries < 60; ++tries) {
      for (int i = 0; i < n; ++i)
        trial[static_cast<size_t>(i)] = y[static_cast<size_t>(i)] + alpha * d(i);
      const double ft = EnergyOfCations(trial.data(), xa, nullptr, face);
      if (stats_) ++stats_->evaluations;
      if (ft <= f - 1e-4 * alpha * 2 * decrease || (ft <= f && alpha < 1e-3)) {
        moved = ft < f || alpha == 1;
        y = trial;
        f = ft;
        break;
      }
      alpha *= 0.5;
    }
    if (!moved || last) break;
  }
  return f;
}

std::vector<double> IonicLiquid::OntoFace(std::vector<double> y, double xa) const {
  // Towards the cations of the other sign of margin, until W = 0.
  double w = 0;
  for (size_t i = 0; i < y.size(); ++i) w += y[i] * Margin(cations_[i], xa);
  std::vector<double> e(y.size(), 0.0);
  double sum = 0, we = 0;
  for (size_t i = 0; i < y.size(); ++i) {
    const double m = Margin(cations_[i], xa);
    if ((w > 0 && m < 0) || (w <= 0 && m > 0)) e[i] = y[i] + 1e-3;
    sum += e[i];
  }
  if (sum == 0) return {};
  for (size_t i = 0; i < y.size(); ++i) {
    e[i] /= sum;
    we += e[i] * Margin(cations_[i], xa);
  }
  const double lambda = w / (w - we);
  if (!(lambda >= 0 && lambda < 1)) return {};
  for (size_t i = 0; i < y.size(); ++i) y[i] += lambda * (e[i] - y[i]);
  return y;
}

double IonicLiquid::Minimum(double x, int slot, std::vector<double>& constitution) {
  if (!(x >= x_min_ - 1e-12 && x <= x_max_ + 1e-12)) return kNaN;
  x = std::clamp(x, x_min_, x_max_);
  const double xa = anion_is_b_ ? x : 1 - x;
  const size_t nc = cations_.size();
  if (xa >= xa_max_ - 1e-13) {
    // The top of the range: the cation of most anions, all sites of the second sublattice
    // taken by the anion.
    std::vector<double> y(nc, 0.0);
    y[static_cast<size_t>(top_cation_)] = 1;
    constitution = y;
    constitution.resize(nc + 2);
    constitution[nc + static_cast<size_t>(anion_pos_)] = 1;
    constitution[nc + static_cast<size_t>(va_pos_)] = 0;
    return EnergyAt(constitution);
  }
  double best = kInf;
  std::vector<double> best_y;
  bool best_face = false;
  std::vector<std::vector<double>> tried;
  // From a start inside; where that runs against the face of no vacancies, or the start lay
  // on it, the face's minimum too.
  auto attempt = [&](std::vector<double> y, bool on_face = false) {
    if (y.size() != nc) return;
    for (const auto& t : tried) {
      double d = 0;
      for (size_t i = 0; i < nc; ++i) d = std::max(d, std::abs(t[i] - y[i]));
      if (d < 1e-9) return;
    }
    tried.push_back(y);
    bool at_face = false;
    double f = on_face ? kInf : Newton(xa, y, slot >= 0, false, &at_face);
    bool face = false;
    if (at_face || on_face) {
      std::vector<double> yf = OntoFace(y, xa);
      const double ff = yf.empty() ? kInf : Newton(xa, yf, slot >= 0, true, nullptr);
      if (ff < f) {
        f = ff;
        y = std::move(yf);
        face = true;
      }
    }
    if (f < best) {
      best = f;
      best_y = std::move(y);
      best_face = face;
    }
  };
  // The best of the start points, and where none lies inside at this X one that does: the
  // cations weighted towards those that can hold the anion.
  auto search = [&] {
    double fbest = kInf;
    const std::vector<double>* pick = nullptr;
    for (size_t k = 0; k < cloud_.size(); ++k) {
      const std::vector<double>& y = cloud_[k];
      const double f = EnergyOfCations(y.data(), xa, &cloud_mixing_[k]);
      if (f < fbest) {
        fbest = f;
        pick = &y;
      }
    }
    if (pick != nullptr) {
      attempt(*pick);
      return;
    }
    std::vector<double> y(nc);
    for (double eps = 1e-3; eps > 1e-14; eps *= 0.01) {
      double sum = 0;
      for (size_t i = 0; i < nc; ++i) {
        const Cation& c = cations_[i];
        const double w = c.charge * anion_atoms_ * (1 - xa) - xa * anion_charge_ * c.atoms;
        y[i] = std::max(w, 0.0) + eps;
        sum += y[i];
      }
      for (double& v : y) v /= sum;
      if (std::isfinite(EnergyOfCations(y.data(), xa))) {
        attempt(y);
        return;
      }
    }
  };
  if (stats_) ++stats_->minimisations;
  if (slot >= 0) {
    if (static_cast<size_t>(slot) >= slots_.size()) slots_.resize(static_cast<size_t>(slot) + 1);
    Kept& kept = slots_[static_cast<size_t>(slot)];
    attempt(kept.y, kept.face);
    if (kept.searched < 0 || !std::isfinite(best) || level_ - kept.searched >= kSearchEvery) {
      if (std::abs(last_.x - x) < 0.05) attempt(last_.y);
      search();
      kept.searched = level_;
    }
  } else {
    if (std::abs(last_.x - x) < 0.05) attempt(last_.y, last_.face);
    if (!std::isfinite(best)) {
      size_t near = slots_.size();
      for (size_t k = 0; k < slots_.size(); ++k)
        if (!slots_[k].y.empty() &&
            (near == slots_.size() || std::abs(slots_[k].x - x) < std::abs(slots_[near].x - x)))
          near = k;
      if (near < slots_.size()) attempt(slots_[near].y, slots_[near].face);
    }
    if (!std::isfinite(best)) search();
  }
  if (slot >= 0) {
    slots_[static_cast<size_t>(slot)].x = x;
    slots_[static_cast<size_t>(slot)].y = best_y;
    slots_[static_cast<size_t>(slot)].face = best_face;
  }
  if (!std::isfinite(best)) return kNaN;
  last_.x = x;
  last_.y = best_y;
  last_.face = best_face;
  constitution = Flattened(best_y, xa, best_face);
  return best;
}

}  // namespace calc
