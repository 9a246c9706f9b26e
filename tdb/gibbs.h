#pragma once
// Temperature functions of a TDB file in a form that can be added, scaled and written out:
// a piecewise sum of terms c * T^n * LN(T)^m * (other factors), with the pieces joined at
// the temperature limits of the ranges.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tdb/database.h"

namespace tdb {

struct Factor;

// The bounds of what one expression of the phase sheet can hold, and so of what the term
// arithmetic works out: the sheet's language allows 20 nesting levels of at most 50
// operations each.
inline constexpr int kMaxOperations = 20 * 50;
// Pieces are joined by adding HEAV(T-limit)*(jump), four operations a join.
inline constexpr int kMaxPieces = kMaxOperations / 4 + 1;
// Powers of T (and of LN(T)) beyond +-400: T^n leaves the range of numbers at every
// temperature above 6 K.
inline constexpr int kMaxPower = 400;
// A product of two sums is worked out term by term; more pairs than this are refused before
// they are formed (each factor alone may hold up to kMaxOperations terms).
inline constexpr long kMaxProductPairs = 100000;

// One term: Coef * T^TPow * LN(T)^LnPow * product of Factors.
struct Term {
  double Coef = 0;
  int TPow = 0;
  int LnPow = 0;
  std::vector<std::shared_ptr<const Factor>> Factors;  // sorted by Key
  std::string Key() const;
};

// A sum of terms, each kind of term once (keyed by Term::Key).
class Lin {
 public:
  static Lin Constant(double c);
  static Lin TPower(int n);
  static Lin LnT();
  static Lin Of(std::shared_ptr<const Factor> f);
  static Lin Of(const Term& t);

  Lin& operator+=(const Lin& o);
  Lin operator+(const Lin& o) const;
  Lin operator-(const Lin& o) const;
  Lin operator*(const Lin& o) const;
  Lin Scaled(double k) const;

  bool IsZero() const { return terms_.empty(); }
  // The terms and factors held, nested ones included: the written sum needs at least
  // Size() - 1 operations.
  int Size() const { return size_; }
  // True with the value when the sum is a plain number.
  bool IsConstant(double* value) const;
  // True when the sum is one term c*T^n without other factors.
  bool IsMonomial(double* coef, int* tpow) const;
  bool UsesT() const;
  double Eval(double T) const;
  // The terms in a fixed, readable order: constant, T, T*LN(T), higher powers, 1/T, ...
  std::vector<Term> Terms() const;
  std::string Key() const;
  // The coefficient of the term with this key, 0 when there is none.
  double CoefOf(const std::string& key) const;

 private:
  void Add(const Term& t);
  std::map<std::string, Term> terms_;
  int size_ = 0;
};

// A factor the term arithmetic keeps whole: EXP(arg), LN(arg), arg^exponent, 1/arg.
struct Factor {
  enum Kind { Exp, Ln, Pow, Inv } kind;
  Lin arg;
  double exponent = 0;
  std::string key;  // filled by MakeFactor; Key() works it out when it is empty
  std::string Key() const;
  double Eval(double T) const;
  // Written, it needs at least one operation more than its argument's sum: Size() or more.
  int Size() const { return arg.Size(); }
};

std::shared_ptr<const Factor> MakeFactor(Factor::Kind kind, Lin arg, double exponent = 0);

// A function of T in pieces: Pieces[0] below Limits[0], Pieces[i] from Limits[i-1] (included)
// to Limits[i], the last piece from the last limit on. Outside the ranges of the file the
// first and the last piece go on.
struct Piecewise {
  std::vector<double> Limits;
  std::vector<Lin> Pieces{Lin()};

  static Piecewise Of(Lin l);
  Piecewise operator+(const Piecewise& o) const;
  Piecewise operator-(const Piecewise& o) const;
  Piecewise operator*(const Piecewise& o) const;
  Piecewise Scaled(double k) const;
  // Applies f to every piece.
  Piecewise Map(const std::function<Lin(const Lin&)>& f) const;
  double Eval(double T) const;
  bool IsZero() const;
  // Joins neighbouring pieces that are equal.
  void Simplify();
};

// The value of a function name used in an expression (with or without its '#'). The pressure P
// is asked for as kPressureName, which no function can be called; a resolver without a value
// for it throws PressureUsed.
using Resolver = std::function<Piecewise(const std::string& name)>;
inline constexpr const char* kPressureName = " P";

// Reads one TDB expression: numbers, T, P, R (8.31451), names of functions, + - * / **,
// brackets, LN, LOG (natural), EXP and SQRT. Throws tdb::Error naming the problem; the
// pressure P is the resolver's (see Resolver).
Piecewise ParseExpression(std::string_view text, const Resolver& resolve);

struct PressureUsed : Error {
  using Error::Error;
};

// A value the arithmetic refuses: a coefficient beyond the range of numbers, a power beyond
// kMaxPower, more terms or pieces than one expression of the sheet can hold.
struct TooLarge : Error {
  using Error::Error;
};

// The names of the functions an expression refers to (upper case, each once): names followed
// by '#', and other names that are neither T, P, R nor a call.
std::vector<std::string> NamesIn(std::string_view text);

// Ranges joined into one piecewise function: each range's expression in its own interval.
// More than kMaxPieces ranges are refused (TooLarge) before any is read.
Piecewise JoinRanges(const std::vector<Range>& ranges, const Resolver& resolve);

inline constexpr double kTdbGasConstant = 8.31451;

}  // namespace tdb
