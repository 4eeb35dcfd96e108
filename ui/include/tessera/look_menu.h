// The Look menu: the look's settings, and the words of the window's own
// settings that have no option button (the wider kernels, resampling without
// a button), all beside the client area, which stays as it is.
#pragma once

#include <string_view>
#include <vector>

#include "tessera/settings.h"

class QAction;
class QMenuBar;

namespace tessera {

class frmMain;

// Look > a submenu of exclusive items for every word setting of the look, a
// check item for every flag, submenus for the words without a button, and
// Best. Each choice reruns the stages it affects, so that the preview is
// what Save writes.
void build_look_menu(frmMain& f, QMenuBar& bar);

// The words of a setting that the menu offers: those without an option
// button, apart from a word that another control tells (no diffusion is the
// Dither box left clear). All of them for a setting of the look.
std::vector<SettingWord> look_menu_words(const SettingKey& key);

// The item for a setting's word, or for a flag (word empty); null when the
// menu has none.
QAction* look_action(frmMain& f, std::string_view setting, std::string_view word = {});

// The items checked as the store and the controls stand, Best as `best` says.
void show_look(frmMain& f, bool best);
// Whether Best is checked: the best look applied and no item changed since.
bool best_chosen(frmMain& f);

}  // namespace tessera
