// Files that once crashed the import or took gigabytes and minutes (kept in repro/): each gives
// a clear error with its line, or the right sheet, within a few seconds.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include "numeric/parser.h"
#include "tdb/importer.h"
#include "tdb/sheet_text.h"

namespace {

struct Outcome {
  std::string error;    // the whole message when the file is refused
  std::string skipped;  // else the beginning of LIQUID's reason when it is skipped
};

Outcome Import(const tdb::Database& db, const std::string& a, const std::string& b,
               tdb::ImportResult* out = nullptr) {
  tdb::ImportOptions o;
  o.A = a;
  o.B = b;
  const tdb::ImportResult r = tdb::Import(db, o);
  if (out) *out = r;
  for (const tdb::SkippedPhase& s : r.Skipped)
    if (s.Phase == "LIQUID") return {"", s.Reason};
  return {};
}

TEST(TdbHostile, EveryKeptInputGivesItsErrorOrItsSheetInSeconds) {
  const std::map<std::string, Outcome> want = {
      {"tdb_compound_neg_sites.tdb",
       {"line 15: the number of sites on sublattice 1 of AB2 is -1; it must be positive", ""}},
      {"tdb_negative_sites.tdb",
       {"line 10: the number of sites on sublattice 1 of FCC_A1 is -1; it must be positive", ""}},
      {"tdb_zero_sites.tdb",
       {"line 10: the number of sites on sublattice 1 of FCC_A1 is 0; it must be positive", ""}},
      {"tdb_nan_sites.tdb", {"line 10: bad number of sites 'NAN'", ""}},
      {"tdb_latin1_phase_name.tdb",
       {"line 10: the phase name 'FCC_\\xC41' has a character that is not ASCII (byte 0xC4); "
        "names in a TDB file are written in ASCII letters, digits and signs",
        ""}},
      {"tdb_inf_coefficient.tdb",
       {"", "line 7: the number 1E999 is beyond the range of numbers in expression '1E999*T'"}},
      {"tdb_int_overflow.tdb", {"", "line 7: a power of T beyond 400 (4096)"}},
      {"tdb_pow_blowup.tdb", {"", "line 7: a power of T beyond 400"}},
      {"tdb_poly5_pow64.tdb", {"", "line 7: more than 1000 terms"}},
      {"tdb_distinct_terms_2k.tdb", {"", "line 7: more than 1000 terms"}},
      {"tdb_square_chain.tdb",
       {"", "line 32: function F6 (line 11): a product of sums of 561 and 561 terms"}},
      {"tdb_ranges_600.tdb", {"", "line 8: function FR (line 5): 601 temperature ranges"}},
      {"tdb_ranges_2000.tdb", {"", "line 8: function FR (line 5): 2001 temperature ranges"}},
      {"tdb_function_chain_8000.tdb", {"", ""}},
      {"tdb_dup_L.tdb", {"", ""}},
      {"tdb_typo_run_crash.tdb", {"", ""}},
  };
  size_t seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(BRELONA_TDB_REPRO_DIR)) {
    const std::string name = entry.path().filename().string();
    auto it = want.find(name);
    ASSERT_NE(it, want.end()) << name << " has no expected outcome here";
    ++seen;
    const auto start = std::chrono::steady_clock::now();
    Outcome got;
    try {
      const bool pbsn = name == "tdb_typo_run_crash.tdb";
      got = Import(tdb::ReadFile(entry.path().string()), pbsn ? "PB" : "AA", pbsn ? "SN" : "BB");
    } catch (const tdb::Error& e) {
      got.error = e.what();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 10) << name;  // about 0.1 s optimised, 1 s under the sanitizers
    EXPECT_EQ(got.error, it->second.error) << name;
    if (it->second.skipped.empty()) {
      EXPECT_EQ(got.skipped, "") << name;
    } else {
      EXPECT_EQ(got.skipped.substr(0, it->second.skipped.size()), it->second.skipped) << name;
    }
  }
  EXPECT_EQ(seen, want.size());
}

TEST(TdbHostile, LongChainsAndRepeatsGiveTheFilesEnergies) {
  // 8000 functions each naming the next: read without deep recursion.
  tdb::ImportResult r;
  Import(tdb::ReadFile(BRELONA_TDB_REPRO_DIR "/tdb_function_chain_8000.tdb"), "AA", "BB", &r);
  ASSERT_EQ(r.Phases.size(), 2u);
  EXPECT_EQ(r.Phases[0].Solution.GA.Eval(500), -1000 * 500);

  // A repeated L parameter replaces the earlier one, as a repeated G does, and says so.
  Import(tdb::ReadFile(BRELONA_TDB_REPRO_DIR "/tdb_dup_L.tdb"), "AA", "BB", &r);
  ASSERT_EQ(r.Phases.size(), 2u);
  ASSERT_EQ(r.Phases[0].Solution.L.size(), 1u);
  EXPECT_EQ(r.Phases[0].Solution.L[0].Eval(500), 10000);
  EXPECT_NE(r.Sheet.find("% Note: parameter G(LIQUID,AA,BB;0) is given more than once (lines 9, "
                         "15): the last one, line 15, replaces the others\r\n"),
            std::string::npos);
}

TEST(TdbHostile, ArithmeticBeyondTheNumbersIsRefusedWithTheLine) {
  const std::string head =
      "ELEMENT AA X 0 0 0 ! ELEMENT BB X 0 0 0 !\n"
      "PHASE LIQUID % 1 1 ! CONSTITUENT LIQUID :AA,BB: !\n"
      "PHASE S % 1 1 ! CONSTITUENT S :AA,BB: !\n"
      "PARAMETER G(S,AA;0) 298.15 0; 6000 N ! PARAMETER G(S,BB;0) 298.15 0; 6000 N !\n"
      "PARAMETER G(LIQUID,BB;0) 298.15 0; 6000 N !\n";
  const struct {
    std::string expression, reason;
  } cases[] = {
      {"1E300*1E300*T", "a coefficient beyond the range of numbers (about 1E308)"},
      {"EXP(1000)", "a coefficient beyond the range of numbers (about 1E308)"},
      {"T**(1E300)", "a power beyond 400 (1e+300)"},
      {"F#",
       "function F (line 6): a coefficient beyond the range of numbers (about 1E308) in "
       "expression '1E308*T*10'"},
      {std::string(300, '(') + "T" + std::string(300, ')'),
       "brackets, signs or powers nested more than 200 deep"},
      {"2**" + std::string(300, '2') + "**2", "a coefficient beyond the range"},
      {"T" + std::string(40000, '+') + "T", "brackets, signs or powers nested more than 200 deep"},
      {"2" +
           [] {
             std::string s;
             for (int i = 0; i < 40000; ++i) s += "**2";
             return s;
           }(),
       "brackets, signs or powers nested more than 200 deep"},
  };
  for (const auto& c : cases) {
    const std::string text = head + "FUNCTION F 298.15 1E308*T*10; 6000 N !\n" +
                             "PARAMETER G(LIQUID,AA;0) 298.15 " + c.expression + "; 6000 N !\n";
    const Outcome got = Import(tdb::Read(text), "AA", "BB");
    EXPECT_EQ(got.skipped.rfind("line 7: " + c.reason, 0), 0u) << got.skipped.substr(0, 300);
  }
}

}  // namespace

// The grouping of a long sum was worked out over every split of every run of terms (the cube
// of the length: minutes and gigabytes for a few hundred terms); runs are now bounded.
TEST(TdbHostile, LongSumsAreGroupedQuicklyAndStillFit) {
  for (int n : {40, 600, 2000}) {
    std::vector<tdb::NodePtr> terms;
    for (int i = 1; i <= n; ++i) terms.push_back(tdb::Number(i));
    const auto start = std::chrono::steady_clock::now();
    bool fits = false;
    std::string why;
    const std::string text = tdb::Write(tdb::SumOf(terms), &fits, &why);
    // About 0.1 s optimised and a few seconds under the sanitizers; the cubic grouping took
    // minutes for 600 terms.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 30)
        << n;
    if (n == 2000) {
      EXPECT_FALSE(fits);
      EXPECT_EQ(why, "more than 1000 operations; an expression holds 20 levels of 50");
      continue;
    }
    ASSERT_TRUE(fits) << n;
    numeric::TParser p;
    p.SetExpression(text);
    EXPECT_EQ(p.Value(), n * (n + 1) / 2);
  }
}
