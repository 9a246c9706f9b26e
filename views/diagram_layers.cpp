#include "views/diagram_layers.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <numeric>
#include <string>

#include "calc/cell_grid.h"

namespace views {

namespace {

constexpr double kJoinDistance = 0.15;
// Pixels within which a field's label would repeat the label of a larger field of the same
// phases.
constexpr double kRepeatDistance = 100;

QString Phases(const std::string& left, const std::string& right) {
  const QString a = QString::fromStdString(left);
  if (left == right) return a + QStringLiteral("′ + ") + a + QStringLiteral("″");
  return a + QStringLiteral(" + ") + QString::fromStdString(right);
}

// Tie-line ends of one level: (left phase, left X, right phase, right X).
struct TieLine {
  std::string left, right;
  double xLeft, xRight, y;
  calc::PhaseIndex leftPhase, rightPhase;
};

void Join(std::map<int, std::vector<TieLine>>& levels, std::vector<BoundaryLine>& out) {
  struct Open {
    size_t line;
    int level;
  };
  std::vector<Open> open;
  for (const auto& [level, ties] : levels) {
    std::vector<bool> taken(open.size(), false);
    std::vector<Open> next;
    auto place = [&](const std::string& key, const std::string& phase, calc::PhaseIndex index,
                     double x, double y) {
      size_t best = open.size();
      double bestDx = kJoinDistance;
      for (size_t i = 0; i < open.size(); ++i) {
        const BoundaryLine& line = out[open[i].line];
        if (taken[i] || open[i].level != level - 1 || line.key != key) continue;
        const double dx = std::abs(line.points.back().x() - x);
        if (dx <= bestDx) {
          bestDx = dx;
          best = i;
        }
      }
      if (best < open.size()) {
        taken[best] = true;
        out[open[best].line].points.push_back({x, y});
        next.push_back({open[best].line, level});
      } else {
        out.push_back({key, {{x, y}}, phase, index});
        next.push_back({out.size() - 1, level});
      }
    };
    for (const TieLine& t : ties) {
      const std::string both = Phases(t.left, t.right).toStdString();
      place(t.left + "|" + both, t.left, t.leftPhase, t.xLeft, t.y);
      place(both + "|" + t.right, t.right, t.rightPhase, t.xRight, t.y);
    }
    open = std::move(next);
  }
}

double RowY(const calc::Results& results, int row) {
  return results.Cells().RowY(row);
}

// Draws each boundary on to the exact point of its phase it stops short of: the sweep's last
// tie line lies up to a level away from the invariant, melting point or gap top where the
// boundary really ends. The lines run from the highest level down.
void MeetExactPoints(const calc::Results& results, std::vector<BoundaryLine>& lines) {
  struct Anchor {
    double x, y;
    calc::PhaseIndex phase;
  };
  std::vector<Anchor> anchors;
  const calc::RefinedResults& r = results.Refined;
  for (const calc::Invariant& inv : r.Invariants) {
    if (inv.Approximate) continue;
    for (const calc::RefinedPhase& p : inv.Phases) anchors.push_back({p.X, inv.Y, p.Phase});
  }
  for (const calc::Transition& t : r.Transitions) {
    if (t.Approximate) continue;
    anchors.push_back({t.X, t.Y, t.AbovePhase});
    anchors.push_back({t.X, t.Y, t.BelowPhase});
  }
  for (const calc::CriticalPoint& c : r.CriticalPoints) {
    if (!c.Approximate) anchors.push_back({c.X, c.Y, c.Index});
  }
  for (const calc::CongruentPoint& c : r.CongruentPoints) {
    if (c.Approximate) continue;
    for (const calc::PhaseIndex p : c.Indices) anchors.push_back({c.X, c.Y, p});
  }
  const double level = std::abs(results.State.YStep);
  const double xStep = std::abs(results.State.XStep);
  if (anchors.empty() || !(level > 0)) return;
  // The nearest anchor of the phase for the end `end` (`next` the point before it on the line,
  // or the end itself), beyond it on the side `below` says: within a level and a half, or
  // farther where the line, drawn straight on, would pass near it (near a pure end a lens can
  // be thinner than a grid step, so its last tie line lies some levels above the melting point).
  auto nearest = [&](const BoundaryLine& line, const QPointF& end, const QPointF& next,
                     bool below) {
    const Anchor* best = nullptr;
    double bestDx = std::numeric_limits<double>::infinity();
    for (const Anchor& a : anchors) {
      if (a.phase == calc::kNoRunPhase || a.phase != line.phaseIndex) continue;
      const double dy = below ? end.y() - a.y : a.y - end.y();
      const double dx = std::abs(a.x - end.x());
      if (!(dy >= 0 && dy <= 10 * level) || (dy == 0 && dx == 0)) continue;
      bool near = dy <= 1.5 * level && dx <= 0.25;
      if (!near && next.y() != end.y()) {
        const double onward =
            end.x() + (a.y - end.y()) * (end.x() - next.x()) / (end.y() - next.y());
        near = std::abs(onward - a.x) <= std::max(2 * xStep, 0.02);
      }
      if (near && dx < bestDx) {
        bestDx = dx;
        best = &a;
      }
    }
    return best;
  };
  for (BoundaryLine& line : lines) {
    if (line.points.empty()) continue;
    const size_t n = line.points.size();
    const Anchor* top = nearest(line, line.points.front(), line.points[n > 1 ? 1 : 0], false);
    const Anchor* bottom = nearest(line, line.points.back(), line.points[n > 1 ? n - 2 : 0], true);
    if (top) line.points.insert(line.points.begin(), QPointF(top->x, top->y));
    if (bottom) line.points.push_back(QPointF(bottom->x, bottom->y));
  }
}

bool Named(const std::string& cell) {
  return !cell.empty() && cell != "C";
}

}  // namespace

std::vector<BoundaryLine> BoundaryLines(const calc::Results& results) {
  std::map<int, std::vector<TieLine>> levels;
  if (results.Refined.Ran && !results.Refined.Boundaries.empty()) {
    for (const calc::BoundaryEnd& e : results.Refined.Boundaries) {
      levels[e.Level].push_back(
          {e.PhaseLeft, e.PhaseRight, e.XLeft, e.XRight, e.Y, e.Left, e.Right});
    }
  } else {
    for (int r = 0; r < results.ZPoints.RowCount(); ++r) {
      const std::vector<calc::TZPoint>& row = results.ZPoints.Row(r);
      // Written in pairs: the higher end, then the lower one.
      for (size_t i = 0; i + 1 < row.size(); i += 2) {
        const calc::TZPoint& hi = row[i];
        const calc::TZPoint& lo = row[i + 1];
        if (!(hi.Y > 0) || !(lo.Y > 0)) continue;
        levels[r].push_back({results.PhaseName(lo.Phase), results.PhaseName(hi.Phase), lo.X, hi.X,
                             hi.Y, lo.Phase, hi.Phase});
      }
    }
  }
  std::vector<BoundaryLine> out;
  Join(levels, out);
  if (results.Refined.Ran) MeetExactPoints(results, out);
  return out;
}

std::vector<InvariantLine> InvariantLines(const calc::Results& results) {
  std::vector<InvariantLine> out;
  if (results.Refined.Ran) {
    for (const calc::Invariant& inv : results.Refined.Invariants) {
      if (inv.Phases.empty()) continue;
      InvariantLine line;
      line.y = inv.Y;
      line.xLeft = inv.Phases.front().X;
      line.xRight = inv.Phases.back().X;
      line.xMiddle = inv.Phases[inv.Phases.size() / 2].X;
      // A critical end point is a point at the end of the second-order line.
      if (const double x = calc::CriticalEndPointX(inv); !std::isnan(x))
        line.xLeft = line.xMiddle = line.xRight = x;
      line.type = QString::fromStdString(inv.Type);
      out.push_back(line);
    }
    return out;
  }
  const calc::CellGrid& cells = results.Cells();
  const int rows = cells.RowCount();
  for (const calc::TNode& node : results.Nodes) {
    InvariantLine line{node.Y, node.XLeft, node.X, node.XRight, QString()};
    // The level of the node and the phases a few levels above and below its middle.
    int row = -1;
    double best = std::numeric_limits<double>::infinity();
    for (int r = 1; r < rows; ++r) {
      const double d = std::abs(RowY(results, r) - node.Y);
      if (d < best) {
        best = d;
        row = r;
      }
    }
    int col = -1;
    best = std::numeric_limits<double>::infinity();
    for (size_t c = 0; c < results.XLevels.size(); ++c) {
      const double d = std::abs(results.XLevels[c].X - node.X);
      if (d < best) {
        best = d;
        col = static_cast<int>(c) + 1;
      }
    }
    if (row > 0 && col > 0) {
      const bool higherFirst = rows > 2 && RowY(results, 1) > RowY(results, rows - 1);
      const int up = std::clamp(row + (higherFirst ? -2 : 2), 1, rows - 1);
      const int down = std::clamp(row + (higherFirst ? 2 : -2), 1, rows - 1);
      const std::string& above = cells.Cell(col, up);
      auto liquidAbove = [&] {
        for (double x : {node.XLeft, node.X, node.XRight}) {
          for (size_t c = 0; c < results.XLevels.size(); ++c) {
            if (std::abs(results.XLevels[c].X - x) < 1e-9 &&
                cells.Cell(static_cast<int>(c) + 1, up).starts_with('L')) {
              return true;
            }
          }
        }
        return above.starts_with('L');
      };
      if (Named(above)) {
        line.type =
            above.starts_with('L') ? QStringLiteral("eutectic") : QStringLiteral("eutectoid");
      } else if (Named(cells.Cell(col, down))) {
        line.type = liquidAbove() ? QStringLiteral("peritectic") : QStringLiteral("peritectoid");
      }
    }
    out.push_back(line);
  }
  return out;
}

std::vector<DiagramMark> DiagramMarks(const calc::Results& results) {
  std::vector<DiagramMark> out;
  if (results.Refined.Ran) {
    for (const calc::CongruentPoint& p : results.Refined.CongruentPoints) {
      out.push_back({QPointF(p.X, p.Y), QString::fromStdString(p.Type)});
    }
    for (const calc::CriticalPoint& p : results.Refined.CriticalPoints) {
      out.push_back({QPointF(p.X, p.Y), QStringLiteral("critical point")});
    }
    return out;
  }
  // Without refinement: the extremes the finder found inside the diagram (a congruent maximum
  // or a lens minimum); the pure components' points are not marked.
  for (size_t i = 0; i < results.MemoPoints.size(); ++i) {
    const calc::SpecialPoint& p = results.MemoPoints[i];
    // Points within two grid steps of a pure component are that component's own.
    const double margin = 2 * std::max(results.State.XStep, 1e-9);
    if (p.X > margin && p.X < 1 - margin) {
      out.push_back({QPointF(p.X, p.Y), i < results.MemoLines.size()
                                            ? QString::fromStdString(results.MemoLines[i])
                                            : QString()});
    }
  }
  return out;
}

FieldMap FindFields(const calc::Results& results) {
  const calc::CellGrid& cells = results.Cells();
  FieldMap map;
  map.cols = std::max(0, std::min(cells.ColCount() - 1, static_cast<int>(results.XLevels.size())));
  map.rows = std::max(0, cells.RowCount() - 1);
  for (int c = 0; c < map.cols; ++c) map.x.push_back(results.XLevels[static_cast<size_t>(c)].X);
  for (int r = 0; r < map.rows; ++r) map.y.push_back(RowY(results, r + 1));
  const size_t n = static_cast<size_t>(map.cols) * static_cast<size_t>(map.rows);
  map.id.assign(n, -1);

  // The phases of every cell as an index into `keys`, kept in `map.id` until the fields are
  // numbered.
  std::vector<int>& key = map.id;
  std::map<QString, int> keyIds;
  std::vector<QString> keys;
  auto intern = [&](const QString& text) {
    const auto [it, added] = keyIds.emplace(text, static_cast<int>(keys.size()));
    if (added) keys.push_back(text);
    return it->second;
  };
  // Few distinct texts fill a large grid: each is turned into a key once, by its number in the
  // grid. -2 stands for "C", -3 for a text not seen yet.
  std::vector<int> keyOfText(cells.TextCount(), -3);
  // A compound's cell says "C"; a field beside it is labelled with the compound's name.
  auto shown = [&](int c, int r) -> const std::string& {
    const std::string& text = cells.Cell(c + 1, r + 1);
    const calc::RunPhase* phase = results.Phase(cells.Phase(c + 1, r + 1));
    return phase && phase->IsPoint && !phase->Key.empty() ? phase->Key : text;
  };
  for (int r = 0; r < map.rows; ++r) {
    if (!std::isfinite(map.y[static_cast<size_t>(r)])) continue;
    int* row = key.data() + static_cast<size_t>(r) * map.cols;
    int lastNamed = -1;
    for (int c = 0; c < map.cols; ++c) {
      const uint32_t text = cells.TextId(c + 1, r + 1);
      if (text == 0) continue;
      int& k = keyOfText[text];
      if (k == -3) {
        const std::string& cell = cells.Text(text);
        k = cell == "C" ? -2 : intern(QString::fromStdString(cell));
      }
      if (k >= 0) row[c] = k;
      if (lastNamed >= 0 && c - lastNamed > 1) {
        const int between = intern(Phases(shown(lastNamed, r), shown(c, r)));
        std::fill(row + lastNamed + 1, row + c, between);
      }
      lastNamed = c;
    }
  }
  // Regions of equal phases. A two-phase field narrower than a grid step has levels without
  // an empty cell, so cells of equal phases up to `reach` steps apart in either direction join.
  // The grid is first cut into runs of equal cells along each row, the units that are joined:
  // a large grid has far fewer runs than cells.
  const int reach = 3;
  struct Run {
    int row, c0, c1, key;
  };
  std::vector<Run> runs;
  std::vector<size_t> firstRun(static_cast<size_t>(map.rows) + 1);
  for (int r = 0; r < map.rows; ++r) {
    firstRun[static_cast<size_t>(r)] = runs.size();
    const int* row = key.data() + static_cast<size_t>(r) * map.cols;
    for (int c = 0; c < map.cols;) {
      int e = c;
      while (e + 1 < map.cols && row[e + 1] == row[c]) ++e;
      runs.push_back({r, c, e, row[c]});
      c = e + 1;
    }
  }
  firstRun[static_cast<size_t>(map.rows)] = runs.size();
  auto runAt = [&](int r, int c) {
    const auto first = runs.begin() + static_cast<std::ptrdiff_t>(firstRun[static_cast<size_t>(r)]);
    const auto last =
        runs.begin() + static_cast<std::ptrdiff_t>(firstRun[static_cast<size_t>(r) + 1]);
    return static_cast<int>(
        std::partition_point(first, last, [c](const Run& u) { return u.c1 < c; }) - runs.begin());
  };
  std::vector<int> parent(runs.size());
  std::iota(parent.begin(), parent.end(), 0);
  auto find = [&](int i) {
    while (parent[static_cast<size_t>(i)] != i)
      i = parent[static_cast<size_t>(i)] =
          parent[static_cast<size_t>(parent[static_cast<size_t>(i)])];
    return i;
  };
  auto join = [&](int a, int b) {
    a = find(a);
    b = find(b);
    if (a != b) parent[static_cast<size_t>(b)] = a;
  };
  // Touching cells (diagonals included) of equal phases always join: runs of one key that
  // overlap, or touch at a corner, on neighbouring rows.
  for (int r = 0; r + 1 < map.rows; ++r) {
    size_t b = firstRun[static_cast<size_t>(r) + 1];
    const size_t bEnd = firstRun[static_cast<size_t>(r) + 2];
    for (size_t a = firstRun[static_cast<size_t>(r)]; a < firstRun[static_cast<size_t>(r) + 1];
         ++a) {
      const Run& ra = runs[a];
      while (b < bEnd && runs[b].c1 < ra.c0 - 1) ++b;
      for (size_t k = b; k < bEnd && runs[k].c0 <= ra.c1 + 1; ++k) {
        if (ra.key >= 0 && runs[k].key == ra.key) join(static_cast<int>(a), static_cast<int>(k));
      }
    }
  }
  // Farther cells join only when no cell of another field lies next to the first on the way.
  // A cell whose neighbourhood is all of its own key needs no such joins: its neighbours are
  // joined to it through touching cells anyway. Most cells of a large grid are such cells:
  // those `reach` cells inside a run of their key on their own row and the next `reach` rows.
  using Span = std::pair<int, int>;
  std::vector<Span> inside, next;
  auto farJoins = [&](size_t u, int c) {
    const Run& run = runs[u];
    for (int dr = 0; dr <= reach; ++dr) {
      for (int dc = -reach; dc <= reach; ++dc) {
        if ((dr == 0 && dc <= 0) || (std::abs(dc) <= 1 && dr <= 1)) continue;
        const int r2 = run.row + dr, c2 = c + dc;
        if (r2 >= map.rows || c2 < 0 || c2 >= map.cols) continue;
        if (key[static_cast<size_t>(r2) * map.cols + c2] != run.key) continue;
        const int between =
            key[static_cast<size_t>(run.row + (dr > 0)) * map.cols + c + (dc > 0) - (dc < 0)];
        if (between >= 0 && between != run.key) continue;
        join(static_cast<int>(u), runAt(r2, c2));
      }
    }
  };
  for (size_t u = 0; u < runs.size(); ++u) {
    const Run& run = runs[u];
    if (run.key < 0) continue;
    inside.clear();
    if (run.row + reach < map.rows && run.c1 - run.c0 >= 2 * reach)
      inside.push_back({run.c0 + reach, run.c1 - reach});
    for (int r2 = run.row + 1; r2 <= run.row + reach && !inside.empty(); ++r2) {
      next.clear();
      for (size_t v = static_cast<size_t>(runAt(r2, inside.front().first));
           v < firstRun[static_cast<size_t>(r2) + 1] && runs[v].c0 <= inside.back().second; ++v) {
        if (runs[v].key != run.key) continue;
        const int lo = runs[v].c0 + reach, hi = runs[v].c1 - reach;
        for (const Span& s : inside) {
          if (std::max(lo, s.first) <= std::min(hi, s.second))
            next.push_back({std::max(lo, s.first), std::min(hi, s.second)});
        }
      }
      std::sort(next.begin(), next.end());
      std::swap(inside, next);
    }
    int c = run.c0;
    for (const Span& s : inside) {
      for (; c < s.first; ++c) farJoins(u, c);
      c = s.second + 1;
    }
    for (; c <= run.c1; ++c) farJoins(u, c);
  }
  // Fields numbered in the order of their first cell.
  std::vector<int> fieldOfRoot(runs.size(), -1);
  for (size_t u = 0; u < runs.size(); ++u) {
    const Run& run = runs[u];
    if (run.key < 0) continue;
    const size_t root = static_cast<size_t>(find(static_cast<int>(u)));
    if (fieldOfRoot[root] < 0) {
      fieldOfRoot[root] = static_cast<int>(map.fields.size());
      map.fields.push_back({keys[static_cast<size_t>(run.key)], 0});
    }
    const int field = fieldOfRoot[root];
    const size_t row = static_cast<size_t>(run.row) * map.cols;
    std::fill(map.id.begin() + static_cast<std::ptrdiff_t>(row + run.c0),
              map.id.begin() + static_cast<std::ptrdiff_t>(row + run.c1 + 1), field);
    map.fields[static_cast<size_t>(field)].cells += run.c1 - run.c0 + 1;
  }
  return map;
}

std::vector<QRectF> PlaceReactionBoxes(const std::vector<QLineF>& lines,
                                       const std::vector<QSizeF>& sizes) {
  std::vector<QRectF> out;
  for (size_t k = 0; k < lines.size() && k < sizes.size(); ++k) {
    const double w = sizes[k].width(), h = sizes[k].height();
    const double left = std::min(lines[k].x1(), lines[k].x2());
    const double right = std::max(lines[k].x1(), lines[k].x2());
    const double y = lines[k].y1();
    const double xs[] = {(left + right) / 2 - w / 2, left, right - w};
    QRectF chosen;
    for (const double x : xs) {
      for (const double top : {y - h - 1, y + 1}) {
        const QRectF box(x, top, w, h);
        if (std::none_of(out.begin(), out.end(),
                         [&](const QRectF& o) { return o.intersects(box); })) {
          chosen = box;
          break;
        }
      }
      if (!chosen.isEmpty()) break;
    }
    out.push_back(chosen);
  }
  return out;
}

bool SegmentMeetsRect(const QPointF& a, const QPointF& b, const QRectF& rect) {
  if (rect.contains(a) || rect.contains(b)) return true;
  // Liang-Barsky clipping of the segment against the rectangle.
  double t0 = 0, t1 = 1;
  const double dx = b.x() - a.x(), dy = b.y() - a.y();
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x() - rect.left(), rect.right() - a.x(), a.y() - rect.top(),
                       rect.bottom() - a.y()};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0) {
      if (q[k] < 0) return false;
      continue;
    }
    const double t = q[k] / p[k];
    if (p[k] < 0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  return true;
}

std::vector<QPointF> ThinToPixels(const std::vector<QPointF>& pixels, double pixel) {
  std::vector<QPointF> out;
  if (pixels.empty()) return out;
  auto cell = [pixel](const QPointF& p) {
    return std::pair<double, double>(std::floor(p.x() / pixel), std::floor(p.y() / pixel));
  };
  out.push_back(pixels.front());
  auto last = cell(pixels.front());
  for (size_t i = 1; i + 1 < pixels.size(); ++i) {
    const auto here = cell(pixels[i]);
    if (here == last) continue;
    out.push_back(pixels[i]);
    last = here;
  }
  if (pixels.size() > 1) out.push_back(pixels.back());
  return out;
}

std::vector<QPointF> SimplifyPolyline(const std::vector<QPointF>& points, double tolerance) {
  if (points.size() < 3) return points;
  std::vector<char> keep(points.size(), 0);
  keep.front() = keep.back() = 1;
  // Spans still to look at, by their end points.
  std::vector<std::pair<size_t, size_t>> spans{{0, points.size() - 1}};
  while (!spans.empty()) {
    const auto [a, b] = spans.back();
    spans.pop_back();
    if (b - a < 2) continue;
    const QPointF pa = points[a], d = points[b] - pa;
    const double length = std::hypot(d.x(), d.y());
    double farthest = -1;
    size_t at = a;
    for (size_t i = a + 1; i < b; ++i) {
      const QPointF v = points[i] - pa;
      // Distance from the chord, or from its start when the chord is a point.
      const double dist =
          length > 0 ? std::abs(d.x() * v.y() - d.y() * v.x()) / length : std::hypot(v.x(), v.y());
      if (dist > farthest) {
        farthest = dist;
        at = i;
      }
    }
    if (farthest > tolerance) {
      keep[at] = 1;
      spans.push_back({a, at});
      spans.push_back({at, b});
    }
  }
  std::vector<QPointF> out;
  for (size_t i = 0; i < points.size(); ++i)
    if (keep[i]) out.push_back(points[i]);
  return out;
}

std::vector<FieldLabel> PlaceFieldLabels(
    const FieldMap& map, const std::function<QPointF(double, double)>& toPixel,
    const std::function<QSizeF(const QString&, double)>& measure,
    const std::vector<std::vector<QPointF>>& obstacles) {
  std::vector<FieldLabel> out;
  if (map.cols < 1 || map.rows < 1 || map.fields.empty()) return out;
  {
    // A grid finer than the picture is laid out on every k-th column and row, so that the
    // work follows the picture's pixels, not the grid's size (a 1000 x 1000 run drawn at
    // 700 x 500 pixels): about two pixels a cell. Fields thinner than that have no room for a
    // label anyway. A single column or row (one level) has no step to thin.
    const QPointF p00 = toPixel(map.x.front(), map.y.front());
    const QPointF p11 = toPixel(map.x.back(), map.y.back());
    auto step = [](int count, double span) {
      const double per = count > 1 ? std::abs(span) / (count - 1) : 0;
      return std::isfinite(per) && per > 0 && per < 1.5
                 ? static_cast<int>(std::clamp(2 / per, 1.0, static_cast<double>(count)))
                 : 1;
    };
    const int sc = step(map.cols, p11.x() - p00.x());
    const int sr = step(map.rows, p11.y() - p00.y());
    // Every thinning leaves fewer columns or rows, so the call below is the last but one.
    if (sc > 1 || sr > 1) {
      FieldMap coarse;
      coarse.fields = map.fields;
      for (int c = 0; c < map.cols; c += sc) coarse.x.push_back(map.x[static_cast<size_t>(c)]);
      for (int r = 0; r < map.rows; r += sr) coarse.y.push_back(map.y[static_cast<size_t>(r)]);
      coarse.cols = static_cast<int>(coarse.x.size());
      coarse.rows = static_cast<int>(coarse.y.size());
      coarse.id.reserve(static_cast<size_t>(coarse.cols) * static_cast<size_t>(coarse.rows));
      for (int r = 0; r < map.rows; r += sr)
        for (int c = 0; c < map.cols; c += sc) coarse.id.push_back(map.At(c, r));
      return PlaceFieldLabels(coarse, toPixel, measure, obstacles);
    }
  }
  std::vector<double> px(static_cast<size_t>(map.cols)), py(static_cast<size_t>(map.rows));
  const double y0 = std::isfinite(map.y[0]) ? map.y[0] : 0;
  for (int c = 0; c < map.cols; ++c)
    px[static_cast<size_t>(c)] = toPixel(map.x[static_cast<size_t>(c)], y0).x();
  for (int r = 0; r < map.rows; ++r) {
    const double y = map.y[static_cast<size_t>(r)];
    py[static_cast<size_t>(r)] =
        std::isfinite(y) ? toPixel(map.x[0], y).y() : std::numeric_limits<double>::quiet_NaN();
  }
  const bool rowsDown = map.rows < 2 || py.back() >= py.front();
  const double cellW = map.cols > 1 ? std::abs(px.back() - px.front()) / (map.cols - 1) : 1;
  const double cellH = map.rows > 1 ? std::abs(py.back() - py.front()) / (map.rows - 1) : 1;

  // Bounding box of each field in cells.
  struct Box {
    int c0 = std::numeric_limits<int>::max(), c1 = -1, r0 = std::numeric_limits<int>::max(),
        r1 = -1;
  };
  std::vector<Box> boxes(map.fields.size());
  for (int r = 0; r < map.rows; ++r) {
    for (int c = 0; c < map.cols; ++c) {
      const int f = map.At(c, r);
      if (f < 0) continue;
      Box& b = boxes[static_cast<size_t>(f)];
      b.c0 = std::min(b.c0, c);
      b.c1 = std::max(b.c1, c);
      b.r0 = std::min(b.r0, r);
      b.r1 = std::max(b.r1, r);
    }
  }
  // Obstacles' segments with their bounding boxes, for quick rejection.
  struct Segment {
    QPointF a, b;
    QRectF bounds;
  };
  std::vector<Segment> segments;
  for (const auto& line : obstacles) {
    for (size_t i = 1; i < line.size(); ++i) {
      // Widened: a horizontal or vertical segment's box would be empty, and empty boxes
      // intersect nothing.
      segments.push_back(
          {line[i - 1], line[i],
           QRectF(line[i - 1], line[i]).normalized().adjusted(-0.5, -0.5, 0.5, 0.5)});
    }
    if (line.size() == 1)
      segments.push_back(
          {line[0], line[0], QRectF(line[0], line[0]).adjusted(-0.5, -0.5, 0.5, 0.5)});
  }

  std::vector<int> order(map.fields.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return map.fields[static_cast<size_t>(a)].cells > map.fields[static_cast<size_t>(b)].cells;
  });

  auto columnsIn = [&](double lo, double hi) {
    const auto a = std::lower_bound(px.begin(), px.end(), lo);
    const auto b = std::upper_bound(px.begin(), px.end(), hi);
    return std::pair<int, int>(static_cast<int>(a - px.begin()),
                               static_cast<int>(b - px.begin()) - 1);
  };
  auto rowsIn = [&](double lo, double hi) {
    int r0 = map.rows, r1 = -1;
    // Rows are monotonic in pixels; search in the direction they run.
    if (rowsDown) {
      r0 = static_cast<int>(std::lower_bound(py.begin(), py.end(), lo) - py.begin());
      r1 = static_cast<int>(std::upper_bound(py.begin(), py.end(), hi) - py.begin()) - 1;
    } else {
      for (int r = 0; r < map.rows; ++r) {
        if (py[static_cast<size_t>(r)] >= lo && py[static_cast<size_t>(r)] <= hi) {
          r0 = std::min(r0, r);
          r1 = std::max(r1, r);
        }
      }
    }
    return std::pair<int, int>(r0, r1);
  };

  // The steps between neighbouring cells take few distinct lengths: each is computed once.
  struct KnownLength {
    uint64_t dx = 1, dy = 1;  // bits of the absolute steps; no step has these
    double length = 0;
  };
  std::vector<KnownLength> lengths(256);
  auto hypot = [&lengths](double dx, double dy) {
    const uint64_t bx = std::bit_cast<uint64_t>(std::abs(dx));
    const uint64_t by = std::bit_cast<uint64_t>(std::abs(dy));
    KnownLength& known = lengths[((bx * 0x9E3779B97F4A7C15ull) ^ by) * 0xC2B2AE3D27D4EB4Full >> 56];
    if (known.dx != bx || known.dy != by) known = {bx, by, std::hypot(dx, dy)};
    return known.length;
  };

  // A narrow field is often cut into pieces by lines and by the grid's steps: a piece near a
  // larger field of the same phases (placed before it) is left to that field's label rather
  // than repeating it. Fields of the same phases far apart (the two ends' solid solutions)
  // keep their own.
  auto repeats = [&out](const FieldLabel& label) {
    const auto where = [](const FieldLabel& l) { return l.leader ? l.anchor : l.box.center(); };
    return std::any_of(out.begin(), out.end(), [&](const FieldLabel& l) {
      return l.text == label.text && QLineF(where(l), where(label)).length() < kRepeatDistance;
    });
  };
  for (int f : order) {
    const Box& b = boxes[static_cast<size_t>(f)];
    if (b.c1 < 0) continue;  // no cell of it in the (laid-out) map
    const int w = b.c1 - b.c0 + 1, h = b.r1 - b.r0 + 1;
    // Distance of each cell of the field from the nearest cell outside it, in pixels (two
    // chamfer passes with the local cell sizes).
    std::vector<double> d(static_cast<size_t>(w) * h);
    auto inField = [&](int c, int r) {
      return c >= 0 && r >= 0 && c < map.cols && r < map.rows && map.At(c, r) == f;
    };
    auto D = [&](int c, int r) -> double& {
      return d[static_cast<size_t>(r - b.r0) * w + (c - b.c0)];
    };
    auto dist = [&](int c2, int r2) { return inField(c2, r2) ? D(c2, r2) : 0.0; };
    auto step = [&](int c, int r, int c2, int r2) {
      const double dx = (c2 >= 0 && c2 < map.cols)
                            ? px[static_cast<size_t>(c2)] - px[static_cast<size_t>(c)]
                            : cellW;
      const double dy = (r2 >= 0 && r2 < map.rows)
                            ? py[static_cast<size_t>(r2)] - py[static_cast<size_t>(r)]
                            : cellH;
      return hypot(c2 == c ? 0 : dx, r2 == r ? 0 : dy);
    };
    constexpr double kFar = 1e18;
    for (int r = b.r0; r <= b.r1; ++r) {
      for (int c = b.c0; c <= b.c1; ++c) {
        if (!inField(c, r)) {
          D(c, r) = 0;
          continue;
        }
        double v = kFar;
        for (auto [dc, dr] : {std::pair{-1, 0}, {-1, -1}, {0, -1}, {1, -1}}) {
          v = std::min(v, dist(c + dc, r + dr) + step(c, r, c + dc, r + dr));
        }
        D(c, r) = v;
      }
    }
    for (int r = b.r1; r >= b.r0; --r) {
      for (int c = b.c1; c >= b.c0; --c) {
        if (!inField(c, r)) continue;
        double v = D(c, r);
        for (auto [dc, dr] : {std::pair{1, 0}, {1, 1}, {0, 1}, {-1, 1}}) {
          v = std::min(v, dist(c + dc, r + dr) + step(c, r, c + dc, r + dr));
        }
        D(c, r) = v;
      }
    }
    std::vector<std::pair<double, int>> candidates;
    for (int r = b.r0; r <= b.r1; ++r) {
      if (!std::isfinite(py[static_cast<size_t>(r)])) continue;
      for (int c = b.c0; c <= b.c1; ++c) {
        if (inField(c, r)) candidates.push_back({D(c, r), (r - b.r0) * w + (c - b.c0)});
      }
    }
    if (candidates.empty()) continue;
    std::sort(candidates.begin(), candidates.end(),
              [](const auto& a, const auto& b2) { return a.first > b2.first; });

    const QString& text = map.fields[static_cast<size_t>(f)].text;
    // The text's size at each scale, measured once: many places may be tried.
    std::vector<std::pair<double, QSizeF>> sizes;
    auto sizeAt = [&](double scale) {
      for (const auto& [known, size] : sizes)
        if (known == scale) return size;
      sizes.push_back({scale, measure(text, scale)});
      return sizes.back().second;
    };
    auto boxAt = [&](int cand, double scale) {
      const int c = b.c0 + cand % w, r = b.r0 + cand / w;
      const QSizeF s = sizeAt(scale);
      const QPointF centre(px[static_cast<size_t>(c)], py[static_cast<size_t>(r)]);
      return QRectF(centre.x() - s.width() / 2, centre.y() - s.height() / 2, s.width(), s.height());
    };
    auto fits = [&](const QRectF& box) {
      // Every cell under the box, and the cells half a cell beyond its edges, are the field's.
      const auto [c0, c1] = columnsIn(box.left() - cellW / 2, box.right() + cellW / 2);
      const auto [r0, r1] = rowsIn(box.top() - cellH / 2, box.bottom() + cellH / 2);
      if (c0 > c1 || r0 > r1) return false;
      if (c0 == 0 && px[0] > box.left() - cellW / 2) return false;
      if (c1 == map.cols - 1 && px.back() < box.right() + cellW / 2) return false;
      for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
          if (map.At(c, r) != f) return false;
        }
      }
      const QRectF clear = box.adjusted(-1, -1, 1, 1);
      for (const Segment& s : segments) {
        if (s.bounds.intersects(clear) || clear.contains(s.a)) {
          if (SegmentMeetsRect(s.a, s.b, clear)) return false;
        }
      }
      const QRectF apart = box.adjusted(-2, -2, 2, 2);
      for (const FieldLabel& placed : out) {
        if (placed.box.intersects(apart)) return false;
      }
      return true;
    };
    FieldLabel label{f, text, boxAt(candidates[0].second, 1), 1, false, false, QPointF()};
    const size_t tries = std::min<size_t>(candidates.size(), 600);
    for (double scale : {1.0, 0.8, 0.65}) {
      if (candidates[0].first * 2 < sizeAt(scale).height()) continue;
      for (size_t k = 0; k < tries && !label.fits; ++k) {
        const QRectF box = boxAt(candidates[k].second, scale);
        if (fits(box)) label = {f, text, box, scale, true, false, QPointF()};
      }
      if (label.fits) break;
    }
    if (!label.fits) {
      // Beside the field: the nearest free place inside the plot, pointing at the pole.
      const QPointF pole = label.box.center();
      const double pad = 3;
      const QRectF plot = QRectF(QPointF(px.front(), std::min(py.front(), py.back())),
                                 QPointF(px.back(), std::max(py.front(), py.back())))
                              .adjusted(pad, pad, -pad, -pad);
      const QSizeF size = sizeAt(0.8);
      auto freeAt = [&](const QRectF& box) {
        if (!plot.contains(box)) return false;
        const QRectF clear = box.adjusted(-2, -2, 2, 2);
        for (const Segment& s : segments) {
          if ((s.bounds.intersects(clear) || clear.contains(s.a)) &&
              SegmentMeetsRect(s.a, s.b, clear))
            return false;
        }
        for (const FieldLabel& placed : out) {
          if (placed.box.intersects(clear)) return false;
        }
        return true;
      };
      bool found = false;
      for (double radius = size.height(); radius <= 160 && !found; radius += 5) {
        for (int k = 0; k < 24 && !found; ++k) {
          const double angle = k * 3.14159265358979 / 12;
          const QPointF centre = pole + QPointF(std::cos(angle) * (radius + size.width() / 2),
                                                std::sin(angle) * radius);
          const QRectF box(centre.x() - size.width() / 2, centre.y() - size.height() / 2,
                           size.width(), size.height());
          if (freeAt(box)) {
            label = {f, text, box, 0.8, true, true, pole};
            found = true;
          }
        }
      }
    }
    if (!repeats(label)) out.push_back(label);
  }
  return out;
}

}  // namespace views
