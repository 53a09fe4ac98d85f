#include "platform/GlobalAtom.h"

#include <map>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

constexpr unsigned kFirstAtom = 0xC000;
constexpr unsigned kLastAtom = 0xFFFF;
constexpr std::size_t kMaxName = 255;

struct Entry {
  std::string name;
  unsigned references = 0;
};

struct AtomTable {
  std::mutex mutex;
  std::map<ATOM, Entry> byAtom;  // ordered: the lowest free number is found by walking it
  std::unordered_map<std::string, ATOM> byName;
};

AtomTable& Table() {
  static AtomTable table;
  return table;
}

}  // namespace

ATOM AddGlobalAtom(const std::string& name) {
  if (name.empty() || name.size() > kMaxName) return 0;
  AtomTable& t = Table();
  std::lock_guard lock(t.mutex);
  if (auto it = t.byName.find(name); it != t.byName.end()) {
    ++t.byAtom[it->second].references;
    return it->second;
  }
  unsigned next = kFirstAtom;
  for (const auto& [atom, entry] : t.byAtom) {
    if (atom != next) break;
    ++next;
  }
  if (next > kLastAtom) return 0;
  ATOM atom = static_cast<ATOM>(next);
  t.byAtom[atom] = Entry{name, 1};
  t.byName[name] = atom;
  return atom;
}

bool DeleteGlobalAtom(ATOM atom) {
  AtomTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.byAtom.find(atom);
  if (it == t.byAtom.end()) return false;
  if (--it->second.references == 0) {
    t.byName.erase(it->second.name);
    t.byAtom.erase(it);
  }
  return true;
}

ATOM FindGlobalAtom(const std::string& name) {
  AtomTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.byName.find(name);
  return it == t.byName.end() ? 0 : it->second;
}

std::string GlobalAtomName(ATOM atom) {
  AtomTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.byAtom.find(atom);
  return it == t.byAtom.end() ? std::string() : it->second.name;
}

}  // namespace platform
