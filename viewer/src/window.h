// The viewer's window: shows the screen at its own size and ends the program
// at the first key.
#pragma once

#include <QWidget>

#include "tessview/screen.h"

namespace tessview {

class ViewerWindow : public QWidget {
 public:
  ViewerWindow();

  Screen& screen() { return screen_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  Screen screen_;
};

}  // namespace tessview
