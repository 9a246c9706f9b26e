#include "cli/problem_file.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "cli/commands.h"
#include "cli/messages.h"
#include "problem/problem_table.h"
#include "store/memtable.h"
#include "store/table_image.h"

namespace cli {

ProblemFileKind ProblemFileKindOf(const std::string& path) {
  if (store::LooksLikeTableImage(path)) return ProblemFileKind::Table;
  std::ifstream f(path, std::ios::binary);
  char buf[4096] = {};
  f.read(buf, sizeof buf);
  std::string_view head(buf, static_cast<size_t>(f.gcount()));
  if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
  const size_t at = head.find_first_not_of(" \t\r\n");
  if (at == std::string_view::npos) return ProblemFileKind::Table;  // missing or empty
  if (head[at] == '{' || head[at] == '[') return ProblemFileKind::Json;
  if (head.find('\0') == std::string_view::npos) return ProblemFileKind::Sheet;
  return ProblemFileKind::Table;
}

std::vector<calc::ProblemInput> ReadProblemFile(const std::string& path, ProblemFileKind kind,
                                                const problem::SheetRange& range, char separator) {
  if (kind == ProblemFileKind::Sheet) return {problem::ReadSheetFile(path, range)};
  if (kind == ProblemFileKind::Json) return problem::ReadProblemsJson(path);
  problem::CheckProblemTableFields(path);
  store::TMemTable table;
  table.SetTableName(path);
  table.SetLoadMode(store::lmFile);
  table.SetIndexFieldNames(problem::kProblemName);
  table.SetDecimalSeparator(separator);
  try {
    table.Open();
  } catch (const std::exception& e) {
    const std::string hint = NotATableHint(path);
    if (hint.empty()) throw;
    throw std::runtime_error(std::string(e.what()) + "\r" + hint);
  }
  std::vector<calc::ProblemInput> problems;
  for (table.First(); !table.Eof(); table.Next()) problems.push_back(problem::ReadProblem(table));
  return problems;
}

const calc::ProblemInput* ChooseProblem(const std::vector<calc::ProblemInput>& problems,
                                        const std::string& name, const std::string& file,
                                        const std::string& alternative) {
  if (problems.empty()) {
    PrintError(file + " holds no problem");
    return nullptr;
  }
  if (name.empty()) {
    if (problems.size() == 1) return &problems.front();
    PrintError(file + " holds " + std::to_string(problems.size()) +
               " problems: give --problem NAME" +
               (alternative.empty() ? "" : " or " + alternative));
  } else {
    for (const auto& p : problems) {
      if (p.ProblemName == name) return &p;
    }
    for (const auto& p : problems) {
      if (Lower(p.ProblemName) == Lower(name)) return &p;
    }
  }
  std::vector<std::string> names;
  for (const auto& p : problems) names.push_back(p.ProblemName);
  if (!name.empty()) {
    std::string text = "problem '" + name + "' not found";
    const std::string near = Nearest(name, names);
    if (!near.empty()) text += "; did you mean '" + near + "'?";
    PrintError(text);
  }
  std::fputs("problems:\n", stderr);
  // A short list whole, in its order; of a long one the few names closest to the one asked.
  constexpr size_t kListed = 10;
  if (names.size() > kListed) {
    std::vector<std::pair<size_t, size_t>> by;  // distance, index
    for (size_t i = 0; i < names.size(); ++i) by.push_back({EditDistance(name, names[i]), i});
    std::partial_sort(by.begin(), by.begin() + kListed, by.end());
    std::vector<std::string> closest;
    for (size_t k = 0; k < kListed; ++k) closest.push_back(names[by[k].second]);
    closest.push_back("... and " + std::to_string(names.size() - kListed) + " more");
    names = std::move(closest);
  }
  for (const std::string& n : names) std::fprintf(stderr, "  %s\n", n.c_str());
  return nullptr;
}

}  // namespace cli
