#include "problem/problem_table.h"

namespace problem {

std::vector<store::TFieldDef> ProblemFieldDefs() {
  using namespace store;
  // Yparameter holds "Temperature, K" (14 characters), Zparameter "P, bar" (6).
  return {{kProblemName, ftString, kProblemNameSize},
          {kFuncts, ftMemo, 0},
          {kYparameter, ftString, 20},
          {kYmin, ftFloat, 0},
          {kYmax, ftFloat, 0},
          {kZparameter, ftString, 10},
          {kZvalue, ftFloat, 0},
          {kXPoints, ftInteger, 0},
          {kYPoints, ftInteger, 0},
          {kShowMosaicDiagram, ftBoolean, 0},
          {kShowChart, ftBoolean, 0}};
}

}  // namespace problem
