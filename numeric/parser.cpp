// The expression component: variable table, function tables, compilation on SetExpression and
// the evaluator behind Value.

#include "numeric/parser.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <deque>
#include <random>

#include "numeric/parser_impl.h"

namespace numeric {

namespace detail {

thread_local bool exhaustive_search_for_checks = false;

void ThrowInvalidOp() { throw EInvalidOp(); }
void ThrowZeroDivide() { throw EZeroDivide(); }
void ThrowOverflow() { throw EOverflow(); }
void ThrowDivByZero() { throw EDivByZero(); }

namespace {

// False for an infinity or a NaN.
inline bool Finite(double v) { return std::fabs(v) <= DBL_MAX; }

inline double Checked(double v) {
  if (!Finite(v)) [[unlikely]]
    ThrowOverflow();
  return v;
}

// Truncation toward zero to a 64-bit integer; beyond its range the operation is invalid.
inline int64_t ToInt64(double a) {
  const double t = std::trunc(a);
  if (!(t >= -9223372036854775808.0 && t < 9223372036854775808.0)) ThrowInvalidOp();
  return static_cast<int64_t>(t);
}

constexpr double kTwoPi = 2 * 3.141592653589793;
constexpr double kTwoOverPi = 0.6366197723675814;
constexpr double kTrigLimit = 9223372036854775808.0;  // 2^63

double FTan(double x) { return Checked(std::tan(x)); }
double FSin(double x) { return std::fabs(x) >= kTrigLimit ? 0.0 : std::sin(x); }
double FCos(double x) { return std::fabs(x) >= kTrigLimit ? 0.0 : std::cos(x); }
// Both exponentials in extended precision, so that neither overflows on its own while the
// result still fits a double.
double FSinh(double x) {
  const long double v = (std::exp(static_cast<long double>(x)) -
                         std::exp(-static_cast<long double>(x))) * 0.5L;
  if (!(std::fabs(v) <= static_cast<long double>(DBL_MAX))) ThrowOverflow();
  return static_cast<double>(v);
}
double FCosh(double x) {
  const long double v = (std::exp(static_cast<long double>(x)) +
                         std::exp(-static_cast<long double>(x))) * 0.5L;
  if (!(v <= static_cast<long double>(DBL_MAX))) ThrowOverflow();
  return static_cast<double>(v);
}
double FArctan(double x) { return std::atan(x); }
double FExp(double x) { return Checked(std::exp(x)); }
double FLn(double x) {
  if (x == 0) return 0;
  if (x < 0) ThrowInvalidOp();
  return std::log(x);
}
double FSqrt(double x) {
  if (x < 0) ThrowInvalidOp();
  return std::sqrt(x);
}
double FAbs(double x) { return std::fabs(x); }
double FHeav(double x) { return x >= 0 ? 1.0 : 0.0; }
double FSign(double x) { return x < 0 ? -1.0 : x > 0 ? 1.0 : 0.0; }
double FZero(double x) { return x == 0 ? 0.0 : 1.0; }
// 2*pi*(t - round(t)) with t = x / (2/pi); round to nearest, ties to even.
double FPh(double x) {
  const double t = Checked(x / kTwoOverPi);
  return kTwoPi * (t - std::nearbyint(t));
}
double FMax(double a, double b) { return a >= b ? a : b; }
double FMin(double a, double b) { return a < b ? a : b; }

}  // namespace

double Random(double x) {
  thread_local std::mt19937_64 gen{std::random_device{}()};
  const double u = static_cast<double>(gen() >> 11) * 0x1.0p-53;  // 0 <= u < 1
  return std::trunc(x) * u;
}

// a^n by repeated squaring; for negative n the reciprocal of a^|n|.
template <class F>
F PowerBySquaring(F base, uint64_t m) {
  F r = 1;
  for (;;) {
    if (m & 1) r *= base;
    m >>= 1;
    if (!m) return r;
    base *= base;
  }
}

double IntPower(double a, int64_t n) {
  if (n == 0) return 1.0;
  const uint64_t m = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  // With |a| > 1 every factor is at least as large as the one before, so an infinity here
  // means the power itself is beyond the double range; below 1 nothing can overflow.
  const double r = PowerBySquaring(a, m);
  if (n > 0) return Checked(r);
  if (a == 0) ThrowZeroDivide();
  if (std::fabs(r) >= DBL_MIN && Finite(r)) return 1.0 / r;
  // a^|n| left the normal double range although its reciprocal may lie inside it (or
  // underflow quietly): redo it in extended precision.
  const long double v = 1.0L / PowerBySquaring(static_cast<long double>(a), m);
  if (!(std::fabs(v) <= static_cast<long double>(DBL_MAX))) ThrowOverflow();
  return static_cast<double>(v);
}

double GeneralPower(double a, double b) {
  if (b == 0) return 1.0;
  if (a == 0 && b > 0) return 0.0;
  if (b == std::trunc(b) && std::fabs(b) <= 2147483647.0)
    return IntPower(a, static_cast<int64_t>(b));
  // e^(b ln a)
  if (a < 0) ThrowInvalidOp();
  if (a == 0) ThrowZeroDivide();
  return Checked(std::pow(a, b));
}

double IntDiv(double a, double b) {
  const int64_t x = ToInt64(a);
  const int64_t y = ToInt64(b);
  if (y == 0) ThrowDivByZero();
  // Also for the smallest 64-bit integer. A zero quotient is +0, as every other integer
  // quotient converted back to a double is (0.0 - x would not do: compilers fold it to -x).
  if (y == -1) return x == 0 ? 0.0 : -static_cast<double>(x);
  return static_cast<double>(x / y);
}

double IntMod(double a, double b) {
  const int64_t x = ToInt64(a);
  const int64_t y = ToInt64(b);
  if (y == 0) ThrowDivByZero();
  if (y == -1) return 0.0;
  return static_cast<double>(x % y);
}

namespace {

// a / b failed: 0/0, a division by zero, or a quotient beyond the double range.
[[noreturn]] void ThrowDivideError(double a, double b) {
  if (b == 0) {
    if (a == 0) ThrowInvalidOp();
    ThrowZeroDivide();
  }
  ThrowOverflow();
}

// Runs the list. Every operation checks its own result; the rare failures leave through
// out-of-line throwing routines. With GCC and Clang each routine ends in its own indirect jump
// to the next (threaded code), which the processor predicts well for a fixed list.
double Run(Program& p) {
  double* const R = p.regs.data();
  const Instr* ip = p.code.data();
#if defined(__GNUC__)
  static const void* const kLabels[] = {
      &&l_nop,    &&l_nop,  &&l_negate, &&l_add,    &&l_subtract, &&l_multiply,
      &&l_divide, &&l_mod,  &&l_div,    &&l_ipower, &&l_power,    &&l_square,
      &&l_cube,   &&l_fourth, &&l_func1, &&l_func2, &&l_end};
#define BRELONA_OP(label) label:
#define BRELONA_NEXT() goto* kLabels[(++ip)->op]
  goto* kLabels[ip->op];
#else
#define BRELONA_OP(label) case label##_code:
#define BRELONA_NEXT() \
  ++ip;                \
  continue
  enum {
    l_nop_code = opVariable, l_negate_code = opNegate, l_add_code = opAdd,
    l_subtract_code = opSubtract, l_multiply_code = opMultiply, l_divide_code = opDivide,
    l_mod_code = opMod, l_div_code = opDiv, l_ipower_code = opIntPower, l_power_code = opPower,
    l_square_code = opSquare, l_cube_code = opCube, l_fourth_code = opFourth,
    l_func1_code = opFunc1, l_func2_code = opFunc2, l_end_code = opEnd
  };
  for (;;) switch (ip->op) {
      default:
#endif
  BRELONA_OP(l_nop) { BRELONA_NEXT(); }
  BRELONA_OP(l_negate) {
    R[ip->r] = -R[ip->a];
    BRELONA_NEXT();
  }
  BRELONA_OP(l_add) {
    const double v = R[ip->a] + R[ip->b];
    if (!Finite(v)) [[unlikely]] ThrowOverflow();
    R[ip->r] = v;
    BRELONA_NEXT();
  }
  BRELONA_OP(l_subtract) {
    const double v = R[ip->a] - R[ip->b];
    if (!Finite(v)) [[unlikely]] ThrowOverflow();
    R[ip->r] = v;
    BRELONA_NEXT();
  }
  BRELONA_OP(l_multiply) {
    const double v = R[ip->a] * R[ip->b];
    if (!Finite(v)) [[unlikely]] ThrowOverflow();
    R[ip->r] = v;
    BRELONA_NEXT();
  }
  BRELONA_OP(l_divide) {
    const double b = R[ip->b];
    const double v = R[ip->a] / b;
    if (b == 0 || !Finite(v)) [[unlikely]] ThrowDivideError(R[ip->a], b);
    R[ip->r] = v;
    BRELONA_NEXT();
  }
  BRELONA_OP(l_mod) {
    R[ip->r] = IntMod(R[ip->a], R[ip->b]);
    BRELONA_NEXT();
  }
  BRELONA_OP(l_div) {
    R[ip->r] = IntDiv(R[ip->a], R[ip->b]);
    BRELONA_NEXT();
  }
  BRELONA_OP(l_ipower) {
    R[ip->r] = IntPower(R[ip->a], ip->n);
    BRELONA_NEXT();
  }
  BRELONA_OP(l_power) {
    R[ip->r] = GeneralPower(R[ip->a], R[ip->b]);
    BRELONA_NEXT();
  }
  BRELONA_OP(l_square) {
    const double a = R[ip->a];
    const double v = a * a;
    if (!Finite(v)) [[unlikely]] ThrowOverflow();
    R[ip->r] = v;
    BRELONA_NEXT();
  }
  BRELONA_OP(l_cube) {
    const double a = R[ip->a];
    const double v = a * a * a;
    if (!Finite(v)) [[unlikely]] ThrowOverflow();
    R[ip->r] = v;
    BRELONA_NEXT();
  }
  BRELONA_OP(l_fourth) {
    const double a = R[ip->a];
    const double s = a * a;
    const double v = s * s;
    if (!Finite(v)) [[unlikely]] ThrowOverflow();
    R[ip->r] = v;
    BRELONA_NEXT();
  }
  BRELONA_OP(l_func1) {
    R[ip->r] = ip->f1(R[ip->a]);
    BRELONA_NEXT();
  }
  BRELONA_OP(l_func2) {
    R[ip->r] = ip->f2(R[ip->a], R[ip->b]);
    BRELONA_NEXT();
  }
  BRELONA_OP(l_end) { return R[p.result]; }
#if !defined(__GNUC__)
    }
#endif
#undef BRELONA_OP
#undef BRELONA_NEXT
}

}  // namespace
}  // namespace detail

struct TCustomParser::Impl {
  detail::VarTable vars;
  std::deque<double> cells;  // user variables; addresses stay valid
  detail::Func1Table funcs1;
  detail::Func2Table funcs2;
  std::string expression;
  bool fixed_number_format = true;
  TParserErrorEvent on_error;
  detail::Program program;
  // The program cut for runs where only `varying` changes (SetVaryingCells).
  std::vector<const double*> varying;
  struct Hoisted {
    detail::SplitProgram split;
    // The other variables, with the bits of the values the outer part last ran for.
    std::vector<std::pair<const double*, uint64_t>> watched;
    bool ran = false;  // the outer part ran for the watched values
    bool ok = false;   // and raised nothing: the inner part can be used
  };
  std::unique_ptr<Hoisted> hoisted;
  void Hoist();
};

void TCustomParser::Impl::Hoist() {
  hoisted.reset();
  if (varying.empty()) return;
  // Below a dozen operations outside, the bookkeeping would cost what it saves.
  auto h = std::make_unique<Hoisted>();
  if (!detail::Split(program, varying, 12, h->split)) return;
  for (const auto& [reg, cell] : program.vars) {
    if (std::find(varying.begin(), varying.end(), cell) == varying.end())
      h->watched.push_back({cell, 0});
  }
  hoisted = std::move(h);
}

TCustomParser::TCustomParser() : impl_(std::make_unique<Impl>()) {}
TCustomParser::~TCustomParser() = default;

void TCustomParser::RegisterBuiltins() {
  static const char kNames[] = "ABCDEXYT";
  static const int kCell[] = {0, 1, 2, 3, 4, 5, 6, 7};
  for (int t = 0; t < 8; ++t) impl_->vars.Add(std::string(1, kNames[t]), &builtin_[kCell[t]]);
  struct F1 {
    const char* name;
    detail::Func1 f;
  };
  static const F1 kF1[] = {
      {"TAN", detail::FTan},   {"SIN", detail::FSin},   {"COS", detail::FCos},
      {"SINH", detail::FSinh}, {"COSH", detail::FCosh}, {"ARCTAN", detail::FArctan},
      {"EXP", detail::FExp},   {"LN", detail::FLn},     {"SQRT", detail::FSqrt},
      {"ABS", detail::FAbs},   {"HEAV", detail::FHeav}, {"SIGN", detail::FSign},
      {"ZERO", detail::FZero}, {"PH", detail::FPh},     {"RND", detail::Random},
  };
  for (const F1& f : kF1)
    if (!impl_->funcs1.Add(f.name, f.f)) throw EParserInternalError();
  if (!impl_->funcs2.Add("MAX", detail::FMax) || !impl_->funcs2.Add("MIN", detail::FMin))
    throw EParserInternalError();
}

double* TCustomParser::AssignVariable(std::string_view name, double value) {
  std::string upper(name);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (double** cell = impl_->vars.Find(upper)) {
    **cell = value;
    return *cell;
  }
  auto ident_start = [](char c) { return (c >= 'A' && c <= 'Z') || c == '_'; };
  auto ident_char = [&](char c) { return ident_start(c) || (c >= '0' && c <= '9'); };
  double* cell = nullptr;
  if (upper.size() == 1) {
    static const char kNames[] = "ABCDEXYT";
    for (int t = 0; t < 8; ++t)
      if (upper[0] == kNames[t]) cell = &builtin_[t];
    if (!cell && !ident_start(upper[0])) throw EBadName(upper);
  } else {
    bool ok = !upper.empty() && ident_start(upper[0]);
    for (size_t k = 1; ok && k < upper.size(); ++k) ok = ident_char(upper[k]);
    if (!ok) throw EBadName(upper);
  }
  if (!cell) {
    impl_->cells.push_back(0.0);
    cell = &impl_->cells.back();
  }
  *cell = value;
  impl_->vars.Add(upper, cell);
  return cell;
}

const std::string& TCustomParser::Expression() const { return impl_->expression; }

void TCustomParser::SetVaryingCells(std::vector<const double*> cells) {
  impl_->varying = std::move(cells);
  impl_->Hoist();
}

bool TCustomParser::Hoisting() const {
  return impl_->hoisted != nullptr;
}

void TCustomParser::SetExpression(std::string_view text) {
  impl_->program = detail::Program{};
  impl_->hoisted.reset();
  impl_->expression = std::string(text);
  if (text.empty()) return;
  try {
    detail::CompileInput in{text, &impl_->vars, &impl_->funcs1, &impl_->funcs2,
                            impl_->fixed_number_format, detail::exhaustive_search_for_checks};
    impl_->program = detail::Compile(in);
    detail::Translate(impl_->program);
    impl_->Hoist();
  } catch (const std::exception& e) {
    impl_->program = detail::Program{};
    impl_->hoisted.reset();
    if (!impl_->on_error) throw;
    impl_->on_error(*this, e);
  }
}

double TCustomParser::Value() {
  detail::Program& p = impl_->program;
  if (!p.compiled) return 0.0;
  if (p.code.empty()) return p.single ? *p.single : p.single_constant;
  if (impl_->hoisted) {
    Impl::Hoisted& h = *impl_->hoisted;
    bool same = h.ran;
    for (auto& [cell, bits] : h.watched) {
      const uint64_t now = std::bit_cast<uint64_t>(*cell);
      same &= now == bits;
      bits = now;
    }
    if (!same) {
      // The outer part anew. When it fails, the whole list runs instead (below), so that the
      // error raised is the one of the first failing operation, as without hoisting.
      detail::Program& outer = h.split.outer;
      detail::Program& inner = h.split.inner;
      h.ran = true;
      h.ok = false;
      for (const auto& [reg, cell] : outer.vars) outer.regs[reg] = *cell;
      try {
        detail::Run(outer);
        for (uint16_t reg : h.split.carried) inner.regs[reg] = outer.regs[reg];
        h.ok = true;
      } catch (...) {
      }
    }
    if (h.ok) {
      detail::Program& inner = h.split.inner;
      if (const detail::JitCode::Fn fn = inner.jit.fn()) {
        const double v = fn(inner.regs.data());
        if (!std::isnan(v)) [[likely]]
          return v;
      }
      for (const auto& [reg, cell] : inner.vars) inner.regs[reg] = *cell;
      return detail::Run(inner);
    }
  }
  double* const R = p.regs.data();
  // The native code either succeeds or reports a failure, which the list then raises exactly.
  if (const detail::JitCode::Fn fn = p.jit.fn()) {
    const double v = fn(R);
    if (!std::isnan(v)) [[likely]]
      return v;
  }
  for (const auto& [reg, cell] : p.vars) R[reg] = *cell;
  return detail::Run(p);
}

bool TCustomParser::FixedNumberformat() const { return impl_->fixed_number_format; }
void TCustomParser::SetFixedNumberformat(bool on) { impl_->fixed_number_format = on; }
void TCustomParser::SetOnParserError(TParserErrorEvent handler) {
  impl_->on_error = std::move(handler);
}

TParser::TParser() { RegisterBuiltins(); }

}  // namespace numeric
