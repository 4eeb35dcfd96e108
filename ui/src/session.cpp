// The window's life on the desktop: its title, the preview files it leaves
// behind, and what Quit keeps and removes.
#include <QEvent>
#include <QObject>
#include <QWidget>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "tessera/desktop_state.h"
#include "tessera/frm_main.h"
#include "tessera/recent_files.h"
#include "tessera/zoom_window.h"

namespace tessera {

namespace {

class QuitWatch : public QObject {
 public:
  QuitWatch(frmMain& f) : QObject(f.window()), f_(f) { f.window()->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == parent() && e->type() == QEvent::Close) {
      keep_last_settings(f_);
      remove_written_previews(f_);
      if (QWidget* zoom = zoom_widget(f_)) zoom->close();
    }
    return false;
  }

 private:
  frmMain& f_;
};

}  // namespace

void preview_shown(frmMain& f, Ctl frame, const std::string& path) {
  DesktopState& d = f.desktop_state();
  struct stat st {};
  if (!path.empty() && ::lstat(path.c_str(), &st) == 0) {
    bool known = false;
    for (DesktopState::Written& w : d.previews)
      if (w.path == path) {
        w.device = st.st_dev;
        w.inode = st.st_ino;
        known = true;
      }
    if (!known) d.previews.push_back({path, st.st_dev, st.st_ino});
  }
  if (d.in_edit == 0) d.undo.clear();
  if (frame == Ctl::OutputImgFrame) zoom_follow(f);
}

void remove_written_previews(frmMain& f) {
  DesktopState& d = f.desktop_state();
  for (const DesktopState::Written& w : d.previews) {
    struct stat st {};
    // Only the file this window wrote: the name may since have been taken
    // by another window's preview, which stays.
    if (::lstat(w.path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == w.device && st.st_ino == w.inode)
      ::unlink(w.path.c_str());
  }
  d.previews.clear();
}

std::string window_title(const frmMain& f) {
  const std::string& picture = f.store.OPENFILENAME;
  if (picture.empty()) return "Tessera Version 1.2";
  const std::string name = std::filesystem::path(picture).filename().string();
  if (!f.store.LOADERROR.empty()) return name + " (could not be read) \u2014 Tessera";
  return name + " \u2014 Tessera";
}

void picture_opened(frmMain& f) {
  f.set_caption(window_title(f));
  if (f.store.OPENFILENAME.empty()) return;
  remember_folder("open", f.store.OPENFILENAME);
  if (f.store.LOADERROR.empty()) remember_picture(f.store.OPENFILENAME);
}

void watch_quit(frmMain& f) { new QuitWatch(f); }

}  // namespace tessera
