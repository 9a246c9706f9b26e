#pragma once
// The statements of a TDB (thermodynamic database) text file, read into plain records.
// Only the reading happens here; what the records mean for a binary A-B system is decided
// by the importer (tdb/importer.h).

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tdb {

// A file that cannot be read as TDB text. what() names the line where the statement starts.
// The message is always valid UTF-8: bytes of the file that are not are written as \xHH.
struct Error : std::runtime_error {
  explicit Error(const std::string& what);
};

// The text with every byte that is not part of valid UTF-8 written as \xHH.
std::string Printable(std::string_view text);

// One temperature range of a function or a parameter: the expression (TDB syntax, as written)
// holds from the previous range's upper limit (or Low for the first range) up to High.
struct Range {
  std::string Expression;
  double High = 0;
};

struct Function {
  std::string Name;  // upper case
  double Low = 0;
  std::vector<Range> Ranges;
  int Line = 0;
};

struct Phase {
  std::string Name;  // upper case, without the ":L"-style suffix
  // The phase options after ':' in the PHASE statement: L liquid, G gas, Y ionic liquid,
  // B and F ordered bcc and fcc (with 4 sublattices), ... ("" when there are none).
  std::string Suffix;
  // The type codes as written ("%&-"): each letter names a TYPE_DEFINITION; a code that no
  // TYPE_DEFINITION defines is kept and means nothing.
  std::string TypeCodes;
  std::vector<double> Sites;  // each finite and positive
  // Constituents per sublattice (upper case, '%' markers removed); empty until CONSTITUENT.
  std::vector<std::vector<std::string>> Constituents;
  int Line = 0;
};

struct Parameter {
  // G, L, TC, BMAGN (BM and BMAG are read as BMAGN), ... (upper case). Volume parameters
  // (V0, VA, VB, VC, VK) and mobility parameters (MQ, MF, DQ, DF) are not kept: Database::Notes
  // says so.
  std::string Type;
  std::string Phase;                                   // upper case
  std::vector<std::vector<std::string>> Constituents;  // per sublattice, as written
  int Order = 0;
  double Low = 0;
  std::vector<Range> Ranges;
  int Line = 0;
  // The lines of earlier statements of the same parameter (same kind, G and L counting as one,
  // phase, constituents in any order and degree) that this one replaces: the later one holds.
  std::vector<int> Replaced;

  // The parameter's name as a TDB file writes it: G(LIQUID,CU,MG;1).
  std::string Name() const;
};

// A phase amendment from TYPE_DEFINITION c GES A_P_D PHASE KIND ...
struct Amendment {
  char Code = 0;
  // The phase it amends. An amendment written for '@' (whichever phase carries the code) is
  // listed once for each phase that carries the code, with that phase's name here.
  std::string Phase;
  std::string Kind;  // MAGNETIC, DIS_PART (also when written DISORDERED_PART), C_S, ...
  std::string Text;  // the whole statement, for messages
  // The words after the kind, upper case, commas read as separators.
  std::vector<std::string> Args;
  // MAGNETIC: the anti-ferromagnetic factor (-1 for bcc, -3 otherwise) and the structure
  // factor p (0.40 for bcc, 0.28 otherwise), as the file gives them.
  double AntiferroFactor = 0;
  double StructureFactor = 0;
  std::string DisorderedPhase;  // DIS_PART: the disordered phase's name
  int Line = 0;
};

// A species: its formula as elements with their amounts, and its charge.
struct SpeciesRecord {
  std::string Name;                                      // upper case
  std::string Formula;                                   // as written, upper case, e.g. CU1/+2
  std::vector<std::pair<std::string, double>> Elements;  // in the formula's order
  double Charge = 0;
  int Line = 0;
};

struct Database {
  std::vector<std::string> Elements;                  // in file order, without "/-" and "VA"
  std::map<std::string, double> ElementMasses;        // g/mol, where an ELEMENT line gives one
  std::map<std::string, std::string> SpeciesFormula;  // species name -> formula (upper case)
  std::map<std::string, SpeciesRecord> Species;       // by name
  std::map<std::string, Function> Functions;
  std::vector<Phase> Phases;  // in file order
  std::vector<Parameter> Parameters;
  std::vector<Amendment> Amendments;
  // Phases the file's DEFAULT_COMMAND REJECT_PHASE leaves out (and RESTORE_PHASE did not take
  // back): alternative descriptions a user chooses between.
  std::set<std::string> Rejected;
  // Statements read but not used (keyword and line), so callers can say so.
  std::vector<std::string> Ignored;
  // Other things worth saying: parameters left aside, repeated functions, ...
  std::vector<std::string> Notes;
  // The temperature limits ",," stands for (TEMPERATURE_LIMITS, else 298.15 and 6000 K).
  double DefaultLow = 298.15, DefaultHigh = 6000;

  const Phase* FindPhase(std::string_view name) const;
  // The amendments of a phase: those of its type codes that name it.
  std::vector<const Amendment*> AmendmentsOf(const Phase& p) const;
};

// Reads a TDB text: '$' starts a comment that runs to the end of the line, statements end
// with '!', keywords may be abbreviated (each part of a keyword separately: TYPE_DEF, DEF-SYS)
// and written in any case. Throws Error.
Database Read(std::string_view text);

// Reads a whole file; Error when it cannot be opened.
Database ReadFile(const std::string& path);

// The length of the numeral at the start of s (digits, an optional fraction, an optional
// exponent E[+-]digits), 0 when s does not start with one. No sign, INF, NAN or hex.
size_t NumeralLength(std::string_view s);

}  // namespace tdb
