#include "platform/ProgramWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

int IgnoreErrors(Display*, XErrorEvent*) {
  return 0;
}

// The one connection to the X display, opened when first needed and kept: a display refuses
// connections that come too fast one after another. A broken connection is dropped instead of
// ending the program (as Xlib would), and the next request connects again.
class XConnection {
 public:
  static XConnection& Instance() {
    static XConnection connection;
    return connection;
  }

  Display* Get() {
    if (display_ != nullptr && broken_) {
      XCloseDisplay(display_);
      display_ = nullptr;
    }
    broken_ = false;
    for (int attempt = 0; display_ == nullptr && attempt < 5; ++attempt) {
      errno = 0;
      display_ = XOpenDisplay(nullptr);
      if (display_ == nullptr && errno != EAGAIN) break;
      if (display_ == nullptr) ::usleep(5000);
    }
    if (display_ != nullptr) XSetIOErrorExitHandler(display_, Broken, this);
    return display_;
  }

 private:
  static void Broken(Display*, void* self) { static_cast<XConnection*>(self)->broken_ = true; }

  Display* display_ = nullptr;
  bool broken_ = false;
};

// The display for one request. Windows of other programs may vanish at any moment; the errors
// that causes are ignored during the request, and the program's own error handler is put back
// afterwards.
class DisplayConnection {
 public:
  DisplayConnection() : display_(XConnection::Instance().Get()) {
    if (display_) previous_ = XSetErrorHandler(IgnoreErrors);
  }
  ~DisplayConnection() {
    if (!display_) return;
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  DisplayConnection(const DisplayConnection&) = delete;
  DisplayConnection& operator=(const DisplayConnection&) = delete;

  Display* get() const { return display_; }
  explicit operator bool() const { return display_ != nullptr; }

 private:
  Display* display_;
  XErrorHandler previous_ = nullptr;
};

// 1 when the window's WM_CLASS class is cls, 0 when it has another class, -1 when it has none.
int ClassMatches(Display* display, Window window, const std::string& cls) {
  XClassHint hint{};
  if (XGetClassHint(display, window, &hint) == 0) return -1;
  bool match = hint.res_class != nullptr && cls == hint.res_class;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return match ? 1 : 0;
}

// A window manager may put each top-level window into a frame of its own: below a child of the
// root without a class, the program's window is looked for a few levels down.
void Collect(Display* display, Window parent, const std::string& cls, int depth,
             std::vector<ProgramWindow>& out) {
  Window root = 0, up = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) return;
  for (unsigned i = 0; i < count; ++i) {
    int match = ClassMatches(display, children[i], cls);
    if (match == 1)
      out.push_back(ProgramWindow{ProgramWindow::Kind::X11, children[i], {}});
    else if (match == -1 && depth < 3)
      Collect(display, children[i], cls, depth + 1, out);
  }
  if (children) XFree(children);
}

bool TakesDeleteRequest(Display* display, Window window, Atom deleteWindow) {
  Atom* protocols = nullptr;
  int count = 0;
  if (XGetWMProtocols(display, window, &protocols, &count) == 0) return false;
  bool found = false;
  for (int i = 0; i < count; ++i) found = found || protocols[i] == deleteWindow;
  if (protocols) XFree(protocols);
  return found;
}

}  // namespace

bool WindowSystemAvailable() {
  return static_cast<bool>(DisplayConnection());
}

std::vector<ProgramWindow> FindProgramWindows(const std::string& windowClass,
                                              const ProcessId& started) {
  std::vector<ProgramWindow> out;
  DisplayConnection display;
  if (!display) {
    if (ProcessRunning(started))
      out.push_back(ProgramWindow{ProgramWindow::Kind::Process, 0, started});
    return out;
  }
  for (int screen = 0; screen < ScreenCount(display.get()); ++screen)
    Collect(display.get(), RootWindow(display.get(), screen), windowClass, 0, out);
  return out;
}

bool ProgramWindowExists(const ProgramWindow& window) {
  if (window.kind == ProgramWindow::Kind::Process) return ProcessRunning(window.process);
  DisplayConnection display;
  if (!display || window.window == 0) return false;
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display.get(), static_cast<Window>(window.window), &attributes) != 0;
}

bool CloseProgramWindow(const ProgramWindow& window) {
  if (window.kind == ProgramWindow::Kind::Process) return TerminateProcess(window.process);
  DisplayConnection display;
  if (!display || window.window == 0) return false;
  Display* d = display.get();
  auto w = static_cast<Window>(window.window);
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(d, w, &attributes) == 0) return false;
  Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
  if (!TakesDeleteRequest(d, w, deleteWindow)) {
    XKillClient(d, w);
    return true;
  }
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = w;
  event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(deleteWindow);
  event.xclient.data.l[1] = CurrentTime;
  return XSendEvent(d, w, False, NoEventMask, &event) != 0;
}

}  // namespace platform
