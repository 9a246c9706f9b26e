#include "tdb/gibbs.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tdb {
namespace {

std::string Exact(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string Short(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

}  // namespace

std::string Term::Key() const {
  std::string k = "T" + std::to_string(TPow) + "L" + std::to_string(LnPow);
  for (const auto& f : Factors) k += "*" + f->Key();
  return k;
}

std::string Factor::Key() const {
  if (!key.empty()) return key;
  static const char* names[] = {"EXP", "LN", "POW", "INV"};
  std::string k = std::string(names[kind]) + "(" + arg.Key() + ")";
  if (kind == Pow) k += "^" + Exact(exponent);
  return k;
}

std::shared_ptr<const Factor> MakeFactor(Factor::Kind kind, Lin arg, double exponent) {
  auto f = std::make_shared<Factor>(Factor{kind, std::move(arg), exponent, ""});
  f->key = f->Key();
  return f;
}

double Factor::Eval(double T) const {
  double a = arg.Eval(T);
  switch (kind) {
    case Exp:
      return std::exp(a);
    case Ln:
      return std::log(a);
    case Pow:
      return std::pow(a, exponent);
    case Inv:
      return 1 / a;
  }
  return 0;
}

Lin Lin::Constant(double c) {
  Lin l;
  if (c != 0) l.Add(Term{c, 0, 0, {}});
  return l;
}

Lin Lin::TPower(int n) {
  Lin l;
  l.Add(Term{1, n, 0, {}});
  return l;
}

Lin Lin::LnT() {
  Lin l;
  l.Add(Term{1, 0, 1, {}});
  return l;
}

Lin Lin::Of(std::shared_ptr<const Factor> f) {
  Lin l;
  l.Add(Term{1, 0, 0, {std::move(f)}});
  return l;
}

Lin Lin::Of(const Term& t) {
  Lin l;
  l.Add(t);
  return l;
}

double Lin::CoefOf(const std::string& key) const {
  auto it = terms_.find(key);
  return it == terms_.end() ? 0 : it->second.Coef;
}

namespace {

int SizeOf(const Term& t) {
  int n = 1;
  for (const auto& f : t.Factors) n += f->Size();
  return n;
}

void CheckCoefficient(double c) {
  if (!std::isfinite(c)) throw TooLarge("a coefficient beyond the range of numbers (about 1E308)");
}

}  // namespace

void Lin::Add(const Term& t) {
  if (t.Coef == 0) return;
  CheckCoefficient(t.Coef);
  if (std::abs(t.TPow) > kMaxPower || std::abs(t.LnPow) > kMaxPower)
    throw TooLarge("a power of " + std::string(std::abs(t.TPow) > kMaxPower ? "T" : "LN(T)") +
                   " beyond " + std::to_string(kMaxPower) + " (" +
                   std::to_string(std::abs(t.TPow) > kMaxPower ? t.TPow : t.LnPow) +
                   "): its value leaves the range of numbers");
  std::string k = t.Key();
  auto it = terms_.find(k);
  if (it == terms_.end()) {
    size_ += SizeOf(t);
    if (size_ - 1 > kMaxOperations)
      throw TooLarge("more than " + std::to_string(kMaxOperations) +
                     " terms, more than one expression of the sheet can hold");
    terms_.emplace(k, t);
    return;
  }
  it->second.Coef += t.Coef;
  CheckCoefficient(it->second.Coef);
  if (it->second.Coef == 0) {
    size_ -= SizeOf(it->second);
    terms_.erase(it);
  }
}

Lin& Lin::operator+=(const Lin& o) {
  for (const auto& [k, t] : o.terms_) Add(t);
  return *this;
}

Lin Lin::operator+(const Lin& o) const {
  Lin r = *this;
  r += o;
  return r;
}

Lin Lin::operator-(const Lin& o) const {
  return *this + o.Scaled(-1);
}

Lin Lin::Scaled(double k) const {
  Lin r;
  if (k == 0) return r;
  for (const auto& [key, t] : terms_) {
    Term s = t;
    s.Coef *= k;
    r.Add(s);
  }
  return r;
}

Lin Lin::operator*(const Lin& o) const {
  Lin r;
  if (static_cast<long>(terms_.size()) * static_cast<long>(o.terms_.size()) > kMaxProductPairs)
    throw TooLarge("a product of sums of " + std::to_string(terms_.size()) + " and " +
                   std::to_string(o.terms_.size()) + " terms, more than " +
                   std::to_string(kMaxProductPairs) + " terms to gather");
  for (const auto& [ka, a] : terms_) {
    for (const auto& [kb, b] : o.terms_) {
      Term t{a.Coef * b.Coef, a.TPow + b.TPow, a.LnPow + b.LnPow, a.Factors};
      t.Factors.insert(t.Factors.end(), b.Factors.begin(), b.Factors.end());
      std::sort(t.Factors.begin(), t.Factors.end(),
                [](const auto& x, const auto& y) { return x->Key() < y->Key(); });
      r.Add(t);
    }
  }
  return r;
}

bool Lin::IsConstant(double* value) const {
  if (terms_.empty()) {
    if (value) *value = 0;
    return true;
  }
  if (terms_.size() != 1) return false;
  const Term& t = terms_.begin()->second;
  if (t.TPow != 0 || t.LnPow != 0 || !t.Factors.empty()) return false;
  if (value) *value = t.Coef;
  return true;
}

bool Lin::IsMonomial(double* coef, int* tpow) const {
  if (terms_.size() != 1) return false;
  const Term& t = terms_.begin()->second;
  if (t.LnPow != 0 || !t.Factors.empty()) return false;
  *coef = t.Coef;
  *tpow = t.TPow;
  return true;
}

bool Lin::UsesT() const {
  return !IsConstant(nullptr);
}

double Lin::Eval(double T) const {
  double sum = 0;
  for (const auto& [k, t] : terms_) {
    double v = t.Coef;
    if (t.TPow) v *= std::pow(T, t.TPow);
    if (t.LnPow) v *= std::pow(std::log(T), t.LnPow);
    for (const auto& f : t.Factors) v *= f->Eval(T);
    sum += v;
  }
  return sum;
}

std::vector<Term> Lin::Terms() const {
  std::vector<Term> out;
  for (const auto& [k, t] : terms_) out.push_back(t);
  // Constant, then T^n*LN(T)^m with n >= 0 by n and m, then negative powers, then the rest.
  auto rank = [](const Term& t) {
    int group = !t.Factors.empty() ? 2 : (t.TPow < 0 ? 1 : 0);
    return std::make_tuple(group, group == 1 ? -t.TPow : t.TPow, t.LnPow);
  };
  std::stable_sort(out.begin(), out.end(),
                   [&](const Term& a, const Term& b) { return rank(a) < rank(b); });
  return out;
}

std::string Lin::Key() const {
  std::string k;
  for (const auto& [key, t] : terms_) k += Exact(t.Coef) + "*" + key + ";";
  return k;
}

Piecewise Piecewise::Of(Lin l) {
  Piecewise p;
  p.Pieces = {std::move(l)};
  return p;
}

namespace {

[[noreturn]] void TooManyPieces(size_t n) {
  throw TooLarge(std::to_string(n) + " temperature ranges, more than the " +
                 std::to_string(kMaxPieces) + " one expression of the sheet can join");
}

// Both functions on the union of their limits: the piece of each that holds on every interval.
template <typename Op>
Piecewise Combine(const Piecewise& a, const Piecewise& b, Op op) {
  Piecewise r;
  std::vector<double> limits = a.Limits;
  limits.insert(limits.end(), b.Limits.begin(), b.Limits.end());
  std::sort(limits.begin(), limits.end());
  limits.erase(std::unique(limits.begin(), limits.end()), limits.end());
  if (static_cast<int>(limits.size()) + 1 > kMaxPieces) TooManyPieces(limits.size() + 1);
  r.Limits = limits;
  r.Pieces.clear();
  auto piece = [](const Piecewise& p, size_t interval,
                  const std::vector<double>& all) -> const Lin& {
    // Interval 0 lies below all[0]; interval i starts at all[i-1].
    if (interval == 0) return p.Pieces[0];
    double start = all[interval - 1];
    size_t idx = std::upper_bound(p.Limits.begin(), p.Limits.end(), start) - p.Limits.begin();
    return p.Pieces[idx];
  };
  for (size_t i = 0; i <= limits.size(); ++i)
    r.Pieces.push_back(op(piece(a, i, limits), piece(b, i, limits)));
  r.Simplify();
  return r;
}

}  // namespace

Piecewise Piecewise::operator+(const Piecewise& o) const {
  return Combine(*this, o, [](const Lin& x, const Lin& y) { return x + y; });
}
Piecewise Piecewise::operator-(const Piecewise& o) const {
  return Combine(*this, o, [](const Lin& x, const Lin& y) { return x - y; });
}
Piecewise Piecewise::operator*(const Piecewise& o) const {
  return Combine(*this, o, [](const Lin& x, const Lin& y) { return x * y; });
}

Piecewise Piecewise::Scaled(double k) const {
  return Map([k](const Lin& l) { return l.Scaled(k); });
}

Piecewise Piecewise::Map(const std::function<Lin(const Lin&)>& f) const {
  Piecewise r;
  r.Limits = Limits;
  r.Pieces.clear();
  for (const Lin& l : Pieces) r.Pieces.push_back(f(l));
  r.Simplify();
  return r;
}

double Piecewise::Eval(double T) const {
  size_t idx = std::upper_bound(Limits.begin(), Limits.end(), T) - Limits.begin();
  return Pieces[idx].Eval(T);
}

bool Piecewise::IsZero() const {
  return Pieces.size() == 1 && Pieces[0].IsZero();
}

void Piecewise::Simplify() {
  for (size_t i = 1; i < Pieces.size();) {
    if (Pieces[i].Key() == Pieces[i - 1].Key()) {
      Pieces.erase(Pieces.begin() + i);
      Limits.erase(Limits.begin() + (i - 1));
    } else {
      ++i;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Expressions in TDB syntax.

namespace {

class ExpressionReader {
 public:
  ExpressionReader(std::string_view text, const Resolver& resolve) : resolve_(resolve) {
    for (char c : text)
      if (static_cast<unsigned char>(c) > 32) text_ += c;
  }

  Piecewise Read() {
    if (text_.empty()) Fail("empty expression");
    try {
      Piecewise v = Sum();
      if (pos_ != text_.size()) Fail("unexpected '" + text_.substr(pos_, 12) + "'");
      return v;
    } catch (const TooLarge& e) {
      Fail(e.what());
    }
  }

 private:
  [[noreturn]] void Fail(const std::string& why) const {
    // Long expressions are quoted by their beginning.
    constexpr size_t kQuoted = 80;
    const std::string quoted =
        text_.size() <= kQuoted ? text_ : text_.substr(0, kQuoted - 3) + "...";
    throw Error(why + " in expression '" + quoted + "'");
  }
  bool Eat(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool At(std::string_view s) const { return text_.compare(pos_, s.size(), s) == 0; }

  Piecewise Sum() {
    Piecewise v = Product();
    for (;;) {
      bool minus = false;
      if (Eat('-'))
        minus = true;
      else if (!Eat('+'))
        return v;
      Piecewise w = Product();
      if (minus) w = w.Scaled(-1);
      // Long sums of one piece are gathered in place rather than copied term by term.
      if (v.Pieces.size() == 1 && w.Pieces.size() == 1)
        v.Pieces[0] += w.Pieces[0];
      else
        v = v + w;
    }
  }

  Piecewise Product() {
    Piecewise v = Unary();
    for (;;) {
      if (At("**")) return v;  // handled by Power
      if (Eat('*'))
        v = v * Unary();
      else if (Eat('/'))
        v = Divide(v, Unary());
      else
        return v;
    }
  }

  Piecewise Unary() {
    if (pos_ < text_.size() && (text_[pos_] == '-' || text_[pos_] == '+')) {
      const bool minus = text_[pos_++] == '-';
      if (++depth_ > kMaxNesting) Fail(kTooDeep);
      Piecewise v = Unary();
      --depth_;
      return minus ? v.Scaled(-1) : v;
    }
    return Power();
  }

  Piecewise Power() {
    Piecewise base = Primary();
    if (!At("**") && !At("^")) return base;
    pos_ += At("**") ? 2 : 1;
    // A chain of powers nests the reading as brackets do.
    if (++depth_ > kMaxNesting) Fail(kTooDeep);
    Piecewise e = Unary();
    --depth_;
    double n = 0;
    if (e.Pieces.size() != 1 || !e.Pieces[0].IsConstant(&n)) Fail("an exponent that depends on T");
    return RaiseTo(base, n);
  }

  Piecewise RaiseTo(const Piecewise& base, double n) {
    if (n == std::trunc(n) && std::abs(n) <= 64) {
      int k = static_cast<int>(n);
      return base.Map([k](const Lin& b) {
        double coef = 0;
        int tpow = 0;
        if (b.IsMonomial(&coef, &tpow)) return Lin::TPower(tpow * k).Scaled(std::pow(coef, k));
        Lin r = Lin::Constant(1);
        for (int i = 0; i < std::abs(k); ++i) r = r * b;
        if (k < 0) r = Lin::Of(MakeFactor(Factor::Inv, r));
        return r;
      });
    }
    return base.Map([n](const Lin& b) {
      double c = 0;
      if (b.IsConstant(&c)) return Lin::Constant(std::pow(c, n));
      if (!(std::abs(n) <= kMaxPower))
        throw TooLarge("a power beyond " + std::to_string(kMaxPower) + " (" + Short(n) +
                       "): its value leaves the range of numbers");
      return Lin::Of(MakeFactor(Factor::Pow, b, n));
    });
  }

  Piecewise Divide(const Piecewise& a, const Piecewise& b) { return a * RaiseTo(b, -1); }

  Piecewise Primary() {
    // Brackets, calls and signs nest the reading; a file cannot make it run out of stack.
    if (++depth_ > kMaxNesting) Fail(kTooDeep);
    struct Leave {
      int& d;
      ~Leave() { --d; }
    } leave{depth_};
    if (Eat('(')) {
      Piecewise v = Sum();
      if (!Eat(')')) Fail("missing ')'");
      return v;
    }
    if (pos_ < text_.size() &&
        (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.'))
      return Number();
    if (pos_ < text_.size() &&
        (std::isalpha(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) {
      size_t start = pos_;
      while (pos_ < text_.size() &&
             (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
        ++pos_;
      std::string name = text_.substr(start, pos_ - start);
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      bool hash = Eat('#');
      if (!hash && pos_ < text_.size() && text_[pos_] == '(') return Call(name);
      if (!hash && name == "T") return Piecewise::Of(Lin::TPower(1));
      if (!hash && name == "P") return resolve_(kPressureName);
      if (!hash && name == "R") return Piecewise::Of(Lin::Constant(kTdbGasConstant));
      return resolve_(name);
    }
    if (pos_ >= text_.size()) Fail("the expression ends too early");
    Fail(std::string("unexpected '") + text_[pos_] + "'");
  }

  Piecewise Call(const std::string& name) {
    ++pos_;  // '('
    Piecewise arg = Sum();
    if (!Eat(')')) Fail("missing ')'");
    if (name == "LN" || name == "LOG") {
      return arg.Map([this](const Lin& a) {
        double c = 0;
        int n = 0;
        if (a.IsMonomial(&c, &n) && c > 0) return Lin::Constant(std::log(c)) + Lin::LnT().Scaled(n);
        if (a.IsConstant(&c)) {
          if (c <= 0) Fail("LN of a number that is not positive");
          return Lin::Constant(std::log(c));
        }
        return Lin::Of(MakeFactor(Factor::Ln, a));
      });
    }
    if (name == "EXP") {
      return arg.Map([](const Lin& a) {
        double c = 0;
        if (a.IsConstant(&c)) return Lin::Constant(std::exp(c));
        return Lin::Of(MakeFactor(Factor::Exp, a));
      });
    }
    if (name == "SQRT") return RaiseTo(arg, 0.5);
    Fail("unknown function " + name);
  }

  Piecewise Number() {
    const size_t n = NumeralLength(std::string_view(text_).substr(pos_));
    if (n == 0) Fail("bad number");
    const std::string numeral = text_.substr(pos_, n);
    const double v = std::strtod(numeral.c_str(), nullptr);
    if (!std::isfinite(v)) Fail("the number " + numeral + " is beyond the range of numbers");
    pos_ += n;
    return Piecewise::Of(Lin::Constant(v));
  }

  std::string text_;
  size_t pos_ = 0;
  int depth_ = 0;
  static constexpr int kMaxNesting = 200;
  static constexpr const char* kTooDeep = "brackets, signs or powers nested more than 200 deep";
  const Resolver& resolve_;
};

}  // namespace

Piecewise ParseExpression(std::string_view text, const Resolver& resolve) {
  return ExpressionReader(text, resolve).Read();
}

std::vector<std::string> NamesIn(std::string_view text) {
  std::string t;
  for (char c : text)
    if (static_cast<unsigned char>(c) > 32) t += c;
  std::vector<std::string> out;
  for (size_t i = 0; i < t.size();) {
    const unsigned char c = static_cast<unsigned char>(t[i]);
    if (std::isdigit(c) || c == '.') {
      i += std::max<size_t>(1, NumeralLength(std::string_view(t).substr(i)));
      continue;
    }
    if (!std::isalpha(c) && c != '_') {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < t.size() && (std::isalnum(static_cast<unsigned char>(t[i])) || t[i] == '_')) ++i;
    std::string name = t.substr(start, i - start);
    for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const bool hash = i < t.size() && t[i] == '#';
    if (!hash && i < t.size() && t[i] == '(') continue;
    if (!hash && (name == "T" || name == "P" || name == "R")) continue;
    if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
  }
  return out;
}

Piecewise JoinRanges(const std::vector<Range>& ranges, const Resolver& resolve) {
  if (static_cast<int>(ranges.size()) > kMaxPieces) TooManyPieces(ranges.size());
  Piecewise r;
  r.Limits.clear();
  r.Pieces.clear();
  double start = -1e300;
  for (size_t i = 0; i < ranges.size(); ++i) {
    Piecewise p = ParseExpression(ranges[i].Expression, resolve);
    bool last = i + 1 == ranges.size();
    double end = last ? 1e300 : ranges[i].High;
    // The pieces of p that fall inside [start, end).
    for (size_t k = 0; k < p.Pieces.size(); ++k) {
      double lo = k == 0 ? -1e300 : p.Limits[k - 1];
      double hi = k == p.Limits.size() ? 1e300 : p.Limits[k];
      if (hi <= start || lo >= end) continue;
      if (!r.Pieces.empty()) r.Limits.push_back(std::max(lo, start));
      r.Pieces.push_back(p.Pieces[k]);
    }
    start = end;
  }
  if (r.Pieces.empty()) r.Pieces.push_back(Lin());
  r.Simplify();
  if (static_cast<int>(r.Pieces.size()) > kMaxPieces) TooManyPieces(r.Pieces.size());
  return r;
}

}  // namespace tdb
