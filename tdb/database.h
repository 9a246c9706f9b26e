#pragma once
// The statements of a TDB (thermodynamic database) text file, read into plain records.
// Only the reading happens here; what the records mean for a binary A-B system is decided
// by the importer (tdb/importer.h).

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tdb {

// A file that cannot be read as TDB text. what() names the line where the statement starts.
struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

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
  std::string Name;    // upper case, without the ":L"-style suffix
  std::string Suffix;  // the letter after ':' in the PHASE statement ("L", "G", "Y", ...), or ""
  std::string TypeCodes;
  std::vector<double> Sites;
  // Constituents per sublattice (upper case, '%' markers removed); empty until CONSTITUENT.
  std::vector<std::vector<std::string>> Constituents;
  int Line = 0;
};

struct Parameter {
  std::string Type;                                    // G, L, TC, BMAGN, V0, ... (upper case)
  std::string Phase;                                   // upper case
  std::vector<std::vector<std::string>> Constituents;  // per sublattice, as written
  int Order = 0;
  double Low = 0;
  std::vector<Range> Ranges;
  int Line = 0;
};

// A phase amendment from TYPE_DEFINITION c GES A_P_D PHASE KIND ...
struct Amendment {
  char Code = 0;
  std::string Phase;
  std::string Kind;  // MAGNETIC, DIS_PART, ...
  std::string Text;  // the whole statement, for messages
};

struct Database {
  std::vector<std::string> Elements;                  // in file order, without "/-" and "VA"
  std::map<std::string, std::string> SpeciesFormula;  // species name -> formula (upper case)
  std::map<std::string, Function> Functions;
  std::vector<Phase> Phases;  // in file order
  std::vector<Parameter> Parameters;
  std::vector<Amendment> Amendments;
  // Statements read but not used (keyword and line), so callers can say so.
  std::vector<std::string> Ignored;

  const Phase* FindPhase(std::string_view name) const;
};

// Reads a TDB text: '$' starts a comment that runs to the end of the line, statements end
// with '!', keywords may be abbreviated and written in any case. Throws Error.
Database Read(std::string_view text);

// Reads a whole file; Error when it cannot be opened.
Database ReadFile(const std::string& path);

}  // namespace tdb
