// The Palette menu and the swatches' context menu: palette files in and
// out, and pinned colours that palette selection keeps.
#pragma once

#include <memory>
#include <string>

#include "tessera/settings.h"

class QFileDialog;
class QMenuBar;
class QWidget;

namespace tessera {

class frmMain;
struct Desktop;

// Palette > "Import palette...", "Export palette...", "Unpin all", and the
// "Pin this colour" entry of every swatch's context menu.
void build_palette_menu(frmMain& f, QMenuBar& bar);

// The file's colours become the palette of this and every later palette
// selection, as tessera-convert --palette makes them (given_palette.h), until
// "Unpin all" or the next import: the palette is chosen and the output
// rendered on it at once. A file that cannot be read is reported and changes
// nothing.
void import_palette(frmMain& f, const std::string& path);
// The same without a stage or a message: "" or why the file gives no palette.
std::string give_palette_file(frmMain& f, const std::string& path);
// Writes the palette in a format of palette_formats() and confirms or reports.
void export_palette(frmMain& f, const std::string& path);
// How palette files of another size are taken, with the menu's checks.
void set_palette_choice(frmMain& f, PalettePick pick, PaletteFill fill);

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
