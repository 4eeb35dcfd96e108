// The converter window's event handlers and the routines they share. Each
// handler takes the sending control and the event arguments and returns 0.
#pragma once

#include <QColor>
#include <optional>
#include <string>

#include "tessera/framework.h"
#include "tessera/settings.h"

namespace tessera {

class frmMain;
struct SaveResult;

using fw::Control;
using fw::EventArgs;

int FRMMAIN_SHOWN(fw::Form& sender, const EventArgs& e);

int FRMMAIN_OPENFILE_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_INPUTIMGFRAME_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_PROCESSBUTTON_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_RESETCOLOR_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_REDRAW_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_NEARESTNEIGHBOR_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_AVERAGE_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_BICUBIC_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_LANCZOS_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_FILL_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_STRETCH_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_CENTER_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_FIT_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_ASPFILL_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_ASPECTRATIOCORRECT_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_GREYSCALE_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_BRIGHTUPDOWN_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_CONTRASTUPDOWN_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_RESETCOLORCORRECTION_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_TRANSUPDOWN_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_DITHER_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_FLOYDSTEINBURG_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_ATKINSON_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_BURKES_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_STUCKI_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_PATTERN_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_DITHERVALUE_TEXTCHANGED(Control& sender, const EventArgs& e);
int FRMMAIN_BAYERVALUE_TEXTCHANGED(Control& sender, const EventArgs& e);
int FRMMAIN_MAXKMEANS_TEXTCHANGED(Control& sender, const EventArgs& e);
int FRMMAIN_MEDIANCUT_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_KMEANS_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_SCOLORQ_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_SAVEEXEC_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_SAVEBMP_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_OUTPUTIMGFRAME_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR1_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR2_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR3_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR4_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR5_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR6_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR7_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR8_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR9_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR10_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR11_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR12_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR13_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR14_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR15_CLICK(Control& sender, const EventArgs& e);
int FRMMAIN_COLOR16_CLICK(Control& sender, const EventArgs& e);

// The stages a change reruns, as the controls' handlers run them: the input
// and its census (a resampling button); the palette chosen again and the
// rendering (Reset); BMP1's cell pairs chosen again and the rendering; the
// rendering alone (Redraw); the whole conversion (PROCESS).
void rerun_input(frmMain& f);
void rerun_palette(frmMain& f);
void rerun_cell_pairs(frmMain& f);
void rerun_rendering(frmMain& f);
void rerun_all(frmMain& f);

// 1 when ALT is held at the moment of the call.
int ISALTPRESSED(frmMain& f);
// MaxKMeans, its label and its frame are live only while K-means++ is chosen.
void STATECHANGESCALING(frmMain& f);

// The resampler as the store keeps it and the Scale Method buttons show it:
// its button checked, or none for a resampler that has no button (the area
// Lanczos ones), whose value the window's settings then take from the store.
void set_resampler(frmMain& f, Resampler r);
// set_resampler, then the input stage and the colour count again: what a
// click on a Scale Method button does, for any other way of choosing one.
int choose_resampler(frmMain& f, Resampler r);

// The picture chosen in the open dialog; nothing when cancelled.
std::optional<std::string> EDITOROPENDIALOG(frmMain& f);
// Asks for a picture and opens it; a cancelled dialog changes nothing.
void NEWOPENFILE(frmMain& f);
// Opens a picture as if it had been chosen in the dialog (command line, drop).
void open_picture(frmMain& f, const std::string& path);

// Swatch N's colour through the colour dialog, reduced to the target grid.
int HANDLECOLORCLICKBYINDEX(frmMain& f, int N);
std::optional<QColor> GETCOLORSELECTION(frmMain& f);
// Redraws the output preview from IMAGEOUT's indices and the palette.
void DRAWCOLORPICKER(frmMain& f);

// What a save says: the file written, as kind ("BMP1", "BMP4", "BMP"), in
// the status line and a box; why not, in a box; nothing when skipped.
void report_save(frmMain& f, const SaveResult& r, const std::string& kind);

}  // namespace tessera
