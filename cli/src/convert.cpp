#include "convert.h"

#include <filesystem>
#include <memory>
#include <unistd.h>

#include "names.h"
#include "output_paths.h"
#include "tessera/file_writer.h"
#include "tessera/qt_layer.h"
#include "tessera/render.h"
#include "tessera/stages.h"
#include "tessera/target_files.h"

namespace fs = std::filesystem;

namespace tessera::cli {

std::vector<std::uint8_t> png_bytes(const Surface& surface, std::string* why) {
  std::string reason;
  const QtLayer* qt = qt_layer(&reason);
  if (qt == nullptr) {
    if (why != nullptr) *why = "Qt's PNG writer cannot be loaded: " + reason;
    return {};
  }
  return qt->encode_png(surface.width(), surface.height(), surface.pixels().data());
}

namespace {

// Records a save; false (with the reason in the outcome) when it failed.
bool record(Outcome& out, const std::string& picture, const SaveResult& r) {
  if (r.ok) {
    out.written.push_back(r.path);
    return true;
  }
  out.error = shown_name(picture) +
              (r.skipped ? ": nothing was rendered" : ": cannot write " + shown_name(r.path) + ": " + r.error);
  return false;
}

// Writes one output to its file, or to standard output for "-".
SaveResult save(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  SaveResult r;
  if (path == kStandardOutput) {
    r.path = "standard output";
    r.error = write_to_descriptor(STDOUT_FILENO, bytes);
  } else {
    r.path = path;
    r.error = write_file(path, bytes);
  }
  r.ok = r.error.empty();
  return r;
}

SaveResult save_target(const Store& store, const Settings& settings) {
  if (settings.output.empty()) return save_target_file(store);
  if (settings.output != kStandardOutput) return save_target_file(store, settings.output);
  if (store.RENDEREDFILETYPE == 0) {
    SaveResult r;
    r.skipped = true;
    return r;
  }
  return save(settings.output, target_file_bytes(store));
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

// With --no-clobber: whether a file is there already (a link counts, even one
// that names nothing, as the write would go through it).
bool to_keep(const Settings& settings, const std::string& path) {
  if (!settings.no_clobber || path.empty() || path == kStandardOutput) return false;
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

}  // namespace

Outcome convert_picture(const std::string& picture, const Settings& settings, const std::string& temp_dir,
                        const PalettePlan* plan) {
  // The store is large; keep it off the thread's stack.
  auto store = std::make_unique<Store>();
  return convert_picture(picture, settings, temp_dir, *store, plan);
}

Outcome convert_picture(const std::string& picture, const Settings& settings, const std::string& temp_dir,
                        Store& fresh, const PalettePlan* plan) {
  Outcome out;
  const std::string target = settings.output.empty() ? target_file_name(picture, settings.format) : settings.output;
  const bool keep_target = to_keep(settings, target), keep_export = to_keep(settings, settings.export_bmp),
             keep_png = to_keep(settings, settings.png);
  const std::string palette_file = plan != nullptr ? plan->export_path : std::string();
  const bool keep_palette = to_keep(settings, palette_file);
  for (const auto& [keep, file] : {std::pair{keep_target, &target}, {keep_export, &settings.export_bmp},
                                   {keep_png, &settings.png}, {keep_palette, &palette_file}})
    if (keep) out.kept.push_back(*file);
  // Nothing left to write: the picture is not even read.
  if (keep_target && (settings.export_bmp.empty() || keep_export) && (settings.png.empty() || keep_png) &&
      (palette_file.empty() || keep_palette)) {
    out.ok = true;
    return out;
  }
  Store* const store = &fresh;
  ControlValues controls;
  configure(settings, *store, controls);
  store->OPENFILENAME = picture;
  store->TEMPFILEPATH = temp_dir;
  store->PREVIEWS = false;  // nothing here shows them
  store->KEEPRENDERED = !settings.export_bmp.empty();

  REDISPLAYINPUT(*store, controls);
  // Nothing reruns the input stage here: the decoded picture can go now.
  forget_input_picture(*store);
  if (!store->LOADERROR.empty()) {
    out.error = shown_name(picture) + ": " + store->LOADERROR;
    return out;
  }
  out.damage = store->LOADDAMAGE;
  COUNTINPUTCOLORS(*store, controls);
  if (plan != nullptr)
    if (const std::string e = apply_palette_plan(*store, *plan); !e.empty()) {
      out.error = shown_name(picture) + ": " + e;
      return out;
    }
  store->COLORBLOCKFIRSTPASS = 1;
  INITIALIZECOLORS(*store, controls);
  out.palette_note = store->PALETTENOTE;
  DRAWOUTPUT(*store, controls);
  record_facts(out.facts, *store);

  if (!keep_target && !record(out, picture, save_target(*store, settings))) return out;
  if (!settings.export_bmp.empty() && !keep_export &&
      !record(out, picture,
              settings.export_bmp == kStandardOutput ? save(settings.export_bmp, bmp_bytes(export_surface(*store)))
                                                     : save_bmp_export(*store, settings.export_bmp)))
    return out;
  if (!settings.png.empty() && !keep_png) {
    std::string why;
    const auto bytes = png_bytes(look_surface(*store), &why);
    SaveResult r;
    if (bytes.empty()) {
      r.path = settings.png;
      r.error = why.empty() ? "PNG encoding failed" : why;
    } else {
      r = save(settings.png, bytes);
    }
    if (!record(out, picture, r)) return out;
  }
  if (plan != nullptr && !keep_palette) {
    bool ok = true;
    const std::string done = export_palette(*store, *plan, ok);
    if (!ok) {
      out.error = shown_name(picture) + ": " + done;
      return out;
    }
    if (!done.empty()) out.written.push_back(done);
  }
  out.ok = true;
  return out;
}

}  // namespace tessera::cli
