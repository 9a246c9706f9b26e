#include "app/about_box.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "app/gradient_label.h"

#ifndef BRELONA_MANUAL_SOURCE
#define BRELONA_MANUAL_SOURCE ""
#endif

namespace app {

namespace {

std::function<bool(const QUrl&)>& Opener() {
  static std::function<bool(const QUrl&)> opener = [](const QUrl& url) {
    return QDesktopServices::openUrl(url);
  };
  return opener;
}

QFont ArialFont(int pixels, bool bold) {
  QFont f("Arial");
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

}  // namespace

void TfmAbout::SetUrlOpener(std::function<bool(const QUrl&)> opener) {
  Opener() = opener ? std::move(opener)
                    : [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

QUrl TfmAbout::ManualUrl() {
  const QDir exe(QCoreApplication::applicationDirPath());
  const QStringList candidates = {exe.filePath("manual.html"),
                                  exe.filePath("../share/brelona/manual.html"),
                                  QString::fromUtf8(BRELONA_MANUAL_SOURCE)};
  for (const QString& c : candidates) {
    if (c.isEmpty()) continue;
    const QFileInfo fi(c);
    if (fi.isFile()) return QUrl::fromLocalFile(fi.canonicalFilePath());
  }
  return QUrl();
}

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("О программе..."));
  setFixedSize(443, 302);
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 18, 24, 14);
  layout->setSpacing(6);

  lblName_ = new TGradientLabel("Brelona", this);
  lblName_->setFont(ArialFont(37, true));
  lblName_->SetGradientEnabled(true);
  lblName_->SetGradientColors(Qt::gray, Qt::black);
  lblName_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  lblName_->setAttribute(Qt::WA_TransparentForMouseEvents);
  layout->addWidget(lblName_);

  auto* subtitle = new QLabel(tr("расчет бинарных фазовых диаграмм"), this);
  subtitle->setFont(ArialFont(21, false));
  subtitle->setAlignment(Qt::AlignHCenter);
  subtitle->setAttribute(Qt::WA_TransparentForMouseEvents);
  layout->addWidget(subtitle);

  layout->addSpacing(12);
  auto* credits = new QLabel(tr("Метод: нижняя выпуклая оболочка энергии Гиббса.\n"
                                "Программа: разработчики Brelona.\n"
                                "Версия %1")
                                 .arg(QCoreApplication::applicationVersion().isEmpty()
                                          ? QStringLiteral("0.1")
                                          : QCoreApplication::applicationVersion()),
                             this);
  credits->setAlignment(Qt::AlignHCenter);
  credits->setWordWrap(true);
  credits->setAttribute(Qt::WA_TransparentForMouseEvents);
  layout->addWidget(credits);

  layout->addSpacing(8);
  auto* manualCaption = new QLabel(tr("Руководство пользователя:"), this);
  manualCaption->setAlignment(Qt::AlignHCenter);
  manualCaption->setAttribute(Qt::WA_TransparentForMouseEvents);
  layout->addWidget(manualCaption);

  const QUrl manual = ManualUrl();
  lblLink_ = new TGradientLabel(manual.toString(), this);
  QFont linkFont = font();
  linkFont.setUnderline(true);
  lblLink_->setFont(linkFont);
  lblLink_->SetGradientEnabled(true);
  lblLink_->SetGradientColors(Qt::blue, QColor(0, 0, 128));  // blue to navy
  lblLink_->setCursor(Qt::PointingHandCursor);
  lblLink_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  lblLink_->setToolTip(manual.toString());
  lblLink_->setVisible(!manual.isEmpty());
  manualCaption->setVisible(!manual.isEmpty());
  connect(lblLink_, &TGradientLabel::clicked, this, &TfmAbout::OpenLink);
  layout->addWidget(lblLink_);

  layout->addStretch(1);
  btnClose_ =
      new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), tr("Закрыть"), this);
  btnClose_->setFlat(true);
  btnClose_->setAutoDefault(false);
  connect(btnClose_, &QPushButton::clicked, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(btnClose_);
  row->addStretch(1);
  layout->addLayout(row);

  if (QScreen* screen = QApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    move(avail.center() - QPoint(width() / 2, height() / 2));
  }
}

void TfmAbout::OpenLink() {
  // The label's own text is the address.
  const QUrl url(lblLink_->text());
  if (url.isValid() && !url.isEmpty()) Opener()(url);
}

void TfmAbout::keyPressEvent(QKeyEvent* e) {
  const QString t = e->text();
  if (!t.isEmpty()) {
    accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

void TfmAbout::mouseReleaseEvent(QMouseEvent* e) {
  QDialog::mouseReleaseEvent(e);
  accept();
}

}  // namespace app
