#include "convert.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <memory>

#include "tessera/render.h"
#include "tessera/stages.h"
#include "tessera/target_files.h"

namespace tessera::cli {

namespace {

std::vector<std::uint8_t> png_bytes(const Surface& surface) {
  const QImage image(reinterpret_cast<const uchar*>(surface.pixels().data()), surface.width(),
                     surface.height(), surface.width() * 4, QImage::Format_ARGB32);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return {};
  return {bytes.begin(), bytes.end()};
}

// Records a save; false (with the reason in the outcome) when it failed.
bool record(Outcome& out, const std::string& picture, const SaveResult& r) {
  if (r.ok) {
    out.written.push_back(r.path);
    return true;
  }
  out.error = picture + (r.skipped ? ": nothing was rendered" : ": cannot write " + r.path + ": " + r.error);
  return false;
}

void record_facts(Facts& f, const Store& s) {
  f.rendered = true;
  f.picture_width = s.XSIZE;
  f.picture_height = s.YSIZE;
  f.width = s.OUTPUTX;
  f.height = s.OUTPUTY;
  f.colours = s.COLCOUNT;
  f.transparent = s.ISTRANSPARENT == 1;
  for (int k = 1; k <= 16; ++k)
    f.palette[static_cast<std::size_t>(k - 1)] = static_cast<std::uint32_t>(s.OCLUSTER[k][1]) << 16 |
                                                 static_cast<std::uint32_t>(s.OCLUSTER[k][2]) << 8 |
                                                 static_cast<std::uint32_t>(s.OCLUSTER[k][3]);
  f.kmeans_iterations = s.KMEANSITERATIONS;
}

}  // namespace

Outcome convert_picture(const std::string& picture, const Settings& settings, const std::string& temp_dir) {
  Outcome out;
  // The store is large; keep it off the thread's stack.
  auto store = std::make_unique<Store>();
  ControlValues controls;
  configure(settings, *store, controls);
  store->OPENFILENAME = picture;
  store->TEMPFILEPATH = temp_dir;

  REDISPLAYINPUT(*store, controls);
  if (!store->LOADERROR.empty()) {
    out.error = picture + ": " + store->LOADERROR;
    return out;
  }
  COUNTINPUTCOLORS(*store, controls);
  store->COLORBLOCKFIRSTPASS = 1;
  INITIALIZECOLORS(*store, controls);
  DRAWOUTPUT(*store, controls);
  record_facts(out.facts, *store);

  if (!record(out, picture,
              settings.output.empty() ? save_target_file(*store) : save_target_file(*store, settings.output)))
    return out;
  if (!settings.export_bmp.empty() && !record(out, picture, save_bmp_export(*store, settings.export_bmp)))
    return out;
  if (!settings.png.empty()) {
    const auto bytes = png_bytes(look_surface(*store));
    SaveResult r;
    r.path = settings.png;
    r.error = bytes.empty() ? "PNG encoding failed" : write_file_atomically(settings.png, bytes);
    r.ok = r.error.empty();
    if (!record(out, picture, r)) return out;
  }
  out.ok = true;
  return out;
}

}  // namespace tessera::cli
