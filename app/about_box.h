#pragma once
// The About box "О программе...": the program's name, what it does, who made it and a link to
// the bundled user manual. A key that produces a character, a mouse button released over the
// dialog or the "Закрыть" button closes it.

#include <QDialog>
#include <QUrl>
#include <functional>

class QPushButton;

namespace app {

class TGradientLabel;

class TfmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TfmAbout(QWidget* parent = nullptr);

  // The address of the user manual: the HTML page installed next to the executable (or in
  // ../share/brelona), else the manual's source text, else an empty URL.
  static QUrl ManualUrl();

  // How a link is opened; the system shell by default. Tests replace it.
  static void SetUrlOpener(std::function<bool(const QUrl&)> opener);

  TGradientLabel* NameLabel() const { return lblName_; }
  TGradientLabel* LinkLabel() const { return lblLink_; }
  QPushButton* CloseButton() const { return btnClose_; }

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  void OpenLink();

  TGradientLabel* lblName_;
  TGradientLabel* lblLink_;
  QPushButton* btnClose_;
};

}  // namespace app
