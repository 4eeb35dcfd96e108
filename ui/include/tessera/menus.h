// The window's menu bar, above the client area: File, Palette, Look and Help, with the
// keyboard shortcuts that a desktop user expects. Every entry does what the
// matching button does, through the button's own handler.
#pragma once

class QMenuBar;

namespace tessera {

class frmMain;

void build_menus(frmMain& f);

// The help texts the Help menu shows.
const char* keyboard_and_mouse_text();
const char* about_text();

}  // namespace tessera
