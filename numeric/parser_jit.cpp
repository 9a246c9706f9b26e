// Native code for a compiled expression (x86-64, System V).
//
// The evaluator's list is exact but pays for dispatch at every operation. This translates the
// same operations into straight-line SSE2 code: the expression tree is walked depth first with
// the running value in xmm0, leaves are read straight from the register file, and the other
// operand of an operation whose operands are both operations waits in that operation's own
// register slot. Every result is checked as in the list (an infinity or a NaN means failure);
// routines that can fail (DIV, MOD, powers, functions) are called through wrappers that turn
// their exception into a NaN, so no exception ever crosses the generated code.
//
// The code only says "all went well, here is the value" or "something failed". On failure the
// caller runs the list, which raises the exact error of the first failing operation in list
// order. Both run the same operations on the same values, so they agree on the value and on
// whether anything fails; only the order differs, and that order matters only for which error
// is raised. Expressions with RND are not translated (a second run would draw other numbers).

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "numeric/parser_impl.h"

#if defined(__x86_64__) && defined(__linux__)
#include <sys/mman.h>
#define BRELONA_JIT 1
#endif

namespace numeric::detail {

bool jit_enabled = true;

#ifdef BRELONA_JIT

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The called routines get only finite operands; a non-finite one (from an operation that
// failed) makes the call fail too.
inline bool Finite(double v) { return std::fabs(v) <= std::numeric_limits<double>::max(); }

double SafeFunc1(Func1 f, double x) {
  if (!Finite(x)) return kNaN;
  try {
    return f(x);
  } catch (...) {
    return kNaN;
  }
}
double SafeFunc2(Func2 f, double a, double b) {
  if (!Finite(a) || !Finite(b)) return kNaN;
  try {
    return f(a, b);
  } catch (...) {
    return kNaN;
  }
}
double SafeIntPower(double a, int64_t n) {
  if (!Finite(a)) return kNaN;
  try {
    return IntPower(a, n);
  } catch (...) {
    return kNaN;
  }
}
double SafePower(double a, double b) {
  if (!Finite(a) || !Finite(b)) return kNaN;
  try {
    return GeneralPower(a, b);
  } catch (...) {
    return kNaN;
  }
}
double SafeIntDiv(double a, double b) {
  if (!Finite(a) || !Finite(b)) return kNaN;
  try {
    return IntDiv(a, b);
  } catch (...) {
    return kNaN;
  }
}
double SafeIntMod(double a, double b) {
  if (!Finite(a) || !Finite(b)) return kNaN;
  try {
    return IntMod(a, b);
  } catch (...) {
    return kNaN;
  }
}

class Emitter {
 public:
  explicit Emitter(const Program& p) : p_(p) {
    producer_.assign(p.regs.size(), -1);
    for (size_t k = 0; k < p.code.size(); ++k)
      if (p.code[k].op != opEnd) producer_[p.code[k].r] = static_cast<int>(k);
  }

  std::vector<uint8_t> Build() {
    // push rbx; push r12; sub rsp, 8; mov rbx, rdi; mov r12, 0xFFE0000000000000
    Bytes({0x53, 0x41, 0x54, 0x48, 0x83, 0xEC, 0x08, 0x48, 0x89, 0xFB, 0x49, 0xBC});
    Imm64(0xFFE0000000000000ull);
    Gen(producer_[p_.result]);
    Check();
    // movsd [rbx + result], xmm0; xor eax, eax
    Movsd(0x11, 0, p_.result);
    Bytes({0x31, 0xC0});
    const size_t exit = code_.size();
    // add rsp, 8; pop r12; pop rbx; ret
    Bytes({0x48, 0x83, 0xC4, 0x08, 0x41, 0x5C, 0x5B, 0xC3});
    const size_t fail = code_.size();
    // mov eax, 1; jmp exit
    Bytes({0xB8, 0x01, 0x00, 0x00, 0x00, 0xE9});
    Rel32(exit);
    for (size_t at : fail_jumps_) Patch(at, fail);
    return code_;
  }

 private:
  bool IsLeaf(uint16_t reg) const { return producer_[reg] < 0; }
  bool IsConstant(uint16_t reg) const { return IsLeaf(reg) && reg >= p_.vars.size(); }

  void Bytes(std::initializer_list<uint8_t> b) { code_.insert(code_.end(), b); }
  void Imm64(uint64_t v) {
    for (int k = 0; k < 8; ++k) code_.push_back(static_cast<uint8_t>(v >> (8 * k)));
  }
  void Rel32(size_t target) {
    const int32_t rel = static_cast<int32_t>(static_cast<int64_t>(target) -
                                             static_cast<int64_t>(code_.size() + 4));
    for (int k = 0; k < 4; ++k) code_.push_back(static_cast<uint8_t>(rel >> (8 * k)));
  }
  void Patch(size_t at, size_t target) {
    const int32_t rel = static_cast<int32_t>(static_cast<int64_t>(target) -
                                             static_cast<int64_t>(at + 4));
    std::memcpy(&code_[at], &rel, 4);
  }
  // F2 0F op with xmm (0 or 1) and [rbx + 8*reg]
  void Movsd(uint8_t op, int xmm, uint16_t reg) {
    Bytes({0xF2, 0x0F, op, static_cast<uint8_t>(0x83 | (xmm << 3))});
    const int32_t disp = 8 * reg;
    for (int k = 0; k < 4; ++k) code_.push_back(static_cast<uint8_t>(disp >> (8 * k)));
  }
  // F2 0F op xmm0, xmm1
  void RegOp(uint8_t op) { Bytes({0xF2, 0x0F, op, 0xC1}); }
  void LoadXmm1(uint16_t reg) { Movsd(0x10, 1, reg); }
  void SpillXmm0(uint16_t reg) { Movsd(0x11, 0, reg); }
  // movq rax, xmm0/xmm1; add rax, rax; cmp rax, r12; jae fail (an infinity or a NaN)
  void Check(int xmm = 0) {
    Bytes({0x66, 0x48, 0x0F, 0x7E, static_cast<uint8_t>(0xC0 | (xmm << 3)), 0x48, 0x01, 0xC0,
           0x4C, 0x39, 0xE0, 0x0F, 0x83});
    fail_jumps_.push_back(code_.size());
    Bytes({0, 0, 0, 0});
  }
  void CallAbs(const void* f) {
    Bytes({0x48, 0xB8});  // mov rax, imm64
    Imm64(reinterpret_cast<uint64_t>(f));
    Bytes({0xFF, 0xD0});  // call rax
  }
  void MovRdi(uint64_t v) {
    Bytes({0x48, 0xBF});
    Imm64(v);
  }

  // Leaves the value of register `reg` in xmm0.
  void Value(uint16_t reg) {
    if (IsLeaf(reg))
      Movsd(0x10, 0, reg);
    else
      Gen(producer_[reg]);
  }
  // Leaves a in xmm0 and b in xmm1.
  void Pair(uint16_t a, uint16_t b) {
    if (IsLeaf(b)) {
      Value(a);
      LoadXmm1(b);
    } else if (IsLeaf(a)) {
      Value(b);
      Bytes({0x66, 0x0F, 0x28, 0xC8});  // movapd xmm1, xmm0
      Movsd(0x10, 0, a);
    } else {
      Value(b);
      SpillXmm0(b);
      Value(a);
      LoadXmm1(b);
    }
  }

  // +, -, * and / with an infinity or a NaN among the operands give an infinity or a NaN
  // (an infinity divided by an infinity or multiplied by 0 gives a NaN), so such a value
  // cannot vanish on its way to the result, which is checked at the end. Only a divisor can
  // swallow it (x / infinity = 0) and is checked before dividing. The routines called below
  // check their own operands.
  void Arith(const Instr& in, uint8_t op, bool commutative) {
    const bool divide = op == 0x5E;
    if (IsLeaf(in.b) && !(divide && !IsConstant(in.b))) {
      Value(in.a);
      Movsd(op, 0, in.b);
    } else if (IsLeaf(in.a) && commutative) {
      Value(in.b);
      Movsd(op, 0, in.a);
    } else {
      Pair(in.a, in.b);
      if (divide) Check(1);
      RegOp(op);
    }
  }


  void Gen(int index) {
    const Instr& in = p_.code[index];
    switch (in.op) {
      case opNegate:
        Value(in.a);
        // movq rax, xmm0; btc rax, 63; movq xmm0, rax
        Bytes({0x66, 0x48, 0x0F, 0x7E, 0xC0, 0x48, 0x0F, 0xBA, 0xF8, 0x3F, 0x66, 0x48, 0x0F,
               0x6E, 0xC0});
        break;
      case opAdd: Arith(in, 0x58, true); break;
      case opSubtract: Arith(in, 0x5C, false); break;
      case opMultiply: Arith(in, 0x59, true); break;
      case opDivide: Arith(in, 0x5E, false); break;
      case opSquare:
      case opCube:
      case opFourth:
        Value(in.a);
        Bytes({0x66, 0x0F, 0x28, 0xC8});  // movapd xmm1, xmm0
        RegOp(0x59);                      // xmm0 = a*a
        if (in.op == opCube) RegOp(0x59);  // (a*a)*a
        if (in.op == opFourth) Bytes({0xF2, 0x0F, 0x59, 0xC0});  // (a*a)*(a*a)
        break;
      case opIntPower:
        Value(in.a);
        if (in.n > 0) {
          // The same products as IntPower: r collects the factors for the set bits of n while
          // the base is squared; an infinity or a NaN passes on to the checked result.
          uint64_t m = static_cast<uint64_t>(in.n);
          bool have = false;
          for (;;) {
            if (m & 1) {
              if (have)
                Bytes({0xF2, 0x0F, 0x59, 0xC8});  // mulsd xmm1, xmm0
              else
                Bytes({0x66, 0x0F, 0x28, 0xC8});  // movapd xmm1, xmm0
              have = true;
            }
            m >>= 1;
            if (!m) break;
            Bytes({0xF2, 0x0F, 0x59, 0xC0});  // mulsd xmm0, xmm0
          }
          Bytes({0x66, 0x0F, 0x28, 0xC1});  // movapd xmm0, xmm1
          break;
        }
        MovRdi(static_cast<uint64_t>(in.n));
        CallAbs(reinterpret_cast<const void*>(&SafeIntPower));
        break;
      case opFunc1:
        Value(in.a);
        MovRdi(reinterpret_cast<uint64_t>(in.f1));
        CallAbs(reinterpret_cast<const void*>(&SafeFunc1));
        break;
      case opFunc2:
        Pair(in.a, in.b);
        MovRdi(reinterpret_cast<uint64_t>(in.f2));
        CallAbs(reinterpret_cast<const void*>(&SafeFunc2));
        break;
      case opPower:
      case opDiv:
      case opMod:
        Pair(in.a, in.b);
        CallAbs(in.op == opPower ? reinterpret_cast<const void*>(&SafePower)
                : in.op == opDiv ? reinterpret_cast<const void*>(&SafeIntDiv)
                                 : reinterpret_cast<const void*>(&SafeIntMod));
        break;
      default:
        Value(in.a);
        break;
    }
  }

  const Program& p_;
  std::vector<int> producer_;  // register -> index of the instruction writing it, or -1
  std::vector<uint8_t> code_;
  std::vector<size_t> fail_jumps_;
};

}  // namespace

void JitCode::Release() {
  if (mem_) munmap(mem_, size_);
  mem_ = nullptr;
  size_ = 0;
  fn_ = nullptr;
}

bool Translate(Program& p) {
  if (!jit_enabled || p.has_random || p.code.empty()) return false;
  std::vector<uint8_t> code = Emitter(p).Build();
  const size_t page = 4096;
  const size_t size = (code.size() + page - 1) / page * page;
  void* mem = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mem == MAP_FAILED) return false;
  std::memcpy(mem, code.data(), code.size());
  if (mprotect(mem, size, PROT_READ | PROT_EXEC) != 0) {
    munmap(mem, size);
    return false;
  }
  p.jit.Adopt(mem, size);
  return true;
}

#else

void JitCode::Release() {}
bool Translate(Program&) { return false; }

#endif

}  // namespace numeric::detail
