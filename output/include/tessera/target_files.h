// The files a conversion is saved as: the target machine's BMP1 and BMP4
// files and the plain 320 x 200 BMP export for looking at on the PC.
//
// Everything here is a function of the store; nothing prints or shows a
// message. The window's save handlers and the command line both call these,
// so the two write the same bytes under the same names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tessera/settings.h"
#include "tessera/store.h"
#include "tessera/surface.h"

namespace tessera {

inline constexpr std::size_t kBmp1FileSize = 9032;
inline constexpr std::size_t kBmp4FileSize = 16032;

// Target file beside the picture: the extension after the last dot of the
// file name is replaced by ".bmp1" / ".bmp4" (appended when there is none).
// photo.jpeg -> photo.bmp1, pic -> pic.bmp1, /a.b/cat.png -> /a.b/cat.bmp4.
std::string target_file_name(const std::string& picture, int filetype);
inline std::string target_file_name(const std::string& picture, TargetFormat format) {
  return target_file_name(picture, static_cast<int>(format));
}

// Export beside the picture: the extension is replaced by "_out.bmp".
// photo.jpeg -> photo_out.bmp, pic -> pic_out.bmp.
std::string export_file_name(const std::string& picture);

// The 32-byte palette of both formats: entry n as the little-endian word 0x0RGB.
std::vector<std::uint8_t> palette_bytes(const Store& store);

// The bytes of the target file for the format of the last rendering
// (RENDEREDFILETYPE): 9032 bytes for BMP1, 16032 for BMP4, empty when nothing
// has been rendered yet.
std::vector<std::uint8_t> target_file_bytes(const Store& store);

// The 320 x 200 export: the colours of the last rendering (RENDEREDIMAGE) over
// its 320 or 160 x 200 pixels, every other pixel 0 in all four bytes. Before
// anything has been rendered, the working image (IMAGEIN) over OUTPUTX x
// OUTPUTY.
Surface export_surface(const Store& store);

// The rendered picture at 320 x 200 for a quick look, BMP4 pixels doubled in
// width so that the picture keeps its proportions.
Surface look_surface(const Store& store);

struct SaveResult {
  bool ok = false;       // the file is written in full
  bool skipped = false;  // there was nothing to save; nothing was touched
  bool unreadable = false;  // made from a picture that could not be read; nothing was touched
  std::string path;      // the file written or attempted
  std::string error;     // why it failed, when !ok && !skipped
};

// The confirmation shown after a save that worked, naming what was written
// ("BMP1", "BMP4" or "BMP"); without a kind, the kind the name's ending says.
std::string saved_message(const std::string& path, const std::string& kind);
std::string saved_message(const std::string& path);
// What a save says when its picture could not be read (SaveResult::unreadable).
std::string unreadable_message(const std::string& picture);

// "SAVE OUTPUT FILE": writes the target file beside the picture the last
// rendering was made from (RENDEREDFILENAME). Skipped when nothing has been
// rendered or the rendering had no picture; refused (unreadable, nothing
// written) when that picture could not be read. The file is replaced only
// once every byte of the new one is written.
SaveResult save_target_file(const Store& store);
// The same to a path of the caller's choice (skipped only when nothing has
// been rendered).
SaveResult save_target_file(const Store& store, const std::string& path);

// "SAVE BMP": writes the export beside the picture of the last rendering, or
// beside OPENFILENAME before the first rendering; skipped when that is no
// picture, refused when it could not be read.
SaveResult save_bmp_export(const Store& store);
SaveResult save_bmp_export(const Store& store, const std::string& path);

}  // namespace tessera
