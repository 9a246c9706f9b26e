// Any bytes as a TDB file: reading gives the records or a tdb::Error; for the first three pairs
// of the elements read, the import gives a sheet or a tdb::Error. No other exception, and:
//  - every message, reason, note and sheet is valid UTF-8 (they reach JSON, Qt and Python);
//  - the sheet compiles in the program's own phase sheet with every phase the import lists,
//    each of them by its key, and with the energies the import's model gives at 300 and 1000 K.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "calc/headless_host.h"
#include "calc/phase_sheet.h"
#include "tdb/importer.h"

namespace {

void Fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "%s: %.300s\n", what, text.c_str());
  std::abort();
}

void CheckText(const std::string& text) {
  if (tdb::Printable(text) != text) Fail("not valid UTF-8", text);
}

void CheckSheet(const tdb::ImportResult& r) {
  CheckText(r.Sheet);
  for (const tdb::SkippedPhase& s : r.Skipped) CheckText(s.Reason);
  for (const std::string& n : r.Notes) CheckText(n);
  calc::HeadlessHost host;
  calc::PhaseSheet sheet(host);
  if (!sheet.Compile(r.Sheet, '.')) Fail("the sheet does not compile", r.Sheet);
  for (const tdb::ImportedPhase& ph : r.Phases) {
    // Every phase is in the sheet under its key: a line G + name, or a declaration on
    // sublattices of that name (a disordered part under the name of its ordered phase's
    // disordered form).
    const std::string name = ph.IsSublattice ? ph.Key : ph.Key.substr(1);
    calc::SolutionPhase* solution = nullptr;
    calc::PointPhase* compound = nullptr;
    for (calc::SolutionPhase& p : sheet.Phases)
      if (p.Name == name) solution = &p;
    for (calc::PointPhase& p : sheet.PointPhases)
      if (p.Name == name) compound = &p;
    if (solution == nullptr && compound == nullptr) Fail("a phase missing from the sheet", name);
    for (double T : {300.0, 1000.0}) {
      const double X = 0.5;
      if (ph.IsSublattice) {
        // Its minimum exists or it cannot take X; evaluator errors are the expression's own.
        try {
          if (solution != nullptr) solution->Energy(X, T, 1, 0);
          if (compound != nullptr) compound->Energy(T, 1, 0);
        } catch (const std::exception&) {
        }
        continue;
      }
      double got = 0, want = 0;
      if (ph.IsCompound) {
        if (compound == nullptr) Fail("a compound under another key", ph.Key);
        got = compound->Energy(T, 1, 0);
        want = ph.Compound.Eval(T);
      } else {
        if (solution == nullptr) Fail("a phase under another key", ph.Key);
        got = solution->Energy(X, T, 1, -tdb::kTdbGasConstant * 2 * X * std::log(X));
        want = ph.Solution.Eval(X, T);
      }
      if (!(std::abs(got - want) <= 1e-6 * std::max(1.0, std::abs(want))))
        Fail("the sheet's energy differs from the import's", ph.Line);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tdb::Database db;
  try {
    db = tdb::Read(text);
  } catch (const tdb::Error& e) {
    CheckText(e.what());
    return 0;
  }
  int pairs = 0;
  for (size_t i = 0; i < db.Elements.size() && pairs < 3; ++i) {
    for (size_t j = i + 1; j < db.Elements.size() && pairs < 3; ++j, ++pairs) {
      tdb::ImportOptions o;
      o.A = db.Elements[i];
      o.B = db.Elements[j];
      o.SourceName = "fuzz.tdb";
      try {
        CheckSheet(tdb::Import(db, o));
      } catch (const tdb::Error& e) {
        CheckText(e.what());
      }
    }
  }
  return 0;
}
