// The Palette menu and the swatches' context menu: palette files in and
// out, and pinned colours that palette selection keeps.
#pragma once

#include <memory>
#include <string>

class QFileDialog;
class QMenuBar;
class QWidget;

namespace tessera {

class frmMain;
struct Desktop;

// Palette > "Import palette...", "Export palette...", "Unpin all", and the
// "Pin this colour" entry of every swatch's context menu.
void build_palette_menu(frmMain& f, QMenuBar& bar);

// The file's colours become the palette, the output is redrawn with them and
// every pixel keeps its entry, as after a swatch edit. A file that cannot be
// read is reported and changes nothing.
void import_palette(frmMain& f, const std::string& path);
// Writes the palette (or, for .bmp1/.bmp4, the target file that carries it)
// and confirms or reports.
void export_palette(frmMain& f, const std::string& path);

// Pins entry k to its colour, or unpins it.
void toggle_pin(frmMain& f, int k);
void unpin_all(frmMain& f);

// The swatches' marks as the pins stand.
void show_pin_marks(frmMain& f);
// The mark of swatch k, or null (for tests and screenshots), and whether it
// shows now.
QWidget* pin_mark(frmMain& f, int k);
bool pin_mark_shown(frmMain& f, int k);

// The dialogs as the window sets them up.
std::unique_ptr<QFileDialog> make_palette_open_dialog(QWidget* owner);
std::unique_ptr<QFileDialog> make_palette_save_dialog(QWidget* owner);
// The Qt dialogs and popup for a Desktop.
void add_palette_dialogs(Desktop& d);

}  // namespace tessera
