#include "platform/Process.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Latin1.h"

namespace platform {
namespace {

struct ProcStat {
  char state = '?';
  std::uint64_t startTime = 0;
};

// Reads state and start time from /proc/<pid>/stat; false when there is no such process.
bool ReadProcStat(std::int64_t pid, ProcStat& out) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!in || !std::getline(in, line)) return false;
  // The command name in parentheses may hold blanks and parentheses: fields follow the last ")".
  auto close = line.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream fields(line.substr(close + 1));
  fields >> out.state;
  std::string skip;
  for (int field = 4; field < 22 && fields; ++field) fields >> skip;
  fields >> out.startTime;
  return static_cast<bool>(fields);
}

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

ProcessId StartProgram(const std::string& file, const std::string& directory, std::string* error) {
  SetError(error, {});
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    SetError(error, file + ": no such program file");
    return {};
  }
  if (::access(file.c_str(), X_OK) != 0) {
    SetError(error, file + ": " + std::strerror(errno));
    return {};
  }
  if (!directory.empty() && (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
    SetError(error, directory + ": no such folder");
    return {};
  }
  QProcess process;
  process.setProgram(Latin1(file));
  if (!directory.empty()) process.setWorkingDirectory(Latin1(directory));
  qint64 pid = 0;
  if (!process.startDetached(&pid) || pid <= 0) {
    SetError(error, file + ": " + process.errorString().toStdString());
    return {};
  }
  // A program that has already ended keeps an id that matches no process, not even a later one
  // that the system gives the same number.
  ProcessId id{pid, ~std::uint64_t{0}};
  ProcStat stat;
  if (ReadProcStat(pid, stat) && stat.state != 'Z') id.startTime = stat.startTime;
  return id;
}

bool ProcessRunning(const ProcessId& process) {
  if (!process) return false;
  ProcStat stat;
  if (!ReadProcStat(process.pid, stat)) return false;
  if (stat.state == 'Z' || stat.state == 'X' || stat.state == 'x') return false;
  return stat.startTime == process.startTime;
}

bool TerminateProcess(const ProcessId& process) {
  if (!ProcessRunning(process)) return false;
  return ::kill(static_cast<pid_t>(process.pid), SIGTERM) == 0;
}

}  // namespace platform
