// Edit > Undo and Redo over what changes the palette or the rendering
// without preparing the picture again: swatch edits, the transparent-colour
// click, pins, palette imports, Unpin all, Reset and Redraw.
#pragma once

#include <QColor>
#include <QString>
#include <functional>

class QColorDialog;
class QMenuBar;

namespace tessera {

class frmMain;

// Runs the change; when it changed the palette or the rendering, it becomes
// one step of the undo history, named by `what`.
void record_edit(frmMain& f, const QString& what, const std::function<void()>& change);

// Edit > Undo, Redo; and the swatch, output-preview, Reset and Redraw clicks
// recorded as steps.
void build_edit_menu(frmMain& f, QMenuBar& bar);

// The colour a choice becomes on the target machine's grid.
QColor on_the_grid(QColor chosen);
// Shows under the colour dialog the colour its choice will become.
void add_grid_preview(QColorDialog& dialog);

}  // namespace tessera
