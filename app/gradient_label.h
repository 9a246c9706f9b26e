#pragma once
// A transparent label that can paint its text with a horizontal two-colour gradient (grey to
// black unless told otherwise), with a click signal and a cursor of its own.

#include <QColor>
#include <QLabel>

namespace app {

class TGradientLabel : public QLabel {
  Q_OBJECT
 public:
  explicit TGradientLabel(QWidget* parent = nullptr);
  explicit TGradientLabel(const QString& text, QWidget* parent = nullptr);

  bool GradientEnabled() const { return gradientEnabled_; }
  void SetGradientEnabled(bool on);
  QColor ColorFrom() const { return from_; }
  QColor ColorTo() const { return to_; }
  void SetGradientColors(const QColor& from, const QColor& to);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  bool gradientEnabled_ = false;
  bool pressed_ = false;
  QColor from_ = Qt::gray;
  QColor to_ = Qt::black;
};

}  // namespace app
