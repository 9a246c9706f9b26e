// The desktop program's entry: creates the windows in their order, runs the event loop, and at
// the end destroys them in the reverse order, the main window last.
#include <QApplication>
#include <QDir>
#include <QStandardPaths>

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

  // The interface language, before any window is built: the choice kept next to the program,
  // in the user's configuration folder or in the current folder, else the system's language.
  const QString settingsName = QString::fromLatin1(app::kSettingsFileName);
  app::InstallLanguage(app::StartUpLanguage(
      {QDir(QCoreApplication::applicationDirPath()).filePath(settingsName),
       QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
           .filePath(settingsName),
       QDir::current().filePath(settingsName)},
      QLocale::system()));

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
