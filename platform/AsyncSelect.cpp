#include "platform/AsyncSelect.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <cerrno>

namespace platform::winsock::detail {

// The notifiers of one selected socket. Both are one-shot: a notifier is disabled as soon as it
// fires and enabled again by the call that consumes the event (see AsyncSelect.h).
class SelectAgent : public QObject {
 public:
  explicit SelectAgent(const EntryPtr& entry)
      : entry_(entry),
        read_(static_cast<qintptr>(entry->fd), QSocketNotifier::Read, this),
        write_(static_cast<qintptr>(entry->fd), QSocketNotifier::Write, this) {
    read_.setEnabled(false);
    write_.setEnabled(false);
    QObject::connect(&read_, &QSocketNotifier::activated, this, [this] { ReadReady(); });
    QObject::connect(&write_, &QSocketNotifier::activated, this, [this] { WriteReady(); });
  }

  // Called with the entry locked, on the agent's thread.
  void ArmRead(bool on) { read_.setEnabled(on); }
  void ArmWrite(bool on) { write_.setEnabled(on); }

 private:
  void ReadReady();
  void WriteReady();

  std::weak_ptr<SocketEntry> entry_;
  QSocketNotifier read_;
  QSocketNotifier write_;
};

namespace {

void PostEvent(SocketEntry& e, long event, int error) {
  if (e.window == 0 || (e.events & event) == 0) return;
  MessageWindow::Post(e.window, e.message, static_cast<WPARAM>(e.handle),
                      MakeSelectReply(event, error));
}

int PendingSocketError(int fd) {
  int err = 0;
  socklen_t len = sizeof(err);
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
  return ErrnoToWinsock(err);
}

bool WatchesRead(const SocketEntry& e) {
  return (e.events & (kFdRead | kFdClose | kFdAccept | kFdOob)) != 0 && !e.closeReported &&
         !e.connectFailed && !e.connecting;
}

// Runs fn(agent) on the agent's thread with the entry locked: at once when called there,
// otherwise queued, and then only if the agent is still the entry's.
template <typename Fn>
void WithAgent(const EntryPtr& entry, Fn fn) {
  SelectAgent* agent = entry->agent;
  if (agent == nullptr) return;
  if (agent->thread() == QThread::currentThread()) {
    fn(*entry, *agent);
    return;
  }
  std::weak_ptr<SocketEntry> weak = entry;
  QMetaObject::invokeMethod(
      agent,
      [weak, agent, fn] {
        EntryPtr e = weak.lock();
        if (!e) return;
        std::lock_guard guard(e->lock);
        if (e->agent == agent) fn(*e, *agent);
      },
      Qt::QueuedConnection);
}

}  // namespace

void SelectAgent::ReadReady() {
  read_.setEnabled(false);
  EntryPtr entry = entry_.lock();
  if (!entry) return;
  std::lock_guard guard(entry->lock);
  SocketEntry& e = *entry;
  if (e.agent != this || e.window == 0) return;

  if (e.listening) {
    PostEvent(e, kFdAccept, 0);  // re-armed by accept
    return;
  }
  if (e.closeReported || e.connectFailed) return;
  if (e.type != kSockStream) {
    PostEvent(e, kFdRead, 0);  // re-armed by a receive
    return;
  }

  pollfd p{e.fd, static_cast<short>(POLLIN | POLLRDHUP), 0};
  if (::poll(&p, 1, 0) < 0) p.revents = 0;
  char byte;
  ssize_t n = ::recv(e.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  int err = errno;
  if (n > 0) {
    PostEvent(e, kFdRead, 0);
    if ((p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
      // The peer has finished while data still waits: the close is reported now, as WinSock
      // does; the data stays readable and the close handler drains it.
      int code = e.pendingCloseError;
      if (code == 0 && (p.revents & POLLERR) != 0) code = PendingSocketError(e.fd);
      e.closeReported = true;
      PostEvent(e, kFdClose, code);
    }
    return;
  }
  if (n == 0) {
    e.closeReported = true;
    PostEvent(e, kFdClose, e.pendingCloseError);
    return;
  }
  if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) {
    read_.setEnabled(true);
    return;
  }
  e.closeReported = true;
  PostEvent(e, kFdClose, ErrnoToWinsock(err));
}

void SelectAgent::WriteReady() {
  write_.setEnabled(false);
  EntryPtr entry = entry_.lock();
  if (!entry) return;
  std::lock_guard guard(entry->lock);
  SocketEntry& e = *entry;
  if (e.agent != this || e.window == 0) return;

  if (e.connecting) {
    e.connecting = false;
    int err = PendingSocketError(e.fd);
    if (err != 0) {
      e.connectFailed = true;
      PostEvent(e, kFdConnect, err);
      return;
    }
    e.connected = true;
    PostEvent(e, kFdConnect, 0);
    PostEvent(e, kFdWrite, 0);
    read_.setEnabled(WatchesRead(e));
    return;
  }
  PostEvent(e, kFdWrite, 0);
}

void AfterReceive(const EntryPtr& entry, int result, int error) {
  std::lock_guard guard(entry->lock);
  if (result < 0 && entry->type == kSockStream && error != WSAEWOULDBLOCK && error != WSAEINTR &&
      entry->pendingCloseError == 0) {
    entry->pendingCloseError = error;
  }
  WithAgent(entry, [](SocketEntry& e, SelectAgent& a) { a.ArmRead(WatchesRead(e)); });
}

void AfterSend(const EntryPtr& entry, bool blocked) {
  if (!blocked) return;
  std::lock_guard guard(entry->lock);
  WithAgent(entry, [](SocketEntry& e, SelectAgent& a) {
    if ((e.events & kFdWrite) != 0 && !e.connecting) a.ArmWrite(true);
  });
}

void AfterAccept(const EntryPtr& entry) {
  std::lock_guard guard(entry->lock);
  WithAgent(entry, [](SocketEntry& e, SelectAgent& a) { a.ArmRead(WatchesRead(e)); });
}

void AfterListen(const EntryPtr& entry) {
  std::lock_guard guard(entry->lock);
  entry->listening = true;
  WithAgent(entry, [](SocketEntry& e, SelectAgent& a) {
    a.ArmWrite(false);
    a.ArmRead(WatchesRead(e));
  });
}

int AsyncConnect(const EntryPtr& entry, int result, int error) {
  std::lock_guard guard(entry->lock);
  SocketEntry& e = *entry;
  if (result == 0) {
    e.connected = true;
    PostEvent(e, kFdConnect, 0);
    PostEvent(e, kFdWrite, 0);
    WithAgent(entry, [](SocketEntry& s, SelectAgent& a) { a.ArmRead(WatchesRead(s)); });
    return 0;
  }
  if (error == EINPROGRESS || error == EAGAIN) {
    e.connecting = true;
    WithAgent(entry, [](SocketEntry&, SelectAgent& a) {
      a.ArmRead(false);
      a.ArmWrite(true);
    });
    WSASetLastError(WSAEWOULDBLOCK);
    return SOCKET_ERROR;
  }
  switch (error) {
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ECONNRESET:
      // Known at once, reported like any other outcome.
      e.connectFailed = true;
      WithAgent(entry, [](SocketEntry&, SelectAgent& a) {
        a.ArmRead(false);
        a.ArmWrite(false);
      });
      PostEvent(e, kFdConnect, ErrnoToWinsock(error));
      WSASetLastError(WSAEWOULDBLOCK);
      return SOCKET_ERROR;
    default:
      WSASetLastError(ErrnoToWinsock(error));
      return SOCKET_ERROR;
  }
}

void Detach(const EntryPtr& entry) {
  SelectAgent* agent;
  {
    std::lock_guard guard(entry->lock);
    agent = entry->agent;
    entry->agent = nullptr;
    entry->window = 0;
    entry->events = 0;
  }
  if (agent == nullptr) return;
  QThread* owner = agent->thread();
  if (owner == QThread::currentThread() || owner == nullptr || !owner->isRunning()) {
    delete agent;
  } else {
    // The notifiers must go on their own thread, and before the descriptor is closed.
    QMetaObject::invokeMethod(
        agent, [agent] { delete agent; }, Qt::BlockingQueuedConnection);
  }
}

}  // namespace platform::winsock::detail

namespace platform::winsock {

int WSAAsyncSelect(TSocket s, HWND window, unsigned message, long events) {
  if (!WSAStarted()) {
    WSASetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
  }
  detail::EntryPtr entry = detail::Find(s);
  if (!entry) return SOCKET_ERROR;
  int flags = ::fcntl(entry->fd, F_GETFL);
  if (flags < 0 || ::fcntl(entry->fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    WSASetLastError(ErrnoToWinsock(errno));
    return SOCKET_ERROR;
  }
  detail::Detach(entry);
  if (window == 0 || events == 0) return 0;

  auto* agent = new detail::SelectAgent(entry);
  std::lock_guard guard(entry->lock);
  detail::SocketEntry& e = *entry;
  e.agent = agent;
  e.window = window;
  e.message = message;
  e.events = events;
  if (e.connecting) {
    agent->ArmWrite(true);
    return 0;
  }
  agent->ArmRead(detail::WatchesRead(e));
  // A connection that is up reports FD_WRITE at once (it can send), as after connect or accept.
  bool canSend = e.type != kSockStream ? !e.listening : (e.connected && !e.connectFailed);
  if ((events & kFdWrite) != 0 && canSend) agent->ArmWrite(true);
  return 0;
}

}  // namespace platform::winsock
