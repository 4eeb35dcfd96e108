#include "tessera/busy.h"

#include <QApplication>
#include <QCursor>
#include <QWidget>
#include <filesystem>
#include <utility>

#include "tessera/frm_main.h"

namespace tessera {

namespace {

std::string file_name(const std::string& picture) {
  return std::filesystem::path(picture).filename().string();
}

}  // namespace

std::string reading_text(const std::string& picture) { return "Reading " + file_name(picture) + "..."; }

std::string preparing_text(const std::string& picture) {
  const std::string name = file_name(picture);
  return "Preparing " + (name.empty() ? std::string("the picture") : name) + "...";
}

StageInProgress::StageInProgress(frmMain& f, std::string what)
    : f_(f), before_(f.StatusBar.text()), shown_(std::move(what)) {
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  try {
    f_.StatusBar.set_text(shown_);
    // Painted now, not when the event loop next runs: that is after the
    // stage. No events are processed here, so no other handler can start
    // meanwhile.
    QWidget* label = f_.StatusBar.widget();
    if (label != nullptr && label->isVisible()) label->repaint();
  } catch (...) {
    QApplication::restoreOverrideCursor();
    throw;
  }
}

StageInProgress::~StageInProgress() {
  if (f_.StatusBar.text() == shown_) f_.StatusBar.set_text(before_);
  QApplication::restoreOverrideCursor();
}

}  // namespace tessera
