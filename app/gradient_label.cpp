#include "app/gradient_label.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

namespace app {

TGradientLabel::TGradientLabel(QWidget* parent) : TGradientLabel(QString(), parent) {}

TGradientLabel::TGradientLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAutoFillBackground(false);
  setTextFormat(Qt::PlainText);
}

void TGradientLabel::SetGradientEnabled(bool on) {
  gradientEnabled_ = on;
  update();
}

void TGradientLabel::SetGradientColors(const QColor& from, const QColor& to) {
  from_ = from;
  to_ = to;
  update();
}

QSize TGradientLabel::sizeHint() const {
  const QFontMetrics fm(font());
  const QRect r = fm.boundingRect(QRect(0, 0, 10000, 10000), Qt::AlignLeft | Qt::AlignTop, text());
  return QSize(r.width() + 2 * margin() + 2, r.height() + 2 * margin());
}

void TGradientLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setFont(font());
  const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  const QFontMetrics fm(font());
  const QRect textRect = fm.boundingRect(area, static_cast<int>(alignment()), text());
  if (gradientEnabled_) {
    // The gradient runs across the text itself, not across the whole label.
    QLinearGradient g(textRect.left(), 0, textRect.right() + 1, 0);
    g.setColorAt(0, from_);
    g.setColorAt(1, to_);
    p.setPen(QPen(QBrush(g), 1));
  } else {
    p.setPen(palette().color(QPalette::WindowText));
  }
  p.drawText(area, static_cast<int>(alignment()), text());
}

void TGradientLabel::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) pressed_ = true;
  QLabel::mousePressEvent(e);
}

void TGradientLabel::mouseReleaseEvent(QMouseEvent* e) {
  const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
  pressed_ = false;
  if (click) emit clicked();
  e->accept();
}

}  // namespace app
