#include "platform/SharedWindow.h"

namespace platform {
namespace {
WPARAM g_nextClient = 1;
}

SharedWindow::SharedWindow(unsigned clientMessage, MessageWindow::WndProc ownProc)
    : clientMessage_(clientMessage),
      ownProc_(std::move(ownProc)),
      window_([this](unsigned msg, WPARAM w, LPARAM l) { return WndProc(msg, w, l); }) {}

SharedWindow::~SharedWindow() {
  window_.SetWndProc({});
  for (const auto& client : clients_) window_.KillTimer(client.first);
}

WPARAM SharedWindow::AddClient(ClientProc proc) {
  WPARAM id = g_nextClient++;
  clients_[id] = std::move(proc);
  return id;
}

void SharedWindow::RemoveClient(WPARAM id) {
  window_.KillTimer(id);
  clients_.erase(id);
}

bool SharedWindow::SetTimer(WPARAM id, unsigned ms) {
  if (!HasClient(id)) return false;
  return window_.SetTimer(id, ms);
}

bool SharedWindow::KillTimer(WPARAM id) {
  return window_.KillTimer(id);
}

LRESULT SharedWindow::WndProc(unsigned msg, WPARAM wParam, LPARAM lParam) {
  if (msg == clientMessage_) {
    auto it = clients_.find(wParam);
    if (it == clients_.end()) return 0;
    // The client may remove itself, or destroy this window, while it runs.
    ClientProc proc = it->second;
    return proc(msg, lParam);
  }
  if (!ownProc_) return 0;
  MessageWindow::WndProc proc = ownProc_;
  return proc(msg, wParam, lParam);
}

}  // namespace platform
