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
  size_t solutions = 0, compounds = 0;
  for (const tdb::ImportedPhase& ph : r.Phases) (ph.IsCompound ? compounds : solutions)++;
  if (sheet.Phases.size() != solutions || sheet.PointPhases.size() != compounds)
    Fail("the sheet's phases differ from the import's", r.Sheet);
  size_t s = 0, c = 0;
  for (const tdb::ImportedPhase& ph : r.Phases) {
    for (double T : {300.0, 1000.0}) {
      double got = 0, want = 0;
      if (ph.IsCompound) {
        calc::PointPhase& p = sheet.PointPhases[c];
        if ("G" + p.Name != ph.Key) Fail("a compound under another key", ph.Key);
        *p.T = T;
        *p.Sid = 0;
        got = p.Parser->Value();
        want = ph.Compound.Eval(T);
      } else {
        calc::SolutionPhase& p = sheet.Phases[s];
        if ("G" + p.Name != ph.Key) Fail("a phase under another key", ph.Key);
        const double X = 0.5;
        *p.T = T;
        *p.X = X;
        *p.Sid = -tdb::kTdbGasConstant * 2 * X * std::log(X);
        got = p.Parser->Value();
        want = ph.Solution.Eval(X, T);
      }
      if (!(std::abs(got - want) <= 1e-6 * std::max(1.0, std::abs(want))))
        Fail("the sheet's energy differs from the import's", ph.Line);
    }
    (ph.IsCompound ? c : s)++;
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
