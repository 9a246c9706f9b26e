// Cutting a compiled expression into the operations that depend on the varying variables and
// those that do not (see SplitProgram).

#include <algorithm>

#include "numeric/parser_impl.h"

namespace numeric::detail {

namespace {

// Whether the operation reads its second operand.
bool ReadsB(uint8_t op) {
  return op != opNegate && op != opSquare && op != opCube && op != opFourth && op != opFunc1 &&
         op != opIntPower;
}

}  // namespace

bool Split(const Program& p, const std::vector<const double*>& varying, size_t min_outer,
           SplitProgram& out) {
  if (!p.compiled || p.code.empty() || p.has_random) return false;
  // A register "varies" when it is a varying variable or the result of an operation that reads
  // one.
  std::vector<char> varies(p.regs.size(), 0);
  for (const auto& [reg, cell] : p.vars) {
    if (std::find(varying.begin(), varying.end(), cell) != varying.end()) varies[reg] = 1;
  }
  std::vector<char> inner(p.code.size(), 0);
  size_t outer_count = 0;
  for (size_t k = 0; k < p.code.size(); ++k) {
    const Instr& in = p.code[k];
    if (in.op == opEnd) continue;
    inner[k] = varies[in.a] || (ReadsB(in.op) && varies[in.b]);
    if (inner[k]) {
      varies[in.r] = 1;
    } else {
      ++outer_count;
    }
  }
  if (outer_count < min_outer || !varies[p.result]) return false;

  std::vector<char> made_outside(p.regs.size(), 0);
  for (size_t k = 0; k < p.code.size(); ++k)
    if (p.code[k].op != opEnd && !inner[k]) made_outside[p.code[k].r] = 1;

  auto base = [&p] {
    Program q;
    q.compiled = true;
    q.regs = p.regs;
    q.vars = p.vars;
    q.result = p.result;
    return q;
  };
  out.outer = base();
  out.inner = base();
  out.inner.refreshed.assign(p.regs.size(), 0);
  out.carried.clear();
  for (size_t k = 0; k < p.code.size(); ++k) {
    const Instr& in = p.code[k];
    if (in.op == opEnd) continue;
    if (!inner[k]) {
      out.outer.code.push_back(in);
      continue;
    }
    out.inner.code.push_back(in);
    for (uint16_t reg : {in.a, ReadsB(in.op) ? in.b : in.a}) {
      if (made_outside[reg] && !out.inner.refreshed[reg]) {
        out.inner.refreshed[reg] = 1;
        out.carried.push_back(reg);
      }
    }
  }
  Instr end{};
  end.op = opEnd;
  out.outer.code.push_back(end);
  out.inner.code.push_back(end);
  Translate(out.inner);
  return true;
}

}  // namespace numeric::detail
