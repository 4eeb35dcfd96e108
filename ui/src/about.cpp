#include "tessera/about.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QtGlobal>

#include "tessera/frm_main.h"

namespace tessera {

namespace {

// The entries of a menu and its submenus that carry shortcuts, as
// "keys  Menu > entry" lines.
void list_shortcuts(QMenu& menu, const QString& path, QStringList& lines) {
  for (QAction* a : menu.actions()) {
    if (QMenu* sub = a->menu()) {
      list_shortcuts(*sub, path + QStringLiteral(" > ") + QString(sub->title()).remove(QLatin1Char('&')), lines);
      continue;
    }
    QStringList keys;
    for (const QKeySequence& k : a->shortcuts()) keys << k.toString(QKeySequence::NativeText);
    if (keys.isEmpty()) continue;
    lines << QStringLiteral("%1: %2 > %3").arg(keys.join(QStringLiteral(" or ")), path, QString(a->text()).remove(QLatin1Char('&')));
  }
}

}  // namespace

std::string keyboard_and_mouse_text(frmMain& f) {
  QStringList lines;
  for (QAction* a : f.menu_bar()->actions())
    if (QMenu* m = a->menu()) list_shortcuts(*m, QString(m->title()).remove(QLatin1Char('&')), lines);
  return "Keyboard and mouse\n\n" + lines.join(QLatin1Char('\n')).toStdString() +
         "\n\nIn the zoom window: Ctrl++ and Ctrl+- zoom in and out, Ctrl+0 fits the picture to the window, "
         "Ctrl and the mouse wheel zoom, B shows the working image before rendering.\n\n"
         "Click the input picture to open another one, or drop a picture on the window.\n\n"
         "Click a palette colour, or that colour in the output preview, to choose it yourself in the "
         "colour dialog; the dialog shows the colour on the machine's grid that the choice becomes. Hold "
         "ALT while clicking a colour in the output preview to make it the transparent colour (palette "
         "entry 1); pictures that already have transparent pixels keep their own.\n\n"
         "Right-click a palette colour for its menu: \"Pin this colour\" keeps it through PROCESS and Reset "
         "(the swatch shows a white corner); Palette > Unpin all frees every colour.\n\n"
         "The brightness and contrast arrows step by 1; hold ALT to step by 26.";
}

std::string about_text() {
  return std::string("Tessera Version 1.2\n\n"
                     "Converts pictures (bmp, png, jpg, gif) into BMP1 and BMP4 files for a retro computer with "
                     "4096 colours.\n\n"
                     "Running on Qt ") +
         qVersion() + " (built with Qt " QT_VERSION_STR ").\n\n" +
         "The programs: copyright the Tessera developers; the source states no licence of its own yet.\n"
         "Libraries used: Qt 6 (GNU LGPL 3), libjpeg-turbo (IJG licence and BSD 3-clause), zlib (zlib "
         "licence), libdeflate (MIT), libpng through Qt (libpng licence).\n"
         "Sample pictures: public domain (see share/doc/tessera/copyright).";
}

void show_keyboard_and_mouse(frmMain& f) {
  const std::string text = keyboard_and_mouse_text(f);
  if (f.desktop.inform)
    f.desktop.inform("Keyboard and mouse", text);
  else
    f.desktop.message(text);
}

void show_about(frmMain& f) {
  if (f.desktop.inform)
    f.desktop.inform("About Tessera", about_text());
  else
    f.desktop.message(about_text());
}

}  // namespace tessera
