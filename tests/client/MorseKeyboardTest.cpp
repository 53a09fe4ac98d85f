// The Morse keyboard without widgets: typed keys, the buttons, macro expansion, function keys
// and the macro file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/MacroFile.h"
#include "client/MorseKeyboard.h"
#include "common/Utils.h"
#include "tests/client/ClientTestSupport.h"

namespace {

struct Wire {
  std::vector<std::string> sent, traced;
  int pumps = 0;
  TKeyboardLinks Links() {
    return {[this](const std::string& line) { sent.push_back(line); },
            [this](const std::string& text) { traced.push_back(text); }, [this] { ++pumps; }};
  }
};

// Types the keys: "\e" is Esc, "\r" Enter, "\b" Backspace.
void Type(TMorseKeyboard& kb, const std::string& keys, bool upper = true) {
  for (char c : keys) kb.KeyPress(c, upper);
}

TEST(MorseKeyboard, TypedKeysWhileTransmitting) {
  struct Row {
    const char* keys;
    bool transmitting;
    std::vector<std::string> sent;
    const char* buffer;
    const char* memo;
  };
  const Row rows[] = {
      {"cq cq", true, {"CW CQ "}, "CQ", "CQ CQ"},
      {"cq cq", false, {}, "CQ CQ", "CQ CQ"},
      {"tu?", true, {"CW TU? "}, "", "TU?"},
      {"ok, 73.", true, {"CW OK, ", "CW  73. "}, "", "OK, 73."},
      {"ab\r", true, {"CW AB  "}, "", "AB\r\n"},
      {" \r", true, {}, "   ", " \r\n"},
      {"a!#b", true, {}, "AB", "AB"},
      {"k1/p=+", true, {}, "K1/P=+", "K1/P=+"},
      {"ab\b\bc", false, {}, "C", "C"},
      {"\b", false, {}, "", ""},
      {"ab\r\b\b", false, {}, "AB", "A"},
      {"cq \e", true, {"CW CQ ", "CW *"}, "", ""},
  };
  for (const Row& row : rows) {
    Wire wire;
    TMorseKeyboard kb(wire.Links());
    if (row.transmitting) kb.SendButton();
    wire.sent.clear();
    Type(kb, row.keys);
    EXPECT_EQ(wire.sent, row.sent) << row.keys;
    EXPECT_EQ(kb.Buffer(), row.buffer) << row.keys;
    EXPECT_EQ(kb.Memo(), row.memo) << row.keys;
  }
}

TEST(MorseKeyboard, LowerCaseStaysWithoutUpperCase) {
  Wire wire;
  TMorseKeyboard kb(wire.Links());
  kb.SendButton();
  Type(kb, "cq de k1abc ", false);
  EXPECT_EQ(wire.sent, (std::vector<std::string>{"CW ", "CW cq ", "CW de ", "CW k1abc "}));
  EXPECT_EQ(wire.traced.back(), " SENT: CW k1abc ");
}

TEST(MorseKeyboard, SendStopAndClear) {
  Wire wire;
  TMorseKeyboard kb(wire.Links());
  Type(kb, "cq test");
  kb.SendButton();  // typed ahead: goes out at once, transmitting starts
  EXPECT_TRUE(kb.Transmitting());
  EXPECT_EQ(kb.Buffer(), "");
  EXPECT_EQ(kb.Memo(), "CQ TEST");
  kb.SendButton();  // Stop
  EXPECT_FALSE(kb.Transmitting());
  EXPECT_EQ(kb.Memo(), "");
  EXPECT_EQ(wire.sent, (std::vector<std::string>{"CW CQ TEST", "CW *"}));
  EXPECT_EQ(wire.traced, (std::vector<std::string>{" SENT: CW CQ TEST", " SENT: CW *"}));

  wire.sent.clear();
  kb.SendButton();
  Type(kb, "qrz");
  kb.Clear();
  EXPECT_EQ(wire.sent, (std::vector<std::string>{"CW ", "CW *"}));
  EXPECT_EQ(wire.pumps, 1);
  EXPECT_EQ(kb.Buffer(), "");
  EXPECT_EQ(kb.Memo(), "");
  Type(kb, "ab");
  kb.Reset();  // the window shown again: nothing waits, the memo stays
  EXPECT_EQ(kb.Buffer(), "");
  EXPECT_EQ(kb.Memo(), "AB");
}

TEST(MorseKeyboard, KeysThatAskTheWidget) {
  TMorseKeyboard kb({});
  EXPECT_EQ(kb.KeyPress(1, true), TKeyEffect::SelectAll);
  EXPECT_EQ(kb.KeyPress(3, true), TKeyEffect::Copy);
  EXPECT_EQ(kb.KeyPress(22, true), TKeyEffect::Paste);
  EXPECT_EQ(kb.KeyPress('a', true), TKeyEffect::None);
  kb.Stop();  // unbound links: nothing to write to, nothing raised
  EXPECT_EQ(kb.Memo(), "");
}

struct Contact {
  TContactFields fields;
  int hour = 10;
  std::string asked;  // the answer of the "Enter call" box
  std::vector<std::string> events;
  TMacroLinks Links() {
    TMacroLinks l;
    l.Fields = &fields;
    l.AskCall = [this] {
      events.push_back("ask");
      return asked;
    };
    l.CallEntered = [this] { events.push_back("call " + fields.Call); };
    l.OwnCall = [] { return std::string("K1ABC/P"); };
    l.StationName = [] { return std::string("Home K2"); };
    l.LocalHour = [this] { return hour; };
    l.LogStart = [this] { events.push_back("start"); };
    l.LogEnd = [this] { events.push_back("end"); };
    l.ShowMemo = [this] { events.push_back("show"); };
    l.SaveContact = [this] { events.push_back("save " + fields.Call); };
    return l;
  }
};

TEST(MorseKeyboard, MacroExpansion) {
  struct Row {
    const char* macro;
    const char* call;
    const char* name;
    const char* rstSent;
    const char* serSent;
    int hour;
    const char* buffer;
  };
  const Row rows[] = {
      {"cq de %m", "", "", "", "", 10, "CQ DE K1ABC/P"},
      {"ur %r %r", "", "", "", "", 10, "UR 5NN 5NN"},
      {"%R", "", "", "579", "", 10, "57N"},
      {"nr %s", "", "", "", "100", 10, "NR 1TT"},
      {"nr %s.", "", "", "", "", 10, "NR ."},
      {"%g %g", "", "", "", "", 11, "GM GM"},
      {"%g", "", "", "", "", 12, "GA"},
      {"%g", "", "", "", "", 17, "GA"},
      {"%G", "", "", "", "", 18, "GE"},
      {"%g", "", "", "", "", 0, "GM"},
      {"%c de %m", "dl1xyz", "", "", "", 10, "DL1XYZ DE K1ABC/P"},
      {"tnx %n", "", "hans", "", "", 10, "TNX HANS"},
      {"tnx %n", "", "", "", "", 10, "TNX OM"},
      {"qth %y", "", "", "", "", 10, "QTH Home K2"},
      {"%q%", "", "", "", "", 10, ""},
      {"a/b=c+d\"e", "", "", "", "", 10, "ABCDE"},
      {"line\r\nnext", "", "", "", "", 10, "LINE  NEXT"},
      {"k, - . : ? 0-9", "", "", "", "", 10, "K, - . : ? 0-9"},
      {"old ^cnew", "", "", "", "", 10, "NEW"},
      {"^", "", "", "", "", 10, ""},
  };
  for (const Row& row : rows) {
    Contact c;
    c.fields.Call = row.call;
    c.fields.Name = row.name;
    c.fields.RstSent = row.rstSent;
    c.fields.SerSent = row.serSent;
    c.hour = row.hour;
    TMorseKeyboard kb({});
    kb.SendMacro(row.macro, c.Links());
    EXPECT_EQ(kb.Buffer(), row.buffer) << row.macro;
  }
}

TEST(MorseKeyboard, MacroFillsEmptyFields) {
  Contact c;
  c.asked = "g4xyz";
  TMorseKeyboard kb({});
  kb.SendMacro("%c %n %r", c.Links());
  EXPECT_EQ(kb.Buffer(), "G4XYZ OM 5NN");
  EXPECT_EQ(c.fields.Call, "g4xyz");
  EXPECT_EQ(c.fields.Name, "OM");
  EXPECT_EQ(c.fields.RstSent, "599");
  EXPECT_EQ(c.events, (std::vector<std::string>{"ask", "call g4xyz", "show"}));

  Contact cancelled;  // the box cancelled: nothing filled in, nothing entered
  TMorseKeyboard kb2({});
  kb2.SendMacro("%c?", cancelled.Links());
  EXPECT_EQ(kb2.Buffer(), "?");
  EXPECT_EQ(cancelled.events, (std::vector<std::string>{"ask", "show"}));
}

TEST(MorseKeyboard, MacroCommandsSteerTheKeyboardAndTheLog) {
  Wire wire;
  Contact c;
  c.fields.Call = "DL1AB";
  TMorseKeyboard kb(wire.Links());
  kb.SendMacro("^s%c de %m ^T^l^x", c.Links());
  EXPECT_EQ(wire.sent, (std::vector<std::string>{"CW DL1AB DE K1ABC/P "}));
  EXPECT_TRUE(kb.Transmitting());
  // Log start and end at their places; saved after the text went out, with the call still set.
  EXPECT_EQ(c.events, (std::vector<std::string>{"start", "end", "show", "save DL1AB"}));

  // Transmitting goes on for the next macro; "^r" returns to type-ahead after sending.
  wire.sent.clear();
  kb.SendMacro("tu^r", c.Links());
  EXPECT_EQ(wire.sent, (std::vector<std::string>{"CW TU"}));
  EXPECT_FALSE(kb.Transmitting());
  EXPECT_EQ(kb.Memo(), "DL1AB DE K1ABC/P TU");

  // Not transmitting: the text waits in the buffer; an empty macro does nothing.
  wire.sent.clear();
  kb.SendMacro("qrz?\r\n", c.Links());
  kb.SendMacro("", c.Links());
  EXPECT_TRUE(wire.sent.empty());
  EXPECT_EQ(kb.Buffer(), "QRZ?  ");
  EXPECT_EQ(kb.Memo(), "DL1AB DE K1ABC/P TUQRZ?\r\n");
}

TEST(MorseKeyboard, FunctionKeysRunMacrosInTheMorseModes) {
  struct Row {
    unsigned key;
    int modeGroup;
    int macro;
  };
  const Row rows[] = {{112, 1, 1}, {116, 1, 5}, {123, 1, 12}, {124, 1, 0},
                      {111, 1, 0}, {116, 2, 0}, {116, 0, 0},  {65, 1, 0}};
  for (const Row& row : rows)
    EXPECT_EQ(MacroOfKey(row.key, row.modeGroup), row.macro) << row.key << " " << row.modeGroup;
}

TEST(MacroFile, RoundTrip) {
  const std::string path = TestHome() + "/contest.mac";
  TMacroSet set;
  EXPECT_FALSE(set.Load(path));  // no file: nothing changes
  set.Edit(1, {"CQ", "Call CQ", "cq cq de %m %m\r\npse k ^t"});
  set.Edit(7, {"TU", "", "tu 73 ^r"});
  set.Edit(16, {"Long name 12", "Last one", "line\nlone LF"});
  EXPECT_TRUE(set.Edited());
  ASSERT_TRUE(set.Save(path));
  EXPECT_FALSE(set.Edited());
  EXPECT_EQ(ReadIniString(path, "Macro01", "Macro", "?"), "cq cq de %m %m||pse k ^t");
  EXPECT_EQ(ReadIniString(path, "Macro02", "Caption", "?"), "");

  TMacroSet back;
  ASSERT_TRUE(back.Load(path));
  EXPECT_EQ(back.Macro(1).Text, "cq cq de %m %m\r\npse k ^t");
  EXPECT_EQ(back.Macro(1).Hint, "Call CQ");
  EXPECT_TRUE(back.Macro(1).Bold());
  EXPECT_FALSE(back.Macro(7).Bold());
  EXPECT_EQ(back.Macro(7).Caption, "TU");
  EXPECT_EQ(back.Macro(16).Text, "line\r\nlone LF");
  EXPECT_EQ(back.Macro(2).Text, "");

  // Unsaved edits are not replaced when the window is shown again; saved ones are.
  back.Edit(2, {"QRZ", "", "qrz?"});
  WriteIniString(path, "Macro01", "Caption", "CQ TEST");
  EXPECT_FALSE(back.Reload(path));
  EXPECT_EQ(back.Macro(1).Caption, "CQ");
  EXPECT_EQ(back.Macro(2).Caption, "QRZ");
  ASSERT_TRUE(back.Save(path));
  WriteIniString(path, "Macro01", "Caption", "CQ TEST");
  EXPECT_TRUE(back.Reload(path));
  EXPECT_EQ(back.Macro(1).Caption, "CQ TEST");

  // A file that cannot be written keeps the edits unsaved.
  back.Edit(3, {"X", "", "x"});
  EXPECT_FALSE(back.Save(TestHome() + "/no-such-folder/x.mac"));
  EXPECT_TRUE(back.Edited());
}

}  // namespace
