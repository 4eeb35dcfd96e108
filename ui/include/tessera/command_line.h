// The converter program's command line: an optional picture to open, --help,
// --version, and the options Qt itself takes (-platform, -style, ...).
// Read before the application object exists, so that --help and --version
// work without a display.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tessera {

class frmMain;

struct CommandLine {
  enum class Action { Run, Help, Version, UsageError };
  Action action = Action::Run;
  std::optional<std::string> picture;  // as typed
  std::vector<std::string> qt_options;  // handed on to the application object
  std::string error;                   // for UsageError
};

// args: the arguments after the program name.
CommandLine parse_command_line(const std::vector<std::string>& args);

// What --help prints.
std::string command_line_usage();

// Opens the picture named on the command line. When it cannot be read, the
// status line says which name it was, as typed.
void open_named_picture(frmMain& f, const std::string& typed);

}  // namespace tessera
