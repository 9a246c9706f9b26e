// Nanoseconds per evaluation of four formulas: TParser::Value, the same formula as a native
// C++ function, and muparser when it is available. The variables change at every iteration.
//
//   build/bench/parser_bench --benchmark_min_time=1

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <utility>
#include <string>

#include "numeric/parser.h"

#ifdef BRELONA_HAVE_MUPARSER
#include <muParser.h>
#endif

namespace {

// Inputs cycle through a small table so nothing is constant across iterations.
struct Inputs {
  double x[16], t[16], sid[16];
  Inputs() {
    for (int k = 0; k < 16; ++k) {
      x[k] = 0.03 + 0.06 * k;
      t[k] = 300 + 37.5 * k;
      sid[k] = 0.5 + 0.03 * k;
    }
  }
};
const Inputs kIn;

// ---------------------------------------------------------------------------------------------
// The formulas as text, and as C++ with the same grouping.

const char* const kF1 = "-1000+T*SID";
const char* const kF2 = "-8.31441*(X*LN(X)+(1-X)*LN(1-X))";
const char* const kF3 = "X*(13000-9.6*T)+(1-X)*(12000-8.5*T)+20000*X*(1-X)-T*SID";

double Coefficient(int k) { return 1.0 / (k + 1) - 0.0625 * k; }

// sum of c_k X^k, k = 0..29, in six bracketed groups of five terms (a flat sum of 30 terms
// would nest deeper than the language allows)
std::string Polynomial() {
  std::string s;
  for (int k = 0; k < 30; ++k) {
    char c[64];
    std::snprintf(c, sizeof c, "%.17g", Coefficient(k));
    std::string term = c;
    if (k == 1) term += "*X";
    if (k > 1) term += "*X^" + std::to_string(k);
    if (k % 5 == 0) s += k ? "+(" : "(";
    else if (term[0] != '-') s += "+";
    s += term;
    if (k % 5 == 4) s += ")";
  }
  return s;
}

double Native1(double, double t, double sid) { return -1000 + t * sid; }
double Native2(double x, double, double) {
  return -8.31441 * (x * std::log(x) + (1 - x) * std::log(1 - x));
}
double Native3(double x, double t, double sid) {
  return x * (13000 - 9.6 * t) + ((1 - x) * (12000 - 8.5 * t) + (20000 * (x * (1 - x)) - t * sid));
}
template <int N>
inline double Pow(double x) {
  if constexpr (N == 0) {
    return 1;
  } else if constexpr (N % 2 == 0) {
    const double h = Pow<N / 2>(x);
    return h * h;
  } else {
    return Pow<N - 1>(x) * x;
  }
}
double kCoef[30];
template <int... K>
double PolySum(double x, std::integer_sequence<int, K...>) {
  return (... + (kCoef[K] * Pow<K>(x)));
}
double Native4(double x, double, double) {
  return PolySum(x, std::make_integer_sequence<int, 30>{});
}

// ---------------------------------------------------------------------------------------------

void RunParser(benchmark::State& state, const std::string& text) {
  numeric::TParser p;
  double* sid = p.AssignVariable("SID", 0);
  p.SetExpression(text);
  unsigned k = 0;
  for (auto _ : state) {
    p.SetX(kIn.x[k & 15]);
    p.SetT(kIn.t[k & 15]);
    *sid = kIn.sid[k & 15];
    ++k;
    benchmark::DoNotOptimize(p.Value());
  }
}

void RunNative(benchmark::State& state, double (*f)(double, double, double)) {
  for (int k = 0; k < 30; ++k) kCoef[k] = Coefficient(k);
  unsigned k = 0;
  for (auto _ : state) {
    double x = kIn.x[k & 15], t = kIn.t[k & 15], sid = kIn.sid[k & 15];
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(t);
    benchmark::DoNotOptimize(sid);
    ++k;
    benchmark::DoNotOptimize(f(x, t, sid));
  }
}

#ifdef BRELONA_HAVE_MUPARSER
void RunMuparser(benchmark::State& state, std::string text) {
  // muparser's natural logarithm is ln
  for (size_t at; (at = text.find("LN(")) != std::string::npos;) text.replace(at, 3, "ln(");
  mu::Parser p;
  double x = 0, t = 0, sid = 0;
  p.DefineVar("X", &x);
  p.DefineVar("T", &t);
  p.DefineVar("SID", &sid);
  p.SetExpr(text);
  unsigned k = 0;
  for (auto _ : state) {
    x = kIn.x[k & 15];
    t = kIn.t[k & 15];
    sid = kIn.sid[k & 15];
    ++k;
    benchmark::DoNotOptimize(p.Eval());
  }
}
#endif

void Register() {
  struct Formula {
    const char* name;
    std::string text;
    double (*native)(double, double, double);
  };
  static const Formula kFormulas[] = {
      {"F1_linear", kF1, Native1},
      {"F2_mixing", kF2, Native2},
      {"F3_solution", kF3, Native3},
      {"F4_poly30", Polynomial(), Native4},
  };
  for (const Formula& f : kFormulas) {
    benchmark::RegisterBenchmark((std::string(f.name) + "/brelona").c_str(),
                                 [&f](benchmark::State& s) { RunParser(s, f.text); });
    benchmark::RegisterBenchmark((std::string(f.name) + "/native").c_str(),
                                 [&f](benchmark::State& s) { RunNative(s, f.native); });
#ifdef BRELONA_HAVE_MUPARSER
    benchmark::RegisterBenchmark((std::string(f.name) + "/muparser").c_str(),
                                 [&f](benchmark::State& s) { RunMuparser(s, f.text); });
#endif
  }
  // Compilation of the third formula, and of a long text that the form search must not
  // blow up on (a 10,000-character difference chain, which fails on its nesting depth).
  benchmark::RegisterBenchmark("compile/F3_solution", [](benchmark::State& s) {
    numeric::TParser p;
    p.AssignVariable("SID", 0);
    for (auto _ : s) p.SetExpression(kF3);
  });
  benchmark::RegisterBenchmark("compile/long_exponent_chain", [](benchmark::State& s) {
    std::string text;
    while (text.size() < 9990) text += "1E-";
    text += "1";
    numeric::TParser p;
    for (auto _ : s) {
      try {
        p.SetExpression(text);
      } catch (const std::exception&) {
      }
    }
  });
}

}  // namespace

int main(int argc, char** argv) {
  Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
