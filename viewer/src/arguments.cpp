#include "tessview/arguments.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tessview {

namespace {

// Options that Qt's application objects take from the command line, with
// their value in the next argument or after "=".
constexpr std::array<std::string_view, 15> kQtOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle", "session", "display", "geometry",
    "style", "stylesheet", "name", "title", "qmljsdebugger"};
constexpr std::array<std::string_view, 5> kQtFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

Arguments parse_arguments(const std::vector<std::string>& arguments) {
  Arguments out;
  // --help and --version answer whatever else is there, the first of them
  // that comes.
  for (const std::string& arg : arguments) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h" || arg == "--version") {
      out.action = arg == "--version" ? Arguments::Action::Version : Arguments::Action::Help;
      return out;
    }
  }
  bool png = false, positional_only = false, have_file = false;
  auto fail = [&out](std::string error) {
    out.action = Arguments::Action::Error;
    out.error = std::move(error);
    return out;
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (!positional_only && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        positional_only = true;
        continue;
      }
      if (arg == "--png") {
        if (i + 1 >= arguments.size()) return fail("--png needs the name of the PNG file to write");
        out.png = arguments[++i];
        png = true;
        continue;
      }
      std::string_view name(arg);
      name.remove_prefix(name.size() > 2 && name[1] == '-' ? 2 : 1);
      const std::size_t equals = name.find('=');
      if (listed(kQtOptionsWithValue, name.substr(0, equals))) {
        if (equals == std::string_view::npos) ++i;  // its value follows
        continue;
      }
      if (listed(kQtFlags, name)) continue;
      return fail("unknown option " + arg);
    }
    if (have_file) return fail("only one file can be shown");
    out.file = arg;
    have_file = true;
  }
  if (png && !have_file) return fail("--png needs a file to draw");
  out.action = png ? Arguments::Action::Png : Arguments::Action::Show;
  return out;
}

}  // namespace tessview
