#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

#include "support/scratch.h"

int main(int argc, char** argv) {
  // The window needs an application; offscreen unless a display is chosen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // What the window remembers goes to a configuration folder of the run's
  // own, for the programs the tests start as well, never to the user's.
  const tessera::test_support::ScratchDir config("tessera-ui-config");
  ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
