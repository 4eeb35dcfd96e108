#include "options.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <filesystem>
#include <map>
#include <sstream>
#include <string_view>

#include "palette_options.h"
#include "tessera/render.h"
#include "tessera/target_files.h"

namespace fs = std::filesystem;

namespace tessera::cli {

namespace {

enum class Kind { Flag, Integer, Word, Text };

struct Word {
  const char* word;
  int value;
};

struct Option {
  const char* name;  // long name without the dashes
  char letter;       // short name, 0 when none
  Kind kind;
  const char* value;  // what the value is called in the help
  const char* help;
  bool Settings::*flag = nullptr;
  int Settings::*number = nullptr;
  std::string Settings::*text = nullptr;
  int min = 0, max = 0;
  std::vector<Word> words = {};
};

const std::vector<Option>& options() {
  static const std::vector<Option> table = {
      {"format",
       'f',
       Kind::Word,
       "FORMAT",
       "target format",
       nullptr,
       &Settings::format,
       nullptr,
       0,
       0,
       {{"bmp1", 1}, {"bmp4", 4}}},
      {"scale",
       0,
       Kind::Word,
       "METHOD",
       "resampling",
       nullptr,
       &Settings::scale,
       nullptr,
       0,
       0,
       {{"nearest", 0}, {"average", 1}, {"bicubic", 2}, {"lanczos", 3}}},
      {"place",
       0,
       Kind::Word,
       "MODE",
       "placement in the working image",
       nullptr,
       &Settings::place,
       nullptr,
       0,
       0,
       {{"fill", 0}, {"stretch", 1}, {"center", 2}, {"fit", 3}, {"aspect-fill", 4}}},
      {"no-aspect-correction", 0, Kind::Flag, nullptr, "no aspect-ratio correction for BMP4",
       &Settings::no_aspect_correction},
      {"grey", 0, Kind::Flag, nullptr, "convert in grey", &Settings::grey},
      {"brightness", 0, Kind::Integer, "N", "added to every channel", nullptr, &Settings::brightness, nullptr,
       -255, 255},
      {"contrast", 0, Kind::Integer, "N", "contrast in percent", nullptr, &Settings::contrast, nullptr, -100,
       100},
      {"method",
       0,
       Kind::Word,
       "METHOD",
       "palette method",
       nullptr,
       &Settings::method,
       nullptr,
       0,
       0,
       {{"median-cut", 0}, {"kmeans", 1}, {"colorq", 2}}},
      {"max-iterations", 0, Kind::Integer, "N", "iteration limit of kmeans", nullptr,
       &Settings::max_iterations, nullptr, 0, 1000000},
      {"trans", 0, Kind::Integer, "N", "transparency threshold in percent", nullptr, &Settings::trans,
       nullptr, 0, 100},
      {"diffusion",
       0,
       Kind::Word,
       "KERNEL",
       "error diffusion",
       nullptr,
       &Settings::diffusion,
       nullptr,
       0,
       0,
       {{"none", 0}, {"floyd-steinberg", 1}, {"atkinson", 2}, {"burkes", 3}, {"stucki", 4}}},
      {"diffusion-strength", 0, Kind::Text, "TEXT",
       "diffusion strength in percent, read like the window's box", nullptr, nullptr,
       &Settings::diffusion_strength},
      {"bayer", 0, Kind::Flag, nullptr, "ordered (Bayer) dithering before the mapping", &Settings::bayer},
      {"bayer-strength", 0, Kind::Text, "TEXT", "Bayer strength in percent", nullptr, nullptr,
       &Settings::bayer_strength},
      {"output", 'o', Kind::Text, "PATH", "target file (one picture only; default beside the picture)",
       nullptr, nullptr, &Settings::output},
      {"export-bmp", 0, Kind::Text, "PATH", "also write the 320 x 200 BMP export (one picture only)", nullptr,
       nullptr, &Settings::export_bmp},
      {"png", 0, Kind::Text, "PATH", "also write the rendered picture as a 320 x 200 PNG (one picture only)",
       nullptr, nullptr, &Settings::png},
      {"palette", 0, Kind::Text, "FILE",
       "convert onto the palette of a palette or target file", nullptr, nullptr,
       &Settings::palette},
      {"export-palette", 0, Kind::Text, "FILE",
       "also write the palette (.gpl, .pal, .act or .hex)", nullptr,
       nullptr, &Settings::export_palette},
      {"pin", 0, Kind::Text, "RRGGBB[,...]", "keep these colours in the palette (up to 15)", nullptr, nullptr,
       &Settings::pins},
      {"shared-palette", 0, Kind::Flag, nullptr, "one palette over all the pictures", &Settings::shared_palette},
      {"jobs", 'j', Kind::Integer, "N", "pictures converted at once (default: one per core)", nullptr,
       &Settings::jobs, nullptr, 1, 256},
      {"quiet", 'q', Kind::Flag, nullptr, "no progress messages", &Settings::quiet},
      {"help", 0, Kind::Flag, nullptr, "show this help", &Settings::help},
      {"version", 0, Kind::Flag, nullptr, "show the version", &Settings::version},
  };
  return table;
}

const Option* find_long(std::string_view name) {
  for (const Option& o : options())
    if (name == o.name) return &o;
  return nullptr;
}

const Option* find_short(char letter) {
  for (const Option& o : options())
    if (o.letter != 0 && o.letter == letter) return &o;
  return nullptr;
}

std::string word_list(const Option& o) {
  std::string out;
  for (std::size_t i = 0; i < o.words.size(); ++i) out += (i == 0 ? "" : ", ") + std::string(o.words[i].word);
  return out;
}

// Applies one value; returns a usage error or "".
std::string apply(const Option& o, std::string_view value, Settings& s) {
  const std::string name = std::string("--") + o.name;
  switch (o.kind) {
    case Kind::Flag:
      s.*o.flag = true;
      return {};
    case Kind::Text:
      s.*o.text = std::string(value);
      return {};
    case Kind::Word:
      for (const Word& w : o.words)
        if (value == w.word) {
          s.*o.number = w.value;
          return {};
        }
      return name + ": unknown word '" + std::string(value) + "'; allowed: " + word_list(o);
    case Kind::Integer: {
      std::string_view digits = value;
      if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
      long long n = 0;
      const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
      const bool whole = !digits.empty() && ec == std::errc() && end == digits.data() + digits.size();
      if (!whole || n < o.min || n > o.max)
        return name + ": '" + std::string(value) + "' is not a whole number from " + std::to_string(o.min) +
               " to " + std::to_string(o.max);
      s.*o.number = static_cast<int>(n);
      return {};
    }
  }
  return {};
}

// Two pictures that would be saved under one name would overwrite each
// other, and with parallel jobs it would be chance which one is left.
std::string shared_target(const Settings& s) {
  std::map<std::string, const std::string*> seen;
  for (const std::string& picture : s.pictures) {
    std::error_code ec;
    const std::string target = target_file_name(picture, s.format);
    fs::path key = fs::absolute(target, ec);
    const auto [at, fresh] =
        seen.emplace((ec ? fs::path(target) : key).lexically_normal().string(), &picture);
    if (!fresh) return "pictures " + *at->second + " and " + picture + " would both be saved as " + target;
  }
  return {};
}

}  // namespace

ParseResult parse_arguments(const std::vector<std::string>& args) {
  ParseResult r;
  Settings& s = r.settings;
  bool only_pictures = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (only_pictures || arg.size() < 2 || arg[0] != '-') {
      s.pictures.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_pictures = true;
      continue;
    }

    const Option* o = nullptr;
    std::string_view inline_value;
    bool has_inline = false;
    std::string shown;
    if (arg.rfind("--", 0) == 0) {
      std::string_view body = std::string_view(arg).substr(2);
      const std::size_t eq = body.find('=');
      if (eq != std::string_view::npos) {
        inline_value = body.substr(eq + 1);
        has_inline = true;
        body = body.substr(0, eq);
      }
      o = find_long(body);
      shown = "--" + std::string(body);
    } else {
      o = find_short(arg[1]);
      shown = arg.substr(0, 2);
      if (arg.size() > 2) {
        inline_value = std::string_view(arg).substr(2);
        has_inline = true;
      }
    }
    if (o == nullptr) {
      r.error = "unknown option " + shown;
      return r;
    }
    if (o->kind == Kind::Flag) {
      if (has_inline) {
        r.error = shown + " takes no value";
        return r;
      }
      r.error = apply(*o, {}, s);
    } else if (has_inline) {
      r.error = apply(*o, inline_value, s);
    } else if (i + 1 < args.size()) {
      r.error = apply(*o, args[++i], s);
    } else {
      r.error = shown + " needs a value (" + std::string(o->value) + ")";
    }
    if (!r.error.empty()) return r;
  }

  if (s.help || s.version) return r;
  if (s.pictures.empty()) {
    r.error = "no picture given";
  } else if (s.pictures.size() > 1) {
    if (!s.output.empty())
      r.error = "--output: only with one picture";
    else if (!s.export_bmp.empty())
      r.error = "--export-bmp: only with one picture";
    else if (!s.png.empty())
      r.error = "--png: only with one picture";
    else
      r.error = shared_target(s);
  }
  if (r.error.empty()) r.error = check_palette_options(s);
  return r;
}

std::string usage_text() {
  std::ostringstream out;
  out << "Usage: tessera-convert [options] PICTURE...\n"
         "Converts pictures (bmp, png, jpg, gif) into BMP1 or BMP4 files for the target machine,\n"
         "as the converter window does after \"PROCESS\" and \"SAVE OUTPUT FILE\".\n\nOptions:\n";
  const Settings defaults;
  for (const Option& o : options()) {
    std::string left = o.letter != 0 ? std::string("  -") + o.letter + ", " : std::string("      ");
    left += std::string("--") + o.name;
    if (o.value != nullptr) left += std::string(" ") + o.value;
    std::string help = o.help;
    if (o.kind == Kind::Word)
      for (const Word& w : o.words)
        if (w.value == defaults.*o.number) help += std::string(" (default ") + w.word + ")";
    if (o.kind == Kind::Integer && defaults.*o.number >= o.min)
      help += " (default " + std::to_string(defaults.*o.number) + ")";
    if (o.kind == Kind::Text && !(defaults.*o.text).empty())
      help += " (default \"" + defaults.*o.text + "\")";
    out << left << std::string(left.size() < 34 ? 34 - left.size() : 1, ' ') << help << '\n';
    if (o.kind == Kind::Word) out << std::string(34, ' ') << "one of: " << word_list(o) << '\n';
    if (o.kind == Kind::Integer) out << std::string(34, ' ') << "from " << o.min << " to " << o.max << '\n';
  }
  out << "\nExit status: 0 when every picture was converted, 1 when one could not be read\n"
         "or written, 2 for a usage error.\n";
  return out.str();
}

void configure(const Settings& s, Store& store, ControlValues& controls) {
  controls.output_index = s.format == 1 ? 0 : 1;

  store.SCALE = s.scale;
  constexpr Ctl kPlaces[] = {Ctl::Fill, Ctl::Stretch, Ctl::Center, Ctl::Fit, Ctl::AspFill};
  controls.select(kPlaces[s.place]);
  store.ASPECT = s.no_aspect_correction ? 0 : 1;
  controls.checks[Ctl::GreyScale] = s.grey;
  store.BRIGHTNESS = s.brightness;
  store.CONTRAST = s.contrast;

  constexpr Ctl kMethods[] = {Ctl::MedianCut, Ctl::Kmeans, Ctl::Scolorq};
  controls.select(kMethods[s.method]);
  store.KMEANS = s.method;
  store.MAXITERATIONS = s.max_iterations;
  store.TRANS = s.trans;

  // With diffusion off the window keeps its kernel choice; only Dither is clear.
  constexpr Ctl kKernels[] = {Ctl::Atkinson, Ctl::FloydSteinburg, Ctl::Atkinson, Ctl::Burkes, Ctl::Stucki};
  controls.checks[Ctl::Dither] = s.diffusion != 0;
  controls.select(kKernels[s.diffusion]);
  controls.texts[Ctl::DitherValue] = s.diffusion_strength;

  controls.checks[Ctl::pattern] = s.bayer;
  store.BAYERSTRENGTH = bayer_strength(s.bayer_strength);
}

}  // namespace tessera::cli
