#pragma once
// Internals shared by the expression compiler (parser_compile.cpp) and the component and its
// evaluator (parser.cpp). Not part of the public interface.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace numeric::detail {

// Operation codes. The same numbers classify the terms of the compiler, where 0 and 1 mark
// the leaves (a variable, a number).
enum OpCode : uint8_t {
  opVariable = 0,
  opConstant = 1,
  opNegate = 2,
  opAdd = 3,
  opSubtract = 4,
  opMultiply = 5,
  opDivide = 6,
  opMod = 7,
  opDiv = 8,
  opIntPower = 9,
  opPower = 10,
  opSquare = 11,
  opCube = 12,
  opFourth = 13,
  opFunc1 = 14,
  opFunc2 = 15,
  opEnd = 16,  // closes the evaluator's list (not a node of the compiled expression)
};

using Func1 = double (*)(double);
using Func2 = double (*)(double, double);

// A sorted (name, value) list looked up by binary search; names are upper case.
template <class V>
class NameTable {
 public:
  // Returns nullptr when absent.
  const V* Find(std::string_view name) const {
    auto it = LowerBound(name);
    if (it != items_.end() && it->first == name) return &it->second;
    return nullptr;
  }
  V* Find(std::string_view name) {
    return const_cast<V*>(static_cast<const NameTable&>(*this).Find(name));
  }
  // Adds the name unless present; returns false when it was present (the entry is kept).
  bool Add(std::string name, V value) {
    auto it = LowerBound(name);
    if (it != items_.end() && it->first == name) return false;
    if (name.size() > max_len_) max_len_ = name.size();
    items_.insert(it, {std::move(name), value});
    return true;
  }
  size_t MaxNameLength() const { return max_len_; }
  size_t size() const { return items_.size(); }
  void clear() {
    items_.clear();
    max_len_ = 0;
  }
  const std::vector<std::pair<std::string, V>>& items() const { return items_; }

 private:
  typename std::vector<std::pair<std::string, V>>::const_iterator LowerBound(
      std::string_view name) const {
    size_t lo = 0, hi = items_.size();
    while (lo < hi) {
      size_t mid = (lo + hi) / 2;
      if (std::string_view(items_[mid].first) < name)
        lo = mid + 1;
      else
        hi = mid;
    }
    return items_.begin() + static_cast<std::ptrdiff_t>(lo);
  }
  std::vector<std::pair<std::string, V>> items_;
  size_t max_len_ = 0;
};

using VarTable = NameTable<double*>;
using Func1Table = NameTable<Func1>;
using Func2Table = NameTable<Func2>;

// One step of the evaluator: reads registers a (and b), writes register r.
struct Instr {
  uint8_t op;
  uint16_t a;
  uint16_t b;
  uint16_t r;
  union {
    Func1 f1;
    Func2 f2;
    int64_t n;  // the exponent of opIntPower
  };
};

// Native code made from a program (parser_jit.cpp); owns its executable memory.
class JitCode {
 public:
  // Reads the variables from their cells and returns the value, or a NaN when some operation
  // failed (a value is never a NaN). Uses the register file for constants and as scratch.
  using Fn = double (*)(double* regs);
  JitCode() = default;
  JitCode(const JitCode&) = delete;
  JitCode& operator=(const JitCode&) = delete;
  JitCode(JitCode&& o) noexcept { *this = std::move(o); }
  JitCode& operator=(JitCode&& o) noexcept {
    if (this != &o) {
      Release();
      std::swap(mem_, o.mem_);
      std::swap(size_, o.size_);
      std::swap(fn_, o.fn_);
    }
    return *this;
  }
  ~JitCode() { Release(); }
  void Adopt(void* mem, size_t size) {
    Release();
    mem_ = mem;
    size_ = size;
    fn_ = reinterpret_cast<Fn>(mem);
  }
  Fn fn() const { return fn_; }
  void Release();

 private:
  void* mem_ = nullptr;
  size_t size_ = 0;
  Fn fn_ = nullptr;
};

// The compiled expression. Registers hold, in this order, copies of the variable cells the
// expression uses (refreshed at every evaluation), the constants, and the operation results.
struct Program {
  bool compiled = false;
  // The expression is one variable or one number: no operation, the value is *single.
  const double* single = nullptr;
  double single_constant = 0;
  std::vector<double> regs;
  std::vector<std::pair<uint16_t, const double*>> vars;
  std::vector<Instr> code;
  uint16_t result = 0;
  bool has_random = false;
  // Registers that are neither variables nor constants of the text but are filled from outside
  // before each run (the values of hoisted operations); the native code reads them as it reads
  // constants, without assuming their values.
  std::vector<char> refreshed;
  JitCode jit;
};

// The program cut in two for evaluations where only some variables change from one to the next
// (X at every grid node, T once a level): `outer` holds the operations that read none of the
// varying variables, in list order, and `inner` the rest, which reads their results from the
// registers listed in `carried`. Both keep the register numbering of the original.
struct SplitProgram {
  Program outer;
  Program inner;
  std::vector<uint16_t> carried;
};

// Splits the program; false when splitting would not pay (fewer than `min_outer` operations
// outside, a result that reads no varying variable, random numbers drawn).
bool Split(const Program& p, const std::vector<const double*>& varying, size_t min_outer,
           SplitProgram& out);

// Makes native code for the program where the platform allows (x86-64 Linux) and the program
// draws no random numbers; returns whether it did.
bool Translate(Program& p);
// Off: programs are only ever run as lists (for checking the two against each other).
extern bool jit_enabled;

struct CompileInput {
  std::string_view text;
  const VarTable* vars;
  const Func1Table* funcs1;
  const Func2Table* funcs2;
  bool fixed_number_format;
  // Tries every operator position in the form tests instead of only those the grouping rules
  // leave possible. Same results, much slower on long texts; used to check the narrowing.
  bool exhaustive = false;
};

// When set, every compilation on this thread tries every operator position (CompileInput::
// exhaustive). Only for checking the narrowed search against the plain one.
extern thread_local bool exhaustive_search_for_checks;

// Compiles the text into a program. Raises the compilation errors (EMathParserError family,
// EOverflow for a numeral beyond the double range). Nothing is left allocated on failure.
Program Compile(const CompileInput& in);

// The value of a numeral read with FixedNumberformat on; raises EOverflow beyond the double range.
double FixedNumeralValue(std::string_view s);

// Evaluation routines and errors (parser.cpp).
[[noreturn]] void ThrowInvalidOp();
[[noreturn]] void ThrowZeroDivide();
[[noreturn]] void ThrowOverflow();
[[noreturn]] void ThrowDivByZero();
double IntPower(double a, int64_t n);
double GeneralPower(double a, double b);
double IntDiv(double a, double b);
double IntMod(double a, double b);
double Random(double x);

}  // namespace numeric::detail
