#include "tessera/command_line.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "tessera/frm_main.h"
#include "tessera/handlers.h"

namespace tessera {

namespace {

// Qt's own options, with one dash or two; the first ones take a value, as
// the next argument or after "=".
constexpr std::array<std::string_view, 13> kQtValueOptions = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "style", "stylesheet", "session", "display", "geometry", "qmljsdebugger"};
constexpr std::array<std::string_view, 5> kQtFlagOptions = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& list, std::string_view name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

CommandLine usage_error(std::string error) {
  CommandLine c;
  c.action = CommandLine::Action::UsageError;
  c.error = std::move(error);
  return c;
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
  CommandLine c;
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_done || a.size() < 2 || a[0] != '-') {
      if (c.picture) return usage_error("more than one picture named ('" + *c.picture + "', '" + a + "')");
      c.picture = a;
      continue;
    }
    if (a == "--") {
      options_done = true;
      continue;
    }
    if (a == "-h" || a == "--help") {
      c.action = CommandLine::Action::Help;
      return c;
    }
    if (a == "--version") {
      c.action = CommandLine::Action::Version;
      return c;
    }
    std::string_view name(a);
    name.remove_prefix(name.rfind("--", 0) == 0 ? 2 : 1);
    const std::size_t eq = name.find('=');
    const std::string_view bare = name.substr(0, eq);
    if (listed(kQtValueOptions, bare)) {
      c.qt_options.push_back(a);
      if (eq == std::string_view::npos) {
        if (i + 1 >= args.size()) return usage_error("option '" + a + "' needs a value");
        c.qt_options.push_back(args[++i]);
      }
      continue;
    }
    if (eq == std::string_view::npos && listed(kQtFlagOptions, bare)) {
      c.qt_options.push_back(a);
      continue;
    }
    return usage_error("unknown option '" + a + "'");
  }
  return c;
}

std::string command_line_usage() {
  return "Usage: Tessera [option]... [picture]\n"
         "Converts a picture into BMP1 or BMP4 files for the target machine, in a window.\n"
         "\n"
         "  picture        a bmp, png, jpg or gif file to open at the start\n"
         "  -h, --help     show this text and exit\n"
         "      --version  show the version and exit\n"
         "\n"
         "Qt's own options, such as -platform offscreen or -style fusion, are taken as well.\n"
         "Preview files go to the directory named by TMP.\n";
}

void open_named_picture(frmMain& f, const std::string& typed) {
  open_picture(f, typed);
  if (!f.store.LOADERROR.empty())
    f.StatusBar.set_text("Picture could not be read: " + f.store.LOADERROR + " (" + typed + ")");
}

}  // namespace tessera
