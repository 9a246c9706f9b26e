#pragma once
// A problem table for the engine tests, built through the engine itself.

#include <string>
#include <vector>

#include "problem/problem_table.h"
#include "store/memtable.h"

namespace store_test {

// Writes a table file holding one problem per name (in the given store order), with Ymax
// set to the position of the problem in `names`.
inline void MakeProblemFile(const std::string& path, const std::vector<std::string>& names,
                            const std::string& comment = "") {
  store::TMemTable t;
  t.FieldDefs() = problem::ProblemFieldDefs();
  t.Open();
  if (!comment.empty()) t.SetTableComment(comment);
  int i = 0;
  for (const std::string& n : names) {
    t.Insert();
    t.FieldByName("ProblemName").SetAsString(n);
    t.FieldByName("Ymax").SetAsFloat(++i);
    t.Post();
  }
  t.SaveToFile(path);
}

// The ProblemName of every record in view order, leaving the table on its last record.
inline std::vector<std::string> Names(store::TMemTable& t) {
  std::vector<std::string> out;
  for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName("ProblemName").AsString());
  return out;
}

}  // namespace store_test
