#pragma once
// The problem files every brelona-calc command reads: a problem table, a JSON file of one
// problem or a list of them (the records db-export writes), or a phase-sheet text file whose
// range comes from elsewhere; and the choice of one problem out of a file.

#include <string>
#include <vector>

#include "calc/problem.h"
#include "problem/problem_reader.h"

namespace cli {

enum class ProblemFileKind { Table, Json, Sheet };

// A table when the file begins as a table image does; JSON when the first byte that is not
// blank (after a byte-order mark) opens an object or a list; a phase sheet when the file is
// text (no NUL byte at its start); a table otherwise, which then says what is wrong with it.
// A table's first byte is part of its length and may be "{" or "[": the table test comes first.
ProblemFileKind ProblemFileKindOf(const std::string& path);

// The problems of a table (in list order, read with the decimal separator given) or a JSON
// file (in file order); for a phase sheet the one problem the range makes of it. Throws with
// the reason, a table that is JSON saying so.
std::vector<calc::ProblemInput> ReadProblemFile(const std::string& path, ProblemFileKind kind,
                                                const problem::SheetRange& range = {},
                                                char separator = '.');

// The problem called name: the exact name first, then one that differs only in letter case;
// with no name the file's only problem. Null when there is none, after saying why on stderr:
// the names closest to the one asked (a few of a long list), or how many problems the file
// holds (`alternative` names the other choice than --problem NAME, e.g. "--all").
const calc::ProblemInput* ChooseProblem(const std::vector<calc::ProblemInput>& problems,
                                        const std::string& name, const std::string& file,
                                        const std::string& alternative = "");

}  // namespace cli
