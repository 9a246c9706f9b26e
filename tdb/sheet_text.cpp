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

NodePtr NodeOf(const Lin& l) {
  std::vector<NodePtr> terms;
  for (const Term& t : l.Terms()) terms.push_back(TermNode(t));
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

Layouts LaySum(const std::vector<NodePtr>& kids) {
  const size_t n = kids.size();
  // best[i][j]: layouts of the terms i..j, grouped in their order.
  std::vector<std::vector<Layouts>> best(n, std::vector<Layouts>(n));
  for (size_t i = 0; i < n; ++i) best[i][i] = Lay(kids[i]);
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

std::string Write(const NodePtr& n, bool* fits) {
  Layouts l = Lay(n);
  BinPtr b = l.Best[kMaxDepth];
  if (!b) {
    // Deeper than the language allows whatever the grouping: write it plainly, it will not compile.
    if (fits) *fits = false;
    for (int h = kMaxDepth; h >= 0 && !b; --h) b = l.Best[h];
    if (!b) return "";
  }
  if (fits) *fits = b->profile.size() <= kMaxDepth && MaxCount(b->profile) <= kMaxPerDepth;
  std::string out;
  Print(b, out);
  return out;
}

}  // namespace tdb
