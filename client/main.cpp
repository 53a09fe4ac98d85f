// TalvoClient: operates a K2 at a TalvoServer over the network.
#include "client/K2FrontPanel.h"
#include "platform/Application.h"
#include "platform/Paths.h"

int main(int argc, char** argv) {
  platform::Application app(argc, argv);
  QApplication::setApplicationName(TClientSession::kTitle);
  QApplication::setQuitOnLastWindowClosed(false);

  // The handler is in place before the windows are built, so that a signal arriving meanwhile
  // waits for the event loop and still ends the program in order.
  TK2FrontPanel* live = nullptr;
  platform::OnTerminationSignal([&live](int) {
    if (live != nullptr) live->CloseProgram();
  });
  // The panel creates its tool windows: microphone, station list and settings, contacts,
  // macros, frequencies, chat and received text.
  const std::string program = platform::ProgramFile();
  TK2FrontPanel panel(platform::ChangeFileExt(program, ".INI"),
                      platform::ChangeFileExt(program, ".log"));
  live = &panel;
  panel.show();
  return app.exec();
}
