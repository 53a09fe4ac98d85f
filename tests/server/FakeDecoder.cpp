// A stand-in for the outside decoder program. It leaves marker files in its working folder
// ("started-<pid>", then "closed-<pid>" or "terminated-<pid>") and behaves as the file "mode"
// in that folder says:
//   window     (default) open a top-level window of class "TRxForm" that takes the close request
//   noprotocol the window, without taking the close request
//   slowclose  the window; after the close request it stays 1.5 s before it goes
//   nowindow   no window: wait for SIGTERM
//   exit       end at once
// Without an X display every mode but "exit" waits for SIGTERM.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

void Marker(const std::string& what) {
  std::ofstream(what + "-" + std::to_string(::getpid())) << "1\n";
}

int WaitForTerm() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigprocmask(SIG_BLOCK, &set, nullptr);
  int sig = 0;
  sigwait(&set, &sig);
  Marker("terminated");
  return 0;
}

}  // namespace

int main() {
  // SIGTERM must not slip in between the start marker and the wait.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigprocmask(SIG_BLOCK, &set, nullptr);

  std::string mode = "window";
  std::ifstream("mode") >> mode;
  Marker("started");
  if (mode == "exit") return 0;
  if (mode == "nowindow") return WaitForTerm();
  Display* display = nullptr;
  if (std::getenv("DISPLAY") != nullptr) {
    // A busy display may refuse a connection for a moment.
    for (int attempt = 0; display == nullptr && attempt < 50; ++attempt) {
      display = XOpenDisplay(nullptr);
      if (display == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  if (display == nullptr) return WaitForTerm();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);

  Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 10, 10, 200, 100, 1,
                                      BlackPixel(display, 0), WhitePixel(display, 0));
  XClassHint hint;
  char name[] = "cwget", cls[] = "TRxForm";
  hint.res_name = name;
  hint.res_class = cls;
  XSetClassHint(display, window, &hint);
  Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  if (mode != "noprotocol") XSetWMProtocols(display, window, &deleteWindow, 1);
  XMapWindow(display, window);
  XFlush(display);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) {
      if (mode == "slowclose") std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      Marker("closed");
      XDestroyWindow(display, window);
      XCloseDisplay(display);
      return 0;
    }
  }
}
