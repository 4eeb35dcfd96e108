#include "tessera/menus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "tessera/frm_main.h"
#include "tessera/look_menu.h"
#include "tessera/palette_menu.h"
#include "tessera/window_settings.h"

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

const char* keyboard_and_mouse_text() {
  return "Keyboard and mouse\n\n"
         "Ctrl+O opens a picture, Ctrl+S saves the output file, Ctrl+Shift+S saves the BMP, "
         "Ctrl+Q quits.\n\n"
         "Click the input picture to open another one, or drop a picture on the window.\n\n"
         "Click a palette colour, or that colour in the output preview, to choose it yourself in the "
         "colour dialog. Hold ALT while clicking a colour in the output preview to make it the "
         "transparent colour (palette entry 1); pictures that already have transparent pixels keep "
         "their own.\n\n"
         "The brightness and contrast arrows step by 1; hold ALT to step by 26.";
}

const char* about_text() {
  return "Tessera Version 1.2\n\n"
         "Converts pictures (bmp, png, jpg, gif) into BMP1 and BMP4 files for a retro computer with "
         "4096 colours.";
}

void build_menus(frmMain& f) {
  QMenuBar* bar = f.menu_bar();
  bar->setObjectName(QStringLiteral("MenuBar"));

  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("FileMenu"));
  add_action(file, "FileOpen", "Open...", QKeySequence(Qt::CTRL | Qt::Key_O),
             [&f] { f.OpenFile.raise(fw::Event::Click); });
  add_action(file, "FileSaveOutput", "Save output file", QKeySequence(Qt::CTRL | Qt::Key_S),
             [&f] { f.SaveExec.raise(fw::Event::Click); });
  add_action(file, "FileSaveBMP", "Save BMP", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
             [&f] { f.SaveBMP.raise(fw::Event::Click); });
  add_action(file, "FileLoadSettings", "Load settings...", {}, [&f] { LOADSETTINGS(f); });
  add_action(file, "FileSaveSettings", "Save settings...", {}, [&f] { SAVESETTINGS(f); });
  file->addSeparator();
  add_action(file, "FileQuit", "Quit", QKeySequence(Qt::CTRL | Qt::Key_Q), [&f] { f.window()->close(); });

  build_palette_menu(f, *bar);
  build_look_menu(f, *bar);

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("HelpMenu"));
  add_action(help, "HelpKeys", "Keyboard and mouse", {}, [&f] { f.desktop.message(keyboard_and_mouse_text()); });
  add_action(help, "HelpAbout", "About", {}, [&f] { f.desktop.message(about_text()); });
}

}  // namespace tessera
