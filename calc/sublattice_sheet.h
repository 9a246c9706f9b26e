#pragma once
// Phases on sublattices written in a phase sheet. A phase is declared with its sublattices
// (constituents in brackets, then the number of sites) and, where it has them, its magnetic
// lattice factors and the name of its disordered form; its parameters follow, per mole of
// formula units as an assessed database gives them, as expressions of T and P:
//
//   PHASE LAVES = (CU,MG)2 (CU,MG)1
//   G(LAVES,CU:MG) = -15000 + 3*T
//   L(LAVES,CU,MG:*;0) = 5000
//   PHASE BCC_B2 = (AL,NI,VA)0.5 (AL,NI,VA)0.5 (VA)3  MAGNETIC(-1, 0.40)  DISORDERED(BCC_A2)
//   TC(BCC_A2,NI:VA) = 575
//   BMAGN(BCC_A2,NI:VA) = 0.85
//
// The constituents are the two components (named by the "% components:" line, else A and B)
// and VA. An interaction names two (or three) constituents on one sublattice; ";v" gives its
// order (0 when left out); "*" holds for whatever a sublattice holds. DISORDERED(NAME) names
// the form the phase takes when its leading sublattices of equal constituents hold the same
// fractions; when NAME is itself declared, that phase is the disordered part of this one
// (its parameters add at the mean fractions) and is not offered on its own.
//
// An ionic two-sublattice liquid (calc/ionic_liquid.h) is declared with its ions and no
// numbers of sites, which follow the charges:
//
//   GLIQ = IONIC (CU+1,CU+2) (O-2,VA)
//   G(LIQ,CU+1:O-2) = -114945+307.98*T-67.71*T*LN(T)
//   L(LIQ,CU+1:O-2,VA;1) = -17125+11.52*T
//
// No line that compiled as an expression reads like these (see IsDeclaration), so sheets
// without them compile as they always did.

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "calc/sublattice.h"

namespace calc {

// A sheet line about a sublattice phase that cannot be used. what() names the line (counted
// from 1) and the reason.
class ESheetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SublatticeDeclarations {
 public:
  // The components' names (upper case; empty: A and B).
  SublatticeDeclarations(std::string a, std::string b);

  // True when the line (blanks removed, comment cut) declares a phase on sublattices or is a
  // parameter line (G, L, TC, BMAGN followed by a bracket and a phase's name and a comma); it
  // is then kept. Throws ESheetError for a
  // malformed one, and the expression compiler's errors for a bad expression.
  bool Take(const std::string& line, int number);

  // A phase the sweep offers: a solution phase (the variant of an ordered phase, or the whole
  // phase) or a compound (a phase of fixed constitution).
  struct Offered {
    std::string Name;
    std::shared_ptr<SublatticeModel> Model;
    OrderVariant Variant = OrderVariant::Any;
    bool Compound = false;
  };
  // Builds the declared models and returns what they offer, in the order of their lines
  // (the disordered form of an ordered phase just before it). Throws ESheetError for a
  // parameter of an undeclared phase and for an unusable declaration.
  std::vector<Offered> Build();

  bool Empty() const { return phases_.empty() && params_.empty(); }

 private:
  struct Declared {
    int Line = 0;
    std::shared_ptr<SublatticeModel> Model;
    std::string Disordered;
  };
  struct PendingParameter {
    int Line = 0;
    std::string Phase;
    SublatticeModel::Parameter Parameter;
  };
  Constituent ConstituentOf(const std::string& name, int line) const;

  std::string a_, b_;
  std::vector<Declared> phases_;
  std::vector<PendingParameter> params_;
};

}  // namespace calc
