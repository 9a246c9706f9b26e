// Live mode through the main window, built also under ThreadSanitizer (scripts/test): edits
// arrive while previews and whole grids compute on the worker thread, live mode is turned off
// and on during a run, and the window is closed during a run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/views_windows.h"
#include "problem/problem_table.h"
#include "store/memtable.h"

namespace fs = std::filesystem;

namespace {

// A lens: A melts at 500 K, B at 600 K (the 6000 is edited).
const QString kLens = QStringLiteral(
    "GL = -T*Sid\n"
    "GS = (1-X)*(10*T-5000) + X*(10*T-6000) - T*Sid\n");

TEST(LiveThreads, EditsTogglesAndACloseDuringTheRuns) {
  const fs::path dir =
      fs::temp_directory_path() / ("brelona-live-threads-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path oldCwd = fs::current_path();
  fs::current_path(dir);
  {
    store::TMemTable t;
    t.FieldDefs() = problem::ProblemFieldDefs();
    t.Open();
    t.Insert();
    t.FieldByName("ProblemName").SetAsString("lens");
    t.FieldByName("Functs").SetAsString(kLens.toStdString());
    t.FieldByName("Yparameter").SetAsString("Temperature, K");
    t.FieldByName("Ymin").SetAsFloat(300);
    t.FieldByName("Ymax").SetAsFloat(700);
    t.FieldByName("Zparameter").SetAsString("P, bar");
    t.FieldByName("Zvalue").SetAsFloat(1);
    t.FieldByName("XPoints").SetAsInteger(300);
    t.FieldByName("YPoints").SetAsInteger(250);
    t.FieldByName("ShowChart").SetAsBoolean(true);
    t.Post();
    t.SaveToFile((dir / "Problems.d").string());
  }
  int asked = 0;
  app::TDialogs::SetTestHook([&](const app::DialogRequest&) {
    ++asked;
    return app::DialogAnswer{calc::DialogButton::OK, false, {}, 0};
  });
  app::TMainOptions o;
  o.settingsWriteFolder = QString::fromStdString(dir.string());
  o.userConfigFolder = QString::fromStdString((dir / "config").string());
  auto w = std::make_unique<app::TfmMain>(o);
  w->StartUp();
  auto windows = std::make_unique<app::TViewsWindows>(*w, QString());
  w->SetResultWindows(windows.get());
  w->show();
  bool closed = false;
  QObject::connect(w.get(), &app::TfmMain::Closed, [&] { closed = true; });
  const auto idle = [&] { return !w->Engine().Running(); };
  const auto sheet = [](int melting) {
    return QString(kLens).replace("6000", QString::number(melting * 10));
  };

  // The edits come from a timer, so that they also land inside the runs (whose event loops
  // handle them). A step is tried every few ms until it says it is done.
  std::deque<std::function<bool()>> steps;
  QTimer script;
  QObject::connect(&script, &QTimer::timeout, [&] {
    if (!steps.empty() && steps.front()()) steps.pop_front();
  });
  script.start(4);
  const auto pause = [&](int ticks) {
    steps.push_back([ticks, left = ticks]() mutable { return --left <= 0; });
  };
  const auto edit = [&](int melting) {
    steps.push_back([&, melting] {
      w->memFunctions()->setPlainText(sheet(melting));
      return true;
    });
  };
  const auto whenRunning = [&](std::function<void()> act) {
    steps.push_back([&, act] {
      if (!w->Engine().Running()) return false;
      act();
      return true;
    });
  };

  // Edits faster and slower than the pause live mode waits for, some landing in a preview,
  // some in a whole grid; live mode off and on again during a run.
  w->chbLive()->setChecked(true);
  for (int k = 0; k < 12; ++k) {
    edit(590 - k);
    pause(k % 3 == 0 ? 1 : 6 * (k % 4 + 1));
    if (k == 6) {
      whenRunning([&] { w->chbLive()->setChecked(false); });
      pause(3);
      steps.push_back([&] {
        w->chbLive()->setChecked(true);
        return true;
      });
    }
  }
  // The diagram ends on the last edit, on the whole grid.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return steps.empty() && idle() && w->Results().Cells().RowCount() == 252; }, 60000));
  EXPECT_EQ(w->Engine().Problem().Functs, sheet(579).toStdString());
  EXPECT_EQ(asked, 0);

  // Closed during a run (the preview or the whole grid): the run stops, the window closes.
  edit(570);
  whenRunning([&] { w->close(); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return closed; }, 30000));
  EXPECT_TRUE(steps.empty());
  EXPECT_TRUE(idle());
  script.stop();

  windows.reset();
  w.reset();
  app::TDialogs::SetTestHook(nullptr);
  fs::current_path(oldCwd);
  fs::remove_all(dir);
}

}  // namespace
