#include "options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "palette_options.h"
#include "batch.h"
#include "contact_sheet.h"
#include "names.h"
#include "output_paths.h"
#include "tessera/number.h"
#include "tessera/render.h"
#include "tessera/target_files.h"

namespace tessera::cli {

namespace {

// Setting: a conversion setting, the settings-file key of the same name,
// which knows its values; the others belong to the command line alone.
enum class Kind { Flag, Integer, Word, Text, Setting };

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
  std::vector<SettingWord> words = {};
  // A Text option whose value is acted on at once rather than stored.
  // unreadable: set when the value names a file that cannot be read.
  std::string (*act)(std::string_view value, Settings& s, bool& unreadable) = nullptr;
  // A conversion setting: its row of the settings table.
  const SettingKey* key = nullptr;
};

// A conversion setting as an option: everything from its row.
Option setting_option(const SettingKey& key) {
  Option o{key.name, key.letter, Kind::Setting, key.value_name, key.help};
  o.key = &key;
  return o;
}

// Reads a settings file over what is set so far; options after it win.
std::string read_settings(std::string_view path, Settings& s, bool& unreadable) {
  const std::string name(path);
  // A file that is not there is a file that cannot be read, as a picture
  // that is not there is; a wrong line in it is a wrong option.
  std::error_code ec;
  if (std::filesystem::is_directory(name, ec)) {
    unreadable = true;
    return "--settings " + shown_name(name) + ": is a folder";
  }
  if (std::ifstream probe(name, std::ios::binary); !probe) {
    unreadable = true;
    return "--settings " + shown_name(name) + ": cannot read the file: " + std::strerror(errno);
  }
  return load_settings_file(name, s, &s.given);
}

const char* export_palette_help() {
  static const std::string help = "also write the palette (" + palette_extensions(true) + ")";
  return help.c_str();
}

// The conversion settings come whole from their table, right after
// --settings; the rest are the command line's own.
std::vector<Option> option_table() {
  std::vector<Option> table = {
      {"settings", 0, Kind::Text, "FILE",
       "read settings from a file (options after it win)", nullptr, nullptr, nullptr, 0, 0, {}, read_settings},
  };
  for (const SettingKey& key : setting_keys()) table.push_back(setting_option(key));
  const std::vector<Option> own = {
      {"save-settings", 0, Kind::Text, "FILE",
       "write the settings in effect to a file (and stop, unless pictures are given)", nullptr, nullptr,
       &Settings::save_settings},
      // The second lines of --output, --export-bmp and --png continue under the first.
      {"output", 'o', Kind::Text, "PATH",
       "target file (one picture only; default beside the picture)\n"
       "                                  - for standard output; without --format, a .bmp4 name gives BMP4",
       nullptr, nullptr, &Settings::output},
      {"output-dir", 'O', Kind::Text, "DIR", "write the targets into this folder", nullptr, nullptr,
       &Settings::output_dir},
      {"export-bmp", 0, Kind::Text, "PATH",
       "also write the 320 x 200 BMP export (one picture only)\n"
       "                                  a .bmp name, or - for standard output",
       nullptr, nullptr, &Settings::export_bmp},
      {"export-bmp-dir", 0, Kind::Text, "DIR", "also write the BMP exports (NAME_out.bmp) into this folder",
       nullptr, nullptr, &Settings::export_bmp_dir},
      {"png", 0, Kind::Text, "PATH",
       "also write the rendered picture as a 320 x 200 PNG (one picture only)\n"
       "                                  a .png name, or - for standard output",
       nullptr, nullptr, &Settings::png},
      {"export-palette", 0, Kind::Text, "FILE", export_palette_help(), nullptr, nullptr, &Settings::export_palette},
      {"shared-palette", 0, Kind::Flag, nullptr, "one palette over all the pictures", &Settings::shared_palette},
      {"png-dir", 0, Kind::Text, "DIR", "also write the rendered pictures (NAME_out.png) into this folder",
       nullptr, nullptr, &Settings::png_dir},
      {"recursive", 'r', Kind::Flag, nullptr, "folders given: also their subfolders, kept under the output folders",
       &Settings::recursive},
      {"no-clobber", 'n', Kind::Flag, nullptr,
       "keep every target, export and PNG that exists already (and say so)", &Settings::no_clobber},
      {"keep-extension", 0, Kind::Flag, nullptr,
       "name the outputs after the whole name: snake.png -> snake.png.bmp1\n"
       "                                  (so snake.jpg gets snake.jpg.bmp1 beside it)",
       &Settings::keep_extension},
      {"report",
       0,
       Kind::Word,
       "FORMAT",
       "print a report of every picture on standard output",
       nullptr,
       &Settings::report,
       nullptr,
       0,
       0,
       {{"none", 0}, {"json", 1}}},
      {"contact-sheet", 0, Kind::Text, "FILE.png",
       "draw one picture with every method and dithering into one PNG (converts nothing)", nullptr,
       nullptr, &Settings::contact_sheet},
      {"sheet-methods", 0, Kind::Text, "LIST", "methods of the contact sheet, separated by commas", nullptr,
       nullptr, &Settings::sheet_methods},
      {"sheet-diffusions", 0, Kind::Text, "LIST",
       "dithering of the contact sheet: none, kernels, bayer", nullptr, nullptr,
       &Settings::sheet_diffusions},
      {"jobs", 'j', Kind::Integer, "N", "pictures converted at once (default: one per core)", nullptr,
       &Settings::jobs, nullptr, 1, 256},
      {"quiet", 'q', Kind::Flag, nullptr, "no progress messages", &Settings::quiet},
      {"help", 0, Kind::Flag, nullptr, "show this help", &Settings::help},
      {"version", 0, Kind::Flag, nullptr, "show the version", &Settings::version},
  };
  table.insert(table.end(), own.begin(), own.end());
  return table;
}

const std::vector<Option>& options() {
  static const std::vector<Option> table = option_table();
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

// The number of one-character edits (insert, delete, replace, swap of two
// neighbours) that turn a into b.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

// The long name a typo most likely meant, or null when none is close: up to
// two edits, and fewer than half the letters, so "--x" suggests nothing.
// Case is not a typo worth counting (--Format).
const char* nearest_long_name(std::string_view typed) {
  std::string lower(typed);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const char* best = nullptr;
  std::size_t best_distance = 3;
  for (const Option& o : options()) {
    const std::size_t d = edit_distance(lower, o.name);
    if (d < best_distance && d * 2 < std::string_view(o.name).size()) {
      best = o.name;
      best_distance = d;
    }
  }
  return best;
}

// Options that stand alone, without a value of their own.
bool takes_no_value(const Option& o) {
  return o.kind == Kind::Flag || (o.kind == Kind::Setting && o.key->kind == SettingKind::Flag);
}

std::string word_list(const Option& o) {
  std::string out;
  for (const SettingWord& w : o.kind == Kind::Setting ? o.key->words : o.words)
    out += (out.empty() ? "" : ", ") + std::string(w.word);
  return out;
}

// Applies one value; returns a usage error or "". A flag has no value unless
// written --flag=true or --flag=false (has_value).
std::string apply(const Option& o, std::string_view value, bool has_value, Settings& s, bool& unreadable) {
  const std::string name = std::string("--") + o.name;
  switch (o.kind) {
    case Kind::Setting: {
      const SettingKey& key = *o.key;
      if (&key == &setting_key("format")) s.format_given = true;
      s.given.emplace_back(key.name);
      const std::string wrong =
          set_setting(key, key.kind == SettingKind::Flag && !has_value ? std::string_view("true") : value, s);
      return wrong.empty() ? wrong : name + ": " + wrong;
    }
    case Kind::Flag:
      s.*o.flag = true;
      return {};
    case Kind::Text:
      if (o.act != nullptr) return o.act(value, s, unreadable);
      s.*o.text = std::string(value);
      return {};
    case Kind::Word:
    case Kind::Integer: {
      const std::string wrong = o.kind == Kind::Word ? read_word(o.words, value, s.*o.number)
                                                     : read_whole_number(value, o.min, o.max, s.*o.number);
      return wrong.empty() ? wrong : name + ": " + wrong;
    }
  }
  return {};
}

// One option given by its long name ("--name" or "--name=value").
std::string long_option(const std::vector<std::string>& args, std::size_t& i, Settings& s, bool& unreadable) {
  std::string_view body = std::string_view(args[i]).substr(2);
  std::string_view value;
  bool has_value = false;
  const std::size_t eq = body.find('=');
  if (eq != std::string_view::npos) {
    value = body.substr(eq + 1);
    has_value = true;
    body = body.substr(0, eq);
  }
  const std::string shown = "--" + std::string(body);
  const Option* o = find_long(body);
  if (o == nullptr) {
    const char* near = nearest_long_name(body);
    return "unknown option " + shown + (near != nullptr ? std::string("; did you mean --") + near + "?" : "");
  }
  if (takes_no_value(*o)) {
    if (has_value && o->kind == Kind::Flag) return shown + " takes no value";
    return apply(*o, value, has_value, s, unreadable);
  }
  if (has_value) return apply(*o, value, true, s, unreadable);
  if (i + 1 < args.size()) return apply(*o, args[++i], true, s, unreadable);
  return shown + " needs a value (" + std::string(o->value) + ")";
}

// Short options, alone or run together: -q, -j2, -qj2, -fbmp4, -j 2.
std::string short_options(const std::vector<std::string>& args, std::size_t& i, Settings& s, bool& unreadable) {
  const std::string& arg = args[i];
  for (std::size_t k = 1; k < arg.size(); ++k) {
    const std::string shown = std::string("-") + arg[k];
    const Option* o = find_short(arg[k]);
    if (o == nullptr) return "unknown option " + shown;
    if (takes_no_value(*o)) {
      const std::string wrong = apply(*o, {}, false, s, unreadable);
      if (!wrong.empty()) return wrong;
      continue;
    }
    if (k + 1 < arg.size()) return apply(*o, std::string_view(arg).substr(k + 1), true, s, unreadable);
    if (i + 1 < args.size()) return apply(*o, args[++i], true, s, unreadable);
    return shown + " needs a value (" + std::string(o->value) + ")";
  }
  return {};
}

// Checks the combinations once every option is read; "" when they fit.
std::string check_combinations(const Settings& s) {
  if (!s.output.empty() && !s.output_dir.empty()) return "--output: not together with --output-dir";
  if (!s.export_bmp.empty() && !s.export_bmp_dir.empty()) return "--export-bmp: not together with --export-bmp-dir";
  if (!s.png.empty() && !s.png_dir.empty()) return "--png: not together with --png-dir";
  const auto stdin_count = std::count(s.pictures.begin(), s.pictures.end(), std::string("-"));
  if (stdin_count > 1) return "-: standard input can be read only once";
  if (stdin_count == 1) {
    if (s.pictures.size() > 1) return "-: a picture from standard input only alone";
    if (s.contact_sheet.empty() && s.output.empty())
      return "-: a picture from standard input needs --output for its target";
    if (!s.export_bmp_dir.empty()) return "--export-bmp-dir: a picture from standard input needs --export-bmp";
    if (!s.png_dir.empty()) return "--png-dir: a picture from standard input needs --png";
  }
  if (!s.contact_sheet.empty()) {
    for (const auto& [set, name] : {std::pair{!s.output.empty(), "--output"},
                                    {!s.output_dir.empty(), "--output-dir"},
                                    {!s.export_bmp.empty(), "--export-bmp"},
                                    {!s.export_bmp_dir.empty(), "--export-bmp-dir"},
                                    {!s.png.empty(), "--png"},
                                    {!s.png_dir.empty(), "--png-dir"},
                                    {s.report != 0, "--report"}})
      if (set) return std::string(name) + ": not together with --contact-sheet, which converts nothing";
    std::vector<SheetColumn> columns;
    std::vector<Method> methods;
    if (std::string e = sheet_methods(s.sheet_methods, methods); !e.empty()) return "--sheet-methods: " + e;
    if (std::string e = sheet_diffusions(s.sheet_diffusions, columns); !e.empty())
      return "--sheet-diffusions: " + e;
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
    r.error = arg.rfind("--", 0) == 0 ? long_option(args, i, s, r.unreadable) : short_options(args, i, s, r.unreadable);
    if (!r.error.empty()) return r;
  }

  if (s.help || s.version) return r;
  if (s.best)
    apply_best(s, [&](std::string_view name) { return std::find(s.given.begin(), s.given.end(), name) != s.given.end(); });
  for (const SettingKey& key : setting_keys())
    if (const std::string w = setting_warning(key, s); !w.empty())
      r.warnings.push_back("--" + std::string(key.name) + ": " + w);
  if (!s.save_settings.empty()) {
    // A settings file is checked as the conversion it stands for would be,
    // so that it is not found wanting only when it is used.
    r.error = check_palette_options(s, 0);
    if (!r.error.empty()) return r;
    std::vector<PaletteColour> colours;
    if (!s.palette.empty()) r.error = read_palette_option(s, colours);
    if (!r.error.empty()) {
      r.unreadable = true;
      return r;
    }
    std::string left_out;
    for (const auto& [given, name] : {std::pair{!s.output_dir.empty(), "-O"}, {s.recursive, "-r"},
                                      {s.jobs != 0, "-j"}, {s.no_clobber, "-n"},
                                      {s.keep_extension, "--keep-extension"},
                                      {s.shared_palette, "--shared-palette"}})
      if (given) left_out += (left_out.empty() ? "" : ", ") + std::string(name);
    if (!left_out.empty())
      r.notes.push_back("--save-settings: " + left_out + " not saved (they belong to the run, not to the conversion)");
  }
  if (s.pictures.empty()) {
    if (s.save_settings.empty()) r.error = "no picture given";
    return r;
  }
  r.error = check_combinations(s);
  if (r.error.empty()) r.error = settle_output_names(s);
  if (r.error.empty()) r.error = plan_jobs(s, r.jobs, &r.notes);
  if (r.error.empty() && !s.contact_sheet.empty() && r.jobs.size() != 1)
    r.error = "--contact-sheet: one picture only";
  if (!r.error.empty() || !s.contact_sheet.empty()) return r;
  // A folder that could not be listed writes nothing: it does not make a
  // second picture for the options that take only one.
  const auto pictures = static_cast<std::size_t>(
      std::count_if(r.jobs.begin(), r.jobs.end(), [](const Job& j) { return j.unlisted.empty(); }));
  if (pictures > 1) {
    if (!s.output.empty())
      r.error = "--output: only with one picture";
    else if (!s.export_bmp.empty())
      r.error = "--export-bmp: only with one picture";
    else if (!s.png.empty())
      r.error = "--png: only with one picture";
  }
  if (r.error.empty()) r.error = check_palette_options(s, pictures);
  if (r.error.empty()) r.error = shared_files(r.jobs, s.format, !s.keep_extension);
  return r;
}

std::string usage_text() {
  std::ostringstream out;
  out << "Usage: tessera-convert [options] PICTURE...\n"
         "Converts pictures (bmp, png, jpg, gif) into BMP1 or BMP4 files for the target machine,\n"
         "as the converter window does after \"PROCESS\" and \"SAVE OUTPUT FILE\".\n"
         "A PICTURE may be a folder (its bmp, png, jpg, jpeg and gif files) or - for one picture\n"
         "read from standard input.\n\nOptions:\n";
  const Settings defaults;
  for (const Option& o : options()) {
    std::string left = o.letter != 0 ? std::string("  -") + o.letter + ", " : std::string("      ");
    left += std::string("--") + o.name;
    if (o.value != nullptr) left += std::string(" ") + o.value;
    std::string help = o.help;
    const SettingKey* key = o.key;
    const bool word = o.kind == Kind::Word || (key && key->kind == SettingKind::Word);
    const bool integer = o.kind == Kind::Integer || (key && key->kind == SettingKind::Integer);
    const int low = key ? key->min : o.min, high = key ? key->max : o.max;
    if (key && key->kind != SettingKind::Flag && key->kind != SettingKind::Name) {
      const std::string value = setting_value(*key, defaults);
      help += key->kind == SettingKind::Text ? " (default \"" + value + "\")" : " (default " + value + ")";
    }
    if (o.kind == Kind::Word)
      for (const SettingWord& w : o.words)
        if (w.value == defaults.*o.number) help += std::string(" (default ") + w.word + ")";
    if (o.kind == Kind::Integer && defaults.*o.number >= o.min)
      help += " (default " + std::to_string(defaults.*o.number) + ")";
    if (o.kind == Kind::Text && o.text != nullptr && !(defaults.*o.text).empty())
      help += " (default \"" + defaults.*o.text + "\")";
    out << left << std::string(left.size() < 34 ? 34 - left.size() : 1, ' ') << help << '\n';
    if (word) out << std::string(34, ' ') << "one of: " << word_list(o) << '\n';
    if (integer) out << std::string(34, ' ') << "from " << low << " to " << high << '\n';
  }
  out << "\nA settings file holds one 'option = value' a line, with the long names above\n"
         "(format = bmp4, bayer = true); lines starting with # are comments. Words may be\n"
         "written in any case; short options may be run together (-qj2, -fbmp4).\n"
         "\nExit status: 0 when every picture was converted (or, with -n, kept), 1 when a\n"
         "picture or a file named by an option (--settings, --palette) could not be read\n"
         "or an output could not be written, 2 for a usage error.\n";
  return out.str();
}

void configure(const ConversionSettings& s, Store& store, ControlValues& controls) {
  controls.output_index = s.format == TargetFormat::Bmp1 ? 0 : 1;

  store.SCALE = static_cast<int>(s.scale);
  controls.select(control_of(setting_key("place"), static_cast<int>(s.place)));
  store.ASPECT = s.no_aspect_correction ? 0 : 1;
  controls.checks[Ctl::GreyScale] = s.grey;
  store.BRIGHTNESS = s.brightness;
  store.CONTRAST = s.contrast;

  controls.select(control_of(setting_key("method"), static_cast<int>(s.method)));
  store.KMEANS = static_cast<int>(s.method);
  store.MAXITERATIONS = rounded_number_value(s.max_iterations);
  store.TRANS = s.trans;
  store.PALETTEPICK = static_cast<int>(s.palette_pick);
  store.PALETTEFILL = static_cast<int>(s.palette_fill);

  // With diffusion off the window keeps its kernel choice (Atkinson from the
  // start); only Dither is clear.
  const Ctl kernel = control_of(setting_key("diffusion"), static_cast<int>(s.diffusion));
  controls.checks[Ctl::Dither] = s.diffusion != Diffusion::None;
  controls.select(kernel == Ctl::None ? Ctl::Atkinson : kernel);
  controls.texts[Ctl::DitherValue] = s.diffusion_strength;

  controls.checks[Ctl::pattern] = s.bayer;
  store.BAYERSTRENGTH = bayer_strength(s.bayer_strength);

  // A kernel without an option button rides on Dither alone.
  store.KERNEL = kernel == Ctl::None && s.diffusion != Diffusion::None ? static_cast<int>(s.diffusion) : 0;
  store.DISTANCE = static_cast<int>(s.distance);
  store.LINEARLIGHT = static_cast<int>(s.light);
  store.REFINE = s.refine_palette ? 1 : 0;
  store.PALETTEFIT = s.fit_palette ? 1 : 0;
  store.PAIRSDITHERED = static_cast<int>(s.cell_pairs);
}

}  // namespace tessera::cli
