#include "tdb/sheet_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace tdb {

namespace {

// The language's limits: operations at depths 0..19, at most 50 at one depth.
constexpr int kMaxDepth = 20;
constexpr int kMaxPerDepth = 50;

NodePtr Make(Node n) {
  return std::make_shared<const Node>(std::move(n));
}

}  // namespace

NodePtr Number(double v) {
  return Make(Node{Node::Num, v, "", {}});
}
NodePtr Variable(const std::string& name) {
  return Make(Node{Node::Var, 0, name, {}});
}
NodePtr CallOf(const std::string& name, NodePtr arg) {
  return Make(Node{Node::Call, 0, name, {std::move(arg)}});
}
NodePtr SumOf(std::vector<NodePtr> terms) {
  if (terms.empty()) return Number(0);
  if (terms.size() == 1) return terms[0];
  return Make(Node{Node::Sum, 0, "", std::move(terms)});
}
NodePtr Difference(NodePtr a, NodePtr b) {
  return Make(Node{Node::Sub, 0, "", {std::move(a), std::move(b)}});
}
NodePtr Product(NodePtr a, NodePtr b) {
  return Make(Node{Node::Mul, 0, "", {std::move(a), std::move(b)}});
}
NodePtr Quotient(NodePtr a, NodePtr b) {
  return Make(Node{Node::Div, 0, "", {std::move(a), std::move(b)}});
}
NodePtr PowerOf(NodePtr base, int exponent) {
  return Make(Node{Node::Pow, static_cast<double>(exponent), "", {std::move(base)}});
}

std::string NumberText(double v) {
  // At most 12 significant digits: the sums and differences of the file's coefficients carry
  // rounding noise in their last digits, and 12 digits keep every energy well inside 1e-9.
  char buf[64];
  int p = 1;
  for (; p < 12; ++p) {
    std::snprintf(buf, sizeof buf, "%.*e", p - 1, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  std::snprintf(buf, sizeof buf, "%.*e", p - 1, v);
  const int exp = std::atoi(std::strchr(buf, 'e') + 1);
  if (exp >= -5 && exp < 15) {
    std::snprintf(buf, sizeof buf, "%.*f", std::max(0, p - 1 - exp), v);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
      while (s.back() == '0') s.pop_back();
      if (s.back() == '.') s.pop_back();
    }
    return s;
  }
  std::string s = buf;
  size_t e = s.find('e');
  std::string mant = s.substr(0, e);
  if (mant.find('.') != std::string::npos) {
    while (mant.back() == '0') mant.pop_back();
    if (mant.back() == '.') mant.pop_back();
  }
  return mant + "E" + std::to_string(exp);
}

namespace {

NodePtr TermNode(const Term& t) {
  std::vector<NodePtr> factors;
  if (t.TPow == 1)
    factors.push_back(Variable("T"));
  else if (t.TPow > 1 || t.TPow < -1)
    factors.push_back(PowerOf(Variable("T"), t.TPow));
  if (t.LnPow == 1)
    factors.push_back(CallOf("LN", Variable("T")));
  else if (t.LnPow != 0)
    factors.push_back(PowerOf(CallOf("LN", Variable("T")), t.LnPow));
  for (const auto& f : t.Factors) {
    switch (f->kind) {
      case Factor::Exp:
        factors.push_back(CallOf("EXP", NodeOf(f->arg)));
        break;
      case Factor::Ln:
        factors.push_back(CallOf("LN", NodeOf(f->arg)));
        break;
      case Factor::Inv:
        factors.push_back(Quotient(Number(1), NodeOf(f->arg)));
        break;
      case Factor::Pow: {
        // A general power with a fractional exponent: the base in brackets, the exponent a numeral.
        Node n{Node::Pow, f->exponent, "", {NodeOf(f->arg)}};
        factors.push_back(Make(std::move(n)));
        break;
      }
    }
  }
  NodePtr body;
  for (auto it = factors.rbegin(); it != factors.rend(); ++it)
    body = body ? Product(*it, body) : *it;
  if (t.TPow == -1) {
    // c/T rather than c*T^-1.
    NodePtr num = body ? Product(Number(t.Coef), body) : Number(t.Coef);
    return Quotient(num, Variable("T"));
  }
  if (!body) return Number(t.Coef);
  if (t.Coef == 1) return body;
  return Product(Number(t.Coef), body);
}

}  // namespace

// The powers T, T^2, T^3, T^4 of a sum in Horner's form, T*(c1+T*(c2+T*c3)), when there are
// at least two of them: fewer operations than c1*T+c2*T^2+c3*T^3 at every evaluation.
NodePtr NodeOf(const Lin& l) {
  double c[5] = {0, 0, 0, 0, 0};
  int powers = 0, top = 0;
  for (const Term& t : l.Terms()) {
    if (t.Factors.empty() && t.LnPow == 0 && t.TPow >= 1 && t.TPow <= 4) {
      c[t.TPow] = t.Coef;
      ++powers;
      top = t.TPow;
    }
  }
  std::vector<NodePtr> terms;
  bool horner_done = powers < 2;
  for (const Term& t : l.Terms()) {
    const bool power = t.Factors.empty() && t.LnPow == 0 && t.TPow >= 1 && t.TPow <= 4;
    if (!power || powers < 2) {
      terms.push_back(TermNode(t));
      continue;
    }
    if (horner_done) continue;
    horner_done = true;
    NodePtr inner = Number(c[top]);
    for (int k = top - 1; k >= 1; --k) {
      NodePtr step = Product(Variable("T"), inner);
      inner = c[k] != 0 ? SumOf({Number(c[k]), step}) : step;
    }
    terms.push_back(Product(Variable("T"), inner));
  }
  return SumOf(std::move(terms));
}

NodePtr NodeOf(const Piecewise& p) {
  std::vector<NodePtr> parts;
  if (!p.Pieces[0].IsZero()) parts.push_back(NodeOf(p.Pieces[0]));
  for (size_t i = 1; i < p.Pieces.size(); ++i) {
    Lin jump = p.Pieces[i] - p.Pieces[i - 1];
    if (jump.IsZero()) continue;
    NodePtr step = CallOf("HEAV", Difference(Variable("T"), Number(p.Limits[i - 1])));
    // A step of a plain number reads better with the number first: 5*HEAV(T-600).
    double c = 0;
    parts.push_back(jump.IsConstant(&c) ? Product(Number(c), step) : Product(step, NodeOf(jump)));
  }
  return SumOf(std::move(parts));
}

// ---------------------------------------------------------------------------------------
// Writing: every sum becomes a tree of two-operand sums, then the text is written with the
// brackets the language's grammar needs.

namespace {

struct Bin;
using BinPtr = std::shared_ptr<Bin>;
struct Bin {
  Node::Kind kind;
  double num = 0;
  std::string name;
  BinPtr left, right;
  std::vector<int> profile;  // operations at each depth below this node (index 0: itself)
};

std::vector<int> Merge(const std::vector<int>& a, const std::vector<int>& b) {
  std::vector<int> r(std::max(a.size(), b.size()) + 1, 0);
  r[0] = 1;
  for (size_t i = 0; i < a.size(); ++i) r[i + 1] += a[i];
  for (size_t i = 0; i < b.size(); ++i) r[i + 1] += b[i];
  return r;
}

BinPtr Leaf(Node::Kind k, double num, std::string name) {
  auto b = std::make_shared<Bin>();
  b->kind = k;
  b->num = num;
  b->name = std::move(name);
  return b;
}

BinPtr Op(Node::Kind k, BinPtr l, BinPtr r, double num = 0, std::string name = "") {
  auto b = std::make_shared<Bin>();
  b->kind = k;
  b->num = num;
  b->name = std::move(name);
  b->profile = Merge(l ? l->profile : std::vector<int>{}, r ? r->profile : std::vector<int>{});
  b->left = std::move(l);
  b->right = std::move(r);
  return b;
}

bool IsNegativeTerm(const BinPtr& b) {
  if (b->kind == Node::Num) return b->num < 0;
  if (b->kind == Node::Mul || b->kind == Node::Div) return IsNegativeTerm(b->left);
  return false;
}

BinPtr Negated(const BinPtr& b) {
  if (b->kind == Node::Num) return Leaf(Node::Num, -b->num, "");
  auto c = std::make_shared<Bin>(*b);
  c->left = Negated(b->left);
  return c;
}

// A term whose value carries the sign of its leading numeral (c, c*..., c/...).
bool NumberLed(const BinPtr& b) {
  if (b->kind == Node::Num) return true;
  return (b->kind == Node::Mul || b->kind == Node::Div) && NumberLed(b->left);
}

// Whether every term of a grouped sum can change its sign by its numeral alone.
bool Negatable(const BinPtr& b) {
  if (b->kind == Node::Sum) return Negatable(b->left) && Negatable(b->right);
  if (b->kind == Node::Sub) return Negatable(b->left);
  return NumberLed(b);
}

bool LeadsNegative(const BinPtr& b) {
  if (b->kind == Node::Sum || b->kind == Node::Sub) return LeadsNegative(b->left);
  return IsNegativeTerm(b);
}

BinPtr Join(const BinPtr& a, const BinPtr& b);

// -b for a Negatable b: -(l + r) = (-l) + (-r), -(l - r) = (-l) + r.
BinPtr NegatedAll(const BinPtr& b) {
  if (b->kind == Node::Sum) return Join(NegatedAll(b->left), NegatedAll(b->right));
  if (b->kind == Node::Sub) return Join(NegatedAll(b->left), b->right);
  return Negated(b);
}

// a + b, written as a - (-b) when b begins with a negative term, so that the text shows
// "a-0.5*T" rather than "a+-0.5*T".
BinPtr Join(const BinPtr& a, const BinPtr& b) {
  if (IsNegativeTerm(b)) return Op(Node::Sub, a, Negated(b));
  if ((b->kind == Node::Sum || b->kind == Node::Sub) && LeadsNegative(b) && Negatable(b))
    return Op(Node::Sub, a, NegatedAll(b));
  return Op(Node::Sum, a, b);
}

int MaxCount(const std::vector<int>& p) {
  return p.empty() ? 0 : *std::max_element(p.begin(), p.end());
}

// The layouts of one expression: Best[h] is the one with the fewest operations on its most
// crowded depth among those at most h operations deep (nullptr when there is none). Keeping
// one per height lets the enclosing expression trade depth against crowding: sums of long
// pieces are staggered over several depths rather than stacked on one.
struct Layouts {
  BinPtr Best[kMaxDepth + 1];
};

int Crowding(const BinPtr& b) {
  return b ? MaxCount(b->profile) : std::numeric_limits<int>::max();
}

// The most crowded depth of a + b laid side by side one level down, from the profiles only.
int JoinedCrowding(const BinPtr& a, const BinPtr& b) {
  int worst = 1;
  const size_t n = std::max(a->profile.size(), b->profile.size());
  for (size_t i = 0; i < n; ++i) {
    int c =
        (i < a->profile.size() ? a->profile[i] : 0) + (i < b->profile.size() ? b->profile[i] : 0);
    worst = std::max(worst, c);
  }
  return worst;
}

void KeepBetter(Layouts& l) {
  for (int h = 1; h <= kMaxDepth; ++h)
    if (l.Best[h - 1] && Crowding(l.Best[h - 1]) <= Crowding(l.Best[h])) l.Best[h] = l.Best[h - 1];
}

Layouts Lay(const NodePtr& n);

// The grouping of a run of terms, in their order: for each height the split that crowds the
// fullest depth least. The work grows as the cube of the run's length, so runs are at most
// kMaxRun long; longer sums are grouped in runs, and the runs' layouts grouped in turn.
constexpr size_t kMaxRun = 24;

Layouts LayRun(std::vector<Layouts> items) {
  const size_t n = items.size();
  // best[i][j]: layouts of the terms i..j, grouped in their order.
  std::vector<std::vector<Layouts>> best(n, std::vector<Layouts>(n));
  for (size_t i = 0; i < n; ++i) best[i][i] = std::move(items[i]);
  for (size_t len = 2; len <= n; ++len) {
    for (size_t i = 0; i + len <= n; ++i) {
      const size_t j = i + len - 1;
      Layouts& out = best[i][j];
      for (int h = 1; h <= kMaxDepth; ++h) {
        int best_cost = std::numeric_limits<int>::max();
        size_t best_k = n;
        for (size_t k = i; k < j; ++k) {
          const BinPtr& a = best[i][k].Best[h - 1];
          const BinPtr& b = best[k + 1][j].Best[h - 1];
          if (!a || !b) continue;
          int cost = JoinedCrowding(a, b);
          if (cost < best_cost) {
            best_cost = cost;
            best_k = k;
          }
        }
        if (best_k < n)
          out.Best[h] = Join(best[i][best_k].Best[h - 1], best[best_k + 1][j].Best[h - 1]);
      }
      KeepBetter(out);
    }
  }
  return best[0][n - 1];
}

Layouts LaySum(const std::vector<NodePtr>& kids) {
  std::vector<Layouts> items;
  items.reserve(kids.size());
  for (const NodePtr& k : kids) items.push_back(Lay(k));
  while (items.size() > kMaxRun) {
    const size_t runs = (items.size() + kMaxRun - 1) / kMaxRun;
    std::vector<Layouts> grouped;
    for (size_t r = 0, start = 0; r < runs; ++r) {
      const size_t end = items.size() * (r + 1) / runs;  // runs of nearly equal length
      grouped.push_back(LayRun(std::vector<Layouts>(std::make_move_iterator(items.begin() + start),
                                                    std::make_move_iterator(items.begin() + end))));
      start = end;
    }
    items = std::move(grouped);
  }
  return LayRun(std::move(items));
}

Layouts Lay(const NodePtr& n) {
  Layouts l;
  switch (n->kind) {
    case Node::Num:
    case Node::Var:
      for (auto& b : l.Best) b = Leaf(n->kind, n->num, n->name);
      return l;
    case Node::Sum:
      return LaySum(n->kids);
    default:
      break;
  }
  Layouts a = Lay(n->kids[0]);
  Layouts b;
  if (n->kids.size() > 1) b = Lay(n->kids[1]);
  for (int h = 1; h <= kMaxDepth; ++h) {
    const BinPtr& x = a.Best[h - 1];
    const BinPtr& y = n->kids.size() > 1 ? b.Best[h - 1] : nullptr;
    if (!x || (n->kids.size() > 1 && !y)) continue;
    l.Best[h] = Op(n->kind, x, y, n->num, n->name);
  }
  KeepBetter(l);
  return l;
}

bool NonNegNum(const BinPtr& b) {
  return b->kind == Node::Num && !std::signbit(b->num);
}

bool Bare(const BinPtr& b, Node::Kind parent, bool right) {
  const Node::Kind k = b->kind;
  if (k == Node::Var || k == Node::Call) return true;
  if (k == Node::Num) return !right || NonNegNum(b) || parent == Node::Pow;
  switch (parent) {
    case Node::Sum:
      return right ? (k == Node::Sum || k == Node::Sub || k == Node::Mul || k == Node::Div ||
                      k == Node::Pow)
                   : (k == Node::Sub || k == Node::Mul || k == Node::Div || k == Node::Pow);
    case Node::Sub:
      return right ? (k == Node::Mul || k == Node::Div || k == Node::Pow)
                   : (k == Node::Sub || k == Node::Mul || k == Node::Div || k == Node::Pow);
    case Node::Mul:
      return right ? (k == Node::Mul || k == Node::Div || k == Node::Pow)
                   : (k == Node::Div || k == Node::Pow);
    case Node::Div:
      return right ? k == Node::Pow : (k == Node::Div || k == Node::Pow);
    default:
      return false;
  }
}

void Print(const BinPtr& b, std::string& out);

void Child(const BinPtr& c, Node::Kind parent, bool right, std::string& out) {
  if (Bare(c, parent, right)) {
    Print(c, out);
    return;
  }
  out += '(';
  Print(c, out);
  out += ')';
}

void Print(const BinPtr& b, std::string& out) {
  switch (b->kind) {
    case Node::Num:
      out += NumberText(b->num);
      return;
    case Node::Var:
      out += b->name;
      return;
    case Node::Call:
      out += b->name + "(";
      Print(b->left, out);
      out += ")";
      return;
    case Node::Pow: {
      const BinPtr& base = b->left;
      bool bare = base->kind == Node::Var || base->kind == Node::Call || NonNegNum(base);
      if (!bare) out += '(';
      Print(base, out);
      if (!bare) out += ')';
      out += "^" + NumberText(b->num);
      return;
    }
    default: {
      static const char* ops[] = {"", "", "", "+", "-", "*", "/", ""};
      Child(b->left, b->kind, false, out);
      out += ops[b->kind];
      Child(b->right, b->kind, true, out);
      return;
    }
  }
}

}  // namespace

int OperationCount(const NodePtr& n) {
  int count = 0;
  std::vector<const Node*> todo{n.get()};
  while (!todo.empty()) {
    const Node* m = todo.back();
    todo.pop_back();
    if (m->kind == Node::Sum)
      count += static_cast<int>(m->kids.size()) - 1;
    else if (m->kind != Node::Num && m->kind != Node::Var)
      ++count;
    for (const NodePtr& k : m->kids) todo.push_back(k.get());
    if (count > kMaxOperations) break;  // enough to know it does not fit
  }
  return count;
}

std::string Write(const NodePtr& n, bool* fits, std::string* why) {
  // More operations than the language's depths can hold together: no grouping fits, and
  // laying out a large tree costs time and memory for nothing.
  const int ops = OperationCount(n);
  if (ops > kMaxOperations) {
    if (fits) *fits = false;
    if (why)
      *why = "more than " + std::to_string(kMaxOperations) + " operations; an expression holds " +
             std::to_string(kMaxDepth) + " levels of " + std::to_string(kMaxPerDepth);
    return "";
  }
  Layouts l = Lay(n);
  BinPtr b = l.Best[kMaxDepth];
  if (!b) {
    // Deeper than the language allows whatever the grouping: write it plainly, it will not compile.
    if (fits) *fits = false;
    for (int h = kMaxDepth; h >= 0 && !b; --h) b = l.Best[h];
    if (!b) {
      if (why) *why = "Expression contains too many nestings";
      return "";
    }
  }
  if (fits) *fits = b->profile.size() <= kMaxDepth && MaxCount(b->profile) <= kMaxPerDepth;
  std::string out;
  Print(b, out);
  return out;
}

}  // namespace tdb
