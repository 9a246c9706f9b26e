// The desktop program's entry: creates the windows and runs the event loop.
#include <QApplication>

#include "app/about_box.h"

int main(int argc, char** argv) {
  QApplication a(argc, argv);
  QApplication::setApplicationName("Brelona");
  app::TfmAbout about;
  about.show();
  return QApplication::exec();
}
