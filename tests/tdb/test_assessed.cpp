// Assessed systems with sublattice, magnetic and ordered phases, imported and compiled as a
// sheet, against values that open-source CALPHAD libraries publish in their own tests and
// against handbook transformation temperatures.

#include <gtest/gtest.h>

#include <cmath>

#include "calc/equilibrium.h"
#include "calc/phase_sheet.h"
#include "tdb/importer.h"

namespace {

class Quiet : public calc::MessagePort {
 public:
  calc::DialogButton MessageDlg(const std::string& text, calc::DialogType,
                                const std::vector<calc::DialogButton>&) override {
    ADD_FAILURE() << text;
    return calc::DialogButton::OK;
  }
  void ShowMessage(const std::string&) override {}
};

struct System {
  Quiet quiet;
  calc::PhaseSheet sheet{quiet};
  tdb::ImportResult imported;
  System(const char* file, const char* a, const char* b) {
    tdb::ImportOptions o;
    o.A = a;
    o.B = b;
    imported = tdb::Import(tdb::ReadFile(std::string(BRELONA_TDB_DIR "/") + file), o);
    EXPECT_TRUE(sheet.Compile(imported.Sheet, '.'));
  }
  double G(const std::string& phase, double x, double T) {
    for (calc::SolutionPhase& ph : sheet.Phases)
      if (ph.Name == phase) {
        *sheet.SidX() = x;
        return ph.Energy(x, T, 1, sheet.sidParser().Value());
      }
    for (calc::PointPhase& pp : sheet.PointPhases)
      if (pp.Name == phase) return pp.Energy(T, 1, 0);
    ADD_FAILURE() << "no phase " << phase;
    return 0;
  }
  // The temperature between lo and hi where phases p and q of pure A (x = 0) or B swap.
  double Transition(const std::string& p, const std::string& q, double x, double lo, double hi) {
    auto d = [&](double T) { return G(p, x, T) - G(q, x, T); };
    const bool up = d(lo) < 0;
    for (int i = 0; i < 60; ++i) {
      const double mid = (lo + hi) / 2;
      ((d(mid) < 0) == up ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
  }
};

TEST(AssessedSystems, EnergiesMatchPublishedComputedValues) {
  System alfe("alfe.tdb", "AL", "FE");
  EXPECT_TRUE(alfe.imported.Skipped.empty());
  // Liquid at 2000 K, x(Fe) = 0.2.
  EXPECT_NEAR(alfe.G("LIQUID", 0.2, 2000), -143913.3, 0.05);
  // AL2FE at 300 K against fcc Al and magnetic bcc Fe, per mole of atoms.
  const double formation =
      alfe.G("AL2FE", 1.0 / 3, 300) - (2 * alfe.G("FCC_A1", 0, 300) + alfe.G("BCC_A2", 1, 300)) / 3;
  EXPECT_NEAR(formation, -28732.525, 0.001);

  // Al-Ni at 300 K, x(Al) = 0.4: B2 beside AL3NI5, GM = -63736.3048 J/mol.
  System alni("alni_dupin_2001.tdb", "AL", "NI");
  EXPECT_TRUE(alni.imported.Skipped.empty());
  const calc::Equilibrium eq = calc::SolveEquilibrium(alni.sheet, 300, 1, 0.6);
  ASSERT_EQ(eq.Phases.size(), 2u);
  EXPECT_EQ(eq.Phases[0].Name, "BCC_B2");
  EXPECT_EQ(eq.Phases[1].Name, "AL3NI5");
  EXPECT_NEAR(eq.G, -63736.3048, 0.001);
}

TEST(AssessedSystems, PureIronTransformsAsTheHandbookSays) {
  System feni("crfeni_mie.tdb", "FE", "NI");
  EXPECT_TRUE(feni.imported.Skipped.empty());
  EXPECT_NEAR(feni.Transition("BCC_A2", "FCC_A1", 0, 1000, 1400), 1184.8, 0.5);
  EXPECT_NEAR(feni.Transition("FCC_A1", "BCC_A2", 0, 1400, 1750), 1667.5, 0.5);
  EXPECT_NEAR(feni.Transition("BCC_A2", "LIQUID", 0, 1750, 1900), 1811, 0.5);
}

// Cu-O: the ionic two-sublattice liquid of cuo.tdb (the gas alone left out), its energy as
// published, and the Cu-side eutectic of the handbook, 1339 K with the liquid at X(O) = 0.017.
TEST(AssessedSystems, CopperOxygenHasItsIonicLiquid) {
  System cuo("cuo.tdb", "CU", "O");
  ASSERT_EQ(cuo.imported.Skipped.size(), 1u);
  EXPECT_EQ(cuo.imported.Skipped[0].Phase, "GAS");
  EXPECT_NEAR(cuo.G("IONIC_LIQ", 1 - 0.6618, 1000), -92505.7, 0.1);
  auto phases = [&](double T) {
    std::string names;
    for (const auto& ph : calc::SolveEquilibrium(cuo.sheet, T, 1, 0.017).Phases)
      names += ph.Name + " ";
    return names;
  };
  EXPECT_EQ(phases(1342), "IONIC_LIQ ");
  EXPECT_EQ(phases(1336), "FCC_A1 CU2O ");
}

}  // namespace
