#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calc/phase_sheet.h"
#include "numeric/errors.h"
#include "recording_ports.h"

namespace calc {
namespace {

using testing::RecordingPorts;

struct Compiled {
  bool ok = false;
  std::vector<std::string> phases;        // "name=expression"
  std::vector<std::string> point_phases;  // "text=expression"
  std::string sid;
  std::vector<std::string> messages;
};

Compiled CompileSheet(const std::string& sheet, char sep = '.') {
  RecordingPorts ports;
  PhaseSheet ps(ports);
  Compiled c;
  c.ok = ps.Compile(sheet, sep);
  for (const SolutionPhase& p : ps.Phases) c.phases.push_back(p.Name + "=" + p.Parser->Expression());
  for (const PointPhase& p : ps.PointPhases) {
    c.point_phases.push_back(p.Text + "=" + p.Parser->Expression());
  }
  c.sid = ps.sidParser().Expression();
  c.messages = ports.messages;
  return c;
}

const std::string kBadX = "warning[O]: Point phase concentration is invalid or not defined";
const std::string kBadG =
    "warning[O]: Gibbs energy expression for point phase is invalid or not defined";

TEST(PhaseSheet, CompilesLinesByKind) {
  struct Case {
    std::string sheet;
    bool ok;
    std::vector<std::string> phases, point_phases;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"GL = -1000 + T*Sid % liquid", true, {"L=-1000+T*Sid"}, {}, {}},
      {"gs=-2*t", true, {"S=-2*t"}, {}, {}},
      {"GLIQUID=1\nGV=2\r\nGS=3", true, {"LIQUID=1", "V=2", "S=3"}, {}, {}},
      {"X=0.5;GC=-2000", true, {}, {"0.5=-2000"}, {}},
      {"GC=-2000;X=0.5", true, {}, {"0.5=-2000"}, {}},
      {"x=0.5;gc=-2000*t", true, {}, {"0.5=-2000*T"}, {}},
      {"X=1/3;GC=7", true, {}, {"0.333333333333333=7"}, {}},
      {"X=0.2;X=0.4;GC=7", true, {}, {"0.2=7"}, {}},
      {"X=1;GC=0\nX=0;GC=0", true, {}, {"1=0", "0=0"}, {}},
      {"GC=-2000", false, {}, {}, {kBadX}},
      {"X=1.2;GC=0", false, {}, {}, {kBadX}},
      {"X=-0.1;GC=0", false, {}, {}, {kBadX}},
      {"XY;GC=0", false, {}, {}, {kBadX}},
      {"X=0.3", false, {}, {}, {kBadG}},
      {"GL=1\nX=0.3\nGS=2", false, {"L=1"}, {}, {kBadG}},
      {"X=0.5;GC=", true, {}, {}, {}},
      {"HELLO=1\nG=1\nGL\nGE=1\nG(X)=1\nG2=1", true, {}, {}, {}},
      // Any other key "G" + name is a solution phase named by the letters after G.
      {"Gfcc_a1=1\nGBCT_A5=2\nGX=3", true, {"FCC_A1=1", "BCT_A5=2", "X=3"}, {}, {}},
      {"GL\nGS\nGV=5", true, {"V=5"}, {}, {}},
      {"", true, {}, {}, {}},
      {"% only a comment\n\n   \n", true, {}, {}, {}},
      {"G\tL=\x01"
       "5",
       true,
       {"L=5"},
       {},
       {}},
  };
  for (const Case& c : cases) {
    const Compiled got = CompileSheet(c.sheet);
    EXPECT_EQ(got.ok, c.ok) << c.sheet;
    EXPECT_EQ(got.phases, c.phases) << c.sheet;
    EXPECT_EQ(got.point_phases, c.point_phases) << c.sheet;
    EXPECT_EQ(got.messages, c.messages) << c.sheet;
  }
}

TEST(PhaseSheet, ACommentRunsToTheEndOfItsLineHoweverLong) {
  // It was cut 1000 characters from the first "%", and the rest of a longer one became part of
  // the expression (a 1200-character comment gave a syntax error).
  const std::string sheet = "GL=1%" + std::string(1200, 'a') + "+2\nGS=3 % short";
  EXPECT_EQ(CompileSheet(sheet).phases, (std::vector<std::string>{"L=1", "S=3"}));
}

TEST(PhaseSheet, EntropyLineLastOneWinsAndDefaultComesBack) {
  EXPECT_EQ(CompileSheet("SID=1\nSID=2*X").sid, "2*X");
  RecordingPorts ports;
  PhaseSheet ps(ports);
  ASSERT_TRUE(ps.Compile("SID=1", '.'));
  EXPECT_EQ(ps.sidParser().Expression(), "1");
  ASSERT_TRUE(ps.Compile("GL=1", '.'));
  EXPECT_EQ(ps.sidParser().Expression(), kDefaultSidExpression);
}

TEST(PhaseSheet, EvaluatorsCarryTheirVariables) {
  RecordingPorts ports;
  PhaseSheet ps(ports);
  ASSERT_TRUE(ps.Compile("GL=R+T+p+X+Sid\nX=0.25;GC=R+p+X+Sid", '.'));
  ASSERT_EQ(ps.Phases.size(), 1u);
  // R + 500 + 1 + 0.5 + 0.5, and the phase's own variable L is defined.
  EXPECT_DOUBLE_EQ(ps.Phases[0].Parser->Value(), kGasConstant + 502);
  ps.Phases[0].Parser->SetExpression("L+1");
  EXPECT_DOUBLE_EQ(ps.Phases[0].Parser->Value(), 1);
  ASSERT_EQ(ps.PointPhases.size(), 1u);
  EXPECT_DOUBLE_EQ(ps.PointPhases[0].Parser->Value(), kGasConstant + 1 + 0.25 + 0.5);
  EXPECT_DOUBLE_EQ(ps.PointPhases[0].Composition, 0.25);
  ps.PointPhases[0].Parser->SetExpression("GC+1");
  EXPECT_DOUBLE_EQ(ps.PointPhases[0].Parser->Value(), 1);
  // The default entropy: 0 at the pure components, R ln 2 at X = 0.5.
  *ps.SidX() = 0;
  EXPECT_DOUBLE_EQ(ps.sidParser().Value(), 0);
  *ps.SidX() = 0.5;
  EXPECT_NEAR(ps.sidParser().Value(), 8.31441 * std::log(2.0), 1e-12);
}

TEST(PhaseSheet, CompositionTextUsesTheSeparatorAndReadsBack) {
  RecordingPorts ports;
  PhaseSheet ps(ports);
  ASSERT_TRUE(ps.Compile("X=1/3;GC=1\nX=0.125;GC=2", ','));
  ASSERT_EQ(ps.PointPhases.size(), 2u);
  EXPECT_EQ(ps.PointPhases[0].Text, "0,333333333333333");
  EXPECT_DOUBLE_EQ(ps.PointPhases[0].Composition, 0.333333333333333);
  EXPECT_EQ(ps.PointPhases[1].Text, "0,125");
}

TEST(PhaseSheet, EvaluatorErrorsEndTheCompilationKeepingEarlierLines) {
  RecordingPorts ports;
  PhaseSheet ps(ports);
  EXPECT_THROW(ps.Compile("GL=1\nGS=(1\nGV=2", '.'), numeric::EMathParserError);
  ASSERT_EQ(ps.Phases.size(), 1u);
  EXPECT_EQ(ps.Phases[0].Name, "L");
  // An unreadable concentration is the evaluator's error too.
  EXPECT_THROW(ps.Compile("X=1/0;GC=1", '.'), numeric::EMathError);
  EXPECT_TRUE(ports.messages.empty());
}

// The errors name the line, its key and the column in the line as written, before the
// evaluator's own message.
TEST(PhaseSheet, EvaluatorErrorsNameTheirPlace) {
  RecordingPorts ports;
  PhaseSheet ps(ports);
  struct Case {
    const char* sheet;
    const char* what;
  };
  const Case cases[] = {
      {"GL=0\n% a comment\n  gs = FOO(X) - T / Sid",
       "line 3 (GS), column 8: Error parsing expression:\rFOO(X)-T\rSID"},
      {"GL=0\nGS=0\nX = 0.5; GCUMG2 = -1000 + (T",
       "line 3 (GCUMG2), column 27: "
       "Missing brackets in expression"},
      {"GL=0\nsid = X + Q % no such name",
       "line 2 (SID), column 11: Error parsing expression:\rX\rQ"},
      {"GC = 1; X = 2*(1/0)", "line 1 (GC), column 13: Floating point division by zero"},
  };
  for (const Case& c : cases) {
    try {
      ps.Compile(c.sheet, '.');
      ADD_FAILURE() << c.sheet;
    } catch (const numeric::EMathParserError& e) {
      EXPECT_STREQ(e.what(), c.what);
    } catch (const numeric::EMathError& e) {
      EXPECT_STREQ(e.what(), c.what);
    }
  }
}

TEST(PhaseSheet, ConcentrationOfAPart) {
  struct Case {
    std::string part;
    double x;
  };
  const std::vector<Case> cases = {
      {"X=0.5", 0.5}, {"x=0.5", 0.5},  {"X= 0.25 ", 0.25}, {"XA=0.5", -1},
      {"X=1", 1},     {"X=1.5", -1},   {"X=-0.5", -0.5},   {"X=2/4", 0.5},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(PhaseSheet::Concentration(c.part), c.x) << c.part;
}

TEST(PhaseSheet, SplitLines) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\n\nb\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(SplitLines("").empty());
}

}  // namespace
}  // namespace calc

TEST(PhaseSheet, ComponentNamesFromTheDirective) {
  EXPECT_FALSE(calc::ReadComponentNames("GL=1\nGS=2").Named());
  EXPECT_FALSE(calc::ReadComponentNames("% components: PB\nGL=1").Named());
  EXPECT_FALSE(calc::ReadComponentNames("% components: A 2 bar, B 0.5 bar (Raoult)").Named());
  const auto n =
      calc::ReadComponentNames("GL=1 % liquid\r\n%  Components: PB, SN\n% components: A B");
  EXPECT_EQ(n.A, "PB");
  EXPECT_EQ(n.B, "SN");
}

TEST(PhaseSheet, PhasesLeftOutByAnImportAreReadFromItsComments) {
  const auto left = calc::ReadLeftOutPhases(
      "% CU-O imported\r\n% Skipped phase IONIC_LIQ: ionic liquid model\r\nGL=1\r\n"
      "% Skipped phase GAS: line 4: function RTLNP is not defined\r\n% Skipped phase\r\n");
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].Phase, "IONIC_LIQ");
  EXPECT_EQ(left[0].Reason, "ionic liquid model");
  EXPECT_EQ(left[1].Reason, "line 4: function RTLNP is not defined");
  EXPECT_TRUE(calc::ReadLeftOutPhases("GL=1\nGS=2 % Skipped phase X: y").empty());
}
