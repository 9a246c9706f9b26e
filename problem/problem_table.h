#pragma once
// The problem table: the names of its eleven fields and the definition the program uses when it
// builds a problem table itself (the sample database, tests, benchmarks). A table file may hold
// these fields with other sizes and further fields besides; the program reads whatever the open
// file holds, looking names up without regard to letter case.

#include <vector>

#include "store/memtable.h"

namespace problem {

inline constexpr const char* kProblemName = "ProblemName";
inline constexpr const char* kFuncts = "Functs";
inline constexpr const char* kYparameter = "Yparameter";
inline constexpr const char* kYmin = "Ymin";
inline constexpr const char* kYmax = "Ymax";
inline constexpr const char* kZparameter = "Zparameter";
inline constexpr const char* kZvalue = "Zvalue";
inline constexpr const char* kXPoints = "XPoints";
inline constexpr const char* kYPoints = "YPoints";
inline constexpr const char* kShowMosaicDiagram = "ShowMosaicDiagram";
inline constexpr const char* kShowChart = "ShowChart";

// Size of ProblemName in the bundled sample database (data/problems.json).
inline constexpr int kProblemNameSize = 80;

// The eleven fields in table order, with the kinds and sizes of the sample database.
std::vector<store::TFieldDef> ProblemFieldDefs();

}  // namespace problem
