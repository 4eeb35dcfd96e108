// The command line's options: one table of names, defaults and ranges, the
// parser that checks them, and the mapping onto the window's controls.
#pragma once

#include <string>
#include <vector>

#include "tessera/controls.h"
#include "tessera/store.h"

namespace tessera::cli {

// Every option's value; the defaults are the window's start states.
struct Settings {
  int format = 1;  // 1 = BMP1, 4 = BMP4
  int scale = 0;
  int place = 1;  // index into the placement words: stretch
  bool no_aspect_correction = false;
  bool grey = false;
  int brightness = 0;
  int contrast = 0;
  int method = 2;  // colorq
  int max_iterations = 50;
  int trans = 50;
  int diffusion = 0;
  std::string diffusion_strength = "100";
  bool bayer = false;
  std::string bayer_strength = "100";
  std::string output;
  std::string export_bmp;
  std::string png;
  std::string palette;         // palette file to convert onto
  std::string export_palette;  // palette file to write
  std::string pins;            // RRGGBB[,RRGGBB...]
  bool shared_palette = false;
  int jobs = 0;  // 0: one job per core
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> pictures;
};

struct ParseResult {
  Settings settings;
  std::string error;  // a usage error, naming the option and what it allows
};

ParseResult parse_arguments(const std::vector<std::string>& args);

std::string usage_text();

// Sets the controls and the store as the window would stand after a fresh
// start and the clicks that these settings stand for.
void configure(const Settings& settings, Store& store, ControlValues& controls);

}  // namespace tessera::cli
