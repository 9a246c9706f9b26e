#pragma once
// Convex hull marks by a quickhull recursion over a point set (X, G). The level step offers the
// points that survive its chord filter, so the marked points are the lower hull of the level
// and its two end points.
//
// Only strict left turns count: a point exactly on a hull edge (zero area) is never marked, so
// a grid node lying exactly on a tie line counts as inside the two-phase region. Ties go to
// the earliest point in index order (see Extremes and Farthest).
//
// One Hull object is meant to be reused level after level: the marks and the working lists
// keep their storage, so after the first few levels a run allocates nothing here.

#include <cstdint>
#include <span>
#include <vector>

namespace calc {

using T_PT = std::vector<int32_t>;

class Hull {
 public:
  // Marks the hull vertices of the n = x.size() points (g.size() must equal it; the index list
  // is 0 .. n-1). Returns the marks: n entries, 1 for a hull vertex, 0 otherwise. With one point
  // that point is marked; with none the marks are empty. The reference stays valid until the
  // next call.
  const T_PT& Run(std::span<const double> x, std::span<const double> g);

  // The same with a caller's index list (a permutation of 0 .. n-1, or any list of distinct
  // point indices below n): the order of the list decides the ties. Points not in the list are
  // never marked.
  const T_PT& Run(std::span<const double> x, std::span<const double> g,
                  std::span<const int32_t> index);

  const T_PT& Marks() const { return marks_; }

  // Twice the signed area of the triangle p, a, b, computed in this form with p as the base:
  // positive when p lies strictly to the left of the directed line a -> b.
  static double Area(double xp, double gp, double xa, double ga, double xb, double gb) {
    return (xa - xp) * (gb - gp) - (ga - gp) * (xb - xp);
  }

 private:
  double AreaOf(int32_t p, int32_t a, int32_t b) const {
    return Area(x_[static_cast<size_t>(p)], g_[static_cast<size_t>(p)], x_[static_cast<size_t>(a)],
                g_[static_cast<size_t>(a)], x_[static_cast<size_t>(b)], g_[static_cast<size_t>(b)]);
  }
  // Appends to the work area a list holding a, b and then, in order, every point of the list
  // at [from, from + count) other than a and b that lies strictly left of a -> b. Returns the
  // new list's count; it starts at the work area's old size.
  int32_t LeftSet(size_t from, int32_t count, int32_t a, int32_t b);
  // Marks the hull vertices beyond the edge list[0] -> list[1] of the list at [from, from+count).
  void Recurse(size_t from, int32_t count);

  std::span<const double> x_, g_;
  T_PT marks_;
  T_PT identity_;  // 0 .. n-1, kept between runs of the same size
  // All working lists of a run, stacked: a list lives from its LeftSet until its Recurse ends.
  T_PT work_;
  // The lists whose marking is under way, innermost last.
  struct Frame {
    size_t from;
    int32_t count;
    enum Stage { Start, LeftDone, RightDone } stage = Start;
    int32_t f = -1;  // the farthest point, once found
    size_t end = 0;  // the work area's size when the list's children began
  };
  std::vector<Frame> stack_;
};

}  // namespace calc
