// The main window driven as a user drives it: clicks, keys, typed texts, with every dialog
// answered by the test hook and recorded.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <QXYSeries>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/colors.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/stripe_grid.h"
#include "app/views_windows.h"
#include "app/working_chart.h"
#include "problem/problem_table.h"
#include "views/chart_file.h"

namespace fs = std::filesystem;
using calc::DialogButton;
using calc::DialogType;
using Kind = app::DialogRequest::Kind;

namespace {

struct Problem {
  std::string name;
  std::string functs;
  std::string yparameter = "Temperature, K";
  double ymin = 300, ymax = 700;
  std::string zparameter = "P, bar";
  double zvalue = 1;
  int xpoints = 20, ypoints = 4;
  bool mosaic = false, chart = true;
};

// A lens: A melts at 500 K, B at 600 K, both with an entropy of fusion of 10 J/(mol K).
const char* kLens =
    "GL = -T*Sid\n"
    "GS = (1-X)*(10*T-5000) + X*(10*T-6000) - T*Sid\n";

void MakeDatabase(const fs::path& file, const std::vector<Problem>& problems) {
  store::TMemTable t;
  t.FieldDefs() = problem::ProblemFieldDefs();
  t.Open();
  for (const Problem& p : problems) {
    t.Insert();
    t.FieldByName("ProblemName").SetAsString(p.name);
    t.FieldByName("Functs").SetAsString(p.functs);
    t.FieldByName("Yparameter").SetAsString(p.yparameter);
    t.FieldByName("Ymin").SetAsFloat(p.ymin);
    t.FieldByName("Ymax").SetAsFloat(p.ymax);
    t.FieldByName("Zparameter").SetAsString(p.zparameter);
    t.FieldByName("Zvalue").SetAsFloat(p.zvalue);
    t.FieldByName("XPoints").SetAsInteger(p.xpoints);
    t.FieldByName("YPoints").SetAsInteger(p.ypoints);
    t.FieldByName("ShowMosaicDiagram").SetAsBoolean(p.mosaic);
    t.FieldByName("ShowChart").SetAsBoolean(p.chart);
    t.Post();
  }
  t.SaveToFile(file.string());
}

std::string Bytes(const fs::path& f) { return app::ReadWholeFile(f.string()).value_or("<missing>"); }

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("brelona-main-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "bin");
    oldCwd_ = fs::current_path();
    fs::current_path(dir_);
    app::TDialogs::SetTestHook([this](const app::DialogRequest& r) {
      asked_.push_back(r);
      if (duringDialog_) duringDialog_();
      if (answers_.empty()) return app::DialogAnswer{DialogButton::OK, false, {}, 0};
      const app::DialogAnswer a = answers_.front();
      answers_.pop_front();
      return a;
    });
  }
  void TearDown() override {
    window_.reset();
    app::TDialogs::SetTestHook(nullptr);
    fs::current_path(oldCwd_);
    fs::remove_all(dir_);
  }

  app::TfmMain& Start(const fs::path& programFolder = "bin") {
    app::TMainOptions o;
    o.settingsWriteFolder = QString::fromStdString((dir_ / programFolder).string());
    o.userConfigFolder = QString::fromStdString((dir_ / "config").string());
    o.installedSample = QString::fromStdString((dir_ / "share" / "Problems.d").string());
    o.userDataFolder = QString::fromStdString((dir_ / "user").string());
    window_ = std::make_unique<app::TfmMain>(o);
    window_->StartUp();
    window_->show();
    QApplication::processEvents();
    return *window_;
  }

  void Answer(DialogButton b) { answers_.push_back({b, true, {}, 0}); }
  void AnswerText(const std::string& text, bool ok = true) {
    answers_.push_back({DialogButton::OK, ok, text, 0});
  }
  // The texts of the recorded dialogs, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& r : asked_) out.push_back(r.text);
    return out;
  }

  static void Type(QLineEdit* e, const QString& text) {
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    if (!text.isEmpty()) QTest::keyClicks(e, text);
  }
  static void Pick(QComboBox* c, int index) {
    c->setCurrentIndex(index);
    emit c->activated(index);
  }

  fs::path dir_, oldCwd_;
  std::unique_ptr<app::TfmMain> window_;
  std::deque<app::DialogAnswer> answers_;
  std::vector<app::DialogRequest> asked_;
  std::function<void()> duringDialog_;  // what a real modal box would do meanwhile
};

TEST_F(MainWindowTest, StartUpWithoutSettingsUsesDesignedGeometryAndProblemsD) {
  MakeDatabase(dir_ / "Problems.d", {{"b lens", kLens}, {"a lens", kLens, "Temperature, K", 400, 650}});
  app::TfmMain& w = Start();
  EXPECT_TRUE(asked_.empty()) << (asked_.empty() ? "" : asked_.front().text);
  EXPECT_EQ(w.size(), QSize(678, 678));
  EXPECT_EQ(w.windowTitle(), "Database: Problems.d");
  EXPECT_EQ(w.WorkingFileName(), "Problems.d");
  EXPECT_EQ(w.MosaicColorValue(), 12639424);
  EXPECT_FALSE(w.TableModified());
  ASSERT_TRUE(w.Table().Active());
  // The first problem in name order is current, its range taken into the sweep state, and the
  // problem check ran on it.
  EXPECT_EQ(w.Table().FieldByName("ProblemName").AsString(), "a lens");
  EXPECT_EQ(w.Results().State.Ymin, 400);
  EXPECT_EQ(w.Results().State.Ymax, 650);
  EXPECT_EQ(w.Results().State.Y, 650);
  EXPECT_EQ(w.Results().State.CheckFailed, 0);
  EXPECT_EQ(w.StripeGrid1()->model()->rowCount(), 2);
  EXPECT_EQ(w.StripeGrid1()->model()->headerData(0, Qt::Horizontal).toString(),
            QString::fromUtf8("Название задачи"));
  EXPECT_EQ(w.memFunctions()->toPlainText(), QString(kLens));
  EXPECT_EQ(w.dbcbY()->currentIndex(), 0);
  EXPECT_EQ(w.lblZ()->text(), "P, bar");
  EXPECT_EQ(w.DBEdit1()->text(), "400");
  EXPECT_TRUE(w.chbSave()->isChecked());
  EXPECT_FALSE(w.sbGrid()->isVisible());
}

// An installed program started where there is no Problems.d opens the user's copy of the
// sample database it ships (made the first time) instead of asking for a file.
TEST_F(MainWindowTest, AnInstalledProgramOpensItsSampleDatabase) {
  fs::create_directories(dir_ / "share");
  MakeDatabase(dir_ / "share" / "Problems.d", {{"sample", kLens}});
  app::TfmMain& w = Start();
  EXPECT_TRUE(asked_.empty()) << (asked_.empty() ? "" : asked_.front().text);
  EXPECT_EQ(fs::path(w.WorkingFileName()), dir_ / "user" / "Problems.d");
  ASSERT_TRUE(w.Table().Active());
  EXPECT_EQ(w.Table().FieldByName("ProblemName").AsString(), "sample");
  EXPECT_EQ(Bytes(dir_ / "user" / "Problems.d"), Bytes(dir_ / "share" / "Problems.d"));
}

TEST_F(MainWindowTest, StartUpWithSettingsFile) {
  MakeDatabase(dir_ / "other.d", {{"one", kLens}});
  std::ofstream(dir_ / "Brelona.cfg")
      << "[SETTINGS]\nTop=10\nHeight=500\nLeft=20\nWidth=640\nWorkingFileName=other.d\n"
         "MDcolor=$FF\n";
  app::TfmMain& w = Start();
  EXPECT_EQ(w.size(), QSize(640, 500));
  EXPECT_EQ(w.windowTitle(), "Database: other.d");
  EXPECT_EQ(w.MosaicColorValue(), 255);
  EXPECT_EQ(w.Table().RecordCount(), 1);
}

// The settings one session writes are the ones the next reads, however it is started: from a
// folder without a settings file (as scripts/run starts it, in data/) they live next to the
// executable, or for an installed program that cannot write there (here a folder that does not
// exist, so the test holds also when run with every permission) in the user's configuration
// folder; a folder's own settings file is read and written back in place. Before, the current
// folder's file was read and the executable's written, so the window came back at its designed
// size.
TEST_F(MainWindowTest, TheSettingsComeBackHoweverTheProgramIsStarted) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}});
  for (const char* program : {"bin", "installed/bin"}) {
    const fs::path kept = dir_ / (std::string(program) == "bin" ? "bin" : "config") / "Brelona.cfg";
    app::TfmMain& w = Start(program);
    EXPECT_EQ(w.size(), QSize(678, 678)) << program;
    w.resize(660, 520);
    answers_.push_back({DialogButton::OK, true, {}, 0x123456});
    w.ActMosaicColor()->trigger();
    asked_.clear();
    EXPECT_TRUE(w.ShutDown());
    EXPECT_TRUE(asked_.empty()) << asked_.front().text;
    EXPECT_TRUE(fs::exists(kept)) << program;
    window_.reset();
    app::TfmMain& again = Start(program);
    EXPECT_EQ(again.size(), QSize(660, 520)) << program;
    EXPECT_EQ(again.MosaicColorValue(), 0x123456) << program;
    window_.reset();
    fs::remove(kept);
  }
  EXPECT_FALSE(fs::exists(dir_ / "installed"));

  std::ofstream(dir_ / "Brelona.cfg") << "[MINE]\nkey=1\n[SETTINGS]\nHeight=500\nWidth=640\n";
  app::TfmMain& w = Start();
  EXPECT_EQ(w.size(), QSize(640, 500));
  w.resize(700, 600);
  EXPECT_TRUE(w.ShutDown());
  EXPECT_FALSE(fs::exists(dir_ / "bin" / "Brelona.cfg"));
  EXPECT_EQ(Bytes(dir_ / "Brelona.cfg").rfind("[MINE]\nkey=1\n\n[SETTINGS]\n", 0), 0u);
  window_.reset();
  EXPECT_EQ(Start().size(), QSize(700, 600));
}

TEST_F(MainWindowTest, MissingDatabaseAndTheOpenDialog) {
  {
    AnswerText("", false);  // the open dialog is cancelled
    app::TfmMain& w = Start();
    ASSERT_EQ(asked_.size(), 2u);
    EXPECT_EQ(asked_[0].kind, Kind::OpenFile);
    EXPECT_EQ(asked_[0].caption, "Thermodynamic properties (*.d)|*.d");
    EXPECT_EQ(asked_[1].text, "Database not found");
    EXPECT_EQ(asked_[1].type, DialogType::Error);
    EXPECT_EQ(asked_[1].buttons, std::vector<DialogButton>{DialogButton::OK});
    EXPECT_FALSE(w.Table().Active());
    EXPECT_EQ(w.StripeGrid1()->model()->rowCount(), 0);
    // Run on a closed table: no sheet, so no energy.
    w.sbRunClick();
    EXPECT_EQ(asked_.back().text, "Gibbs energy can not be computed");
  }
  window_.reset();
  asked_.clear();
  MakeDatabase(dir_ / "chosen.d", {{"one", kLens}});
  AnswerText((dir_ / "chosen.d").string());
  app::TfmMain& w = Start();
  EXPECT_EQ(asked_.size(), 1u);
  EXPECT_EQ(w.WorkingFileName(), (dir_ / "chosen.d").string());
  EXPECT_EQ(w.windowTitle().toStdString(), "Database: " + (dir_ / "chosen.d").string());
  EXPECT_TRUE(w.Table().Active());
}

TEST_F(MainWindowTest, DamagedDatabaseAtStartUpIsReportedAndTheWindowRuns) {
  std::ofstream(dir_ / "Problems.d") << "xy";
  app::TfmMain& w = Start();
  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_EQ(asked_[0].text.rfind("Error opening table: ", 0), 0u) << asked_[0].text;
  EXPECT_FALSE(w.Table().Active());
  EXPECT_EQ(w.windowTitle(), "Database: Problems.d");
}

TEST_F(MainWindowTest, ChecksBeforePostKeepTheRecordInItsMode) {
  MakeDatabase(dir_ / "Problems.d", {{"lens", kLens}});
  app::TfmMain& w = Start();
  struct Case {
    const char* name;
    bool insert;  // a new record, else the existing one edited
    QString problemName;
    int yItem;  // -1: leave
    QString zvalue;  // "-": leave
    std::string message;
  };
  const Case cases[] = {
      {"new, nothing typed", true, "", -1, "-", "Problem name must be assigned"},
      {"new, name only", true, "new one", -1, "-", "Y parameter must be selected"},
      {"new, Z left at 0", true, "new one", 0, "-", "P, bar must have positive value"},
      {"new, negative Z", true, "new one", 0, "-5", "P, bar must have positive value"},
      {"new, pressure and Z 0", true, "new one", 1, "0", "T, K must have positive value"},
      {"edit, name cleared", false, "", -1, "-", "Problem name must be assigned"},
      {"edit, Z not a number", false, "lens", -1, "abc",
       "'abc' is not a valid floating point value for field 'Zvalue'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    asked_.clear();
    if (c.insert) {
      w.NavInsert()->click();
      ASSERT_EQ(w.Table().State(), store::dsInsert);
    }
    Type(w.DBEdit1(), "300");  // any change starts Edit
    if (!c.problemName.isEmpty() || !c.insert) {
      // The list edits the name of its current row.
      w.StripeGrid1()->model()->setData(
          w.StripeGrid1()->model()->index(w.StripeGrid1()->currentIndex().row(), 0),
          c.problemName, Qt::EditRole);
    }
    if (c.yItem >= 0) Pick(w.dbcbY(), c.yItem);
    if (c.zvalue != "-") Type(w.DBEdit5(), c.zvalue);
    const auto mode = w.Table().State();
    w.sbRunClick();  // a run posts the record first
    ASSERT_FALSE(asked_.empty());
    EXPECT_EQ(asked_.front().text, c.message);
    EXPECT_EQ(asked_.size(), 1u) << "the run is abandoned with the post";
    EXPECT_EQ(w.Table().State(), mode);
    if (c.zvalue != "-") {
      EXPECT_EQ(w.DBEdit5()->text(), c.zvalue) << "the typed text stays";
    }
    EXPECT_FALSE(w.TableModified());
    w.NavCancel()->click();
    EXPECT_EQ(w.Table().State(), store::dsBrowse);
  }
  EXPECT_EQ(w.Table().RecordCount(), 1);
}

TEST_F(MainWindowTest, PostTakesZparameterFromTheLabel) {
  MakeDatabase(dir_ / "Problems.d", {{"lens", kLens}});
  app::TfmMain& w = Start();
  Pick(w.dbcbY(), 1);
  EXPECT_EQ(w.lblZ()->text(), "T, K");
  EXPECT_EQ(w.Table().State(), store::dsEdit);
  Type(w.DBEdit5(), "1200");
  Type(w.DBEdit1(), "1");
  Type(w.DBEdit2(), "1000");
  asked_.clear();
  w.Table().Post();
  EXPECT_TRUE(asked_.empty());
  EXPECT_EQ(w.Table().FieldByName("Zparameter").AsString(), "T, K");
  EXPECT_EQ(w.Table().FieldByName("Yparameter").AsString(), "Pressure, bar");
  EXPECT_EQ(w.Table().FieldByName("Zvalue").AsFloat(), 1200);
  EXPECT_EQ(w.lblZ()->text(), "T, K");
  EXPECT_TRUE(w.TableModified());
}

TEST_F(MainWindowTest, InsertCancelAndDelete) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}, {"b", kLens, "Temperature, K", 350, 650}});
  app::TfmMain& w = Start();
  EXPECT_EQ(w.NavInsert()->toolTip(), "Insert record");
  EXPECT_EQ(w.NavDelete()->toolTip(), "Delete record");
  EXPECT_EQ(w.NavCancel()->toolTip(), "Cancel edit");

  // Unchecking hides the working chart; Cancel brings the stored value and the chart back.
  w.chbShowChart()->click();
  EXPECT_FALSE(w.Chart1()->isVisibleTo(&w));
  w.NavCancel()->click();
  EXPECT_TRUE(w.Chart1()->isVisibleTo(&w));

  w.NavInsert()->click();
  // A new record: defaults, the range 0..0, the working chart shown.
  EXPECT_EQ(w.Table().State(), store::dsInsert);
  EXPECT_EQ(w.DBEdit3()->text(), "100");
  EXPECT_EQ(w.DBEdit4()->text(), "100");
  EXPECT_TRUE(w.chbShowChart()->isChecked());
  EXPECT_FALSE(w.chbShowMosaic()->isChecked());
  EXPECT_EQ(w.Results().State.Ymin, 0);
  EXPECT_EQ(w.Results().State.Ymax, 0);
  EXPECT_TRUE(w.Chart1()->isVisibleTo(&w));
  EXPECT_EQ(w.StripeGrid1()->model()->rowCount(), 3);
  w.NavCancel()->click();
  EXPECT_EQ(w.Table().RecordCount(), 2);
  EXPECT_EQ(w.StripeGrid1()->model()->rowCount(), 2);
  EXPECT_FALSE(w.TableModified());

  // Delete asks first; No keeps the record.
  Answer(DialogButton::No);
  w.NavDelete()->click();
  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_EQ(asked_[0].text, "Delete record?");
  EXPECT_EQ(asked_[0].type, DialogType::Confirmation);
  EXPECT_EQ(asked_[0].buttons, (std::vector<DialogButton>{DialogButton::Yes, DialogButton::No}));
  EXPECT_EQ(w.Table().RecordCount(), 2);
  Answer(DialogButton::Yes);
  w.NavDelete()->click();
  EXPECT_EQ(w.Table().RecordCount(), 1);
  EXPECT_EQ(w.Table().FieldByName("ProblemName").AsString(), "b");
  EXPECT_EQ(w.Results().State.Ymin, 350);
  EXPECT_TRUE(w.TableModified()) << "a deletion is saved like a post";
  EXPECT_TRUE(w.ShutDown());
  window_.reset();
  EXPECT_EQ(Start().Table().RecordCount(), 1) << "the next start shows the deletion";
}

TEST_F(MainWindowTest, TheProblemListMovesTheTable) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}, {"b", kLens, "Temperature, K", 350, 650}});
  app::TfmMain& w = Start();
  w.StripeGrid1()->setCurrentIndex(w.StripeGrid1()->model()->index(1, 0));
  QApplication::processEvents();
  EXPECT_EQ(w.Table().RecNo(), 2);
  EXPECT_EQ(w.DBEdit1()->text(), "350");
  // A move posts a pending edit; a refused post keeps the record and the list where they were.
  Type(w.DBEdit5(), "-1");
  w.StripeGrid1()->setCurrentIndex(w.StripeGrid1()->model()->index(0, 0));
  QApplication::processEvents();
  ASSERT_FALSE(asked_.empty());
  EXPECT_EQ(asked_.back().text, "P, bar must have positive value");
  EXPECT_EQ(w.Table().RecNo(), 2);
  EXPECT_EQ(w.Table().State(), store::dsEdit);
  EXPECT_EQ(w.StripeGrid1()->currentIndex().row(), 1);
}

TEST_F(MainWindowTest, F9WhileTypingInTheMemoStartsARun) {
  MakeDatabase(dir_ / "Problems.d", {{"lens", kLens}});
  app::TfmMain& w = Start();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.memFunctions()->setFocus();
  w.memFunctions()->moveCursor(QTextCursor::End);
  QTest::keyClicks(w.memFunctions(), "% note");
  EXPECT_EQ(w.Table().State(), store::dsEdit);
  EXPECT_EQ(w.Results().State.LevelIndex, -1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F9, Qt::ControlModifier);
  EXPECT_TRUE(asked_.empty()) << (asked_.empty() ? "" : asked_.front().text);
  EXPECT_EQ(w.Table().State(), store::dsBrowse) << "the run posted the edit";
  EXPECT_TRUE(w.TableModified());
  EXPECT_EQ(w.Results().State.LevelIndex, 4) << "five levels, 700 down to 300";
  EXPECT_TRUE(w.sbDiagram()->isEnabled());
  EXPECT_TRUE(w.StripeGrid1()->isEnabled());
  EXPECT_EQ(w.Chart1()->SeriesCount(), 3);
  EXPECT_EQ(w.Chart1()->TitleAt(2), "Convex");
  EXPECT_TRUE(w.memFunctions()->toPlainText().endsWith("% note"));
}

// A real message box takes the activation away; when it closes, the main window has no focus
// widget until the window system activates it again, while the F9 key event still travels up
// from the control it was pressed in.
TEST_F(MainWindowTest, F9InAnEditOrTheListRunsOnceWhenTheRunEndsInAMessage) {
  MakeDatabase(dir_ / "Problems.d", {{"broken", "GL = (X\nGS = X\n"}});
  app::TfmMain& w = Start();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  duringDialog_ = [] {
    QDialog box;
    box.show();
    box.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&box));
  };
  for (QWidget* control : std::initializer_list<QWidget*>{w.DBEdit1(), w.StripeGrid1()}) {
    asked_.clear();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    control->setFocus();
    QTest::keyClick(control, Qt::Key_F9);
    EXPECT_EQ(asked_.size(), 1u) << "one run, one message: " << control->objectName().toStdString();
  }
}

// A call queued before a run happens at the run's first pause, after its set-up.
TEST_F(MainWindowTest, ASweepLocksWhatChangesTheProblemAndClosingStopsIt) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}, {"b", kLens}});
  app::TfmMain& w = Start();
  QAction later("a command added later");
  w.LockDuringSweep(&later);
  const auto enabled = [&](bool on) {
    for (QAction* a : {w.ActOpen(), w.ActCreate(), &later}) EXPECT_EQ(a->isEnabled(), on);
    for (QWidget* c : std::initializer_list<QWidget*>{w.NavInsert(), w.NavDelete()})
      EXPECT_EQ(c->isEnabled(), on);
  };
  QTimer::singleShot(0, &w, [&] {
    enabled(false);
    // The sheet, the range and the grid take no typing while the sweep works on them.
    w.memFunctions()->moveCursor(QTextCursor::End);
    QTest::keyClicks(w.memFunctions(), "GX = 0");
    QTest::keyClick(w.memFunctions(), Qt::Key_Return);
    for (QLineEdit* e : {w.DBEdit1(), w.DBEdit2(), w.DBEdit3(), w.DBEdit4(), w.DBEdit5()})
      QTest::keyClicks(e, "9");
    EXPECT_FALSE(w.dbcbY()->isEnabled());
    w.chbStep()->click();  // the step box would enable the list, but not under this sweep
    EXPECT_FALSE(w.StripeGrid1()->isEnabled());
    w.chbStep()->click();
    w.NavInsert()->click();
    w.ActOpen()->trigger();
  });
  w.sbRunClick();
  EXPECT_TRUE(asked_.empty()) << asked_.front().text;
  EXPECT_EQ(w.Results().State.LevelIndex, 4) << "the whole sweep";
  EXPECT_EQ(w.Table().State(), store::dsBrowse);
  EXPECT_TRUE(w.StripeGrid1()->isEnabled());
  enabled(true);
  EXPECT_EQ(w.memFunctions()->toPlainText(), QString(kLens));
  EXPECT_EQ(w.DBEdit1()->text(), "300");
  EXPECT_EQ(w.DBEdit3()->text(), "4");
  // Editable again once the run has ended.
  EXPECT_TRUE(w.dbcbY()->isEnabled());
  QTest::keyClicks(w.DBEdit3(), "0");
  EXPECT_EQ(w.DBEdit3()->text(), "40");
  w.NavCancel()->click();

  // A sweep ended by an error of the sheet unlocks them as well.
  w.memFunctions()->setPlainText("GL = 1/(T-500)\nGS = 0\n");
  w.sbRunClick();
  // The evaluator's text, then where it struck; the phase's line is marked.
  EXPECT_EQ(asked_.back().text, "Floating point division by zero\nPhase L at X = 0, T = 500");
  EXPECT_EQ(w.memFunctions()->extraSelections().size(), 1);
  EXPECT_EQ(w.memFunctions()->textCursor().blockNumber(), 0);
  enabled(true);
  // A line that does not compile: its place is named, the cursor stands on it, the line is
  // marked until the next edit.
  w.memFunctions()->setPlainText("GL = 0\n  GS = 1 + FOO\n");
  w.sbRunClick();
  EXPECT_EQ(asked_.back().text, "Line 2 (GS), column 12:\nError parsing expression:\r1\rFOO");
  EXPECT_EQ(w.memFunctions()->textCursor().blockNumber(), 1);
  EXPECT_EQ(w.memFunctions()->textCursor().positionInBlock(), 11);
  EXPECT_EQ(w.memFunctions()->extraSelections().size(), 1);
  QTest::keyClicks(w.memFunctions(), "1");
  EXPECT_TRUE(w.memFunctions()->extraSelections().isEmpty());
  w.memFunctions()->setPlainText("GL = 1/(T-500)\nGS = 0\n");

  // Closing stops the sweep at its next pause, then closes the window as usual.
  asked_.clear();
  int closed = 0;
  QObject::connect(&w, &app::TfmMain::Closed, [&] { ++closed; });
  w.memFunctions()->setPlainText(kLens);
  QTimer::singleShot(0, &w, [&] { w.close(); });
  w.sbRunClick();
  EXPECT_EQ(w.Results().State.LevelIndex, -1) << "no level after the close";
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(asked_.empty()) << asked_.front().text;
}

TEST_F(MainWindowTest, StepModeOverFourLevelsAndTheRestartQuestion) {
  MakeDatabase(dir_ / "Problems.d", {{"lens", kLens}});
  app::TfmMain& w = Start();
  w.chbStep()->click();
  EXPECT_TRUE(w.StripeGrid1()->isEnabled());
  for (int level = 0; level < 4; ++level) {
    SCOPED_TRACE(level);
    w.sbRunClick();
    EXPECT_EQ(w.Results().State.LevelIndex, level);
    EXPECT_TRUE(w.StripeGrid1()->isEnabled());
    EXPECT_EQ(w.sbDiagram()->isEnabled(), level == 3) << "the fourth command completes";
  }
  EXPECT_TRUE(asked_.empty());
  Answer(DialogButton::No);
  w.sbRunClick();
  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_EQ(asked_[0].text, "Restart the problem?");
  EXPECT_EQ(asked_[0].type, DialogType::Confirmation);
  EXPECT_EQ(asked_[0].buttons, (std::vector<DialogButton>{DialogButton::Yes, DialogButton::No}));
  EXPECT_EQ(w.Results().State.LevelIndex, 3);
  Answer(DialogButton::Yes);
  w.sbRunClick();
  EXPECT_EQ(asked_.size(), 2u);
  EXPECT_EQ(w.Results().State.LevelIndex, 0);
  EXPECT_EQ(w.Results().State.Y, 600) << "level 0 at 700 computed, 600 next";

  // Without step mode the list is disabled until a sweep completes.
  w.chbStep()->click();
  EXPECT_FALSE(w.StripeGrid1()->isEnabled());
  w.sbRunClick();
  EXPECT_TRUE(w.StripeGrid1()->isEnabled());
  EXPECT_EQ(w.Results().State.LevelIndex, 4);
}

TEST_F(MainWindowTest, OpenSavesThePreviousDatabaseOnlyWhenAsked) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}});
  MakeDatabase(dir_ / "second.d", {{"x", kLens}, {"y", kLens}});
  const std::string before = Bytes(dir_ / "Problems.d");
  app::TfmMain& w = Start();

  // Unchecked: the edit is lost and the file untouched.
  w.chbSave()->click();
  Type(w.DBEdit1(), "301");
  AnswerText((dir_ / "second.d").string());
  w.ActOpen()->trigger();
  EXPECT_EQ(Bytes(dir_ / "Problems.d"), before);
  EXPECT_EQ(w.windowTitle().toStdString(), "Database: " + (dir_ / "second.d").string());
  EXPECT_EQ(w.Table().RecordCount(), 2);
  EXPECT_FALSE(w.TableModified());

  // Checked, with a posted change: written before the switch.
  w.chbSave()->click();
  Type(w.DBEdit1(), "302");
  const std::string second = Bytes(dir_ / "second.d");
  AnswerText((dir_ / "Problems.d").string());
  w.ActOpen()->trigger();
  EXPECT_NE(Bytes(dir_ / "second.d"), second);
  EXPECT_EQ(w.DBEdit1()->text(), "300") << "Problems.d as it was";
  EXPECT_FALSE(w.TableModified());

  // Checked, a post refused: nothing switched.
  Type(w.DBEdit5(), "0");
  asked_.clear();
  AnswerText((dir_ / "second.d").string());
  w.ActOpen()->trigger();
  ASSERT_EQ(asked_.size(), 2u);
  EXPECT_EQ(asked_[1].text, "P, bar must have positive value");
  EXPECT_EQ(w.Table().State(), store::dsEdit);
  EXPECT_EQ(w.windowTitle().toStdString(), "Database: " + (dir_ / "Problems.d").string());
  w.NavCancel()->click();

  // A damaged file: its message, no table; a good one afterwards opens.
  std::ofstream(dir_ / "bad.d") << "not a table";
  asked_.clear();
  AnswerText((dir_ / "bad.d").string());
  w.ActOpen()->trigger();
  ASSERT_EQ(asked_.size(), 2u);
  EXPECT_EQ(asked_[1].text.rfind("Error opening table: ", 0), 0u) << asked_[1].text;
  EXPECT_FALSE(w.Table().Active());
  EXPECT_EQ(w.WorkingFileName(), (dir_ / "bad.d").string());
  AnswerText((dir_ / "second.d").string());
  w.ActOpen()->trigger();
  EXPECT_TRUE(w.Table().Active());
  EXPECT_EQ(w.Table().RecordCount(), 2);
}

TEST_F(MainWindowTest, CreateAsksAgainForAnExistingNameAndRefusesBlanks) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}});
  app::TfmMain& w = Start();
  AnswerText("Problems.d");
  Answer(DialogButton::OK);
  AnswerText("   ");
  w.ActCreate()->trigger();
  ASSERT_EQ(asked_.size(), 4u);
  EXPECT_EQ(asked_[0].kind, Kind::InputBox);
  EXPECT_EQ(asked_[0].caption, "Имя новой базы данных");
  EXPECT_EQ(asked_[0].text, "Введите имя файла с расширением .d");
  EXPECT_EQ(asked_[0].initial, ".d");
  EXPECT_EQ(asked_[1].text, "File Problems.d already exists");
  EXPECT_EQ(asked_[1].type, DialogType::Warning);
  EXPECT_EQ(asked_[2].initial, "Problems.d") << "asked again with the typed name";
  EXPECT_EQ(asked_[3].text, "File name must be assigned");
  EXPECT_EQ(w.Table().RecordCount(), 1);
  EXPECT_EQ(w.windowTitle(), "Database: Problems.d");
}

TEST_F(MainWindowTest, CreateMakesAnEmptyDatabaseWithTheSameFields) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}, {"b", kLens}});
  const std::string old = Bytes(dir_ / "Problems.d");
  app::TfmMain& w = Start();
  AnswerText("new.d");
  w.ActCreate()->trigger();
  EXPECT_EQ(asked_.size(), 1u);
  EXPECT_EQ(w.windowTitle(), "new.d");
  EXPECT_EQ(w.WorkingFileName(), "new.d");
  EXPECT_TRUE(w.Table().Active());
  EXPECT_EQ(w.Table().RecordCount(), 0);
  EXPECT_FALSE(w.TableModified());
  EXPECT_EQ(Bytes(dir_ / "Problems.d"), old) << "the previous database keeps its problems";

  // The new file: the previous header and field section, no record.
  auto le32 = [](const std::string& b, size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
  };
  const std::uint32_t sectionLength = le32(old, 13);
  std::string expected = old.substr(0, 17 + sectionLength);
  const std::uint32_t length = 17 + sectionLength;
  for (int i = 0; i < 4; ++i) {
    expected[static_cast<size_t>(i)] = static_cast<char>((length >> (8 * i)) & 0xFF);
    expected[static_cast<size_t>(5 + i)] = 0;
  }
  EXPECT_EQ(Bytes(dir_ / "new.d"), expected);

  // The proposed ".d" accepted as it is makes a file of that name.
  AnswerText(".d");
  w.ActCreate()->trigger();
  EXPECT_TRUE(fs::exists(dir_ / ".d"));
  EXPECT_EQ(w.windowTitle(), ".d");
}

TEST_F(MainWindowTest, ClosingWritesTheDatabaseAndTheExactSettingsText) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}});
  const std::string before = Bytes(dir_ / "Problems.d");
  app::TfmMain& w = Start();
  w.resize(700, 600);
  QApplication::processEvents();
  Type(w.DBEdit1(), "310");
  EXPECT_TRUE(w.close());
  EXPECT_TRUE(w.ShutDown());
  EXPECT_NE(Bytes(dir_ / "Problems.d"), before);
  const std::string expected = "[SETTINGS]\nTop=" + std::to_string(w.y()) +
                               "\nHeight=600\nLeft=" + std::to_string(w.x()) +
                               "\nWidth=700\nWorkingFileName=Problems.d\nMDcolor=12639424\n\n";
  EXPECT_EQ(Bytes(dir_ / "bin" / "Brelona.cfg"), expected);
  EXPECT_FALSE(fs::exists(dir_ / "Brelona.cfg")) << "the current folder had none";
}

TEST_F(MainWindowTest, ADatabaseAnotherInstanceSavedMeanwhileIsReplacedOnlyOnYes) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}});
  app::TfmMain& w = Start();
  Type(w.DBEdit1(), "310");
  // A second instance saves the same file meanwhile.
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}, {"from the other instance", kLens}});
  fs::last_write_time(dir_ / "Problems.d",
                      fs::last_write_time(dir_ / "Problems.d") + std::chrono::seconds(2));
  const std::string theirs = Bytes(dir_ / "Problems.d");
  Answer(DialogButton::No);
  EXPECT_TRUE(w.ShutDown());
  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_EQ(asked_[0].type, DialogType::Confirmation);
  EXPECT_NE(asked_[0].text.find("changed by another program"), std::string::npos);
  EXPECT_EQ(Bytes(dir_ / "Problems.d"), theirs);
  EXPECT_TRUE(fs::exists(dir_ / "bin" / "Brelona.cfg")) << "the settings are written all the same";
  Answer(DialogButton::Yes);
  EXPECT_TRUE(w.ShutDown());
  EXPECT_EQ(asked_.size(), 2u);
  EXPECT_NE(Bytes(dir_ / "Problems.d"), theirs);
  EXPECT_TRUE(w.ShutDown());
  EXPECT_EQ(asked_.size(), 2u) << "its own last save is no change by another program";
}

TEST_F(MainWindowTest, ClosingWithSaveUncheckedTouchesNothing) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}});
  const std::string before = Bytes(dir_ / "Problems.d");
  app::TfmMain& w = Start();
  Type(w.DBEdit1(), "310");
  w.Table().Post();
  w.chbSave()->click();
  EXPECT_TRUE(w.close());
  EXPECT_TRUE(w.ShutDown());
  EXPECT_EQ(Bytes(dir_ / "Problems.d"), before);
  EXPECT_FALSE(fs::exists(dir_ / "bin" / "Brelona.cfg"));
}

TEST_F(MainWindowTest, ARefusedPostAtTheEndKeepsTheWindowAndStopsTheSaves) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}});
  const std::string before = Bytes(dir_ / "Problems.d");
  app::TfmMain& w = Start();
  Type(w.DBEdit5(), "0");
  EXPECT_FALSE(w.close()) << "the window stays open for a correction";
  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_EQ(asked_[0].text, "P, bar must have positive value");
  EXPECT_TRUE(w.isVisible());
  // The shut-down itself, reached anyway: the warning again, and nothing saved.
  EXPECT_FALSE(w.ShutDown());
  EXPECT_EQ(asked_.size(), 2u);
  EXPECT_EQ(Bytes(dir_ / "Problems.d"), before);
  EXPECT_FALSE(fs::exists(dir_ / "bin" / "Brelona.cfg"));
}

TEST_F(MainWindowTest, AFailedSettingsWriteKeepsTheDatabaseSaveAndIsReportedOnce) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}});
  const std::string before = Bytes(dir_ / "Problems.d");
  fs::create_directories(dir_ / "bin" / "Brelona.cfg" / "in-the-way");
  app::TfmMain& w = Start();
  Type(w.DBEdit1(), "320");
  EXPECT_FALSE(w.ShutDown());
  EXPECT_NE(Bytes(dir_ / "Problems.d"), before) << "the database was saved first";
  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_EQ(asked_[0].type, DialogType::Warning);
  EXPECT_EQ(asked_[0].text.rfind("The settings could not be saved: ", 0), 0u);
  EXPECT_FALSE(w.ShutDown());
  EXPECT_EQ(asked_.size(), 1u) << "reported once";
}

TEST_F(MainWindowTest, LayoutCaptionsMenuAndMosaicColour) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}});
  app::TfmMain& w = Start();
  EXPECT_EQ(w.sbRun()->text(), QString::fromUtf8("Расчет (F9)"));
  EXPECT_EQ(w.chbStep()->text(), QString::fromUtf8("По шагам"));
  EXPECT_EQ(w.sbDiagram()->text(), QString::fromUtf8("Диаграмма"));
  EXPECT_EQ(w.sbEditChart()->text(), QString::fromUtf8("Ред. график"));
  EXPECT_EQ(w.sbSpecialPoints()->text(), QString::fromUtf8("Особые точки"));
  EXPECT_EQ(w.sbGrid()->text(), "&Grid");
  EXPECT_EQ(w.chbShowMosaic()->text(), QString::fromUtf8("Мозаичная диаграмма"));
  EXPECT_EQ(w.chbShowChart()->text(), QString::fromUtf8("Рабочая диаграмма"));
  EXPECT_EQ(w.chbSave()->text(), QString::fromUtf8("Сохранить"));
  EXPECT_EQ(w.chbSave()->toolTip(), "Save settings on close");
  EXPECT_EQ(w.btnClose()->text(), QString::fromUtf8("Закрыть"));
  // The designed captions, each with a mnemonic.
  EXPECT_EQ(w.MenuFile()->title(), QString::fromUtf8("&Файл"));
  EXPECT_EQ(w.ActOpen()->text(), QString::fromUtf8("&Открыть"));
  EXPECT_EQ(w.ActCreate()->text(), QString::fromUtf8("&Создать"));
  EXPECT_EQ(w.ActClose()->text(), QString::fromUtf8("&Закрыть"));
  EXPECT_EQ(w.ActMosaicColor()->text(), QString::fromUtf8("&Цвет мозаичной диаграммы"));
  EXPECT_EQ(w.ActAbout()->text(), QString::fromUtf8("&О программе..."));
  EXPECT_EQ(w.dbcbY()->itemText(0), "Temperature, K");
  EXPECT_EQ(w.dbcbY()->itemText(1), "Pressure, bar");
  EXPECT_EQ(w.StripeGrid1()->ZebraColor(), 12639424);
  EXPECT_TRUE(w.StripeGrid1()->Zebra());
  EXPECT_EQ(w.Chart1()->Look().title.text, "       G");
  EXPECT_EQ(w.Chart1()->Look().foot.text, "x");
  EXPECT_EQ(w.Chart1()->TitleAt(0), "Liquid");
  EXPECT_EQ(w.StatusPanel(0)->width(), 250);
  EXPECT_EQ(w.StatusPanel(1)->width(), 50);

  // The working chart and its edit button follow "Рабочая диаграмма".
  w.chbShowChart()->click();
  EXPECT_FALSE(w.Chart1()->isVisibleTo(&w));
  EXPECT_FALSE(w.sbEditChart()->isVisibleTo(&w));
  w.chbShowChart()->click();
  EXPECT_TRUE(w.Chart1()->isVisibleTo(&w));
  EXPECT_TRUE(w.sbEditChart()->isVisibleTo(&w));

  // Mosaic colour: the dialog starts from the current colour; Cancel changes nothing.
  answers_.push_back({DialogButton::OK, false, {}, 0});
  w.ActMosaicColor()->trigger();
  ASSERT_EQ(asked_.back().kind, Kind::Color);
  EXPECT_EQ(asked_.back().color, 12639424);
  EXPECT_EQ(w.MosaicColorValue(), 12639424);
  answers_.push_back({DialogButton::OK, true, {}, 255});
  w.ActMosaicColor()->trigger();
  EXPECT_EQ(w.MosaicColorValue(), 255);
  EXPECT_EQ(w.Settings().mosaic_color, 255u);
}

}  // namespace

namespace {

TEST_F(MainWindowTest, TabLeavesTheSheetAndTheListAndCtrlTabTypesATab) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}, {"b", kLens}});
  app::TfmMain& w = Start();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  EXPECT_FALSE(w.ActCellGrid()->isEnabled()) << "no cell grid before a sweep";
  w.memFunctions()->setFocus();
  w.memFunctions()->moveCursor(QTextCursor::End);
  QTest::keyClick(w.memFunctions(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_TRUE(w.memFunctions()->toPlainText().endsWith('\t'));
  EXPECT_TRUE(w.memFunctions()->hasFocus());
  const QString sheet = w.memFunctions()->toPlainText();
  QTest::keyClick(w.memFunctions(), Qt::Key_Tab);
  EXPECT_FALSE(w.memFunctions()->hasFocus());
  EXPECT_EQ(w.memFunctions()->toPlainText(), sheet);

  w.StripeGrid1()->setFocus();
  const QModelIndex current = w.StripeGrid1()->currentIndex();
  QTest::keyClick(w.StripeGrid1(), Qt::Key_Tab);
  EXPECT_FALSE(w.StripeGrid1()->hasFocus());
  EXPECT_EQ(w.StripeGrid1()->currentIndex(), current);
}

// Live mode: an edit of the sheet is computed on a coarser grid first, then on the whole grid,
// with no box shown; a sheet with an error keeps the diagram, marked stale, and marks its line;
// the zoom stays.
TEST_F(MainWindowTest, LiveModeFollowsTheSheet) {
  Problem lens{"lens", kLens};
  lens.xpoints = 300;
  lens.ypoints = 250;
  MakeDatabase(dir_ / "Problems.d", {lens});
  app::TfmMain& w = Start();
  auto windows = std::make_unique<app::TViewsWindows>(w, QString());
  w.SetResultWindows(windows.get());
  views::TfmDiagram2& diagram = windows->fmDiagram2();
  const auto notices = [&] { return diagram.Overlay()->Layers().notices.join('|'); };

  w.chbLive()->setChecked(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.LivePreviews() == 1; }, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.Results().Cells().RowCount() == 252; }, 10000));
  EXPECT_FALSE(w.Engine().Running());
  EXPECT_TRUE(diagram.isVisible());
  diagram.Chart1()->ZoomToRange(QRectF(QPointF(0.2, 520), QPointF(0.6, 580)));
  ASSERT_TRUE(diagram.Chart1()->IsZoomed());

  // The solid melts 20 K lower: the preview comes with the sheet, the zoom stays.
  w.memFunctions()->setPlainText(QString(kLens).replace("6000", "5800"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.LivePreviews() == 2; }, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.Results().Cells().RowCount() == 252; }, 10000));
  EXPECT_TRUE(diagram.Chart1()->IsZoomed());
  EXPECT_NEAR(diagram.Chart1()->ShownRange().left(), 0.2, 1e-6);

  // A typing error: the diagram stays as it was, marked; no box.
  const int rows = w.Results().Cells().RowCount();
  w.memFunctions()->setPlainText(QString(kLens).replace("(1-X)*", "(1-X*"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return notices().contains("Stale"); }, 5000));
  EXPECT_TRUE(notices().contains("Line 2")) << notices().toStdString();
  EXPECT_FALSE(w.memFunctions()->extraSelections().isEmpty()) << "the line is marked";
  EXPECT_EQ(w.Results().Cells().RowCount(), rows);
  EXPECT_TRUE(asked_.empty()) << asked_.front().text;

  // Mended, the note goes.
  w.memFunctions()->setPlainText(kLens);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !notices().contains("Stale"); }, 5000));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !w.Engine().Running() && w.Results().Cells().RowCount() == 252; }, 10000));

  // Turned off during a preview: the preview ends and no whole grid follows.
  QTimer off;
  QObject::connect(&off, &QTimer::timeout, [&] {
    if (w.Engine().Running()) w.chbLive()->setChecked(false);
  });
  off.start(1);
  const int previews = w.LivePreviews();
  w.memFunctions()->setPlainText(QString(kLens).replace("6000", "5900"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.chbLive()->isChecked(); }, 5000));
  QTest::qWait(300);
  EXPECT_FALSE(w.Engine().Running());
  EXPECT_EQ(w.LivePreviews(), previews + 1);
  EXPECT_EQ(w.Results().Cells().RowCount(), 202) << "the preview's levels";
}

// A live preview that is the whole run (no refinement, a grid within the preview's) draws the
// working chart itself: no whole grid follows to draw it.
TEST_F(MainWindowTest, ALivePreviewThatIsTheWholeRunDrawsTheWorkingChart) {
  MakeDatabase(dir_ / "Problems.d", {{"lens", kLens}});
  app::TfmMain& w = Start();
  w.chbRefine()->setChecked(false);
  w.chbLive()->setChecked(true);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w.LivePreviews() == 1 && !w.Engine().Running(); }, 5000));
  EXPECT_EQ(w.Chart1()->PointsAt(0).size(), 21) << "the liquid at the last level's 21 X";
}

// A live preview takes at most 200 x 200 points; a problem whose last sweep was slow gets a
// grid coarser alike both ways to fit the preview's time, but not below the least, which is
// also the grid of a problem not measured yet.
TEST(LivePreviewGrid, FitsThePreviewsTimeByTheLastSweep) {
  using app::TfmMain;
  EXPECT_EQ(TfmMain::LivePreviewGrid(300, 250, 0), std::make_pair(20, 20)) << "not measured";
  EXPECT_EQ(TfmMain::LivePreviewGrid(300, 250, 1e-9), std::make_pair(200, 200));
  EXPECT_EQ(TfmMain::LivePreviewGrid(100, 130, 1e-7), std::make_pair(100, 130));
  const double perPoint = 2e-5;  // a second at 200 x 200
  const auto [x, y] = TfmMain::LivePreviewGrid(400, 300, perPoint);
  EXPECT_EQ(x, y);
  EXPECT_LE(perPoint * (x + 1) * (y + 1), TfmMain::kLivePreviewSeconds);
  EXPECT_GT(perPoint * (x + 2) * (y + 2), TfmMain::kLivePreviewSeconds) << "not coarser";
  EXPECT_EQ(TfmMain::LivePreviewGrid(100, 10, 1), std::make_pair(20, 10)) << "the least";
}

TEST_F(MainWindowTest, ResultWindowsFollowTheRunAndTheChartFileIsSavedFirst) {
  Problem mosaic{"with mosaic", kLens};
  mosaic.mosaic = true;
  MakeDatabase(dir_ / "Problems.d", {mosaic, {"without mosaic", kLens}});
  app::TfmMain& w = Start();
  const QString chartFile = QString::fromStdString((dir_ / "Chart.cfg").string());
  auto windows = std::make_unique<app::TViewsWindows>(w, chartFile);
  w.SetResultWindows(windows.get());

  w.sbRunClick();
  EXPECT_TRUE(asked_.empty()) << (asked_.empty() ? "" : asked_.front().text);
  EXPECT_TRUE(windows->fmMDiagram().isVisible());
  // Each names the problem and itself (the three shared one title); the plot's heading is the
  // problem's name alone.
  EXPECT_EQ(windows->fmMDiagram().windowTitle(), "with mosaic — Mosaic diagram");
  EXPECT_EQ(windows->fmDiagram2().windowTitle(), "with mosaic — Diagram");
  EXPECT_EQ(windows->fmCells().windowTitle(), "with mosaic — Grid representation");
  EXPECT_EQ(windows->fmDiagram2().Overlay()->Heading(), "with mosaic");
  EXPECT_TRUE(windows->fmDiagram2().isVisible()) << "the diagram is shown at the end";
  EXPECT_GT(windows->fmDiagram2().Chart1()->SeriesCount(), 1);
  EXPECT_FALSE(windows->fmSpecPoints().isVisible());

  // The special points window, once open, is rebuilt by the next run; a problem without the
  // mosaic hides that window.
  w.sbSpecialPoints()->click();
  EXPECT_TRUE(windows->fmSpecPoints().isVisible());
  w.StripeGrid1()->setCurrentIndex(w.StripeGrid1()->model()->index(1, 0));
  QApplication::processEvents();
  ASSERT_EQ(w.Table().FieldByName("ProblemName").AsString(), "without mosaic");
  w.sbRunClick();
  EXPECT_FALSE(windows->fmMDiagram().isVisible());
  EXPECT_EQ(windows->fmDiagram2().windowTitle(), "without mosaic — Diagram");
  EXPECT_TRUE(windows->fmSpecPoints().isVisible());

  // The hidden grid command shows the cell grid with wide cells, and so does the menu.
  w.sbGrid()->click();
  EXPECT_TRUE(windows->fmCells().isVisible());
  EXPECT_FALSE(windows->fmCells().chbNarrowCells()->isChecked());
  windows->fmCells().hide();
  w.ActCellGrid()->trigger();
  EXPECT_TRUE(windows->fmCells().isVisible());

  // Shut-down: the result windows go first, the diagram saving its chart file, then the main
  // window saves the database and the settings.
  w.SetResultWindows(nullptr);
  windows.reset();
  EXPECT_TRUE(fs::exists(dir_ / "Chart.cfg"));
  EXPECT_FALSE(fs::exists(dir_ / "bin" / "Brelona.cfg"));
  EXPECT_TRUE(w.ShutDown());
  EXPECT_TRUE(fs::exists(dir_ / "bin" / "Brelona.cfg"));
}

// The status line kept the level it last wrote on the way (every tenth) after a run ended or
// failed; it says where the run ended and whether the sweep reached Ymin.
TEST_F(MainWindowTest, TheStatusLineSaysWhereTheRunEnded) {
  Problem lens{"lens", kLens};
  lens.ypoints = 40;  // the last level written on the way is 310 K
  MakeDatabase(dir_ / "Problems.d", {lens, {"pole", "GL=1/(T-500)\nGS=0"}});
  app::TfmMain& w = Start();
  w.sbRunClick();
  EXPECT_EQ(w.StatusPanel(0)->text(), QStringLiteral("Temperature, K = 300"));
  EXPECT_EQ(w.StatusPanel(1)->text(), QStringLiteral("done"));
  w.StripeGrid1()->setCurrentIndex(w.StripeGrid1()->model()->index(1, 0));
  QApplication::processEvents();
  ASSERT_EQ(w.Table().FieldByName("ProblemName").AsString(), "pole");
  w.sbRunClick();  // a division by zero at 500 K ends it: 600 K was the last level computed
  EXPECT_EQ(w.StatusPanel(0)->text(), QStringLiteral("Temperature, K = 600"));
  EXPECT_EQ(w.StatusPanel(1)->text(), QStringLiteral("stopped"));
}

// The levels are computed off the window's thread: the window answers its timers during a long
// run, the Run button reads "Stop", and Esc stops the sweep within a level, keeping the levels
// computed. The button stops it as well, and Run afterwards starts a new sweep.
TEST_F(MainWindowTest, ALongRunStaysLiveAndStopsWithEscOrTheButton) {
  Problem big{"big", kLens};
  big.xpoints = 3000;
  big.ypoints = 3000;
  MakeDatabase(dir_ / "Problems.d", {big});
  app::TfmMain& w = Start();
  for (const bool esc : {true, false}) {
    SCOPED_TRACE(esc ? "Esc" : "button");
    int ticks = 0;
    QString during;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &w, [&] {
      if (++ticks == 20) {
        during = w.sbRun()->text();
        if (esc) {
          QTest::keyClick(&w, Qt::Key_Escape);
        } else {
          w.sbRun()->click();
        }
      }
    });
    timer.start(5);
    w.sbRunClick();
    timer.stop();
    EXPECT_GE(ticks, 20);
    EXPECT_EQ(during, QString::fromUtf8("Стоп (Esc)"));
    EXPECT_EQ(w.sbRun()->text(), QString::fromUtf8("Расчет (F9)"));
    EXPECT_EQ(w.StatusPanel(1)->text(), QStringLiteral("stopped"));
    const calc::Results& r = w.Results();
    EXPECT_GE(r.State.LevelIndex, 0);
    EXPECT_LT(r.State.LevelIndex, 3000) << "stopped long before the end";
    EXPECT_EQ(r.Cells().RowCount(), r.State.LevelIndex + 2) << "the levels computed are kept";
    EXPECT_TRUE(asked_.empty()) << asked_.front().text;
  }
}

// The list's editor took any length of name, which the table's 80-character field then cut
// without a word; it takes no more than the field holds.
TEST_F(MainWindowTest, TheNameEditorTakesWhatTheFieldHolds) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}});
  app::TfmMain& w = Start();
  w.StripeGrid1()->edit(w.StripeGrid1()->model()->index(0, 0));
  auto* editor = w.StripeGrid1()->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->maxLength(), 80);
}

// The equilibrium panel showed the last problem's equilibrium after another problem was run.
TEST_F(MainWindowTest, TheEquilibriumPanelForgetsAnotherProblemsPoint) {
  const char* eutectic = "GL=(1-X)*10*(1000-T)+X*10*(800-T)-T*Sid\nGS=20000*X*(1-X)-T*Sid";
  MakeDatabase(dir_ / "Problems.d", {{"a lens", kLens}, {"b eutectic", eutectic}});
  app::TfmMain& w = Start();
  app::TViewsWindows windows(w, QString());
  w.SetResultWindows(&windows);
  w.sbRunClick();
  windows.Inspect(0.5, 500);
  ASSERT_FALSE(windows.Equilibrium()->Current().Phases.empty());
  w.sbRunClick();  // the same problem again: its point stays
  EXPECT_FALSE(windows.Equilibrium()->Current().Phases.empty());
  w.StripeGrid1()->setCurrentIndex(w.StripeGrid1()->model()->index(1, 0));
  QApplication::processEvents();
  w.sbRunClick();
  EXPECT_TRUE(windows.Equilibrium()->Current().Phases.empty());
  EXPECT_TRUE(windows.Equilibrium()->Summary()->text().contains(QStringLiteral("b eutectic")));
  w.SetResultWindows(nullptr);
}

// Temperatures in °C (the diagram's look) reach every table of the run and the equilibrium
// panel, and follow the unit when it is changed afterwards; they stayed in K beside the axis.
TEST_F(MainWindowTest, CelsiusReachesTheSpecialPointsAndTheEquilibriumPanel) {
  const char* eutectic = "GL=(1-X)*10*(1000-T)+X*10*(800-T)-T*Sid\nGS=20000*X*(1-X)-T*Sid";
  MakeDatabase(dir_ / "Problems.d",
               {{"e", eutectic, "Temperature, K", 400, 1100, "P, bar", 1, 20, 70}});
  app::TfmMain& w = Start();
  app::TViewsWindows windows(w, QString());
  w.SetResultWindows(&windows);
  views::DiagramLook look = windows.fmDiagram2().GetDiagramLook();
  look.celsius = true;
  windows.fmDiagram2().SetDiagramLook(look);
  w.sbRunClick();
  w.sbSpecialPoints()->click();
  views::TfmSpecPoints& sp = windows.fmSpecPoints();
  const calc::Results& r = w.Results();
  ASSERT_EQ(r.Nodes.size(), 1u);
  ASSERT_FALSE(r.MemoLines.empty());
  ASSERT_TRUE(r.Refined.Ran);
  const auto shownY = [](const QString& text) { return text.trimmed().toDouble(); };
  EXPECT_EQ(sp.Cell(0, 0), QStringLiteral(" T, °C"));
  EXPECT_NEAR(shownY(sp.Cell(0, 1)), r.Nodes[0].Y - 273.15, 1e-3);
  EXPECT_EQ(sp.InvariantsTable()->horizontalHeaderItem(2)->text(), QStringLiteral("T, °C"));
  EXPECT_NEAR(shownY(sp.InvariantsTable()->item(0, 2)->text()), r.Refined.Invariants[0].Y - 273.15,
              1e-3);
  // "T(X = 0) = 990 K" of the finder (the first level below the melting point) is shown in °C.
  const QString memo = sp.Memo1()->toPlainText();
  EXPECT_TRUE(memo.startsWith(QStringLiteral("T(X = 0) = 716.85 °C\nT(X = 1) = 516.85 °C")))
      << memo.toStdString();
  EXPECT_FALSE(memo.contains(QStringLiteral(" K"))) << memo.toStdString();
  windows.Inspect(0.5, 500);
  EXPECT_TRUE(windows.Equilibrium()->Summary()->text().startsWith(QStringLiteral("T = 226.85 °C")))
      << windows.Equilibrium()->Summary()->text().toStdString();

  // Back to K: the tables, the memo and the panel follow at once.
  look.celsius = false;
  windows.fmDiagram2().SetDiagramLook(look);
  EXPECT_EQ(sp.Cell(0, 0), QStringLiteral(" T, K"));
  EXPECT_NEAR(shownY(sp.Cell(0, 1)), r.Nodes[0].Y, 1e-3);
  EXPECT_EQ(sp.Memo1()->toPlainText().toStdString(), r.MemoLines[0] + "\n" + r.MemoLines[1]);
  EXPECT_EQ(sp.PointsTable()->horizontalHeaderItem(3)->text(), QStringLiteral("T, K"));
  EXPECT_TRUE(windows.Equilibrium()->Summary()->text().startsWith(QStringLiteral("T = 500.00 K")));
  w.SetResultWindows(nullptr);
}

// A chart file with one setting the chart cannot draw: said at start-up, naming the setting;
// the others (here the °C) are used, and the file as it was is kept beside the one saved.
TEST_F(MainWindowTest, AChartFileWithABadSettingIsReportedAndKept) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}});
  views::ChartFile file{views::TfmDiagram2::DesignedLook(), {}, views::DesignedDiagramLook()};
  file.look.bottom.labelFormat = QStringLiteral("%.99999f");
  file.diagram->celsius = true;
  const QByteArray bytes = views::ChartFileToJson(file);
  std::ofstream(dir_ / "Chart.cfg", std::ios::binary) << bytes.toStdString();
  app::TfmMain& w = Start();
  auto windows = std::make_unique<app::TViewsWindows>(
      w, QString::fromStdString((dir_ / "Chart.cfg").string()));
  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_EQ(asked_[0].type, DialogType::Warning);
  EXPECT_NE(asked_[0].text.find("bottomAxis: \"labelFormat\" has a precision above 17"),
            std::string::npos)
      << asked_[0].text;
  EXPECT_TRUE(windows->fmDiagram2().GetDiagramLook().celsius);
  windows.reset();
  EXPECT_EQ(Bytes(dir_ / "Chart.cfg.bak"), bytes.toStdString());
  EXPECT_NE(Bytes(dir_ / "Chart.cfg"), bytes.toStdString());
}

}  // namespace

namespace {

std::vector<QPointF> Points(app::TWorkingChart& c, int i) {
  const QList<QPointF> p = c.SeriesAt(i)->points();
  return std::vector<QPointF>(p.begin(), p.end());
}

TEST(WorkingChart, SeriesOfALevelAreDrawnTogetherAndAtAMeasuredPace) {
  app::TWorkingChart chart;
  EXPECT_EQ(chart.SeriesCount(), 3) << "the designed Liquid, Solid and Convex";
  chart.RebuildSeries({"L", "S", "Convex"});
  ASSERT_EQ(chart.SeriesCount(), 3);
  EXPECT_EQ(chart.TitleAt(0), "L");
  EXPECT_EQ(chart.SeriesLookAt(2).penStyle, Qt::DotLine);
  EXPECT_EQ(chart.SeriesLookAt(2).colour, QColor(Qt::red));
  EXPECT_EQ(chart.SeriesLookAt(0).colour, app::ColorFromValue(16744448));

  // The first level is drawn once its last series arrives.
  chart.ClearSeries();
  chart.SetSeriesPoints(0, {{0, 1}, {1, 2}});
  chart.SetSeriesPoints(1, {{0, 3}});
  EXPECT_TRUE(Points(chart, 0).empty()) << "nothing drawn in the middle of a level";
  chart.SetSeriesPoints(2, {{0, 1}, {1, 3}});
  EXPECT_EQ(Points(chart, 0), (std::vector<QPointF>{{0, 1}, {1, 2}}));
  EXPECT_FALSE(chart.HasPendingSeries());

  // The next level comes too soon: emptying the series shows nothing yet, the new series wait
  // for the timer or a flush.
  chart.ClearSeries();
  EXPECT_EQ(Points(chart, 1), (std::vector<QPointF>{{0, 3}}));
  chart.SetSeriesPoints(0, {{0, 5}});
  chart.SetSeriesPoints(1, {});
  chart.SetSeriesPoints(2, {{0, 5}});
  EXPECT_TRUE(chart.HasPendingSeries());
  EXPECT_EQ(Points(chart, 0), (std::vector<QPointF>{{0, 1}, {1, 2}}));
  QTest::qWait(3 * app::TWorkingChart::kRedrawInterval);
  EXPECT_FALSE(chart.HasPendingSeries());
  EXPECT_EQ(Points(chart, 0), (std::vector<QPointF>{{0, 5}}));
  EXPECT_TRUE(Points(chart, 1).empty());

  // An index out of range is ignored.
  chart.SetSeriesPoints(7, {{0, 0}});
  chart.Flush();
  EXPECT_EQ(chart.SeriesCount(), 3);
}

// During a sweep a long series is drawn with the points that look the same on the plot: far
// fewer, the same ends, the same lowest and highest; afterwards with all of them.
TEST(WorkingChart, LongSeriesAreThinnedDuringASweep) {
  app::TWorkingChart chart;
  chart.resize(600, 200);
  chart.RebuildSeries({"L", "Convex"});
  std::vector<calc::ChartPoint> wave;
  for (int k = 0; k <= 3000; ++k) wave.push_back({k / 3000.0, std::sin(k / 40.0) * 1000});
  chart.SetThinned(true);
  chart.ClearSeries();
  chart.SetSeriesPoints(0, wave);
  chart.SetSeriesPoints(1, {{0, 0}, {1, 1}});
  chart.Flush();
  const auto thin = Points(chart, 0);
  EXPECT_LT(thin.size(), 2000u);
  EXPECT_EQ(thin.front(), QPointF(0, 0));
  EXPECT_EQ(thin.back(), QPointF(1, wave.back().g));
  const auto y = [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); };
  const auto g = [](const calc::ChartPoint& a, const calc::ChartPoint& b) { return a.g < b.g; };
  EXPECT_EQ(std::min_element(thin.begin(), thin.end(), y)->y(),
            std::min_element(wave.begin(), wave.end(), g)->g);
  EXPECT_EQ(std::max_element(thin.begin(), thin.end(), y)->y(),
            std::max_element(wave.begin(), wave.end(), g)->g);
  EXPECT_EQ(Points(chart, 1).size(), 2u);
  chart.SetThinned(false);
  chart.Flush();
  EXPECT_EQ(Points(chart, 0).size(), wave.size());
}

TEST_F(MainWindowTest, AfterARunTheWorkingChartShowsTheLastLevel) {
  MakeDatabase(dir_ / "Problems.d", {{"lens", kLens}});
  app::TfmMain& w = Start();
  w.sbRunClick();
  const calc::Results& r = w.Results();
  ASSERT_EQ(w.Chart1()->SeriesCount(), static_cast<int>(r.ChartSeries.size()));
  for (int i = 0; i < w.Chart1()->SeriesCount(); ++i) {
    SCOPED_TRACE(i);
    const auto& expected = r.ChartSeries[static_cast<size_t>(i)];
    const auto shown = Points(*w.Chart1(), i);
    ASSERT_EQ(shown.size(), expected.size());
    for (size_t k = 0; k < shown.size(); ++k) {
      EXPECT_EQ(shown[k].x(), expected[k].x);
      EXPECT_EQ(shown[k].y(), expected[k].g);
    }
  }
  EXPECT_FALSE(w.Chart1()->HasPendingSeries());
}

}  // namespace

namespace {

TEST_F(MainWindowTest, EditChartAndAboutOpenTheirModalDialogs) {
  MakeDatabase(dir_ / "Problems.d", {{"a", kLens}});
  app::TfmMain& w = Start();
  struct Case {
    const char* name;
    std::function<void()> open;
    const char* dialog;
  };
  const Case cases[] = {
      {"Ред. график", [&] { w.sbEditChart()->click(); }, "views::ChartEditor"},
      {"О программе...", [&] { w.ActAbout()->trigger(); }, "app::TfmAbout"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QString seen;
    QTimer::singleShot(50, [&seen] {
      if (QWidget* m = QApplication::activeModalWidget()) {
        seen = m->metaObject()->className();
        if (auto* d = qobject_cast<QDialog*>(m)) d->reject();
      }
    });
    c.open();
    EXPECT_EQ(seen, c.dialog);
  }
  EXPECT_TRUE(asked_.empty());
}

TEST_F(MainWindowTest, ExactValuesFollowTheCheckBoxOnByDefault) {
  MakeDatabase(dir_ / "Problems.d", {{"lens", kLens}});
  app::TfmMain& w = Start();
  ASSERT_TRUE(w.chbRefine()->isChecked());
  w.sbRunClick();
  EXPECT_TRUE(w.Results().Refined.Ran);
  EXPECT_FALSE(w.Results().Refined.Transitions.empty());
  w.chbRefine()->click();
  w.sbRunClick();
  EXPECT_FALSE(w.Results().Refined.Ran);
  EXPECT_TRUE(w.Results().Refined.Transitions.empty());
}

}  // namespace
