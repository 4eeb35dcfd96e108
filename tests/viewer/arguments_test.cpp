// The viewer's command line as read before any window system is started.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tessview/arguments.h"

using tessview::Arguments;
using tessview::parse_arguments;

namespace {

struct Case {
  const char* name;
  std::vector<std::string> args;
  Arguments::Action action;
  std::string file;
  std::string png;
  std::string error;
};

class ArgumentCases : public ::testing::TestWithParam<Case> {};

TEST_P(ArgumentCases, ActionFileAndError) {
  const Case& c = GetParam();
  const Arguments a = parse_arguments(c.args);
  EXPECT_EQ(a.action, c.action);
  EXPECT_EQ(a.file, c.file);
  EXPECT_EQ(a.png, c.png);
  EXPECT_EQ(a.error, c.error);
}

using A = Arguments::Action;
INSTANTIATE_TEST_SUITE_P(
    CommandLines, ArgumentCases,
    ::testing::Values(
        Case{"Nothing", {}, A::Show, "", "", ""},
        Case{"OneFile", {"pic.bmp1"}, A::Show, "pic.bmp1", "", ""},
        Case{"Png", {"--png", "o.png", "pic.bmp4"}, A::Png, "pic.bmp4", "o.png", ""},
        Case{"PngAfterTheFile", {"pic.bmp4", "--png", "o.png"}, A::Png, "pic.bmp4", "o.png", ""},
        Case{"Help", {"--help"}, A::Help, "", "", ""},
        Case{"ShortHelp", {"-h"}, A::Help, "", "", ""},
        Case{"HelpWinsOverAnUnknownOption", {"--bogus", "--help"}, A::Help, "", "", ""},
        Case{"HelpAfterDashDashIsAFile", {"--", "--help"}, A::Show, "--help", "", ""},
        Case{"Version", {"--version"}, A::Version, "", "", ""},
        Case{"VersionWinsOverAFileAndAnUnknownOption", {"pic.bmp1", "--bogus", "--version"}, A::Version, "", "",
             ""},
        Case{"TheFirstOfHelpAndVersionAnswers", {"--version", "--help"}, A::Version, "", "", ""},
        Case{"VersionAfterDashDashIsAFile", {"--", "--version"}, A::Show, "--version", "", ""},
        Case{"UnknownLong", {"--bogus", "pic.bmp1"}, A::Error, "", "", "unknown option --bogus"},
        Case{"UnknownShort", {"-x"}, A::Error, "", "", "unknown option -x"},
        Case{"PngWithoutItsName", {"--png"}, A::Error, "", "", "--png needs the name of the PNG file to write"},
        Case{"PngWithoutAFile", {"--png", "o.png"}, A::Error, "", "o.png", "--png needs a file to draw"},
        Case{"TwoFiles", {"a.bmp1", "b.bmp1"}, A::Error, "a.bmp1", "", "only one file can be shown"},
        Case{"DashIsAFile", {"-"}, A::Show, "-", "", ""},
        Case{"QtOptionsArePassedOver",
             {"-platform", "offscreen", "--style=fusion", "-reverse", "--qwindowtitle", "T", "pic.bmp1"},
             A::Show, "pic.bmp1", "", ""},
        Case{"NonUtf8NameKeepsItsBytes", {"pic\xff.bmp1"}, A::Show, "pic\xff.bmp1", "", ""}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
