#include "platform/Library.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/Paths.h"
#include "text/Text.h"

namespace platform {
namespace {

bool IsFile(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The folders the dynamic linker would search for the program's own dlopen calls, in its order.
// relative is set when one of them does not begin with "/" (an empty LD_LIBRARY_PATH entry
// shows up as ".").
std::vector<std::string> LinkerSearchPath(bool& relative) {
  relative = false;
  std::vector<std::string> dirs;
  void* self = ::dlopen(nullptr, RTLD_NOW);
  if (self == nullptr) return dirs;
  Dl_serinfo size{};
  if (::dlinfo(self, RTLD_DI_SERINFOSIZE, &size) == 0 && size.dls_size >= sizeof(Dl_serinfo)) {
    std::vector<unsigned char> buffer(size.dls_size);
    auto* info = reinterpret_cast<Dl_serinfo*>(buffer.data());
    *info = size;
    if (::dlinfo(self, RTLD_DI_SERINFOSIZE, info) == 0 &&
        ::dlinfo(self, RTLD_DI_SERINFO, info) == 0) {
      for (unsigned i = 0; i < info->dls_cnt; ++i) {
        std::string dir = info->dls_serpath[i].dls_name ? info->dls_serpath[i].dls_name : "";
        if (dir.empty() || dir[0] != '/')
          relative = true;
        else
          dirs.push_back(dir);
      }
    }
  }
  ::dlclose(self);
  return dirs;
}

LibraryHandle Open(const std::string& file, std::string* error) {
  ::dlerror();
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr && error != nullptr && error->empty()) {
    const char* text = ::dlerror();
    *error = text ? text : ("cannot load " + file);
  }
  return handle;
}

}  // namespace

std::string LibraryFileName(const std::string& name) {
  std::string lower = LowerAscii(name);
  if (lower.rfind("lib", 0) == 0 && EndsWith(lower, ".so")) return lower;
  if (EndsWith(lower, ".dll")) lower.resize(lower.size() - 4);
  return "lib" + lower + ".so";
}

LibraryHandle LoadLibrary(const std::string& name, std::string* error) {
  if (error) error->clear();
  if (name.empty()) return nullptr;
  if (name.find('/') != std::string::npos) return IsFile(name) ? Open(name, error) : nullptr;

  const std::string file = LibraryFileName(name);
  std::vector<std::string> candidates{ProgramFolder() + file};
  bool relative = false;
  for (const auto& dir : LinkerSearchPath(relative))
    candidates.push_back(dir + (EndsWith(dir, "/") ? "" : "/") + file);
  for (const auto& path : candidates) {
    if (!IsFile(path)) continue;
    if (LibraryHandle handle = Open(path, error)) {
      if (error) error->clear();
      return handle;
    }
  }
  // The linker's cache knows libraries in folders named only in its configuration. With a
  // relative search path entry the bare name could resolve in the current folder, so then the
  // cache is left alone.
  if (relative) return nullptr;
  ::dlerror();
  LibraryHandle handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr && error) error->clear();
  return handle;
}

void* GetProcAddress(LibraryHandle library, const std::string& symbol) {
  if (library == nullptr) return nullptr;
  ::dlerror();
  return ::dlsym(library, symbol.c_str());
}

void FreeLibrary(LibraryHandle library) {
  if (library != nullptr) ::dlclose(library);
}

std::string LibraryPath(LibraryHandle library) {
  if (library == nullptr) return {};
  link_map* map = nullptr;
  if (::dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr)
    return {};
  return map->l_name;
}

}  // namespace platform
