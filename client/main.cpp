// TalvoClient: operates a K2 at a TalvoServer over the network.
#include "client/ConnectDlg.h"
#include "client/FreqCtrl.h"
#include "client/K2FrontPanel.h"
#include "client/MacroDlg.h"
#include "client/PropsDlg.h"
#include "client/QSOPanel.h"
#include "client/RxWin.h"
#include "client/SSBPanel.h"
#include "common/ChatWin.h"
#include "platform/Application.h"
#include "platform/Paths.h"

int main(int argc, char** argv) {
  platform::Application app(argc, argv);
  QApplication::setApplicationName(TClientSession::kTitle);
  QApplication::setQuitOnLastWindowClosed(false);

  const std::string program = platform::ProgramFile();
  TK2FrontPanel panel(platform::ChangeFileExt(program, ".INI"),
                      platform::ChangeFileExt(program, ".log"));
  TSSBPanel mic;
  TConnectDlg connectDlg(panel.Session().Settings(), &panel);
  TPropsDlg propsDlg;
  TQSOPanel qso;
  TMacroDlg macroDlg;
  TFreqCtrl freq;
  TChatWin chat;
  TRxWin rx;
  panel.SetToolWindows({&mic, &connectDlg, &qso, &freq, &chat, &rx});
  platform::OnTerminationSignal([&panel](int) { panel.close(); });
  panel.show();
  return app.exec();
}
