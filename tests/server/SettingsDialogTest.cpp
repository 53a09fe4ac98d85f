// The settings dialog and the user dialog, offscreen: what they show, what OK and Cancel write.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <cstdio>
#include <fstream>

#include "common/Utils.h"
#include "platform/Application.h"
#include "platform/MessagePump.h"
#include "server/SettingsDialog.h"
#include "server/UserDialog.h"
#include "tests/support/FakeDeviceTree.h"
#include "tests/support/FileContents.h"
#include "tests/support/ModalDialogs.h"

namespace {

std::string Text(const QString& s) {
  return s.toLatin1().toStdString();
}

std::vector<std::string> Items(const QListWidget* list) {
  std::vector<std::string> items;
  for (int i = 0; i < list->count(); ++i) items.push_back(Text(list->item(i)->text()));
  return items;
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ini_ = std::string(std::getenv("TALVO_HOME")) + "/settings-dialog.ini";
    std::remove(ini_.c_str());
    platform::SetMessageBoxHook([this](const std::string& text, const std::string& caption) {
      shown_.push_back(caption + ": " + text);
    });
  }
  void TearDown() override { platform::SetMessageBoxHook(nullptr); }
  void Ini(const std::string& section, const std::string& key, const std::string& value) {
    WriteIniString(ini_, section, key, value);
  }
  std::string Read(const std::string& section, const std::string& key) {
    return ReadIniString(ini_, section, key, "<absent>");
  }
  TRunningSettings Running() const {
    TRunningSettings s;
    s.stationCall = "MYCALL";
    return s;
  }
  std::string ini_;
  std::vector<std::string> shown_;
};

TEST_F(SettingsDialogTest, EverySettingRoundTrips) {
  Ini("Users", "User 1", "bob");
  Ini("Access Control", "Address Mask 1", "10.*");
  {
    TSettings dialog(nullptr, ini_, true);
    dialog.Fill(Running(), {"7 Dec 2026 20:00:00\tServer started", "second line"});
    EXPECT_EQ(dialog.pages->count(), 6);
    EXPECT_EQ(Items(dialog.lbLog).back(), "second line");
    dialog.edCall->setText("DL1ABC");
    dialog.cbGuests->setChecked(true);
    dialog.cbBusy->setChecked(true);
    dialog.edWelcome->setPlainText("Hello %u\nline two\nline three");
    dialog.edBusy->setText("Busy now");
    dialog.edLogOut->setText("Bye");
    dialog.edTerminate->setText("Ended");
    dialog.edShutDown->setText("Down");
    dialog.edServerPort->setText("6120");
    dialog.cbSoundCard->setCurrentIndex(2);
    dialog.tbSql->setValue(70);
    dialog.cbEnableCWDecoder->setChecked(true);
    dialog.edCWGetPath->setText("/nowhere/cwget");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  EXPECT_EQ(Read("Messages", "Welcome"), "Hello %u||line two||line three");
  EXPECT_EQ(Read("Audio", "Sound card"), "1");
  EXPECT_EQ(Read("Audio", "Squelch"), "30");

  TSettings again(nullptr, ini_, true);
  TRunningSettings running = Running();
  running.stationCall = "DL1ABC";
  running.busyFlag = true;
  running.soundCard = 1;
  running.squelchLevel = 30;
  again.Fill(running, {});
  EXPECT_EQ(Text(again.edCall->text()), "DL1ABC");
  EXPECT_EQ(Items(again.lbUsers), std::vector<std::string>{"bob"});
  EXPECT_TRUE(again.cbGuests->isChecked());
  EXPECT_EQ(Items(again.lbAddrs), std::vector<std::string>{"10.*"});
  EXPECT_TRUE(again.cbBusy->isChecked());
  EXPECT_EQ(Text(again.edWelcome->toPlainText()), "Hello %u\nline two\nline three");
  EXPECT_EQ(again.edWelcome->document()->blockCount(), 3);
  EXPECT_EQ(Text(again.edBusy->text()), "Busy now");
  EXPECT_EQ(Text(again.edLogOut->text()), "Bye");
  EXPECT_EQ(Text(again.edTerminate->text()), "Ended");
  EXPECT_EQ(Text(again.edShutDown->text()), "Down");
  EXPECT_EQ(Text(again.edServerPort->text()), "6120");
  EXPECT_EQ(again.cbSoundCard->currentIndex(), 2);
  EXPECT_EQ(again.tbSql->value(), 70);
  // No decoder program at that path: the decoder was turned off, the path kept.
  EXPECT_FALSE(again.cbEnableCWDecoder->isChecked());
  EXPECT_EQ(Text(again.edCWGetPath->text()), "/nowhere/cwget");
}

TEST_F(SettingsDialogTest, SoundCardAndSquelchPositions) {
  struct Row {
    int cardIndex, sliderPosition;
    std::string card, squelch;
  };
  const Row rows[] = {{0, 0, "-1", "100"}, {2, 100, "1", "0"}, {1, 80, "0", "20"}};
  for (const auto& row : rows) {
    TSettings dialog(nullptr, ini_, false);
    dialog.Fill(Running(), {});
    EXPECT_EQ(Text(dialog.cbSoundCard->itemText(0)), "Default sound card");
    dialog.cbSoundCard->setCurrentIndex(row.cardIndex);
    dialog.tbSql->setValue(row.sliderPosition);
    dialog.accept();
    EXPECT_EQ(Read("Audio", "Sound card"), row.card);
    EXPECT_EQ(Read("Audio", "Squelch"), row.squelch);
  }
}

TEST_F(SettingsDialogTest, CancelWritesNothingButTheSquelchStaysInForce) {
  Ini("Identification", "Call", "OLD");
  const std::string before = FileContents(ini_);
  std::vector<std::int32_t> levels;
  TSettings dialog(nullptr, ini_, false);
  dialog.OnSquelchChange = [&](std::int32_t level) { levels.push_back(level); };
  dialog.Fill(Running(), {});
  dialog.edCall->setText("NEW");
  dialog.tbSql->setValue(10);
  dialog.tbSql->setValue(25);
  dialog.reject();
  EXPECT_EQ(levels.back(), 75);
  EXPECT_EQ(FileContents(ini_), before);
}

TEST_F(SettingsDialogTest, ARefusedPortKeepsTheDialogOpenAndWritesNothing) {
  TSettings dialog(nullptr, ini_, false);
  dialog.Fill(Running(), {});
  dialog.show();
  dialog.edServerPort->setText("99999");
  dialog.accept();
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_NE(shown_[0].find("from 1 to 65535"), std::string::npos) << shown_[0];
  EXPECT_FALSE(std::ifstream(ini_).good());
  dialog.edServerPort->setText("6111");
  dialog.accept();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(Read("Control", "Port"), "6111");
  EXPECT_TRUE(dialog.Model().PortChanged());
}

TEST_F(SettingsDialogTest, SerialPortsFromTheMachine) {
  FakeDeviceTree tree;
  tree.Tty("ttyS0", true, 4);
  tree.Tty("ttyUSB0", true);
  tree.ById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
  Ini("COMM", "Port", "/dev/ttyS0");
  TSettings dialog(nullptr, ini_, false, tree.root());
  dialog.Fill(Running(), {});
  ASSERT_EQ(dialog.cbComPort->count(), 2);
  EXPECT_EQ(Text(dialog.cbComPort->itemText(1)),
            "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  EXPECT_EQ(dialog.cbComPort->currentIndex(), 0);
  dialog.cbComPort->setCurrentIndex(1);
  dialog.accept();
  EXPECT_TRUE(dialog.Model().ComPortChanged());
  EXPECT_EQ(Read("COMM", "Port"), "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
}

TEST_F(SettingsDialogTest, UserDialogRefusesWithAReasonAndKeepsWhatWasTyped) {
  TSettings dialog(nullptr, ini_, false);
  dialog.Fill(Running(), {});
  EXPECT_FALSE(dialog.EditBtn->isEnabled());
  bool refusedStayedOpen = false;
  WhenModalShown<TUsrDlg>([&](TUsrDlg* user) {
    user->edCall->setText("K1 ABC");
    user->edPassword->setText("s3cret");
    user->rgPrivs[2]->setChecked(true);
    user->accept();
    refusedStayedOpen = user->isVisible() && user->edPassword->text() == "s3cret";
    user->edCall->setText("K1ABC");
    user->accept();
  });
  dialog.AddBtn1Click(false);
  EXPECT_TRUE(refusedStayedOpen);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_NE(shown_[0].find("space"), std::string::npos) << shown_[0];
  EXPECT_EQ(Items(dialog.lbUsers), std::vector<std::string>{"K1ABC"});
  EXPECT_TRUE(dialog.EditBtn->isEnabled());
  EXPECT_TRUE(dialog.DelBtn1->isEnabled());

  // Cancel after Add leaves the list as it was.
  WhenModalShown<TUsrDlg>([](TUsrDlg* user) {
    user->edCall->setText("W1AW");
    user->reject();
  });
  dialog.AddBtn1Click(false);
  EXPECT_EQ(Items(dialog.lbUsers), std::vector<std::string>{"K1ABC"});

  // Edit shows the user as entered and renames it.
  dialog.lbUsers->setCurrentRow(0);
  std::string shownName, shownPassword;
  bool full = false;
  WhenModalShown<TUsrDlg>([&](TUsrDlg* user) {
    shownName = Text(user->edCall->text());
    shownPassword = Text(user->edPassword->text());
    full = user->rgPrivs[2]->isChecked();
    user->edCall->setText("AA1AA");
    user->accept();
  });
  dialog.AddBtn1Click(true);
  EXPECT_EQ(shownName, "K1ABC");
  EXPECT_EQ(shownPassword, "s3cret");
  EXPECT_TRUE(full);
  EXPECT_EQ(Items(dialog.lbUsers), std::vector<std::string>{"AA1AA"});

  dialog.lbUsers->setCurrentRow(0);
  dialog.DelBtn1Click();
  EXPECT_TRUE(Items(dialog.lbUsers).empty());
  EXPECT_FALSE(dialog.DelBtn1->isEnabled());
  EXPECT_FALSE(std::ifstream(ini_).good());  // nothing written before OK
}

TEST_F(SettingsDialogTest, AddressMasksThroughTheInputBox) {
  TSettings dialog(nullptr, ini_, false);
  dialog.Fill(Running(), {});
  std::string title, prompt;
  WhenModalShown<QInputDialog>([&](QInputDialog* box) {
    title = Text(box->windowTitle());
    prompt = Text(box->labelText());
    box->setTextValue("192.168.2.*");
    box->accept();
  });
  dialog.AddBtn2Click();
  EXPECT_EQ(title, "Access Control");
  EXPECT_EQ(prompt, "Enter address mask (e.g. 192.168.2.*):");
  WhenModalShown<QInputDialog>([](QInputDialog* box) {
    box->setTextValue("example.org");
    box->accept();
  });
  dialog.AddBtn2Click();
  EXPECT_EQ(shown_.size(), 1u);
  EXPECT_EQ(Items(dialog.lbAddrs), std::vector<std::string>{"192.168.2.*"});
  EXPECT_FALSE(dialog.DelBtn2->isEnabled());
  dialog.lbAddrs->setCurrentRow(0);
  EXPECT_TRUE(dialog.DelBtn2->isEnabled());
  dialog.DelBtn2Click();
  EXPECT_TRUE(Items(dialog.lbAddrs).empty());
}

TEST_F(SettingsDialogTest, TheDecoderPageOnlyWithTheDecoderLibrary) {
  TSettings dialog(nullptr, ini_, false);
  dialog.Fill(Running(), {});
  EXPECT_EQ(dialog.pages->count(), 5);
  EXPECT_EQ(dialog.cbEnableCWDecoder, nullptr);
  EXPECT_EQ(Text(dialog.Label9->text()),
            "Macros:\n%d - Date (utc)\n%t - Time (utc)\n%u - User ID\n%p - Access mode\n"
            "%v - Server version");
}

}  // namespace
