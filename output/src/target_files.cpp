#include "tessera/target_files.h"

#include <algorithm>
#include <string_view>

#include "tessera/file_writer.h"

namespace tessera {

namespace {

// Position of the dot that starts the file name's extension, or npos. A dot in
// a directory name or at the start of a hidden file's name does not count.
std::size_t extension_dot(const std::string& picture) {
  const std::size_t slash = picture.find_last_of('/');
  const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = picture.find_last_of('.');
  if (dot == std::string::npos || dot <= name) return std::string::npos;
  return dot;
}

std::string without_extension(const std::string& picture) {
  const std::size_t dot = extension_dot(picture);
  return dot == std::string::npos ? picture : picture.substr(0, dot);
}

std::uint8_t nibble(int channel) {
  return static_cast<std::uint8_t>(((channel & 255) >> 4) & 15);
}

std::vector<std::uint8_t> bmp1_bytes(const Store& s) {
  std::vector<std::uint8_t> out;
  out.reserve(kBmp1FileSize);

  // BITMAPDATA: a set bit shows the cell's second colour; leftmost pixel in bit 7.
  for (int y = 0; y < 200; ++y) {
    std::uint8_t BITROW = 0;
    for (int x = 0; x < 320; ++x) {
      const int PIXEL = s.IMAGEOUT(x, y, 5) == 1 ? 0 : 1;
      BITROW = static_cast<std::uint8_t>(BITROW | (PIXEL << (7 - x % 8)));
      if (x % 8 == 7) {
        out.push_back(BITROW);
        BITROW = 0;
      }
    }
  }

  // BLOCKCOLORPAIRS: second colour in the high nibble, first in the low one.
  for (int cy = 0; cy < 25; ++cy) {
    for (int cx = 0; cx < 40; ++cx) {
      const int first = (s.OUTCOLORBLOCK[cx][cy][1] - 1) & 255;
      const int second = (s.OUTCOLORBLOCK[cx][cy][2] - 1) & 255;
      out.push_back(static_cast<std::uint8_t>((second * 16 + (first & 15)) & 255));
    }
  }
  return out;
}

std::vector<std::uint8_t> bmp4_bytes(const Store& s) {
  std::vector<std::uint8_t> out;
  out.reserve(kBmp4FileSize);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 160; x += 2) {
      const int PIXEL1 = s.IMAGEOUT(x, y, 4) & 15;
      const int PIXEL2 = s.IMAGEOUT(x + 1, y, 4) & 15;
      out.push_back(static_cast<std::uint8_t>(PIXEL1 * 16 + PIXEL2));
    }
  }
  return out;
}

std::uint32_t rendered_argb(const Store& s, int x, int y) {
  return 0xFF000000u + static_cast<std::uint32_t>(s.IMAGEIN(x, y, 1) & 255) * 65536u +
         static_cast<std::uint32_t>(s.IMAGEIN(x, y, 2) & 255) * 256u +
         static_cast<std::uint32_t>(s.IMAGEIN(x, y, 3) & 255);
}

SaveResult write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  SaveResult r;
  r.path = path;
  r.error = write_file(path, bytes);
  r.ok = r.error.empty();
  return r;
}

SaveResult skipped() {
  SaveResult r;
  r.skipped = true;
  return r;
}

SaveResult unreadable(const std::string& picture) {
  SaveResult r;
  r.unreadable = true;
  r.path = picture;
  r.error = "the picture could not be read";
  return r;
}

}  // namespace

std::string target_file_name(const std::string& picture, int filetype) {
  return without_extension(picture) + ".bmp" + std::to_string(filetype);
}

std::string export_file_name(const std::string& picture) {
  return without_extension(picture) + "_out.bmp";
}

std::vector<std::uint8_t> palette_bytes(const Store& s) {
  std::vector<std::uint8_t> PALOUT(32, 0);
  for (int i = 1; i <= 16; ++i) {
    const auto& e = s.OCLUSTER[i];
    PALOUT[2 * i - 2] = static_cast<std::uint8_t>(nibble(e[2]) * 16 + nibble(e[3]));
    PALOUT[2 * i - 1] = nibble(e[1]);
  }
  return PALOUT;
}

std::vector<std::uint8_t> target_file_bytes(const Store& s) {
  std::vector<std::uint8_t> out;
  if (s.RENDEREDFILETYPE == 1)
    out = bmp1_bytes(s);
  else if (s.RENDEREDFILETYPE == 4)
    out = bmp4_bytes(s);
  else
    return out;
  const auto PALOUT = palette_bytes(s);
  out.insert(out.end(), PALOUT.begin(), PALOUT.end());
  return out;
}

Surface export_surface(const Store& s) {
  Surface surface(320, 200, 0u);
  if (s.RENDEREDFILETYPE == 1 || s.RENDEREDFILETYPE == 4) {
    // The rendering itself: the input stage may have rebuilt IMAGEIN, even in
    // the other format, since.
    const int w = s.RENDEREDFILETYPE == 1 ? 320 : 160;
    // Without a kept copy the rendering's colours are still in IMAGEIN.
    auto channel = [&](int x, int y, int c) { return s.KEEPRENDERED ? s.RENDEREDIMAGE(x, y, c) : s.IMAGEIN(x, y, c); };
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < w; ++x)
        surface.set_pixel(x, y,
                          0xFF000000u + static_cast<std::uint32_t>(channel(x, y, 1) & 255) * 65536u +
                              static_cast<std::uint32_t>(channel(x, y, 2) & 255) * 256u +
                              static_cast<std::uint32_t>(channel(x, y, 3) & 255));
    return surface;
  }
  const int w = std::min(s.OUTPUTX, 320), h = std::min(s.OUTPUTY, 200);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) surface.set_pixel(x, y, rendered_argb(s, x, y));
  return surface;
}

Surface look_surface(const Store& s) {
  Surface surface(320, 200, 0xFF000000u);
  const int w = std::min(s.OUTPUTX, 320), h = std::min(s.OUTPUTY, 200);
  const int widen = w <= 160 ? 2 : 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int k = 0; k < widen; ++k) surface.set_pixel(x * widen + k, y, rendered_argb(s, x, y));
  return surface;
}

std::string saved_message(const std::string& path, const std::string& kind) {
  return "Saved " + kind + " file to " + path + ".";
}

std::string saved_message(const std::string& path) {
  const std::string ending = path.size() >= 5 ? path.substr(path.size() - 5) : std::string();
  return saved_message(path, ending == ".bmp1" ? "BMP1" : ending == ".bmp4" ? "BMP4" : "BMP");
}

std::string unreadable_message(const std::string& picture) {
  return "The picture " + picture + " could not be read, so nothing was saved.";
}

SaveResult save_target_file(const Store& s) {
  if (s.RENDEREDFILENAME.empty() || s.RENDEREDFILETYPE == 0) return skipped();
  if (!s.RENDEREDLOADERROR.empty()) return unreadable(s.RENDEREDFILENAME);
  return save_target_file(s, target_file_name(s.RENDEREDFILENAME, s.RENDEREDFILETYPE));
}

SaveResult save_target_file(const Store& s, const std::string& path) {
  if (s.RENDEREDFILETYPE == 0) return skipped();
  return write(path, target_file_bytes(s));
}

SaveResult save_bmp_export(const Store& s) {
  const bool rendered = s.RENDEREDFILETYPE != 0;
  const std::string& picture = rendered ? s.RENDEREDFILENAME : s.OPENFILENAME;
  if (picture.empty()) return skipped();
  if (!(rendered ? s.RENDEREDLOADERROR : s.LOADERROR).empty()) return unreadable(picture);
  return save_bmp_export(s, export_file_name(picture));
}

SaveResult save_bmp_export(const Store& s, const std::string& path) {
  return write(path, bmp_bytes(export_surface(s)));
}

}  // namespace tessera
