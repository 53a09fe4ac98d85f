#include "platform/Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace platform {
namespace {

std::string Executable() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "talvo";
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string BaseName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string ProgramFile() {
  std::string exe = Executable();
  const char* home = std::getenv("TALVO_HOME");
  if (home == nullptr || *home == '\0') return exe;
  std::string folder = home;
  if (folder.back() != '/') folder += '/';
  return folder + BaseName(exe);
}

std::string ProgramFolder() {
  std::string file = ProgramFile();
  auto slash = file.rfind('/');
  return slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  auto slash = path.rfind('/');
  auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace platform
