#pragma once
// A binary A-B system taken out of a TDB database and written as a phase sheet: one line per
// phase the sheet can hold (solution phases with one mixing sublattice, compounds of fixed
// composition), comment lines for everything else with the reason.

#include <optional>
#include <string>
#include <vector>

#include "tdb/database.h"
#include "tdb/gibbs.h"

namespace tdb {

// The sheet's entropy line: the ideal entropy of mixing with the TDB gas constant.
inline constexpr const char* kSidExpression = "-8.31451*(X*LN(X)+(1-X)*LN(1-X))";

struct ImportOptions {
  std::string A, B;                 // element names (any case)
  std::vector<std::string> Phases;  // empty: every phase of the system
  std::optional<double> Tmin, Tmax;
  std::string SourceName;  // written in the sheet's first comment line
};

struct SkippedPhase {
  std::string Phase;
  std::string Reason;
};

// The energy of a solution phase per mole of atoms:
// ((1-X)*GA + X*GB + X*(1-X)*sum L[v]*(1-2X)^v) / Atoms + R*T*(X*LN(X) + (1-X)*LN(1-X)).
struct SolutionModel {
  Piecewise GA, GB;
  std::vector<Piecewise> L;
  double Atoms = 1;
  double Eval(double X, double T) const;
};

// A compound: its composition and its energy per mole of atoms (G / Atoms).
struct CompoundModel {
  double X = 0;
  std::string XText;  // as written in the sheet, e.g. 2/3
  Piecewise G;
  double Atoms = 1;
  double Eval(double T) const { return G.Eval(T) / Atoms; }
};

struct ImportedPhase {
  std::string Name;  // the TDB name
  std::string Key;   // the sheet's key (G + name, or G_ + name when the name would collide)
  bool IsCompound = false;
  SolutionModel Solution;
  CompoundModel Compound;
  std::string Line;  // the sheet line
  // A phase on sublattices (mixing on several sublattices, with vacancies, magnetic, ordered):
  // written as a PHASE line and its parameter lines (Lines), per mole of formula units.
  bool IsSublattice = false;
  std::vector<std::string> Lines;
  // Declared only as the disordered part of an ordered phase, not offered on its own.
  bool PartOnly = false;
};

struct ImportResult {
  std::string A, B;  // upper case
  std::vector<ImportedPhase> Phases;
  std::vector<SkippedPhase> Skipped;
  std::vector<std::string> Notes;  // other things worth saying (renamed phases, ...)
  double Ymin = 0, Ymax = 0;
  std::vector<double> MeltingPoints;  // of A and B when found, else 0
  std::string Sheet;
};

// The phases of the database that hold a constituent of A-B on every sublattice, in file order.
std::vector<std::string> PhasesOf(const Database& db, const std::string& a, const std::string& b);

// Builds the sheet. Throws Error for unusable options (unknown element, unknown phase name,
// no phase left to write).
ImportResult Import(const Database& db, const ImportOptions& options);

}  // namespace tdb

#include "calc/problem.h"

namespace tdb {

// The problem record of an import: the sheet, temperature along Y over the import's range
// at 1 bar, 200 X points and one level per kelvin (at least 50, at most 1000 levels).
calc::ProblemInput ProblemOf(const ImportResult& r, const std::string& name);

}  // namespace tdb
