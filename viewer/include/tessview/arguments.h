// tessview's command line, read from the raw arguments before any window
// system is touched, so that every answer to a wrong or informational command
// line comes without a display.
#pragma once

#include <string>
#include <vector>

namespace tessview {

struct Arguments {
  enum class Action { Show, Png, Help, Version, Error };
  Action action = Action::Show;
  std::string png;    // --png OUT
  std::string file;   // the file to show, "" for the dialog
  std::string error;  // for Action::Error
};

// arguments: argv[1..]. The options of Qt's own applications (-platform X,
// -style X, -reverse, ... with one or two dashes) are passed over: Qt takes
// them itself.
Arguments parse_arguments(const std::vector<std::string>& arguments);

}  // namespace tessview
