// Help > Keyboard and mouse, and Help > About: what the window's keys and
// clicks do, and what the program is and ships.
#pragma once

#include <string>

namespace tessera {

class frmMain;

// Every shortcut of the menu bar as it stands, then the clicks.
std::string keyboard_and_mouse_text(frmMain& f);
// The program, its version, the Qt it runs on and the licences of what it
// ships.
std::string about_text();

void show_keyboard_and_mouse(frmMain& f);
void show_about(frmMain& f);

}  // namespace tessera
