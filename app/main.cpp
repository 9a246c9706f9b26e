// The desktop program's entry: creates the windows in their order, runs the event loop, and at
// the end destroys them in the reverse order, the main window last.
#include <QApplication>
#include <cstdio>
#include <string>

#include "app/about_box.h"
#include "app/language.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/views_windows.h"

namespace {

// Answers --help and --version on stdout without a window, so that neither needs a display.
// Returns true when it did.
bool AnsweredOnTheTerminal(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--version" || a == "-v") {
      std::printf("brelona %s\n", BRELONA_VERSION);
      return true;
    }
    if (a == "--help" || a == "-h") {
      std::fputs(
          "Usage: brelona [--help | --version] [Qt options such as -platform NAME]\n"
          "Computes phase diagrams of binary systems A-B from the Gibbs energies of their\n"
          "phases by the lower convex hull, level by level in temperature or pressure: the\n"
          "desktop program. brelona-calc runs the same engine from the command line.\n"
          "\n"
          "Options:\n"
          "  -h, --help     print this text and exit\n"
          "  -v, --version  print the version and exit\n"
          "\n"
          "At start the program reads its settings from Brelona.cfg (in the current folder when\n"
          "there is one, else beside the program or in the user's configuration folder) and\n"
          "opens the problem database they name, by default Problems.d in the current folder;\n"
          "an installed program without one there opens the user's own copy of the sample\n"
          "database it ships (share/brelona/data/Problems.d). The manual is\n"
          "share/brelona/manual.html, linked from the About box.\n",
          stdout);
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnsweredOnTheTerminal(argc, argv)) return 0;
  QApplication application(argc, argv);
  QApplication::setApplicationName("Brelona");
  QApplication::setApplicationVersion(BRELONA_VERSION);
  // The main window ends the program, even while a result window is still open.
  QApplication::setQuitOnLastWindowClosed(false);

  // The interface language, before any window is built: the choice kept in the settings file
  // the main window reads and writes, else the system's language.
  app::InstallLanguage(
      app::StartUpLanguage({app::TfmMain::SettingsPathFor({})}, QLocale::system()));

  int rc = 0;
  app::TfmMain fmMain;
  fmMain.StartUp();
  {
    app::TViewsWindows windows(fmMain);  // mosaic, diagram, cell grid, special points
    app::TfmAbout fmAbout;
    fmMain.SetResultWindows(&windows);
    fmMain.SetAboutBox(&fmAbout);
    QObject::connect(&fmMain, &app::TfmMain::Closed, &application, &QApplication::quit);
    fmMain.show();
    rc = QApplication::exec();
    fmMain.SetAboutBox(nullptr);
    fmMain.SetResultWindows(nullptr);
    // Leaving this block destroys the About box and the result windows in the reverse order
    // of their creation; the diagram window saves its chart file as it goes.
  }
  fmMain.ShutDown();
  return rc;
}
