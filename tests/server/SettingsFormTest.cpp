// The settings dialog run from the server window: what OK puts into force in the running server,
// and a user added in the dialog logging in.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSlider>

#include "common/ChatWin.h"
#include "platform/Application.h"
#include "platform/Paths.h"
#include "server/ServerForm.h"
#include "server/SettingsDialog.h"
#include "server/UserDialog.h"
#include "tests/support/ModalDialogs.h"
#include "tests/support/ServerFixtures.h"

namespace {

class SettingsFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = std::make_unique<TEventLog>(platform::ChangeFileExt(platform::ProgramFile(), ".log"));
    platform::SetMessageBoxHook(
        [this](const std::string& text, const std::string&) { shown_.push_back(text); });
    sim_.Start();
    ini_.LoopbackServer(sim_);
  }
  void TearDown() override { platform::SetMessageBoxHook(nullptr); }

  TestIni ini_{platform::ChangeFileExt(platform::ProgramFile(), ".ini")};
  std::unique_ptr<TEventLog> log_;
  std::vector<std::string> shown_;
  k2sim::K2Simulator sim_;
};

TEST_F(SettingsFormTest, AUserAddedInTheDialogLogsIn) {
  TServerForm form(*log_);
  form.FormShow();
  ASSERT_TRUE(form.Listening());
  const int port = std::stoi(form.Session().ServerWSocket.GetBoundPort());

  bool second = false;
  WhenModalShown<TSettings>([&](TSettings* dialog) {
    form.SettingsMenuClick();  // the handler again while its dialog runs: nothing happens
    second = QApplication::activeModalWidget() != dialog;
    WhenModalShown<TUsrDlg>([](TUsrDlg* user) {
      user->edCall->setText("K1ABC");
      user->edPassword->setText("good pass");
      user->rgPrivs[2]->setChecked(true);
      user->accept();
    });
    dialog->AddBtn1Click(false);
    dialog->accept();
  });
  form.SettingsMenuClick();
  EXPECT_FALSE(second);
  EXPECT_TRUE(shown_.empty());  // the port did not change: no restart note

  LineClient client;
  ASSERT_NE(LogIn(client, port, "K1ABC", "good pass"), "");
  EXPECT_EQ(client.WaitFor("PRIV", 10000), "PRIV 2");
  EXPECT_EQ(form.Session().SessionUser(), "K1ABC");
}

TEST_F(SettingsFormTest, OkPutsTheValuesIntoForceAndCancelOnlyTheSquelch) {
  TServerForm form(*log_);
  TChatWin chat;
  form.SetChatWin(&chat);
  form.FormShow();
  WhenModalShown<TSettings>([](TSettings* dialog) {
    dialog->edCall->setText("DL1ABC");
    dialog->tbSql->setValue(90);
    dialog->reject();
  });
  form.SettingsMenuClick();
  EXPECT_EQ(form.Session().SquelchLevel(), 10);
  EXPECT_EQ(form.StationCall(), "MYCALL");
  EXPECT_EQ(ini_.Get("Audio", "Squelch", "<absent>"), "<absent>");

  WhenModalShown<TSettings>([](TSettings* dialog) {
    EXPECT_EQ(dialog->tbSql->value(), 90);  // the level in force, unsaved
    dialog->edCall->setText("DL1ABC");
    dialog->cbBusy->setChecked(true);
    dialog->cbSoundCard->setCurrentIndex(2);
    dialog->accept();
  });
  form.SettingsMenuClick();
  EXPECT_EQ(form.StationCall(), "DL1ABC");
  EXPECT_EQ(chat.Call(), "DL1ABC");
  EXPECT_TRUE(form.BusyFlag());
  EXPECT_TRUE(form.TrayMenu()->actions()[2]->isChecked());
  EXPECT_EQ(form.Session().SoundCard(), 1);
  EXPECT_EQ(form.Session().SquelchLevel(), 10);
  EXPECT_EQ(ini_.Get("Audio", "Squelch"), "10");
  EXPECT_EQ(ini_.Get("Access Control", "K2 Busy"), "1");
  // The radio's port is left as it was: no other port was chosen.
  EXPECT_EQ(form.Session().SerialPort.CommPort(), sim_.SlavePath());
}

TEST_F(SettingsFormTest, TheRestartNoteOnlyWhenThePortChanged) {
  TServerForm form(*log_);
  form.FormShow();
  ASSERT_TRUE(form.Listening());
  WhenModalShown<TSettings>([](TSettings* dialog) { dialog->accept(); });
  form.SettingsMenuClick();
  EXPECT_TRUE(shown_.empty());

  WhenModalShown<TSettings>([](TSettings* dialog) {
    dialog->edServerPort->setText("6123");
    dialog->accept();
  });
  form.SettingsMenuClick();
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0],
            "Please close and then restart the server so that the new port setting can take "
            "effect.");
  EXPECT_EQ(ini_.Get("Control", "Port"), "6123");
  EXPECT_TRUE(form.Listening());  // still on the port it started with
  EXPECT_NE(form.Session().ServerWSocket.GetBoundPort(), "6123");
}

}  // namespace
