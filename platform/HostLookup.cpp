#include "platform/HostLookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/AsyncSelect.h"
#include "platform/Sockets.h"

namespace platform::winsock {
namespace {

int ResolverError(int herr) {
  switch (herr) {
    case HOST_NOT_FOUND:
      return WSAHOST_NOT_FOUND;
    case TRY_AGAIN:
      return WSATRY_AGAIN;
    case NO_RECOVERY:
      return WSANO_RECOVERY;
    case NO_DATA:
      return WSANO_DATA;
  }
  return WSANO_RECOVERY;
}

bool NumericButNotQuad(const std::string& name) {
  in_addr a{};
  if (::inet_aton(name.c_str(), &a) == 0) return false;
  return inet_addr(name) == kInAddrNone && name != "255.255.255.255";
}

void CopyEntry(const hostent& h, HostEnt* entry) {
  entry->name = h.h_name != nullptr ? h.h_name : "";
  entry->aliases.clear();
  entry->addresses.clear();
  for (char** a = h.h_aliases; a != nullptr && *a != nullptr; ++a) entry->aliases.push_back(*a);
  if (h.h_addrtype == AF_INET && h.h_length == 4) {
    for (char** p = h.h_addr_list; p != nullptr && *p != nullptr; ++p) {
      std::uint32_t addr;
      std::memcpy(&addr, *p, 4);
      entry->addresses.push_back(addr);
    }
  }
}

// Runs a reentrant glibc look-up, growing its scratch buffer as it asks.
template <typename Call>
bool RunLookup(Call call, HostEnt* entry) {
  std::vector<char> buf(2048);
  for (;;) {
    hostent h{};
    hostent* result = nullptr;
    int herr = 0;
    int rc = call(&h, buf.data(), buf.size(), &result, &herr);
    if (rc == ERANGE && buf.size() < (1u << 20)) {
      buf.resize(buf.size() * 2);
      continue;
    }
    if (rc != 0 || result == nullptr) {
      WSASetLastError(rc != 0 && rc != ENOENT && herr == NETDB_INTERNAL ? ErrnoToWinsock(rc)
                                                                        : ResolverError(herr));
      return false;
    }
    CopyEntry(h, entry);
    return true;
  }
}

// The look-ups in flight and ended; never destroyed, since worker threads may outlive main.
struct Lookups {
  std::mutex lock;
  struct State {
    bool done = false;
    int error = 0;
    HostEnt result;
  };
  std::unordered_map<TLookup, State> states;
  TLookup next = 1;
};

Lookups& TheLookups() {
  static Lookups* lookups = new Lookups;
  return *lookups;
}

// The worker threads, joined before the program's statics go (a look-up that still waits for
// the resolver delays the end of the program until the resolver gives up).
class Workers {
 public:
  ~Workers() {
    std::lock_guard guard(lock_);
    for (auto& w : workers_) w.thread.join();
  }
  template <typename Fn>
  void Start(Fn fn) {
    std::lock_guard guard(lock_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (it->finished->load()) {
        it->thread.join();
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back({std::thread([fn, finished] {
                          fn();
                          finished->store(true);
                        }),
                        finished});
  }

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };
  std::mutex lock_;
  std::vector<Worker> workers_;
};

Workers& TheWorkers() {
  static Workers workers;
  return workers;
}

template <typename Resolve>
TLookup StartLookup(HWND window, unsigned message, Resolve resolve) {
  if (!WSAStarted()) {
    WSASetLastError(WSANOTINITIALISED);
    return 0;
  }
  Lookups& l = TheLookups();
  TLookup handle;
  {
    std::lock_guard guard(l.lock);
    handle = l.next++;
    l.states[handle];
  }
  TheWorkers().Start([handle, window, message, resolve] {
    HostEnt entry;
    int error = resolve(&entry) ? 0 : WSAGetLastError();
    Lookups& ls = TheLookups();
    {
      std::lock_guard guard(ls.lock);
      auto it = ls.states.find(handle);
      if (it == ls.states.end()) return;  // cancelled
      it->second.done = true;
      it->second.error = error;
      it->second.result = std::move(entry);
    }
    if (!MessageWindow::Post(window, message, static_cast<WPARAM>(handle),
                             MakeSelectReply(0, error))) {
      std::lock_guard guard(ls.lock);
      ls.states.erase(handle);
    }
  });
  return handle;
}

}  // namespace

bool gethostbyname(const std::string& name, HostEnt* entry) {
  if (!WSAStarted()) {
    WSASetLastError(WSANOTINITIALISED);
    return false;
  }
  if (name.empty() || NumericButNotQuad(name)) {
    WSASetLastError(WSAHOST_NOT_FOUND);
    return false;
  }
  return RunLookup(
      [&](hostent* h, char* buf, size_t len, hostent** result, int* herr) {
        return ::gethostbyname2_r(name.c_str(), AF_INET, h, buf, len, result, herr);
      },
      entry);
}

bool gethostbyaddr(std::uint32_t addr, HostEnt* entry) {
  if (!WSAStarted()) {
    WSASetLastError(WSANOTINITIALISED);
    return false;
  }
  return RunLookup(
      [&](hostent* h, char* buf, size_t len, hostent** result, int* herr) {
        return ::gethostbyaddr_r(&addr, 4, AF_INET, h, buf, len, result, herr);
      },
      entry);
}

TLookup WSAAsyncGetHostByName(HWND window, unsigned message, const std::string& name) {
  return StartLookup(window, message, [name](HostEnt* e) { return gethostbyname(name, e); });
}

TLookup WSAAsyncGetHostByAddr(HWND window, unsigned message, std::uint32_t addr) {
  return StartLookup(window, message, [addr](HostEnt* e) { return gethostbyaddr(addr, e); });
}

bool WSAAsyncResult(TLookup lookup, HostEnt* entry) {
  Lookups& l = TheLookups();
  std::lock_guard guard(l.lock);
  auto it = l.states.find(lookup);
  if (it == l.states.end() || !it->second.done) return false;
  *entry = std::move(it->second.result);
  l.states.erase(it);
  return true;
}

int WSACancelAsyncRequest(TLookup lookup) {
  Lookups& l = TheLookups();
  std::lock_guard guard(l.lock);
  if (l.states.erase(lookup) == 0) {
    WSASetLastError(WSAEINVAL);
    return SOCKET_ERROR;
  }
  return 0;
}

}  // namespace platform::winsock
