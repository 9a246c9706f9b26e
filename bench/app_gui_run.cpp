// Times the Run command of the desktop program on one problem of a database, with the working
// chart and the mosaic window shown, and counts how often the windows repainted during the run.
//
//   bench_app_gui_run DB.d PROBLEM [XPOINTS YPOINTS]
//
// Run it under a real display (xvfb-run) to include the painting, or with QT_QPA_PLATFORM=offscreen.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <string>
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

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_app_gui_run DB.d PROBLEM [XPOINTS YPOINTS]\n");
    return 2;
  }
  const std::string db = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath().toStdString();
  const std::string problem = argv[2];
  const int xpoints = argc > 4 ? std::atoi(argv[3]) : 0;
  const int ypoints = argc > 4 ? std::atoi(argv[4]) : 0;

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
  t.FieldByName("ShowChart").SetAsBoolean(true);
  t.FieldByName("ShowMosaicDiagram").SetAsBoolean(true);
  t.Post();
  QApplication::processEvents();

  PaintCounter counter;
  counter.chart = w.Chart1()->viewport();
  counter.mosaic = windows.fmMDiagram().Image1();
  application.installEventFilter(&counter);
  counter.clock.start();
  counter.running = true;
  const auto start = std::chrono::steady_clock::now();
  w.sbRunClick();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  counter.running = false;

  const int levels = w.Results().State.LevelIndex + 1;
  std::printf("problem: %s\n", problem.c_str());
  std::printf("grid: %d x %d, levels computed: %d\n", t.FieldByName("XPoints").AsInteger(),
              t.FieldByName("YPoints").AsInteger(), levels);
  std::printf("platform: %s\n", QApplication::platformName().toUtf8().constData());
  std::printf("GUI run: %.3f s\n", seconds);
  std::printf("paints during the run: working chart %ld, mosaic %ld\n", counter.chartPaints,
              counter.mosaicPaints);
  std::printf("longest pause between two paints: %.1f ms\n", counter.longest / 1e6);
  for (const std::string& m : messages) std::printf("message: %s\n", m.c_str());
  app::TDialogs::SetTestHook(nullptr);
  return 0;
}
