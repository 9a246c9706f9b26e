// The desktop program's entry: creates the windows in their order, runs the event loop, and at
// the end destroys them in the reverse order, the main window last.
#include <QApplication>

#include "app/about_box.h"
#include "app/language.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/views_windows.h"

int main(int argc, char** argv) {
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
