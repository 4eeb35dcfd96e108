// What the window remembers between runs, in the user's configuration
// folder through QSettings: the recent pictures, the folders the file
// dialogs were last used in, the conversion settings at Quit, and whether
// to restore them at the start.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

class QFileDialog;
class QMenu;

class QWidget;

namespace tessera {

class frmMain;

inline constexpr int kRecentPictures = 10;

// The window's own settings ("Tessera/Tessera.conf" under the configuration
// folder, $XDG_CONFIG_HOME or ~/.config).
std::unique_ptr<QSettings> user_settings();

// The recent pictures, newest first, and the picture put in front of them.
QStringList recent_pictures();
void remember_picture(const std::string& path);
void forget_recent_pictures();

// The folder a kind of dialog ("open", "save") was last used in, or the
// current folder before it ever was.
QString start_folder(const char* kind);
void remember_folder(const char* kind, const std::string& file);

// File > Open Recent, refilled every time it opens: missing pictures are
// marked and cannot be chosen.
QMenu* add_recent_menu(frmMain& f, QMenu& file);
void fill_recent_menu(frmMain& f, QMenu& menu);

// File > "Save output as..." and "Save BMP as...": the plain saves' files
// written where the file dialog says.
void add_save_as_entries(frmMain& f, QMenu& file);
void SAVEOUTPUTAS(frmMain& f);
void SAVEBMPAS(frmMain& f);
// The dialog of a save as: kind 1 or 4 for a target file, 0 for the BMP.
std::unique_ptr<QFileDialog> make_save_as_dialog(QWidget* owner, const std::string& suggested, int kind);

// File > "Restore last settings at start", and what it does: the settings
// the window had at its last Quit set on the controls, as loading a settings
// file does. Off, the window starts as it always has.
void add_restore_entry(QMenu& file);
bool restores_last_settings();
void keep_last_settings(frmMain& f);
// True when settings were restored.
bool restore_last_settings(frmMain& f);

}  // namespace tessera
