#include "platform/SocketTable.h"

#include <unordered_map>

namespace platform::winsock::detail {
namespace {

// Never destroyed: worker threads and the end of the program may still reach it.
struct Table {
  std::mutex lock;
  std::unordered_map<TSocket, EntryPtr> entries;
  TSocket next = 1;
};

Table& TheTable() {
  static Table* table = new Table;
  return *table;
}

}  // namespace

TSocket Add(int fd, int type, bool connected) {
  auto entry = std::make_shared<SocketEntry>();
  entry->fd = fd;
  entry->type = type;
  entry->connected = connected;
  Table& t = TheTable();
  std::lock_guard guard(t.lock);
  entry->handle = t.next++;
  t.entries[entry->handle] = entry;
  return entry->handle;
}

EntryPtr Find(TSocket handle) {
  Table& t = TheTable();
  {
    std::lock_guard guard(t.lock);
    auto it = t.entries.find(handle);
    if (it != t.entries.end()) return it->second;
  }
  WSASetLastError(WSAENOTSOCK);
  return nullptr;
}

EntryPtr Remove(TSocket handle) {
  Table& t = TheTable();
  std::lock_guard guard(t.lock);
  auto it = t.entries.find(handle);
  if (it == t.entries.end()) return nullptr;
  EntryPtr entry = it->second;
  t.entries.erase(it);
  return entry;
}

std::vector<EntryPtr> RemoveAll() {
  Table& t = TheTable();
  std::lock_guard guard(t.lock);
  std::vector<EntryPtr> all;
  all.reserve(t.entries.size());
  for (auto& [handle, entry] : t.entries) all.push_back(entry);
  t.entries.clear();
  return all;
}

}  // namespace platform::winsock::detail
