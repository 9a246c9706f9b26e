// Native code for a compiled expression (x86-64, System V).
//
// The evaluator's list is exact but pays for dispatch at every operation. This translates the
// same operations into straight-line SSE2 code: the expression tree is walked depth first,
// each subtree leaving its value in the next free xmm register (so independent subtrees run
// side by side), leaves are read straight from the register file. Routines that can fail
// (DIV, MOD, powers, functions) are called through wrappers that turn their exception into a
// NaN, so no exception ever crosses the generated code; an infinity or a NaN anywhere reaches
// a check (see Arith).
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
#include <map>
#include <tuple>
#include <utility>
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
  // `save` is the first of kRegs spare register slots where live values wait during a call.
  Emitter(const Program& p, uint16_t save) : p_(p), save_(save) {
    producer_.assign(p.regs.size(), -1);
    for (size_t k = 0; k < p.code.size(); ++k)
      if (p.code[k].op != opEnd) producer_[p.code[k].r] = static_cast<int>(k);
    // Equal operations on equal operands (1-X twice, say) are computed once: the first one
    // computed leaves its value in its slot for the others.
    vn_.assign(p.code.size(), -1);
    for (size_t k = 0; k + 1 < p.code.size(); ++k) Number(static_cast<int>(k));
    uses_.assign(next_vn_, 0);
    for (size_t k = 0; k + 1 < p.code.size(); ++k) ++uses_[vn_[k]];
    done_.assign(next_vn_, -1);
    // Without calls (which clobber every xmm register) a few variables stay in registers.
    bool calls = false;
    for (const Instr& in : p.code)
      calls |= in.op == opFunc1 || in.op == opFunc2 || in.op == opPower || in.op == opDiv ||
               in.op == opMod || (in.op == opIntPower && in.n <= 0);
    cached_.assign(p.regs.size(), -1);
    if (!calls && p.vars.size() <= 4) {
      for (size_t k = 0; k < p.vars.size(); ++k)
        cached_[p.vars[k].first] = 13 - static_cast<int>(k);
      limit_ = 14 - static_cast<int>(p.vars.size());
    }
  }

  std::vector<uint8_t> Build() {
    // push rbx (which also aligns the stack for calls); mov rbx, rdi
    Bytes({0x53, 0x48, 0x89, 0xFB});
    for (const auto& [reg, cell] : p_.vars) {
      if (cached_[reg] < 0) continue;
      Bytes({0x48, 0xB8});  // mov rax, imm64; movsd xmm, [rax]
      Imm64(reinterpret_cast<uint64_t>(cell));
      Bytes({0xF2, 0x44, 0x0F, 0x10, static_cast<uint8_t>((cached_[reg] & 7) << 3)});
    }
    Gen(producer_[p_.result], 0);
    Check(0);
    const size_t exit = code_.size();
    Bytes({0x5B, 0xC3});  // pop rbx; ret
    const size_t fail = code_.size();
    // mov rax, NaN; movq xmm0, rax; jmp exit
    Bytes({0x48, 0xB8});
    Imm64(0x7FF8000000000000ull);
    FromRax(0);
    Bytes({0xE9});
    Rel32(exit);
    for (size_t at : fail_jumps_) Patch(at, fail);
    return code_;
  }

  // xmm0 .. xmm13 hold values (the top ones may hold variables); xmm14 and xmm15 are
  // scratch.
  static constexpr int kRegs = 14;

 private:
  // A register whose value can be read as it is: a variable, a constant, or an operation
  // already computed elsewhere (see vn_).
  bool IsLeaf(uint16_t reg) const {
    return producer_[reg] < 0 || done_[vn_[producer_[reg]]] >= 0;
  }
  // The slot to read a leaf from.
  uint16_t Slot(uint16_t reg) const {
    return producer_[reg] < 0 ? reg : static_cast<uint16_t>(done_[vn_[producer_[reg]]]);
  }
  bool IsConstant(uint16_t reg) const { return producer_[reg] < 0 && reg >= p_.vars.size(); }

  int Number(int index) {
    if (vn_[index] >= 0) return vn_[index];
    const Instr& in = p_.code[index];
    auto key_of = [&](uint16_t reg, bool used) -> std::pair<int, uint64_t> {
      if (!used) return {0, 0};
      if (producer_[reg] >= 0) return {3, static_cast<uint64_t>(Number(producer_[reg]))};
      if (reg < p_.vars.size()) return {1, reg};
      if (reg < p_.refreshed.size() && p_.refreshed[reg]) return {4, reg};
      uint64_t bits;
      std::memcpy(&bits, &p_.regs[reg], 8);
      return {2, bits};
    };
    const bool two = in.op != opNegate && in.op != opSquare && in.op != opCube &&
                     in.op != opFourth && in.op != opFunc1 && in.op != opIntPower;
    uint64_t extra = 0;
    if (in.op == opFunc1 || in.op == opFunc2 || in.op == opIntPower) std::memcpy(&extra, &in.n, 8);
    const auto key = std::make_tuple(static_cast<int>(in.op), extra, key_of(in.a, true),
                                     key_of(in.b, two));
    auto [it, fresh] = numbers_.emplace(key, next_vn_);
    if (fresh) ++next_vn_;
    return vn_[index] = it->second;
  }
  const double* VariableCell(uint16_t reg) const {
    for (const auto& [r, cell] : p_.vars)
      if (r == reg) return cell;
    return nullptr;
  }

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
  // prefix [REX] 0F op with xmm `x` and [rbx + 8*slot]; a variable is read from its own
  // cell through rax, so the register file needs no copy of it.
  void Mem(uint8_t prefix, uint8_t op, int x, uint16_t slot) {
    if (cached_[slot] >= 0) {
      if (op == 0x10)
        Move(x, cached_[slot]);
      else
        RR(prefix, op, x, cached_[slot]);
      return;
    }
    if (const double* cell = VariableCell(slot)) {
      Bytes({0x48, 0xB8});  // mov rax, imm64
      Imm64(reinterpret_cast<uint64_t>(cell));
      code_.push_back(prefix);
      if (x >= 8) code_.push_back(0x44);
      Bytes({0x0F, op, static_cast<uint8_t>((x & 7) << 3)});  // [rax]
      return;
    }
    code_.push_back(prefix);
    if (x >= 8) code_.push_back(0x44);
    Bytes({0x0F, op, static_cast<uint8_t>(0x83 | ((x & 7) << 3))});
    const int32_t disp = 8 * slot;
    for (int k = 0; k < 4; ++k) code_.push_back(static_cast<uint8_t>(disp >> (8 * k)));
  }
  // prefix [REX] 0F op xmm `x`, xmm `y`
  void RR(uint8_t prefix, uint8_t op, int x, int y) {
    code_.push_back(prefix);
    const uint8_t rex = 0x40 | (x >= 8 ? 4 : 0) | (y >= 8 ? 1 : 0);
    if (rex != 0x40) code_.push_back(rex);
    Bytes({0x0F, op, static_cast<uint8_t>(0xC0 | ((x & 7) << 3) | (y & 7))});
  }
  void Load(int x, uint16_t slot) { Mem(0xF2, 0x10, x, slot); }
  void Store(int x, uint16_t slot) { Mem(0xF2, 0x11, x, slot); }
  void Move(int x, int y) {
    if (x != y) RR(0x66, 0x28, x, y);  // movapd
  }
  // movq rax, xmm x
  void ToRax(int x) {
    Bytes({0x66, static_cast<uint8_t>(x >= 8 ? 0x4C : 0x48), 0x0F, 0x7E,
           static_cast<uint8_t>(0xC0 | ((x & 7) << 3))});
  }
  // movq xmm x, rax
  void FromRax(int x) {
    Bytes({0x66, static_cast<uint8_t>(x >= 8 ? 0x4C : 0x48), 0x0F, 0x6E,
           static_cast<uint8_t>(0xC0 | ((x & 7) << 3))});
  }
  // add rax, rax; shr rax, 53; cmp eax, 0x7FF; je fail: the exponent bits are all ones, the
  // value is an infinity or a NaN
  void Check(int x) {
    ToRax(x);
    Bytes({0x48, 0x01, 0xC0, 0x48, 0xC1, 0xE8, 0x35, 0x3D, 0xFF, 0x07, 0x00, 0x00, 0x0F, 0x84});
    fail_jumps_.push_back(code_.size());
    Bytes({0, 0, 0, 0});
  }
  void MovRdi(uint64_t v) {
    Bytes({0x48, 0xBF});
    Imm64(v);
  }
  // Calls f with its operand in xmm r; the result lands in xmm r. The values held in
  // xmm0 .. xmm r-1 wait in the spare slots meanwhile.
  void Call(const void* f, int r) {
    for (int k = 0; k < r; ++k) Store(k, static_cast<uint16_t>(save_ + k));
    Move(0, r);
    Bytes({0x48, 0xB8});  // mov rax, imm64
    Imm64(reinterpret_cast<uint64_t>(f));
    Bytes({0xFF, 0xD0});  // call rax
    Move(r, 0);
    for (int k = 0; k < r; ++k) Load(k, static_cast<uint16_t>(save_ + k));
  }

  // Leaves the value of register `reg` in xmm x.
  void Value(uint16_t reg, int x) {
    if (IsLeaf(reg))
      Load(x, Slot(reg));
    else
      Gen(producer_[reg], x);
  }
  // Leaves a in xmm r and b in xmm r+1 (r+1 < kRegs).
  void Pair(uint16_t a, uint16_t b, int r) {
    if (r + 1 < limit_) {
      Value(a, r);
      Value(b, r + 1);
    } else if (IsLeaf(b)) {
      Value(a, r);
      Load(15, Slot(b));
    } else {
      // out of registers: b waits in its own slot
      Value(b, r);
      Store(r, b);
      Value(a, r);
      Load(15, b);
    }
  }

  int Second(int r) const { return r + 1 < limit_ ? r + 1 : 15; }

  // +, -, * and / with an infinity or a NaN among the operands give an infinity or a NaN
  // (an infinity divided by an infinity or multiplied by 0 gives a NaN), so such a value
  // cannot vanish on its way to the result, which is checked at the end. Only a divisor can
  // swallow it (x / infinity = 0) and is checked before dividing. The routines called below
  // check their own operands.
  void Arith(const Instr& in, uint8_t op, bool commutative, int r) {
    const bool divide = op == 0x5E;
    if (IsLeaf(in.b) && !(divide && !IsConstant(in.b))) {
      Value(in.a, r);
      Mem(0xF2, op, r, Slot(in.b));
    } else if (IsLeaf(in.a) && commutative) {
      Value(in.b, r);
      Mem(0xF2, op, r, Slot(in.a));
    } else {
      Pair(in.a, in.b, r);
      if (divide) Check(Second(r));
      RR(0xF2, op, r, Second(r));
    }
  }

  void Gen(int index, int r) {
    const int vn = vn_[index];
    if (done_[vn] >= 0) {
      Load(r, static_cast<uint16_t>(done_[vn]));
      return;
    }
    GenOp(index, r);
    if (uses_[vn] > 1) {
      Store(r, p_.code[index].r);
      done_[vn] = p_.code[index].r;
    }
  }

  void GenOp(int index, int r) {
    const Instr& in = p_.code[index];
    switch (in.op) {
      case opNegate:
        Value(in.a, r);
        ToRax(r);
        Bytes({0x48, 0x0F, 0xBA, 0xF8, 0x3F});  // btc rax, 63
        FromRax(r);
        break;
      case opAdd: Arith(in, 0x58, true, r); break;
      case opSubtract: Arith(in, 0x5C, false, r); break;
      case opMultiply: Arith(in, 0x59, true, r); break;
      case opDivide: Arith(in, 0x5E, false, r); break;
      case opSquare:
      case opCube:
      case opFourth:
        Value(in.a, r);
        Move(15, r);
        RR(0xF2, 0x59, r, 15);                    // a*a
        if (in.op == opCube) RR(0xF2, 0x59, r, 15);  // (a*a)*a
        if (in.op == opFourth) RR(0xF2, 0x59, r, r);  // (a*a)*(a*a)
        break;
      case opIntPower:
        Value(in.a, r);
        if (in.n > 0) {
          // The same products as IntPower: xmm14 collects the factors for the set bits of n
          // while the base in xmm15 is squared.
          Move(15, r);
          uint64_t m = static_cast<uint64_t>(in.n);
          bool have = false;
          for (;;) {
            if (m & 1) {
              if (have)
                RR(0xF2, 0x59, 14, 15);
              else
                Move(14, 15);
              have = true;
            }
            m >>= 1;
            if (!m) break;
            RR(0xF2, 0x59, 15, 15);
          }
          Move(r, 14);
          break;
        }
        MovRdi(static_cast<uint64_t>(in.n));
        Call(reinterpret_cast<const void*>(&SafeIntPower), r);
        break;
      case opFunc1:
        Value(in.a, r);
        MovRdi(reinterpret_cast<uint64_t>(in.f1));
        Call(reinterpret_cast<const void*>(&SafeFunc1), r);
        break;
      case opFunc2:
      case opPower:
      case opDiv:
      case opMod: {
        Pair(in.a, in.b, r);
        const void* f = in.op == opPower ? reinterpret_cast<const void*>(&SafePower)
                        : in.op == opDiv ? reinterpret_cast<const void*>(&SafeIntDiv)
                        : in.op == opMod ? reinterpret_cast<const void*>(&SafeIntMod)
                                         : reinterpret_cast<const void*>(&SafeFunc2);
        if (in.op == opFunc2) MovRdi(reinterpret_cast<uint64_t>(in.f2));
        CallTwo(f, r);
        break;
      }
      default:
        Value(in.a, r);
        break;
    }
  }
  // As Call, with the second operand in xmm Second(r).
  void CallTwo(const void* f, int r) {
    for (int k = 0; k < r; ++k) Store(k, static_cast<uint16_t>(save_ + k));
    Move(0, r);  // first: with r = 1 the second move overwrites xmm1
    Move(1, Second(r));
    Bytes({0x48, 0xB8});
    Imm64(reinterpret_cast<uint64_t>(f));
    Bytes({0xFF, 0xD0});
    Move(r, 0);
    for (int k = 0; k < r; ++k) Load(k, static_cast<uint16_t>(save_ + k));
  }

  const Program& p_;
  uint16_t save_;
  int limit_ = kRegs;       // value registers are xmm0 .. xmm limit_-1
  std::vector<int> cached_;  // register -> xmm register holding that variable, or -1
  std::vector<int> vn_;      // instruction -> value number
  std::vector<int> uses_;    // value number -> instructions computing it
  std::vector<int> done_;    // value number -> slot holding its value once computed, or -1
  std::map<std::tuple<int, uint64_t, std::pair<int, uint64_t>, std::pair<int, uint64_t>>, int>
      numbers_;
  int next_vn_ = 0;
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
  // spare slots where live values wait during calls
  const uint16_t save = static_cast<uint16_t>(p.regs.size());
  if (p.regs.size() + Emitter::kRegs > 65535) return false;
  p.regs.resize(p.regs.size() + Emitter::kRegs, 0.0);
  std::vector<uint8_t> code = Emitter(p, save).Build();
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
