#pragma once
// The one reader of problems: a record of a problem table, the records of a JSON file in the
// form `brelona-calc db-export` writes, or a plain phase-sheet text file with a range given by
// the caller, each turned into the engine's input (calc::ProblemInput).

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "calc/problem.h"
#include "store/memtable.h"

namespace problem {

// A problem file that cannot be read or holds a bad value. what() names the file, the record
// (counted from 1) where there are several, and the field.
class ProblemError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What ReadProblem does about one of the eleven fields that the table does not have.
enum class MissingField {
  Refuse,      // store::EDatabaseError "Field '<name>' not found"
  UseDefault,  // the field keeps the value calc::ProblemInput starts with
};

// The current record of an open table. Yparameter is Temperature or Pressure when the field
// holds exactly "Temperature, K" or "Pressure, bar", else None. With an empty view every field
// reads as empty/0/false. A closed table: "Cannot perform this operation on a closed dataset".
calc::ProblemInput ReadProblem(const store::TMemTable& table,
                               MissingField missing = MissingField::Refuse);

// Refuses a table file that lacks one of the eleven fields, as reading a record of it would
// ("Field 'Functs' not found", store::EDatabaseError), but from the file's field section alone:
// before its records are read, however many there are. A file that is no table image passes
// (opening it says what is wrong).
void CheckProblemTableFields(const std::string& path);

// Every record of a table file in name order (the order of the problem list).
std::vector<calc::ProblemInput> ReadProblemTable(const std::string& path);

// The problems of JSON text: one record object ({"ProblemName": ..., "Functs": ...}), an array
// of them, or a whole exported table ({"fields": [...], "records": [...]}). Field names are
// matched without regard to letter case, other members are ignored. Functs, Yparameter, Ymin,
// Ymax and Zvalue must be there; the others start as a new problem does (name "", XPoints and
// YPoints 100, ShowChart true, ShowMosaicDiagram false) and Zparameter as the fixed parameter
// of the Y parameter ("P, bar" or "T, K"). null stands for an empty value, as in db-export.
// Floats are numbers or the texts "NaN", "Infinity", "-Infinity". `source` names the text in
// messages (the file name).
std::vector<calc::ProblemInput> ParseProblemsJson(std::string_view json, const std::string& source);
std::vector<calc::ProblemInput> ReadProblemsJson(const std::string& path);

// The range of a problem whose phase sheet comes from a text file.
struct SheetRange {
  calc::YParameter Yparameter = calc::YParameter::Temperature;
  double Ymin = 0;
  double Ymax = 0;
  double Zvalue = 0;
  int XPoints = 100;
  int YPoints = 100;
};

// A phase sheet read from a UTF-8 text file (a leading byte-order mark is dropped), with the
// range given. The problem is named after the file without its folder and extension.
// Refused: a file that cannot be read, is not UTF-8, holds a NUL character, or is larger than
// a table's memo can hold.
calc::ProblemInput ReadSheetFile(const std::string& path, const SheetRange& range);

// What makes a problem from a JSON file or from Python unfit to run, in the words
// brelona-calc uses for its own options: "Ymin needs a number" (NaN or infinite; the same for
// Ymax and Zvalue), "XPoints needs a positive integer" (the same for YPoints); empty when
// nothing does. A table's problem is run as the desktop program runs it (a grid size below 1
// counts as 1), so this is not asked of tables.
std::string RunRangeProblem(const calc::ProblemInput& p);

// A UTF-8 text cut to at most `size` characters (a problem table's name field holds so many),
// never inside a character.
std::string CutToCharacters(const std::string& utf8, int size);

// The label of the fixed parameter for a Y parameter: "P, bar", "T, K", or "" for None.
std::string ZparameterText(calc::YParameter y);

}  // namespace problem
