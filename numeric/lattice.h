#pragma once
// The points of a simplex lattice: the ways to share `total` equal parts among `parts` places
// (each place's count from 0), as used to sample the site fractions of a sublattice (count /
// total).

#include <vector>

namespace numeric {

// How many points the lattice has: binomial(total + parts - 1, parts - 1).
inline double SimplexLatticeSize(int parts, int total) {
  double c = 1;
  for (int i = 1; i < parts; ++i) c = c * (total + i) / i;
  return c;
}

// The lattice's points, the first place's count varying slowest.
inline std::vector<std::vector<int>> SimplexLattice(int parts, int total) {
  std::vector<std::vector<int>> out;
  if (parts < 1) return out;
  std::vector<int> c(static_cast<size_t>(parts), 0);
  auto fill = [&](auto& self, int i, int left) -> void {
    if (i == parts - 1) {
      c[static_cast<size_t>(i)] = left;
      out.push_back(c);
      return;
    }
    for (int a = 0; a <= left; ++a) {
      c[static_cast<size_t>(i)] = a;
      self(self, i + 1, left - a);
    }
  };
  fill(fill, 0, total);
  return out;
}

}  // namespace numeric
