#pragma once
// The magnetic contribution to the Gibbs energy of a phase, as assessed databases model it
// (Inden's function as simplified by Hillert and Jarl):
//
//   G_mag = R T ln(beta + 1) g(tau),  tau = T / TC,
//
// where TC is the Curie (or Neel) temperature and beta the mean magnetic moment in Bohr
// magnetons, both functions of the phase's constitution, and p the structure factor of the
// lattice (0.40 for bcc, 0.28 for the others). Anti-ferromagnetic values (TC or beta below 0)
// are divided by the lattice's factor (-1 for bcc, -3 for fcc and hcp) before use.

namespace calc {

// g(tau) and its first two derivatives in tau.
struct MagneticG {
  double g = 0, d1 = 0, d2 = 0;
};

// The function g for structure factor p at tau > 0.
MagneticG IndenHillertJarl(double tau, double p);

// G_mag with its first and second derivatives in TC and beta (the values already divided by
// the anti-ferromagnetic factor where negative). TC <= 0 or beta <= 0 contributes nothing.
struct MagneticEnergy {
  double g = 0;
  double d_tc = 0, d_beta = 0;
  double d_tc_tc = 0, d_tc_beta = 0, d_beta_beta = 0;
};
MagneticEnergy MagneticContribution(double R, double T, double tc, double beta, double p);

}  // namespace calc
