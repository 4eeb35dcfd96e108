// The window's menu bar, above the client area: File, Edit, View, Palette,
// Look and Help, with the keyboard shortcuts that a desktop user expects. Every entry does what the
// matching button does, through the button's own handler.
#pragma once

class QMenuBar;

namespace tessera {

class frmMain;

void build_menus(frmMain& f);

}  // namespace tessera
