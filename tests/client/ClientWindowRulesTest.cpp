// The rules behind the client's station list, frequency window and receive window, without
// widgets: tables of inputs and what they give.
#include <gtest/gtest.h>

#include "client/ClientSettings.h"
#include "client/FreqMemories.h"
#include "client/RxCopy.h"
#include "client/StationList.h"
#include "common/Utils.h"

namespace {

// The seven fields the receive window copies into, and its menu's seven items.
template <class T>
auto Fields(const T& t) {
  return std::tie(t.Call, t.Name, t.RstRcvd, t.SerRcvd, t.Qth, t.Grid, t.Comment);
}
auto Fields(const TCopyMenuState& t) {
  return std::tie(t.Call, t.Name, t.RstRcvd, t.SerialRcvd, t.Qth, t.Grid, t.Comment);
}

TEST(FreqCommandText, TypedFrequenciesBecomeKilohertzWithThreeDecimals) {
  const struct {
    const char* typed;
    const char* sent;  // nullptr: nothing is sent
  } rows[] = {
      {"14.06", "14060.000"}, {"7040", "7040.000"},  {"1499.9", "1499900.000"},
      {"1500", "1500.000"},   {" 3.5 ", "3500.000"}, {"28074.5", "28074.500"},
      {"abc", nullptr},       {"", nullptr},         {"14,06", nullptr},
      {"14.06x", nullptr},    {"-7", nullptr},       {"0", nullptr},
      {"1e999", nullptr},     {"nan", nullptr},
  };
  for (const auto& row : rows) {
    auto text = FreqCommandText(row.typed);
    if (row.sent) {
      ASSERT_TRUE(text.has_value()) << row.typed;
      EXPECT_EQ(*text, row.sent) << row.typed;
    } else {
      EXPECT_FALSE(text.has_value()) << row.typed;
    }
  }
}

TEST(FreqStepOfTag, TagsGiveTheirSteps) {
  const std::pair<int, double> rows[] = {{1, 0.01}, {2, 0.1},    {3, 1},   {4, 10},
                                         {5, 100},  {-1, -0.01}, {-3, -1}, {-5, -100},
                                         {0, 0},    {6, 0},      {-6, 0}};
  for (const auto& [tag, step] : rows) EXPECT_DOUBLE_EQ(FreqStepOfTag(tag), step) << tag;
}

TEST(FreqMemories, KeptInFrequencyOrderWithoutDuplicates) {
  TFreqMemories m;
  m.Load({"7040.000", "14060.000", "3560.000", "7040.000"});
  EXPECT_TRUE(m.Add("10116.000"));
  EXPECT_FALSE(m.Add("3560.000"));
  EXPECT_EQ(m.Items(),
            (std::vector<std::string>{"3560.000", "7040.000", "10116.000", "14060.000"}));
}

TEST(RxWord, ReportsAndLocators) {
  const struct {
    const char* upper;
    bool report;
    const char* form;
  } reports[] = {{"5NN", true, "599"}, {"57N", true, "579"}, {"1TT", true, "100"},
                 {"599", true, "599"}, {"5N", false, ""},    {"5NNN", false, ""},
                 {"5NA", false, ""}};
  for (const auto& r : reports) {
    EXPECT_EQ(TRxWord::IsReport(r.upper), r.report) << r.upper;
    if (r.report) {
      EXPECT_EQ(TRxWord::ReportForm(r.upper), r.form) << r.upper;
    }
  }
  const std::pair<const char*, bool> grids[] = {{"jo20", true},    {"jo20ab", true},
                                                {"jo2", false},    {"jo20a", false},
                                                {"joab20", false}, {"q1xyz", false}};
  for (const auto& [word, grid] : grids) EXPECT_EQ(TRxWord::LooksLikeGrid(word), grid) << word;
}

TEST(RxWord, DoubleClickFillsTheFieldThatSuitsTheWord) {
  // Each row double-clicks one word into the fields left by the rows before it.
  // The seven fields the copies reach: call, name, report and serial received, QTH, grid, comment.
  struct Seven {
    std::string Call, Name, RstRcvd, SerRcvd, Qth, Grid, Comment;
  };
  const struct {
    const char* word;
    Seven after;
  } rows[] = {
      {"alex", {"", "Alex", "", "", "", "", ""}},
      {"paris", {"", "Alex", "", "", "Paris", "", ""}},
      {"nice", {"", "Alex", "", "", "Paris", "", "Nice"}},
      {" 5nn ", {"", "Alex", "599", "", "Paris", "", "Nice"}},
      {"5nn", {"", "Alex", "599", "599", "Paris", "", "Nice"}},
      {"q1xyz", {"Q1XYZ", "Alex", "599", "599", "Paris", "", "Nice"}},
      {"jo20ab", {"Q1XYZ", "Alex", "599", "599", "Paris", "JO20ab", "Nice"}},
      {"k2abc/p", {"Q1XYZ", "Alex", "599", "599", "Paris", "JO20ab", "Nice K2abc/p"}},
      {"   ", {"Q1XYZ", "Alex", "599", "599", "Paris", "JO20ab", "Nice K2abc/p"}},
  };
  TRxWord word;
  TContactFields f;
  for (const auto& row : rows) {
    word.SmartCopy(row.word, false, &f);
    EXPECT_EQ(Fields(f), Fields(row.after)) << row.word;
  }
}

TEST(RxWord, NameOmIsOverwrittenAndLongWordsAreCut) {
  TRxWord word;
  TContactFields f;
  f.Name = "OM";
  word.SmartCopy("bob", false, &f);
  EXPECT_EQ(f.Name, "Bob");
  f.Qth = "X";
  word.SmartCopy("abcdefghijklmnopqrstuvwxyz", false, &f);
  EXPECT_EQ(f.Comment, "Abcdefghijklmnop");  // the first letter and 15 more
}

TEST(RxWord, NothingIsCopiedInReceiveOnlyUseOrWithoutTheContactWindow) {
  TRxWord word;
  TContactFields f;
  word.SmartCopy("alex", true, &f);
  EXPECT_EQ(f.Name, "");
  word.SmartCopy("alex", false, nullptr);  // must not crash
}

TEST(RxWord, MenuItemsFollowTheWord) {
  const struct {
    const char* selection;
    bool rxOnly, showing;
    TCopyMenuState menu;  // Call, Name, Rpt, Serial, QTH, Grid, Comment
  } rows[] = {
      {"alex", false, true, {false, true, false, true, true, false, true}},
      {"5nn", false, true, {true, false, true, true, true, false, true}},
      {"jo 20ab", false, true, {true, false, false, true, true, true, true}},
      {"alex", true, true, {}},
      {"alex", false, false, {}},
      {"  ", false, true, {}},
  };
  TRxWord word;
  for (const auto& row : rows) {
    TCopyMenuState m = word.MenuOpened(row.selection, row.rxOnly, row.showing);
    EXPECT_EQ(Fields(m), Fields(row.menu)) << row.selection;
  }
}

TEST(RxWord, MenuItemsCopyTheWordTakenWhenTheMenuOpened) {
  TRxWord word;
  TContactFields f;
  word.MenuOpened("jo 20ab", false, true);
  word.CopyTo(TContactField::Grid, f);
  word.CopyTo(TContactField::Call, f);
  word.CopyTo(TContactField::Qth, f);
  word.CopyTo(TContactField::Comment, f);
  word.CopyTo(TContactField::Comment, f);
  EXPECT_EQ(f.Grid, "JO20ab");
  EXPECT_EQ(f.Call, "JO20AB");
  EXPECT_EQ(f.Qth, "Jo20ab");
  EXPECT_EQ(f.Comment, "Jo20abJo20ab");
  word.MenuOpened("5nn", false, true);
  word.CopyTo(TContactField::RstRcvd, f);
  word.CopyTo(TContactField::SerialRcvd, f);
  EXPECT_EQ(f.RstRcvd, "599");
  EXPECT_EQ(f.SerRcvd, "599");
  word.MenuOpened("0123", false, true);
  word.CopyTo(TContactField::SerialRcvd, f);
  EXPECT_EQ(f.SerRcvd, "0123");
  word.MenuOpened("mike", false, true);
  word.CopyTo(TContactField::Name, f);
  EXPECT_EQ(f.Name, "Mike");
}

TEST(StationTexts, TextsThatWouldCorruptTheIniFileAreRefused) {
  const struct {
    std::string name;
    bool ok;
  } names[] = {{"DL1ABC", true},
               {"My K2", true},
               {"", false},
               {" K2", false},
               {"K2 ", false},
               {"[K2", false},
               {"K2]", false},
               {"K=2", false},
               {"K2\r\n", false},
               {"K\n2", false},
               {std::string("K\0"
                            "2",
                            3),
                false}};
  for (const auto& row : names)
    EXPECT_EQ(TClientSettings::SectionNameProblem("The call", row.name).empty(), row.ok)
        << row.name;
  EXPECT_TRUE(TClientSettings::ValueProblem("The comment", "a = [b]").empty());
  EXPECT_FALSE(TClientSettings::ValueProblem("The comment", "line\nbreak").empty());
  EXPECT_FALSE(TClientSettings::ValueProblem("The comment", "\"quoted\"").empty());

  const int seed = TClientSettings::kPasswordSeed;
  EXPECT_TRUE(TClientSettings::PasswordProblem("The password", "secret", seed).empty());
  EXPECT_TRUE(TClientSettings::PasswordProblem("The password", "", seed).empty());
  // A password byte chosen so that its scrambled form is CR, LF or NUL.
  for (char bad : {'\r', '\n', '\0'}) {
    const char key = Scramble(std::string(1, '\0'), seed)[0];
    const std::string password(1, static_cast<char>(bad ^ key));
    EXPECT_FALSE(TClientSettings::PasswordProblem("The password", password, seed).empty());
  }
}

TEST(StationTexts, OkNeedsCallAndAddressOfThreeAndPortOfTwoCharacters) {
  const struct {
    const char *call, *addr, *port;
    bool ok;
  } rows[] = {{"K2X", "abc", "61", true},       {"K2", "abc", "6110", false},
              {"K2X", "ab", "6110", false},     {"K2X", "abc", "6", false},
              {"DL1ABC", "host", "6110", true}, {"", "", "", false}};
  for (const auto& r : rows)
    EXPECT_EQ(TStationList::FieldsComplete(r.call, r.addr, r.port), r.ok)
        << r.call << "/" << r.addr << "/" << r.port;
}

}  // namespace
