// The command line's options: one table of names, defaults and ranges, the
// parser that checks them, and the mapping onto the window's controls.
#pragma once

#include <string>
#include <vector>

#include "tessera/controls.h"
#include "tessera/settings_file.h"
#include "tessera/store.h"

namespace tessera::cli {

// One picture of a batch and the files it is saved as.
struct Job {
  std::string picture;  // the path read ("" for standard input)
  std::string shown;    // the name used in messages and reports
  std::string output;   // target file; "" for the name beside the picture
  std::string export_bmp;
  std::string png;
  bool standard_input = false;  // the picture comes from standard input
  // Not empty: a folder that could not be listed, and the message that says
  // so. It stands in the batch where its pictures would have, and fails.
  std::string unlisted;
};

// Every option's value. The conversion settings (the part a settings file
// holds) start at the window's start states.
struct Settings : ConversionSettings {
  bool format_given = false;  // --format was given (else --output's name may set it)
  // The settings given by an option or a settings file, which --best leaves.
  std::vector<std::string> given;
  std::string output;
  std::string export_bmp;
  std::string png;
  std::string export_palette;  // palette file to write
  bool shared_palette = false;
  std::string output_dir;
  std::string export_bmp_dir;
  std::string png_dir;
  bool recursive = false;
  bool no_clobber = false;      // keep every output file that exists already
  bool keep_extension = false;  // snake.png -> snake.png.bmp1, so snake.jpg has a name of its own
  std::string save_settings;
  int report = 0;  // 0 none, 1 JSON Lines on standard output
  std::string contact_sheet;
  std::string sheet_methods = "median-cut,kmeans,colorq";
  std::string sheet_diffusions = "none,floyd-steinberg,atkinson,burkes,stucki,bayer";
  int jobs = 0;  // 0: one job per core
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> pictures;  // as given: files, folders, "-"
};

struct ParseResult {
  Settings settings;
  std::vector<Job> jobs;              // the pictures to convert, folders listed
  std::vector<std::string> warnings;  // texts that convert but are not numbers
  std::vector<std::string> notes;     // what the run leaves out without being asked (subfolders without -r)
  std::string error;                  // a usage error, naming the option and what it allows
  // The error is about a file an option names that cannot be read (exit
  // status 1, as for a picture that cannot be read), not about the words.
  bool unreadable = false;
};

ParseResult parse_arguments(const std::vector<std::string>& args);

std::string usage_text();

// Sets the controls and the store as the window would stand after a fresh
// start and the clicks that these settings stand for.
void configure(const ConversionSettings& settings, Store& store, ControlValues& controls);

}  // namespace tessera::cli
