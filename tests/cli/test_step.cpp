// brelona-calc step on the bundled samples: the files it writes, in the shapes they promise,
// agreeing with each other and with the command's line, and how it refuses what it cannot do.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "run_cli.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kDb = BRELONA_SOURCE_DIR "/data/Problems.d";
const std::string kPbSn = "Pb-Sn (assessed, imported from TDB)";

json ReadJson(const fs::path& file) {
  std::ifstream f(file);
  return json::parse(f);
}

std::string ReadText(const fs::path& file) {
  std::ifstream f(file);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

fs::path TempDir(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("brelona_step_" + name);
  fs::remove_all(dir);
  return dir;
}

// Pb-30 wt% Sn with Scheil, in weight percent: step.json and scheil.json in their shapes
// (amount 0 and x null where a phase is absent), the CSV beside them, the pictures.
TEST(StepCommand, WritesThePathAndScheilInTheirShapes) {
  const fs::path dir = TempDir("pbsn");
  const cli_test::Result r =
      cli_test::Run(BRELONA_CALC, {"step", kDb, "--problem", kPbSn, "--x", "30", "--wt", "--scheil",
                                   "--points", "100", "--out", dir.string()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("454.562 K FCC_A1 + LIQUID -> FCC_A1 + BCT_A5"), std::string::npos) << r.out;
  // The last liquid as scheil.json gives it: by mass (0.4189 of the atoms).
  EXPECT_NE(r.out.find("Scheil: eutectic at 454.562 K, last liquid 0.3511"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(" by mass"), std::string::npos) << r.out;
  for (const char* f : {"step.png", "step.svg", "activities.png", "activities.svg"})
    EXPECT_TRUE(fs::is_regular_file(dir / f)) << f;

  const json step = ReadJson(dir / "step.json");
  ASSERT_EQ(step["y"].size(), 100u);
  EXPECT_EQ(step["y"][0], 670);
  EXPECT_EQ(step["y"][99], 300);
  EXPECT_NEAR(step["x"].get<double>(), 30, 1e-12);
  EXPECT_EQ(step["composition"], "wt%");
  ASSERT_EQ(step["phases"].size(), 3u);
  for (const char* name : {"LIQUID", "FCC_A1", "BCT_A5"}) {
    const json& ph = step["phases"][name];
    ASSERT_EQ(ph["amount"].size(), 100u) << name;
    ASSERT_EQ(ph["x"].size(), 100u) << name;
  }
  // All liquid at the top, all solid at the bottom; the liquid's composition is the alloy's.
  EXPECT_EQ(step["phases"]["LIQUID"]["amount"][0], 1);
  EXPECT_NEAR(step["phases"]["LIQUID"]["x"][0].get<double>(), 30, 1e-9);
  EXPECT_EQ(step["phases"]["FCC_A1"]["amount"][0], 0);
  EXPECT_TRUE(step["phases"]["FCC_A1"]["x"][0].is_null());
  EXPECT_EQ(step["phases"]["LIQUID"]["amount"][99], 0);
  const double solids = step["phases"]["FCC_A1"]["amount"][99].get<double>() +
                        step["phases"]["BCT_A5"]["amount"][99].get<double>();
  EXPECT_NEAR(solids, 1, 1e-12);
  ASSERT_EQ(step["crossings"].size(), 2u);
  EXPECT_EQ(step["crossings"][1]["after"], json({"FCC_A1", "BCT_A5"}));
  EXPECT_EQ(step["activity_a"].size(), 100u);

  const json scheil = ReadJson(dir / "scheil.json");
  const size_t n = scheil["y"].size();
  // Down to the eutectic, where the last liquid freezes: its temperature twice.
  ASSERT_GT(n, 50u);
  EXPECT_EQ(scheil["y"][n - 1], scheil["y"][n - 2]);
  EXPECT_EQ(scheil["fraction_solid"].size(), n);
  EXPECT_EQ(scheil["liquid_x"].size(), n);
  EXPECT_EQ(scheil["fraction_solid"][n - 1], 1);
  EXPECT_TRUE(scheil["liquid_x"][n - 1].is_null());
  EXPECT_EQ(scheil["end"], "eutectic");
  EXPECT_NEAR(scheil["end_y"].get<double>(), 454.562, 1e-3);
  EXPECT_NEAR(scheil["last_liquid"].get<double>(), 0.3511, 1e-4);
  ASSERT_EQ(scheil["solids"].size(), 2u);
  // By mass the solids formed add up to the whole.
  const double formed = scheil["solids"]["FCC_A1"]["amount"][n - 1].get<double>() +
                        scheil["solids"]["BCT_A5"]["amount"][n - 1].get<double>();
  EXPECT_NEAR(formed, 1, 1e-6);

  // The CSV holds the same rows as the JSON.
  const std::string csv = ReadText(dir / "step.csv");
  EXPECT_EQ(csv.rfind("y,LIQUID amount,LIQUID x,FCC_A1 amount,FCC_A1 x,BCT_A5 amount,BCT_A5 x,"
                      "mu_a,mu_b,G,H,Cp,activity_a,activity_b\n",
                      0),
            0u);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 101);
  fs::remove_all(dir);
}

// Along X at a fixed level, with the activity of B referred to a named phase.
TEST(StepCommand, AlongXWithAReferencePhase) {
  const fs::path dir = TempDir("alongx");
  const cli_test::Result r =
      cli_test::Run(BRELONA_CALC, {"step", kDb, "--problem", "Simple eutectic", "--along", "x",
                                   "--y", "1000", "--points", "11", "--reference-b", "L",
                                   "--format", "none", "--out", dir.string()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const json step = ReadJson(dir / "step.json");
  EXPECT_EQ(step["y"], 1000);
  ASSERT_EQ(step["x"].size(), 11u);
  EXPECT_EQ(step["reference_b"], "L");
  EXPECT_FALSE(fs::exists(dir / "step.png"));
  fs::remove_all(dir);
}

TEST(StepCommand, RefusesWhatItCannotDo) {
  const struct {
    std::vector<std::string> args;
    int code;
    std::string message;
  } cases[] = {
      {{"--problem", "Simple eutectic"}, 2, "give --x"},
      {{"--problem", "Simple eutectic", "--x", "0.5", "--points", "1"}, 2, "--points needs"},
      {{"--problem", "Simple eutectic", "--along", "x", "--y", "900", "--scheil"},
       2,
       "--scheil follows a temperature path"},
      {{"--problem", "Simple eutectic", "--x", "1.5"}, 2, "X must lie in 0..1"},
      {{"--problem", "Simple eutectic", "--x", "30", "--wt"},
       1,
       "--wt needs the components' masses"},
      {{"--problem", kPbSn, "--x", "130", "--wt"}, 2, "--x must lie in 0..100 (wt%)"},
      {{"--problem", "Liquid-vapour at 350 K (pressure diagram)", "--x", "0.5", "--scheil"},
       2,
       "--scheil needs a problem along temperature"},
      {{"--problem", "Simple eutectic", "--x", "0.5", "--reference-a", "Q", "--format", "none"},
       1,
       "no phase Q of pure A in the sheet"},
      {{"--problem", "Nonexistent", "--x", "0.5"}, 1, "problem 'Nonexistent' not found"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"step", kDb};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const cli_test::Result r = cli_test::Run(BRELONA_CALC, args);
    EXPECT_EQ(r.exit_code, c.code) << c.message << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

}  // namespace
