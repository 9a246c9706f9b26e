// Times the Run command of the desktop program on one problem of a database, with the working
// chart and the mosaic window shown, counts how often the windows repainted during the run, and
// measures how long an event waits before the window's thread handles it: another thread posts
// an event every 5 ms and the handler notes the delay (the percentiles are printed).
//
//   bench_app_gui_run DB.d PROBLEM [XPOINTS YPOINTS] [--no-chart] [--no-mosaic]
//
// Run it under a real display (xvfb-run) to include the painting, or with
// QT_QPA_PLATFORM=offscreen.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/views_windows.h"
#include "app/working_chart.h"

namespace {

// Counts paint events of the watched widgets and the longest pause between two of them.
class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint && running) {
      const qint64 now = clock.nsecsElapsed();
      if (o == chart) ++chartPaints;
      if (o == mosaic) ++mosaicPaints;
      if (last >= 0) longest = std::max(longest, now - last);
      last = now;
    }
    return false;
  }
  QObject* chart = nullptr;
  QObject* mosaic = nullptr;
  bool running = false;
  QElapsedTimer clock;
  qint64 last = -1, longest = 0;
  long chartPaints = 0, mosaicPaints = 0;
};

// An event stamped when posted; the receiver keeps how long each one waited.
class StampedEvent : public QEvent {
 public:
  explicit StampedEvent(qint64 posted) : QEvent(kType), posted(posted) {}
  static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + 17);
  qint64 posted;
};

class LatencyProbe : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != StampedEvent::kType) return QObject::event(e);
    waits.push_back(clock.nsecsElapsed() - static_cast<StampedEvent*>(e)->posted);
    return true;
  }
  void Start() {
    clock.start();
    posting = true;
    poster = std::thread([this] {
      while (posting) {
        QCoreApplication::postEvent(this, new StampedEvent(clock.nsecsElapsed()));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
  }
  void Stop() {
    posting = false;
    poster.join();
  }
  double PercentileMs(double p) {
    if (waits.empty()) return 0;
    std::vector<qint64> sorted = waits;
    std::sort(sorted.begin(), sorted.end());
    const size_t k = std::min(sorted.size() - 1, static_cast<size_t>(p * sorted.size()));
    return sorted[k] / 1e6;
  }
  QElapsedTimer clock;
  std::atomic<bool> posting{false};
  std::thread poster;
  std::vector<qint64> waits;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  std::vector<const char*> args;
  bool chart = true, mosaic = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-chart") == 0) {
      chart = false;
    } else if (std::strcmp(argv[i], "--no-mosaic") == 0) {
      mosaic = false;
    } else {
      args.push_back(argv[i]);
    }
  }
  if (args.size() < 2) {
    std::fprintf(stderr,
                 "usage: bench_app_gui_run DB.d PROBLEM [XPOINTS YPOINTS] [--no-chart] "
                 "[--no-mosaic]\n");
    return 2;
  }
  const std::string db =
      QFileInfo(QString::fromLocal8Bit(args[0])).absoluteFilePath().toStdString();
  const std::string problem = args[1];
  const int xpoints = args.size() > 3 ? std::atoi(args[2]) : 0;
  const int ypoints = args.size() > 3 ? std::atoi(args[3]) : 0;

  QTemporaryDir work;
  QDir::setCurrent(work.path());
  std::vector<std::string> messages;
  app::TDialogs::SetTestHook([&](const app::DialogRequest& r) {
    app::DialogAnswer a;
    if (r.kind == app::DialogRequest::Kind::OpenFile) {
      a.text = db;
    } else {
      messages.push_back(r.text);
    }
    return a;
  });

  app::TMainOptions options;
  options.settingsWriteFolder = work.path();
  app::TfmMain w(options);
  w.StartUp();
  app::TViewsWindows windows(w, QString());
  w.SetResultWindows(&windows);
  w.show();
  QApplication::processEvents();

  store::TMemTable& t = w.Table();
  if (!t.Active()) {
    std::fprintf(stderr, "error: %s does not open\n", db.c_str());
    return 1;
  }
  t.First();
  while (!t.Eof() && t.FieldByName("ProblemName").AsString() != problem) t.Next();
  if (t.Eof()) {
    std::fprintf(stderr, "error: no problem named %s\n", problem.c_str());
    return 1;
  }
  t.Edit();
  if (xpoints > 0) t.FieldByName("XPoints").SetAsInteger(xpoints);
  if (ypoints > 0) t.FieldByName("YPoints").SetAsInteger(ypoints);
  t.FieldByName("ShowChart").SetAsBoolean(chart);
  t.FieldByName("ShowMosaicDiagram").SetAsBoolean(mosaic);
  t.Post();
  QApplication::processEvents();

  PaintCounter counter;
  counter.chart = w.Chart1()->viewport();
  counter.mosaic = windows.fmMDiagram().Image1();
  application.installEventFilter(&counter);
  counter.clock.start();
  counter.running = true;
  LatencyProbe probe;
  probe.Start();
  const auto start = std::chrono::steady_clock::now();
  w.sbRunClick();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  counter.running = false;
  probe.Stop();

  const int levels = w.Results().State.LevelIndex + 1;
  std::printf("problem: %s\n", problem.c_str());
  std::printf("grid: %d x %d, levels computed: %d\n", t.FieldByName("XPoints").AsInteger(),
              t.FieldByName("YPoints").AsInteger(), levels);
  std::printf("platform: %s\n", QApplication::platformName().toUtf8().constData());
  std::printf("GUI run: %.3f s\n", seconds);
  std::printf("paints during the run: working chart %ld, mosaic %ld\n", counter.chartPaints,
              counter.mosaicPaints);
  std::printf("longest pause between two paints: %.1f ms\n", counter.longest / 1e6);
  std::printf(
      "event latency during the run (%zu events): median %.1f ms, p99 %.1f ms, max %.1f ms\n",
      probe.waits.size(), probe.PercentileMs(0.5), probe.PercentileMs(0.99),
      probe.PercentileMs(1.0));
  for (const std::string& m : messages) std::printf("message: %s\n", m.c_str());
  app::TDialogs::SetTestHook(nullptr);
  return 0;
}
