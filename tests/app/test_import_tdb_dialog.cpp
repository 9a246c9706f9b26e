// File > Import TDB…: the dialog's lists and report, and the new problem in the open table.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/import_tdb_dialog.h"
#include "problem/problem_table.h"

namespace {

const QString kDir = QStringLiteral(BRELONA_SOURCE_DIR "/data/tdb/");

bool OkEnabled(const app::TdbImportDialog& d) {
  return d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled();
}

TEST(TdbImportDialog, ListsComponentsAndPhasesAndReportsWhatItSkips) {
  app::TdbImportDialog d;
  EXPECT_FALSE(OkEnabled(d));
  ASSERT_TRUE(d.LoadFile(kDir + "cumg.tdb"));
  EXPECT_EQ(d.ComponentA()->currentText(), "CU");
  EXPECT_EQ(d.ComponentB()->currentText(), "MG");
  EXPECT_EQ(d.PhaseList()->count(), 5);
  EXPECT_TRUE(d.Report()->toPlainText().contains(
      "Phases written: LIQUID, FCC_A1, HCP_A3 (compound, X = 1), CU2MG (on sublattices), CUMG2"));
  EXPECT_FALSE(d.Report()->toPlainText().contains("Skipped phase"));
  ASSERT_TRUE(d.Problem());
  EXPECT_EQ(d.Problem()->ProblemName, "CU-MG (cumg.tdb)");

  ASSERT_TRUE(d.LoadFile(kDir + "pbsn.tdb"));
  d.SetPhaseChecked("BCT_A5", false);
  ASSERT_TRUE(d.Problem());
  EXPECT_NE(d.Problem()->Functs.find("\r\nGFCC_A1="), std::string::npos);
  EXPECT_EQ(d.Problem()->Functs.find("GBCT_A5="), std::string::npos);
  EXPECT_TRUE(d.Report()->toPlainText().contains("Note: not selected: BCT_A5"));
  d.SetPhaseChecked("FCC_A1", false);
  d.SetPhaseChecked("LIQUID", false);
  EXPECT_FALSE(d.Problem());
  EXPECT_FALSE(OkEnabled(d));

  // Components chosen the other way round: X is then the mole fraction of PB.
  d.SetComponents("sn", "pb");
  ASSERT_TRUE(d.Problem());
  EXPECT_NE(d.Problem()->Functs.find("% components: SN PB\r\n"), std::string::npos);

  EXPECT_FALSE(d.LoadFile(kDir + "missing.tdb"));
  EXPECT_FALSE(OkEnabled(d));
  EXPECT_TRUE(d.Report()->toPlainText().startsWith("cannot read "));
}

// A phase the file rejects (REJECT_PHASE) is listed unchecked, and taken in when checked; left
// as listed, the import is the file's own choice.
TEST(TdbImportDialog, RejectedPhasesAreListedUncheckedAndComeInWhenChecked) {
  QTemporaryDir dir;
  const QString path = dir.filePath("rejects.tdb");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(
      "ELEMENT A FCC 10 0 0 !\nELEMENT B FCC 20 0 0 !\n"
      "DEFAULT_COMMAND REJECT_PHASE BETA !\n"
      "PHASE LIQUID % 1 1 !\nCONSTITUENT LIQUID :A,B: !\n"
      "PHASE BETA % 1 1 !\nCONSTITUENT BETA :A,B: !\n"
      "PARAMETER G(LIQUID,A;0) 298.15 1000-T; 6000 N !\n"
      "PARAMETER G(LIQUID,B;0) 298.15 1500-T; 6000 N !\n"
      "PARAMETER G(BETA,A;0) 298.15 0; 6000 N !\n"
      "PARAMETER G(BETA,B;0) 298.15 0; 6000 N !\n");
  f.close();
  app::TdbImportDialog d;
  ASSERT_TRUE(d.LoadFile(path));
  ASSERT_EQ(d.PhaseList()->count(), 2);
  const QListWidgetItem* beta = d.PhaseList()->item(1);
  EXPECT_TRUE(beta->text().startsWith("BETA ("));
  EXPECT_EQ(beta->checkState(), Qt::Unchecked);
  ASSERT_TRUE(d.Problem());
  EXPECT_EQ(d.Problem()->Functs.find("GBETA"), std::string::npos);
  d.SetPhaseChecked("BETA", true);
  ASSERT_TRUE(d.Problem());
  EXPECT_NE(d.Problem()->Functs.find("GBETA"), std::string::npos);
}

TEST(TdbImportDialog, TheProblemIsAddedAndBecomesCurrent) {
  store::TMemTable t;
  t.FieldDefs() = problem::ProblemFieldDefs();
  t.SetTableName("");
  t.Open();
  calc::ProblemInput p;
  p.ProblemName = "Pb-Sn";
  p.Functs = "GL=0";
  p.Ymin = 300;
  p.Ymax = 700;
  p.Zparameter = "P, bar";
  p.Zvalue = 1;
  EXPECT_EQ(app::AddImportedProblem(t, p), "Pb-Sn");
  EXPECT_EQ(app::AddImportedProblem(t, p), "Pb-Sn (2)");
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), "Pb-Sn (2)");
  EXPECT_EQ(t.FieldByName("Ymax").AsFloat(), 700);
  EXPECT_EQ(t.FieldByName("Yparameter").AsString(), "Temperature, K");
  // A name longer than the field's 80 characters was cut when stored, after the comparison,
  // so the same long name was stored twice.
  p.ProblemName = std::string(100, 'N');
  EXPECT_EQ(app::AddImportedProblem(t, p), std::string(80, 'N'));
  EXPECT_EQ(app::AddImportedProblem(t, p), std::string(76, 'N') + " (2)");
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), std::string(76, 'N') + " (2)");
}

}  // namespace
