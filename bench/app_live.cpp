// Live mode: the time from an edit of the sheet to its preview's diagram painted, for every
// problem of a database (the bundled samples by default). The edit is a line break typed at the
// sheet's end and taken away again; the time includes the pause live mode waits for after the
// last keystroke (TfmMain::kLiveDebounce). Before the edits live mode is turned on once for the
// problem (a preview and the whole grid), as a user would, so the preview's grid is chosen by
// the speed measured then. Also counted: the time to the whole grid's end, the last preview's
// grid, and the time to the preview of an edit that comes late in the whole grid (at 80 % of its
// time, where a refinement runs), the slowest of three.
//
//   bench_app_live [DB.d] [--benchmark_filter=NAME]
//
// Runs with QT_QPA_PLATFORM=offscreen unless another platform is set (xvfb-run for a real
// display's painting).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/views_windows.h"
#include "views/chart_view.h"
#include "views/diagram_window.h"

namespace {

app::TfmMain* window = nullptr;
app::TViewsWindows* windows = nullptr;

// Notes when the diagram is first painted after a preview more than `previews` was built.
class PreviewWatch : public QObject {
 public:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint && o == diagram && shownAt < 0 &&
        window->LivePreviews() > previews)
      shownAt = clock.nsecsElapsed();
    return false;
  }
  QObject* diagram = nullptr;
  QElapsedTimer clock;
  int previews = 0;
  qint64 shownAt = -1;
};

// Handles events until `done` or the deadline; false when the deadline came first.
template <class Done>
bool WaitFor(Done done, int ms) {
  QElapsedTimer t;
  t.start();
  QTimer beat;  // wakes the wait now and then; it sleeps between events
  beat.start(50);
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

bool Idle() {
  return !window->Engine().Running();
}

// Makes `name` the current problem with live mode off, then turns it on and lets the first
// live runs (preview and whole grid) end.
bool Select(const std::string& name) {
  window->chbLive()->setChecked(false);
  if (!WaitFor([] { return !window->Engine().Running(); }, 120000)) return false;
  store::TMemTable& t = window->Table();
  t.Post();
  t.First();
  while (!t.Eof() && t.FieldByName("ProblemName").AsString() != name) t.Next();
  if (t.Eof()) return false;
  QApplication::processEvents();
  const int before = window->LivePreviews();
  window->chbLive()->setChecked(true);
  return WaitFor([&] { return window->LivePreviews() > before && Idle(); }, 120000);
}

void LiveEdit(benchmark::State& state, const std::string& name) {
  if (!Select(name)) {
    state.SkipWithError("the problem does not run in live mode");
    return;
  }
  PreviewWatch watch;
  watch.diagram = windows->fmDiagram2().Chart1()->viewport();
  qApp->installEventFilter(&watch);
  bool typed = false;
  // A line break typed at the sheet's end, or taken away again; the watch starts.
  const auto type = [&] {
    watch.previews = window->LivePreviews();
    watch.shownAt = -1;
    watch.clock.start();
    QTextCursor c(window->memFunctions()->document());
    c.movePosition(QTextCursor::End);
    if (typed) {
      c.deletePreviousChar();
    } else {
      c.insertText("\n");
    }
    typed = !typed;
  };
  const auto shown = [&] { return window->LivePreviews() > watch.previews && watch.shownAt >= 0; };
  double whole = 0;
  for (auto _ : state) {
    type();
    const bool ended = WaitFor([&] { return shown() && Idle(); }, 120000);
    const qint64 end = watch.clock.nsecsElapsed();
    if (!ended) {
      state.SkipWithError("no preview was shown");
      break;
    }
    state.SetIterationTime(static_cast<double>(watch.shownAt) / 1e9);
    whole += static_cast<double>(end) / 1e6;
  }
  whole /= std::max<double>(1, static_cast<double>(state.iterations()));
  // Edits that come late in the whole grid, where its refinement runs: the slowest of three
  // from the edit to the preview.
  // A keystroke's time counts from when it was typed: a timer that comes late (the window's
  // thread busy) adds its delay.
  double late = 0;
  for (int k = 0; k < 3 && !state.error_occurred(); ++k) {
    bool again = false;
    double delay = 0;
    const double due = 0.8 * whole;
    QElapsedTimer first;
    first.start();
    type();
    // A timer's, so that it comes inside the run (whose event loop handles it).
    QTimer::singleShot(static_cast<int>(due), Qt::PreciseTimer, [&] {
      delay = std::max(0.0, static_cast<double>(first.nsecsElapsed()) / 1e6 - due);
      type();
      again = true;
    });
    if (!WaitFor([&] { return again && shown(); }, 120000)) break;
    late = std::max(late, delay + static_cast<double>(watch.shownAt) / 1e6);
    WaitFor(Idle, 120000);
  }
  qApp->removeEventFilter(&watch);
  if (typed) {
    QTextCursor c(window->memFunctions()->document());
    c.movePosition(QTextCursor::End);
    c.deletePreviousChar();
  }
  // The grid of the last preview, of the problem's own grid or cut down to the preview's time.
  const store::TMemTable& t = window->Table();
  const auto [x, y] = window->LivePreviewGridUsed();
  state.counters["preview_x"] = std::min(t.FieldByName("XPoints").AsInteger(), x);
  state.counters["preview_y"] = std::min(t.FieldByName("YPoints").AsInteger(), y);
  state.counters["whole_ms"] = whole;
  state.counters["late_ms"] = late;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  const QString source = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QStringLiteral(BRELONA_SOURCE_DIR "/data/Problems.d");

  // A copy of the database, so that nothing typed here reaches the original.
  QTemporaryDir work;
  QDir::setCurrent(work.path());
  const QString db = work.filePath("Problems.d");
  if (!QFile::copy(source, db)) {
    std::fprintf(stderr, "error: %s cannot be read\n", source.toLocal8Bit().constData());
    return 1;
  }
  app::TDialogs::SetTestHook([&](const app::DialogRequest& r) {
    app::DialogAnswer a;
    if (r.kind == app::DialogRequest::Kind::OpenFile) a.text = db.toStdString();
    return a;
  });
  app::TMainOptions options;
  options.settingsWriteFolder = work.path();
  app::TfmMain w(options);
  w.StartUp();
  app::TViewsWindows views(w, QString());
  w.SetResultWindows(&views);
  w.show();
  QApplication::processEvents();
  window = &w;
  windows = &views;

  store::TMemTable& t = w.Table();
  if (!t.Active()) {
    std::fprintf(stderr, "error: %s does not open\n", db.toLocal8Bit().constData());
    return 1;
  }
  std::vector<std::string> names;
  for (t.First(); !t.Eof(); t.Next()) names.push_back(t.FieldByName("ProblemName").AsString());
  for (const std::string& name : names) {
    benchmark::RegisterBenchmark(("LiveEdit/" + name).c_str(), LiveEdit, name)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(6);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  w.chbLive()->setChecked(false);
  WaitFor([&] { return !w.Engine().Running(); }, 120000);
  app::TDialogs::SetTestHook(nullptr);
  return 0;
}
