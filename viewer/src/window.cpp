#include "window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>

namespace tessview {

ViewerWindow::ViewerWindow() : screen_(640, 400) {
  setFixedSize(screen_.width(), screen_.height());
  setWindowTitle(QStringLiteral("tessview"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
}

void ViewerWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, screen_.image());
}

void ViewerWindow::keyPressEvent(QKeyEvent* event) {
  // A modifier alone is not the awaited key: Alt or the Super key pressed to
  // switch to another window must not close this one.
  switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
      QWidget::keyPressEvent(event);
      return;
    default:
      break;
  }
  QApplication::exit(0);
}

}  // namespace tessview
