// What the window keeps for the desktop beside the conversion: the undo
// history of palette edits, the preview files it wrote, the recent-files
// menu and the zoom window. None of it changes a byte the stages write.
#pragma once

#include <QUndoStack>
#include <string>
#include <sys/types.h>
#include <vector>

#include "tessera/controls.h"

class QMenu;

namespace tessera {

class frmMain;
class ZoomWindow;

struct DesktopState {
  QUndoStack undo;
  // Above zero while an edit is recorded, undone or redone: the previews it
  // draws belong to the history instead of starting it afresh.
  int in_edit = 0;

  // A preview file as this window left it, so that Quit removes only files
  // that are still the ones it wrote (another window may share the folder).
  struct Written {
    std::string path;
    dev_t device;
    ino_t inode;
  };
  std::vector<Written> previews;

  QMenu* recent = nullptr;
  ZoomWindow* zoom = nullptr;
};

// Everything the window hears about a preview it is shown: the file is noted
// for Quit, the zoom window follows the output, and a preview drawn outside
// an edit (a new picture, PROCESS, a changed setting) starts the undo
// history afresh.
void preview_shown(frmMain& f, Ctl frame, const std::string& path);

// Removes the preview files this window wrote and has not seen replaced.
void remove_written_previews(frmMain& f);

// Names the picture in the title after it was opened, and remembers it.
void picture_opened(frmMain& f);

// The window's title for the picture of the store ("Tessera Version 1.2"
// before any).
std::string window_title(const frmMain& f);

// What happens when the window is closed: settings kept, previews removed.
void watch_quit(frmMain& f);

}  // namespace tessera
