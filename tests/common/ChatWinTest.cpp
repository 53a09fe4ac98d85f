#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/ChatWin.h"
#include "common/Utils.h"
#include "platform/MessagePump.h"
#include "platform/SystemBeep.h"

namespace {

std::string Home(const char* name) {
  return std::string(std::getenv("TALVO_HOME")) + "/" + name;
}

void Type(QWidget* target, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(target, &press);
  }
}

void PressEnter(QWidget* target, Qt::Key key = Qt::Key_Return,
                Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, mods, QStringLiteral("\r"));
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, QStringLiteral("\r"));
  QApplication::sendEvent(target, &release);
}

class ChatWindow : public testing::Test {
 protected:
  void SetUp() override {
    std::remove(Home("chat.ini").c_str());
    chat.SetIniFile(Home("chat.ini"));
    chat.SetCall("W1AW");
    chat.OnSend = [this](TChatWin* sender, const std::string& line) {
      EXPECT_EQ(sender, &chat);
      sent.push_back(line);
    };
    platform::SetSystemBeepHook([this] { ++beeps; });
  }
  void TearDown() override { platform::SetSystemBeepHook({}); }

  TChatWin chat;
  std::vector<std::string> sent;
  int beeps = 0;
};

TEST_F(ChatWindow, SendingFormatsTheLineShowsItAndEmptiesTheInput) {
  chat.SendText()->setPlainText(QStringLiteral("hello there"));
  chat.SendBtn()->click();
  ASSERT_EQ(sent, std::vector<std::string>{"CHAT W1AW> hello there"});
  EXPECT_EQ(chat.Conversation(), "W1AW> hello there\n");
  EXPECT_TRUE(chat.SendText()->toPlainText().isEmpty());

  chat.SetCall("K2XYZ");
  chat.SendText()->setPlainText(QString::fromLatin1("caf\xE9"));
  chat.SendBtnClick();
  EXPECT_EQ(sent.back(), "CHAT K2XYZ> caf\xE9");
  EXPECT_EQ(chat.Conversation(), "W1AW> hello there\nK2XYZ> caf\xE9\n");
  EXPECT_EQ(beeps, 0);  // only received lines beep
}

TEST_F(ChatWindow, EnterSendsAndBreaksNoLine) {
  chat.show();
  Type(chat.SendText(), QStringLiteral("73 de"));
  PressEnter(chat.SendText());
  EXPECT_EQ(sent, std::vector<std::string>{"CHAT W1AW> 73 de"});
  EXPECT_TRUE(chat.SendText()->toPlainText().isEmpty());

  // The keypad's Enter and the edit's own new-line keys do the same.
  Type(chat.SendText(), QStringLiteral("a"));
  PressEnter(chat.SendText(), Qt::Key_Enter, Qt::KeypadModifier);
  Type(chat.SendText(), QStringLiteral("b"));
  PressEnter(chat.SendText(), Qt::Key_Return, Qt::ControlModifier);
  Type(chat.SendText(), QStringLiteral("c"));
  PressEnter(chat.SendText(), Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(sent, (std::vector<std::string>{"CHAT W1AW> 73 de", "CHAT W1AW> a", "CHAT W1AW> b",
                                            "CHAT W1AW> c"}));
  chat.hide();
}

TEST_F(ChatWindow, AnEmptyInputSendsNothingAndAddsNothing) {
  PressEnter(chat.SendText());
  chat.SendBtn()->click();
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(chat.Conversation(), "");

  // Nor does Enter while sending is disabled (no session).
  chat.SendText()->setPlainText(QStringLiteral("pending"));
  chat.SendBtn()->setEnabled(false);
  PressEnter(chat.SendText());
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(chat.SendText()->toPlainText(), QStringLiteral("pending"));
}

TEST_F(ChatWindow, LineBreaksInTheInputBecomeSpaces) {
  chat.SendText()->setPlainText(QStringLiteral("one\ntwo\r\nthree\rfour"));
  chat.SendBtnClick();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(sent[0].rfind("CHAT W1AW> one two", 0), 0u);
  EXPECT_NE(sent[0].find("four"), std::string::npos);
  EXPECT_EQ(chat.Conversation(), sent[0].substr(5) + "\n");

  // Pasted text arrives as one line already.
  QApplication::clipboard()->setText(QStringLiteral("first\nsecond"));
  chat.SendText()->paste();
  EXPECT_EQ(chat.SendText()->toPlainText(), QStringLiteral("first second"));
}

TEST_F(ChatWindow, ReceivedLinesAreAddedInOrderScrolledToAndBeepOnce) {
  chat.show();
  chat.AddText("K2AA> hi");
  EXPECT_EQ(beeps, 1);
  chat.SendText()->setPlainText(QStringLiteral("hello"));
  chat.SendBtnClick();
  for (int i = 0; i < 40; ++i) chat.AddText("K2AA> line " + std::to_string(i));
  EXPECT_EQ(beeps, 41);
  std::string all = chat.Conversation();
  EXPECT_EQ(all.rfind("K2AA> hi\nW1AW> hello\nK2AA> line 0\n", 0), 0u);
  EXPECT_EQ(all.substr(all.size() - 14), "K2AA> line 39\n");
  platform::ProcessMessages();
  QScrollBar* bar = chat.ChatText()->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  chat.hide();
}

TEST_F(ChatWindow, PositionIsReadWhenShownAndWrittenWhenHidden) {
  chat.show();
  EXPECT_EQ(chat.pos(), QPoint(0, 236));
  EXPECT_EQ(chat.focusWidget(), chat.SendText());
  chat.move(40, 300);
  chat.hide();
  EXPECT_EQ(ReadIniString(Home("chat.ini"), "Chat Window", "Left", ""), "40");
  EXPECT_EQ(ReadIniString(Home("chat.ini"), "Chat Window", "Top", ""), "300");

  TChatWin other;
  other.SetIniFile(Home("chat.ini"));
  other.show();
  EXPECT_EQ(other.pos(), QPoint(40, 300));
  other.hide();

  WriteIniString(Home("chat.ini"), "Chat Window", "Top", "high");
  WriteIniString(Home("chat.ini"), "Chat Window", "Left", "x12");
  chat.show();
  EXPECT_EQ(chat.pos(), QPoint(0, 236));
  chat.close();
  EXPECT_EQ(ReadIniString(Home("chat.ini"), "Chat Window", "Top", ""), "236");
}

}  // namespace
