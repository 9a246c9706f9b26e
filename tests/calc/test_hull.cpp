#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "calc/hull.h"

namespace {

using calc::Hull;
using calc::T_PT;
using Pts = std::vector<std::pair<double, double>>;

T_PT MarksOf(Hull& h, const Pts& pts) {
  std::vector<double> x, g;
  for (const auto& [px, pg] : pts) {
    x.push_back(px);
    g.push_back(pg);
  }
  return h.Run(x, g);
}

TEST(Hull, SmallSets) {
  struct Case {
    std::string name;
    Pts points;
    T_PT marks;
  };
  const std::vector<Case> cases = {
      {"valley", {{0, 0}, {0.5, -1}, {1, 0}}, {1, 1, 1}},
      {"collinear middle is not a vertex", {{0, 0}, {0.5, 0}, {1, 0}}, {1, 0, 1}},
      {"five on a convex curve", {{0, 0}, {0.25, -1}, {0.5, -1.5}, {0.75, -1}, {1, 0}}, {1, 1, 1, 1, 1}},
      {"inner point adds nothing",
       {{0, 0}, {0.25, -1}, {0.5, -1.5}, {0.75, -1}, {1, 0}, {0.5, -1.2}},
       {1, 1, 1, 1, 1, 0}},
      {"shared smallest X: first by Extremes, second as single lower candidate",
       {{0, 0}, {0, -1}, {1, 0}},
       {1, 1, 1}},
      {"grid node exactly on a tie line stays inside",
       {{0, 0}, {0.25, -2}, {0.5, -1.5}, {0.75, -1}, {1, 0}},
       {1, 1, 0, 1, 1}},
      {"points above the chord are marked on the upper side",
       {{0, 0}, {0.5, 3}, {1, 0}, {0.5, -1}},
       {1, 1, 1, 1}},
      {"duplicate vertex: earliest copy only", {{0, 0}, {0.5, -1}, {0.5, -1}, {1, 0}}, {1, 1, 0, 1}},
      {"duplicate end: earliest copy only", {{1, 0}, {0, 0}, {0.5, -1}, {0, 0}}, {1, 1, 1, 0}},
      {"equal farthest areas: both found", {{0, 0}, {0.25, -1}, {0.75, -1}, {1, 0}}, {1, 1, 1, 1}},
      {"two points", {{0.3, 1}, {0.7, 2}}, {1, 1}},
      // Farthest keeps the earliest of equal areas, even when that point lies inside a hull
      // edge: (11, 10) lies on the edge (3, 2)-(13, 12) but is first of the three tied points.
      // Points in ascending X never meet this (the earliest of a tied line is its end).
      {"earliest tied farthest point is marked even inside an edge",
       {{2, -1}, {11, 10}, {13, 10}, {13, 12}, {3, 2}},
       {1, 1, 1, 1, 1}},
      {"the same points in ascending X",
       {{2, -1}, {3, 2}, {11, 10}, {13, 10}, {13, 12}},
       {1, 1, 0, 1, 1}},
      {"all at one X: only the first is marked", {{0.5, 1}, {0.5, 0}, {0.5, 2}}, {1, 0, 0}},
      {"one point", {{0.5, 1}}, {1}},
      {"no points", {}, {}},
  };
  Hull h;
  for (const Case& c : cases) {
    EXPECT_EQ(MarksOf(h, c.points), c.marks) << c.name;
    Hull fresh;
    EXPECT_EQ(MarksOf(fresh, c.points), c.marks) << c.name << " (fresh object)";
  }
}

TEST(Hull, AreaIsComputedWithTheFirstPointAsBase) {
  // Twice the signed area, positive for a point strictly left of a -> b.
  EXPECT_EQ(Hull::Area(0, 1, 0, 0, 1, 0), 1.0);
  EXPECT_EQ(Hull::Area(0, -1, 0, 0, 1, 0), -1.0);
  EXPECT_EQ(Hull::Area(0.5, 0, 0, 0, 1, 0), 0.0);
  // The form matters in floating point: with p as the base, a point on the line through a
  // and b at huge offsets still gives exactly zero here.
  EXPECT_EQ(Hull::Area(1e16, 1e16, 1e16 + 2, 1e16 + 2, 1e16 + 4, 1e16 + 4), 0.0);
}

TEST(Hull, IndexListOrderDecidesTiesAndLimitsThePoints) {
  const std::vector<double> x = {0, 0, 1, 0.5, 0.5};
  const std::vector<double> g = {0, -1, 0, -3, 5};
  Hull h;
  // Only points 0, 1, 2 are offered, first 1 then 0: now point 1 is the Extremes winner and
  // point 0 lies above the line 1 -> 2, a vertex of the upper side.
  EXPECT_EQ(h.Run(x, g, std::vector<int32_t>{1, 0, 2}), (T_PT{1, 1, 1, 0, 0}));
  EXPECT_EQ(h.Run(x, g, std::vector<int32_t>{2, 3}), (T_PT{0, 0, 1, 1, 0}));
  EXPECT_THROW(h.Run(x, g, std::vector<int32_t>{0, 7}), std::out_of_range);
  EXPECT_THROW(h.Run(x, std::vector<double>{1, 2}), std::invalid_argument);
}

// Straightforward reference: the strict vertices of the convex hull by the monotone chain over
// the distinct points (collinear points dropped), each given to its earliest copy, plus the
// first point with the smallest X and the first with the largest X (which the hull marks even
// when it lies inside a vertical edge).
T_PT Reference(const std::vector<double>& x, const std::vector<double>& g) {
  const size_t n = x.size();
  T_PT marks(n, 0);
  if (n == 0) return marks;
  std::map<std::pair<double, double>, int32_t> first;
  for (size_t i = 0; i < n; ++i) first.emplace(std::pair{x[i], g[i]}, static_cast<int32_t>(i));
  std::vector<std::pair<double, double>> pts;
  for (const auto& [p, i] : first) pts.push_back(p);  // sorted by (x, g), unique
  auto cross = [](auto o, auto a, auto b) {
    return (a.first - o.first) * (b.second - o.second) - (a.second - o.second) * (b.first - o.first);
  };
  std::vector<std::pair<double, double>> chain;
  for (int pass = 0; pass < 2; ++pass) {
    const size_t base = chain.size();
    for (size_t k = 0; k < pts.size(); ++k) {
      const auto& p = pass == 0 ? pts[k] : pts[pts.size() - 1 - k];
      while (chain.size() >= base + 2 && cross(chain[chain.size() - 2], chain.back(), p) <= 0) chain.pop_back();
      chain.push_back(p);
    }
  }
  size_t lo = 0, hi = 0;
  for (size_t i = 1; i < n; ++i) {
    if (x[i] < x[lo]) lo = i;
    if (x[i] > x[hi]) hi = i;
  }
  // All points at one X: the two extremes are one point and there is no edge to look beyond.
  if (lo != hi) {
    for (const auto& p : chain) marks[static_cast<size_t>(first.at(p))] = 1;
  }
  marks[lo] = marks[hi] = 1;
  return marks;
}

TEST(Hull, MarksMatchAStraightforwardReferenceOnRandomSets) {
  std::mt19937 rng(20261209);
  Hull h;  // one object for every set, as the sweep uses it
  int compared = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const int n = 2 + static_cast<int>(rng() % (trial < 2000 ? 12 : 300));
    // Small integer coordinates: exact arithmetic, many collinear and repeated points.
    const int span = 1 + static_cast<int>(rng() % 20);
    std::vector<double> x(static_cast<size_t>(n)), g(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      x[static_cast<size_t>(i)] = static_cast<double>(rng() % static_cast<unsigned>(span + 1));
      g[static_cast<size_t>(i)] = static_cast<double>(rng() % 41) - 20;
    }
    // In ascending X, as the level step offers its points (equal X in random order of G): then
    // of several points tied as farthest on one line the earliest is an end of that line.
    std::vector<size_t> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return x[a] < x[b]; });
    std::vector<double> sx, sg;
    for (size_t i : order) {
      sx.push_back(x[i]);
      sg.push_back(g[i]);
    }
    x.swap(sx);
    g.swap(sg);
    std::string where;
    for (int i = 0; i < n && i < 40; ++i) {
      where += " (" + std::to_string(static_cast<int>(x[static_cast<size_t>(i)])) + "," +
               std::to_string(static_cast<int>(g[static_cast<size_t>(i)])) + ")";
    }
    ASSERT_EQ(h.Run(x, g), Reference(x, g)) << "trial " << trial << ":" << where;
    ++compared;
  }
  EXPECT_EQ(compared, 3000);
}

TEST(Hull, LevelLikeSetsMatchTheReference) {
  // One point per X level on a curve with a double well, energies in the thousands as in a
  // real sweep, plus a few point phases: the shape the level step produces.
  std::mt19937 rng(7);
  Hull h;
  for (int level = 0; level < 200; ++level) {
    const int n = 101 + level * 7;
    std::vector<double> x, g;
    for (int i = 0; i < n; ++i) {
      const double xi = static_cast<double>(i) / (n - 1);
      x.push_back(xi);
      g.push_back(std::round(-4000 * (xi - 0.2) * (xi - 0.2) * (xi - 0.8) * (xi - 0.8) * 1e4 -
                             level * 20 * xi));
    }
    for (int k = 0; k < 3; ++k) {
      x.push_back(static_cast<double>(rng() % 97) / 96);
      g.push_back(-static_cast<double>(rng() % 3000));
    }
    ASSERT_EQ(h.Run(x, g), Reference(x, g)) << "level " << level;
  }
}

}  // namespace

namespace {

// Energies near 1e20 (a typo in a coefficient gets there): the area's rounding can put a list's
// own edge end left of its new edges, and the marking recursed without end (a stack overflow).
// Now it ends, with both ends marked.
TEST(Hull, HugeEnergiesEndWithBothEndsMarked) {
  // GL = -1E20*(1-X) - T*Sid beside GS = 0 at every X level, as a level offers them.
  Hull h;
  for (const double t : {300.0, 430.0, 560.0}) {
    std::vector<double> x, g;
    for (int i = 0; i <= 100; ++i) {
      const double xi = i / 100.0;
      const double sid =
          xi > 0 && xi < 1 ? -8.314 * (xi * std::log(xi) + (1 - xi) * std::log1p(-xi)) : 0;
      x.insert(x.end(), {xi, xi});
      g.insert(g.end(), {-1e20 * (1 - xi) - t * sid, 0});
    }
    const T_PT& marks = h.Run(x, g);
    EXPECT_EQ(marks.front(), 1) << t;
    EXPECT_EQ(marks[marks.size() - 2] + marks.back(), 1) << t;  // one point at X = 1
  }
}

}  // namespace
