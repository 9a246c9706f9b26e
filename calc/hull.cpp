#include "calc/hull.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace calc {

const T_PT& Hull::Run(std::span<const double> x, std::span<const double> g) {
  if (identity_.size() != x.size()) {
    identity_.resize(x.size());
    std::iota(identity_.begin(), identity_.end(), 0);
  }
  return Run(x, g, identity_);
}

const T_PT& Hull::Run(std::span<const double> x, std::span<const double> g,
                      std::span<const int32_t> index) {
  const size_t n = x.size();
  if (g.size() != n) throw std::invalid_argument("Hull: X and G differ in length");
  for (int32_t p : index) {
    if (p < 0 || static_cast<size_t>(p) >= n) throw std::out_of_range("Hull: point index out of range");
  }
  x_ = x;
  g_ = g;
  marks_.assign(n, 0);
  work_.assign(index.begin(), index.end());
  const int32_t count = static_cast<int32_t>(index.size());
  if (count == 0) return marks_;
  if (count == 1) {
    marks_[static_cast<size_t>(index[0])] = 1;
    return marks_;
  }
  int32_t lo = work_[0], hi = work_[0];
  for (int32_t i = 1; i < count; ++i) {
    const int32_t p = work_[static_cast<size_t>(i)];
    if (x_[static_cast<size_t>(p)] < x_[static_cast<size_t>(lo)]) lo = p;
    if (x_[static_cast<size_t>(p)] > x_[static_cast<size_t>(hi)]) hi = p;
  }
  marks_[static_cast<size_t>(lo)] = 1;
  marks_[static_cast<size_t>(hi)] = 1;
  for (const auto& [a, b] : {std::pair{lo, hi}, std::pair{hi, lo}}) {
    const size_t at = work_.size();
    const int32_t c = LeftSet(0, count, a, b);
    Recurse(at, c);
    work_.resize(at);
  }
  return marks_;
}

int32_t Hull::LeftSet(size_t from, int32_t count, int32_t a, int32_t b) {
  const size_t start = work_.size();
  // Room for the whole input list (a and b are members of it); the list is read by index, so
  // growing the work area while it is built is safe, this only keeps growth geometric.
  const size_t need = start + static_cast<size_t>(count);
  if (need > work_.capacity()) work_.reserve(std::max(need, 2 * work_.capacity()));
  work_.push_back(a);
  work_.push_back(b);
  const double xa = x_[static_cast<size_t>(a)], ga = g_[static_cast<size_t>(a)];
  const double xb = x_[static_cast<size_t>(b)], gb = g_[static_cast<size_t>(b)];
  for (int32_t i = 0; i < count; ++i) {
    const int32_t p = work_[from + static_cast<size_t>(i)];
    if (p == a || p == b) continue;
    if (Area(x_[static_cast<size_t>(p)], g_[static_cast<size_t>(p)], xa, ga, xb, gb) > 0) work_.push_back(p);
  }
  return static_cast<int32_t>(work_.size() - start);
}

// Quickhull with its recursion kept in stack_ instead of the call stack: a run of hundreds of
// thousands of points may nest that deep. A child list takes its points from the parent's
// candidates only, never from the parent's own edge ends: in exact arithmetic those are not
// left of the new edges anyway, but with energies near 1e20 the area's rounding can say they
// are, and a list that does not shrink recursed without end. So every child list is shorter
// than its parent and the marking always ends.
void Hull::Recurse(size_t from, int32_t count) {
  stack_.clear();
  stack_.push_back({from, count});
  while (!stack_.empty()) {
    const Frame fr = stack_.back();
    const int32_t a = work_[fr.from], b = work_[fr.from + 1];
    const size_t candidates = fr.from + 2;
    switch (fr.stage) {
      case Frame::Start: {
        if (fr.count <= 2) {
          stack_.pop_back();
          break;
        }
        if (fr.count == 3) {
          marks_[static_cast<size_t>(work_[candidates])] = 1;
          stack_.pop_back();
          break;
        }
        // Farthest: the largest area left of a -> b; only a strictly larger area replaces the
        // best.
        int32_t f = work_[candidates];
        double best = AreaOf(f, a, b);
        for (int32_t i = 3; i < fr.count; ++i) {
          const int32_t p = work_[fr.from + static_cast<size_t>(i)];
          const double area = AreaOf(p, a, b);
          if (area > best) {
            best = area;
            f = p;
          }
        }
        marks_[static_cast<size_t>(f)] = 1;
        const size_t end = work_.size();
        stack_.back() = {fr.from, fr.count, Frame::LeftDone, f, end};
        stack_.push_back({end, LeftSet(candidates, fr.count - 2, a, f)});
        break;
      }
      case Frame::LeftDone:
        work_.resize(fr.end);
        stack_.back().stage = Frame::RightDone;
        stack_.push_back({fr.end, LeftSet(candidates, fr.count - 2, fr.f, b)});
        break;
      case Frame::RightDone:
        work_.resize(fr.end);
        stack_.pop_back();
        break;
    }
  }
}

}  // namespace calc
