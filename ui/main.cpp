#include <QApplication>
#include <QTimer>
#include <iostream>
#include <string>
#include <vector>

#include "tessera/command_line.h"
#include "tessera/frm_main.h"
#include "tessera/handlers.h"
#include "tessera/recent_files.h"

int main(int argc, char** argv) {
  // The command line is read before the application object exists: --help
  // and --version must work where there is no display to open.
  const tessera::CommandLine command = tessera::parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
  switch (command.action) {
    case tessera::CommandLine::Action::Help:
      std::cout << tessera::command_line_usage();
      return 0;
    case tessera::CommandLine::Action::Version:
      std::cout << "Tessera " << TESSERA_VERSION << '\n';
      return 0;
    case tessera::CommandLine::Action::UsageError:
      std::cerr << "Tessera: " << command.error << "\nTry 'Tessera --help'.\n";
      return 2;
    case tessera::CommandLine::Action::Run:
      break;
  }

  // Qt sees only its own options; the picture is taken as typed.
  std::vector<std::string> qt_args{argc > 0 ? argv[0] : "Tessera"};
  qt_args.insert(qt_args.end(), command.qt_options.begin(), command.qt_options.end());
  std::vector<char*> qt_argv;
  for (std::string& a : qt_args) qt_argv.push_back(a.data());
  qt_argv.push_back(nullptr);
  int qt_argc = static_cast<int>(qt_args.size());

  QApplication app(qt_argc, qt_argv.data());
  tessera::frmMain window;
  window.store.IMGSCALE = 6;
  window.store.TEMPFILEPATH = tessera::default_temp_path();
  // The last session's settings, when the user asked for them, before a
  // picture named here is converted with them.
  QTimer::singleShot(0, [&window] { tessera::restore_last_settings(window); });
  // A picture named on the command line opens as if chosen in the dialog,
  // once the window is up and its output list is filled.
  if (command.picture) {
    const std::string path = *command.picture;
    QTimer::singleShot(0, [&window, path] { tessera::open_named_picture(window, path); });
  }
  window.run();
  return 0;
}
