// Reading TDB text into records: the forms database files use, and files refused with the line.
#include <gtest/gtest.h>

#include <string>

#include "tdb/database.h"

namespace {

// The forms of the public database files, in one text with CRLF line ends and no final newline.
std::string Forms() {
  const char* lines[] = {
      " TEMP-LIM 300 5000 !",
      " ELEMENT /- ELECTRON_GAS 0 0 0 ! ELEMENT VA VACUUM 0 0 0 !",
      " Elem cr BCC_A2 52 0 0 ! ELEMENT V BCC_A2 51 0 0 ! ELEMENT O GAS 16 0 0 !",
      " SPECIES O-2 O1/-2 ! SPECIES CR2O3 CR2O3 ! SPECIES VA+ VA/+ !",
      " DATABASE_INFO 'Cr-V, version 2' !",
      " DEFINE-SYSTEM-DEFAULT ELEMENT 2 !",
      " DEFAULT-COM DEF_SYS_ELEMENT VA !",
      " DEFAULT_COMMAND REJECT_PHASE BCC_B2,LIQUID GAS ! DEFAULT_COMMAND RESTORE_PHASE LIQUID !",
      " TYPE-DEF % SEQ * !",
      " TYPE-DEF B GES AMEND_PHASE_DESCRIPTION @ MAGNETIC -1 0.400, !",
      " TYPE_DEF D GES A_P_D BCC_B2 DIS_PART BCC_A2,,,! $ a comment after the '!'",
      " PHASE LIQUID:L % 1 1 !",
      " CONST LIQUID:L : CR V : !",
      " PHASE BCC_A2 %B 2 1 3 ! CONST BCC_A2 : CR% V% : VA : !",
      " PHASE BCC_B2:B %BDQ 3 .5 .5 3 ! CONST BCC_B2 :CR,V:CR,V:VA: !",
      " PHASE GAS:G % 1 1 ! CONSTITUENT GAS:G :O: !",
      " PAR  G(BCC_A2,CR:VA),,  +GHSERCR;,,  N 91Din !",
      " PAR  BM(BCC_A2,CR:VA),, -0.008;,,N 91Din !",
      " PARAMETER TC(BCC_A2,CR:VA;0) 298.15 -311.5;,,,N !",
      " PARA G(LIQUID,CR;0) 298.15 +GLIQCR;6000.00 91Din !",
      " PARAMETER MQ(BCC_A2&CR,CR:VA;0) 298.15 -1;6000 N ! PARAMETER V0(BCC_A2,V:VA;0) 298 1;6000 "
      "N !",
      " FUNCT GHSERCR 298.15 -8856.94+157.48*T;",
      "     2180.00  Y  -34869.344+344.18*T;  6000.00  N !",
      " LIST-OF-REFERENCE NUMBER SOURCE 91Din 'A.T. Dinsdale' !",
      " ASSESSED_SYSTEM CR-V !",
  };
  std::string text;
  for (const char* l : lines) text += std::string(text.empty() ? "" : "\r\n") + l;
  return text;
}

TEST(TdbRead, TheFormsOfDatabaseFiles) {
  const tdb::Database db = tdb::Read(Forms());
  EXPECT_EQ(db.Elements, (std::vector<std::string>{"CR", "V", "O"}));
  EXPECT_TRUE(db.Ignored.empty()) << db.Ignored[0];
  EXPECT_EQ(db.DefaultLow, 300);
  EXPECT_EQ(db.DefaultHigh, 5000);

  const tdb::SpeciesRecord& o = db.Species.at("O-2");
  EXPECT_EQ(o.Charge, -2);
  EXPECT_EQ(o.Elements, (std::vector<std::pair<std::string, double>>{{"O", 1}}));
  EXPECT_EQ(db.Species.at("CR2O3").Elements,
            (std::vector<std::pair<std::string, double>>{{"CR", 2}, {"O", 3}}));
  EXPECT_EQ(db.Species.at("VA+").Charge, 1);

  ASSERT_EQ(db.Phases.size(), 4u);
  EXPECT_EQ(db.Phases[0].Constituents, (std::vector<std::vector<std::string>>{{"CR", "V"}}));
  EXPECT_EQ(db.Phases[1].Constituents,
            (std::vector<std::vector<std::string>>{{"CR", "V"}, {"VA"}}));
  EXPECT_EQ(db.Phases[2].Suffix, "B");
  EXPECT_EQ(db.Phases[2].TypeCodes, "%BDQ");  // Q is defined nowhere and means nothing
  EXPECT_EQ(db.Rejected, (std::set<std::string>{"BCC_B2", "GAS"}));

  // The '@' amendment goes to each phase carrying its code.
  const auto bcc = db.AmendmentsOf(db.Phases[1]);
  ASSERT_EQ(bcc.size(), 1u);
  EXPECT_EQ(bcc[0]->Kind, "MAGNETIC");
  EXPECT_EQ(bcc[0]->AntiferroFactor, -1);
  EXPECT_EQ(bcc[0]->StructureFactor, 0.4);
  const auto b2 = db.AmendmentsOf(db.Phases[2]);
  ASSERT_EQ(b2.size(), 2u);
  EXPECT_EQ(b2[0]->Kind, "DIS_PART");
  EXPECT_EQ(b2[0]->DisorderedPhase, "BCC_A2");
  EXPECT_EQ(b2[1]->Phase, "BCC_B2");
  EXPECT_EQ(b2[1]->Kind, "MAGNETIC");

  // ",," stands for the file's limits; BM is BMAGN; a range may end without its N.
  ASSERT_EQ(db.Parameters.size(), 4u);
  const tdb::Parameter& g = db.Parameters[0];
  EXPECT_EQ(g.Name(), "G(BCC_A2,CR:VA;0)");
  EXPECT_EQ(g.Low, 300);
  ASSERT_EQ(g.Ranges.size(), 1u);
  EXPECT_EQ(g.Ranges[0].Expression, "+GHSERCR");
  EXPECT_EQ(g.Ranges[0].High, 5000);
  EXPECT_EQ(db.Parameters[1].Type, "BMAGN");
  EXPECT_EQ(db.Parameters[1].Ranges[0].Expression, "-0.008");
  EXPECT_EQ(db.Parameters[2].Ranges[0].High, 5000);
  EXPECT_EQ(db.Parameters[3].Ranges[0].High, 6000);
  const tdb::Function& f = db.Functions.at("GHSERCR");
  ASSERT_EQ(f.Ranges.size(), 2u);
  EXPECT_EQ(f.Ranges[0].High, 2180);
  EXPECT_EQ(f.Ranges[1].Expression, "-34869.344+344.18*T");
  EXPECT_EQ(f.Line, 22);
  EXPECT_EQ(db.Notes, (std::vector<std::string>{
                          "parameters MQ (1, from line 21) are mobility parameters, which hold no "
                          "Gibbs energy: not used",
                          "parameters V0 (1, from line 21) are volume parameters, whose "
                          "contribution is zero at 1 bar: not used"}));
}

TEST(TdbRead, RepeatedParametersAndFunctionsTheLaterHolds) {
  const std::string text =
      "ELEMENT A X 0 0 0 ! ELEMENT B X 0 0 0 ! PHASE P % 1 1 ! CONSTITUENT P :A,B: !\n"
      "FUNCTION F 298.15 1; 6000 N !\n"
      "PARAMETER G(P,A,B;0) 298.15 10; 6000 N !\n"
      "PARAMETER L(P,A,B;1) 298.15 5; 6000 N !\n"
      "PARAMETER L(P,B,A;0) 298.15 20; 6000 N !\n"
      "FUNCTION F 298.15 2; 6000 N !\n"
      "PARAMETER L(P,A,B;0) 298.15 30; 6000 N !\n";
  const tdb::Database db = tdb::Read(text);
  ASSERT_EQ(db.Parameters.size(), 2u);
  EXPECT_EQ(db.Parameters[0].Ranges[0].Expression, "30");
  EXPECT_EQ(db.Parameters[0].Replaced, (std::vector<int>{3, 5}));
  EXPECT_TRUE(db.Parameters[1].Replaced.empty());
  EXPECT_EQ(db.Functions.at("F").Ranges[0].Expression, "2");
  EXPECT_EQ(db.Notes, (std::vector<std::string>{
                          "function F is defined twice (lines 2 and 6): the later one is used"}));
}

TEST(TdbRead, BrokenStatementsAreRefusedWithTheirLine) {
  const std::string head = "ELEMENT A X 0 0 0 !\nELEMENT B X 0 0 0 !\n";
  const struct {
    std::string text, message;
  } cases[] = {
      {"PHASE P % 1 0 !",
       "line 3: the number of sites on sublattice 1 of P is 0; it must be positive"},
      {"PHASE P % 2 1 -2 !",
       "line 3: the number of sites on sublattice 2 of P is -2; it must be positive"},
      {"PHASE P % 1 NAN !", "line 3: bad number of sites 'NAN'"},
      {"PHASE P % 1 INF !", "line 3: bad number of sites 'INF'"},
      {"PHASE P % 1 1E999 !", "line 3: bad number of sites '1E999'"},
      {"PHASE P % 1 0x10 !", "line 3: bad number of sites '0x10'"},
      {"PHASE FCC_\xC4"
       "1 % 1 1 !",
       "line 3: the phase name 'FCC_\\xC41' has a character that is not ASCII (byte 0xC4); names "
       "in a TDB file are written in ASCII letters, digits and signs"},
      {"TYPE_DEFINITION M GES A_P_D P \xFFMAGNETIC -1 0.4 !",
       "line 3: the amendment '\\xFFMAGNETIC' has a character that is not ASCII (byte 0xFF); "
       "names in a TDB file are written in ASCII letters, digits and signs"},
      {"FUNCTION F 1E999 1; 6000 N !", "line 3: bad lower temperature limit '1E999'"},
      {"FUNCTION F 298.15 1; 6000 X 2; 7000 N !",
       "line 3: expected Y or N after a temperature limit, found 'X'"},
      {"FUNCTION F 298.15 1; , N !", "line 3: bad upper temperature limit ','"},
      {"TYPE_DEFINITION M GES A_P_D P MAGNETIC -1 !",
       "line 3: MAGNETIC needs the anti-ferromagnetic factor and the structure factor"},
      {"TYPE_DEFINITION M GES A_P_D P MAGNETIC -1 0 !",
       "line 3: the structure factor of MAGNETIC must lie in (0, 1], found 0"},
      {"PARAMETER G(P,A;0) 298.15 1; 6000 N", "line 3: statement without its closing '!'"},
  };
  for (const auto& c : cases) {
    try {
      tdb::Read(head + c.text);
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const tdb::Error& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

}  // namespace
