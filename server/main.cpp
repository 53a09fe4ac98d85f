// TalvoServer: runs beside the K2 and serves one remote operator at a time.
#include "common/Adif.h"
#include "common/ChatWin.h"
#include "platform/Application.h"
#include "platform/Paths.h"
#include "server/EventLog.h"
#include "server/ServerForm.h"

int main(int argc, char** argv) {
  platform::Application app(argc, argv);
  QApplication::setApplicationName(TServerForm::kTitle);
  QApplication::setQuitOnLastWindowClosed(false);

  TEventLog eventLog(platform::ChangeFileExt(platform::ProgramFile(), ".log"));
  eventLog.Load();
  AdifPath();

  TChatWin chat;  // the form's destructor still uses it
  TServerForm form(eventLog);
  form.SetChatWin(&chat);
  platform::OnTerminationSignal([&form](int) { form.CloseServer(); });
  form.show();
  return app.exec();
}
