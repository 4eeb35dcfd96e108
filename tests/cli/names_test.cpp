// How tessera-convert prints names (quoted for the shell where a terminal
// would be fooled, base64 beside the JSON text where that cannot carry them)
// and how the contact sheet draws its captions.
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

class PlainNames : public ::testing::TestWithParam<std::string> {};
class QuotedNames : public ::testing::TestWithParam<Quoting> {};

TEST_P(PlainNames, AreShownAsTheyAre) { EXPECT_EQ(shown_name(GetParam()), GetParam()); }

INSTANTIATE_TEST_SUITE_P(Names, PlainNames,
                         ::testing::Values("snake.png", "it's a \"b\" $x.png", "日本 ünï.png", "a\\b", ""),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return "Name" + std::to_string(info.index);
                         });

TEST_P(QuotedNames, AsLsShowsThemAndTheShellTakesThemBack) {
  const Quoting& q = GetParam();
  EXPECT_EQ(shown_name(q.name), q.shown);
  // bash reads the word back as the very bytes of the name.
  const std::string cmd = "bash -c " + cli_test::shell_quoted("printf %s " + shown_name(q.name));
  std::FILE* pipe = ::popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string back;
  for (int c; (c = std::fgetc(pipe)) != EOF;) back += static_cast<char>(c);
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_EQ(back, q.name);
}

INSTANTIATE_TEST_SUITE_P(
    Names, QuotedNames,
    ::testing::Values(
        Quoting{"Newline", "a\nb", "'a'$'\\n''b'"},
        Quoting{"NewlineFirst", "\nb", "''$'\\n''b'"},
        Quoting{"NewlineLast", "a\n", "'a'$'\\n'"},
        Quoting{"TwoInARow", "a\n\nb", "'a'$'\\n\\n''b'"},
        Quoting{"Tab", "tab\tx", "'tab'$'\\t''x'"},
        Quoting{"EscapeSequence", "\x1b[31m", "''$'\\033''[31m'"},
        Quoting{"Delete", "d\x7f" "e", "'d'$'\\177''e'"},
        Quoting{"C1Control", "c1\xc2\x80", "'c1'$'\\302\\200'"},
        Quoting{"LineSeparator", "\xe2\x80\xa8x", "''$'\\342\\200\\250''x'"},
        Quoting{"ByteThatIsNoUtf8", "x\xff.png", "'x'$'\\377''.png'"},
        Quoting{"CutSequence", "\xe6\x97", "''$'\\346\\227'"},
        Quoting{"Overlong", "\xc0\xaf", "''$'\\300\\257'"},
        Quoting{"Surrogate", "\xed\xa0\x80", "''$'\\355\\240\\200'"},
        Quoting{"PastTheLastCodePoint", "\xf4\x90\x80\x80", "''$'\\364\\220\\200\\200'"},
        Quoting{"AccentBeforeABadByte", "\xc3\xa9\xff", "'\xc3\xa9'$'\\377'"},
        Quoting{"BackslashIsLiteral", "a\\\nb", "'a\\'$'\\n''b'"},
        Quoting{"QuoteAndNewline", "a'b\nc", "'a'\\''b'$'\\n''c'"},
        Quoting{"QuoteAfterAnEscape", "\n'", "''$'\\n'\\'''"},
        Quoting{"QuoteBeforeAnEscape", "'\n", "''\\'''$'\\n'"}),
    [](const ::testing::TestParamInfo<Quoting>& info) { return std::string(info.param.label); });

TEST(Utf8, WellFormedOnly) {
  const struct {
    std::string bytes;
    bool utf8;
  } rows[] = {{"", true},           {"plain", true},        {"日本 ünï", true},      {"\xf0\x9f\x87\xa9", true},
              {"\xff", false},      {"\x80", false},        {"\xc3", false},        {"\xc0\xaf", false},
              {"\xe0\x80\xaf", false}, {"\xed\xa0\x80", false}, {"\xf4\x90\x80\x80", false}, {"a\xc3(", false}};
  for (const auto& r : rows) EXPECT_EQ(is_utf8(r.bytes), r.utf8) << cli_test::shell_quoted(r.bytes);
}

TEST(Base64, TheVectorsOfTheStandard) {
  const std::pair<std::string, std::string> rows[] = {
      {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},     {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"x\xff.png", "eP8ucG5n"}};
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

bool same(const Surface& a, const Surface& b) { return a.pixels() == b.pixels(); }

struct Pair {
  const char* label;
  std::string text;
  std::string like;
};

void PrintTo(const Pair& p, std::ostream* os) { *os << p.label; }

class CaptionsDrawnAlike : public ::testing::TestWithParam<Pair> {};
class CaptionsDrawnApart : public ::testing::TestWithParam<Pair> {};

TEST_P(CaptionsDrawnAlike, TextAndItsLikeDrawTheSame) {
  EXPECT_TRUE(same(drawn(GetParam().text), drawn(GetParam().like)));
}

TEST_P(CaptionsDrawnApart, TextAndTheOtherDrawDifferently) {
  EXPECT_FALSE(same(drawn(GetParam().text), drawn(GetParam().like)));
}

const auto pair_name = [](const ::testing::TestParamInfo<Pair>& info) { return std::string(info.param.label); };

INSTANTIATE_TEST_SUITE_P(
    OneMarkACharacter, CaptionsDrawnAlike,
    ::testing::Values(Pair{"CjkCharacters", "日本x", "??x"}, Pair{"ByteThatIsNoUtf8", "\xffx", "?x"},
                      Pair{"CutSequenceIsAMarkAByte", "\xe6\x97x", "??x"},
                      Pair{"CombiningAcuteMakesTheAccentedLetter", "e\u0301x", "éx"},
                      Pair{"CombiningDiaeresisOnACapital", "A\u0308x", "Äx"},
                      Pair{"CombiningAccentTakesThePlaceOfTheDot", "i\u0301x", "íx"},
                      Pair{"UnknownCombiningMark", "e\u0323x", "?x"}, Pair{"TwoAccents", "e\u0301\u0301x", "?x"},
                      Pair{"CombiningMarkAlone", "\u0301x", "?x"},
                      Pair{"Flag", "\U0001F1E9\U0001F1EAx", "?x"},
                      Pair{"EmojiWithModifier", "\U0001F44D\U0001F3FDx", "?x"},
                      Pair{"EmojiJoined", "\U0001F468\u200D\U0001F469x", "?x"},
                      Pair{"VariationSelectorKeepsTheLetter", "a\uFE0Fx", "ax"},
                      Pair{"AccentAboveAnAscenderDoesNotFit", "ďx", "?x"}, Pair{"OneShapeTwoLetters", "Đ", "Ð"}),
    pair_name);

INSTANTIATE_TEST_SUITE_P(
    OwnCaseAndAccents, CaptionsDrawnApart,
    ::testing::Values(Pair{"SmallAndCapital", "snake", "SNAKE"}, Pair{"AccentedAndPlain", "é", "e"},
                      Pair{"AccentedCapitalAndPlain", "É", "E"}, Pair{"CedillaAndPlain", "ç", "c"},
                      Pair{"AcuteAndGrave", "é", "è"}, Pair{"CircumflexAndCaron", "ê", "ě"},
                      Pair{"FlagsOfTwoCountriesAreTwoMarksNotOne", "\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", "?"}),
    pair_name);

// Every character the sheet promises a letter for has one of its own: not
// the mark, not another's, and inside its cell, whose last row stays blank
// for the accents of the line below.
TEST(CaptionFont, EveryPromisedLetterIsDrawnAndDistinct) {
  std::vector<std::string> promised;
  for (char c = ' '; c <= '~'; ++c) promised.emplace_back(1, c);
  const std::string others =
      "ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞßàáâãäåæçèéêëìíîïðñòóôõöøùúûüýþÿ"
      "ĀāĂăĄąĆćĈĉĊċČčĎđĒēĔĕĖėĘęĚěĜĝĞğĠġĤĨĩĪīĬĭĮįİıĴĵĶķĹĻļĽŁłŃńŅņŇňŌōŎŏŐőŒœŔŕŖŗŘřŚśŜŝŞşŠšŢţŤŨũŪūŬŭŮůŰűŲųŴŵ"
      "ŶŷŸŹźŻżŽžȘșȚț";
  for (std::size_t i = 0; i < others.size();) {
    char32_t code = 0;
    const std::size_t n = utf8_sequence(std::string_view(others).substr(i), &code);
    ASSERT_GT(n, 0u);
    promised.push_back(others.substr(i, n));
    i += n;
  }
  const Surface mark = drawn("?");
  std::set<std::vector<std::uint32_t>> seen;
  for (const std::string& c : promised) {
    const Surface s = drawn(c);
    if (c != "?") {
      EXPECT_FALSE(same(s, mark)) << c << " is drawn as the mark";
    }
    if (c != " ") {
      EXPECT_TRUE(seen.insert(s.pixels()).second) << c << " looks like another letter";
    }
    for (int y = 0; y < s.height(); ++y)
      for (int x = 0; x < s.width(); ++x)
        if (x >= 5 || y == kCellHeight) {
          EXPECT_EQ(s.pixel(x, y), 0u) << c << " leaves its cell at " << x << ", " << y;
        }
  }
}

}  // namespace
