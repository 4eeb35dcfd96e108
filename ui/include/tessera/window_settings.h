// The window's controls as a settings file sees them: what they show, read
// into the conversion settings, and settings loaded back into the controls.
#pragma once

#include "tessera/settings_file.h"

namespace tessera {

class frmMain;

// The settings that the controls show.
ConversionSettings window_settings(frmMain& f);

// Sets every control, and what its handler would store, as if the user had
// set it; no stage runs until the user acts.
void apply_window_settings(frmMain& f, const ConversionSettings& settings);

// File > "Load settings..." and "Save settings...": ask for a file, then read
// or write it; failures are told in a message box, a cancelled dialog does
// nothing.
void LOADSETTINGS(frmMain& f);
void SAVESETTINGS(frmMain& f);

}  // namespace tessera
