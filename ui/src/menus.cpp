#include "tessera/menus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "tessera/about.h"
#include "tessera/desktop_state.h"
#include "tessera/edit_menu.h"
#include "tessera/frm_main.h"
#include "tessera/look_menu.h"
#include "tessera/palette_menu.h"
#include "tessera/recent_files.h"
#include "tessera/window_settings.h"
#include "tessera/zoom_window.h"

namespace tessera {

namespace {

QAction* add_action(QMenu* menu, const char* object_name, const char* text, const QKeySequence& keys,
                    std::function<void()> run) {
  QAction* a = menu->addAction(QString::fromUtf8(text));
  a->setObjectName(QString::fromLatin1(object_name));
  if (!keys.isEmpty()) {
    a->setShortcut(keys);
    // The shortcuts work wherever the focus is in the window, also while the
    // menu bar itself is hidden away by the platform.
    a->setShortcutContext(Qt::WindowShortcut);
  }
  QObject::connect(a, &QAction::triggered, menu, [run = std::move(run)] { run(); });
  return a;
}

}  // namespace

void build_menus(frmMain& f) {
  QMenuBar* bar = f.menu_bar();
  bar->setObjectName(QStringLiteral("MenuBar"));

  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("FileMenu"));
  add_action(file, "FileOpen", "Open...", QKeySequence(Qt::CTRL | Qt::Key_O),
             [&f] { f.OpenFile.raise(fw::Event::Click); });
  add_recent_menu(f, *file);
  add_action(file, "FileSaveOutput", "Save output file", QKeySequence(Qt::CTRL | Qt::Key_S),
             [&f] { f.SaveExec.raise(fw::Event::Click); });
  add_action(file, "FileSaveBMP", "Save BMP", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
             [&f] { f.SaveBMP.raise(fw::Event::Click); });
  add_save_as_entries(f, *file);
  add_action(file, "FileLoadSettings", "Load settings...", {}, [&f] { LOADSETTINGS(f); });
  add_action(file, "FileSaveSettings", "Save settings...", {}, [&f] { SAVESETTINGS(f); });
  add_restore_entry(*file);
  file->addSeparator();
  add_action(file, "FileQuit", "Quit", QKeySequence(Qt::CTRL | Qt::Key_Q), [&f] { f.window()->close(); });

  build_edit_menu(f, *bar);
  build_view_menu(f, *bar);
  build_palette_menu(f, *bar);
  build_look_menu(f, *bar);

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("HelpMenu"));
  add_action(help, "HelpKeys", "Keyboard and mouse", {}, [&f] { show_keyboard_and_mouse(f); });
  add_action(help, "HelpAbout", "About", {}, [&f] { show_about(f); });
  watch_quit(f);
}

}  // namespace tessera
