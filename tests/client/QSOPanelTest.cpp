// The contact window's own behaviour, without a connection: the key filters, the buttons, the
// prompts when it is shown and hidden, and the settings it keeps.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "client/ClientSession.h"
#include "client/QSOPanel.h"
#include "common/Utils.h"
#include "platform/Application.h"
#include "tests/client/ClientTestSupport.h"

namespace {

void Type(QLineEdit* edit, const QString& keys) {
  for (QChar c : keys) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QCoreApplication::sendEvent(edit, &press);
  }
}

struct Questions {
  std::vector<std::string> asked;
  bool answer = false;
  Questions() {
    platform::SetQuestionHook([this](const std::string& text, const std::string&) {
      asked.push_back(text);
      return answer;
    });
  }
  ~Questions() { platform::SetQuestionHook(nullptr); }
};

TEST(QSOPanel, KeyFiltersButtonsAndPrompts) {
  const std::string home = TestHome();
  TClientSession session(home + "/TalvoClient.INI", home + "/TalvoClient.log");
  Questions questions;
  TQSOPanel panel(session);
  panel.show();
  EXPECT_FALSE(panel.LogBtn->isEnabled());
  EXPECT_EQ(panel.edName->text(), QStringLiteral("OM"));
  EXPECT_EQ(panel.edRSTS->text(), QStringLiteral("599"));

  Type(panel.edCall, QStringLiteral("dl1ab/p"));
  EXPECT_EQ(panel.edCall->text(), QStringLiteral("DL1AB/P"));
  Type(panel.edGrid, QStringLiteral("jo62qm"));
  EXPECT_EQ(panel.edGrid->text(), QStringLiteral("JO62qm"));
  EXPECT_TRUE(panel.LogBtn->isEnabled());
  EXPECT_TRUE(panel.LogStartBtn->isEnabled());
  EXPECT_NE(panel.Log().StartTime(), 0);

  // Minimised and restored, the contact goes on without a question.
  panel.showMinimized();
  panel.showNormal();
  EXPECT_EQ(panel.edGrid->text(), QStringLiteral("JO62qm"));
  panel.LogEndBtnClick();
  panel.showMinimized();
  panel.showNormal();

  // Hidden with an unsaved contact, answered No: kept; shown again: abandon it?
  panel.hide();
  panel.show();
  EXPECT_EQ(questions.asked, (std::vector<std::string>{"Save unsaved contact with DL1AB/P?",
                                                       "Abandon contact with DL1AB/P?"}));
  EXPECT_EQ(panel.edCall->text(), QStringLiteral("DL1AB/P"));
  questions.answer = true;
  panel.NewBtnClick();
  EXPECT_EQ(panel.edCall->text(), QString());
  EXPECT_EQ(panel.edGrid->text(), QString());
  EXPECT_FALSE(panel.LogBtn->isEnabled());
  panel.cbUpperCase->setChecked(true);
  panel.move(40, 50);
}

TEST(QSOPanel, TheReceiveWindowCopiesIntoItsFieldsOnlyWhileItShows) {
  const std::string home = TestHome();
  TClientSession session(home + "/TalvoClient.INI", home + "/TalvoClient.log");
  Questions questions;
  TQSOPanel panel(session);
  IContactFields& fields = panel;
  EXPECT_FALSE(fields.EditContactFields([](TContactFields& f) { f.Call = "K1AB"; }));
  EXPECT_EQ(panel.edCall->text(), QString());

  panel.show();
  EXPECT_TRUE(fields.EditContactFields(nullptr));
  EXPECT_TRUE(fields.EditContactFields([](TContactFields& f) {
    EXPECT_EQ(f.RstSent, "599");
    f.Call = "K1AB";
    f.SerRcvd = "599";
  }));
  EXPECT_EQ(panel.edCall->text(), QStringLiteral("K1AB"));
  EXPECT_EQ(panel.edSerR->text(), QStringLiteral("599"));
  // A copied call starts the contact as a typed one does.
  EXPECT_TRUE(panel.LogBtn->isEnabled());
}

TEST(QSOPanel, MorseShowsTheMacroAndKeyboardGroupsVoiceHidesThem) {
  const std::string home = TestHome();
  TClientSession session(home + "/TalvoClient.INI", home + "/TalvoClient.log");
  Questions questions;
  TQSOPanel panel(session);
  panel.show();
  panel.ShowModeGroups(true);
  const int morseHeight = panel.height();
  panel.ShowModeGroups(false);
  EXPECT_FALSE(panel.MacroGroup->isVisible());
  EXPECT_FALSE(panel.SendGroup->isVisible());
  EXPECT_LT(panel.height(), morseHeight);
  panel.ShowModeGroups(true);
  EXPECT_TRUE(panel.MacroGroup->isVisible());
  EXPECT_TRUE(panel.SendGroup->isVisible());
  EXPECT_EQ(panel.height(), morseHeight);
}

TEST(QSOPanel, KeepsItsPlaceAndTheKeyboardSetting) {
  const std::string home = TestHome();
  const std::string ini = home + "/TalvoClient.INI";
  TClientSession session(ini, home + "/TalvoClient.log");
  {
    TQSOPanel panel(session);
    EXPECT_EQ(panel.pos(), QPoint(0, 236));
    EXPECT_FALSE(panel.cbUpperCase->isChecked());
    panel.cbUpperCase->setChecked(true);
    panel.move(40, 50);
  }
  EXPECT_EQ(ReadIniString(ini, "QSO Window", "Upper case", ""), "1");
  EXPECT_EQ(ReadIniString(ini, "QSO Window", "Left", ""), "40");
  TQSOPanel again(session);
  EXPECT_TRUE(again.cbUpperCase->isChecked());
  EXPECT_EQ(again.pos(), QPoint(40, 50));
}

}  // namespace
