// How tessera-convert prints names (quoted for the shell where a terminal
// would be fooled, base64 where JSON text cannot carry them) and how the
// contact sheet draws its captions.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "caption_font.h"
#include "cli_support.h"
#include "names.h"

using namespace tessera;
using namespace tessera::cli;

namespace {

struct Quoting {
  const char* label;
  std::string name;
  std::string shown;  // as ls --quoting-style=shell-escape shows it
};

void PrintTo(const Quoting& q, std::ostream* os) { *os << q.label; }

class NameQuoting : public ::testing::TestWithParam<Quoting> {};

TEST_P(NameQuoting, AsLsShowsItAndTheShellTakesItBack) {
  const Quoting& q = GetParam();
  EXPECT_EQ(shown_name(q.name), q.shown);
  if (q.shown == q.name) return;  // a plain name is no shell word
  std::FILE* pipe = ::popen(("bash -c " + cli_test::shell_quoted("printf %s " + q.shown)).c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string back;
  for (int c; (c = std::fgetc(pipe)) != EOF;) back += static_cast<char>(c);
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_EQ(back, q.name);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameQuoting,
    ::testing::Values(Quoting{"PlainStaysAsItIs", "it's a \"b\" $x.png", "it's a \"b\" $x.png"},
                      Quoting{"AccentsAndOtherScriptsStay", "日本 ünï.png", "日本 ünï.png"},
                      Quoting{"Newline", "a\nb", "'a'$'\\n''b'"}, Quoting{"NewlineFirst", "\nb", "''$'\\n''b'"},
                      Quoting{"NewlineLast", "a\n", "'a'$'\\n'"}, Quoting{"TwoInARow", "a\n\nb", "'a'$'\\n\\n''b'"},
                      Quoting{"EscapeSequence", "\x1b[31m", "''$'\\033''[31m'"},
                      Quoting{"C1Control", "c1\xc2\x80", "'c1'$'\\302\\200'"},
                      Quoting{"LineSeparator", "\xe2\x80\xa8x", "''$'\\342\\200\\250''x'"},
                      Quoting{"ByteThatIsNoUtf8", "x\xff.png", "'x'$'\\377''.png'"},
                      Quoting{"CutSequence", "\xe6\x97", "''$'\\346\\227'"},
                      Quoting{"Overlong", "\xc0\xaf", "''$'\\300\\257'"},
                      Quoting{"BackslashIsLiteral", "a\\\nb", "'a\\'$'\\n''b'"},
                      Quoting{"QuoteAndNewline", "a'b\nc", "'a'\\''b'$'\\n''c'"},
                      Quoting{"QuoteAfterAnEscape", "\n'", "''$'\\n'\\'''"}),
    [](const ::testing::TestParamInfo<Quoting>& info) { return std::string(info.param.label); });

TEST(Base64, TheVectorsOfTheStandard) {
  const std::pair<std::string, std::string> rows[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {"x\xff.png", "eP8ucG5n"}};
  for (const auto& [bytes, text] : rows) EXPECT_EQ(base64(bytes), text) << bytes;
}

// ---- the contact sheet's letters ---------------------------------------------------

// The text in the sheet's letters, one pixel a dot, ink 1 on 0, with the row
// above the cells that accents of capitals reach into.
Surface drawn(std::string_view text) {
  Surface s(kCellWidth * 8, 1 + kCellHeight, 0u);
  draw_text(s, 0, 1, text, 1, 1u);
  return s;
}

struct Captions {
  const char* label;
  std::string text, other;
  bool alike;
};

void PrintTo(const Captions& c, std::ostream* os) { *os << c.label; }

class CaptionFont : public ::testing::TestWithParam<Captions> {};

TEST_P(CaptionFont, DrawsTheTwoTextsAlikeOrApart) {
  EXPECT_EQ(drawn(GetParam().text).pixels() == drawn(GetParam().other).pixels(), GetParam().alike);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CaptionFont,
    ::testing::Values(Captions{"SmallAndCapital", "snake", "SNAKE", false},
                      Captions{"AccentedAndPlain", "É", "E", false}, Captions{"AcuteAndGrave", "é", "è", false},
                      Captions{"CjkCharactersAreAMarkEach", "日本x", "??x", true},
                      Captions{"ByteThatIsNoUtf8IsOneMark", "\xffx", "?x", true},
                      Captions{"CutSequenceIsAMarkAByte", "\xe6\x97x", "??x", true},
                      Captions{"CombiningAccentMakesTheAccentedLetter", "i\u0301x", "íx", true},
                      Captions{"UnknownCombiningMarkMakesOneMark", "e\u0323x", "?x", true},
                      Captions{"FlagIsOneMark", "\U0001F1E9\U0001F1EAx", "?x", true},
                      Captions{"EmojiJoinedIsOneMark", "\U0001F468\u200D\U0001F469x", "?x", true},
                      Captions{"AccentAboveAnAscenderDoesNotFit", "ďx", "?x", true}),
    [](const ::testing::TestParamInfo<Captions>& info) { return std::string(info.param.label); });

// Every character the sheet promises a letter for has one of its own: not
// the mark, not another's, and inside its cell, whose last row stays blank
// for the accents of the line below.
TEST(CaptionLetters, EveryPromisedLetterIsDrawnAndDistinct) {
  std::vector<std::string> promised;
  for (char c = ' '; c <= '~'; ++c) promised.emplace_back(1, c);
  const std::string others =
      "ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞßàáâãäåæçèéêëìíîïðñòóôõöøùúûüýþÿ"
      "ĀāĂăĄąĆćĈĉĊċČčĎđĒēĔĕĖėĘęĚěĜĝĞğĠġĤĨĩĪīĬĭĮįİıĴĵĶķĹĻļĽŁłŃńŅņŇňŌōŎŏŐőŒœŔŕŖŗŘřŚśŜŝŞşŠšŢţŤŨũŪūŬŭŮůŰűŲųŴŵ"
      "ŶŷŸŹźŻżŽžȘșȚț";
  char32_t code = 0;
  for (std::size_t i = 0, n = 0; i < others.size(); i += n) {
    n = utf8_sequence(std::string_view(others).substr(i), &code);
    ASSERT_GT(n, 0u);
    promised.push_back(others.substr(i, n));
  }
  const auto mark = drawn("?").pixels();
  std::set<std::vector<std::uint32_t>> seen;
  for (const std::string& c : promised) {
    const Surface s = drawn(c);
    EXPECT_TRUE(c == "?" || s.pixels() != mark) << c << " is drawn as the mark";
    EXPECT_TRUE(c == " " || seen.insert(s.pixels()).second) << c << " looks like another letter";
    for (int y = 0; y < s.height(); ++y)
      for (int x = 0; x < s.width(); ++x)
        EXPECT_TRUE((x < 5 && y < kCellHeight) || s.pixel(x, y) == 0u) << c << " leaves its cell at " << x << ", " << y;
  }
}

}  // namespace
