#include "palette_options.h"

#include <filesystem>

#include "shared_palette.h"
#include "tessera/given_palette.h"
#include "tessera/pins.h"
#include "tessera/shared_palette.h"

namespace tessera::cli {

namespace {

constexpr std::size_t kMaxPins = 15;

// The colours of --pin, or the reason they cannot be read.
std::string parse_pins(const std::string& text, std::vector<PinAt>& out) {
  if (std::string e = read_pin_list(text, out); !e.empty()) return "--pin: " + e;
  if (out.size() > kMaxPins)
    return "--pin: " + std::to_string(out.size()) + " colours; at most 15 can be pinned (14 with a transparent picture)";
  return {};
}

}  // namespace

std::vector<PinAt> pinned_colours(const Settings& s) {
  std::vector<PinAt> pins;
  parse_pins(s.pins, pins);
  return pins;
}

std::string read_palette_option(const Settings& s, std::vector<PaletteColour>& colours) {
  PaletteFileRead read = read_palette_file(s.palette);
  if (!read.ok) return "--palette " + read.error.message();
  if (read.colours.empty()) return "--palette " + s.palette + ": holds no colours";
  colours = std::move(read.colours);
  return {};
}

std::string check_palette_options(const Settings& s, std::size_t pictures) {
  std::vector<PinAt> pins;
  if (std::string e = parse_pins(s.pins, pins); !e.empty()) return e;
  if (!s.palette.empty()) {
    if (!palette_format_of(s.palette)) return "--palette: unknown palette format (use " + palette_extensions(false) + ")";
    // Pins have room only beside a palette of more colours than fit, where
    // they win over the file's; a file that cannot be read is told when it
    // is read for the conversion.
    std::vector<PaletteColour> colours;
    if (!pins.empty() && read_palette_option(s, colours).empty() &&
        distinct_colours(colours).size() <= 16)
      return "--pin: not with --palette, which gives every colour";
  }
  if (!s.export_palette.empty()) {
    const std::optional<PaletteFormat> f = palette_format_of(s.export_palette);
    if (!f || !palette_format_writable(*f)) return "--export-palette: use a name ending in " + palette_extensions(true);
    if (pictures > 1 && !s.shared_palette) return "--export-palette: only with one picture, or with --shared-palette";
    // Each picture would write its own palette to the one file (they differ
    // beside a transparent key), and the file given is the palette anyway.
    if (pictures > 1 && !s.palette.empty()) return "--export-palette: not with --palette and several pictures";
  }
  return {};
}

std::string make_palette_plan(const Settings& s, const std::vector<std::string>& pictures, PalettePlan& plan,
                              std::vector<std::string>& written, std::vector<std::string>& kept) {
  plan = PalettePlan{};
  plan.pins = pinned_colours(s);
  if (!s.palette.empty()) {
    std::vector<PaletteColour> colours;
    if (std::string e = read_palette_option(s, colours); !e.empty()) return e;
    plan.fixed = std::move(colours);
    plan.palette_name = s.palette;
  }
  // A file that fits is every picture's palette as it is (each with its own
  // transparent key); only from a larger one is one choice made for all.
  if (s.shared_palette && pictures.size() > 1 && (!plan.fixed || plan.fixed->size() > 16)) {
    PaletteEntries entries{};
    if (std::string e = choose_shared_palette_for(s, pictures, plan, entries); !e.empty()) return e;
    plan.shared = entries;
  }
  std::error_code ec;
  if (plan.shared && !s.export_palette.empty() && s.no_clobber &&
      std::filesystem::exists(std::filesystem::symlink_status(s.export_palette, ec))) {
    kept.push_back(s.export_palette);
  } else if (plan.shared && !s.export_palette.empty()) {
    if (std::string e = write_palette_file(s.export_palette, *plan.shared); !e.empty()) return "cannot write " + e;
    written.push_back(s.export_palette);
  } else {
    plan.export_path = s.export_palette;
  }
  return {};
}

std::string apply_palette_plan(Store& store, const PalettePlan& plan) {
  if (plan.shared) {
    pin_whole_palette(store, *plan.shared);
    return {};
  }
  if (!plan.pins.empty())
    if (std::string e = pin_colours(store, plan.pins); !e.empty()) return e;
  if (plan.fixed) give_palette(store, *plan.fixed, plan.palette_name);
  return {};
}

std::string export_palette(const Store& store, const PalettePlan& plan, bool& ok) {
  ok = true;
  if (plan.export_path.empty()) return {};
  const std::string e = write_palette_file(plan.export_path, palette_entries(store.OCLUSTER));
  ok = e.empty();
  return ok ? plan.export_path : "cannot write " + e;
}

}  // namespace tessera::cli
