// The contact window's Morse keyboard and macro buttons, offscreen, on a session without a
// connection: every "CW" line is dropped by the connection and still written to the trace file.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <sstream>

#include "client/ClientSession.h"
#include "client/MacroDlg.h"
#include "client/QSOPanel.h"
#include "client/TAMemo.h"
#include "common/Utils.h"
#include "platform/Application.h"
#include "tests/client/ClientTestSupport.h"

namespace {

void Press(QWidget* target, int key, const QString& text,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QCoreApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QCoreApplication::sendEvent(target, &release);
}

void Type(QWidget* target, const QString& keys) {
  for (QChar c : keys) {
    if (c == QLatin1Char('\r'))
      Press(target, Qt::Key_Return, QStringLiteral("\r"));
    else if (c == QLatin1Char('\b'))
      Press(target, Qt::Key_Backspace, QStringLiteral("\b"));
    else
      Press(target, 0, QString(c));
  }
}

// The lines the trace file shows as sent, without their times.
std::vector<std::string> SentLines(const std::string& trace) {
  std::vector<std::string> lines;
  std::istringstream in(trace);
  for (std::string line; std::getline(in, line);) {
    const auto at = line.find(" SENT: ");
    if (at == std::string::npos) continue;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line.substr(at + 7));
  }
  return lines;
}

class QSOKeyboard : public ::testing::Test {
 protected:
  QSOKeyboard() { WriteIniString(ini_, "Debug", "Trace", "1"); }

  std::vector<std::string> Sent() const { return SentLines(FileText(trace_)); }

  const std::string home_ = TestHome();
  const std::string ini_ = home_ + "/TalvoClient.INI";
  const std::string trace_ = home_ + "/TalvoClient.log";
};

TEST_F(QSOKeyboard, TypedKeysGoOutWordByWord) {
  TClientSession session(ini_, trace_);
  TQSOPanel panel(session);
  panel.show();
  panel.cbUpperCase->setChecked(true);
  TTAMemo* memo = panel.TypeAhead;

  Type(memo, QStringLiteral("cq"));
  EXPECT_TRUE(Sent().empty());  // typed ahead
  panel.SendBtn->click();
  EXPECT_EQ(panel.SendBtn->text(), QStringLiteral("Stop"));
  Type(memo, QStringLiteral(" de k1abc! k"));
  Type(memo, QStringLiteral("\r"));
  Type(memo, QStringLiteral("tu?73.x\bqrz"));
  EXPECT_EQ(memo->toPlainText(), QStringLiteral("CQ DE K1ABC K\nTU?73.QRZ"));
  EXPECT_EQ(memo->textCursor().position(), memo->toPlainText().size());
  EXPECT_EQ(panel.Keyboard().Buffer(), "QRZ");
  Press(memo, Qt::Key_Escape, QStringLiteral("\x1b"));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"CW CQ", "CW  DE ", "CW K1ABC ", "CW K  ", "CW TU? ",
                                              "CW 73. ", "CW *"}));
  EXPECT_EQ(memo->toPlainText(), QString());
  EXPECT_EQ(panel.SendBtn->text(), QStringLiteral("Send"));
  EXPECT_EQ(panel.Keyboard().Buffer(), "");

  // Without upper case, letters go as typed; Clear while transmitting stops with "CW *".
  panel.cbUpperCase->setChecked(false);
  panel.SendBtn->click();
  Type(memo, QStringLiteral("tnx "));
  panel.ClearBtn->click();
  const std::vector<std::string> sent = Sent();
  EXPECT_EQ(std::vector<std::string>(sent.end() - 3, sent.end()),
            (std::vector<std::string>{"CW ", "CW tnx ", "CW *"}));
  EXPECT_FALSE(panel.Keyboard().Transmitting());
  EXPECT_EQ(memo->toPlainText(), QString());
}

TEST_F(QSOKeyboard, MacroButtonsFunctionKeysAndTheEditor) {
  const std::string file = home_ + "/contest.mac";
  TMacroSet set;
  set.Edit(1, {"CQ", "Call CQ", "cq de %m ^t"});
  set.Edit(5, {"Report", "", "%c ur %r %r\r\n^r"});
  ASSERT_TRUE(set.Save(file));
  WriteIniString(ini_, "Settings", "Macros", file);
  WriteIniString(ini_, "Settings", "Call", "K1ABC");
  TClientSession session(ini_, trace_);
  TQSOPanel panel(session);
  TMacroDlg dlg;
  panel.SetMacroDlg(&dlg);
  panel.show();
  EXPECT_EQ(panel.MacroButton(1)->text(), QStringLiteral("CQ"));
  EXPECT_EQ(panel.MacroButton(1)->toolTip(), QStringLiteral("Call CQ"));
  EXPECT_TRUE(panel.MacroButton(1)->font().bold());
  EXPECT_FALSE(panel.MacroButton(5)->font().bold());
  EXPECT_EQ(panel.pnShowMacro->text().toStdString(), file);
  EXPECT_FALSE(panel.SaveBtn->isEnabled());

  panel.MacroButton(1)->click();
  EXPECT_EQ(Sent(), (std::vector<std::string>{"CW CQ DE K1ABC "}));
  EXPECT_EQ(panel.SendBtn->text(), QStringLiteral("Stop"));

  // F5 runs macro 5 only in a Morse mode; it fills the empty report and returns to type-ahead.
  panel.edCall->setText(QStringLiteral("DL1AB"));
  Press(panel.edCall, Qt::Key_F5, QString());
  EXPECT_EQ(Sent().size(), 1u);
  session.SetModeGroup(1);
  panel.edRSTS->clear();
  Press(panel.edCall, Qt::Key_F5, QString());
  EXPECT_EQ(Sent().back(), "CW DL1AB UR 5NN 5NN  ");
  EXPECT_EQ(panel.edRSTS->text(), QStringLiteral("599"));
  EXPECT_EQ(panel.SendBtn->text(), QStringLiteral("Send"));
  Press(panel.TypeAhead, Qt::Key_F13, QString());
  EXPECT_EQ(Sent().size(), 2u);

  // The editor on a right click: OK takes its values and leaves them unsaved.
  QTimer::singleShot(0, &dlg, [&dlg] {
    dlg.edCaption->setText(QStringLiteral("Name"));
    dlg.SetMacroText("tnx %n\r\n^t");
    dlg.accept();
  });
  panel.MacroMouseUp(panel.MacroButton(2), Qt::RightButton);
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Macro02"));
  EXPECT_EQ(panel.MacroButton(2)->text(), QStringLiteral("Name"));
  EXPECT_TRUE(panel.MacroButton(2)->font().bold());
  EXPECT_TRUE(panel.SaveBtn->isEnabled());

  // Shown again with unsaved edits: the file is not read over them.
  WriteIniString(file, "Macro01", "Caption", "CQ TEST");
  panel.hide();
  panel.show();
  EXPECT_EQ(panel.MacroButton(2)->text(), QStringLiteral("Name"));
  EXPECT_EQ(panel.MacroButton(1)->text(), QStringLiteral("CQ"));
  EXPECT_TRUE(panel.SaveBtn->isEnabled());
  ASSERT_TRUE(panel.SaveMacros(file));
  EXPECT_FALSE(panel.SaveBtn->isEnabled());
  EXPECT_EQ(ReadIniString(file, "Macro02", "Macro", ""), "tnx %n||^t");
  WriteIniString(file, "Macro01", "Caption", "CQ TEST");
  panel.hide();
  panel.show();
  EXPECT_EQ(panel.MacroButton(1)->text(), QStringLiteral("CQ TEST"));
}

}  // namespace
