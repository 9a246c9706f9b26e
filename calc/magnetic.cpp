#include "calc/magnetic.h"

#include <cmath>

namespace calc {

MagneticG IndenHillertJarl(double tau, double p) {
  const double A = 518.0 / 1125.0 + (11692.0 / 15975.0) * (1 / p - 1);
  MagneticG r;
  if (tau <= 1) {
    const double k = (474.0 / 497.0) * (1 / p - 1);
    const double t2 = tau * tau, t3 = t2 * tau, t6 = t3 * t3, t7 = t6 * tau, t8 = t7 * tau;
    const double t9 = t8 * tau, t12 = t6 * t6, t13 = t12 * tau, t14 = t13 * tau, t15 = t14 * tau;
    const double c = 79.0 / (140.0 * p);
    r.g = 1 - (c / tau + k * (t3 / 6 + t9 / 135 + t15 / 600)) / A;
    r.d1 = -(-c / t2 + k * (t2 / 2 + t8 / 15 + t14 / 40)) / A;
    r.d2 = -(2 * c / t3 + k * (tau + 8 * t7 / 15 + 14 * t13 / 40)) / A;
  } else {
    const double i1 = 1 / tau, i5 = std::pow(i1, 5), i15 = i5 * i5 * i5, i25 = i15 * i5 * i5;
    r.g = -(i5 / 10 + i15 / 315 + i25 / 1500) / A;
    r.d1 = (i5 / 2 + i15 / 21 + i25 / 60) * i1 / A;
    r.d2 = -(3 * i5 + (16.0 / 21.0) * i15 + (26.0 / 60.0) * i25) * i1 * i1 / A;
  }
  return r;
}

MagneticEnergy MagneticContribution(double R, double T, double tc, double beta, double p) {
  MagneticEnergy e;
  // Below a thousandth of a kelvin the function is zero to within rounding (tau^-5 / 10 of a
  // few 1e-16 at room temperature); no magnetic ordering at all is the same.
  if (!(tc > 1e-3) || !(beta > 0)) return e;
  const double tau = T / tc;
  const MagneticG g = IndenHillertJarl(tau, p);
  const double L = std::log1p(beta), RT = R * T;
  const double dtau = -tau / tc, ddtau = 2 * tau / (tc * tc);
  e.g = RT * L * g.g;
  e.d_beta = RT * g.g / (1 + beta);
  e.d_tc = RT * L * g.d1 * dtau;
  e.d_beta_beta = -RT * g.g / ((1 + beta) * (1 + beta));
  e.d_tc_beta = RT * g.d1 * dtau / (1 + beta);
  e.d_tc_tc = RT * L * (g.d2 * dtau * dtau + g.d1 * ddtau);
  return e;
}

}  // namespace calc
