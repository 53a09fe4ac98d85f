// The station list, the station and eQSL dialogs, the frequency window and the receive window,
// offscreen, with their INI file in a temporary TALVO_HOME.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTextCursor>

#include "client/ClientSession.h"
#include "client/ConnectDlg.h"
#include "client/EQSLPropsDlg.h"
#include "client/FreqCtrl.h"
#include "client/PropsDlg.h"
#include "client/RxWin.h"
#include "client/SSBPanel.h"
#include "common/Utils.h"
#include "platform/Application.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/client/FakeServer.h"
#include "tests/support/ModalDialogs.h"

namespace {

const char kBanner[] = "Talvo Server 1.0 Date: 12/8/26 Time: 22:00:00";

class ClientWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageBoxHook(
        [this](const std::string& text, const std::string&) { messages_.push_back(text); });
  }
  void TearDown() override { platform::SetMessageBoxHook(nullptr); }

  std::string Ini(const std::string& section, const std::string& key) {
    return ReadIniString(ini_, section, key, "<missing>");
  }
  void SetIni(const std::string& section, const std::string& key, const std::string& value) {
    WriteIniString(ini_, section, key, value);
  }
  void StoreStation(const std::string& name, const std::string& comment) {
    SetIni(name, "Comment", comment);
    SetIni(name, "Addr", "k2.example.org");
    SetIni(name, "Port", "6111");
    SetIni(name, "Passwd", Scramble("pw-" + name, 3716));
  }
  std::vector<std::string> Items(TConnectDlg& dlg) {
    std::vector<std::string> items;
    for (int i = 0; i < dlg.lbConnections()->count(); ++i)
      items.push_back(dlg.lbConnections()->item(i)->text().toStdString());
    return items;
  }
  // A session logged in at a scripted server that records what the client sends.
  std::unique_ptr<TClientSession> Connected(FakeServer& server) {
    SetIni("Settings", "Call", "DL1ABC");
    SetIni("Live", "Addr", "127.0.0.1");
    SetIni("Live", "Port", std::to_string(server.Port()));
    server.Run([](FakeServer::Conn& c) {
      c.SendLine(kBanner);
      if (c.WaitLine("AUTH").rfind("AUTH", 0) != 0) return;
      c.SendLine("PRIV 1");
      c.SendLine("FREQ 7040.123");
      c.WaitLine("BYE", 60000);
    });
    auto s = std::make_unique<TClientSession>(ini_, home_ + "/trace.log");
    s->SetOwnCall("DL1ABC");
    EXPECT_TRUE(ConnectAndWait(*s, "Live"));
    return s;
  }

  std::string home_ = TestHome();
  std::string ini_ = home_ + "/TalvoClient.INI";
  std::vector<std::string> messages_;
};

// --- Station list -------------------------------------------------------------------------------

TEST_F(ClientWindows, TheListShowsNameTabCommentUpToTheFirstEmptyEntry) {
  SetIni("Settings", "Call", "DL1ABC");
  StoreStation("Home", "my K2");
  StoreStation("Club", "");
  SetIni("Connections", "Connection 1", "Home");
  SetIni("Connections", "Connection 2", "Club");
  SetIni("Connections", "Connection 3", "");
  SetIni("Connections", "Connection 4", "Hidden");
  TClientSettings settings(ini_);
  TConnectDlg dlg(settings);
  EXPECT_EQ(dlg.windowTitle().toStdString(), "Connect To...");
  EXPECT_EQ(dlg.edCall()->text().toStdString(), "DL1ABC");
  EXPECT_EQ(Items(dlg), (std::vector<std::string>{"Home\tmy K2", "Club\t"}));
  EXPECT_EQ(dlg.lbConnections()->currentRow(), 0);
  EXPECT_TRUE(dlg.ConnectBtn()->isEnabled());
  dlg.lbConnections()->setCurrentRow(1);
  dlg.ConnectBtnClick();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.ChosenStation(), "Club");
}

TEST_F(ClientWindows, WithAnEmptyListOnlyNewWorksAndItWritesTheStationAndTheEndedList) {
  TClientSettings settings(ini_);
  TPropsDlg props(settings);
  TConnectDlg dlg(settings, nullptr, &props);
  EXPECT_FALSE(dlg.ConnectBtn()->isEnabled());
  EXPECT_FALSE(dlg.EditBtn()->isEnabled());
  EXPECT_FALSE(dlg.DeleteBtn()->isEnabled());
  EXPECT_TRUE(dlg.NewBtn()->isEnabled());
  SetIni("Connections", "Connection 2", "Stale");
  WhenModalShown<TPropsDlg>([](TPropsDlg* p) {
    EXPECT_EQ(p->edPort()->text().toStdString(), "6110");
    EXPECT_FALSE(p->OKBtn()->isEnabled());
    p->edCall()->setText("DL0XYZ");
    p->edComment()->setText("contest station");
    p->edAddr()->setText("10.0.0.7");
    p->OKBtn()->click();
  });
  dlg.NewBtn()->click();
  EXPECT_EQ(Items(dlg), (std::vector<std::string>{"DL0XYZ\tcontest station"}));
  EXPECT_TRUE(dlg.ConnectBtn()->isEnabled());
  EXPECT_EQ(Ini("Connections", "Connection 1"), "DL0XYZ");
  EXPECT_EQ(Ini("Connections", "Connection 2"), "");
  EXPECT_EQ(Ini("DL0XYZ", "Addr"), "10.0.0.7");
  EXPECT_EQ(Ini("DL0XYZ", "Port"), "6110");
  EXPECT_EQ(Ini("DL0XYZ", "Passwd"), "");  // a guest
  EXPECT_EQ(Ini("DL0XYZ", "Comment"), "contest station");
}

TEST_F(ClientWindows, EditRenamesKeepingTheOldSectionAndDeleteWaitsForTheNextOk) {
  StoreStation("A1", "first");
  StoreStation("B2", "second");
  SetIni("B2", "EQSL Enabled", "1");
  SetIni("B2", "EQSL Password", Scramble("eqsl-B2", 6402));
  SetIni("Connections", "Connection 1", "A1");
  SetIni("Connections", "Connection 2", "B2");
  TClientSettings settings(ini_);
  TPropsDlg props(settings);
  TConnectDlg dlg(settings, nullptr, &props);
  dlg.DeleteBtnClick();
  EXPECT_EQ(Items(dlg), (std::vector<std::string>{"B2\tsecond"}));
  EXPECT_EQ(Ini("Connections", "Connection 1"), "A1");  // not written yet
  WhenModalShown<TPropsDlg>([](TPropsDlg* p) {
    EXPECT_EQ(p->edCall()->text().toStdString(), "B2");
    EXPECT_EQ(p->edAddr()->text().toStdString(), "k2.example.org");
    EXPECT_EQ(p->edPort()->text().toStdString(), "6111");
    EXPECT_EQ(p->edPasswd()->text().toStdString(), "pw-B2");
    p->edCall()->setText("B2NEW");
    p->edPasswd()->setText("new secret");
    p->OKBtn()->click();
  });
  dlg.EditBtn()->click();
  EXPECT_EQ(Items(dlg), (std::vector<std::string>{"B2NEW\tsecond"}));
  EXPECT_EQ(Ini("Connections", "Connection 1"), "B2NEW");
  EXPECT_EQ(Ini("Connections", "Connection 2"), "");
  EXPECT_EQ(Scramble(Ini("B2NEW", "Passwd"), 3716), "new secret");
  EXPECT_EQ(Ini("B2", "Addr"), "k2.example.org");  // the old section stays
  // The eQSL settings go with the name, unless the new section has its own.
  EXPECT_EQ(Ini("B2NEW", "EQSL Enabled"), "1");
  EXPECT_EQ(Scramble(Ini("B2NEW", "EQSL Password"), 6402), "eqsl-B2");
  EXPECT_EQ(Ini("B2", "EQSL Enabled"), "1");
  SetIni("B3X", "EQSL Enabled", "");
  WhenModalShown<TPropsDlg>([](TPropsDlg* p) {
    p->edCall()->setText("B3X");
    p->OKBtn()->click();
  });
  dlg.EditBtn()->click();
  EXPECT_EQ(Ini("B3X", "EQSL Enabled"), "");
  EXPECT_EQ(Scramble(Ini("B3X", "EQSL Password"), 6402), "eqsl-B2");
}

TEST_F(ClientWindows, ADeletedStationStaysOffTheListUntilTheNextStart) {
  StoreStation("A1", "first");
  SetIni("Connections", "Connection 1", "A1");
  TClientSettings settings(ini_);
  TConnectDlg dlg(settings);
  dlg.DeleteBtnClick();
  dlg.Reload();  // the next showing
  EXPECT_EQ(dlg.lbConnections()->count(), 0);
  TConnectDlg next(settings);  // the next start of the program
  EXPECT_EQ(Items(next), (std::vector<std::string>{"A1\tfirst"}));
}

TEST_F(ClientWindows, ACancelledStationDialogWritesNothing) {
  TClientSettings settings(ini_);
  TPropsDlg props(settings);
  TConnectDlg dlg(settings, nullptr, &props);
  WhenModalShown<TPropsDlg>([](TPropsDlg* p) {
    p->edCall()->setText("DL0XYZ");
    p->edAddr()->setText("10.0.0.7");
    p->CancelBtn()->click();
  });
  dlg.NewBtn()->click();
  EXPECT_EQ(dlg.lbConnections()->count(), 0);
  EXPECT_EQ(Ini("Connections", "Connection 1"), "<missing>");
}

TEST_F(ClientWindows, AChangedOwnCallIsSavedAlsoOnCancel) {
  SetIni("Settings", "Call", "DL1ABC");
  TClientSettings settings(ini_);
  TConnectDlg dlg(settings);
  dlg.edCall()->setText("DL1XYZ");
  dlg.CancelBtn()->click();
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
  EXPECT_EQ(Ini("Settings", "Call"), "DL1XYZ");
  EXPECT_EQ(dlg.OwnCall(), "DL1XYZ");
}

TEST_F(ClientWindows, OkFollowsTheLengthRules) {
  TClientSettings settings(ini_);
  TPropsDlg p(settings);
  p.edCall()->setText("K2X");
  p.edAddr()->setText("abc");
  p.edPort()->setText("6");
  EXPECT_FALSE(p.OKBtn()->isEnabled());
  p.DefPortBtn()->click();
  EXPECT_EQ(p.edPort()->text().toStdString(), "6110");
  EXPECT_TRUE(p.OKBtn()->isEnabled());
  p.edCall()->setText("K2");
  EXPECT_FALSE(p.OKBtn()->isEnabled());
  p.edCall()->setText("K2Y");
  p.edAddr()->setText("ab");
  EXPECT_FALSE(p.OKBtn()->isEnabled());
  EXPECT_EQ(p.edComment()->maxLength(), 64);
}

TEST_F(ClientWindows, NamesThatWouldCorruptTheIniFileAreRefusedWithAMessage) {
  TClientSettings settings(ini_);
  TPropsDlg p(settings);
  for (const char* bad : {"[K2]", "K2=X", "K2\xce\xa9"}) {
    messages_.clear();
    p.edCall()->setText(QString::fromUtf8(bad));
    p.edAddr()->setText("host");
    p.edPort()->setText("6110");
    p.accept();
    EXPECT_NE(p.result(), QDialog::Accepted) << bad;
    ASSERT_EQ(messages_.size(), 1u) << bad;
    EXPECT_NE(messages_[0].find("The call or name"), std::string::npos) << messages_[0];
  }
  p.edCall()->setText("K2X");
  p.accept();
  EXPECT_EQ(p.result(), QDialog::Accepted);
}

TEST_F(ClientWindows, TheEqslBoxWritesAtOnceAndCancelWritesNothing) {
  SetIni("K2X", "EQSL Password", Scramble("old", 6402));
  TClientSettings settings(ini_);
  TPropsDlg p(settings);
  std::vector<std::string> changed;
  p.OnEqslChanged = [&](const std::string& name, bool on, const std::string& pw) {
    changed.push_back(name + (on ? " on " : " off ") + pw);
  };
  p.edCall()->setText("K2X");
  p.show();
  WhenModalShown<TEQSLPropsDlg>([](TEQSLPropsDlg* e) {
    EXPECT_EQ(e->Label1()->text().toStdString(), "eQSL password for K2X");
    EXPECT_FALSE(e->cbEnabled()->isChecked());
    EXPECT_EQ(e->edEQSLPassword()->text().toStdString(), "old");
    e->cbEnabled()->setChecked(true);
    e->edEQSLPassword()->setText("qsl-pw");
    e->btnOK()->click();
  });
  p.cbEQSL()->click();
  EXPECT_TRUE(p.cbEQSL()->isChecked());
  EXPECT_EQ(Ini("K2X", "EQSL Enabled"), "1");
  EXPECT_EQ(Scramble(Ini("K2X", "EQSL Password"), 6402), "qsl-pw");
  p.cbEQSL()->click();  // cleared: written at once
  EXPECT_EQ(Ini("K2X", "EQSL Enabled"), "");
  WhenModalShown<TEQSLPropsDlg>([](TEQSLPropsDlg* e) {
    e->cbEnabled()->setChecked(true);
    e->edCancel()->click();
  });
  p.cbEQSL()->click();
  EXPECT_EQ(Ini("K2X", "EQSL Enabled"), "");
  EXPECT_EQ(changed, (std::vector<std::string>{"K2X on qsl-pw", "K2X off "}));
  p.hide();
}

// --- Frequency window ---------------------------------------------------------------------------

TEST_F(ClientWindows, TypedFrequenciesAndStepsAreSentAndRemembered) {
  FakeServer server;
  auto s = Connected(server);
  ASSERT_TRUE(s->Connected());
  ASSERT_TRUE(server.WaitMain([&] { return s->FreqKnown(); }));
  TFreqCtrl f(*s);
  EXPECT_EQ(f.windowTitle().toStdString(), "Frequency Control");
  f.cbFreq()->setEditText("14.06");
  f.FreqBtn()->click();
  f.cbFreq()->setEditText("abc");
  f.FreqBtnClick();
  f.cbFreq()->setEditText("7040");
  f.FreqBtnClick();
  f.StepButton(1)->click();   // .01 up from 7040.123
  f.StepButton(-4)->click();  // 10 down
  ASSERT_EQ(f.cbFreq()->count(), 2);
  EXPECT_EQ(f.cbFreq()->itemText(0).toStdString(), "7040.000");
  EXPECT_EQ(f.cbFreq()->itemText(1).toStdString(), "14060.000");
  f.cbFreq()->setCurrentIndex(1);
  emit f.cbFreq()->activated(1);
  // Enter in the text is Go, once, for a new text and for a remembered one.
  for (const char* typed : {"3.5", "7040.000"}) {
    f.cbFreq()->setEditText(typed);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(f.cbFreq()->lineEdit(), &enter);
  }
  EXPECT_EQ(f.cbFreq()->count(), 3);
  DisconnectAndWait(*s);
  std::vector<std::string> freqs;
  for (const std::string& t : server.Texts())
    if (t.rfind("FREQ", 0) == 0) freqs.push_back(t);
  EXPECT_EQ(freqs, (std::vector<std::string>{"FREQ 14060.000", "FREQ 7040.000", "FREQ 7040.13",
                                             "FREQ 7030.12", "FREQ 14060.000", "FREQ 3500.000",
                                             "FREQ 7040.000"}));
}

TEST_F(ClientWindows, AtMostTwentyMemoriesAreSavedInOrderAndTheListIsEnded) {
  for (int i = 1; i <= 20; ++i)
    SetIni("Frequency Window", "Freq " + std::to_string(i), std::to_string(30000 - i) + ".000");
  TClientSession s(ini_, home_ + "/trace.log");
  {
    TFreqCtrl f(s);
    ASSERT_EQ(f.cbFreq()->count(), 20);
    EXPECT_EQ(f.cbFreq()->itemText(0).toStdString(), "29980.000");
    for (const char* typed : {"1.8", "3.5", "7", "10.1", "14"}) {
      f.cbFreq()->setEditText(typed);
      f.FreqBtnClick();  // not connected: nothing goes out, the list still grows
    }
    EXPECT_EQ(f.cbFreq()->count(), 25);
    f.show();
    f.move(40, 50);
    f.hide();
  }
  EXPECT_EQ(Ini("Frequency Window", "Freq 1"), "1800.000");
  EXPECT_EQ(Ini("Frequency Window", "Freq 5"), "14000.000");
  EXPECT_EQ(Ini("Frequency Window", "Freq 20"), "29994.000");
  EXPECT_EQ(Ini("Frequency Window", "Freq 21"), "");
  EXPECT_EQ(Ini("Frequency Window", "Top"), "50");
  TFreqCtrl again(s);
  EXPECT_EQ(again.cbFreq()->count(), 20);
}

TEST_F(ClientWindows, RestoredFromMinimisedTheWindowsKeepTheirPlaceAndText) {
  SetIni("Frequency Window", "Top", "300");
  SetIni("Frequency Window", "Left", "10");
  TClientSession s(ini_, home_ + "/trace.log");
  TFreqCtrl f(s);
  f.show();
  EXPECT_EQ(f.pos(), QPoint(10, 300));
  f.move(40, 50);
  f.showMinimized();
  f.showNormal();
  EXPECT_EQ(f.pos(), QPoint(40, 50));

  TRxWin rx(s);
  rx.AddText("cq de k1abc");
  rx.showMinimized();
  rx.showNormal();
  EXPECT_EQ(rx.Text(), "cq de k1abc");
}

TEST_F(ClientWindows, AReportedFrequencyBecomesTheText) {
  TClientSession s(ini_, home_ + "/trace.log");
  TFreqCtrl f(s);
  f.ShowFreq("21074.000");
  EXPECT_EQ(f.cbFreq()->currentText().toStdString(), "21074.000");
}

// --- Receive window -----------------------------------------------------------------------------

class FakeContact : public IContactFields {
 public:
  bool EditContactFields(const std::function<void(TContactFields&)>& edit) override {
    if (!showing) return false;
    if (edit) edit(fields);
    return true;
  }
  bool showing = true;
  TContactFields fields;
};

void SelectWord(QPlainTextEdit* memo, const QString& word) {
  const int at = memo->toPlainText().indexOf(word);
  QTextCursor c(memo->document());
  c.setPosition(at);
  c.setPosition(at + static_cast<int>(word.size()), QTextCursor::KeepAnchor);
  memo->setTextCursor(c);
}

class ReceiveWindow : public ClientWindows {
 protected:
  TClientSession s{ini_, home_ + "/trace.log"};
  FakeContact contact;
  TRxWin rx{s};
  void SetUp() override {
    ClientWindows::SetUp();
    rx.SetContactFields(&contact);
  }
};

TEST_F(ReceiveWindow, DoubleClickedWordsGoToTheContactWindow) {
  rx.AddText("q1xyz de alex 5nn 5nn jo20ab paris");
  EXPECT_TRUE(rx.isVisible());
  for (const char* word : {"alex", "5nn", "q1xyz", "jo20ab", "paris"}) {
    SelectWord(rx.RxPanel(), word);
    rx.RxPanelDblClick();
  }
  EXPECT_EQ(contact.fields.Name, "Alex");
  EXPECT_EQ(contact.fields.RstRcvd, "599");
  EXPECT_EQ(contact.fields.Call, "Q1XYZ");
  EXPECT_EQ(contact.fields.Grid, "JO20ab");
  EXPECT_EQ(contact.fields.Qth, "Paris");
  contact.showing = false;
  SelectWord(rx.RxPanel(), "de");
  rx.RxPanelDblClick();
  EXPECT_EQ(contact.fields.Comment, "");
}

TEST_F(ReceiveWindow, TheMenuEnablesItsItemsForTheSelectionAndCopies) {
  rx.AddText("ur rst 5nn 5nn");
  SelectWord(rx.RxPanel(), "5nn");
  rx.PopupMenuPopup();
  EXPECT_TRUE(rx.CopyItem(TContactField::RstRcvd)->isEnabled());
  EXPECT_TRUE(rx.CopyItem(TContactField::Call)->isEnabled());
  EXPECT_FALSE(rx.CopyItem(TContactField::Name)->isEnabled());
  EXPECT_FALSE(rx.CopyItem(TContactField::Grid)->isEnabled());
  rx.CopyItem(TContactField::RstRcvd)->trigger();
  EXPECT_EQ(contact.fields.RstRcvd, "599");
  s.SetRxOnly(true);
  rx.PopupMenuPopup();
  EXPECT_FALSE(rx.CopyItem(TContactField::Qth)->isEnabled());
}

TEST_F(ClientWindows, NewTextKeepsTheSelectionAndFollowsUppercase) {
  SetIni("Receive Window", "Upper case", "1");
  SetIni("Receive Window", "Top", "x");
  TClientSession s(ini_, home_ + "/trace.log");
  {
    TRxWin rx(s);
    EXPECT_TRUE(rx.cbUpperCase()->isChecked());
    EXPECT_EQ(rx.y(), 436);
    rx.AddText("cq test ");
    rx.cbUpperCase()->setChecked(false);
    SelectWord(rx.RxPanel(), "TEST");
    rx.AddText("de k2");
    EXPECT_EQ(rx.Text(), "CQ TEST de k2");
    EXPECT_EQ(rx.RxPanel()->textCursor().selectedText().toStdString(), "TEST");
    rx.ClearBtnClick();
    EXPECT_EQ(rx.Text(), "");
    rx.move(12, 34);
  }
  EXPECT_EQ(Ini("Receive Window", "Left"), "12");
  EXPECT_EQ(Ini("Receive Window", "Top"), "34");
  EXPECT_EQ(Ini("Receive Window", "Upper case"), "");
}

// --- eQSL password in use -----------------------------------------------------------------------

TEST_F(ClientWindows, TheEqslPasswordIsTakenIntoUseOnlyForTheConnectedStation) {
  FakeServer server;
  auto s = Connected(server);
  ASSERT_TRUE(s->Connected());
  s->StationEqslChanged("Other", true, "other-pw");
  EXPECT_FALSE(s->EqslEnabled());
  EXPECT_EQ(s->EqslPassword(), "");
  s->StationEqslChanged("live", true, "live-pw");
  EXPECT_TRUE(s->EqslEnabled());
  EXPECT_EQ(s->EqslPassword(), "live-pw");
  DisconnectAndWait(*s);
  s->StationEqslChanged("Live", true, "after");
  EXPECT_EQ(s->EqslPassword(), "");
}

}  // namespace

TEST(SSBWindow, TheSquelchBarsTopIsSquelchZeroAndTheWindowTakesTheMessageFont) {
  setenv("TALVO_ALSA_PCM_OUT", "null", 1);
  setenv("TALVO_ALSA_PCM_IN", "null", 1);
  FakeAudioLink link;
  TClientAudio audio(link);
  const QFont saved = QApplication::font("QMessageBox");
  QFont message(QStringLiteral("Serif"));
  message.setPointSize(QApplication::font().pointSize() + 5);
  QApplication::setFont(message, "QMessageBox");
  const TClientSettings settings(std::string(std::getenv("TALVO_HOME")) + "/SquelchBar.INI");
  settings.SetMicAudio(160, false);
  TSSBPanel window(audio, settings);
  QApplication::setFont(saved, "QMessageBox");
  EXPECT_EQ(window.font().pointSize(), message.pointSize());
  window.show();
  // The handle sits halfway; the user drags it above the bar's top.
  QSlider* bar = window.SquelchLvl();
  const QPointF middle(bar->width() / 2.0, bar->height() / 2.0), top(middle.x(), -40.0);
  for (auto [type, at] :
       {std::pair{QEvent::MouseButtonPress, middle}, std::pair{QEvent::MouseMove, top},
        std::pair{QEvent::MouseButtonRelease, top}}) {
    QMouseEvent event(type, at, bar->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(bar, &event);
  }
  EXPECT_EQ(audio.MicSquelch(), 0);
  unsetenv("TALVO_ALSA_PCM_IN");
  unsetenv("TALVO_ALSA_PCM_OUT");
}
